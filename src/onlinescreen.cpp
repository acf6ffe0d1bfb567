#include "onlinescreen.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

#include "driver.h"

namespace {

int seatsOfKind(const net::LobbyMessage& lobby, net::SeatKind kind) {
    int count = 0;
    for (int s = 0; s < lobby.seatCount && s < net::kMaxSeats; ++s)
        if (lobby.seats[s].kind == kind) ++count;
    return count;
}

} // namespace

int lobbyHumans(const net::LobbyMessage& lobby) { return seatsOfKind(lobby, net::SeatKind::Human); }

namespace {

std::string computerLine(int level) { return std::string("computer (") + levelName(level) + ")"; }

std::string seatLine(const OnlineScreen& screen, int seat, int& computersLeft) {
    const std::string number = std::to_string(seat + 1) + ". ";
    const net::LobbySeat* taken = seat < screen.lobby.seatCount ? &screen.lobby.seats[seat] : nullptr;
    if (taken && taken->kind == net::SeatKind::Human) {
        std::string line = number + std::string(taken->name.view());
        if (seat == screen.localSeat) return line + " (you)";
        // The host's seat has no ping of its own: every ping is measured to the host.
        if (seat == 0) return line + " (host)";
        return line + "  " + std::to_string(taken->pingMs) + " ms";
    }
    if (taken && taken->kind == net::SeatKind::Computer) return number + computerLine(taken->level);
    // The host's computer bikes take the seats the humans left.
    if (screen.host && computersLeft > 0) {
        --computersLeft;
        return number + computerLine(screen.computerLevel);
    }
    return number + "open";
}

} // namespace

std::vector<std::string> onlineScreenLines(const OnlineScreen& screen) {
    switch (screen.stage) {
    case OnlineScreen::Stage::Connecting: return {"connecting to " + screen.hostAddress, "Escape: leave"};
    case OnlineScreen::Stage::Failed: return {screen.failure, "press a key"};
    case OnlineScreen::Stage::Lobby: break;
    }
    std::vector<std::string> lines = {"online race"};
    if (screen.host) {
        const std::string port = std::to_string(screen.port);
        if (screen.shareAddresses.empty()) lines.push_back("share: port " + port);
        for (const std::string& address : screen.shareAddresses) lines.push_back("share: " + address + ":" + port);
    }
    // The host's choice not yet in the lobby's seats: the message it broadcast carries them
    // already, and they are not to be shown twice.
    int computersLeft = std::clamp(screen.computerBikes, 0, net::kMaxSeats - lobbyHumans(screen.lobby)) -
                        seatsOfKind(screen.lobby, net::SeatKind::Computer);
    for (int seat = 0; seat < net::kMaxSeats; ++seat) lines.push_back(seatLine(screen, seat, computersLeft));
    if (screen.host && screen.startsWithPlayers > 0) {
        lines.push_back("starts with " + std::to_string(screen.startsWithPlayers) + " players");
    } else if (screen.host) {
        lines.push_back(lobbyHumans(screen.lobby) >= 2 ? "Enter: start" : "waiting for players");
        lines.push_back("left, right: computer bikes");
        lines.push_back("up, down: their level");
    } else {
        lines.push_back("the host starts the race");
    }
    lines.push_back("Escape: leave");
    return lines;
}

std::vector<std::string> localAddresses() {
    std::vector<std::string> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return found;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK)) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) &&
            std::find(found.begin(), found.end(), text) == found.end())
            found.emplace_back(text);
    }
    freeifaddrs(list);
    return found;
}

std::string failureLine(const std::string& why, const std::string& hostAddress) {
    if (why == "no answer from the host") return "no answer from " + hostAddress;
    static const std::string refused = "the host refused: ";
    if (why.rfind(refused, 0) != 0) return why;
    // "the host refused: REASON (DETAIL)" reads on screen as "REASON: DETAIL".
    std::string line = why.substr(refused.size());
    const size_t open = line.find(" (");
    if (open != std::string::npos && line.back() == ')')
        line = line.substr(0, open) + ": " + line.substr(open + 2, line.size() - open - 3);
    return line;
}
