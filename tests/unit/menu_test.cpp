#include <gtest/gtest.h>

#include <string>

#include "menu/menu.h"

TEST(MenuWords, EveryRowNamesItsValuesAndMarksTheRest) {
    EXPECT_EQ(std::string(optionWord(0, 0)), "one");
    EXPECT_EQ(std::string(optionWord(0, 1)), "two");
    EXPECT_EQ(std::string(optionWord(0, 2)), "three");
    for (int row : {1, 2}) {
        EXPECT_EQ(std::string(optionWord(row, 0)), "low");
        EXPECT_EQ(std::string(optionWord(row, 1)), "medium");
        EXPECT_EQ(std::string(optionWord(row, 2)), "high");
    }
    EXPECT_EQ(std::string(optionWord(3, 0)), "off");
    EXPECT_EQ(std::string(optionWord(3, 1)), "on");
    // Values no row has a word for, and no such row.
    EXPECT_EQ(std::string(optionWord(3, 2)), "?");
    EXPECT_EQ(std::string(optionWord(0, 3)), "?");
    EXPECT_EQ(std::string(optionWord(1, -1)), "?");
    EXPECT_EQ(std::string(optionWord(2, INT32_MIN)), "?");
    EXPECT_EQ(std::string(optionWord(4, 0)), "?");
}

TEST(MenuPointer, StepsDownFromTheTopItemToTheLast) {
    // Main menu: 32 pixels apart; options: 24.
    EXPECT_EQ(pointerOffset(0, 3), 0);
    EXPECT_EQ(pointerOffset(1, 3), -32 * 0x10000);
    EXPECT_EQ(pointerOffset(2, 3), -64 * 0x10000);
    EXPECT_EQ(pointerOffset(3, 3), -96 * 0x10000);
    for (int item = 0; item <= 4; ++item) EXPECT_EQ(pointerOffset(item, 4), -24 * item * 0x10000);
}
