// Sound through SDL_mixer: channels 0 and 1 are reserved for the two loops, so a play on
// a free channel never takes them. The sounds are decoded by the game (sounddecode.h), with
// bounded work, and handed to the mixer as PCM of its format.
#pragma once
#include "platform/platform.h"

namespace platform {

class MixerSound {
public:
    ~MixerSound();
    bool init(int rate, int channels);
    // Null when the sound cannot be loaded.
    SampleHandle load(const char* path, bool loop);
    void play(int channel, SampleHandle sample);
    void stop(int channel);
    // Every channel held where it is (a paused game), or going on from there.
    void pause(bool on);
    void close();
    bool ready() const { return opened; }

private:
    struct Sample;
    bool opened = false;
    bool audioSubsystem = false;
    std::vector<Sample*> samples;
};

} // namespace platform
