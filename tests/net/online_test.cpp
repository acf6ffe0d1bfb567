// Whole online games of the toy game between machines on the simulated link: a bad
// network's latency, jitter, loss and reordering, players leaving, strangers' packets.
// Every machine must end with the very states one game fed with the real buttons has.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "net/peer.h"
#include "net/simlink.h"
#include "toygame.h"

using namespace net;

namespace {

// The log lines of dropped packets are the code's business here, not the test output's.
void quiet(const char*) {}
const bool silenced = (setLogSink(quiet), true);

constexpr uint16_t kTickMs = 16;
constexpr uint8_t kDelay = 2;

// The toy game that also keeps its checksum after every frame, as last computed: after a
// game, what each frame's state finally was on this machine.
struct RecordingGame : toy::ToyGame {
    std::vector<Checksum> history;
    int departAt = -1;  // a game that is not exact: frame 'departAt' differs whenever it runs
    explicit RecordingGame(int frames) : history(size_t(frames) + 64) {}
    void advanceFrame(const SeatInputs& in) override
    {
        uint32_t at = frames;
        ToyGame::advanceFrame(in);
        if (int(at) == departAt)
            seatValue[2] ^= 1;
        if (at < history.size())
            history[at] = checksum();
    }
};

struct Machine {
    Transport* transport = nullptr;
    std::unique_ptr<RecordingGame> game;
    std::unique_ptr<NetPeer> peer;
    bool silent = false;   // stops polling and sending, as a machine whose cable was pulled
};

PeerConfig configFor(bool host, const char* name)
{
    PeerConfig c;
    c.host = host;
    c.playerName = name;
    c.gameVersion = "1.0.0";
    c.modelCount = 2;
    c.models[0].name.set("arena.ase");
    c.models[0].hash = 111;
    c.models[1].name.set("moto1.ase");
    c.models[1].hash = 222;
    return c;
}

struct Game {
    SimNetwork network;
    std::vector<Machine> machines;
    int frames;
    std::function<void()> eachStep;  // a stranger's doings, between the machines' steps

    // Joining machines link directly unless told not to, as the game's do.
    Game(int players, int frames, const LinkFaults& faults, uint64_t seed = 7, bool direct = true)
        : network(seed), frames(frames)
    {
        network.setFaults(faults);
        for (int i = 0; i < players; ++i) {
            PeerConfig c = configFor(i == 0, i == 0 ? "host" : "guest");
            if (i > 0 && direct)
                c.directPort = SimNetwork::addressOf(i).port;
            add(c);
        }
    }
    Machine& add(const PeerConfig& config)
    {
        Machine m;
        m.transport = network.addEndpoint();
        m.game = std::make_unique<RecordingGame>(frames);
        m.peer = std::make_unique<NetPeer>(*m.transport, *m.game, config);
        machines.push_back(std::move(m));
        if (machines.size() > 1)
            network.connect(machines.back().transport, machines[0].transport);
        return machines.back();
    }
    // Runs the virtual clock in 4 ms steps; each machine polls every step and runs a
    // frame tick every 16 ms, the machines' ticks out of phase with each other.
    template <typename Until> bool runUntil(Until until, uint32_t limitMs)
    {
        for (uint32_t t = 0; t < limitMs; t += 4) {
            network.advance(4);
            if (eachStep)
                eachStep();
            for (size_t i = 0; i < machines.size(); ++i) {
                Machine& m = machines[i];
                if (m.silent)
                    continue;
                m.peer->poll();
                if ((t / 4 + i) % (kTickMs / 4) == 0 && m.peer->state() == PeerState::Racing) {
                    RollbackSession* s = m.peer->session();
                    m.peer->advanceFrame(toy::scriptedButtons(m.peer->localSeat(), s->currentFrame()));
                }
            }
            if (until())
                return true;
        }
        return false;
    }
    bool everyone(PeerState state)
    {
        for (Machine& m : machines)
            if (!m.silent && m.peer->state() != state)
                return false;
        return true;
    }
    bool joinAndStart()
    {
        if (!runUntil([&] { return everyone(PeerState::Lobby) && machines[0].peer->lobby().seatCount == machines.size(); }, 5000))
            return false;
        uint8_t options[kOptionsBytes] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        if (!machines[0].peer->startRace(kDelay, kTickMs, options) || !machines[0].peer->endAt(frames))
            return false;
        return runUntil([&] { return everyone(PeerState::Racing) || everyone(PeerState::Ended); }, 5000);
    }
    bool play(uint32_t limitMs)
    {
        bool ended = runUntil([&] { return everyone(PeerState::Ended); }, limitMs);
        for (size_t i = 0; i < machines.size() && !ended; ++i)
            if (!machines[i].silent)
                std::printf("machine %zu: state %d, frame %d, confirmed %d, %s\n", i, int(machines[i].peer->state()),
                            machines[i].peer->session() ? machines[i].peer->session()->currentFrame() : -1,
                            machines[i].peer->session() ? machines[i].peer->session()->confirmedFrame() : -1,
                            machines[i].peer->failure().c_str());
        return ended;
    }
};

// The states one game fed with every seat's real buttons goes through.
std::vector<Checksum> referenceHistory(int seats, int frames, int leftSeat = -1, int leftFrom = 0)
{
    RecordingGame game(frames);
    for (int f = 0; f < frames; ++f) {
        SeatInputs in;
        for (int s = 0; s < seats; ++s)
            in.seat[s] = s == leftSeat && f >= leftFrom ? kSeatLeft : f >= kDelay ? toy::scriptedButtons(s, f - kDelay) : 0;
        game.advanceFrame(in);
    }
    return game.history;
}

LinkFaults badNetwork(uint32_t rttMs, uint32_t jitterMs, double loss, double reorder)
{
    LinkFaults f;
    f.latencyMs = rttMs / 2;
    f.jitterMs = jitterMs;
    f.loss = loss;
    f.reorder = reorder;
    f.duplicate = 0.01;
    return f;
}

void report(const char* what, Game& game)
{
    RollbackStats all;
    uint64_t bytes = 0, holds = 0;
    for (Machine& m : game.machines) {
        all.add(m.peer->session()->stats());
        bytes += m.peer->bytesSent();
        holds += m.peer->timeSyncHolds();
    }
    double seconds = game.frames * kTickMs / 1000.0;
    std::printf("%s: %d frames, rollbacks %llu, depth mean %.2f p99 %d max %d, waits %llu, time-sync holds %llu, "
                "%.0f bytes/s sent per machine\n",
                what, game.frames, static_cast<unsigned long long>(all.rollbacks), all.meanDepth(),
                all.percentileDepth(0.99), all.maxDepth(), static_cast<unsigned long long>(all.waits),
                static_cast<unsigned long long>(holds), double(bytes) / seconds / double(game.machines.size()));
}

void expectSameRace(Game& game, const std::vector<Checksum>& want)
{
    for (size_t i = 0; i < game.machines.size(); ++i) {
        Machine& m = game.machines[i];
        if (m.silent)
            continue;
        ASSERT_EQ(m.peer->state(), PeerState::Ended) << "machine " << i << ": " << m.peer->failure();
        EXPECT_EQ(m.peer->session()->currentFrame(), game.frames);
        EXPECT_GE(m.peer->session()->confirmedFrame(), game.frames - 1);
        EXPECT_FALSE(m.peer->session()->desynced());
        for (int f = 0; f < game.frames; ++f)
            ASSERT_EQ(m.game->history[size_t(f)], want[size_t(f)]) << "machine " << i << " frame " << f;
    }
}

} // namespace

TEST(OnlineGame, TwoAndFourMachinesOnABadNetworkReachTheSameStatesFrameByFrame)
{
    struct Case {
        int players;
        bool direct;
        const char* what;
    };
    for (const Case& c : {Case{2, true, "2 machines, 100 ms ± 10 ms, 5 % loss"},
                          Case{4, true, "4 machines linked directly, 100 ms ± 10 ms, 5 % loss"},
                          Case{4, false, "4 machines through the host, 100 ms ± 10 ms, 5 % loss"}}) {
        Game game(c.players, 3600, badNetwork(100, 10, 0.05, 0.01), 7, c.direct);
        ASSERT_TRUE(game.joinAndStart());
        ASSERT_TRUE(game.play(3600 * kTickMs * 2));
        expectSameRace(game, referenceHistory(c.players, 3600));
        RollbackStats all;
        for (Machine& m : game.machines) {
            all.add(m.peer->session()->stats());
            EXPECT_GT(m.peer->session()->checksumsCompared(), 0);
        }
        EXPECT_GT(all.rollbacks, 0u);
        EXPECT_LE(all.maxDepth(), kMaxPredictionWindow);
        EXPECT_EQ(game.machines[0].peer->drops().total(), 0u);
        // Every joining machine heard every other one directly until the end, or none.
        for (size_t i = 1; i < game.machines.size(); ++i) {
            uint32_t others = ((1u << c.players) - 1) & ~1u & ~(1u << game.machines[i].peer->localSeat());
            EXPECT_EQ(game.machines[i].peer->directSeats(), c.direct ? others : 0u) << c.what << ", machine " << i;
        }
        report(c.what, game);
    }
}

TEST(OnlineGame, AQuarterSecondAndTenPercentLossStillAgree)
{
    Game game(2, 1800, badNetwork(250, 10, 0.10, 0.01));
    ASSERT_TRUE(game.joinAndStart());
    ASSERT_TRUE(game.play(1800 * kTickMs * 3));
    expectSameRace(game, referenceHistory(2, 1800));
    EXPECT_GT(game.machines[0].peer->session()->stats().waits + game.machines[1].peer->session()->stats().waits, 0u)
        << "a quarter second is more than the prediction window";
    report("2 machines, 250 ms, 10 % loss", game);
}

TEST(OnlineGame, ASilentMachineIsDroppedAndTheOthersPlayOnFromTheSameFrame)
{
    Game game(3, 1200, badNetwork(60, 5, 0.02, 0.0));
    ASSERT_TRUE(game.joinAndStart());
    ASSERT_TRUE(game.runUntil([&] { return game.machines[2].peer->session()->currentFrame() >= 300; }, 20000));
    game.machines[2].silent = true;
    uint32_t before = game.network.nowMs();
    ASSERT_TRUE(game.play(1200 * kTickMs * 3));
    EXPECT_GE(game.network.nowMs() - before, 2000u);
    // Both machines left hold the same frame from which the silent seat is gone.
    int gone = game.machines[2].peer->localSeat();
    int from = game.machines[0].peer->session()->lastKnownFrame(gone) + 1;
    EXPECT_GE(from, 280);
    EXPECT_LE(from, 320);
    expectSameRace(game, referenceHistory(3, 1200, gone, from));
}

TEST(OnlineGame, ADirectLinkMadeLateCarriesButtonsFromThenOn)
{
    // The joining machines' handshake takes a second and a half: the race is 90 frames on
    // when their link is made, far more than the frames of buttons the session holds.
    Game game(3, 1200, badNetwork(60, 5, 0.02, 0.0));
    ASSERT_TRUE(game.runUntil([&] { return game.everyone(PeerState::Lobby) && game.machines[0].peer->lobby().seatCount == 3; }, 5000));
    game.network.setConnectDelay(1500);
    uint8_t options[kOptionsBytes] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_TRUE(game.machines[0].peer->startRace(kDelay, kTickMs, options) && game.machines[0].peer->endAt(1200));
    ASSERT_TRUE(game.play(1200 * kTickMs * 3));
    expectSameRace(game, referenceHistory(3, 1200));
    // About 1 100 frames of buttons each way over the link, a datagram a frame.
    for (int i : {1, 2}) {
        const NetPeer& from = *game.machines[size_t(i)].peer;
        int other = 3 - from.localSeat();
        EXPECT_GT(from.directBytesSent(other), 1000u * 20) << "machine " << i << ": " << from.linksText();
    }
}

TEST(OnlineGame, AMachineOnlyAnotherJoiningMachineStillHearsIsGoneWhereTheHostLostIt)
{
    // Machine 2 loses its route to the host but not to machine 1: machine 1 goes on getting
    // its buttons directly (as far as machine 2 runs without the host's: the prediction
    // window), past the frame from which the host then declares the seat gone.
    // Machine 1 must forget those buttons and run those frames again as everyone else does,
    // which it can only do if it never took them for final.
    Game game(3, 1200, badNetwork(60, 5, 0.02, 0.0));
    ASSERT_TRUE(game.joinAndStart());
    ASSERT_TRUE(game.runUntil([&] { return game.machines[2].peer->session()->currentFrame() >= 300; }, 20000));
    int gone = game.machines[2].peer->localSeat();
    ASSERT_EQ(game.machines[1].peer->directSeats(), 1u << gone);
    game.network.cut(game.machines[0].transport, game.machines[2].transport);
    ASSERT_TRUE(game.runUntil([&] { return game.machines[0].peer->session()->lastKnownFrame(gone) + 4 <
                                           game.machines[1].peer->session()->lastKnownFrame(gone); }, 1500))
        << "machine 1 hears machine 2 beyond the host";
    game.machines[2].silent = true;
    ASSERT_TRUE(game.play(1200 * kTickMs * 3));
    int from = game.machines[0].peer->session()->lastKnownFrame(gone) + 1;
    EXPECT_GE(from, 280);
    EXPECT_LE(from, 340);
    EXPECT_EQ(game.machines[1].peer->session()->lastKnownFrame(gone), from - 1);
    EXPECT_EQ(game.machines[1].peer->directSeats(), 0u);
    expectSameRace(game, referenceHistory(3, 1200, gone, from));
}

TEST(OnlineGame, TheHostLeavingEndsTheGameForEveryoneWithAMessage)
{
    Game game(3, 1200, badNetwork(40, 0, 0.0, 0.0));
    ASSERT_TRUE(game.joinAndStart());
    // The lobby showed every player's name and ping (40 ms, measured in 4 ms steps).
    const LobbyMessage& lobby = game.machines[1].peer->lobby();
    ASSERT_EQ(lobby.seatCount, 3);
    EXPECT_EQ(lobby.seats[0].name.view(), "host");
    EXPECT_EQ(lobby.seats[2].name.view(), "guest");
    EXPECT_GE(game.machines[0].peer->pingMs(1), 40u);
    EXPECT_LE(game.machines[0].peer->pingMs(1), 52u);
    ASSERT_TRUE(game.runUntil([&] { return game.machines[1].peer->session()->currentFrame() >= 100; }, 20000));
    game.machines[0].peer->leave();
    game.machines[0].silent = true;
    ASSERT_TRUE(game.runUntil([&] { return game.everyone(PeerState::Failed); }, 3000));
    EXPECT_EQ(game.machines[1].peer->failure(), "the host left");

    // Silent rather than gone: after 2 s.
    Game quiet(2, 1200, badNetwork(40, 0, 0.0, 0.0));
    ASSERT_TRUE(quiet.joinAndStart());
    quiet.machines[0].silent = true;
    uint32_t before = quiet.network.nowMs();
    ASSERT_TRUE(quiet.runUntil([&] { return quiet.everyone(PeerState::Failed); }, 5000));
    EXPECT_GE(quiet.network.nowMs() - before, 2000u);
    EXPECT_NE(quiet.machines[1].peer->failure().find("the host left"), std::string::npos);
}

TEST(OnlineGame, ADesyncStopsEveryMachineNamingTheFrameAndGroup)
{
    Game game(3, 1200, badNetwork(60, 5, 0.02, 0.0));
    game.machines[2].game->departAt = 100;
    ASSERT_TRUE(game.joinAndStart());
    ASSERT_TRUE(game.runUntil([&] { return game.everyone(PeerState::Failed); }, 20000))
        << int(game.machines[0].peer->state()) << game.machines[0].peer->failure() << " / "
        << int(game.machines[1].peer->state()) << game.machines[1].peer->failure() << " / "
        << int(game.machines[2].peer->state()) << game.machines[2].peer->failure();
    // Machine 2 departs in frame 100, before frame 120: the check of frame 120 differs in seat 2's value (group 2) and the mix of all (group 4).
    int seat = game.machines[2].peer->localSeat();
    EXPECT_EQ(game.machines[0].peer->failure(), "desync at frame 120 with seat " + std::to_string(seat) + " (groups 0x14)");
    EXPECT_EQ(game.machines[2].peer->failure(), "desync at frame 120 with seat 0 (groups 0x14)");
    EXPECT_EQ(game.machines[1].peer->failure(), "the host left");
}

TEST(OnlineGame, JoiningMachinesHearWhyTheyAreRefused)
{
    Game game(1, 600, badNetwork(20, 0, 0.0, 0.0));
    PeerConfig other = configFor(false, "old");
    other.gameVersion = "0.9.0";
    game.add(other);
    PeerConfig models = configFor(false, "modder");
    models.models[1].hash = 999;
    game.add(models);
    ASSERT_TRUE(game.runUntil([&] {
        return game.machines[1].peer->state() == PeerState::Failed && game.machines[2].peer->state() == PeerState::Failed;
    }, 3000));
    EXPECT_EQ(game.machines[1].peer->failure(), "the host refused: another version (1.0.0)");
    EXPECT_EQ(game.machines[2].peer->failure(), "the host refused: other model files (moto1.ase)");

    // Three guests fill the race; a fourth hears "full", and one after the start "refused".
    Game crowded(4, 600, badNetwork(20, 0, 0.0, 0.0));
    ASSERT_TRUE(crowded.runUntil([&] { return crowded.everyone(PeerState::Lobby) && crowded.machines[0].peer->lobby().seatCount == 4; }, 3000));
    EXPECT_EQ(crowded.machines[3].peer->localSeat(), 3);
    crowded.add(configFor(false, "late"));
    ASSERT_TRUE(crowded.runUntil([&] { return crowded.machines[4].peer->state() == PeerState::Failed; }, 3000));
    EXPECT_EQ(crowded.machines[4].peer->failure(), "the host refused: full");

    // A host that seats two: the second guest hears "full"; the start says who races,
    // with the computer bikes the seats leave room for, and calls the game's set-up first.
    Game two(0, 600, badNetwork(20, 0, 0.0, 0.0));
    PeerConfig small = configFor(true, "host");
    small.maxSeats = 2;
    int setUpSeats = 0;
    small.beforeStart = [&](const StartMessage& start, int seat) { setUpSeats = start.seats * 10 + seat; };
    two.add(small);
    two.add(configFor(false, "first"));
    ASSERT_TRUE(two.runUntil([&] { return two.machines[0].peer->joinedPeers() == 1; }, 3000));
    two.add(configFor(false, "second"));
    ASSERT_TRUE(two.runUntil([&] { return two.machines[2].peer->state() == PeerState::Failed; }, 3000));
    EXPECT_EQ(two.machines[2].peer->failure(), "the host refused: full");
    uint8_t options[kOptionsBytes] = {};
    ASSERT_TRUE(two.machines[0].peer->startRace(2, 16, options, 3, 2));
    EXPECT_EQ(setUpSeats, 20);
    EXPECT_EQ(two.machines[0].peer->startInfo().computerBikes, 2);
    ASSERT_TRUE(two.runUntil([&] { return two.machines[1].peer->state() == PeerState::Racing; }, 3000));
    EXPECT_EQ(two.machines[1].peer->startInfo().computerBikes, 2);
    EXPECT_EQ(two.machines[1].peer->startInfo().computerLevel, 2);

    Game started(2, 600, badNetwork(20, 0, 0.0, 0.0));
    ASSERT_TRUE(started.joinAndStart());
    started.add(configFor(false, "latecomer"));
    ASSERT_TRUE(started.runUntil([&] { return started.machines[2].peer->state() == PeerState::Failed; }, 3000));
    EXPECT_EQ(started.machines[2].peer->failure(), "the host refused: refused");

    // Nobody answers: "no answer" after the connection time-out.
    SimNetwork network(1);
    Transport* lonely = network.addEndpoint();
    Transport* deaf = network.addEndpoint();
    RecordingGame g(10);
    NetPeer joiner(*lonely, g, configFor(false, "alone"));
    network.connect(lonely, deaf);
    for (int t = 0; t < 2000 && joiner.state() == PeerState::Connecting; ++t) {
        network.advance(4);
        joiner.poll();
        TransportEvent e;
        while (deaf->poll(e)) {
        }
    }
    EXPECT_EQ(joiner.state(), PeerState::Failed);
    EXPECT_EQ(joiner.failure(), "no answer from the host");
}

TEST(OnlineGame, StrangersPacketsAreDroppedAndTheGameGoesOn)
{
    // No jitter: a burst then arrives whole rather than thinned by the sequenced channel.
    Game game(3, 1200, badNetwork(60, 0, 0.02, 0.0));
    ASSERT_TRUE(game.joinAndStart());
    uint64_t x = 0x2545F4914F6CDD1Dull;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    Machine& rogue = game.machines[2];
    int hostPeer = -1;
    for (int p = 0; p < 4 && hostPeer < 0; ++p)
        if (rogue.transport->send(p, Channel::Inputs, nullptr, 0))
            hostPeer = p;
    ASSERT_GE(hostPeer, 0);
    auto send = [&](const Message& m, Channel channel) {
        uint8_t bytes[kMaxDatagram];
        rogue.transport->send(hostPeer, channel, bytes, encode(m, bytes, sizeof bytes));
    };
    int bursts = 0;
    bool done = game.runUntil([&] {
        if (game.network.nowMs() % 64 == 0 && bursts < 200) {
            bursts++;
            uint8_t junk[kMaxDatagram];
            // Garbage of every length, then well-formed messages it has no right to send:
            // buttons of the other guest's seat, checksums of the host's, a start.
            for (int i = 0; i < 60; ++i) {
                size_t n = size_t(next() % sizeof junk);
                for (size_t k = 0; k < n; ++k)
                    junk[k] = uint8_t(next());
                rogue.transport->send(hostPeer, Channel::Inputs, junk, n);
            }
            Message m;
            m.type = MessageType::Inputs;
            m.inputs.seat = uint8_t(rogue.peer->localSeat() == 1 ? 2 : 1);
            m.inputs.firstFrame = uint32_t(game.machines[0].peer->session()->currentFrame());
            m.inputs.count = 8;
            for (int i = 0; i < 8; ++i)
                m.inputs.buttons[i] = 0x7F;
            send(m, Channel::Inputs);
            m = {};
            m.type = MessageType::Checksum;
            m.checksum.seat = 0;
            m.checksum.frame = 59;
            send(m, Channel::Session);
            m = {};
            m.type = MessageType::Start;
            m.start.seats = 4;
            m.start.tickMs = 1;
            send(m, Channel::Session);
        }
        return game.everyone(PeerState::Ended);
    }, 1200 * kTickMs * 3);
    ASSERT_TRUE(done) << game.machines[0].peer->failure() << game.machines[1].peer->failure()
                      << game.machines[2].peer->failure() << int(game.machines[0].peer->state())
                      << int(game.machines[1].peer->state()) << int(game.machines[2].peer->state());
    expectSameRace(game, referenceHistory(3, 1200));
    const DropCounts& d = game.machines[0].peer->drops();
    EXPECT_GT(d.undecodable, 0u);
    EXPECT_GT(d.foreignSeat, 0u);
    EXPECT_GT(d.unexpected, 0u);
    EXPECT_GT(d.flooded, 0u) << "sixty datagrams at once, again and again, pass the rate";
}

TEST(OnlineGame, ADirectLinkCarriesOnlyTheSeatItsTokenProves)
{
    Game game(3, 1200, badNetwork(40, 0, 0.0, 0.0));
    Machine& target = game.machines[1];
    Machine& rogue = game.machines[2];
    // A stranger dials the first joining machine while it is still in the lobby, twice.
    Transport* stranger = game.network.addEndpoint();
    int guessing = stranger->dial(SimNetwork::addressOf(1));
    int lurking = stranger->dial(SimNetwork::addressOf(1));
    ASSERT_GE(guessing, 0);
    ASSERT_GE(lurking, 0);
    bool refused = false, lurkerDropped = false, sent = false;
    auto send = [](Transport* t, int peer, const Message& m, Channel channel) {
        uint8_t bytes[kMaxDatagram];
        t->send(peer, channel, bytes, encode(m, bytes, sizeof bytes));
    };
    game.eachStep = [&] {
        TransportEvent e;
        while (stranger->poll(e)) {
            if (e.kind == TransportEvent::Connected && e.peer == guessing) {
                // A guess at the token of the seat the last machine will have, before that
                // machine links: the guess comes first and is checked first.
                Message m;
                m.type = MessageType::Link;
                m.link.seat = 2;
                m.link.token = 0x0123456789ABCDEFull;
                send(stranger, guessing, m, Channel::Session);
            }
            if (e.kind == TransportEvent::Connected && e.peer == lurking) {
                // Buttons without a word of who it is.
                Message m;
                m.type = MessageType::Inputs;
                m.inputs.seat = 2;
                m.inputs.firstFrame = 0;
                m.inputs.count = 4;
                send(stranger, lurking, m, Channel::Inputs);
            }
            if (e.kind == TransportEvent::Disconnected)
                (e.peer == guessing ? refused : lurkerDropped) = true;
        }
        // The rogue, linked for real, sends the host's buttons over its direct link.
        if (!sent && rogue.peer->directSeats() != 0 && rogue.peer->session()->currentFrame() > 200) {
            for (int p = 1; p < 4; ++p) {
                Message m;
                m.type = MessageType::Inputs;
                m.inputs.seat = 0;
                m.inputs.firstFrame = uint32_t(target.peer->session()->currentFrame());
                m.inputs.count = 8;
                for (int i = 0; i < 8; ++i)
                    m.inputs.buttons[i] = 0x7F;
                send(rogue.transport, p, m, inputsChannel(0));
            }
            sent = true;
        }
    };
    ASSERT_TRUE(game.joinAndStart());
    ASSERT_EQ(rogue.peer->localSeat(), 2);
    ASSERT_TRUE(game.play(1200 * kTickMs * 3));
    expectSameRace(game, referenceHistory(3, 1200));
    EXPECT_TRUE(refused) << "a wrong token ends the link";
    EXPECT_TRUE(lurkerDropped) << "a link that never shows its seat is dropped";
    EXPECT_TRUE(sent);
    const DropCounts& d = target.peer->drops();
    EXPECT_GE(d.foreignSeat, 2u) << "the guess, and the host's buttons from the rogue";
    EXPECT_GE(d.unexpected, 1u) << "buttons before a proof";
    EXPECT_EQ(target.peer->directSeats(), 1u << rogue.peer->localSeat());
}

TEST(OnlineGame, AFloodOnTheReliableChannelDropsTheSenderAndTheOthersPlayOn)
{
    Game game(3, 1200, badNetwork(60, 0, 0.0, 0.0));
    ASSERT_TRUE(game.joinAndStart());
    Machine& rogue = game.machines[2];
    ASSERT_TRUE(game.runUntil([&] { return rogue.peer->session()->currentFrame() >= 200; }, 20000));
    // Three hundred pings at once where a few a second are the rule: ENet would deliver
    // every one, so dropping some would not help; the host drops the sender.
    Message ping;
    ping.type = MessageType::Ping;
    uint8_t bytes[kMaxDatagram];
    size_t n = encode(ping, bytes, sizeof bytes);
    for (int i = 0; i < 300; ++i)
        rogue.transport->send(0, Channel::Session, bytes, n);
    // Dropped at once, not after 2 s of silence: the rogue, still running, hears it.
    uint32_t floodAt = game.network.nowMs();
    ASSERT_TRUE(game.runUntil([&] { return rogue.peer->state() == PeerState::Failed; }, 1000));
    EXPECT_LT(game.network.nowMs() - floodAt, 500u);
    EXPECT_EQ(rogue.peer->failure(), "the host left (disconnected)");
    EXPECT_GT(game.machines[0].peer->drops().flooded, 0u);
    rogue.silent = true;
    ASSERT_TRUE(game.play(1200 * kTickMs * 3));
    int seat = rogue.peer->localSeat();
    int from = game.machines[0].peer->session()->lastKnownFrame(seat) + 1;
    EXPECT_GE(from, 200);
    EXPECT_LE(from, 240);
    expectSameRace(game, referenceHistory(3, 1200, seat, from));
}
