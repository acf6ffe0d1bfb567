// Sound decoding with bounded work: the game's sounds come out as SDL_mixer made them, a long
// sound is cut, and files that are not regular or too large are refused at once.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/sdl/mixersound.h"
#include "platform/sdl/sounddecode.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The mixer opened on SDL's disk driver, as the game opens it.
class Mixer : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/palvex-sounds-XXXXXX";
        dir = std::string(mkdtemp(pattern)) + "/";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", (dir + "out.raw").c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "1", 1);
        ASSERT_TRUE(mixer.init(44100, 8)) << SDL_GetError();
        int channels = 0;
        ASSERT_TRUE(Mix_QuerySpec(&format.rate, &format.format, &channels));
        format.channels = channels;
    }
    void TearDown() override {
        mixer.close();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
        std::filesystem::remove_all(dir);
    }
    platform::MixerSound mixer;
    platform::PcmFormat format;
    std::string dir;
};

// A WAV of 8-bit mono samples at 8000 Hz, `seconds` long, a slow ramp.
Bytes rampWav(double seconds) {
    const uint32_t rate = 8000, count = uint32_t(rate * seconds);
    const uint32_t header[] = {36 + count, 16, 1 | 1 << 16, rate, rate, 1 | 8 << 16, count};
    Bytes out(44 + count);
    std::memcpy(&out[0], "RIFF", 4), std::memcpy(&out[4], &header[0], 4), std::memcpy(&out[8], "WAVEfmt ", 8);
    std::memcpy(&out[16], &header[1], 20), std::memcpy(&out[36], "data", 4), std::memcpy(&out[40], &header[6], 4);
    for (uint32_t i = 0; i < count; ++i) out[44 + i] = uint8_t(i / 64);
    return out;
}

// The largest request SDL made of its allocator while installed.
std::atomic<size_t> largestSdlRequest{0};
void noteRequest(size_t bytes) {
    for (size_t seen = largestSdlRequest; bytes > seen && !largestSdlRequest.compare_exchange_weak(seen, bytes);) {}
}
void* countingMalloc(size_t n) { return noteRequest(n), std::malloc(n); }
void* countingCalloc(size_t n, size_t m) { return noteRequest(n * m), std::calloc(n, m); }
void* countingRealloc(void* p, size_t n) { return noteRequest(n), std::realloc(p, n); }

bool decodeCounting(const Bytes& file, const platform::PcmFormat& format, Bytes& pcm, size_t& largest) {
    SDL_malloc_func m;
    SDL_calloc_func c;
    SDL_realloc_func r;
    SDL_free_func f;
    SDL_GetMemoryFunctions(&m, &c, &r, &f);
    largestSdlRequest = 0;
    SDL_SetMemoryFunctions(countingMalloc, countingCalloc, countingRealloc, f);
    const bool decoded = platform::decodeSoundBytes(file.data(), file.size(), format, pcm);
    SDL_SetMemoryFunctions(m, c, r, f);
    largest = largestSdlRequest;
    return decoded;
}

} // namespace

TEST_F(Mixer, GameSoundsComeOutAsSdlMixerMadeThem) {
    for (const char* name : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(PALVEX_SOURCE_DIR "/data/") + name;
        Mix_Chunk* reference = Mix_LoadWAV(path.c_str());
        ASSERT_NE(reference, nullptr) << Mix_GetError();
        const Bytes file = readFile(path);
        Bytes pcm;
        ASSERT_TRUE(platform::decodeSoundBytes(file.data(), file.size(), format, pcm));
        ASSERT_EQ(pcm.size(), reference->alen);
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reference->abuf));
        Mix_FreeChunk(reference);
    }
}

TEST_F(Mixer, LongSoundsAreCutAtTheBound) {
    const size_t bound = size_t(platform::MAX_SOUND_SECONDS) * format.rate * format.channels * 2;
    for (const Bytes& file : {readFile(PALVEX_SOURCE_DIR "/tests/data/sounds/silence-70s.ogg"), rampWav(70)}) {
        Bytes pcm;
        ASSERT_TRUE(platform::decodeSoundBytes(file.data(), file.size(), format, pcm));
        EXPECT_EQ(pcm.size(), bound);
    }
}

// A chunk may claim more than the file holds (the found file claims a gigabyte in 60
// bytes; a cut file claims what it lost): SDL's largest allocation, the conversion's
// included, stays far under a megabyte for these files of a few kilobytes, and what the
// file holds plays.
TEST_F(Mixer, WavChunksClaimingMoreThanTheFileHoldsCostOnlyWhatItHolds) {
    const Bytes whole = rampWav(2);
    const Bytes cut(whole.begin(), whole.begin() + whole.size() / 2);
    Bytes pcmWhole, pcm;
    size_t largest = 0;
    ASSERT_TRUE(decodeCounting(whole, format, pcmWhole, largest));
    for (const Bytes& file : {readFile(PALVEX_SOURCE_DIR "/tests/data/sounds/chunk-claims-1gb.wav"), cut}) {
        ASSERT_TRUE(decodeCounting(file, format, pcm, largest)) << file.size() << " bytes";
        EXPECT_LT(largest, size_t(1) << 20) << file.size() << " bytes";
    }
    EXPECT_NEAR(double(pcm.size()) / pcmWhole.size(), 0.5, 0.05); // the cut file's half
}

// Refused at once, and nothing is waited for: a FIFO without a writer, a link to an endless
// device, a file past the size bound (a WAV that would otherwise play for 35 minutes).
TEST_F(Mixer, OnlyRegularFilesOfBoundedSizeAreLoaded) {
    ASSERT_EQ(::mkfifo((dir + "fifo.ogg").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir + "zero.ogg").c_str()), 0);
    const Bytes large = rampWav(17.0 * 1024 * 1024 / 8000);
    ASSERT_GT(large.size(), platform::MAX_SOUND_FILE_BYTES);
    std::ofstream(dir + "large.wav", std::ios::binary).write(reinterpret_cast<const char*>(large.data()), large.size());
    const Bytes fits = rampWav(5);
    std::ofstream(dir + "fits.wav", std::ios::binary).write(reinterpret_cast<const char*>(fits.data()), fits.size());
    const auto start = std::chrono::steady_clock::now();
    for (const char* name : {"fifo.ogg", "zero.ogg", "large.wav"}) EXPECT_EQ(mixer.load((dir + name).c_str(), false), nullptr) << name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_NE(mixer.load((dir + "fits.wav").c_str(), false), nullptr);
}
