// The options menu's words and the pointer's place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "menu/menu.h"

TEST(MenuWords, EveryRowNamesItsValuesAndMarksTheRest) {
    const struct {
        int row, value;
        const char* word;
    } cases[] = {{0, 2, "three"}, {1, 0, "low"}, {2, 1, "medium"}, {3, 1, "on"},
                 {3, 2, "?"},     {1, -1, "?"},  {4, 0, "?"}};
    for (const auto& c : cases) EXPECT_EQ(std::string(optionWord(c.row, c.value)), c.word) << c.row << " " << c.value;
    EXPECT_EQ(pointerOffset(3, 3), -96 * 0x10000);
    EXPECT_EQ(pointerOffset(4, 4), -96 * 0x10000);
}

TEST(PlayersScreen, ComputerBikesFillTheFreeSeatsOnly) {
    const struct {
        int32_t players, versusOpponents, opponentChoice, bikes;
    } cases[] = {
        {1, -1, 0, 1}, {1, -1, 2, 3}, // one player: the options' opponents,
        {1, 2, 0, 2},  {1, 0, 1, 2},  // or the command line's (--opponents 1 to 3)
        {1, 0, 7, 3},                 // a damaged options file still gives one to three
        {2, -1, 0, 1}, {2, -1, 2, 2}, // several: the options' count capped to the free seats
        {3, -1, 2, 1}, {4, -1, 2, 0},
        {2, 0, 2, 0},  {3, 1, 0, 1},  // chosen on the players screen
        {3, 2, 0, 1},  {4, 3, 0, 0},  // never more than the seats left
    };
    for (const auto& c : cases)
        EXPECT_EQ(computerBikes(c.players, c.versusOpponents, c.opponentChoice), c.bikes)
            << c.players << " " << c.versusOpponents << " " << c.opponentChoice;
}

TEST(PlayersScreen, RowsNameTheNumbersTheLevelAndTheSeatedPads) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(playersLines(2, 0, 1, 2, 0b0101),
              (Lines{"players: 2", "computer bikes: 0", "level: wary", "start", "pads: 1 3", "left, right: change"}));
    const Lines one = playersLines(1, -1, 1, 0, 0);
    EXPECT_EQ(one[1], "computer bikes: 2 (options)");
    EXPECT_EQ(playersLines(1, 3, 1, 0, 0)[1], "computer bikes: 3") << "as the command line chose";
    EXPECT_EQ(one[2], "level: classic");
    EXPECT_EQ(one[4], "") << "no pad, no line";
    EXPECT_EQ(playersLines(4, -1, 0, 3, 0b11111010)[4], "pads: 2 4") << "only four seats";
}
