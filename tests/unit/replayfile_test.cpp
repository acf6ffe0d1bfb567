// Replay files: what the writer appends reads back item for item; a file cut anywhere
// reads as its complete frames; foreign, newer and damaged files are refused by name; the
// player hands the ticks back in the order they were read.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/os.h"
#include "platform/replayfile.h"

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
        if (finished) writer.finish();
        else writer.abandon();
    }
    std::vector<uint8_t> bytes;
    EXPECT_EQ(os::readWholeFile(path, 1 << 20, bytes), os::ReadStatus::Ok);
    std::remove(path.c_str());
    rmdir(dir.c_str());
    return bytes;
}

} // namespace

TEST(ReplayFile, WhatIsWrittenReadsBack) {
    const std::vector<uint8_t> bytes = recordedGame();
    ReplayData data;
    std::string error;
    ASSERT_EQ(parseReplay(bytes.data(), bytes.size(), data, error), ReplayStatus::Ok) << error;
    EXPECT_TRUE(data.complete);
    EXPECT_EQ(data.header.gameVersion, "9.9.9");
    EXPECT_EQ(data.header.options[5], 2);
    EXPECT_EQ(data.header.buttonsHeld[3], 1);
    ASSERT_EQ(data.header.models.size(), 2u);
    EXPECT_EQ(data.header.models[0].hash, 0x1122334455667788ull);
    EXPECT_EQ(data.header.setupTick, 5000u);
    EXPECT_EQ(data.setupTicks, (std::vector<uint32_t>{5000, 5001}));
    ASSERT_EQ(data.frames.size(), 3u);
    EXPECT_EQ(data.frames[0].eventCount, 1u);
    EXPECT_EQ(data.events[0].type, MsgKeyDown);
    EXPECT_EQ(data.events[0].wParam, uint32_t(VK_D));
    EXPECT_EQ(data.ticks, (std::vector<uint32_t>{5020, 4000, 4020, 4020}));
    EXPECT_EQ(data.frames[2].tickCount, 2u);
    ASSERT_EQ(data.checks.size(), 1u);
    EXPECT_EQ(data.checks[0].frame, 2u);
    EXPECT_EQ(data.checks[0].groups[6], 0xA0000006u);
    EXPECT_EQ(data.trailingEventCount, 1u);
    EXPECT_EQ(data.events[data.trailingFirstEvent].wParam, uint32_t(VK_ESCAPE));
}

TEST(ReplayFile, ACutFileReadsAsItsCompleteFrames) {
    const std::vector<uint8_t> whole = recordedGame();
    size_t headerEnd = 0;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        ReplayData data;
        std::string error;
        const ReplayStatus status = parseReplay(whole.data(), cut, data, error);
        if (status != ReplayStatus::Ok) {
            EXPECT_EQ(headerEnd, 0u) << "a cut after the set-up still reads, at " << cut;
            EXPECT_FALSE(error.empty());
            continue;
        }
        if (headerEnd == 0) headerEnd = cut;
        EXPECT_FALSE(data.complete) << cut;
        EXPECT_LE(data.frames.size(), 3u);
    }
    EXPECT_GT(headerEnd, 0u);
    // A game that stopped without its end marker (the process was killed) keeps its frames.
    const std::vector<uint8_t> abandoned = recordedGame(false);
    ReplayData data;
    std::string error;
    ASSERT_EQ(parseReplay(abandoned.data(), abandoned.size(), data, error), ReplayStatus::Ok);
    EXPECT_FALSE(data.complete);
    EXPECT_EQ(data.frames.size(), 3u);
}

TEST(ReplayFile, ForeignNewerAndDamagedFilesAreRefusedByName) {
    std::vector<uint8_t> bytes = recordedGame();
    ReplayData data;
    std::string error;
    const std::string text = "PALVEXRX and more";
    EXPECT_EQ(parseReplay(reinterpret_cast<const uint8_t*>(text.data()), text.size(), data, error), ReplayStatus::NotAReplay);
    std::vector<uint8_t> newer = bytes;
    newer[8] = REPLAY_FORMAT_VERSION + 1;
    EXPECT_EQ(parseReplay(newer.data(), newer.size(), data, error), ReplayStatus::NewerFormat);
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
    // Every single flipped byte is read, refused, or differs later: never out of bounds.
    for (size_t at = 0; at < bytes.size(); ++at) {
        std::vector<uint8_t> flipped = bytes;
        flipped[at] ^= 0x5A;
        parseReplay(flipped.data(), flipped.size(), data, error);
    }
    std::vector<uint8_t> unknown = bytes;
    unknown.insert(unknown.end() - 1, 0x77); // an item tag nobody writes, before the end marker
    EXPECT_EQ(parseReplay(unknown.data(), unknown.size(), data, error), ReplayStatus::Damaged);
    EXPECT_NE(error.find("unknown item"), std::string::npos) << error;
    // A step between two ticks past any 32-bit tick (found by the fuzzer).
    std::vector<uint8_t> step;
    ASSERT_EQ(os::readWholeFile(PALVEX_SOURCE_DIR "/tests/data/damaged-replays/tick-step-overflow.pvxr", 1 << 20, step),
              os::ReadStatus::Ok);
    EXPECT_EQ(parseReplay(step.data(), step.size(), data, error), ReplayStatus::Damaged);
    EXPECT_NE(error.find("tick out of range"), std::string::npos) << error;
}

TEST(ReplayPlayer, TicksInTheOrderReadAndEventsBeforeTheirFrame) {
    const std::vector<uint8_t> bytes = recordedGame();
    ReplayData data;
    std::string error;
    ASSERT_EQ(parseReplay(bytes.data(), bytes.size(), data, error), ReplayStatus::Ok);
    ReplayPlayer player(data);
    std::vector<uint32_t> events;
    auto collect = [&](MessageType, uintptr_t w) { events.push_back(static_cast<uint32_t>(w)); };
    EXPECT_EQ(player.nextTick(), 5000u);
    EXPECT_EQ(player.nextTick(), 5001u);
    player.eventsFor(1, collect);
    EXPECT_EQ(events, (std::vector<uint32_t>{VK_D}));
    EXPECT_EQ(player.nextTick(), 5020u);
    player.presented(1);
    EXPECT_EQ(player.currentTick(), 4000u) << "between frames the clock shows the next frame's tick";
    EXPECT_EQ(player.plannedTick(3), 4020u);
    player.nextTick();
    player.nextTick(); // one read too many in frame 2
    player.presented(2);
    EXPECT_EQ(player.tickMismatch(), 2);
    player.eventsFor(4, collect);
    EXPECT_EQ(events.back(), uint32_t(VK_ESCAPE)) << "the events after the last frame come before the next";
}
