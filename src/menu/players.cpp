// The players screen: who plays the next race. Its numbers live in sharedState, where the
// race reads them at set-up; none of them goes to options.bin, whose 13 bytes are the
// handheld's.
#include <algorithm>
#include <string>

#include "driver.h"
#include "menu/menu.h"
#include "platform/message.h"
#include "sharedstate.h"

void Menu::changeChoice(int step) {
    SharedState& s = sharedState;
    auto round = [step](int32_t value, int32_t first, int32_t last) {
        const int32_t count = last - first + 1;
        return first + ((value - first + step) % count + count) % count;
    };
    switch (item) {
    case 0:
        s.players = round(s.players, 1, MAX_SEATS);
        if (s.versusOpponents > MAX_SEATS - s.players) s.versusOpponents = MAX_SEATS - s.players;
        // Back to one player is back to the design's race and the options' opponents.
        if (s.players == 1) s.versusOpponents = -1;
        break;
    case 1:
        // One player races the design's opponents, set on the options screen.
        if (s.players > 1)
            s.versusOpponents =
                round(computerBikes(s.players, s.versusOpponents, s.options.opponentChoice), 0, MAX_SEATS - s.players);
        break;
    case 2: changeLevel(step); break;
    default: break;
    }
}

void Menu::gamepadSeated(int player, bool on) {
    if (player < 1 || player > platform::MAX_PLAYERS) return;
    const int32_t bit = 1 << (player - 1);
    padsSeated = on ? padsSeated | bit : padsSeated & ~bit;
}

int32_t computerBikes(int32_t players, int32_t versusOpponents, int32_t opponentChoice) {
    const int32_t fromOptions = std::clamp(opponentChoice, 0, 2) + 1;
    // One player races the options' opponents, or as many as the command line asked for.
    if (players <= 1) return versusOpponents >= 1 ? std::min(versusOpponents, MAX_SEATS - 1) : fromOptions;
    const int32_t free = std::max(0, MAX_SEATS - players);
    return std::min(versusOpponents >= 0 ? versusOpponents : fromOptions, free);
}

std::vector<std::string> playersLines(int32_t players, int32_t versusOpponents, int32_t opponentChoice,
                                      int32_t aiLevel, int32_t pads) {
    std::string bikes = "computer bikes: " + std::to_string(computerBikes(players, versusOpponents, opponentChoice));
    if (players <= 1 && versusOpponents < 1) bikes += " (options)";
    std::string seated;
    for (int player = 1; player <= platform::MAX_PLAYERS; ++player)
        if (pads & (1 << (player - 1))) seated += " " + std::to_string(player);
    // No pad, no line: a window system that reports no pads says nothing false.
    return {"players: " + std::to_string(players), bikes, std::string("level: ") + levelName(aiLevel), "start",
            seated.empty() ? std::string() : "pads:" + seated, "left, right: change"};
}
