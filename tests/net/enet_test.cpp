// The real transport: ENet on 127.0.0.1, first directly, then through palvex-relay with a
// bad network's faults. Every loop is bounded by a wall-clock limit.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/enettransport.h"
#include "net/peer.h"
#include "toygame.h"

extern char** environ;

using namespace net;

namespace {

using Clock = std::chrono::steady_clock;

PeerConfig peerConfig(bool host)
{
    PeerConfig c;
    c.host = host;
    c.playerName = host ? "host" : "guest";
    c.gameVersion = "1.0.0";
    return c;
}

struct Side {
    toy::ToyGame game;
    std::unique_ptr<EnetTransport> transport;
    std::unique_ptr<NetPeer> peer;
};

// Plays a game of `frames` frames between a host on hostPort's transport and a guest
// joining guestPort, each running a frame every tick of 4 ms; false when it does not end
// within the limit.
bool playOver(Side& host, Side& guest, int frames, std::chrono::seconds limit)
{
    auto until = Clock::now() + limit;
    bool started = false;
    while (Clock::now() < until) {
        host.peer->poll();
        guest.peer->poll();
        if (!started && host.peer->lobby().seatCount == 2 && guest.peer->state() == PeerState::Lobby) {
            uint8_t options[kOptionsBytes] = {};
            started = host.peer->startRace(1, 4, options) && host.peer->endAt(frames);
        }
        for (Side* s : {&host, &guest})
            if (s->peer->state() == PeerState::Racing)
                s->peer->advanceFrame(toy::scriptedButtons(s->peer->localSeat(), s->peer->session()->currentFrame()));
        if (host.peer->state() == PeerState::Ended && guest.peer->state() == PeerState::Ended)
            return true;
        if (host.peer->state() == PeerState::Failed || guest.peer->state() == PeerState::Failed)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    return false;
}

// Runs the relay with the given arguments and its output to /dev/null; its exit code, or
// -1 when it had not ended after `limit`.
int runRelay(std::vector<std::string> args, std::chrono::milliseconds limit)
{
    args.insert(args.begin(), PALVEX_RELAY);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, PALVEX_RELAY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -2;
    auto until = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < until) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

net::Checksum reference(int frames)
{
    toy::ToyGame game;
    for (int f = 0; f < frames; ++f) {
        SeatInputs in;
        for (int s = 0; s < 2; ++s)
            in.seat[s] = f >= 1 ? toy::scriptedButtons(s, f - 1) : 0;
        game.advanceFrame(in);
    }
    return game.checksum();
}

} // namespace

TEST(EnetTransport, AHostAndAGuestOnLoopbackPlayTheSameGame)
{
    Side host, guest;
    std::string error;
    host.transport = EnetTransport::listen("127.0.0.1", 0, kMaxRemotePeers, error);
    ASSERT_TRUE(host.transport) << error;
    uint16_t port = host.transport->port();
    ASSERT_NE(port, 0);
    guest.transport = EnetTransport::connect("127.0.0.1", port, 0, error);
    ASSERT_TRUE(guest.transport) << error;
    host.peer = std::make_unique<NetPeer>(*host.transport, host.game, peerConfig(true));
    guest.peer = std::make_unique<NetPeer>(*guest.transport, guest.game, peerConfig(false));
    ASSERT_TRUE(playOver(host, guest, 300, std::chrono::seconds(20)))
        << host.peer->failure() << " / " << guest.peer->failure();
    EXPECT_EQ(guest.peer->localSeat(), 1);
    EXPECT_EQ(host.game.checksum(), reference(300));
    EXPECT_EQ(guest.game.checksum(), reference(300));
    EXPECT_EQ(host.peer->drops().total(), 0u);
    EXPECT_GT(host.peer->bytesReceived(), 0u);
}

TEST(EnetTransport, NobodyListeningIsNoAnswer)
{
    // A port just freed: nobody listens there.
    std::string error;
    uint16_t port;
    {
        auto probe = EnetTransport::listen("127.0.0.1", 0, 1, error);
        ASSERT_TRUE(probe) << error;
        port = probe->port();
    }
    Side guest;
    guest.transport = EnetTransport::connect("127.0.0.1", port, 0, error);
    ASSERT_TRUE(guest.transport) << error;
    PeerConfig c = peerConfig(false);
    c.connectTimeoutMs = 500;
    guest.peer = std::make_unique<NetPeer>(*guest.transport, guest.game, c);
    auto until = Clock::now() + std::chrono::seconds(5);
    while (guest.peer->state() == PeerState::Connecting && Clock::now() < until) {
        guest.peer->poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(guest.peer->state(), PeerState::Failed);
    EXPECT_EQ(guest.peer->failure(), "no answer from the host");
}

TEST(EnetTransport, HostAndPortAreReadFromTheCommandLineForm)
{
    std::string host;
    uint16_t port = 0;
    ASSERT_TRUE(splitHostPort("127.0.0.1:4000", host, port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 4000);
    ASSERT_TRUE(splitHostPort("example.org", host, port));
    EXPECT_EQ(port, kDefaultPort);
    EXPECT_FALSE(splitHostPort("example.org:0", host, port));
    EXPECT_FALSE(splitHostPort("example.org:65536", host, port));
    EXPECT_FALSE(splitHostPort("example.org:12ab", host, port));
    EXPECT_FALSE(splitHostPort(":4000", host, port));
    EXPECT_FALSE(splitHostPort("example.org:", host, port));
}

TEST(Relay, AGameThroughTheRelaysBadNetworkStillAgrees)
{
    Side host, guest;
    std::string error;
    host.transport = EnetTransport::listen("127.0.0.1", 0, kMaxRemotePeers, error);
    ASSERT_TRUE(host.transport) << error;
    std::string target = std::to_string(host.transport->port());

    // The relay prints the port it took on its first line.
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args = {PALVEX_RELAY, "--listen", "0", "--target", target, "--rtt", "60", "--jitter", "5",
                                     "--loss", "5", "--reorder", "1", "--duplicate", "1", "--seed", "3", "--timeout", "30"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t relay = 0;
    ASSERT_EQ(posix_spawn(&relay, PALVEX_RELAY, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    char line[128] = {};
    int relayPort = 0;
    if (std::fgets(line, sizeof line, lines))
        std::sscanf(line, "listening on %d", &relayPort);
    ASSERT_GT(relayPort, 0) << line;

    guest.transport = EnetTransport::connect("127.0.0.1", uint16_t(relayPort), 0, error);
    ASSERT_TRUE(guest.transport) << error;
    host.peer = std::make_unique<NetPeer>(*host.transport, host.game, peerConfig(true));
    guest.peer = std::make_unique<NetPeer>(*guest.transport, guest.game, peerConfig(false));
    bool ended = playOver(host, guest, 600, std::chrono::seconds(25));
    kill(relay, SIGTERM);
    int status = 0;
    waitpid(relay, &status, 0);
    std::fclose(lines);
    ASSERT_TRUE(ended) << host.peer->failure() << " / " << guest.peer->failure();
    EXPECT_EQ(host.game.checksum(), reference(600));
    EXPECT_EQ(guest.game.checksum(), reference(600));
    EXPECT_GT(host.peer->session()->stats().rollbacks + guest.peer->session()->stats().rollbacks, 0u)
        << "30 ms each way is several frames of 4 ms: predictions must have failed";
}

TEST(Relay, RefusesBadOptionsAndStopsByItself)
{
    using std::chrono::milliseconds;
    EXPECT_EQ(runRelay({"--listen", "0"}, milliseconds(2000)), 2) << "no target";
    EXPECT_EQ(runRelay({"--listen", "0", "--target", "9", "--loss", "200"}, milliseconds(2000)), 2);
    EXPECT_EQ(runRelay({"--listen", "0", "--target", "9", "--rtt"}, milliseconds(2000)), 2);
    EXPECT_EQ(runRelay({"--listen", "0", "--target", "70000"}, milliseconds(2000)), 2);
    EXPECT_EQ(runRelay({"--listen", "0", "--target", "9", "--timeout", "0"}, milliseconds(2000)), 2);
    auto started = Clock::now();
    EXPECT_EQ(runRelay({"--listen", "0", "--target", "9", "--timeout", "1"}, milliseconds(4000)), 0);
    EXPECT_GE(Clock::now() - started, milliseconds(900));
}
