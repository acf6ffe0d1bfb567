// The game's sound calls through the recording device, and the reserved mixer channels.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl/mixersound.h"
#include "sharedstate.h"
#include "sound.h"
#include "testplatform.h"

namespace {

using Calls = std::vector<std::string>;

std::string makeTempDir() {
    char pattern[] = "/tmp/palvex-sound-XXXXXX";
    return std::string(mkdtemp(pattern)) + "/";
}

// A mono 16-bit WAV of a 440 Hz tone; SDL_mixer tells WAV from Ogg by its content.
void writeToneWav(const std::string& path, int milliseconds) {
    const uint32_t rate = 22050, count = rate * milliseconds / 1000;
    std::vector<int16_t> samples(count);
    for (uint32_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(12000 * std::sin(i * 2 * M_PI * 440.0 / rate));
    // RIFF size, format chunk (PCM, one channel, rate, byte rate, block align, bits), data size.
    const uint32_t riff[] = {36 + 2 * count, 16, 1 | 1 << 16, rate, 2 * rate, 2 | 16 << 16, 2 * count};
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4).write(reinterpret_cast<const char*>(riff), 4).write("WAVEfmt ", 8);
    out.write(reinterpret_cast<const char*>(riff + 1), 20).write("data", 4).write(reinterpret_cast<const char*>(riff + 6), 4);
    out.write(reinterpret_cast<const char*>(samples.data()), 2 * count);
}

// The recording sound device, started from a directory with the three sample files.
class SoundCalls : public ::testing::Test {
protected:
    void start() {
        ASSERT_TRUE(testing_support::ensurePlatform());
        testing_support::headless().setRecordSound(true);
        sharedState.options.soundOn = 0;
        soundStart(); // the recording device takes the game's own three files
        recordSoundCalls(true);
    }
    void TearDown() override {
        recordSoundCalls(false);
        soundClose();
        if (platform::exists()) testing_support::headless().setRecordSound(false);
        sharedState.options.soundOn = 0;
    }
};

} // namespace

TEST_F(SoundCalls, EveryOperationCallsTheLibraryInOrder) {
    start();
    ASSERT_EQ(soundReady, 1);
    sharedState.options.soundOn = 1;
    playMenuLoop();
    EXPECT_EQ(takeSoundCalls(), (Calls{"stop 1", "play 0 recognizer"}));
    playEngine();
    EXPECT_EQ(takeSoundCalls(), (Calls{"stop 0", "play 1 engine"}));
    stopEngine();
    EXPECT_EQ(takeSoundCalls(), (Calls{"stop 1"}));
    playCrash();
    playCrash();
    EXPECT_EQ(takeSoundCalls(), (Calls{"play free crash", "play free crash"}));
    stopAll();
    EXPECT_EQ(takeSoundCalls(), (Calls{"stop 0", "stop 1"}));
}

// SDL_mixer through the disk driver: the loops keep channels 0 and 1, a crash never
// takes them, even while they are idle.
TEST(MixerChannels, FreePlaysNeverTakeTheReservedChannels) {
    const std::string dir = makeTempDir();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir + "out.raw").c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
    writeToneWav(dir + "tone.wav", 300);
    {
        platform::MixerSound mixer;
        ASSERT_TRUE(mixer.init(44100, 8)) << SDL_GetError();
        platform::SampleHandle loop = mixer.load((dir + "tone.wav").c_str(), true);
        platform::SampleHandle once = mixer.load((dir + "tone.wav").c_str(), false);
        ASSERT_NE(loop, nullptr);
        ASSERT_NE(once, nullptr);
        EXPECT_EQ(mixer.load((dir + "missing.ogg").c_str(), false), nullptr);
        mixer.play(platform::CHANNEL_FREE, once);
        EXPECT_EQ(Mix_Playing(0) + Mix_Playing(1), 0) << "idle loop channels are not taken";
        mixer.play(0, loop);
        mixer.play(1, loop);
        for (int i = 0; i < 10; ++i) mixer.play(platform::CHANNEL_FREE, once);
        EXPECT_EQ(Mix_Playing(0) + Mix_Playing(1), 2);
        EXPECT_EQ(Mix_Playing(-1), 8) << "six free channels: the extra crashes are dropped";
        mixer.stop(1);
        EXPECT_EQ(Mix_Playing(0), 1);
        EXPECT_EQ(Mix_Playing(1), 0);
        mixer.close();
        EXPECT_FALSE(mixer.ready());
    }
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
    std::system(("rm -rf '" + dir + "'").c_str());
}
