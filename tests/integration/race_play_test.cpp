// Races played through key scripts on a private copy of the game: what the screenshots
// show at each detail level and opponent count, and what the trace says about scores and
// the way back to the menu.
#include "integration/gamedir.h"

using namespace gamedir;

namespace {

constexpr Colour PLAYER{255, 223, 0};
constexpr Colour OPPONENT[3] = {{255, 114, 0}, {226, 0, 138}, {0, 137, 210}};
// The score boxes sit in the lower left corner; the 3D view is judged outside it.
constexpr int BOX_RIGHT = 40;
constexpr int BOX_TOP = 215;

// options.bin as the game writes it: sound, detail, opponent choice, speed.
std::vector<uint8_t> optionsRecord(int detail, int opponentChoice, int speed = 0) {
    std::vector<uint8_t> bytes = {0};
    for (int value : {detail, opponentChoice, speed})
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
    return bytes;
}

std::string tap(int frame, const char* key) {
    return std::to_string(frame) + " down " + key + "\n" + std::to_string(frame) + " up " + key + "\n";
}

// Steering reads the held state in the frame: a turn key has to stay down over a frame.
std::string hold(int frame, const char* key) {
    return std::to_string(frame) + " down " + key + "\n" + std::to_string(frame + 2) + " up " + key + "\n";
}

// Title left at frame 1, start selected at frame 2: the race runs from frame 3 on.
// The first right press sets the bikes going, the second turns, so walls show.
std::string raceKeys() { return tap(1, "enter") + tap(2, "enter") + hold(5, "right") + hold(60, "right"); }

bool exact(const Colour& a, const Colour& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

int countExact(const Shot& shot, Colour c, bool withBoxes = false) {
    int n = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            if ((withBoxes || x >= BOX_RIGHT || y < BOX_TOP) && exact(shot.at(x, y), c)) ++n;
    return n;
}

// Pixels of one score box's row: its background shows in the leftmost columns.
bool boxAt(const Shot& shot, int top, Colour c) {
    int n = 0;
    for (int y = top; y < top + 12 && y < shot.height; ++y)
        for (int x = 2; x < 8; ++x)
            if (exact(shot.at(x, y), c)) ++n;
    return n > 0;
}

class RacePlay : public ::testing::Test {
protected:
    RunResult race(int detail, int opponentChoice, const std::string& keys, long frames) {
        writeBytes(dir.game + "options.bin", optionsRecord(detail, opponentChoice));
        RunSettings settings;
        settings.keys = keys;
        settings.frames = frames;
        RunResult result = dir.run(settings);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result;
    }
    GameDir dir;
};

} // namespace

TEST_F(RacePlay, LowDetailDrawsEveryBikeInItsFlatColour) {
    // Shortly after the start, while every opponent is still in view.
    const RunResult result = race(0, 2, raceKeys(), 12);
    ASSERT_EQ(result.trace.size(), 12u);
    EXPECT_EQ(result.trace.back()["opponents"][2]["started"], 1);
    EXPECT_EQ(result.trace.back()["inGame"], 1);
    EXPECT_EQ(result.trace.back()["detail"], 0);
    const Shot shot(dir.screenshotPath());
    ASSERT_TRUE(shot.valid());
    EXPECT_GT(countExact(shot, PLAYER), 0) << "the player's bike or wall in " << describe(PLAYER);
    for (const Colour& c : OPPONENT) EXPECT_GT(countExact(shot, c), 0) << describe(c);
}

TEST_F(RacePlay, HighDetailTexturesTheArenaFloor) {
    const RunResult low = race(0, 2, raceKeys(), 150);
    const Shot flat(dir.screenshotPath());
    ASSERT_TRUE(flat.valid());
    const RunResult high = race(2, 2, raceKeys(), 150);
    const Shot textured(dir.screenshotPath());
    ASSERT_TRUE(textured.valid());
    EXPECT_EQ(high.trace.back()["detail"], 2);
    // The floor tile is dark blue lined with cyan; untextured, the floor is one flat colour.
    auto floorColours = [](const Shot& shot) {
        int darkBlue = 0, cyan = 0;
        for (int y = shot.height / 2; y < shot.height; ++y)
            for (int x = BOX_RIGHT; x < shot.width; ++x) {
                const Colour p = shot.at(x, y);
                if (p.b > 60 && p.r < 40 && p.g < 60 && p.b > p.g + 30) ++darkBlue;
                if (p.g > 120 && p.b > 120 && p.r < 90) ++cyan;
            }
        return std::make_pair(darkBlue, cyan);
    };
    const auto [blueHigh, cyanHigh] = floorColours(textured);
    const auto [blueLow, cyanLow] = floorColours(flat);
    EXPECT_GT(blueHigh, 500);
    EXPECT_GT(cyanHigh, 200);
    EXPECT_EQ(blueLow, 0) << "the flat floor is grey";
    EXPECT_LT(cyanLow, cyanHigh / 4) << "only a wall seen edge-on, no tile lines";
    // Textured bikes leave the flat player yellow behind.
    EXPECT_LT(countExact(textured, PLAYER), countExact(flat, PLAYER));
}

TEST_F(RacePlay, ScoreBoxesFollowTheOpponentCount) {
    race(0, 0, raceKeys(), 40);
    const Shot one(dir.screenshotPath());
    ASSERT_TRUE(one.valid());
    EXPECT_TRUE(boxAt(one, 275, PLAYER));
    EXPECT_TRUE(boxAt(one, 257, OPPONENT[0]));
    EXPECT_FALSE(boxAt(one, 239, OPPONENT[1]));
    EXPECT_FALSE(boxAt(one, 221, OPPONENT[2]));
    EXPECT_EQ(countExact(one, OPPONENT[1], true), 0);
    EXPECT_EQ(countExact(one, OPPONENT[2], true), 0);

    race(0, 2, raceKeys(), 40);
    const Shot three(dir.screenshotPath());
    ASSERT_TRUE(three.valid());
    EXPECT_TRUE(boxAt(three, 275, PLAYER));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(boxAt(three, 257 - 18 * i, OPPONENT[i])) << describe(OPPONENT[i]);
}

TEST_F(RacePlay, LeavingARaceClearsTheScoresAndTheEnterReleaseSelectsNothing) {
    // Three quick right turns close a loop: the player runs into its own wall, which
    // costs a point and takes the score below zero.
    const std::string keys = tap(1, "enter") + tap(2, "enter") + hold(5, "right") + hold(20, "right") +
                             hold(26, "right") + hold(32, "right") + tap(800, "escape") + tap(802, "enter") +
                             tap(900, "enter");
    const RunResult left = race(0, 0, keys, 910);
    ASSERT_EQ(left.trace.size(), 910u);
    int crashFrame = 0;
    for (int f = 1; f < 800 && !crashFrame; ++f)
        if (left.trace[f - 1].contains("killer")) crashFrame = f;
    ASSERT_GT(crashFrame, 0);
    EXPECT_EQ(left.trace[crashFrame - 1]["killer"], 0) << "its own wall";
    EXPECT_EQ(left.trace[crashFrame - 1]["scores"][3], -1);
    EXPECT_EQ(left.trace[798]["inGame"], 1);
    EXPECT_LT(left.trace[798]["scores"][3].get<int>(), 0);
    // Escape ends the race; Enter's release in the next race ends it too and must not
    // start a third one through the menu.
    const auto& afterEscape = left.trace[799];
    EXPECT_EQ(afterEscape["inGame"], 0);
    EXPECT_EQ(afterEscape["scores"], nlohmann::json::array({0, 0, 0, 0}));
    EXPECT_EQ(left.trace[801]["inGame"], 1) << "Enter in the menu starts the next race";
    for (int f = 900; f < 910; ++f) {
        EXPECT_EQ(left.trace[f - 1]["inGame"], 0) << "frame " << f;
        EXPECT_EQ(left.trace[f - 1]["scores"], nlohmann::json::array({0, 0, 0, 0}));
    }
    EXPECT_EQ(left.trace[909]["item"], 0);
}
