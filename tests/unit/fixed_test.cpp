#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "fixed.h"
#include "testplatform.h"

namespace {

constexpr Fixed ONE = FIXED_ONE;
double toDouble(Fixed v) { return v / 65536.0; }

struct Case {
    Fixed got, expected;
};
void expectCases(std::initializer_list<Case> cases) {
    int n = 0;
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << "case " << n++;
}

// The 64-bit product floored to 16.16 and wrapped to 32 bits.
Fixed referenceMul(Fixed a, Fixed b) {
    const int64_t p = static_cast<int64_t>(a) * b;
    int64_t q = p / 65536;
    if (p % 65536 != 0 && p < 0) --q;
    return static_cast<Fixed>(static_cast<uint32_t>(q));
}

#include "sinetable.inc"

// The smallest non-negative angle whose 4096-step position is k.
Fixed angleOfStep(int k) { return static_cast<Fixed>((static_cast<int64_t>(k) << 20) / 10430 + 1); }

} // namespace

TEST(FixedMulTest, RoundsTowardMinusInfinityAndWrapsLikeThe64BitProduct) {
    expectCases({{FixedMul(-1, 1), -1},
                 {FixedMul(1, 1), 0},
                 {FixedMul(F(3), F(-2)), F(-6)},
                 {FixedMul(F(200), F(200)), static_cast<Fixed>(40000u << 16)},
                 {FixedMul(INT32_MIN, INT32_MIN), 0},
                 {FixedMul(INT32_MIN, -ONE), INT32_MIN}});
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; ++i) {
        const Fixed a = static_cast<Fixed>(rng()), b = static_cast<Fixed>(rng() >> (rng() % 32));
        ASSERT_EQ(FixedMul(a, b), referenceMul(a, b)) << a << " * " << b;
    }
}

TEST(FixedDivTest, TellingValues) {
    expectCases({{FixedReciprocal(ONE), ONE},
                 {FixedReciprocal(-ONE), -ONE},
                 {FixedReciprocal(F(3)), 0x5555},
                 {FixedReciprocal(0), 0x7FFFFFFF},
                 {FixedReciprocal(8), 0x20000000},
                 {FixedReciprocal(7), 0x19000000}, // seed 0 for tiny divisors: far from 9362.3
                 {FixedReciprocal(-7), -0x19000000},
                 {FixedDiv(F(10), F(4)), F(2.5)},
                 {FixedDiv(F(-7), F(2)), F(-3.5)},
                 {FixedDiv(ONE, F(300)), 218},
                 {FixedDiv(F(2), 0), FixedMul(0x7FFFFFFF, F(2))}});
    // Divisors outside [-256, 256) are scaled down by 8 bits first.
    const Fixed q = FixedDiv(F(500), F(-300));
    EXPECT_NEAR(toDouble(q), -5.0 / 3.0, 1e-3);
    EXPECT_EQ(q, FixedMul(F(500) >> 8, FixedReciprocal(F(-300) >> 8)));
    EXPECT_EQ(FixedDiv(ONE, F(-256)), FixedMul(FixedReciprocal(F(-256)), ONE));
    EXPECT_EQ(FixedDiv(ONE, F(256)), FixedMul(ONE >> 8, FixedReciprocal(F(256) >> 8)));
}

TEST(FixedSqrtTest, SixHeronSteps) {
    expectCases({{FixedSqrt(0), 0x200},
                 {FixedSqrt(ONE), ONE},
                 {FixedSqrt(ONE / 4), ONE / 2},
                 {FixedSqrt(F(4)), F(2) - 3},
                 {FixedSqrt(F(100)), F(10) - 50}});
    // Six steps are not enough for large values.
    EXPECT_NEAR(toDouble(FixedSqrt(F(10000))), 116.74, 0.01);
    EXPECT_NEAR(toDouble(FixedSqrt(F(14400))), 152.19, 0.01);
}

TEST(FixedSineTest, TableAndQuadrants) {
    expectCases({{FixedSin(0), 0},
                 {FixedCos(0), 65534},
                 {FixedSin(102943), 65534},
                 {FixedCos(205887), -65534},
                 {FixedSin(-102943), -65534},
                 {FixedSin(ONE), 55131},
                 {FixedCos(ONE), 35430}});
    for (int j = 0; j < 1023; ++j) {
        const long double exact = 65535.0L * std::sin(j * 3.14159265358979323846264338327950288L / 2046.0L);
        ASSERT_EQ(sineTable[j], static_cast<uint16_t>(std::floor(exact))) << j;
    }
    EXPECT_EQ(sineTable[1024], 65535);
    // Position k reads row k; position 1024 already mirrors, so row 1024 is never reached.
    for (int j = 0; j < 1024; ++j) {
        const Fixed row = FixedSin(angleOfStep(j));
        ASSERT_EQ(row, sineTable[j]) << j;
        ASSERT_EQ(FixedSin(angleOfStep(2047 - j)), row) << j;
        ASSERT_EQ(FixedSin(angleOfStep(2048 + j)), -row) << j;
        ASSERT_EQ(FixedCos(angleOfStep(j)), FixedSin(angleOfStep(j + 1024))) << j;
    }
}

TEST(FixedSineTest, NegativeAnglesAddWholeTurns) {
    const Fixed twoPi = 411774;
    for (Fixed angle : {-1, -twoPi - 1, INT32_MIN}) {
        int64_t lifted = angle;
        while (lifted < 0) lifted += twoPi;
        ASSERT_EQ(FixedSin(angle), FixedSin(static_cast<Fixed>(lifted))) << angle;
        ASSERT_EQ(FixedCos(angle), FixedCos(static_cast<Fixed>(lifted))) << angle;
    }
    EXPECT_NEAR(toDouble(FixedSin(F(100))), std::sin(100.0), 0.01);
}

TEST(Vec3Test, SubCrossLengthAndNormalize) {
    Vec3 out;
    EXPECT_EQ(&Vec3Sub({F(5), F(-3), 7}, {ONE, ONE, INT32_MIN}, out), &out);
    EXPECT_EQ(out, (Vec3{F(4), F(-4), static_cast<Fixed>(7u - 0x80000000u)}));
    Vec3 a = {F(2), F(3), F(4)};
    EXPECT_EQ(Vec3Cross(a, {F(-1), ONE / 2, F(5)}, out), (Vec3{F(13), F(-14), F(4)}));
    Vec3Cross(a, {F(-1), ONE / 2, F(5)}, a); // may write over its input
    EXPECT_EQ(a, out);

    Vec3 v = {F(-2), F(100), F(150)};
    const Fixed length = Vec3Length(v);
    EXPECT_EQ(Vec3Normalize(v), v.z);
    EXPECT_EQ(v, (Vec3{FixedDiv(F(-2), length), FixedDiv(F(100), length), FixedDiv(F(150), length)}));
    v = {0, 0, 0}; // divided by 512 raw units, not flagged
    EXPECT_EQ(Vec3Length(v), 0x200);
    EXPECT_EQ(Vec3Normalize(v), 0);
}

TEST(Matrix4Test, EveryPathGivesTheWrappedSumOfFixedProductsAndMayWriteOverItsInputs) {
    Matrix4 m;
    Matrix4Identity(m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? ONE : 0) << i;
    std::mt19937 rng(3);
    for (int round = 0; round < 50; ++round) {
        Matrix4 left, right;
        for (int i = 0; i < 16; ++i) {
            left.m[i] = round % 2 && rng() % 3 == 0 ? INT32_MIN : static_cast<Fixed>(rng());
            right.m[i] = static_cast<Fixed>(rng());
        }
        Matrix4 wide, portable, asLeft = left, both = left;
        EXPECT_EQ(&Matrix4Multiply(left, right, wide), &wide);
        fixed_detail::Matrix4MultiplyPortable(left, right, portable);
        for (int i = 0; i < 16; ++i) {
            uint32_t sum = 0;
            for (int k = 0; k < 4; ++k) sum += static_cast<uint32_t>(referenceMul(left.m[4 * k + i % 4], right.m[4 * (i / 4) + k]));
            ASSERT_EQ(wide.m[i], static_cast<Fixed>(sum)) << i;
            ASSERT_EQ(portable.m[i], static_cast<Fixed>(sum)) << i;
        }
        Matrix4Multiply(asLeft, right, asLeft);
        EXPECT_EQ(std::memcmp(&asLeft, &wide, sizeof wide), 0);
        Matrix4 square;
        Matrix4Multiply(left, left, square);
        fixed_detail::Matrix4MultiplyPortable(both, both, both);
        EXPECT_EQ(std::memcmp(&both, &square, sizeof square), 0);
    }
}

TEST(PlaneTest, NormalizeDividesAllFourByTheLength) {
    Plane q = {F(3), 0, F(-4), F(10)};
    const Fixed length = FixedSqrt(F(25));
    EXPECT_EQ(PlaneNormalize(q), q.d);
    EXPECT_EQ(q, (Plane{FixedDiv(F(3), length), 0, FixedDiv(F(-4), length), FixedDiv(F(10), length)}));
}

TEST(FloatToFixedTest, TruncatesTowardZeroSaturatesAndNanIsZero) {
    const float inf = std::numeric_limits<float>::infinity();
    expectCases({{FloatToFixed(-0.5f), -32768},
                 {FloatToFixed(1.99999f), F(2) - 1},
                 {FloatToFixed(-1.99999f), -(F(2) - 1)},
                 {FloatToFixed(-32768.0f), INT32_MIN},
                 {FloatToFixed(32768.0f), INT32_MAX},
                 {FloatToFixed(-inf), INT32_MIN},
                 {FloatToFixed(std::numeric_limits<float>::quiet_NaN()), 0},
                 {FloatToFixed(32767.998046875f), 2147483520}});
}
