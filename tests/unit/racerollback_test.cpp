// The race's snapshots: saved, run on, loaded back, the race is the one saved to the last
// vertex; a snapshot that does not fit is refused without touching the race; and a race
// run with rollbacks every frame allocates nothing once set up.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "aibike.h"
#include "application.h"
#include "bike.h"
#include "camera.h"
#include "crtrand.h"
#include "frametimer.h"
#include "lightwall.h"
#include "log.h"
#include "net/session.h"
#include "race.h"
#include "racerollback.h"
#include "sharedstate.h"
#include "testplatform.h"
#include "window.h"

#include "../countallocations.h"
#include "racefixture.h"

namespace {

// Everything a race frame reads or writes, listed here independently of the snapshot's
// own code, walls to the last vertex and colour.
std::vector<int64_t> capture(const Race& race) {
    std::vector<int64_t> v;
    auto vec = [&v](const Vec3& p) { v.insert(v.end(), {p.x, p.y, p.z}); };
    const FrameTimerState timer = frameTimerState();
    v.insert(v.end(), {crt::state(), timer.previousTick, timer.currentTick, sharedState.frameTime,
                       sharedState.frameStep, sharedState.playerAlive, sharedState.raceStarted, race.scoredCount,
                       race.killer});
    v.insert(v.end(), std::begin(sharedState.scores), std::end(sharedState.scores));
    for (int seat = 0; seat < race.humans; ++seat) {
        v.insert(v.end(), {race.seats[seat]->cameraYaw, race.seats[seat]->cameraYawTarget, race.seats[seat]->playerAlive});
        vec(race.seatCameras[seat]->eye);
        vec(race.seatCameras[seat]->centre);
        vec(race.seatCameras[seat]->up);
    }
    std::vector<const Bike*> bikes;
    for (int b = 0; b < MAX_SEATS; ++b)
        if (const Bike* bike = race.bike(b)) bikes.push_back(bike);
    for (const Bike* bike : bikes) {
        vec(bike->position);
        v.insert(v.end(), {bike->heading, bike->steering.direction, bike->steering.leftLatch,
                           bike->steering.rightLatch, bike->drawnThisFrame});
    }
    for (const AiBike* bike : race.aiBikes)
        if (bike) v.insert(v.end(), {bike->aimTimer, bike->started, bike->state, bike->hitWall});
    for (const LightWall* wall : sharedState.wallRegistry) {
        v.insert(v.end(), {wall->wallState, wall->vertexCount, wall->directionCount()});
        v.insert(v.end(), wall->vertices.get(), wall->vertices.get() + 3 * std::max(wall->vertexCount, 6));
        v.insert(v.end(), wall->segmentDirections.get(), wall->segmentDirections.get() + wall->directionCount());
        v.insert(v.end(), wall->colours.get(), wall->colours.get() + 4 * wall->vertexCount);
    }
    return v;
}

class RaceRollbackTest : public RaceFixture {
protected:
    void enter(int opponentChoice) {
        sharedState.options.opponentChoice = opponentChoice;
        toggleMode();
        ASSERT_EQ(sharedState.inGame, 1);
    }
    // Turns every 20 frames, right and left by turns, to keep the player in the arena.
    static net::SeatInputs inputsOf(uint32_t frame) {
        net::SeatInputs in;
        if (frame % 20 == 1) in.seat[0] = frame % 40 == 1 ? 1u << ButtonRight : 1u << ButtonLeft;
        return in;
    }
    void run(RaceRollback& game, int frames) {
        for (int i = 0; i < frames; ++i) game.advanceFrame(inputsOf(game.frame()));
    }
};

TEST_F(RaceRollbackTest, LoadingGivesBackTheSavedRaceAndItsFuture) {
    enter(2);
    RaceRollback game(*race, 20);
    run(game, 300);
    net::Snapshot saved;
    saved.reserve(game.snapshotBytes());
    game.saveState(saved);
    const std::vector<int64_t> before = capture(*race);
    const net::Checksum sumBefore = game.checksum();

    std::vector<net::Checksum> firstRun;
    for (int i = 0; i < 200; ++i) {
        game.advanceFrame(inputsOf(game.frame()));
        firstRun.push_back(game.checksum());
    }
    ASSERT_NE(capture(*race), before) << "the race must have moved on for the test to mean anything";

    game.loadState(saved);
    EXPECT_EQ(game.loadFailures(), 0);
    EXPECT_EQ(game.frame(), 300u);
    EXPECT_EQ(capture(*race), before);
    EXPECT_EQ(game.checksum(), sumBefore);
    for (int i = 0; i < 200; ++i) {
        game.advanceFrame(inputsOf(game.frame()));
        ASSERT_EQ(game.checksum(), firstRun[static_cast<size_t>(i)]) << "frame " << game.frame();
    }
}

// Three players and a computer bike: every seat's camera, swing and bike comes back, and
// each seat's buttons reach that seat's bike alone.
TEST_F(RaceRollbackTest, ARaceOfSeveralPlayersComesBackWhole) {
    sharedState.players = 3;
    sharedState.versusOpponents = 1;
    enter(0);
    ASSERT_EQ(race->humans, 3);
    RaceRollback game(*race, 20);
    auto inputs = [](uint32_t frame) {
        net::SeatInputs in;
        for (int seat = 0; seat < 3; ++seat) {
            const uint32_t f = frame + 7 * seat;
            if (f % 20 == 1) in.seat[seat] = f % 40 == 1 ? 1u << ButtonRight : 1u << ButtonLeft;
        }
        return in;
    };
    for (int i = 0; i < 150; ++i) game.advanceFrame(inputs(game.frame()));
    ASSERT_NE(race->seats[1]->steering.direction, race->seats[1]->steering.startDirection)
        << "player 2 turned on its own buttons";
    net::Snapshot saved;
    saved.reserve(game.snapshotBytes());
    game.saveState(saved);
    const std::vector<int64_t> before = capture(*race);
    std::vector<net::Checksum> firstRun;
    for (int i = 0; i < 100; ++i) {
        game.advanceFrame(inputs(game.frame()));
        firstRun.push_back(game.checksum());
    }
    ASSERT_NE(capture(*race), before);
    game.loadState(saved);
    EXPECT_EQ(game.loadFailures(), 0);
    EXPECT_EQ(capture(*race), before);
    for (int i = 0; i < 100; ++i) {
        game.advanceFrame(inputs(game.frame()));
        ASSERT_EQ(game.checksum(), firstRun[static_cast<size_t>(i)]) << "frame " << game.frame();
    }
}

TEST_F(RaceRollbackTest, SnapshotOfAnotherRaceOrCutShortChangesNothing) {
    enter(2);
    RaceRollback threeOpponents(*race, 20);
    run(threeOpponents, 50);
    net::Snapshot other;
    threeOpponents.saveState(other);
    toggleMode();
    enter(0);
    RaceRollback game(*race, 20);
    run(game, 80);
    const std::vector<int64_t> before = capture(*race);
    game.loadState(other);
    EXPECT_EQ(game.loadFailures(), 1);
    EXPECT_EQ(capture(*race), before);

    // The same race's snapshot, its last bytes missing.
    net::Snapshot own;
    game.saveState(own);
    net::Snapshot cut;
    std::vector<uint8_t> bytes(own.size());
    own.rewind();
    ASSERT_TRUE(own.get(bytes.data(), bytes.size()));
    cut.put(bytes.data(), bytes.size() - 4);
    run(game, 30);
    const std::vector<int64_t> later = capture(*race);
    game.loadState(cut);
    EXPECT_EQ(game.loadFailures(), 2);
    EXPECT_EQ(capture(*race), later);
}

TEST_F(RaceRollbackTest, AWallLongerThanItsRoomLoadsIntoAFreshRace) {
    enter(0);
    RaceRollback game(*race, 20);
    run(game, 5);
    // A thousand corners: past the wall's first room of 500 quads.
    LightWall* wall = race->player->wall();
    for (int i = 0; i < 1000; ++i) wall->turn({i * 0x10000, 0, 0}, static_cast<Direction>(i & 3));
    ASSERT_GT(wall->quadCount(), LightWall::initialCapacity / 6);
    net::Snapshot saved;
    game.saveState(saved);
    const std::vector<int64_t> before = capture(*race);
    toggleMode();
    enter(0);
    RaceRollback fresh(*race, 20);
    fresh.loadState(saved);
    EXPECT_EQ(fresh.loadFailures(), 0);
    EXPECT_EQ(capture(*race), before);
}

TEST_F(RaceRollbackTest, RollingBackEveryFrameAllocatesNothing) {
#ifndef PALVEX_COUNTS_ALLOCATIONS
    GTEST_SKIP() << "allocations are counted only without the sanitizers";
#endif
    enter(2);
    RaceRollback game(*race, 20);
    net::SyncTest sync(game, 8);
    for (uint32_t f = 0; f < 20; ++f) ASSERT_TRUE(sync.advance(inputsOf(f)));
    const uint64_t before = allocations.load();
    for (uint32_t f = 20; f < 400; ++f) ASSERT_TRUE(sync.advance(inputsOf(f))) << "frame " << f;
    EXPECT_EQ(allocations.load(), before);
    EXPECT_GE(sync.framesChecked(), 380u * 8);
}

} // namespace
