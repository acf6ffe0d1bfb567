// libFuzzer target for the sound path: the bytes are decoded by the game's own decoder
// (libvorbisfile for Ogg Vorbis, SDL's reader for WAV, SDL's audio stream to the mixer's
// format) into the format of a mixer opened as the game opens it, on SDL's dummy driver,
// and the PCM is handed to SDL_mixer as the game hands it. What comes out must be whole
// frames of that format and never more than the game's 60 seconds; a refusal says why.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/sdl/mixersound.h"
#include "platform/sdl/sounddecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static platform::PcmFormat format;
    static const bool ready = [] {
        // A device that plays nothing, and takes no sound card from whoever runs this.
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        static platform::MixerSound mixer;
        if (!mixer.init(44100, 8)) return false; // what sound.cpp asks for
        int channels = 0;
        if (!Mix_QuerySpec(&format.rate, &format.format, &channels)) return false;
        format.channels = channels;
        return true;
    }();
    if (!ready) std::abort();

    std::vector<uint8_t> pcm;
    const char* why = nullptr;
    if (!platform::decodeSoundBytes(data, size, format, pcm, &why)) {
        if (!why || !pcm.empty()) std::abort();
        return 0;
    }
    const size_t frameBytes = size_t(SDL_AUDIO_BITSIZE(format.format)) / 8 * format.channels;
    if (why || pcm.empty() || pcm.size() % frameBytes != 0) std::abort();
    if (pcm.size() > size_t(platform::MAX_SOUND_SECONDS) * format.rate * frameBytes) std::abort();
    Mix_Chunk* chunk = Mix_QuickLoad_RAW(pcm.data(), static_cast<Uint32>(pcm.size()));
    if (!chunk) std::abort();
    Mix_FreeChunk(chunk);
    return 0;
}
