// The sound calls of a run, as the trace reports them: "play 0 recognizer", "stop 1",
// "pause", "resume", ...
// They are heard at the platform, so a run without a sound device reports them too.
#pragma once
#include <string>
#include <vector>
#include "platform/platform.h"

class SoundCallRecorder : public platform::SoundListener {
public:
    void played(int channel, platform::SampleHandle sample) override;
    void stopped(int channel) override;
    void paused(bool on) override;
    // The calls since the last take.
    std::vector<std::string> take();

private:
    std::vector<std::string> calls;
};
