// The per-frame trace: one JSON object per rendered frame, written after the frame and
// before the loop clears the release flags. It reads the game's public state only.
#pragma once
#include <cstdio>
#include <string>
#include <nlohmann/json.hpp>

#include "testbench/soundcalls.h"

class Trace {
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    // False when the file cannot be created.
    bool open(const std::string& path);
    void writeFrame(long frame);
    // Closes the file; false with a message when any of it could not be written.
    bool close(std::string& error);
    // The state of one frame as JSON (16.16 values as raw integers); the sound calls are
    // the ones since the last frame.
    static nlohmann::json frameState(long frame, SoundCallRecorder* sounds);
    // Heard from the start of the run, so the calls before the first frame are in it.
    SoundCallRecorder sounds;

private:
    FILE* file = nullptr;
    std::string path;
    int writeError = 0; // the first write that failed: the trace stops there
};
