// Replays made from a headless game: played back they give the live game's race state frame
// for frame, without touching options.bin or recording again; verified they agree; any
// change to the file or to the game's data is found and named.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "integration/gamedir.h"

#include <functional>

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

// Where the header ends and the items begin.
size_t bodyStart(const std::vector<uint8_t>& b) {
    size_t at = 10;
    at += 1 + b[at];      // the version text
    at += 13 + 7;         // options, held buttons
    const int models = b[at++];
    for (int i = 0; i < models; ++i) at += 1 + b[at] + 8;
    return at + 4 + 1 + 2; // the set-up tick, the opponents' level, the players and computer bikes
}

// Where each frame item of a replay is: the bytes of a file the tests change by hand.
std::vector<size_t> frameItems(const std::vector<uint8_t>& b) {
    size_t at = bodyStart(b);
    auto varint = [&b, &at] {
        while (b[at++] & 0x80) {}
    };
    std::vector<size_t> frames;
    while (at < b.size()) {
        const uint8_t tag = b[at++];
        if (tag == 1) ++at, varint();
        else if (tag == 7) ++at, varint(), varint();
        else if (tag == 2) varint();
        else if (tag == 3) frames.push_back(at - 1);
        else if (tag == 4) varint(), at += 28;
        else if (tag == 5) break;
    }
    return frames;
}

// The file with a key's press and release put before race frame `frame`.
std::vector<uint8_t> withKeyBefore(std::vector<uint8_t> bytes, size_t frame, uint8_t key) {
    const size_t at = frameItems(bytes)[frame - 2] + 1; // after the frame before
    bytes.insert(bytes.begin() + long(at), {1, 5, key, 1, 6, key}); // MsgKeyDown, MsgKeyUp
    return bytes;
}

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
        EXPECT_NE(r.errors.find("differs from frame "), std::string::npos) << r.errors;
    } else {
        EXPECT_EQ(r.exitCode, 2) << "a flipped byte is a difference or damage: " << r.errors;
    }

    // Cut in half: verified to its last check, and said so; cut before the first check,
    // nothing can be said.
    writeBytes(file, std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2)));
    r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.out.find("agrees to frame 120, its last check"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("was cut short"), std::string::npos) << r.out;
    writeBytes(file, std::vector<uint8_t>(good.begin(), good.begin() + long(frameItems(good)[30])));
    r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_NE(r.errors.find("before its first check"), std::string::npos) << r.errors;

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

// A game of the formats before players were named still verifies: the game just recorded,
// rewritten as format 2 (no players in the header) and format 1 (no opponents' level, the
// classic one). A game whose keys name their player records whose they were and verifies.
TEST_F(Replay, OlderFormatsAndPlayersKeysVerify) {
    const std::vector<uint8_t> good = readBytes(file);
    const size_t players = bodyStart(good) - 2;
    std::vector<uint8_t> two = good;
    two.erase(two.begin() + long(players), two.begin() + long(players) + 2);
    two[8] = 2;
    std::vector<uint8_t> one = two;
    one.erase(one.begin() + long(players) - 1);
    one[8] = 1;
    for (const auto& bytes : {two, one}) {
        writeBytes(file, bytes);
        const RunResult r = replay({"--verify"});
        EXPECT_EQ(r.exitCode, 0) << "format " << int(bytes[8]) << ": " << r.errors;
        EXPECT_NE(r.out.find("the replay agrees"), std::string::npos) << r.out;
    }

    const std::string owned = dir.out + "owned.pvxr";
    const std::string keys = tap(1, "enter") + tap(2, "enter") + hold(5, "1:d") + hold(40, "1:right") +
                             hold(90, "a") + tap(299, "escape");
    writeBytes(dir.game + "options.bin", OPTIONS);
    const RunResult live2 = dir.run({.frames = 300, .keys = keys, .extraArgs = {"--record", owned}, .screenshot = false});
    ASSERT_EQ(live2.exitCode, 0) << live2.errors;
    const std::vector<uint8_t> bytes = readBytes(owned);
    size_t playerItems = 0;
    for (size_t at = frameItems(bytes)[0]; at + 3 < bytes.size(); ++at)
        if (bytes[at] == 7 && bytes[at + 1] == 5 && bytes[at + 2] == 0x44) ++playerItems;
    EXPECT_GE(playerItems, 1u) << "player 1's D is recorded as player 1's";
    const RunResult r = dir.runArgs({"--replay", owned, "--verify"});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.out.find("the replay agrees"), std::string::npos) << r.out;
}

// A game just recorded, with its crash, rolled back every frame: the same race. A number of
// frames the rollback rings cannot hold, or no replay, is a usage error.
TEST_F(Replay, SyncTestRollsBackEveryFrameAndChecksUsage) {
    for (const char* distance : {"1", "8", "31"}) {
        const RunResult r = replay({"--sync-test", distance});
        EXPECT_EQ(r.exitCode, 0) << distance << ": " << r.errors;
        EXPECT_NE(r.out.find("the sync test agrees"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(std::string("rollback of ") + distance + " frame"), std::string::npos) << r.out;
    }
    for (const char* bad : {"0", "32", "x", ""}) {
        const RunResult r = replay({"--sync-test", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.errors.find("--sync-test needs a number of frames from 1 to 31"), std::string::npos) << r.errors;
    }
    EXPECT_EQ(dir.runArgs({"--sync-test", "4"}).exitCode, 2) << "--sync-test needs a replay";
}

// Opponents of the levels that keep a memory of their own across frames (the territorial
// one: where it last decided, how long it has driven), against the autopilot: rolled back
// every frame, the race comes out the same.
TEST(ReplaySync, DriversOfEveryLevelComeOutTheSameAfterRollbacks) {
    GameDir dir;
    for (const char* level : {"wary", "territorial"}) {
        const std::string file = dir.out + level + ".pvxr";
        const RunResult live = dir.run({.frames = 600,
                                        .keys = tap(1, "enter") + tap(2, "enter"),
                                        .extraArgs = {"--autopilot", "territorial", "--ai", level, "--record", file},
                                        .screenshot = false});
        ASSERT_EQ(live.exitCode, 0) << live.errors;
        const RunResult r = dir.runArgs({"--replay", file, "--sync-test", "4"});
        EXPECT_EQ(r.exitCode, 0) << level << ": " << r.errors;
        EXPECT_NE(r.out.find("the sync test agrees"), std::string::npos) << r.out;
    }
}

// Two games in one run with --record FILE: the second goes to FILE-2, and both verify. A
// second run never replaces them: it refuses, says so, and fails.
TEST(ReplayRecord, EveryGameOfARunHasItsFileAndNoFileIsReplaced) {
    GameDir dir;
    const std::string file = dir.out + "run.pvxr";
    const std::string twoGames = tap(1, "enter") + tap(2, "enter") + hold(5, "d") + tap(50, "escape") +
                                 tap(60, "enter") + hold(65, "d") + tap(100, "escape");
    RunResult r = dir.run({.frames = 110, .keys = twoGames, .extraArgs = {"--record", file}, .screenshot = false});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    const std::vector<uint8_t> first = readBytes(file), second = readBytes(dir.out + "run-2.pvxr");
    for (const std::string& f : {file, dir.out + "run-2.pvxr"}) {
        const RunResult v = dir.runArgs({"--replay", f, "--verify"});
        EXPECT_EQ(v.exitCode, 0) << f << ": " << v.errors;
        EXPECT_NE(v.out.find("the replay agrees"), std::string::npos) << v.out;
    }
    r = dir.run({.frames = 110, .keys = twoGames, .extraArgs = {"--record", file}, .screenshot = false});
    EXPECT_EQ(r.exitCode, 2) << "a game not recorded fails a run asked to record";
    EXPECT_NE(r.errors.find("game not recorded: cannot create " + file + ": it exists"), std::string::npos) << r.errors;
    EXPECT_EQ(readBytes(file), first);
    EXPECT_EQ(readBytes(dir.out + "run-2.pvxr"), second);
    // A device node named by the player stays (as root /dev/null would have been removed).
    if (::geteuid() == 0) {
        const std::string node = dir.out + "null";
        ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        r = dir.run({.frames = 60, .keys = twoGames, .extraArgs = {"--record", node}, .screenshot = false});
        EXPECT_EQ(r.exitCode, 2);
        struct stat info;
        ASSERT_EQ(::lstat(node.c_str(), &info), 0) << "the node is still there";
        EXPECT_TRUE(S_ISCHR(info.st_mode));
    }
}


// One verdict a file, earned: a game that leaves the race or pauses while the recording
// goes on differs, and --verify and a headless playback say the same of it.
TEST_F(Replay, AGameThatStopsBeforeItsRecordingDiffersAlike) {
    const std::vector<uint8_t> good = readBytes(file);
    ASSERT_GT(frameItems(good).size(), 250u);
    for (const auto& [key, what] : {std::pair<uint8_t, std::string>{0x1B, "the game ended there, the recording goes on"},
                                    {0x13, "the game was paused there, the recording goes on"}}) {
        writeBytes(file, withKeyBefore(good, 30, key));
        const RunResult verified = replay({"--verify"});
        const RunResult played = replay({"--headless"});
        for (const RunResult* r : {&verified, &played}) {
            EXPECT_EQ(r->exitCode, 3) << what << ": " << r->errors;
            EXPECT_NE(r->errors.find("differs from frame 2"), std::string::npos) << r->errors;
            EXPECT_NE(r->errors.find(what), std::string::npos) << r->errors;
            EXPECT_EQ(r->out.find("agrees"), std::string::npos) << r->out;
        }
    }
    // The end's check taken away: the last frames are unchecked, nothing agrees.
    std::vector<uint8_t> unchecked(good.begin(), good.begin() + long(frameItems(good).back() + 1));
    unchecked.push_back(5);
    writeBytes(file, unchecked);
    const RunResult r = replay({"--verify"});
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_EQ(r.out.find("agrees"), std::string::npos) << r.out;
}

// Hostile files: whatever a file holds, one clear message, an exit code of 0, 2 or 3, and
// the memory of a small game (the whole file is never held), never a hang.
TEST_F(Replay, HostileFilesAreRefusedInBoundedMemoryWithOneMessage) {
    const std::vector<uint8_t> good = readBytes(file);
    const std::vector<size_t> frames = frameItems(good);
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string says;
    };
    // Made one at a time and let go before the run: the child's peak memory counts what
    // the test held when it forked.
    std::vector<std::pair<Case, std::function<std::vector<uint8_t>()>>> cases;
    const std::vector<uint8_t> upToFrames(good.begin(), good.begin() + long(frames[0]));
    cases.push_back({{"100 MB of bare frames", {}, "differs from frame 2 on: the ticks the game read"}, [&] {
                         std::vector<uint8_t> b = upToFrames;
                         b.resize(b.size() + (100u << 20), 3);
                         return b;
                     }});
    cases.push_back({{"30 MB of frames and ticks", {}, "no check after frame 60"}, [&] {
                         // 59 frames of the game, then frames of a tick each, the sixtieth unchecked.
                         std::vector<uint8_t> b(good.begin(), good.begin() + long(frames[58] + 1));
                         const size_t from = b.size();
                         b.resize(from + (30u << 20));
                         for (size_t i = from; i + 3 <= b.size(); i += 3) b[i] = 2, b[i + 1] = 40, b[i + 2] = 3;
                         return b;
                     }});
    cases.push_back({{"a frame of endless events", {}, "too many events before one frame"}, [&] {
                         std::vector<uint8_t> b = upToFrames;
                         for (int i = 0; i < 5000; ++i) b.insert(b.end(), {1, 5, 0x44});
                         return b;
                     }});
    const size_t version = 10, model = 10 + 1 + good[10] + 13 + 7 + 1 + 1; // the first model's name
    cases.push_back({{"a held button of 0xFF", {}, "held button of 255"}, [&] {
                         std::vector<uint8_t> b = good;
                         b[version + 1 + good[version] + 13 + 2] = 0xFF;
                         return b;
                     }});
    cases.push_back({{"an escape sequence in the version text", {}, "printable"}, [&] {
                         std::vector<uint8_t> b = good;
                         b[version + 2] = 0x1B;
                         return b;
                     }});
    cases.push_back({{"a model path", {}, "not a plain file name"}, [&] {
                         std::vector<uint8_t> b = good;
                         const std::string dotdot = "../../../";
                         std::copy(dotdot.begin(), dotdot.end(), b.begin() + long(model));
                         return b;
                     }});
    cases.push_back({{"no models", {}, "names 0 model files"}, [&] {
                         std::vector<uint8_t> b(good.begin(), good.begin() + long(model - 2));
                         b.push_back(0);
                         size_t rest = model - 1;
                         for (int i = 0; i < good[model - 2]; ++i) rest += 1 + good[rest] + 8;
                         b.insert(b.end(), good.begin() + long(rest), good.end());
                         return b;
                     }});
    cases.push_back({{"a pressed key added", {}, "differs from frame"}, [&] {
                         std::vector<uint8_t> b = good;
                         const size_t at = frameItems(b)[18] + 1, later = frameItems(b)[24] + 1;
                         b.insert(b.begin() + long(later), {1, 6, 0x44}); // D held over six frames
                         b.insert(b.begin() + long(at), {1, 5, 0x44});
                         return b;
                     }});
    // The players and computer bikes of a race of several, in the header's last two bytes.
    const size_t players = bodyStart(good) - 2;
    for (const auto& [bytePlayers, byteOpponents, says] :
         {std::tuple{0, 0, "a race of 0 players"}, std::tuple{5, 0, "a race of 5 players"},
          std::tuple{2, 3, "a race of 2 players and 3 computer bikes"}})
        cases.push_back({{says, {}, says}, [&, bytePlayers = bytePlayers, byteOpponents = byteOpponents] {
                             std::vector<uint8_t> b = good;
                             b[players] = static_cast<uint8_t>(bytePlayers);
                             b[players + 1] = static_cast<uint8_t>(byteOpponents);
                             return b;
                         }});
    cases.push_back({{"a player's key beyond 16 bits", {}, "an impossible event"}, [&] {
                         std::vector<uint8_t> b = good;
                         const size_t at = frameItems(b)[18] + 1;
                         b.insert(b.begin() + long(at), {7, 5, 0x44, 0x82, 0xC4, 0x04}); // lParam 0x12202
                         return b;
                     }});
    for (const auto& [c, make] : cases) {
        writeBytes(file, make());
        const RunResult r = replay({"--verify"});
        EXPECT_TRUE(r.exitCode == 2 || r.exitCode == 3) << c.name << ": " << r.exitCode;
        EXPECT_NE(r.errors.find(c.says), std::string::npos) << c.name << ": " << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << c.name << ": one message: " << r.errors;
        EXPECT_EQ(r.errors.find('\x1b'), std::string::npos) << c.name;
        EXPECT_EQ(r.out.find("agrees"), std::string::npos) << c.name;
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(r.maxRssKb, 128 * 1024) << c.name;
#endif
    }
}
