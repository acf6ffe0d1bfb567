#include "platform/sdl/mixersound.h"

#include <SDL.h>
#include <SDL_mixer.h>

namespace platform {

struct MixerSound::Sample {
    Mix_Chunk* chunk = nullptr;
    bool loop = false;
};

MixerSound::~MixerSound() { close(); }

bool MixerSound::init(int rate, int channels) {
    if (opened) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    audioSubsystem = true;
    Mix_Init(MIX_INIT_OGG);
    if (Mix_OpenAudio(rate, MIX_DEFAULT_FORMAT, 2, 1024) != 0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioSubsystem = false;
        return false;
    }
    Mix_AllocateChannels(channels);
    Mix_ReserveChannels(2);
    opened = true;
    return true;
}

SampleHandle MixerSound::load(const char* path, bool loop) {
    if (!opened || !path) return nullptr;
    Mix_Chunk* chunk = Mix_LoadWAV(path);
    if (!chunk) return nullptr;
    auto* sample = new Sample{chunk, loop};
    samples.push_back(sample);
    return sample;
}

void MixerSound::play(int channel, SampleHandle handle) {
    if (!opened || !handle) return;
    auto* sample = static_cast<Sample*>(handle);
    // A play on channel 0 or 1 replaces what the channel played.
    if (channel >= 0) Mix_HaltChannel(channel);
    Mix_PlayChannel(channel, sample->chunk, sample->loop ? -1 : 0);
}

void MixerSound::stop(int channel) {
    if (opened) Mix_HaltChannel(channel);
}

void MixerSound::pause(bool on) {
    if (!opened) return;
    if (on) Mix_Pause(-1);
    else Mix_Resume(-1);
}

void MixerSound::close() {
    if (opened) {
        Mix_HaltChannel(-1);
        for (Sample* sample : samples) {
            Mix_FreeChunk(sample->chunk);
            delete sample;
        }
        samples.clear();
        Mix_CloseAudio();
        Mix_Quit();
        opened = false;
    }
    if (audioSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioSubsystem = false;
    }
}

} // namespace platform
