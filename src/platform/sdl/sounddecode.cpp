#include "platform/sdl/sounddecode.h"

#include <SDL.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace platform {

namespace {

bool refuse(const char*& why, const char* reason) {
    why = reason;
    return false;
}

bool formatAcceptable(int rate, int channels) {
    return rate >= MIN_SOUND_RATE && rate <= MAX_SOUND_RATE && channels >= 1 && channels <= MAX_SOUND_CHANNELS;
}

// Source PCM in, the target's frames out into `pcm`, never more than `limit` bytes. The
// source goes in slices so that no slice can make more than a fraction of a second of output.
class Converter {
public:
    Converter(const PcmFormat& target, std::vector<uint8_t>& pcm)
        : target(target), pcm(pcm),
          frameBytes(SDL_AUDIO_BITSIZE(target.format) / 8 * target.channels),
          limit(size_t(MAX_SOUND_SECONDS) * target.rate * frameBytes) {}
    ~Converter() { close(); }

    // A new source format (the first, or a chained Ogg stream that changes it): what is
    // held for the old one is let out first.
    bool begin(SDL_AudioFormat format, int rate, int channels) {
        if (stream && format == sourceFormat && rate == sourceRate && channels == sourceChannels) return true;
        if (!finish()) return false;
        stream = SDL_NewAudioStream(format, static_cast<Uint8>(channels), rate, target.format,
                                    static_cast<Uint8>(target.channels), target.rate);
        sourceFormat = format, sourceRate = rate, sourceChannels = channels;
        sourceFrameBytes = SDL_AUDIO_BITSIZE(format) / 8 * channels;
        return stream != nullptr;
    }

    bool put(const uint8_t* data, size_t bytes) {
        const size_t slice = size_t(sourceFrameBytes) * 4096;
        for (size_t at = 0; at < bytes && !full(); at += slice) {
            if (SDL_AudioStreamPut(stream, data + at, static_cast<int>(std::min(slice, bytes - at))) != 0) return false;
            if (!drain()) return false;
        }
        return true;
    }

    bool finish() {
        if (!stream) return true;
        const bool ok = full() || (SDL_AudioStreamFlush(stream) == 0 && drain());
        close();
        return ok;
    }

    bool full() const { return pcm.size() >= limit; }

private:
    bool drain() {
        for (int available; !full() && (available = SDL_AudioStreamAvailable(stream)) > 0;) {
            const size_t want = std::min(size_t(available), limit - pcm.size()) / frameBytes * frameBytes;
            if (want == 0) break;
            const size_t at = pcm.size();
            pcm.resize(at + want);
            const int got = SDL_AudioStreamGet(stream, pcm.data() + at, static_cast<int>(want));
            if (got < 0) return false;
            pcm.resize(at + size_t(got) / frameBytes * frameBytes);
            if (got == 0) break;
        }
        return true;
    }
    void close() {
        if (stream) SDL_FreeAudioStream(stream);
        stream = nullptr;
    }

    const PcmFormat target;
    std::vector<uint8_t>& pcm;
    const size_t frameBytes;
    const size_t limit;
    SDL_AudioStream* stream = nullptr;
    SDL_AudioFormat sourceFormat = 0;
    int sourceRate = 0, sourceChannels = 0, sourceFrameBytes = 1;
};

// --- Ogg Vorbis ------------------------------------------------------------------------
// Read as a stream that cannot seek: vorbisfile then reads only the headers of the stream
// it is in, never every chained stream of the file up front.

struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t at;
};

size_t readMemory(void* buffer, size_t size, size_t count, void* source) {
    auto* memory = static_cast<MemorySource*>(source);
    if (size == 0) return 0;
    const size_t n = std::min(count, (memory->size - memory->at) / size);
    std::memcpy(buffer, memory->data + memory->at, n * size);
    memory->at += n * size;
    return n;
}

bool decodeVorbis(const uint8_t* data, size_t size, Converter& converter, std::vector<uint8_t>& pcm,
                  const char*& why) {
    MemorySource source{data, size, 0};
    const ov_callbacks callbacks = {readMemory, nullptr, nullptr, nullptr};
    OggVorbis_File file;
    if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0) return refuse(why, "not a readable Ogg Vorbis sound");
    struct Clear {
        OggVorbis_File* file;
        ~Clear() { ov_clear(file); }
    } clear{&file};
    char buffer[4096];
    for (int section = 0; !converter.full();) {
        const long got = ov_read(&file, buffer, sizeof buffer, SDL_BYTEORDER == SDL_BIG_ENDIAN, 2, 1, &section);
        if (got == 0) break;
        if (got == OV_HOLE) continue; // a gap in the pages: what follows still plays
        if (got < 0) {
            if (pcm.empty()) return refuse(why, "damaged Ogg Vorbis sound");
            break; // the part before the damage is kept
        }
        const vorbis_info* info = ov_info(&file, -1);
        if (!info || !formatAcceptable(static_cast<int>(info->rate), info->channels))
            return refuse(why, "sound of an unusual rate or channel count");
        if (!converter.begin(AUDIO_S16SYS, static_cast<int>(info->rate), info->channels) ||
            !converter.put(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(got)))
            return refuse(why, "sound could not be converted");
    }
    if (!converter.finish()) return refuse(why, "sound could not be converted");
    return true;
}

// --- WAV -------------------------------------------------------------------------------
// SDL reads the whole file: at most four times its bytes (4-bit ADPCM), and the file is
// bounded. The conversion after it is bounded like the Ogg one.

uint32_t littleEndian32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

void setLittleEndian32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// SDL's reader allocates what a chunk's header claims before reading it: a 60-byte file
// whose samples claimed a gigabyte took a gigabyte. In this copy every chunk claims at most
// the bytes that follow it, so what SDL allocates is bounded by the file, and a file cut
// short plays what it holds.
std::vector<uint8_t> chunksHeldToFile(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (littleEndian32(&bytes[4]) > size - 8) setLittleEndian32(&bytes[4], static_cast<uint32_t>(size - 8));
    for (size_t at = 12; at + 8 <= size;) {
        const size_t left = size - at - 8;
        size_t claimed = littleEndian32(&bytes[at + 4]);
        if (claimed > left) {
            claimed = left;
            setLittleEndian32(&bytes[at + 4], static_cast<uint32_t>(claimed));
        }
        at += 8 + claimed + (claimed & 1); // chunks start on even offsets
    }
    return bytes;
}

bool decodeWav(const uint8_t* data, size_t size, Converter& converter, const char*& why) {
    const std::vector<uint8_t> held = chunksHeldToFile(data, size);
    SDL_RWops* memory = SDL_RWFromConstMem(held.data(), static_cast<int>(held.size()));
    if (!memory) return refuse(why, "out of memory");
    SDL_AudioSpec wave;
    Uint8* samples = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(memory, 1, &wave, &samples, &length)) return refuse(why, "damaged WAV sound");
    std::unique_ptr<Uint8, void (*)(Uint8*)> owned(samples, SDL_FreeWAV);
    if (!formatAcceptable(wave.freq, wave.channels)) return refuse(why, "sound of an unusual rate or channel count");
    if (!converter.begin(wave.format, wave.freq, wave.channels) || !converter.put(samples, length) ||
        !converter.finish())
        return refuse(why, "sound could not be converted");
    return true;
}

} // namespace

bool decodeSoundBytes(const uint8_t* data, size_t size, const PcmFormat& target, std::vector<uint8_t>& pcm,
                      const char** why) {
    pcm.clear();
    const char* reason = "empty sound";
    bool decoded = false;
    if (!data || size == 0) {
        reason = "empty file";
    } else if (size > MAX_SOUND_FILE_BYTES) {
        reason = "sound file too large";
    } else {
        try {
            Converter converter(target, pcm);
            if (size >= 4 && std::memcmp(data, "OggS", 4) == 0)
                decoded = decodeVorbis(data, size, converter, pcm, reason);
            else if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0)
                decoded = decodeWav(data, size, converter, reason);
            else
                reason = "not an Ogg Vorbis or WAV sound";
        } catch (const std::bad_alloc&) {
            reason = "out of memory";
            decoded = false;
        }
        if (decoded && pcm.empty()) {
            reason = "sound without any samples";
            decoded = false;
        }
    }
    if (!decoded) {
        pcm.clear();
        pcm.shrink_to_fit();
    }
    if (why) *why = decoded ? nullptr : reason;
    return decoded;
}

} // namespace platform
