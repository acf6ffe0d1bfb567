// The menu driven through key scripts: the trace, the screenshots, options.bin, the sound.
#include <SDL_ttf.h>

#include <array>

#include "integration/gamedir.h"

using namespace gamedir;

namespace {

// Pictures with known colours standing in for the game's menu pictures.
constexpr Colour OUTSIDE{248, 0, 248}; // texture area no screen should show
constexpr Colour BACKGROUND{0, 0, 248};
constexpr Colour TITLE{248, 252, 0};
constexpr Colour CREDITS{0, 252, 0};
constexpr Colour MAIN{248, 0, 0};
constexpr Colour MAIN_LEFT{0, 252, 248};    // column 0 of the main menu picture
constexpr Colour MAIN_RIGHT{248, 252, 248}; // column 127
constexpr Colour MAIN_TOP{0, 128, 0};       // rows 0 to 7 between them
constexpr Colour OPTIONS{128, 64, 0};
constexpr Colour POINTER{200, 200, 200};

struct Rect {
    int x, y, w, h;
    Colour c;
};

// Written as BMP under the .gif names; the image loader goes by content.
void writePicture(const std::string& path, int size, std::initializer_list<Rect> rects) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, size, size, 24, SDL_PIXELFORMAT_RGB24);
    for (const Rect& r : rects) {
        const SDL_Rect rect{r.x, r.y, r.w, r.h};
        SDL_FillRect(s, &rect, SDL_MapRGB(s->format, r.c.r, r.c.g, r.c.b));
    }
    EXPECT_EQ(SDL_SaveBMP(s, path.c_str()), 0) << path;
    SDL_FreeSurface(s);
}

// From the title (any key at frame 1) to the options screen, ready at frame 4.
const std::string TO_OPTIONS = tap(1, "enter") + tap(2, "down") + tap(3, "enter");
const std::string TO_CREDITS = tap(1, "enter") + tap(2, "down") + tap(3, "down") + tap(4, "enter");
const std::string CYCLE_AND_BACK = TO_OPTIONS + tap(4, "enter") + tap(5, "up") + tap(6, "enter");
// Sound on, high detail, two opponents, medium speed.
const std::vector<uint8_t> EXAMPLE = {0x01, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0};

std::string taps(int first, int last, const char* key) {
    std::string keys;
    for (int f = first; f <= last; ++f) keys += tap(f, key);
    return keys;
}

// The menu pictures stand at x 56.5, y 56.9 (GL, y up), texel for pixel: screenshot columns
// 56 to 183, rows 109 to 236.
constexpr int PICTURE_LEFT = 56, PICTURE_RIGHT = 183, PICTURE_TOP = 109, PICTURE_BOTTOM = 236;

// The 32 x 32 pointer left of the item, none beside the others.
void expectPointerAt(const Shot& shot, int item, int step, int items) {
    for (int i = 0; i < items; ++i)
        EXPECT_TRUE(shot.is(40, PICTURE_TOP + step * i + 16, i == item ? POINTER : BACKGROUND)) << "item " << i;
    const int top = PICTURE_TOP + step * item;
    EXPECT_TRUE(shot.is(24, top, POINTER) && shot.is(55, top + 31, POINTER) && shot.is(23, top + 16, BACKGROUND));
}

// The overlay's font at the logical size.
TTF_Font* overlayFont() {
    static TTF_Font* const font = TTF_Init() == 0 ? TTF_OpenFont(PALVEX_FONT, 11) : nullptr;
    return font;
}

// Whether the box at (x, y) holds exactly this word as the overlay draws it (the font at
// the logical size, white on black), glyphs and measured width; x -1: centred on the screen.
::testing::AssertionResult wordAt(const Shot& shot, int x, int y, const char* word) {
    TTF_Font* const font = overlayFont();
    if (!font) return ::testing::AssertionFailure() << "no font " << PALVEX_FONT;
    int w = 0, h = 0, mismatches = 0;
    TTF_SizeUTF8(font, word, &w, &h);
    if (x < 0) x = (shot.width - w) / 2;
    SDL_Surface* rendered = TTF_RenderUTF8_Shaded(font, word, SDL_Color{255, 255, 255, 255}, SDL_Color{0, 0, 0, 255});
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_RGB24, 0);
    for (int row = 0; row < std::min(h, rgb->h); ++row)
        for (int col = 0; col < std::min(w, rgb->w); ++col) {
            const uint8_t* p = static_cast<uint8_t*>(rgb->pixels) + row * rgb->pitch + col * 3;
            mismatches += !shot.is(x + col, y + row, Colour{p[0], p[1], p[2]});
        }
    SDL_FreeSurface(rendered);
    SDL_FreeSurface(rgb);
    const bool boxEnds = !shot.is(x + w, y + 1, Colour{0, 0, 0}) && shot.is(x + w - 1, y + 1, Colour{0, 0, 0});
    if (mismatches == 0 && boxEnds) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << word << "\" at " << x << "," << y << ": " << mismatches
                                         << " pixels differ" << (boxEnds ? "" : ", box edge not at its width");
}

void expectValues(const Shot& shot, std::array<const char*, 4> values) {
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(wordAt(shot, 162, std::array{117, 141, 165, 188}[i], values[i]));
}

class MenuRun : public ::testing::Test {
protected:
    void SetUp() override {
        // The full-screen pictures show the 240 x 294 lower-left corner of a 512 x 512 texture.
        for (const auto& [name, c] :
             {std::pair{"backmenu.gif", BACKGROUND}, {"start.gif", TITLE}, {"credits.gif", CREDITS}})
            writePicture(dir.game + name, 512, {{0, 0, 512, 512, OUTSIDE}, {0, 512 - 294, 240, 294, c}});
        writePicture(dir.game + "mainmenu.gif", 128, {{0, 0, 128, 128, MAIN}, {1, 0, 126, 8, MAIN_TOP},
                                                      {0, 0, 1, 128, MAIN_LEFT}, {127, 0, 1, 128, MAIN_RIGHT}});
        writePicture(dir.game + "options.gif", 128, {{0, 0, 128, 128, OPTIONS}});
        writePicture(dir.game + "pointer.gif", 32, {{0, 0, 32, 32, POINTER}});
    }

    RunResult run(const std::string& keys, long frames, std::vector<std::string> extra = {}) {
        RunResult result = dir.run({.frames = frames, .keys = keys, .extraArgs = std::move(extra)});
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result;
    }

    GameDir dir;
};

} // namespace

// Screens: 0 main, 1 options, 2 credits, 3 title. Items count from the top; the main menu
// has start, options, credits, quit, the options screen four options and back.
TEST_F(MenuRun, KeyScriptsWalkTheScreens) {
    struct Case {
        const char* what;
        std::string keys;
        long frames; // each a trace line
        const char* expect;
        std::vector<uint8_t> saved = {}; // options.bin afterwards
    } cases[] = {
        // Any key leaves the title, Escape on its press; the Enter that leaves it counts on
        // its release and must not start a race.
        {"any key leaves the title", tap(3, "escape"), 5, "1-2 screen=3 anyKeySeen=0; 3-5 screen=0 item=0 inGame=0"},
        {"Enter leaves the title on its release", tap(6, "enter"), 8,
         "1-5 screen=3 anyKeySeen=0; 6 anyKeySeen=1; 6-8 screen=0 item=0 inGame=0"},
        {"the main menu wraps both ways",
         tap(1, "enter") + tap(2, "up") + tap(3, "down") + tap(4, "s") + taps(5, 7, "down"), 8,
         "2 item=3; 3 item=0; 4 item=1; 6 item=3; 7 item=0; 1-8 inGame=0"},
        {"the options wrap between the first item and back",
         TO_OPTIONS + tap(4, "up") + tap(5, "down") + taps(6, 9, "w"), 10,
         "3 screen=1 item=0; 4 item=4; 5 item=0; 6 item=4; 9-10 item=1 screen=1 inGame=0"},
        {"any select leaves the credits", TO_CREDITS + tap(5, "up") + tap(6, "enter"), 7,
         "4 screen=2 item=0; 5 screen=2; 6-7 screen=0 inGame=0"},
        {"selects cycle each option round at once; back saves them and returns to the first item",
         TO_OPTIONS + taps(4, 7, "enter") + tap(8, "down") + taps(9, 13, "enter") + tap(14, "down") +
             taps(15, 18, "enter") + tap(19, "down") + taps(20, 22, "enter") + tap(23, "down") + tap(24, "enter"),
         26, "4 opponentChoice=1; 5 opponentChoice=2; 6 opponentChoice=0; 9 detail=1; 10 detail=2; 11 detail=0;"
             "15 speed=1; 17 speed=0; 20 soundOn=1; 21 soundOn=0; 23 item=4; 24 screen=0 item=0; 26 inGame=0",
         EXAMPLE},
        // The file the case before saved is read, and saved again unchanged.
        {"Up released with back stays within the main menu's items",
         TO_OPTIONS + tap(4, "up") + tap(5, "enter") + tap(5, "up") + tap(6, "down"), 6,
         "4 screen=1 item=4; 5 screen=0 item=3; 6 item=0", EXAMPLE},
        // From the file above: sound on, high detail, two opponents, medium speed.
        {"Left and Right change the value under the pointer round both ways; Escape saves as back does",
         TO_OPTIONS + tap(4, "left") + tap(5, "left") + tap(6, "right") + tap(7, "down") + tap(8, "a") +
             tap(9, "d") + tap(10, "d") + taps(11, 12, "down") + tap(13, "left") + tap(14, "down") +
             tap(15, "right") + tap(16, "escape"),
         17, "4 opponentChoice=0; 5 opponentChoice=2; 6 opponentChoice=0; 8 detail=1; 9 detail=2; 10 detail=0;"
             "13 soundOn=0; 15 screen=1 item=4 speed=1; 16-17 screen=0 item=0 inGame=0",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"Escape leaves the credits and the controls screen, which Right opens from the main menu and the credits",
         TO_CREDITS + tap(5, "escape") + tap(6, "right") + tap(7, "escape") + taps(8, 9, "down") + tap(10, "enter") +
             tap(11, "right") + tap(12, "enter") + tap(13, "escape"),
         14, "4 screen=2; 5 screen=0 item=0; 6 screen=4; 7 screen=0 item=0; 10 screen=2; 11 screen=4; 12-14 screen=0 inGame=0",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult result = run(c.keys, c.frames);
        EXPECT_EQ(result.trace.size(), size_t(c.frames));
        expectTrace(result, c.expect);
        EXPECT_EQ(result.errors, "") << "all pictures load";
        EXPECT_EQ(fs::exists(dir.game + "options.bin"), !c.saved.empty()) << "only the back item writes the file";
        EXPECT_EQ(readBytes(dir.game + "options.bin"), c.saved);
        EXPECT_FALSE(fs::exists(dir.config + "palvex/options.bin")) << "a writable game directory keeps the file";
    }
}

TEST_F(MenuRun, SoundToggleCallsInOrderAndTheLoopIsHeardOnlyWhileOn) {
    const std::string keys = TO_OPTIONS + taps(4, 5, "up") + taps(6, 7, "enter");
    expectTrace(run(keys, 8, {"--record-sound"}),
                R"(6 sound=["stop 1", "play 0 recognizer"]; 7 sound=["stop 0", "stop 1"]; 1-5 sound=[]; 8 sound=[])");
    // Real mixing through SDL_mixer's disk driver.
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        writeBytes(dir.game + "options.bin", {uint8_t(on)});
        const std::string output = dir.out + (on ? "on.raw" : "off.raw");
        const RunResult result = dir.run({.frames = 300,
                                          .env = {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", output}},
                                          .screenshot = false});
        ASSERT_EQ(result.exitCode, 0) << result.errors;
        if (on) expectTrace(result, R"(1 sound=["stop 1", "play 0 recognizer"])");
        const std::vector<uint8_t> bytes = readBytes(output);
        EXPECT_GT(bytes.size(), 4096u) << "the device ran";
        size_t loud = 0; // of the 16-bit samples
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            loud += std::abs(int16_t(bytes[i] | (bytes[i + 1] << 8))) > 100;
        EXPECT_TRUE(on ? loud > 1000 : loud == 0) << loud << " loud samples";
    }
}

// Installed (read-only, runs as "nobody"): a shipped file counts until the player saves; with
// nowhere to save, the choice holds for the run and one line says it was not kept.
TEST_F(MenuRun, InstalledGameKeepsItsOptionsInTheConfigDirectoryOrNowhere) {
    writeBytes(dir.game + "options.bin", {0x00, 0x01, 0, 0, 0, 0x00, 0, 0, 0, 0x00, 0, 0, 0});
    ::chmod(dir.game.c_str(), 0555);
    RunSettings settings{
        .frames = 8, .keys = CYCLE_AND_BACK + tap(7, "down"), .unprivileged = true, .screenshot = false};
    auto runAsNobody = [&](const char* expect, const std::string& errors = "") {
        const RunResult result = dir.run(settings);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_EQ(result.errors, errors);
        expectTrace(result, expect);
    };
    runAsNobody("1 detail=1 opponentChoice=0; 6 screen=0");
    EXPECT_EQ(readBytes(dir.config + "palvex/options.bin"),
              (std::vector<uint8_t>{0x00, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x00, 0, 0, 0}));
    settings.keys.clear(); // the next start reads the player's file
    runAsNobody("1 opponentChoice=1 detail=1");

    settings.keys = CYCLE_AND_BACK + tap(7, "down");
    writeBytes(dir.out + "notadir", {1}); // a file where the configuration directory should be made
    settings.env = {{"XDG_CONFIG_HOME", dir.out + "notadir"}};
    runAsNobody("1 opponentChoice=0; 6 screen=0; 7 item=1; 8 opponentChoice=1",
                "palvex: options not saved: cannot create " + dir.out + "notadir/palvex/\n");
    EXPECT_EQ(readBytes(dir.game + "options.bin")[5], 0x00) << "the installed file is left alone";
}

TEST_F(MenuRun, TitleAndCreditsFillTheScreen) {
    for (const auto& [keys, colour] : {std::pair{std::string(), TITLE}, std::pair{TO_CREDITS, CREDITS}}) {
        SCOPED_TRACE(keys);
        run(keys, 5);
        const Shot shot(dir.shot);
        ASSERT_EQ(shot.width, 240);
        ASSERT_EQ(shot.height, 294);
        int wrong = 0;
        for (int y = 0; y < shot.height; y += 3)
            for (int x = 0; x < shot.width; x += 3) wrong += !shot.is(x, y, colour);
        EXPECT_EQ(wrong, 0) << shot.is(0, 0, colour).message() << shot.is(239, 293, colour).message();
    }
}

TEST_F(MenuRun, MainMenuPictureStandsTexelForPixelWithThePointer) {
    run(tap(1, "enter") + tap(2, "down"), 3);
    const Shot shot(dir.shot);
    ASSERT_TRUE(shot.valid());
    // Texel for pixel, unblended: every pixel one of the picture's colours. It stands on
    // half-pixel x, so an edge column may land one pixel either way (wrapping with repeat).
    constexpr int ROW = 200; // clear of the pointer
    for (int x = PICTURE_LEFT - 1; x <= PICTURE_RIGHT + 2; ++x)
        EXPECT_TRUE(shot.is(x, ROW, MAIN) || shot.is(x, ROW, MAIN_LEFT) || shot.is(x, ROW, MAIN_RIGHT) ||
                    shot.is(x, ROW, BACKGROUND)) << "column " << x << ": " << shot.at(x, ROW);
    EXPECT_TRUE(shot.is(PICTURE_LEFT, ROW, MAIN_LEFT) || shot.is(PICTURE_LEFT + 1, ROW, MAIN_LEFT)) << "mirrored";
    // Its edges, upright (the top band at the top), and the background corner to corner.
    for (const auto& [x, y, c] : {std::tuple{PICTURE_LEFT - 1, ROW, BACKGROUND}, {PICTURE_LEFT + 2, ROW, MAIN},
                                  {PICTURE_RIGHT - 1, ROW, MAIN}, {PICTURE_RIGHT + 2, ROW, BACKGROUND},
                                  {120, PICTURE_TOP - 1, BACKGROUND}, {120, PICTURE_TOP, MAIN_TOP},
                                  {120, PICTURE_TOP + 7, MAIN_TOP}, {120, PICTURE_TOP + 8, MAIN},
                                  {120, PICTURE_BOTTOM, MAIN}, {120, PICTURE_BOTTOM + 1, BACKGROUND},
                                  {0, 0, BACKGROUND}, {239, 0, BACKGROUND}, {0, 293, BACKGROUND},
                                  {239, 293, BACKGROUND}})
        EXPECT_TRUE(shot.is(x, y, c));
    expectPointerAt(shot, 1, 32, 4);
}

TEST_F(MenuRun, OptionsScreenWritesTheValuesBesideTheirLabels) {
    run(TO_OPTIONS, 4);
    const Shot first(dir.shot);
    ASSERT_TRUE(first.valid());
    EXPECT_TRUE(first.is(120, 112, OPTIONS));
    EXPECT_TRUE(first.is(161, 118, OPTIONS)) << "the box starts at x 162";
    expectValues(first, {"one", "low", "low", "off"});
    expectPointerAt(first, 0, 24, 5);

    writeBytes(dir.game + "options.bin", EXAMPLE);
    run(TO_OPTIONS + tap(4, "up"), 4);
    const Shot example(dir.shot);
    ASSERT_TRUE(example.valid());
    expectValues(example, {"two", "high", "medium", "on"});
    expectPointerAt(example, 4, 24, 5);

    // On every other screen the words are gone.
    run(tap(1, "enter"), 2);
    EXPECT_TRUE(Shot(dir.shot).is(165, 120, MAIN));

    // The game's own pictures load, and the words fit beside their labels.
    fs::copy(PALVEX_SOURCE_DIR "/data", dir.game, fs::copy_options::overwrite_existing);
    fs::remove(dir.game + "options.bin");
    const RunResult real = run(TO_OPTIONS, 4);
    EXPECT_EQ(real.errors, "");
    expectValues(Shot(dir.shot), {"one", "low", "low", "off"});
}

namespace {

// From the title to the players screen, ready at frame 3.
const std::string TO_PLAYERS = tap(1, "enter") + tap(2, "left");

std::string versus(int players, int opponents, int level = 0) {
    return "{\"players\":" + std::to_string(players) + ",\"opponents\":" + std::to_string(opponents) +
           ",\"level\":" + std::to_string(level) + "}";
}

} // namespace

// Players screen: items 0 players, 1 computer bikes, 2 level, 3 start. The trace's "versus"
// is what START would begin; the one-player game's traces have none.
TEST_F(MenuRun, PlayersScreenChoosesTheNextRace) {
    const struct Case {
        const char* what;
        std::string keys;
        long frames;
        std::string expect;
    } cases[] = {
        {"Left opens it from the main menu; Up and Down wrap; the players go round 1 to 4 both ways",
         TO_PLAYERS + tap(3, "up") + tap(4, "down") + taps(5, 8, "right") + tap(9, "a") + tap(10, "left"), 10,
         "1 versus=null; 2 screen=5 item=0 inGame=0; 3 item=3; 4 item=0; 2-4 versus=" + versus(1, 1) +
             "; 5 versus=" + versus(2, 1) + "; 7 versus=" + versus(4, 0) + "; 8 versus=" + versus(1, 1) +
             "; 9 versus=" + versus(4, 0) + "; 10 versus=" + versus(3, 1) + "; 1-10 inGame=0"},
        {"the computer bikes go round the free seats, and fewer seats cut them down for good",
         TO_PLAYERS + tap(3, "right") + tap(4, "down") + taps(5, 6, "right") + tap(7, "d") + tap(8, "left") +
             taps(9, 10, "right") + tap(11, "up") + tap(12, "right") + tap(13, "left") + taps(14, 15, "right") +
             tap(16, "left") + tap(17, "down") + tap(18, "right") + tap(19, "right"),
         19,
         "3 versus=" + versus(2, 1) + "; 4 item=1; 5 versus=" + versus(2, 2) + "; 6 versus=" + versus(2, 0) +
             "; 7 versus=" + versus(2, 1) + "; 8 versus=" + versus(2, 0) + "; 10 versus=" + versus(2, 2) +
             "; 11 item=0; 12 versus=" + versus(3, 1) + "; 13 versus=" + versus(2, 1) + "; 15 versus=" +
             versus(4, 0) + "; 16 versus=" + versus(3, 0) + "; 18 item=1 versus=" + versus(3, 1) +
             "; 19 versus=" + versus(3, 0)},
        {"one player races the options' opponents, which the screen shows and leaves alone",
         TO_PLAYERS + tap(3, "down") + tap(4, "left") + taps(5, 6, "right") + tap(7, "up") + tap(8, "right"), 8,
         "3-6 item=1 opponentChoice=2 versus=" + versus(1, 3) + "; 8 item=0 versus=" + versus(2, 2)},
        {"the level goes round its four both ways, also with Q and E; Enter steps a value as Right does",
         TO_PLAYERS + taps(3, 4, "down") + tap(5, "right") + taps(6, 7, "left") + tap(8, "enter") + tap(9, "e") +
             tap(10, "q") + tap(11, "q") + tap(12, "up") + tap(13, "up") + tap(14, "enter") + tap(15, "escape"),
         15,
         "4 item=2; 5 versus=" + versus(1, 3, 1) + "; 7 versus=" + versus(1, 3, 3) + "; 8 versus=" +
             versus(1, 3, 0) + "; 9 versus=" + versus(1, 3, 1) + "; 11 versus=" + versus(1, 3, 3) +
             "; 14 item=0 versus=" + versus(2, 2, 3) + "; 15 screen=0 item=0 inGame=0 versus=" + versus(2, 2, 3)},
        {"Escape keeps the numbers for START; the race is left to the main menu with them",
         TO_PLAYERS + tap(3, "right") + tap(4, "escape") + tap(5, "enter") + tap(30, "escape") + tap(31, "left"), 31,
         "4 screen=0 item=0 inGame=0 versus=" + versus(2, 2) + "; 5-29 inGame=1 versus=" + versus(2, 2) +
             "; 30 inGame=0 screen=0 item=0 versus=" + versus(2, 2) + "; 31 screen=5 item=0 versus=" + versus(2, 2)},
        {"Enter on start begins the race at once",
         TO_PLAYERS + tap(3, "right") + tap(4, "up") + tap(5, "enter"), 6,
         "4 screen=5 item=3 inGame=0; 5-6 inGame=1 screen=0 item=0 versus=" + versus(2, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The third case on: two opponents in the options.
        if (&c == &cases[2]) writeBytes(dir.game + "options.bin", {0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0});
        const RunResult result = run(c.keys, c.frames);
        EXPECT_EQ(result.trace.size(), size_t(c.frames));
        expectTrace(result, c.expect);
        EXPECT_EQ(result.errors, "");
    }
    EXPECT_EQ(readBytes(dir.game + "options.bin"), (std::vector<uint8_t>{0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}))
        << "the players screen writes nothing to options.bin";
}

// One player started from the players screen is the race the main menu starts: from the
// start on, the same trace, the same sounds, the same picture.
TEST_F(MenuRun, OnePlayerStartFromThePlayersScreenIsTheMainMenusStart) {
    fs::copy(PALVEX_SOURCE_DIR "/data", dir.game, fs::copy_options::overwrite_existing);
    writeBytes(dir.game + "options.bin", {1, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    const std::string race = hold(8, "right") + hold(30, "left") + hold(50, "d");
    std::vector<std::string> traces;
    std::vector<std::vector<uint8_t>> shots;
    for (const std::string& toStart : {tap(1, "enter") + tap(2, "down") + tap(3, "up") + tap(4, "enter"),
                                       TO_PLAYERS + tap(3, "up") + tap(4, "enter")}) {
        const RunResult result = run(toStart + race, 70, {"--record-sound"});
        ASSERT_EQ(result.trace.size(), 70u);
        std::string fromStart;
        for (size_t f = 3; f < result.trace.size(); ++f) fromStart += result.trace[f].dump() + "\n";
        traces.push_back(fromStart);
        shots.push_back(readBytes(dir.shot));
        expectTrace(result, "4-70 inGame=1 versus=null");
    }
    EXPECT_EQ(traces[0], traces[1]);
    EXPECT_EQ(shots[0], shots[1]);
}

TEST_F(MenuRun, PlayersScreenWritesItsRowsBesideThePointer) {
    run(TO_PLAYERS + tap(3, "right") + tap(4, "down") + tap(5, "q"), 5);
    const Shot shot(dir.shot);
    ASSERT_TRUE(shot.valid());
    // The background alone under the words: no menu picture.
    EXPECT_TRUE(shot.is(175, 112, BACKGROUND));
    EXPECT_TRUE(shot.is(175, 157, BACKGROUND));
    const char* rows[] = {"players: 2", "computer bikes: 1", "level: territorial", "start", "left, right: change"};
    const int tops[] = {117, 141, 165, 188, 231};
    for (int row = 0; row < 5; ++row) EXPECT_TRUE(wordAt(shot, 64, tops[row], rows[row]));
    EXPECT_TRUE(shot.is(66, 218, BACKGROUND)) << "no pads, no pads' line";
    // The options screen's pointer places, 24 pixels apart.
    expectPointerAt(shot, 1, 24, 4);

    // The main menu says what START begins while several play, and only then.
    run(TO_PLAYERS + tap(3, "right") + tap(4, "escape"), 4);
    const Shot versusMain(dir.shot);
    EXPECT_TRUE(wordAt(versusMain, -1, 279, "2 players \xc2\xb7 1 computer bike"));
    expectPointerAt(versusMain, 0, 32, 4);
    run(TO_PLAYERS + taps(3, 4, "right") + tap(5, "down") + tap(6, "left") + tap(7, "escape"), 7);
    EXPECT_TRUE(wordAt(Shot(dir.shot), -1, 279, "3 players \xc2\xb7 0 computer bikes"));

    run(tap(1, "enter") + tap(2, "down") + tap(3, "up"), 3);
    const std::vector<uint8_t> neverVisited = readBytes(dir.shot);
    const Shot onePlayer(dir.shot);
    int written = 0;
    for (int y = 270; y < onePlayer.height; ++y)
        for (int x = 0; x < onePlayer.width; ++x) written += !onePlayer.is(x, y, BACKGROUND);
    EXPECT_EQ(written, 0) << "nothing under the one-player main menu";
    run(TO_PLAYERS + tap(3, "right") + tap(4, "left") + tap(5, "escape"), 5);
    EXPECT_EQ(readBytes(dir.shot), neverVisited) << "one player: the main menu as designed";
}
