// The per-frame trace of headless runs: one JSON object per rendered frame, written after
// the frame and before the loop clears the release flags.
#pragma once
#include <cstdio>
#include <string>
#include <nlohmann/json.hpp>

class Trace {
public:
    ~Trace();
    bool open(const std::string& path);
    void writeFrame(long frame);
    // The state of one frame as JSON (16.16 values as raw integers).
    static nlohmann::json frameState(long frame);

private:
    FILE* file = nullptr;
};
