// Races of several players through the real binary: a key script's players steer their own
// bikes, the game is recorded, verifies, and plays back frame for frame; the command line
// refuses what cannot be seated.
#include "integration/gamedir.h"

using namespace gamedir;

namespace {

// Three players and one computer bike: each player starts or turns on their own keys.
const std::string GAME = tap(1, "enter") + tap(2, "enter") + hold(5, "2:right") + hold(30, "a") +
                         hold(45, "2:left") + hold(60, "3:right") + hold(90, "3:left") + hold(120, "d") +
                         tap(399, "escape");

// The directions of the players in a trace line (4: waiting at the start).
std::vector<int> directions(const nlohmann::json& line) {
    std::vector<int> out;
    for (const auto& player : line["players"]) out.push_back(player["direction"]);
    return out;
}

} // namespace

TEST(Versus, ThreePlayersRecordedVerifyAndPlayBackFrameForFrame) {
    GameDir dir;
    const std::string file = dir.out + "versus.pvxr";
    const RunResult live = dir.run({.frames = 400,
                                    .keys = GAME,
                                    .extraArgs = {"--players", "3", "--opponents", "1", "--record", file},
                                    .screenshot = false});
    ASSERT_EQ(live.exitCode, 0) << live.errors;

    std::vector<nlohmann::json> race;
    bool setUp = false;
    for (const nlohmann::json& line : live.trace) {
        if (line["inGame"] != 1) continue;
        if (!setUp) {
            setUp = true; // the menu frame in which the race was set up
            continue;
        }
        race.push_back(line);
    }
    ASSERT_GT(race.size(), 300u);
    ASSERT_EQ(race.front()["players"].size(), 3u);
    EXPECT_NE(race.front()["opponents"][2], nullptr) << "the computer bike sits in the fourth seat";
    // The players' directions as they changed: player 2's first press set every bike
    // going with no turn; then player 1's A turned player 1 alone, player 2's left player 2
    // alone, player 3's right player 3 alone.
    std::vector<std::vector<int>> changes;
    for (const nlohmann::json& line : race)
        if (changes.empty() || directions(line) != changes.back()) changes.push_back(directions(line));
    ASSERT_GE(changes.size(), 5u);
    EXPECT_EQ(changes[0], (std::vector<int>{4, 4, 4}));
    EXPECT_EQ(changes[1], (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(changes[2], (std::vector<int>{0, 3, 2}));
    EXPECT_EQ(changes[3], (std::vector<int>{0, 2, 2}));
    EXPECT_EQ(changes[4], (std::vector<int>{0, 2, 3}));

    const RunResult verified = dir.runArgs({"--replay", file, "--verify"});
    EXPECT_EQ(verified.exitCode, 0) << verified.errors;
    EXPECT_NE(verified.out.find("the replay agrees"), std::string::npos) << verified.out;

    // Rolled back eight frames after every frame, every seat's buttons run again alike.
    const RunResult synced = dir.runArgs({"--replay", file, "--sync-test", "8"});
    EXPECT_EQ(synced.exitCode, 0) << synced.errors;

    const RunResult played = dir.runArgs({"--replay", file, "--headless", "--trace", "trace.jsonl"});
    ASSERT_EQ(played.exitCode, 0) << played.errors;
    ASSERT_EQ(played.trace.size(), race.size());
    for (size_t i = 0; i < race.size(); ++i)
        for (const char* field : {"tick", "scores", "playerAlive", "frameStep", "player", "opponents", "players"})
            ASSERT_EQ(played.trace[i].value(field, nlohmann::json()), race[i].value(field, nlohmann::json()))
                << "race frame " << i + 1 << " " << field;
}

TEST(Versus, TheCommandLineSeatsNoMoreThanFourBikes) {
    GameDir dir;
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--players", "5"}, "1 to 4 players, not '5'"},
        {{"--players", "0"}, "1 to 4 players, not '0'"},
        {{"--players", "two"}, "1 to 4 players, not 'two'"},
        {{"--players", "3", "--opponents", "2"}, "room for at most 1 computer bikes, not 2"},
        {{"--opponents", "0"}, "needs at least one computer bike"},
        {{"--replay", "x.pvxr", "--players", "2"}, "a replay brings its own players"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--headless");
        const RunResult r = dir.runArgs(args);
        EXPECT_EQ(r.exitCode, 2) << c.says;
        EXPECT_NE(r.errors.find(c.says), std::string::npos) << r.errors;
    }
    // Four players and no computer bike is a race.
    const RunResult four = dir.run({.frames = 4,
                                    .keys = tap(1, "enter") + tap(2, "enter"),
                                    .extraArgs = {"--players", "4", "--opponents", "0"},
                                    .screenshot = false});
    ASSERT_EQ(four.exitCode, 0) << four.errors;
    EXPECT_EQ(four.trace.back()["players"].size(), 4u);
    EXPECT_EQ(four.trace.back()["opponentCount"], 0);
}
