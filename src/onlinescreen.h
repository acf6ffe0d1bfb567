// What a window shows of an online session outside the race: "connecting", the lobby
// (who sits where, their ping, what the host may do) and why a session failed. The lines
// are made from the session's state alone, so that they can be checked without a window.
#pragma once
#include <string>
#include <vector>

#include "net/wire.h"

struct OnlineScreen {
    enum class Stage { Connecting, Lobby, Failed };
    Stage stage = Stage::Connecting;
    bool host = false;
    std::string hostAddress;                 // HOST:PORT, as joined
    std::vector<std::string> shareAddresses; // the host's own; empty: the port alone is shown
    uint16_t port = 0;
    net::LobbyMessage lobby;
    int localSeat = 0;
    // Host: 0 when Enter starts the race and the keys choose the computer bikes; otherwise
    // the race starts by itself with this many players.
    int startsWithPlayers = 0;
    // Host: the computer bikes and their level chosen in the lobby.
    int computerBikes = 0;
    int computerLevel = 0;
    std::string failure;
};

std::vector<std::string> onlineScreenLines(const OnlineScreen& screen);

// The humans in the lobby.
int lobbyHumans(const net::LobbyMessage& lobby);

// The machine's non-loopback IPv4 addresses, as text.
std::vector<std::string> localAddresses();

// A session's failure as the screen says it: the host's refusal by its reason ("full",
// "other model files: moto3.ase"), silence by the address that did not answer.
std::string failureLine(const std::string& why, const std::string& hostAddress);
