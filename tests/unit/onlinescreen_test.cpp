#include <gtest/gtest.h>

#include <algorithm>

#include "../net/toygame.h"
#include "net/peer.h"
#include "net/simlink.h"
#include "onlinescreen.h"

namespace {

void seatHuman(net::LobbyMessage& lobby, int seat, const char* name, uint16_t ping) {
    lobby.seats[seat].kind = net::SeatKind::Human;
    lobby.seats[seat].name.set(name);
    lobby.seats[seat].pingMs = ping;
    lobby.seatCount = static_cast<uint8_t>(std::max<int>(lobby.seatCount, seat + 1));
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(OnlineScreen, ConnectingAndFailureNameTheirCause) {
    OnlineScreen screen;
    screen.hostAddress = "127.0.0.1:28282";
    EXPECT_EQ(onlineScreenLines(screen).front(), "connecting to 127.0.0.1:28282");
    screen.stage = OnlineScreen::Stage::Failed;
    screen.failure = "other model files: moto3.ase";
    EXPECT_EQ(onlineScreenLines(screen), (std::vector<std::string>{"other model files: moto3.ase", "press a key"}));
}

TEST(OnlineScreen, HostLobbySeatsHumansThenComputersThenOpen) {
    OnlineScreen screen;
    screen.stage = OnlineScreen::Stage::Lobby;
    screen.host = true;
    screen.port = 28282;
    screen.shareAddresses = {"127.0.0.1", "::1"};
    seatHuman(screen.lobby, 0, "ann", 0);
    seatHuman(screen.lobby, 1, "bob", 42);
    screen.computerBikes = 1;
    screen.computerLevel = 0;
    const std::vector<std::string> lines = onlineScreenLines(screen);
    EXPECT_EQ(lines[0], "online race");
    EXPECT_EQ(lines[1], "share: 127.0.0.1:28282");
    EXPECT_EQ(lines[2], "share: ::1:28282");
    EXPECT_EQ(lines[3], "1. ann (you)");
    EXPECT_EQ(lines[4], "2. bob  42 ms");
    EXPECT_EQ(lines[5].rfind("3. computer (", 0), 0u) << lines[5];
    EXPECT_EQ(lines[6], "4. open");
    EXPECT_TRUE(has(lines, "Enter: start"));
    EXPECT_TRUE(has(lines, "Escape: leave"));

    // More computer bikes than seats left are not shown; alone, the host cannot start.
    screen.computerBikes = 9;
    screen.shareAddresses.clear();
    screen.lobby = {};
    seatHuman(screen.lobby, 0, "ann", 0);
    const std::vector<std::string> alone = onlineScreenLines(screen);
    EXPECT_EQ(alone[1], "share: port 28282");
    EXPECT_EQ(std::count_if(alone.begin(), alone.end(),
                            [](const std::string& l) { return l.find("computer (") != std::string::npos; }),
              3);
    EXPECT_FALSE(has(alone, "Enter: start"));

    // A host given its players starts by itself: no keys to offer.
    screen.startsWithPlayers = 3;
    const std::vector<std::string> given = onlineScreenLines(screen);
    EXPECT_TRUE(has(given, "starts with 3 players"));
    EXPECT_FALSE(has(given, "left, right: computer bikes"));
}

TEST(OnlineScreen, JoinerSeesTheHostsSeatsAndNoStart) {
    OnlineScreen screen;
    screen.stage = OnlineScreen::Stage::Lobby;
    screen.localSeat = 1;
    seatHuman(screen.lobby, 0, "ann", 0);
    seatHuman(screen.lobby, 2, "cy", 80);
    screen.lobby.seats[1].kind = net::SeatKind::Human;
    screen.lobby.seats[1].name.set("me");
    const std::vector<std::string> lines = onlineScreenLines(screen);
    EXPECT_EQ(lines[1], "1. ann (host)");
    EXPECT_EQ(lines[2], "2. me (you)");
    EXPECT_EQ(lines[3], "3. cy  80 ms");
    EXPECT_EQ(lines[4], "4. open");
    EXPECT_FALSE(has(lines, "Enter: start"));
    EXPECT_EQ(lobbyHumans(screen.lobby), 3);
}

// The host's computer bikes travel in the lobby it broadcasts: a joining machine shows them
// as soon as the host changes them, and the host's own lines count them once.
TEST(OnlineScreen, JoinerSeesTheHostsComputerBikes) {
    net::SimNetwork network(5);
    network.setFaults({20, 0, 0.0, 0.0, 0.0});
    net::Transport* hostLink = network.addEndpoint();
    net::Transport* joinLink = network.addEndpoint();
    toy::ToyGame hostGame, joinGame;
    net::PeerConfig config;
    config.host = true;
    config.playerName = "ann";
    config.gameVersion = "1.0.0";
    net::NetPeer host(*hostLink, hostGame, config);
    config.host = false;
    config.playerName = "bob";
    net::NetPeer joiner(*joinLink, joinGame, config);
    network.connect(joinLink, hostLink);
    // The virtual clock in 4 ms steps, for at most `ms`: well under the lobby's own
    // once-a-second broadcast, so what arrives was sent at the change.
    auto runFor = [&](int ms, auto until) {
        for (int t = 0; t < ms && !until(); t += 4) {
            network.advance(4);
            host.poll();
            joiner.poll();
        }
        return until();
    };
    ASSERT_TRUE(runFor(3000, [&] { return joiner.state() == net::PeerState::Lobby && lobbyHumans(joiner.lobby()) == 2; }));

    OnlineScreen hostScreen;
    hostScreen.stage = OnlineScreen::Stage::Lobby;
    hostScreen.host = true;
    hostScreen.port = 28282;
    hostScreen.lobby = host.lobby();
    hostScreen.computerBikes = 2;
    hostScreen.computerLevel = 2;
    const std::vector<std::string> hostLines = onlineScreenLines(hostScreen);

    host.setComputerBikes(2, 2);
    ASSERT_TRUE(runFor(100, [&] { return joiner.lobby().seatCount == 4; }))
        << "the change waited for the lobby's next broadcast";
    EXPECT_EQ(joiner.lobby().seats[3].kind, net::SeatKind::Computer);
    EXPECT_EQ(joiner.lobby().seats[2].kind, net::SeatKind::Computer);
    EXPECT_EQ(joiner.lobby().seats[2].level, 2);
    EXPECT_EQ(lobbyHumans(joiner.lobby()), 2);

    OnlineScreen joinScreen;
    joinScreen.stage = OnlineScreen::Stage::Lobby;
    joinScreen.localSeat = joiner.localSeat();
    joinScreen.lobby = joiner.lobby();
    const std::vector<std::string> joinLines = onlineScreenLines(joinScreen);
    EXPECT_EQ(joinLines[1], "1. ann (host)");
    EXPECT_EQ(joinLines[2], "2. bob (you)");
    EXPECT_EQ(joinLines[3], "3. computer (wary)");
    EXPECT_EQ(joinLines[4], "4. computer (wary)");

    // The host's lobby carries them too now; its lines are what they were (but for the
    // ping, measured again meanwhile).
    const uint16_t ping = hostScreen.lobby.seats[1].pingMs;
    hostScreen.lobby = host.lobby();
    hostScreen.lobby.seats[1].pingMs = ping;
    EXPECT_EQ(onlineScreenLines(hostScreen), hostLines);

    // One bike fewer, another level: heard at once as well; the freed seat is open again.
    host.setComputerBikes(1, 0);
    ASSERT_TRUE(runFor(100, [&] { return joiner.lobby().seatCount == 3; }));
    joinScreen.lobby = joiner.lobby();
    const std::vector<std::string> fewer = onlineScreenLines(joinScreen);
    EXPECT_EQ(fewer[3], "3. computer (classic)");
    EXPECT_EQ(fewer[4], "4. open");
    hostScreen.lobby = host.lobby();
    hostScreen.computerBikes = 1;
    hostScreen.computerLevel = 0;
    const std::vector<std::string> hostFewer = onlineScreenLines(hostScreen);
    EXPECT_EQ(hostFewer[4], "3. computer (classic)");
    EXPECT_EQ(hostFewer[5], "4. open");
}

TEST(OnlineScreen, FailuresReadAsTheirReason) {
    const std::string at = "127.0.0.1:9";
    EXPECT_EQ(failureLine("no answer from the host", at), "no answer from 127.0.0.1:9");
    EXPECT_EQ(failureLine("the host refused: full", at), "full");
    EXPECT_EQ(failureLine("the host refused: other model files (moto3.ase)", at), "other model files: moto3.ase");
    EXPECT_EQ(failureLine("the host refused: another version (0.9)", at), "another version: 0.9");
    EXPECT_EQ(failureLine("the host refused: refused (racing)", at), "refused: racing");
    EXPECT_EQ(failureLine("the host left", at), "the host left");
}
