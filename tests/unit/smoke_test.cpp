#include <gtest/gtest.h>
#include "fixed.h"
TEST(FixedSmoke, OneTimesOne) { EXPECT_EQ(FixedMul(FIXED_ONE, FIXED_ONE), FIXED_ONE); }
