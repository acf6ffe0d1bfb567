// Real mixing through SDL_mixer's disk driver: the menu loop reaches the output while the
// sound option is on, and nothing does while it is off.
#include "integration/gamedir.h"

using namespace gamedir;

namespace {

// Counts the non-zero 16-bit samples the disk driver wrote.
size_t loudSamples(const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    size_t loud = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const int16_t sample = static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (std::abs(sample) > 100) ++loud;
    }
    return loud;
}

RunResult runWithDiskAudio(const GameDir& dir, const std::string& output, const std::string& keys) {
    RunSettings settings;
    settings.frames = 300;
    settings.keys = keys;
    settings.screenshot = false;
    settings.env["SDL_AUDIODRIVER"] = "disk";
    settings.env["SDL_DISKAUDIOFILE"] = output;
    return dir.run(settings);
}

} // namespace

TEST(SoundOutput, MenuLoopIsHeardWhileSoundIsOnAndSilentWhenOff) {
    GameDir dir;
    writeTestPictures(dir.game);
    // The game's own Ogg sounds; a test tone where data/ has none.
    for (const char* name : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg"})
        if (!exists(dir.game + name)) writeToneWav(dir.game + name, 200);

    writeBytes(dir.game + "options.bin", {0x01});
    const std::string on = dir.out + "on.raw";
    const RunResult heard = runWithDiskAudio(dir, on, "");
    ASSERT_EQ(heard.exitCode, 0) << heard.errors;
    EXPECT_EQ(heard.trace.front()["sound"], nlohmann::json({"stop 1", "play 0 recognizer"}));
    ASSERT_TRUE(exists(on)) << heard.errors;
    EXPECT_GT(readBytes(on).size(), 4096u);
    EXPECT_GT(loudSamples(on), 1000u) << "the recognizer loop should reach the output";

    writeBytes(dir.game + "options.bin", {0x00});
    const std::string off = dir.out + "off.raw";
    const RunResult quiet = runWithDiskAudio(dir, off, "");
    ASSERT_EQ(quiet.exitCode, 0) << quiet.errors;
    ASSERT_TRUE(exists(off));
    EXPECT_GT(readBytes(off).size(), 4096u) << "the device ran";
    EXPECT_EQ(loudSamples(off), 0u);
}
