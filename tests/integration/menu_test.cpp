// The menu screens driven through key scripts: what each frame's trace says, what the
// screenshots show, and what options.bin holds afterwards.
#include <SDL_ttf.h>

#include "integration/gamedir.h"

using namespace gamedir;

namespace {

enum { Main = 0, Options = 1, Credits = 2, Title = 3 };

// A key script built tap by tap: a tap is a press and release before the same frame.
class Keys {
public:
    Keys& tap(int frame, const char* key) {
        text += std::to_string(frame) + " down " + key + "\n" + std::to_string(frame) + " up " + key + "\n";
        return *this;
    }
    Keys& line(int frame, const char* action, const char* key) {
        text += std::to_string(frame) + " " + action + " " + key + "\n";
        return *this;
    }
    std::string text;
};

// From the title (any key at frame 1) to the options screen, ready at frame 4.
Keys toOptions() { return std::move(Keys().tap(1, "enter").tap(2, "down").tap(3, "enter")); }

const nlohmann::json& frame(const RunResult& run, int number) {
    static const nlohmann::json missing;
    if (number < 1 || number > static_cast<int>(run.trace.size())) return missing;
    return run.trace[number - 1];
}

class MenuRun : public ::testing::Test {
protected:
    void SetUp() override { writeTestPictures(dir.game); }

    RunResult run(const Keys& keys, long frames, std::vector<std::string> extra = {}) {
        RunSettings settings;
        settings.keys = keys.text;
        settings.frames = frames;
        settings.extraArgs = std::move(extra);
        RunResult result = dir.run(settings);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result;
    }

    GameDir dir;
};

const std::vector<uint8_t> EXAMPLE = {0x01, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0};

} // namespace

TEST_F(MenuRun, TitleStaysUntilTheFirstMappedKeyAndEnterThereSelectsNothing) {
    // Escape is no mapped key in the menu; the Enter release is the first one.
    const RunResult result = run(Keys().tap(3, "escape").tap(6, "enter"), 10);
    ASSERT_EQ(result.trace.size(), 10u);
    for (int f = 1; f <= 5; ++f) EXPECT_EQ(frame(result, f)["screen"], Title) << "frame " << f;
    EXPECT_EQ(frame(result, 3)["anyKeySeen"], 0);
    // The title is drawn in the frame of the key; the main menu comes with the next.
    EXPECT_EQ(frame(result, 6)["anyKeySeen"], 1);
    for (int f = 6; f <= 10; ++f) {
        EXPECT_EQ(frame(result, f)["screen"], Main) << "frame " << f;
        EXPECT_EQ(frame(result, f)["item"], 0);
        EXPECT_EQ(frame(result, f)["inGame"], 0) << "the Enter on the title must not start a race";
    }
    EXPECT_EQ(result.errors, "") << "all six pictures load";
}

TEST_F(MenuRun, MainMenuWrapsBothWays) {
    Keys keys;
    keys.tap(1, "enter").tap(2, "up").tap(3, "down").tap(4, "s").tap(5, "down").tap(6, "down").tap(7, "down");
    const RunResult result = run(keys, 8);
    EXPECT_EQ(frame(result, 2)["item"], 3) << "up on start selects quit";
    EXPECT_EQ(frame(result, 3)["item"], 0) << "down on quit selects start";
    EXPECT_EQ(frame(result, 4)["item"], 1);
    EXPECT_EQ(frame(result, 6)["item"], 3);
    EXPECT_EQ(frame(result, 7)["item"], 0);
    for (const auto& f : result.trace) EXPECT_EQ(f["inGame"], 0);
}

TEST_F(MenuRun, OptionsScreenWrapsBetweenFirstAndBack) {
    Keys keys = toOptions();
    keys.tap(4, "up").tap(5, "down").tap(6, "w").tap(7, "w").tap(8, "w").tap(9, "w");
    const RunResult result = run(keys, 10);
    EXPECT_EQ(frame(result, 3)["screen"], Options);
    EXPECT_EQ(frame(result, 3)["item"], 0);
    EXPECT_EQ(frame(result, 4)["item"], 4);
    EXPECT_EQ(frame(result, 5)["item"], 0);
    EXPECT_EQ(frame(result, 6)["item"], 4);
    EXPECT_EQ(frame(result, 9)["item"], 1);
    EXPECT_EQ(frame(result, 10)["screen"], Options);
}

TEST_F(MenuRun, CyclingAnOptionThreeTimesReturnsIt) {
    Keys keys = toOptions();
    for (int f = 4; f <= 6; ++f) keys.tap(f, "enter");                            // opponents
    keys.tap(7, "down");
    for (int f = 8; f <= 10; ++f) keys.tap(f, "enter");                           // detail
    keys.tap(11, "down");
    for (int f = 12; f <= 14; ++f) keys.tap(f, "enter");                          // speed
    keys.tap(15, "down").tap(16, "enter").tap(17, "enter");                       // sound
    const RunResult result = run(keys, 18);
    const char* names[3] = {"opponentChoice", "detail", "speed"};
    for (int option = 0; option < 3; ++option) {
        const int first = 4 + 4 * option;
        EXPECT_EQ(frame(result, first)[names[option]], 1) << names[option];
        EXPECT_EQ(frame(result, first + 1)[names[option]], 2) << names[option];
        EXPECT_EQ(frame(result, first + 2)[names[option]], 0) << names[option];
    }
    EXPECT_EQ(frame(result, 16)["soundOn"], 1);
    EXPECT_EQ(frame(result, 17)["soundOn"], 0);
    // Changes act at once; only the back item writes the file.
    EXPECT_FALSE(exists(dir.game + "options.bin"));
    EXPECT_FALSE(exists(dir.config + "palvex/options.bin"));
}

TEST_F(MenuRun, BackSavesTheExampleRecordAndReturnsToTheFirstMainItem) {
    Keys keys = toOptions();
    keys.tap(4, "enter");                                        // two opponents
    keys.tap(5, "down").tap(6, "enter").tap(7, "enter");         // high detail
    keys.tap(8, "down").tap(9, "enter");                         // medium speed
    keys.tap(10, "down").tap(11, "enter");                       // sound on
    keys.tap(12, "down").tap(13, "enter");                       // back
    const RunResult result = run(keys, 15);
    EXPECT_EQ(frame(result, 12)["item"], 4);
    EXPECT_EQ(frame(result, 13)["screen"], Main);
    EXPECT_EQ(frame(result, 13)["item"], 0);
    EXPECT_EQ(frame(result, 15)["inGame"], 0);
    EXPECT_EQ(readBytes(dir.game + "options.bin"), EXAMPLE);
    EXPECT_FALSE(exists(dir.config + "palvex/options.bin")) << "a writable game directory keeps the file";

    // The next start reads them back.
    const RunResult again = run(Keys(), 2);
    EXPECT_EQ(frame(again, 1)["soundOn"], 1);
    EXPECT_EQ(frame(again, 1)["detail"], 2);
    EXPECT_EQ(frame(again, 1)["opponentChoice"], 1);
    EXPECT_EQ(frame(again, 1)["speed"], 1);
}

TEST_F(MenuRun, QuitEndsTheProgramWithCodeZero) {
    const RunResult result = run(Keys().tap(1, "enter").tap(2, "up").tap(3, "enter"), 50);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.trace.size(), 3u) << "the loop ends after the frame that selected quit";
}

TEST_F(MenuRun, EscapeInTheMenuIsIgnored) {
    Keys keys = toOptions();
    keys.tap(4, "down").tap(5, "escape").tap(6, "escape");
    const RunResult result = run(keys, 8);
    EXPECT_EQ(result.trace.size(), 8u);
    for (int f = 4; f <= 8; ++f) {
        EXPECT_EQ(frame(result, f)["screen"], Options);
        EXPECT_EQ(frame(result, f)["item"], 1);
        EXPECT_EQ(frame(result, f)["inGame"], 0);
    }
}

TEST_F(MenuRun, CreditsAndBackAndStartingARace) {
    Keys keys;
    keys.tap(1, "enter").tap(2, "down").tap(3, "down").tap(4, "enter"); // credits
    keys.tap(5, "up").tap(6, "enter");                                  // any select leaves
    keys.tap(8, "enter");                                                // start a race
    keys.tap(10, "escape");                                              // and leave it
    const RunResult result = run(keys, 11);
    EXPECT_EQ(frame(result, 4)["screen"], Credits);
    EXPECT_EQ(frame(result, 4)["item"], 0);
    EXPECT_EQ(frame(result, 5)["screen"], Credits) << "the credits have no items";
    EXPECT_EQ(frame(result, 6)["screen"], Main);
    EXPECT_EQ(frame(result, 8)["inGame"], 1);
    EXPECT_EQ(frame(result, 9)["inGame"], 1);
    EXPECT_EQ(frame(result, 10)["inGame"], 0);
    EXPECT_EQ(frame(result, 10)["screen"], Main);
    EXPECT_EQ(frame(result, 10)["item"], 0);
}

// ---- The options file at start-up ----

TEST_F(MenuRun, OneByteFileTurnsTheSoundOnAndStartsTheMenuLoop) {
    writeBytes(dir.game + "options.bin", {0x01});
    for (const char* name : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg"})
        writeToneWav(dir.game + name, 100);
    const RunResult result = run(Keys(), 1, {"--record-sound"});
    EXPECT_EQ(frame(result, 1)["soundOn"], 1);
    EXPECT_EQ(frame(result, 1)["detail"], 0);
    EXPECT_EQ(frame(result, 1)["opponentChoice"], 0);
    EXPECT_EQ(frame(result, 1)["speed"], 0);
    EXPECT_EQ(frame(result, 1)["sound"], nlohmann::json({"stop 1", "play 0 recognizer"}));
}

TEST_F(MenuRun, DamagedValuesAreBroughtIntoRange) {
    writeBytes(dir.game + "options.bin", {0x05, 0x07, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00});
    const RunResult result = run(Keys(), 1);
    EXPECT_EQ(frame(result, 1)["soundOn"], 1);
    EXPECT_EQ(frame(result, 1)["detail"], 2);
    EXPECT_EQ(frame(result, 1)["opponentChoice"], 0);
    EXPECT_EQ(frame(result, 1)["speed"], 2);
}

TEST_F(MenuRun, SoundToggleCallsInOrderAndWithoutADeviceOnlyStops) {
    for (const char* name : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg"})
        writeToneWav(dir.game + name, 100);
    Keys keys = toOptions();
    keys.tap(4, "up").tap(5, "up").tap(6, "enter").tap(7, "enter");
    const RunResult recorded = run(keys, 8, {"--record-sound"});
    EXPECT_EQ(frame(recorded, 6)["sound"], nlohmann::json({"stop 1", "play 0 recognizer"}));
    EXPECT_EQ(frame(recorded, 7)["sound"], nlohmann::json({"stop 0", "stop 1"}));
    for (int f : {1, 2, 3, 4, 5, 8}) EXPECT_TRUE(frame(recorded, f)["sound"].empty()) << "frame " << f;

    // No sound device: switching on plays nothing, switching off still stops both loops.
    const RunResult silent = run(keys, 8);
    EXPECT_EQ(frame(silent, 6)["soundOn"], 1);
    EXPECT_TRUE(frame(silent, 6)["sound"].empty());
    EXPECT_EQ(frame(silent, 7)["sound"], nlohmann::json({"stop 0", "stop 1"}));
}

// ---- Where options.bin lives when the game directory cannot be written ----

TEST_F(MenuRun, InstalledGameKeepsItsOptionsInTheConfigDirectory) {
    // A file shipped beside the installed game counts until the player saves.
    writeBytes(dir.game + "options.bin", {0x00, 0x01, 0, 0, 0, 0x00, 0, 0, 0, 0x00, 0, 0, 0});
    dir.makeGameDirReadOnly();
    Keys keys = toOptions();
    keys.tap(4, "enter").tap(5, "up").tap(6, "enter"); // two opponents, back
    RunSettings settings;
    settings.keys = keys.text;
    settings.frames = 7;
    settings.unprivileged = true;
    settings.screenshot = false;
    const RunResult result = dir.run(settings);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(frame(result, 1)["detail"], 1) << "read from the game directory";
    EXPECT_EQ(frame(result, 6)["screen"], Main);
    const std::vector<uint8_t> saved = {0x00, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x00, 0, 0, 0};
    EXPECT_EQ(readBytes(dir.config + "palvex/options.bin"), saved);
    EXPECT_EQ(readBytes(dir.game + "options.bin")[5], 0x00) << "the installed file is left alone";

    // The next start reads the player's file, not the installed one.
    settings.keys.clear();
    settings.frames = 1;
    const RunResult again = dir.run(settings);
    EXPECT_EQ(frame(again, 1)["opponentChoice"], 1);
    EXPECT_EQ(frame(again, 1)["detail"], 1);
}

TEST_F(MenuRun, NowhereToSaveStoresNothingAndTheGameGoesOn) {
    dir.makeGameDirReadOnly();
    // The configuration directory's path runs through a regular file: no one can create it.
    writeBytes(dir.out + "notadir", {1});
    Keys keys = toOptions();
    keys.tap(4, "enter").tap(5, "up").tap(6, "enter").tap(7, "down");
    RunSettings settings;
    settings.keys = keys.text;
    settings.frames = 8;
    settings.unprivileged = true;
    settings.screenshot = false;
    settings.env["XDG_CONFIG_HOME"] = dir.out + "notadir";
    const RunResult result = dir.run(settings);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.errors, "") << "a failed save is silent";
    ASSERT_EQ(result.trace.size(), 8u);
    EXPECT_EQ(frame(result, 6)["screen"], Main);
    EXPECT_EQ(frame(result, 7)["item"], 1);
    EXPECT_EQ(frame(result, 8)["opponentChoice"], 1) << "the options stay in force for this run";
    EXPECT_FALSE(exists(dir.game + "options.bin"));
}

TEST_F(MenuRun, FailedSaveLeavesTheOldFileIntact) {
    const std::vector<uint8_t> old = {0x00, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x02, 0, 0, 0};
    writeBytes(dir.game + "options.bin", old);
    Keys keys = toOptions();
    keys.tap(4, "enter").tap(5, "up").tap(6, "enter");
    RunSettings settings;
    settings.keys = keys.text;
    settings.frames = 7;
    settings.screenshot = false;
    // Every file the game writes may grow to 5 bytes: the save stops part-way, as on a
    // full disk (the trace and log are cut short too, so only the files are checked).
    settings.fileSizeLimit = 5;
    const RunResult limited = dir.run(settings);
    EXPECT_EQ(limited.exitCode, 0) << limited.errors;
    EXPECT_EQ(readBytes(dir.game + "options.bin"), old);
    std::vector<std::string> leftovers;
    for (const char* pattern : {"options.bin.*", "*.tmp*"}) {
        FILE* ls = popen(("cd '" + dir.game + "' && ls -d " + pattern + " 2>/dev/null").c_str(), "r");
        char line[256];
        while (ls && fgets(line, sizeof line, ls)) leftovers.push_back(line);
        if (ls) pclose(ls);
    }
    EXPECT_TRUE(leftovers.empty()) << leftovers.front();

    // The same keys without the limit do write: the save above was really attempted.
    settings.fileSizeLimit = -1;
    const RunResult unlimited = dir.run(settings);
    EXPECT_EQ(unlimited.exitCode, 0);
    EXPECT_EQ(readBytes(dir.game + "options.bin")[5], 0x00) << "opponents cycled from three to one";
}

// ---- What the screens show ----

namespace {

// Screenshot rows run top first: a GL row r is row 293 - r. The menu pictures stand at
// x 56.5, y 56.9 and are drawn texel for pixel: columns 56 to 183, rows 109 to 236.
constexpr int PICTURE_LEFT = 56, PICTURE_RIGHT = 183, PICTURE_TOP = 109, PICTURE_BOTTOM = 236;

void expectPointerAt(const Shot& shot, int item, int step, int items) {
    for (int i = 0; i < items; ++i) {
        const int top = PICTURE_TOP + step * i;
        const Colour expected = i == item ? POINTER : BACKGROUND;
        EXPECT_TRUE(shot.is(40, top + 16, expected)) << "item " << i << ": " << describe(shot.at(40, top + 16));
    }
    const int top = PICTURE_TOP + step * item;
    EXPECT_TRUE(shot.is(24, top, POINTER)) << describe(shot.at(24, top));
    EXPECT_TRUE(shot.is(55, top + 31, POINTER)) << describe(shot.at(55, top + 31));
    EXPECT_TRUE(shot.is(23, top + 16, BACKGROUND));
    EXPECT_TRUE(shot.is(40, top - 1, BACKGROUND) || item > 0);
    EXPECT_TRUE(shot.is(40, top + 32, BACKGROUND) || item < items - 1);
}

void expectEverywhere(const Shot& shot, Colour colour) {
    int wrong = 0;
    for (int y = 0; y < shot.height; y += 3)
        for (int x = 0; x < shot.width; x += 3)
            if (!shot.is(x, y, colour)) ++wrong;
    EXPECT_EQ(wrong, 0) << "first pixel " << describe(shot.at(0, 0)) << ", last " << describe(shot.at(239, 293));
}

} // namespace

TEST_F(MenuRun, TitleScreenFillsTheScreen) {
    run(Keys(), 1);
    const Shot shot(dir.screenshotPath());
    ASSERT_TRUE(shot.valid());
    ASSERT_EQ(shot.width, 240);
    ASSERT_EQ(shot.height, 294);
    expectEverywhere(shot, TITLE);
}

TEST_F(MenuRun, MainMenuPictureStandsTexelForPixelWithThePointer) {
    run(Keys().tap(1, "enter").tap(2, "down"), 3);
    const Shot shot(dir.screenshotPath());
    ASSERT_TRUE(shot.valid());
    // Texel for pixel and unblended: every pixel of a row is one of the picture's own
    // colours. The picture stands on half-pixel x, so pixel centres fall on texel edges
    // and the rasteriser's rounding may put a column one pixel either way (with the
    // default repeat wrap, the right edge column then shows at the left).
    constexpr int ROW = 200; // clear of the pointer
    for (int x = PICTURE_LEFT - 1; x <= PICTURE_RIGHT + 2; ++x) {
        const bool own = shot.is(x, ROW, MAIN) || shot.is(x, ROW, MAIN_LEFT) || shot.is(x, ROW, MAIN_RIGHT) ||
                         shot.is(x, ROW, BACKGROUND);
        EXPECT_TRUE(own) << "column " << x << ": " << describe(shot.at(x, ROW));
    }
    EXPECT_TRUE(shot.is(PICTURE_LEFT - 1, ROW, BACKGROUND));
    EXPECT_TRUE(shot.is(PICTURE_LEFT, ROW, MAIN_LEFT) || shot.is(PICTURE_LEFT + 1, ROW, MAIN_LEFT));
    EXPECT_TRUE(shot.is(PICTURE_LEFT + 2, ROW, MAIN));
    EXPECT_TRUE(shot.is(PICTURE_RIGHT - 1, ROW, MAIN));
    EXPECT_TRUE(shot.is(PICTURE_RIGHT, ROW, MAIN_RIGHT) || shot.is(PICTURE_RIGHT + 1, ROW, MAIN_RIGHT));
    EXPECT_TRUE(shot.is(PICTURE_RIGHT + 2, ROW, BACKGROUND));
    // Upright: its top band at the top.
    EXPECT_TRUE(shot.is(120, PICTURE_TOP, MAIN_TOP)) << describe(shot.at(120, PICTURE_TOP));
    EXPECT_TRUE(shot.is(120, PICTURE_TOP + 7, MAIN_TOP));
    EXPECT_TRUE(shot.is(120, PICTURE_TOP + 8, MAIN));
    EXPECT_TRUE(shot.is(120, PICTURE_TOP - 1, BACKGROUND)) << describe(shot.at(120, PICTURE_TOP - 1));
    EXPECT_TRUE(shot.is(120, PICTURE_BOTTOM, MAIN)) << describe(shot.at(120, PICTURE_BOTTOM));
    EXPECT_TRUE(shot.is(120, PICTURE_BOTTOM + 1, BACKGROUND)) << describe(shot.at(120, PICTURE_BOTTOM + 1));
    // The background fills the rest, corner to corner, none of its texture's outside.
    for (auto [x, y] : {std::pair{0, 0}, {239, 0}, {0, 293}, {239, 293}, {120, 20}, {200, 270}})
        EXPECT_TRUE(shot.is(x, y, BACKGROUND)) << x << "," << y << ": " << describe(shot.at(x, y));
    expectPointerAt(shot, 1, 32, 4);
}

TEST_F(MenuRun, CreditsFillTheScreenInFrontOfTheBackground) {
    run(Keys().tap(1, "enter").tap(2, "down").tap(3, "down").tap(4, "enter"), 5);
    const Shot shot(dir.screenshotPath());
    ASSERT_TRUE(shot.valid());
    expectEverywhere(shot, CREDITS);
}

namespace {

// The words as the overlay draws them: the font at the logical size, white on black.
class Words {
public:
    Words() {
        TTF_Init();
        font = TTF_OpenFont(PALVEX_FONT, 11);
    }
    ~Words() {
        if (font) TTF_CloseFont(font);
        TTF_Quit();
    }
    // Whether the box at (x, y) holds exactly this word: its measured size, and the glyphs.
    ::testing::AssertionResult drawn(const Shot& shot, int x, int y, const char* word) const {
        if (!font) return ::testing::AssertionFailure() << "no font " << PALVEX_FONT;
        int w = 0, h = 0;
        TTF_SizeUTF8(font, word, &w, &h);
        SDL_Surface* rendered = TTF_RenderUTF8_Shaded(font, word, SDL_Color{255, 255, 255, 255}, SDL_Color{0, 0, 0, 255});
        SDL_Surface* rgb = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_RGB24, 0);
        SDL_FreeSurface(rendered);
        int mismatches = 0;
        for (int row = 0; row < std::min(h, rgb->h); ++row)
            for (int col = 0; col < std::min(w, rgb->w); ++col) {
                const uint8_t* p = static_cast<uint8_t*>(rgb->pixels) + row * rgb->pitch + col * 3;
                if (!shot.is(x + col, y + row, Colour{p[0], p[1], p[2]})) ++mismatches;
            }
        SDL_FreeSurface(rgb);
        // The box ends where the measured word ends: the picture shows again right after.
        const bool boxEnds = !shot.is(x + w, y + 1, Colour{0, 0, 0}) && shot.is(x + w - 1, y + 1, Colour{0, 0, 0});
        if (mismatches == 0 && boxEnds) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << word << "\" at " << x << "," << y << ": " << mismatches
                                             << " pixels differ" << (boxEnds ? "" : ", box edge not at its width");
    }
    TTF_Font* font = nullptr;
};

} // namespace

TEST_F(MenuRun, OptionsScreenWritesTheValuesBesideTheirLabels) {
    const Words words;
    run(toOptions(), 4);
    {
        const Shot shot(dir.screenshotPath());
        ASSERT_TRUE(shot.valid());
        EXPECT_TRUE(shot.is(120, 112, OPTIONS));
        EXPECT_TRUE(shot.is(161, 118, OPTIONS)) << "the box starts at x 162";
        EXPECT_TRUE(words.drawn(shot, 162, 117, "one"));
        EXPECT_TRUE(words.drawn(shot, 162, 141, "low"));
        EXPECT_TRUE(words.drawn(shot, 162, 165, "low"));
        EXPECT_TRUE(words.drawn(shot, 162, 188, "off"));
        expectPointerAt(shot, 0, 24, 5);
    }

    writeBytes(dir.game + "options.bin", EXAMPLE);
    Keys keys = toOptions();
    keys.tap(4, "up");
    run(keys, 4);
    const Shot shot(dir.screenshotPath());
    ASSERT_TRUE(shot.valid());
    EXPECT_TRUE(words.drawn(shot, 162, 117, "two"));
    EXPECT_TRUE(words.drawn(shot, 162, 141, "high"));
    EXPECT_TRUE(words.drawn(shot, 162, 165, "medium"));
    EXPECT_TRUE(words.drawn(shot, 162, 188, "on"));
    expectPointerAt(shot, 4, 24, 5);

    // On every other screen the words are gone.
    run(Keys().tap(1, "enter"), 2);
    const Shot main(dir.screenshotPath());
    EXPECT_TRUE(main.is(165, 120, MAIN));
}

TEST(MenuPictures, TheGameDataLoadsAndTheWordsFitBesideTheLabels) {
    GameDir dir;
    if (!exists(dir.game + "options.gif")) GTEST_SKIP() << "no data/ pictures";
    RunSettings settings;
    settings.keys = toOptions().text;
    settings.frames = 4;
    const RunResult result = dir.run(settings);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.errors.find("error while loading texture"), std::string::npos) << result.errors;
    const Shot shot(dir.screenshotPath());
    ASSERT_TRUE(shot.valid());
    const Words words;
    EXPECT_TRUE(words.drawn(shot, 162, 117, "one"));
    EXPECT_TRUE(words.drawn(shot, 162, 141, "low"));
    EXPECT_TRUE(words.drawn(shot, 162, 165, "low"));
    EXPECT_TRUE(words.drawn(shot, 162, 188, "off"));
}
