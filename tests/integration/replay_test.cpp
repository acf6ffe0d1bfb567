// Replays made from a headless game: played back they give the live game's race state frame
// for frame, without touching options.bin or recording again; verified they agree; any
// change to the file or to the game's data is found and named.
#include <sys/stat.h>

#include "integration/gamedir.h"

using namespace gamedir;
namespace fs = std::filesystem;

namespace {

// Two opponents at high speed; the player turns both ways, crashes into a wall or the
// edge, and leaves with Escape.
const std::string GAME = tap(1, "enter") + tap(2, "enter") + hold(5, "d") + hold(40, "right") + hold(90, "a") +
                         tap(299, "escape");
const std::vector<uint8_t> OPTIONS = {1, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0};
// What a trace line says of the race, beside the menu's own state.
const char* const RACE_FIELDS[] = {"tick", "inGame", "buttonHeld", "buttonReleased", "scores", "playerAlive",
                                   "raceStarted", "frameTime", "frameStep", "detail", "opponentChoice", "speed",
                                   "player", "opponents", "cameraYaw", "cameraYawTarget", "opponentCount",
                                   "scoredOpponents", "killer"};

class Replay : public ::testing::Test {
protected:
    void SetUp() override {
        writeBytes(dir.game + "options.bin", OPTIONS);
        live = dir.run({.frames = 300, .keys = GAME, .extraArgs = {"--record", file}, .screenshot = false});
        ASSERT_EQ(live.exitCode, 0) << live.errors;
    }
    RunResult replay(std::vector<std::string> args) {
        args.insert(args.begin(), {"--replay", file});
        return dir.runArgs(args);
    }
    GameDir dir;
    std::string file = dir.out + "game.pvxr";
    RunResult live;
};

} // namespace

TEST_F(Replay, PlaybackGivesTheLiveRaceFrameForFrameAndLeavesTheFilesAlone) {
    writeBytes(dir.game + "options.bin", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    ::chmod((dir.game + "options.bin").c_str(), 0444);
    const RunResult played = replay({"--headless", "--trace", "trace.jsonl"});
    ASSERT_EQ(played.exitCode, 0) << played.errors;
    // The live trace: menu frames, the frame in which Start set the race up, the race.
    size_t setup = 0;
    while (setup < live.trace.size() && live.trace[setup]["inGame"] != 1) ++setup;
    std::vector<nlohmann::json> race(live.trace.begin() + long(setup) + 1, live.trace.end());
    while (!race.empty() && race.back()["inGame"] != 1) race.pop_back();
    ASSERT_GT(race.size(), 250u);
    ASSERT_EQ(played.trace.size(), race.size());
    for (size_t i = 0; i < race.size(); ++i)
        for (const char* field : RACE_FIELDS)
            ASSERT_EQ(played.trace[i].value(field, nlohmann::json()), race[i].value(field, nlohmann::json()))
                << "race frame " << i + 1 << " " << field;
    EXPECT_EQ(race.back()["playerAlive"], 0) << "the game has its crash";
    EXPECT_EQ(readBytes(dir.game + "options.bin"), std::vector<uint8_t>(13, 0)) << "never read nor written";
    EXPECT_FALSE(fs::exists(dir.out + ".local/share/palvex/replays")) << "a playback records nothing";
}

TEST_F(Replay, VerifyAgreesAndNamesWhatDiffers) {
    RunResult r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.out.find("the replay agrees"), std::string::npos) << r.out;
    const std::vector<uint8_t> good = readBytes(file);

    // A tick of the middle of the game moved: the race state after it differs.
    std::vector<uint8_t> bent = good;
    bent[good.size() / 2] ^= 0x01;
    writeBytes(file, bent);
    r = replay({"--verify"});
    if (r.exitCode == 3) {
        EXPECT_NE(r.errors.find("the replay differs from frame "), std::string::npos) << r.errors;
    } else {
        EXPECT_EQ(r.exitCode, 2) << "a flipped byte is a difference or damage: " << r.errors;
    }

    // Cut in half: verified to its last complete frame, and said so.
    writeBytes(file, std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2)));
    r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find("was cut short"), std::string::npos) << r.errors;

    // Foreign, newer, unreadable: a message and exit code 2.
    writeBytes(file, {'n', 'o', 't', ' ', 'a', ' ', 'r', 'e', 'p', 'l', 'a', 'y'});
    EXPECT_EQ(replay({"--verify"}).exitCode, 2);
    std::vector<uint8_t> newer = good;
    newer[8] = 0x7F;
    writeBytes(file, newer);
    r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("newer Palvex"), std::string::npos) << r.errors;
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 2) << "a FIFO is refused, never waited on";
    EXPECT_NE(r.errors.find("not a regular file"), std::string::npos) << r.errors;

    // Made with other data.
    fs::remove(file);
    writeBytes(file, good);
    std::ofstream(dir.game + "moto3.ase", std::ios::app) << "*COMMENT changed\n";
    r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("another moto3.ase"), std::string::npos) << r.errors;
    EXPECT_EQ(dir.runArgs({"--verify"}).exitCode, 2) << "--verify needs a replay";
}

// Two games in one run with --record FILE: the second goes to FILE-2, and both verify.
TEST(ReplayRecord, EveryGameOfARunHasItsFile) {
    GameDir dir;
    const std::string file = dir.out + "run.pvxr";
    const std::string twoGames = tap(1, "enter") + tap(2, "enter") + hold(5, "d") + tap(50, "escape") +
                                 tap(60, "enter") + hold(65, "d") + tap(100, "escape");
    for (int pass = 0; pass < 2; ++pass) { // the second run replaces the first run's files
        const RunResult r = dir.run({.frames = 110, .keys = twoGames, .extraArgs = {"--record", file}, .screenshot = false});
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        EXPECT_EQ(r.errors, "");
    }
    for (const std::string& f : {file, dir.out + "run-2.pvxr"}) {
        const RunResult v = dir.runArgs({"--replay", f, "--verify"});
        EXPECT_EQ(v.exitCode, 0) << f << ": " << v.errors;
        EXPECT_NE(v.out.find("the replay agrees"), std::string::npos) << v.out;
    }
}
