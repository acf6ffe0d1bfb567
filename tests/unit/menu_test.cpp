// The options menu's words and the pointer's place.
#include <gtest/gtest.h>

#include <string>

#include "menu/menu.h"

TEST(MenuWords, EveryRowNamesItsValuesAndMarksTheRest) {
    const struct {
        int row, value;
        const char* word;
    } cases[] = {{0, 0, "one"},    {0, 1, "two"},     {0, 2, "three"}, {1, 0, "low"}, {1, 1, "medium"},
                 {1, 2, "high"},   {2, 0, "low"},     {2, 1, "medium"}, {2, 2, "high"}, {3, 0, "off"},
                 {3, 1, "on"},
                 // Values no row has a word for, and no such row.
                 {3, 2, "?"}, {0, 3, "?"}, {1, -1, "?"}, {2, INT32_MIN, "?"}, {4, 0, "?"}};
    for (const auto& c : cases) EXPECT_EQ(std::string(optionWord(c.row, c.value)), c.word) << c.row << " " << c.value;
}

TEST(MenuPointer, StepsDownFromTheTopItemToTheLast) {
    // Main menu (three items): 32 pixels apart; options (four): 24.
    for (int item = 0; item <= 3; ++item) EXPECT_EQ(pointerOffset(item, 3), -32 * item * 0x10000) << item;
    for (int item = 0; item <= 4; ++item) EXPECT_EQ(pointerOffset(item, 4), -24 * item * 0x10000) << item;
}
