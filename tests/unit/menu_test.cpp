// The options menu's words and the pointer's place.
#include <gtest/gtest.h>

#include <string>

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
