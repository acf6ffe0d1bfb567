#include <gtest/gtest.h>

#include <algorithm>

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

TEST(OnlineScreen, FailuresReadAsTheirReason) {
    const std::string at = "127.0.0.1:9";
    EXPECT_EQ(failureLine("no answer from the host", at), "no answer from 127.0.0.1:9");
    EXPECT_EQ(failureLine("the host refused: full", at), "full");
    EXPECT_EQ(failureLine("the host refused: other model files (moto3.ase)", at), "other model files: moto3.ase");
    EXPECT_EQ(failureLine("the host refused: another version (0.9)", at), "another version: 0.9");
    EXPECT_EQ(failureLine("the host refused: refused (racing)", at), "refused: racing");
    EXPECT_EQ(failureLine("the host left", at), "the host left");
}
