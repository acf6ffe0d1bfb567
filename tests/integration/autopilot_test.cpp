// The autopilot in the player's seat of the real game: it starts the race and steers
// through the turn keys alone; the game it drove is recorded, and the replay verifies and
// names the opponents' level it was raced against.
#include "integration/gamedir.h"

using namespace gamedir;

TEST(Autopilot, DrivesTheRaceThroughTheKeysAndItsRecordingVerifies) {
    GameDir dir;
    const std::string file = dir.out + "pilot.pvxr";
    // Only the menu keys come from the script: Enter twice starts a race.
    const RunResult live = dir.run({.frames = 700,
                                    .keys = tap(1, "enter") + tap(2, "enter"),
                                    .extraArgs = {"--autopilot", "wary", "--ai", "cautious", "--record", file},
                                    .screenshot = false});
    ASSERT_EQ(live.exitCode, 0) << live.errors;
    ASSERT_GT(live.trace.size(), 650u);
    // The pilot started the bike and turned it: more than one wall quad, and key
    // releases of the turn buttons (left 2, right 3) seen in the trace.
    const nlohmann::json& last = live.trace.back();
    EXPECT_EQ(last["inGame"], 1);
    EXPECT_NE(last["player"]["direction"], 4) << "the bike left its start";
    int turnKeys = 0;
    for (const nlohmann::json& frame : live.trace) turnKeys += frame["buttonReleased"][2].get<int>() + frame["buttonReleased"][3].get<int>();
    EXPECT_GE(turnKeys, 3) << "steered by key presses";

    RunResult verified = dir.runArgs({"--replay", file, "--verify"});
    EXPECT_EQ(verified.exitCode, 0) << verified.errors;
    EXPECT_NE(verified.out.find("the replay agrees"), std::string::npos) << verified.out;

    // Written in the format that holds the opponents' level and the players.
    std::vector<uint8_t> bytes = readBytes(file);
    const std::vector<uint8_t> magic = {'P', 'A', 'L', 'V', 'E', 'X', 'R', 'P', 3, 0};
    ASSERT_GT(bytes.size(), magic.size());
    EXPECT_TRUE(std::equal(magic.begin(), magic.end(), bytes.begin())) << "format 3";

    // A wrong level on the command line is refused with the names of the levels.
    const RunResult bad = dir.runArgs({"--headless", "--frames", "1", "--autopilot", "genius"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.errors.find("classic, cautious, wary, territorial"), std::string::npos) << bad.errors;
    const RunResult both = dir.runArgs({"--replay", file, "--autopilot", "wary"});
    EXPECT_EQ(both.exitCode, 2) << "a replay brings its own keys";
}
