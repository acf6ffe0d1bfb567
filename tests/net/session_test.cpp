// The rollback session with the toy game: sessions that hear each other late must end in
// the state of one game run with every seat's real buttons, frame by frame.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>

#include "net/session.h"
#include "toygame.h"

using namespace net;

#include "../countallocations.h"

namespace {

// The state every machine must reach: one game fed each seat's buttons delayed as the
// sessions delay them.
net::Checksum referenceRun(int seats, int delay, int frames, int leftSeat = -1, int leftFrom = 0)
{
    toy::ToyGame game;
    for (int f = 0; f < frames; ++f) {
        SeatInputs in;
        for (int s = 0; s < seats; ++s) {
            in.seat[s] = f >= delay ? toy::scriptedButtons(s, f - delay) : 0;
            if (s == leftSeat && f >= leftFrom)
                in.seat[s] = kSeatLeft;
        }
        game.advanceFrame(in);
    }
    return game.checksum();
}

// Machines that send every new local frame of buttons to each other, each message arriving
// a fixed number of ticks later (per pair), checksums too; every machine tries a frame
// per tick.
struct Mesh {
    struct Message {
        int due, to, from, frame;
        bool isChecksum;
        Buttons buttons;
        Checksum sum;
    };
    std::vector<std::unique_ptr<toy::ToyGame>> games;
    std::vector<std::unique_ptr<RollbackSession>> sessions;
    std::vector<Message> inFlight;
    int latency[kMaxSeats][kMaxSeats] = {};
    int tick = 0;

    Mesh(int seats, int delay, int ticksLate, bool leaky = false)
    {
        inFlight.reserve(4096);
        for (int s = 0; s < seats; ++s) {
            games.push_back(leaky && s == 1 ? std::make_unique<toy::LeakyGame>() : std::make_unique<toy::ToyGame>());
            SessionConfig c;
            c.seats = seats;
            c.localSeat = s;
            c.inputDelay = delay;
            sessions.push_back(std::make_unique<RollbackSession>(*games.back(), c));
            for (int t = 0; t < seats; ++t)
                latency[s][t] = ticksLate;
        }
    }
    void send(int from, int frame, Buttons b)
    {
        for (size_t to = 0; to < sessions.size(); ++to)
            if (int(to) != from)
                inFlight.push_back({tick + latency[from][to], int(to), from, frame, false, b, {}});
    }
    void step(int framesWanted)
    {
        for (size_t i = 0; i < inFlight.size();) {
            Message& m = inFlight[i];
            if (m.due <= tick) {
                if (m.isChecksum)
                    sessions[m.to]->addRemoteChecksum(m.from, m.frame, m.sum);
                else
                    EXPECT_TRUE(sessions[m.to]->addRemoteInput(m.from, m.frame, m.buttons));
                inFlight.erase(inFlight.begin() + long(i));
            } else {
                ++i;
            }
        }
        for (size_t s = 0; s < sessions.size(); ++s) {
            RollbackSession& session = *sessions[s];
            int f = session.currentFrame();
            if (f >= framesWanted)
                session.settle();
            else if (session.advance(toy::scriptedButtons(int(s), f))) {
                if (f == 0)
                    for (int early = 0; early < session.config().inputDelay; ++early)
                        send(int(s), early, 0);
                int applied = f + session.config().inputDelay;
                Buttons b = 0;
                ASSERT_TRUE(session.knownInput(int(s), applied, b));
                send(int(s), applied, b);
            }
            int frame;
            Checksum sum;
            while (session.takeChecksumToSend(frame, sum))
                for (size_t to = 0; to < sessions.size(); ++to)
                    if (to != s)
                        inFlight.push_back({tick + latency[s][to], int(to), int(s), frame, true, 0, sum});
        }
        tick++;
    }
    // Runs until every machine has run `frames` frames and every message has arrived, then
    // one more round so the last arrivals are rolled into each state.
    void run(int frames)
    {
        for (int guard = 0; guard < frames * 4 + 200; ++guard) {
            step(frames);
            bool done = inFlight.empty();
            for (auto& s : sessions)
                done = done && s->currentFrame() >= frames;
            if (done)
                break;
        }
    }
};

} // namespace

TEST(RollbackSession, OneSeatRunsItsButtonsAfterTheInputDelay)
{
    for (int delay = 0; delay <= kMaxInputDelay; ++delay) {
        toy::ToyGame game;
        SessionConfig c;
        c.seats = 1;
        c.inputDelay = delay;
        RollbackSession session(game, c);
        for (int f = 0; f < 200; ++f)
            ASSERT_TRUE(session.advance(toy::scriptedButtons(0, f)));
        EXPECT_EQ(game.checksum(), referenceRun(1, delay, 200)) << "delay " << delay;
        EXPECT_EQ(session.confirmedFrame(), 199);
        EXPECT_EQ(session.stats().rollbacks, 0u);
    }
}

TEST(RollbackSession, LateButtonsAreRolledBackIntoTheSameStateOnEveryMachine)
{
    for (int seats : {2, 4}) {
        Mesh mesh(seats, 1, 4);
        // Uneven lateness: some pairs hear each other much later than others.
        mesh.latency[0][1] = 2;
        mesh.latency[1][0] = 6;
        mesh.run(600);
        net::Checksum want = referenceRun(seats, 1, 600);
        for (int s = 0; s < seats; ++s) {
            EXPECT_EQ(mesh.games[size_t(s)]->checksum(), want) << seats << " seats, machine " << s;
            EXPECT_EQ(mesh.sessions[size_t(s)]->confirmedFrame(), 599);
            EXPECT_GT(mesh.sessions[size_t(s)]->stats().rollbacks, 0u) << "the buttons change, so predictions fail";
            EXPECT_LE(mesh.sessions[size_t(s)]->stats().maxDepth(), kMaxPredictionWindow);
        }
        EXPECT_FALSE(mesh.sessions[0]->desynced());
        EXPECT_GT(mesh.sessions[0]->checksumsCompared(), 0);
    }
}

TEST(RollbackSession, AMachineAWholeWindowAheadWaitsAndTheWaitsAreCounted)
{
    // Messages take 20 ticks: each machine can only predict 8 frames, so it waits.
    Mesh mesh(2, 0, 20);
    mesh.run(120);
    EXPECT_EQ(mesh.games[0]->checksum(), referenceRun(2, 0, 120));
    EXPECT_GT(mesh.sessions[0]->stats().waits, 0u);
    EXPECT_LE(mesh.sessions[0]->stats().maxDepth(), kMaxPredictionWindow);

    // Directly: with nothing from the other seat, frames 0..7 run and the ninth waits.
    toy::ToyGame game;
    SessionConfig c;
    c.inputDelay = 0;
    RollbackSession alone(game, c);
    for (int f = 0; f < kMaxPredictionWindow; ++f)
        ASSERT_TRUE(alone.advance(0));
    EXPECT_FALSE(alone.advance(0));
    EXPECT_FALSE(alone.advance(0));
    EXPECT_EQ(alone.stats().waits, 2u);
    EXPECT_EQ(alone.currentFrame(), kMaxPredictionWindow);
    EXPECT_EQ(alone.confirmedFrame(), -1);
    ASSERT_TRUE(alone.addRemoteInput(1, 0, 0));
    EXPECT_TRUE(alone.advance(0));
    EXPECT_EQ(alone.confirmedFrame(), 0);
}

TEST(RollbackSession, ConfirmedFramesNeverRunAgain)
{
    toy::ToyGame game;
    SessionConfig c;
    c.inputDelay = 0;
    RollbackSession session(game, c);
    for (int f = 0; f < 6; ++f)
        ASSERT_TRUE(session.advance(0));
    // Seat 1 pressed a button from frame 3 on: frames 3 to 5 ran mispredicted.
    for (int f = 0; f < 3; ++f)
        ASSERT_TRUE(session.addRemoteInput(1, f, 0));
    ASSERT_TRUE(session.addRemoteInput(1, 3, 4));
    EXPECT_EQ(session.confirmedFrame(), 2) << "frame 3 is known but not yet run again";
    ASSERT_TRUE(session.advance(0));
    EXPECT_EQ(session.stats().rollbacks, 1u);
    EXPECT_EQ(session.stats().depth[3], 1u);
    EXPECT_EQ(session.confirmedFrame(), 3);
    // The prediction for 4 to 6 was the held button, and that is what came: no rollback.
    for (int f = 4; f <= 6; ++f)
        ASSERT_TRUE(session.addRemoteInput(1, f, 4));
    ASSERT_TRUE(session.advance(0));
    EXPECT_EQ(session.stats().rollbacks, 1u);
    EXPECT_EQ(session.confirmedFrame(), 6);

    toy::ToyGame direct;
    for (int f = 0; f < 8; ++f) {
        SeatInputs in;
        in.seat[1] = f >= 3 ? 4 : 0;
        direct.advanceFrame(in);
    }
    EXPECT_EQ(game.checksum(), direct.checksum());
}

TEST(RollbackSession, RefusesButtonsItCannotTake)
{
    toy::ToyGame game;
    SessionConfig c;
    c.seats = 3;
    c.localSeat = 0;
    c.inputDelay = 0;
    RollbackSession session(game, c);
    EXPECT_FALSE(session.addRemoteInput(0, 0, 1)) << "the local seat";
    EXPECT_FALSE(session.addRemoteInput(3, 0, 1)) << "a seat past the race's";
    EXPECT_FALSE(session.addRemoteInput(-1, 0, 1));
    EXPECT_FALSE(session.addRemoteInput(1, 1, 1)) << "a gap";
    EXPECT_FALSE(session.addRemoteInput(1, 0, 0x80)) << "bits beyond the seven buttons";
    EXPECT_FALSE(session.addRemoteInput(1, -5, 1));
    EXPECT_TRUE(session.addRemoteInput(1, 0, 1));
    EXPECT_TRUE(session.addRemoteInput(1, 0, 2)) << "a repeat is ignored";
    Buttons b;
    ASSERT_TRUE(session.knownInput(1, 0, b));
    EXPECT_EQ(b, 1) << "and does not replace the first";
    // Frames far ahead of this machine would overwrite what a rollback still needs.
    int f = 1;
    while (session.addRemoteInput(1, f, 0))
        ++f;
    EXPECT_LT(f, kRingFrames);
    EXPECT_GE(f, kMaxPredictionWindow + kMaxInputDelay);
}

TEST(RollbackSession, ASeatThatLeftHoldsTheLeftFlagFromItsFrameOnEveryMachine)
{
    Mesh mesh(3, 1, 3);
    // Seat 2 stops sending after frame 99; both others learn it left from frame 100.
    for (int guard = 0; guard < 1000; ++guard) {
        mesh.step(400);
        std::erase_if(mesh.inFlight, [](const Mesh::Message& m) { return m.from == 2 && !m.isChecksum && m.frame >= 100; });
        if (mesh.sessions[0]->lastKnownFrame(2) >= 99 && mesh.sessions[1]->lastKnownFrame(2) >= 99)
            break;
    }
    ASSERT_TRUE(mesh.sessions[0]->seatLeaves(2, 100));
    ASSERT_TRUE(mesh.sessions[1]->seatLeaves(2, 100));
    EXPECT_FALSE(mesh.sessions[1]->seatLeaves(2, 120)) << "once";
    EXPECT_FALSE(mesh.sessions[1]->addRemoteInput(2, 100, 1)) << "nothing of it after it left";
    std::erase_if(mesh.inFlight, [](const Mesh::Message& m) { return m.to == 2 || (m.from == 2 && !m.isChecksum); });
    mesh.sessions.pop_back();
    mesh.games.pop_back();
    mesh.run(400);
    net::Checksum want = referenceRun(3, 1, 400, 2, 100);
    EXPECT_EQ(mesh.games[0]->checksum(), want);
    EXPECT_EQ(mesh.games[1]->checksum(), want);
}

TEST(RollbackSession, ChecksumsOfConfirmedFramesNameTheFrameAndGroupThatDiffer)
{
    Mesh mesh(2, 2, 3, /*leaky=*/true);
    mesh.run(400);
    ASSERT_TRUE(mesh.sessions[0]->desynced());
    const Desync& d = mesh.sessions[0]->desync();
    EXPECT_EQ(d.seat, 1);
    // The leaky game departs at its 50th frame run, counting the ones it ran again; the
    // first exchange after that is the first to differ, in the mix only (group 4).
    EXPECT_EQ((d.frame + 1) % 60, 0);
    EXPECT_LE(d.frame, 119);
    EXPECT_EQ(d.groups, 1u << 4);
    EXPECT_TRUE(mesh.sessions[1]->desynced());

    Mesh clean(2, 2, 3);
    clean.run(400);
    EXPECT_FALSE(clean.sessions[0]->desynced());
    EXPECT_FALSE(clean.sessions[1]->desynced());
    EXPECT_EQ(clean.sessions[0]->checksumsCompared(), 6);  // frames 59, 119 ... 359
    // What a recording of the confirmed frames checks: the checksum exchanged, the same on
    // both machines, of checksum frames that are confirmed only.
    Checksum mine, theirs;
    ASSERT_TRUE(clean.sessions[0]->confirmedChecksum(359, mine));
    ASSERT_TRUE(clean.sessions[1]->confirmedChecksum(359, theirs));
    EXPECT_EQ(mine, theirs);
    EXPECT_TRUE(clean.sessions[0]->confirmedChecksum(299, theirs));
    EXPECT_NE(mine, theirs);
    EXPECT_FALSE(clean.sessions[0]->confirmedChecksum(358, mine));
    EXPECT_FALSE(clean.sessions[0]->confirmedChecksum(419, mine));

    // A checksum that cannot be one is refused.
    EXPECT_FALSE(clean.sessions[0]->addRemoteChecksum(1, 60, {}));
    EXPECT_FALSE(clean.sessions[0]->addRemoteChecksum(0, 419, {}));
    EXPECT_FALSE(clean.sessions[0]->addRemoteChecksum(1, 59 + 60 * 100, {}));
}

TEST(RollbackSession, AFrameAllocatesNothing)
{
#ifndef PALVEX_COUNTS_ALLOCATIONS
    GTEST_SKIP() << "allocations are counted only without the sanitizers";
#endif
    Mesh mesh(4, 2, 5);
    mesh.run(200);
    uint64_t before = allocations.load();
    uint64_t framesBefore = mesh.sessions[0]->stats().framesRun;
    uint64_t rollbacksBefore = mesh.sessions[0]->stats().rollbacks;
    for (int i = 0; i < 300; ++i)
        mesh.step(500);
    EXPECT_GT(mesh.sessions[0]->stats().framesRun, framesBefore + 200);
    EXPECT_GT(mesh.sessions[0]->stats().rollbacks, rollbacksBefore);
    EXPECT_EQ(allocations.load(), before);
}

TEST(RollbackStats, MeanPercentileAndMaximumOfTheDepths)
{
    RollbackStats s;
    EXPECT_EQ(s.meanDepth(), 0.0);
    EXPECT_EQ(s.percentileDepth(0.99), 0);
    // 98 rollbacks of 1 frame, one of 3, one of 7.
    s.depth[1] = 98;
    s.depth[3] = 1;
    s.depth[7] = 1;
    s.rollbacks = 100;
    EXPECT_DOUBLE_EQ(s.meanDepth(), (98 + 3 + 7) / 100.0);
    EXPECT_EQ(s.percentileDepth(0.98), 1);
    EXPECT_EQ(s.percentileDepth(0.99), 3);
    EXPECT_EQ(s.percentileDepth(1.0), 7);
    EXPECT_EQ(s.maxDepth(), 7);
    RollbackStats t = s;
    t.add(s);
    EXPECT_EQ(t.rollbacks, 200u);
    EXPECT_EQ(t.percentileDepth(0.99), 3);
}

TEST(SyncTest, ADeterministicGamePassesAndOneThatForgetsStateIsCaught)
{
    for (int distance : {1, 2, 8}) {
        toy::ToyGame good;
        SyncTest test(good, distance);
        for (int f = 0; f < 300; ++f) {
            SeatInputs in;
            in.seat[0] = toy::scriptedButtons(0, f);
            in.seat[1] = toy::scriptedButtons(1, f);
            ASSERT_TRUE(test.advance(in)) << "frame " << f;
        }
        EXPECT_EQ(test.framesChecked(), uint64_t(301 - distance) * uint64_t(distance));

        toy::LeakyGame leaky;
        SyncTest caught(leaky, distance);
        bool ok = true;
        for (int f = 0; f < 300 && ok; ++f)
            ok = caught.advance({});
        EXPECT_FALSE(ok) << "distance " << distance;
        EXPECT_GE(caught.mismatch().frame, 0);
        EXPECT_LT(caught.mismatch().frame, 50);
        EXPECT_EQ(caught.mismatch().groups, 1u << 4);
    }
}
