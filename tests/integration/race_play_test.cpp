// Races played through key scripts: what the screenshots show at each detail level and
// opponent count, and what the trace says about scores and the way back to the menu.
#include "integration/gamedir.h"

using namespace gamedir;

namespace {

constexpr Colour PLAYER{255, 223, 0};
constexpr Colour OPPONENT[3] = {{255, 114, 0}, {226, 0, 138}, {0, 137, 210}};
// The score boxes sit in the lower left corner; the 3D view is judged outside it.
constexpr int BOX_RIGHT = 40, BOX_TOP = 215;

// Title left at 1, start at 2; the first right press sets the bikes going, the second turns.
const std::string RACE_KEYS = tap(1, "enter") + tap(2, "enter") + hold(5, "right") + hold(60, "right");

int countExact(const Shot& shot, Colour c, bool withBoxes = false) {
    int n = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) n += (withBoxes || x >= BOX_RIGHT || y < BOX_TOP) && shot.at(x, y) == c;
    return n;
}

class RacePlay : public ::testing::Test {
protected:
    RunResult race(int detail, int opponentChoice, const std::string& keys, long frames) {
        writeBytes(dir.game + "options.bin", {0, uint8_t(detail), 0, 0, 0, uint8_t(opponentChoice), 0, 0, 0, 0, 0, 0,
                                              0}); // sound, detail, opponents, speed
        RunResult result = dir.run({.frames = frames, .keys = keys});
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result;
    }
    GameDir dir;
};

} // namespace

// Shortly after the start, while every opponent is still in view.
TEST_F(RacePlay, BikesInTheirColoursWithOneScoreBoxEachAndTheFloorTexturedOnlyInHighDetail) {
    int floorLow[2] = {}, floorHigh[2] = {}, yellowLow = 0, yellowHigh = 0;
    for (const auto& [detail, choice] : {std::pair{0, 0}, {0, 2}, {2, 2}}) {
        SCOPED_TRACE(testing::Message() << "detail " << detail << ", opponents " << choice + 1);
        const RunResult result = race(detail, choice, RACE_KEYS, 12);
        expectTrace(result, "12 inGame=1 detail=" + std::to_string(detail));
        EXPECT_EQ(result.trace.back()["opponents"][choice]["started"], 1);
        const Shot shot(dir.shot);
        ASSERT_TRUE(shot.valid());
        // The floor tile is dark blue lined with cyan; untextured, the floor is one flat grey.
        int* floor = detail ? floorHigh : floorLow;
        for (int y = shot.height / 2; y < shot.height; ++y)
            for (int x = BOX_RIGHT; x < shot.width; ++x) {
                const Colour p = shot.at(x, y);
                floor[0] += p.b > 60 && p.r < 40 && p.g < 60 && p.b > p.g + 30;
                floor[1] += p.g > 120 && p.b > 120 && p.r < 90;
            }
        (detail ? yellowHigh : yellowLow) = countExact(shot, PLAYER);
        if (detail) continue;
        // A score box's background fills the leftmost columns of its 12 rows.
        auto boxAt = [&](int top, Colour c) {
            for (int y = top; y < top + 12 && y < shot.height; ++y)
                for (int x = 2; x < 8; ++x)
                    if (shot.at(x, y) == c) return true;
            return false;
        };
        EXPECT_GT(countExact(shot, PLAYER), 0) << "the player's bike or wall in " << PLAYER;
        EXPECT_TRUE(boxAt(275, PLAYER));
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(countExact(shot, OPPONENT[i]) > 0, i <= choice) << OPPONENT[i];
            EXPECT_EQ(boxAt(257 - 18 * i, OPPONENT[i]), i <= choice) << OPPONENT[i];
            EXPECT_TRUE(i <= choice || countExact(shot, OPPONENT[i], true) == 0) << OPPONENT[i];
        }
    }
    EXPECT_GT(floorHigh[0], 500);
    EXPECT_GT(floorHigh[1], 200);
    EXPECT_EQ(floorLow[0], 0);
    EXPECT_LT(floorLow[1], floorHigh[1] / 4) << "only a wall seen edge-on, no tile lines";
    EXPECT_LT(yellowHigh, yellowLow) << "textured bikes leave the flat player yellow behind";
}

TEST_F(RacePlay, LeavingARaceClearsTheScoresAndTheEnterReleaseSelectsNothing) {
    // Three quick right turns close a loop: the player runs into its own wall, which costs
    // a point and takes the score below zero.
    const std::string keys = tap(1, "enter") + tap(2, "enter") + hold(5, "right") + hold(20, "right") +
                             hold(26, "right") + hold(32, "right") + tap(800, "escape") + tap(802, "enter") +
                             tap(900, "enter");
    const RunResult left = race(0, 0, keys, 910);
    ASSERT_EQ(left.trace.size(), 910u);
    int crash = 1;
    while (crash < 800 && !left.trace[crash - 1].contains("killer")) ++crash;
    ASSERT_LT(crash, 800);
    expectTrace(left, std::to_string(crash) + " killer=0"); // its own wall
    EXPECT_EQ(left.trace[crash - 1]["scores"][3], -1);
    EXPECT_EQ(left.trace[798]["inGame"], 1);
    EXPECT_LT(left.trace[798]["scores"][3].get<int>(), 0);
    // Escape ends the race and clears the scores; Enter in the menu starts the next race,
    // and Enter's release in that race ends it without starting a third.
    expectTrace(left, "800 inGame=0 scores=[0,0,0,0]; 802 inGame=1; 900-910 inGame=0 scores=[0,0,0,0]; 910 item=0");
}
