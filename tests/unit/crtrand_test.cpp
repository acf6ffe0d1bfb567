// The game's generator is the handheld C runtime's, whatever C library the game is built on.
#include <gtest/gtest.h>

#include <vector>

#include "crtrand.h"

TEST(CrtRand, TheHandheldRuntimesSequence) {
    auto firstFive = [] {
        std::vector<int> values;
        for (int i = 0; i < 5; ++i) values.push_back(crt::rand());
        return values;
    };
    crt::srand(1);
    EXPECT_EQ(firstFive(), (std::vector<int>{41, 18467, 6334, 26500, 19169}));
    // A wall's seed is a tick count: 123457 ms into the run.
    crt::srand(123457);
    EXPECT_EQ(crt::rand(), 9981);
    EXPECT_EQ(crt::rand(), 798);
    EXPECT_EQ(crt::rand(), 28014);
    // The whole 32-bit state takes part: seeds that differ only above bit 16 differ.
    crt::srand(0x10001);
    const int a = crt::rand();
    crt::srand(0x20001);
    EXPECT_NE(a, crt::rand());
    for (int i = 0; i < 1000; ++i) {
        const int v = crt::rand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, crt::RAND_LIMIT);
    }
}
