// Replay files: what the writer appends reads back item for item, a step at a time; a file
// cut anywhere reads as its complete frames; foreign, newer, damaged and implausible files
// are refused by name, in bounded memory; the writer never replaces a file; the player
// hands the ticks back in the order they were read.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/os.h"
#include "platform/replayfile.h"
#include "replay.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace platform;

namespace {

Message key(MessageType type, uint32_t code) {
    Message m;
    m.message = type;
    m.wParam = code;
    return m;
}

// A game of three frames: two set-up ticks, a turn key before frame 1, a check after
// frame 2, the Escape that ended it after frame 3.
std::vector<uint8_t> recordedGame(bool finished = true) {
    char pattern[] = "/tmp/palvex-replay-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    const std::string path = dir + "game.pvxr";
    ReplayHeader header;
    header.gameVersion = "9.9.9";
    header.options[0] = 1;
    header.options[5] = 2;
    header.buttonsHeld[3] = 1;
    header.models = {{"arena.ase", 0x1122334455667788ull}, {"moto1.ase", 42}};
    header.setupTick = 5000;
    {
        ReplayWriter writer;
        std::string error;
        EXPECT_TRUE(writer.open(path, header, error)) << error;
        ReplayRecorder recorder(writer);
        recorder.tickRead(1, 5000);
        recorder.tickRead(1, 5001);
        recorder.presented(1); // the menu frame in which the race was set up
        recorder.delivered(2, key(MsgKeyDown, VK_D));
        recorder.tickRead(2, 5020);
        recorder.presented(2);
        recorder.tickRead(3, 4000); // the clock may go back (a wrap, a replayed tick)
        recorder.presented(3);
        ReplayCheck check;
        check.frame = 2;
        for (int g = 0; g < CHECK_GROUPS; ++g) check.groups[g] = 0xA0000000u + g;
        writer.check(check);
        recorder.tickRead(4, 4020);
        recorder.tickRead(4, 4020);
        recorder.presented(4);
        recorder.delivered(5, key(MsgKeyUp, VK_ESCAPE));
        check.frame = 3;
        writer.check(check);
        if (finished) writer.finish();
        else writer.abandon();
    }
    std::vector<uint8_t> bytes;
    EXPECT_EQ(os::readWholeFile(path, 1 << 20, bytes), os::ReadStatus::Ok);
    std::remove(path.c_str());
    rmdir(dir.c_str());
    return bytes;
}

// A whole file as the reader hands it out.
struct Read {
    ReplayStatus status = ReplayStatus::Ok;
    std::string error;
    ReplayHeader header;
    std::vector<uint32_t> setup;
    std::vector<ReplayStep> steps; // the last one is the end, the cut or the damage
};

Read readAll(const std::vector<uint8_t>& bytes, size_t size = SIZE_MAX) {
    MemoryReplaySource source(bytes.data(), std::min(size, bytes.size()));
    ReplayReader reader(source);
    Read r;
    r.status = reader.readHeader(r.header, r.error);
    if (r.status == ReplayStatus::Ok) r.status = reader.readSetup(r.setup, r.error);
    while (r.status == ReplayStatus::Ok) {
        ReplayStep step;
        r.status = reader.next(step, r.error);
        if (r.status != ReplayStatus::Ok) break;
        r.steps.push_back(step);
        if (step.kind != ReplayStep::Frame) break;
    }
    return r;
}

size_t frameSteps(const Read& r) {
    return static_cast<size_t>(std::count_if(r.steps.begin(), r.steps.end(),
                                             [](const ReplayStep& s) { return s.kind == ReplayStep::Frame; }));
}

// The bytes of recordedGame's header, for files made by hand.
std::vector<uint8_t> headerOf(const std::vector<uint8_t>& game) {
    const Read r = readAll(game);
    size_t at = 8 + 2 + 1 + r.header.gameVersion.size() + 13 + 7 + 1;
    for (const ModelHash& m : r.header.models) at += 1 + m.name.size() + 8;
    at += 4; // the set-up tick
    if (REPLAY_FORMAT_VERSION >= 2) at += 1; // the opponents' level
    if (REPLAY_FORMAT_VERSION >= 3) at += 2; // the players, the computer bikes of a race of several
    return {game.begin(), game.begin() + long(at)};
}

} // namespace

TEST(ReplayFile, WhatIsWrittenReadsBack) {
    const std::vector<uint8_t> bytes = recordedGame();
    const Read r = readAll(bytes);
    ASSERT_EQ(r.status, ReplayStatus::Ok) << r.error;
    EXPECT_EQ(r.header.gameVersion, "9.9.9");
    EXPECT_EQ(r.header.options[5], 2);
    EXPECT_EQ(r.header.buttonsHeld[3], 1);
    ASSERT_EQ(r.header.models.size(), 2u);
    EXPECT_EQ(r.header.models[0].hash, 0x1122334455667788ull);
    EXPECT_EQ(r.header.setupTick, 5000u);
    EXPECT_EQ(r.setup, (std::vector<uint32_t>{5000, 5001}));
    ASSERT_EQ(r.steps.size(), 4u);
    EXPECT_EQ(frameSteps(r), 3u);
    ASSERT_EQ(r.steps[0].events.size(), 1u);
    EXPECT_EQ(r.steps[0].events[0].type, MsgKeyDown);
    EXPECT_EQ(r.steps[0].events[0].wParam, uint32_t(VK_D));
    EXPECT_EQ(r.steps[0].ticks, (std::vector<uint32_t>{5020}));
    EXPECT_EQ(r.steps[1].ticks, (std::vector<uint32_t>{4000}));
    EXPECT_EQ(r.steps[2].ticks, (std::vector<uint32_t>{4020, 4020}));
    ASSERT_EQ(r.steps[1].checks.size(), 1u) << "the check after frame 2 comes with frame 2";
    EXPECT_EQ(r.steps[1].checks[0].frame, 2u);
    EXPECT_EQ(r.steps[1].checks[0].groups[6], 0xA0000006u);
    const ReplayStep& end = r.steps[3];
    EXPECT_EQ(end.kind, ReplayStep::End);
    ASSERT_EQ(end.events.size(), 1u);
    EXPECT_EQ(end.events[0].wParam, uint32_t(VK_ESCAPE));
    ASSERT_EQ(end.checks.size(), 1u);
    EXPECT_EQ(end.checks[0].frame, 3u);
}

TEST(ReplayFile, ACutFileReadsAsItsCompleteFrames) {
    const std::vector<uint8_t> whole = recordedGame();
    size_t setupEnd = 0;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const Read r = readAll(whole, cut);
        if (r.status != ReplayStatus::Ok) {
            EXPECT_EQ(setupEnd, 0u) << "a cut after the set-up still reads, at " << cut;
            EXPECT_FALSE(r.error.empty());
            continue;
        }
        if (setupEnd == 0) setupEnd = cut;
        ASSERT_FALSE(r.steps.empty());
        EXPECT_EQ(r.steps.back().kind, ReplayStep::Cut) << cut;
        EXPECT_LE(frameSteps(r), 3u);
    }
    EXPECT_GT(setupEnd, 0u);
    // A game that stopped without its end marker (the process was killed) keeps its frames.
    const Read abandoned = readAll(recordedGame(false));
    ASSERT_EQ(abandoned.status, ReplayStatus::Ok) << abandoned.error;
    EXPECT_EQ(abandoned.steps.back().kind, ReplayStep::Cut);
    EXPECT_EQ(frameSteps(abandoned), 3u);
}

TEST(ReplayFile, ForeignNewerAndDamagedFilesAreRefusedByName) {
    std::vector<uint8_t> bytes = recordedGame();
    const std::string text = "PALVEXRX and more";
    EXPECT_EQ(readAll({text.begin(), text.end()}).status, ReplayStatus::NotAReplay);
    std::vector<uint8_t> newer = bytes;
    newer[8] = REPLAY_FORMAT_VERSION + 1;
    Read r = readAll(newer);
    EXPECT_EQ(r.status, ReplayStatus::NewerFormat);
    EXPECT_NE(r.error.find("newer"), std::string::npos) << r.error;
    // Every single flipped byte is read, refused, or differs later: never out of bounds.
    for (size_t at = 0; at < bytes.size(); ++at) {
        std::vector<uint8_t> flipped = bytes;
        flipped[at] ^= 0x5A;
        r = readAll(flipped);
        if (r.status != ReplayStatus::Ok) {
            EXPECT_FALSE(r.error.empty()) << at;
        }
    }
    std::vector<uint8_t> unknown = bytes;
    unknown.insert(unknown.end() - 1, 0x77); // an item tag nobody writes, before the end marker
    r = readAll(unknown);
    EXPECT_EQ(r.status, ReplayStatus::Damaged);
    EXPECT_NE(r.error.find("unknown item"), std::string::npos) << r.error;
    // A step between two ticks past any 32-bit tick (found by the fuzzer).
    std::vector<uint8_t> step;
    ASSERT_EQ(os::readWholeFile(PALVEX_SOURCE_DIR "/tests/data/damaged-replays/tick-step-overflow.pvxr", 1 << 20, step),
              os::ReadStatus::Ok);
    r = readAll(step);
    EXPECT_EQ(r.status, ReplayStatus::Damaged);
    EXPECT_NE(r.error.find("tick out of range"), std::string::npos) << r.error;
}

// Texts and names of the header reach the terminal and the file system; held buttons are
// 0 or 1; a replay without models checks no data.
TEST(ReplayFile, AHeaderThatCannotBeAGamesIsRefusedBeforeTheBody) {
    const std::vector<uint8_t> good = recordedGame();
    const size_t version = 10;                 // the version text's length byte
    const size_t buttons = version + 1 + 5 + 13; // "9.9.9" and the options
    const size_t models = buttons + 7;
    auto refused = [](const std::vector<uint8_t>& bytes, const std::string& why) {
        const Read r = readAll(bytes);
        EXPECT_EQ(r.status, ReplayStatus::Damaged) << why;
        EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
    };
    std::vector<uint8_t> bytes = good;
    bytes[version + 2] = '\x1b'; // an escape sequence for the terminal
    refused(bytes, "printable");
    bytes = good;
    bytes[buttons + 3] = 0xFF;
    refused(bytes, "held button of 255");
    bytes = good;
    bytes[models] = 0;
    refused(bytes, "names 0 model files");
    bytes = good;
    bytes[models] = 17;
    refused(bytes, "names 17 model files");
    // "arena.ase" becomes "../na.ase", "/rena.ase", ".arena" hidden names: not plain.
    for (const std::string& name : {std::string("../na.ase"), std::string("/rena.ase"), std::string(".rena.ase")}) {
        bytes = good;
        std::copy(name.begin(), name.end(), bytes.begin() + long(models + 2));
        refused(bytes, "not a plain file name");
    }
    EXPECT_EQ(readAll(good).status, ReplayStatus::Ok);
}

// However many megabytes a file holds, the reader keeps one step: a file of bare frames
// is refused at the first frame that should have had its check, an endless run of events
// at the bound of one frame's.
TEST(ReplayFile, ImplausibleBodiesAreRefusedEarly) {
    const std::vector<uint8_t> game = recordedGame();
    std::vector<uint8_t> bare = headerOf(game);
    bare.push_back(6); // set-up done
    bare.resize(bare.size() + (32u << 20), 3);
    MemoryReplaySource source(bare.data(), bare.size());
    ReplayReader reader(source);
    ReplayHeader header;
    std::vector<uint32_t> setup;
    std::string error;
    ASSERT_EQ(reader.readHeader(header, error), ReplayStatus::Ok) << error;
    ASSERT_EQ(reader.readSetup(setup, error), ReplayStatus::Ok) << error;
    ReplayStep step;
    ReplayStatus status;
    while ((status = reader.next(step, error)) == ReplayStatus::Ok && step.kind == ReplayStep::Frame) {}
    EXPECT_EQ(status, ReplayStatus::Damaged);
    EXPECT_EQ(error, "no check after frame " + std::to_string(CHECK_EVERY));

    std::vector<uint8_t> events = headerOf(game);
    events.push_back(6);
    for (int i = 0; i < 100000; ++i) events.insert(events.end(), {1, MsgKeyDown, VK_D});
    const Read r = readAll(events);
    EXPECT_EQ(r.status, ReplayStatus::Damaged);
    EXPECT_EQ(r.error, "too many events before one frame after frame 0");

    // The end says the game is over: it needs the last frame's check.
    std::vector<uint8_t> unchecked = headerOf(game);
    unchecked.insert(unchecked.end(), {6, 2, 0, 3, 2, 40, 3, 5});
    const Read u = readAll(unchecked);
    EXPECT_EQ(u.status, ReplayStatus::Damaged);
    EXPECT_NE(u.error.find("an end without a check of the last frame"), std::string::npos) << u.error;
}

TEST(ReplayWriter, NeverReplacesAFile) {
    char pattern[] = "/tmp/palvex-replay-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    const std::string path = dir + "mine.pvxr";
    { std::FILE* f = std::fopen(path.c_str(), "w"); std::fputs("the player's", f); std::fclose(f); }
    ReplayWriter writer;
    std::string error;
    EXPECT_FALSE(writer.open(path, ReplayHeader(), error));
    EXPECT_NE(error.find("it exists"), std::string::npos) << error;
    std::vector<uint8_t> kept;
    ASSERT_EQ(os::readWholeFile(path, 100, kept), os::ReadStatus::Ok);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the player's");
    const std::string link = dir + "link.pvxr";
    ASSERT_EQ(symlink((dir + "nowhere").c_str(), link.c_str()), 0);
    EXPECT_FALSE(writer.open(link, ReplayHeader(), error)) << "a dangling link is not followed";
    EXPECT_FALSE(os::exists(dir + "nowhere"));
    std::remove(path.c_str());
    std::remove(link.c_str());
    rmdir(dir.c_str());
}

TEST(ReplayPlayer, TicksInTheOrderReadAndEventsBeforeTheirFrame) {
    const std::vector<uint8_t> bytes = recordedGame();
    MemoryReplaySource source(bytes.data(), bytes.size());
    ReplayReader reader(source);
    ReplayHeader header;
    std::string error;
    ASSERT_EQ(reader.readHeader(header, error), ReplayStatus::Ok);
    ReplayPlayer player(reader, header);
    ASSERT_TRUE(player.start(error)) << error;
    std::vector<uint32_t> events;
    auto collect = [&](MessageType, uintptr_t w, intptr_t) { events.push_back(static_cast<uint32_t>(w)); };
    EXPECT_EQ(player.nextTick(), 5000u);
    EXPECT_EQ(player.nextTick(), 5001u);
    player.eventsFor(1, collect);
    EXPECT_EQ(events, (std::vector<uint32_t>{VK_D}));
    EXPECT_EQ(player.plannedTick(1), 5020u);
    EXPECT_EQ(player.nextTick(), 5020u);
    player.presented(1);
    EXPECT_EQ(player.currentTick(), 4000u) << "between frames the clock shows the next frame's tick";
    player.nextTick();
    player.nextTick(); // one read too many in frame 2
    player.presented(2);
    EXPECT_EQ(player.tickMismatch(), 2);
    ReplayCheck check;
    EXPECT_TRUE(player.takeCheck(2, check));
    EXPECT_EQ(check.groups[0], 0xA0000000u);
    EXPECT_FALSE(player.takeCheck(2, check)) << "taken once";
    EXPECT_EQ(player.plannedTick(3), 4020u);
    player.nextTick();
    player.nextTick();
    player.presented(3);
    EXPECT_TRUE(player.atEnd());
    EXPECT_FALSE(player.cut());
    player.eventsFor(4, collect);
    EXPECT_EQ(events.back(), uint32_t(VK_ESCAPE)) << "the events after the last frame come before the next";
    EXPECT_TRUE(player.takeCheck(3, check)) << "the end's check";
    player.presented(4);
    EXPECT_EQ(player.framesPlayed(), 3);
}

// A race of several: the header names its players and computer bikes, an event with a
// player's key keeps it, a gamepad coming and going is an event like a key; events without
// an lParam keep the item a one-player game has always had.
TEST(ReplayFile, PlayersAndWhoseKeyReadBackAndPlayBack) {
    char pattern[] = "/tmp/palvex-replay-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    const std::string path = dir + "versus.pvxr";
    ReplayHeader header;
    header.gameVersion = "9.9.9";
    header.models = {{"arena.ase", 1}};
    header.players = 3;
    header.versusOpponents = 1;
    Message left = key(MsgKeyDown, VK_LEFT);
    left.lParam = keyOfPlayer(3, VK_LEFT);
    Message pad;
    pad.message = MsgGamepadAdded;
    pad.wParam = 2;
    {
        ReplayWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(path, header, error)) << error;
        ReplayRecorder recorder(writer);
        recorder.presented(1);
        recorder.delivered(2, key(MsgKeyDown, VK_D));
        recorder.delivered(2, left);
        recorder.delivered(2, pad);
        recorder.tickRead(2, 20);
        recorder.presented(2);
        ReplayCheck check;
        check.frame = 1;
        writer.check(check);
        writer.finish();
    }
    std::vector<uint8_t> bytes;
    ASSERT_EQ(os::readWholeFile(path, 1 << 20, bytes), os::ReadStatus::Ok);
    std::remove(path.c_str());
    rmdir(dir.c_str());
    const Read r = readAll(bytes);
    ASSERT_EQ(r.status, ReplayStatus::Ok) << r.error;
    EXPECT_EQ(r.header.players, 3);
    EXPECT_EQ(r.header.versusOpponents, 1);
    ASSERT_EQ(r.steps.size(), 2u);
    ASSERT_EQ(r.steps[0].events.size(), 3u);
    EXPECT_EQ(r.steps[0].events[0].lParam, 0);
    EXPECT_EQ(r.steps[0].events[1].wParam, uint32_t(VK_LEFT));
    EXPECT_EQ(r.steps[0].events[1].lParam, keyOfPlayer(3, VK_LEFT));
    EXPECT_EQ(r.steps[0].events[2].type, MsgGamepadAdded);
    EXPECT_EQ(r.steps[0].events[2].wParam, 2u);
    const std::vector<uint8_t> head = headerOf(bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(head.size()), bytes.begin() + long(head.size()) + 4),
              (std::vector<uint8_t>{6, 1, MsgKeyDown, VK_D}))
        << "a key of nobody's is the item of formats 1 and 2";

    MemoryReplaySource source(bytes.data(), bytes.size());
    ReplayReader reader(source);
    std::string error;
    ASSERT_EQ(reader.readHeader(header, error), ReplayStatus::Ok);
    ReplayPlayer player(reader, header);
    ASSERT_TRUE(player.start(error)) << error;
    std::vector<intptr_t> lParams;
    player.eventsFor(1, [&](MessageType, uintptr_t, intptr_t l) { lParams.push_back(l); });
    EXPECT_EQ(lParams, (std::vector<intptr_t>{0, keyOfPlayer(3, VK_LEFT), 0}));
}

// What no game can make: too few or too many players or bikes, an lParam beyond a player's
// key, a gamepad of no player, the newer items and messages in an older format.
TEST(ReplayFile, PlayersAndPlayersKeysNoGameCanMakeAreDamage) {
    const std::vector<uint8_t> good = recordedGame();
    const std::vector<uint8_t> head = headerOf(good);
    const size_t players = head.size() - 2, opponents = head.size() - 1;
    auto refused = [](const std::vector<uint8_t>& bytes, const std::string& why) {
        const Read r = readAll(bytes);
        EXPECT_EQ(r.status, ReplayStatus::Damaged) << why;
        EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
    };
    std::vector<uint8_t> bytes = good;
    bytes[players] = 0;
    refused(bytes, "a race of 0 players (1 to 4)");
    bytes[players] = 5;
    refused(bytes, "a race of 5 players (1 to 4)");
    bytes[players] = 3;
    bytes[opponents] = 2;
    refused(bytes, "a race of 3 players and 2 computer bikes (at most 4 bikes in all)");
    bytes[opponents] = 1;
    EXPECT_EQ(readAll(bytes).status, ReplayStatus::Ok) << "three players and one computer bike fill the arena";

    // The first event: D pressed before frame 1 (tag, type, key).
    const size_t event = head.size() + 1 + 2 + 2 + 1; // after the two set-up ticks and set-up done
    ASSERT_EQ(std::vector<uint8_t>(good.begin() + long(event), good.begin() + long(event) + 3),
              (std::vector<uint8_t>{1, MsgKeyDown, VK_D}));
    auto withEvent = [&](std::vector<uint8_t> item, uint16_t version = REPLAY_FORMAT_VERSION) {
        std::vector<uint8_t> b = good;
        b.erase(b.begin() + long(event), b.begin() + long(event) + 3);
        b.insert(b.begin() + long(event), item.begin(), item.end());
        b[8] = static_cast<uint8_t>(version);
        if (version < 3) b.erase(b.begin() + long(players), b.begin() + long(players) + 2);
        return b;
    };
    const Read ok = readAll(withEvent({7, MsgKeyDown, VK_D, 0x84, 0x4E})); // player 4's right
    ASSERT_EQ(ok.status, ReplayStatus::Ok) << ok.error;
    EXPECT_EQ(ok.steps[0].events[0].lParam, keyOfPlayer(4, VK_RIGHT));
    refused(withEvent({7, MsgKeyDown, VK_D, 0x80, 0x80, 0x04}), "an impossible event"); // lParam 0x10000
    refused(withEvent({7, MsgKeyDown, VK_D, 0x85, 0x4E}), "an impossible event");      // player 5
    refused(withEvent({1, MsgGamepadAdded, 0}), "an impossible event");
    refused(withEvent({1, MsgGamepadRemoved, 5}), "an impossible event");
    refused(withEvent({7, MsgGamepadAdded, 1, 1}), "an impossible event");
    refused(withEvent({1, MsgQuit, 0}), "an impossible event");
    refused(withEvent({1, MsgGamepadRemoved + 1, 0}), "an impossible event");
    EXPECT_EQ(readAll(withEvent({1, MsgGamepadRemoved, 4})).status, ReplayStatus::Ok);
    refused(withEvent({7, MsgKeyDown, VK_D, 0x84, 0x4E}, 2), "an unknown item 7");
    refused(withEvent({1, MsgGamepadAdded, 1}, 2), "an impossible event");
}

// Files of the formats before players were named still read, as one player's.
TEST(ReplayFile, OlderFormatsReadAsOnePlayersGame) {
    const std::vector<uint8_t> good = recordedGame();
    const size_t players = headerOf(good).size() - 2;
    std::vector<uint8_t> two = good;
    two.erase(two.begin() + long(players), two.begin() + long(players) + 2);
    two[8] = 2;
    std::vector<uint8_t> one = two;
    one.erase(one.begin() + long(players) - 1); // and no opponents' level
    one[8] = 1;
    const Read current = readAll(good);
    for (const auto& [version, bytes] : {std::pair{2, two}, std::pair{1, one}}) {
        const Read r = readAll(bytes);
        ASSERT_EQ(r.status, ReplayStatus::Ok) << version << ": " << r.error;
        EXPECT_EQ(r.header.players, 1) << version;
        EXPECT_EQ(r.header.versusOpponents, 0) << version;
        EXPECT_EQ(r.header.setupTick, current.header.setupTick) << version;
        EXPECT_EQ(frameSteps(r), frameSteps(current)) << version;
    }
}

// The replays folder keeps its newest games by the time they were written, removes only
// the game's own names and regular files, and never the game just played.
TEST(ReplayPruning, OnlyTheGamesOwnOldestRecordingsGo) {
    char pattern[] = "/tmp/palvex-prune-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    auto make = [&dir](const std::string& name, time_t written) {
        std::FILE* f = std::fopen((dir + name).c_str(), "w");
        std::fputs("x", f);
        std::fclose(f);
        const struct timespec times[2] = {{written, 0}, {written, 0}};
        utimensat(AT_FDCWD, (dir + name).c_str(), times, 0);
    };
    // Named in the future (a clock once ahead), in another order than written.
    make("palvex-29990101-000000.pvxr", 3000);
    make("palvex-29990101-000001.pvxr", 1000);
    make("palvex-29990101-000002-2.pvxr", 2000);
    // The player's own, however alike; a directory of a recording's name.
    make("palvex-1999-my-first-win.pvxr", 10);
    make("palvex-19990101-000000.pvxr.bak", 10);
    make("palvex-19990101-000000-x.pvxr", 10);
    ASSERT_EQ(mkdir((dir + "palvex-19990101-000001.pvxr").c_str(), 0700), 0);
    make("palvex-20260101-120000.pvxr", 5); // the game just played, with the oldest time
    pruneRecordings(dir, dir + "palvex-20260101-120000.pvxr", 2);
    std::vector<std::string> left = os::listDirectory(dir);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"palvex-1999-my-first-win.pvxr", "palvex-19990101-000000-x.pvxr",
                                              "palvex-19990101-000000.pvxr.bak", "palvex-19990101-000001.pvxr",
                                              "palvex-20260101-120000.pvxr", "palvex-29990101-000000.pvxr"}));
    for (const std::string& name : left) {
        if (name == "palvex-19990101-000001.pvxr") rmdir((dir + name).c_str());
        else std::remove((dir + name).c_str());
    }
    rmdir(dir.c_str());
}
