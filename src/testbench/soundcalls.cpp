#include "testbench/soundcalls.h"

#include "sound.h"

namespace {

const char* sampleName(platform::SampleHandle sample) {
    if (sample && sample == soundSamples.recognizer) return "recognizer";
    if (sample && sample == soundSamples.engine) return "engine";
    if (sample && sample == soundSamples.crash) return "crash";
    return "none";
}

} // namespace

void SoundCallRecorder::played(int channel, platform::SampleHandle sample) {
    calls.push_back(std::string("play ") + (channel < 0 ? "free" : std::to_string(channel)) + " " + sampleName(sample));
}

void SoundCallRecorder::stopped(int channel) { calls.push_back("stop " + std::to_string(channel)); }

void SoundCallRecorder::paused(bool on) { calls.push_back(on ? "pause" : "resume"); }

std::vector<std::string> SoundCallRecorder::take() {
    std::vector<std::string> taken;
    taken.swap(calls);
    return taken;
}
