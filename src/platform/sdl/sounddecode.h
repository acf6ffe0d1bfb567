// Sound files to PCM in the mixer's own format, with the work bounded whatever the file
// says: SDL_mixer's loader decodes a whole file however long it plays (ten hours of silence
// in a 2.4 MB Ogg took 6 GB), so the game decodes its sounds itself. Ogg Vorbis with
// libvorbisfile, WAV with SDL's reader; both converted to the mixer's format by SDL's audio
// stream, a slice at a time, and cut once MAX_SOUND_SECONDS of it are made.
#pragma once
#include <SDL_audio.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Files larger than this are not read at all.
constexpr size_t MAX_SOUND_FILE_BYTES = 16u << 20;
// A sound is cut after this much of it: the game's longest plays for a few seconds.
constexpr int MAX_SOUND_SECONDS = 60;
// Sample rates and channel counts a sound file may have.
constexpr int MIN_SOUND_RATE = 1000, MAX_SOUND_RATE = 192000, MAX_SOUND_CHANNELS = 2;

struct PcmFormat {
    int rate = 44100;
    SDL_AudioFormat format = AUDIO_S16SYS;
    int channels = 2;
};

// Decodes an Ogg Vorbis or WAV sound held in memory into whole frames of `target`, at most
// MAX_SOUND_SECONDS of them. On failure `pcm` is empty and `why` (when given) says what was
// wrong, in a few words.
bool decodeSoundBytes(const uint8_t* data, size_t size, const PcmFormat& target, std::vector<uint8_t>& pcm,
                      const char** why = nullptr);

} // namespace platform
