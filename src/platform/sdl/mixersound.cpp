#include "platform/sdl/mixersound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <memory>

#include "platform/os.h"
#include "platform/sdl/sounddecode.h"

namespace platform {

// The chunk only points into pcm, which the sample owns.
struct MixerSound::Sample {
    Mix_Chunk* chunk = nullptr;
    bool loop = false;
    std::vector<uint8_t> pcm;
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

// The file is read whole and only when it is a regular file of bounded size, so neither a
// FIFO nor a link to a device can hold the game up; a sound that cannot be had is silent.
SampleHandle MixerSound::load(const char* path, bool loop) {
    if (!opened || !path) return nullptr;
    std::vector<uint8_t> bytes;
    if (os::readWholeFile(path, MAX_SOUND_FILE_BYTES, bytes) != os::ReadStatus::Ok) return nullptr;
    PcmFormat format;
    int channels = 0;
    if (!Mix_QuerySpec(&format.rate, &format.format, &channels)) return nullptr;
    format.channels = channels;
    auto sample = std::make_unique<Sample>();
    sample->loop = loop;
    if (!decodeSoundBytes(bytes.data(), bytes.size(), format, sample->pcm)) return nullptr;
    sample->chunk = Mix_QuickLoad_RAW(sample->pcm.data(), static_cast<Uint32>(sample->pcm.size()));
    if (!sample->chunk) return nullptr;
    samples.push_back(sample.release());
    return samples.back();
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
