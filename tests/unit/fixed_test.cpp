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

// Worked values: each case is the routine's result and the value it must have.
struct Case {
    Fixed got, expected;
};
void expectCases(std::initializer_list<Case> cases) {
    int n = 0;
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << "case " << n++;
}

// Straightforward versions written from the arithmetic rules, with every branch spelled
// out, to check the branch-free library routines over many inputs.
Fixed referenceMul(Fixed a, Fixed b) {
    const int64_t p = static_cast<int64_t>(a) * b;
    int64_t q = p / 65536;
    if (p % 65536 != 0 && p < 0) --q; // floor, not truncation
    return static_cast<Fixed>(static_cast<uint32_t>(q));
}

Fixed referenceReciprocal(Fixed x) {
    static const int64_t seeds[8] = {0x8000, 0x71C7, 0x6666, 0x5D17, 0x5555, 0x4EC4, 0x4924, 0x4444};
    if (x == 0) return 0x7FFFFFFF;
    const int64_t n = x < 0 ? -static_cast<int64_t>(x) : x;
    int z = 0;
    while (z < 32 && !(n & (int64_t(1) << (31 - z)))) ++z;
    const int i = 28 - z < 0 ? 0 : static_cast<int>((n >> (28 - z)) & 7);
    const int64_t s = 4 * seeds[i];
    int64_t y = z > 16 ? s * (int64_t(1) << (z - 16)) : s / (int64_t(1) << (16 - z));
    y = static_cast<Fixed>(static_cast<uint32_t>(y));
    const Fixed nf = static_cast<Fixed>(static_cast<uint32_t>(n));
    for (int step = 0; step < 2; ++step) {
        const Fixed t = referenceMul(static_cast<Fixed>(y), nf);
        y = referenceMul(static_cast<Fixed>(static_cast<uint32_t>(0x20000u - static_cast<uint32_t>(t))),
                         static_cast<Fixed>(y));
    }
    const uint32_t r = static_cast<uint32_t>(y);
    return static_cast<Fixed>(x < 0 ? 0u - r : r);
}

Fixed referenceDiv(Fixed a, Fixed b) {
    if (b >= -256 * ONE && b < 256 * ONE) return referenceMul(referenceReciprocal(b), a);
    return referenceMul(a >> 8, referenceReciprocal(b >> 8));
}

Fixed referenceSqrt(Fixed v) {
    Fixed y = static_cast<Fixed>(static_cast<uint32_t>(v) + 0x10000u) >> 1;
    for (int step = 0; step < 6; ++step)
        y = static_cast<Fixed>(static_cast<uint32_t>(referenceDiv(v, y)) + static_cast<uint32_t>(y)) >> 1;
    return y;
}

// Random values whose magnitudes are spread over every bit length, both signs.
Fixed spreadValue(std::mt19937& rng) {
    const int bits = static_cast<int>(rng() % 32);
    const uint32_t magnitude = bits == 0 ? 0 : (rng() >> (32 - bits)) | (1u << (bits - 1));
    const Fixed v = static_cast<Fixed>(magnitude);
    return (rng() & 1) ? static_cast<Fixed>(0u - magnitude) : v;
}

// The quarter sine table itself, as the library holds it.
#include "sinetable.inc"

// The smallest non-negative angle whose 4096-step position is k.
Fixed angleOfStep(int k) { return static_cast<Fixed>((static_cast<int64_t>(k) << 20) / 10430 + 1); }

} // namespace

TEST(FixedMulTest, RoundsTowardMinusInfinityAndWrapsLikeThe64BitProduct) {
    expectCases({{FixedMul(-1, 1), -1},
                 {FixedMul(1, 1), 0},
                 {FixedMul(F(3), F(-2)), F(-6)},
                 {FixedMul(ONE / 2, ONE / 2), ONE / 4},
                 {FixedMul(F(200), F(200)), static_cast<Fixed>(40000u << 16)},
                 {FixedMul(INT32_MIN, INT32_MIN), 0}, // 2^62 >> 16 = 2^46: low word zero
                 {FixedMul(INT32_MIN, -ONE), INT32_MIN}});
    std::mt19937 rng(1234);
    for (int i = 0; i < 100000; ++i) {
        const Fixed a = static_cast<Fixed>(rng());
        const Fixed b = i % 2 ? static_cast<Fixed>(rng()) : spreadValue(rng);
        ASSERT_EQ(FixedMul(a, b), referenceMul(a, b)) << a << " * " << b;
    }
}

TEST(FixedDivTest, TellingValues) {
    expectCases({{FixedReciprocal(ONE), ONE},
                 {FixedReciprocal(-ONE), -ONE},
                 {FixedReciprocal(F(2)), 0x8000},
                 {FixedReciprocal(F(3)), 0x5555},
                 {FixedReciprocal(0), 0x7FFFFFFF},
                 {FixedReciprocal(8), 0x20000000},
                 {FixedReciprocal(7), 0x19000000}, // seed 0 for tiny divisors: far from 9362.3
                 {FixedReciprocal(-7), -0x19000000},
                 {FixedDiv(ONE, F(3)), 0x5555},
                 {FixedDiv(F(10), F(4)), F(2.5)},
                 {FixedDiv(F(-7), F(2)), F(-3.5)},
                 {FixedDiv(ONE, F(300)), 218},
                 {FixedDiv(ONE, 0), 0x7FFFFFFF},
                 {FixedDiv(F(2), 0), FixedMul(0x7FFFFFFF, F(2))}});
}

TEST(FixedDivTest, LargeDivisorsAreScaledDown) {
    const Fixed q = FixedDiv(F(500), F(-300));
    EXPECT_NEAR(toDouble(q), -5.0 / 3.0, 1e-3);
    EXPECT_EQ(q, FixedMul(F(500) >> 8, FixedReciprocal(F(-300) >> 8)));
    EXPECT_NE(q, FixedMul(FixedReciprocal(F(-300)), F(500)));
    // The boundary: -256.0 still takes the direct path, 256.0 does not.
    EXPECT_EQ(FixedDiv(ONE, F(-256)), FixedMul(FixedReciprocal(F(-256)), ONE));
    EXPECT_EQ(FixedDiv(ONE, F(256)), FixedMul(ONE >> 8, FixedReciprocal(F(256) >> 8)));
}

TEST(FixedDivTest, ReciprocalAndQuotientMatchTheStepByStepRuleEverywhere) {
    std::mt19937 rng(99);
    for (int i = 0; i < 200000; ++i) {
        const Fixed a = spreadValue(rng);
        const Fixed b = spreadValue(rng);
        ASSERT_EQ(FixedReciprocal(b), referenceReciprocal(b)) << b;
        ASSERT_EQ(FixedDiv(a, b), referenceDiv(a, b)) << a << " / " << b;
    }
    for (Fixed x : {INT32_MIN, INT32_MAX}) ASSERT_EQ(FixedReciprocal(x), referenceReciprocal(x)) << x;
}

TEST(FixedSqrtTest, SixHeronSteps) {
    expectCases({{FixedSqrt(0), 0x200},
                 {FixedSqrt(ONE), ONE},
                 {FixedSqrt(ONE / 4), ONE / 2},
                 {FixedSqrt(F(4)), F(2) - 3},
                 {FixedSqrt(F(100)), F(10) - 50}});
    EXPECT_NEAR(toDouble(FixedSqrt(F(10000))), 116.74, 0.01);
    EXPECT_NEAR(toDouble(FixedSqrt(F(1000))), 31.637, 0.001);
    EXPECT_NEAR(toDouble(FixedSqrt(F(14400))), 152.19, 0.01);
}

TEST(FixedSqrtTest, StepByStepEverywhereAndCloseBelow400) {
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const Fixed v = static_cast<Fixed>(rng() % static_cast<uint32_t>(F(32766)));
        const Fixed y = referenceSqrt(v);
        ASSERT_EQ(FixedSqrt(v), y) << v;
        // Six steps converge here; what is left is the truncating reciprocal.
        if (v >= ONE / 16 && v <= F(400)) {
            ASSERT_NEAR(toDouble(y) / std::sqrt(toDouble(v)), 1.0, 3e-4) << v;
        }
    }
    // Negative and wrapping inputs follow the same steps.
    for (int i = 0; i < 20000; ++i) {
        const Fixed v = i % 2 ? -static_cast<Fixed>(rng() >> 1) : static_cast<Fixed>(0x7FFF0000u + rng() % 0xFFFFu);
        ASSERT_EQ(FixedSqrt(v), referenceSqrt(v)) << v;
    }
    for (Fixed v : {INT32_MIN, INT32_MAX, -1, 0x7FFEFFFF, 0x7FFF0000}) EXPECT_EQ(FixedSqrt(v), referenceSqrt(v)) << v;
}

TEST(FixedSineTest, TellingValues) {
    expectCases({{FixedSin(0), 0},
                 {FixedCos(0), 65534},
                 {FixedSin(102943), 65534},
                 {FixedCos(102943), 0},
                 {FixedCos(205887), -65534},
                 {FixedSin(-102943), -65534},
                 {FixedSin(ONE), 55131},
                 {FixedCos(ONE), 35430}});
}

TEST(FixedSineTest, QuarterTableRows) {
    const struct {
        int row;
        Fixed value;
    } rows[] = {{0, 0}, {1, 100}, {2, 201}, {5, 503}, {512, 46375}, {1022, 65534}, {1023, 65534}, {1024, 65535}};
    for (const auto& r : rows) EXPECT_EQ(sineTable[r.row], r.value) << r.row;
    for (int j = 0; j < 1023; ++j) {
        const long double exact = 65535.0L * std::sin(j * 3.14159265358979323846264338327950288L / 2046.0L);
        ASSERT_EQ(sineTable[j], static_cast<uint16_t>(std::floor(exact))) << j;
    }
    // Each 4096-step position k below a quarter turn reads row k directly; position 1024
    // already mirrors and reads row 1023, so row 1024 is never reached.
    for (int k = 0; k < 1024; ++k) ASSERT_EQ(FixedSin(angleOfStep(k)), sineTable[k]) << k;
    EXPECT_EQ(FixedSin(angleOfStep(1024)), 65534);
}

TEST(FixedSineTest, QuadrantsMirrorAndNegate) {
    for (int j = 0; j < 1024; ++j) {
        const Fixed row = FixedSin(angleOfStep(j));
        ASSERT_EQ(FixedSin(angleOfStep(2047 - j)), row) << j;
        ASSERT_EQ(FixedSin(angleOfStep(2048 + j)), -row) << j;
        ASSERT_EQ(FixedSin(angleOfStep(4095 - j)), -row) << j;
        ASSERT_EQ(FixedCos(angleOfStep(j)), FixedSin(angleOfStep(j + 1024))) << j;
    }
}

TEST(FixedSineTest, NegativeAnglesAddWholeTurns) {
    const Fixed twoPi = 411774;
    for (Fixed angle : {-1, -ONE, -twoPi, -twoPi - 1, F(-1000), INT32_MIN, INT32_MIN + 1}) {
        int64_t lifted = angle;
        while (lifted < 0) lifted += twoPi;
        ASSERT_EQ(FixedSin(angle), FixedSin(static_cast<Fixed>(lifted))) << angle;
        ASSERT_EQ(FixedCos(angle), FixedCos(static_cast<Fixed>(lifted))) << angle;
    }
    // Positive angles are not reduced: whole turns fall out of the wrapping product.
    EXPECT_NEAR(toDouble(FixedSin(F(100))), std::sin(100.0), 0.01);
}

TEST(Vec3Test, SubWrapsAndCrossMayWriteOverItsInput) {
    Vec3 out;
    EXPECT_EQ(&Vec3Sub({F(5), F(-3), 7}, {ONE, ONE, INT32_MIN}, out), &out);
    EXPECT_EQ(out, (Vec3{F(4), F(-4), static_cast<Fixed>(7u - 0x80000000u)}));
    EXPECT_EQ(Vec3Cross({ONE, 0, 0}, {0, ONE, 0}, out), (Vec3{0, 0, ONE}));
    Vec3 a = {F(2), F(3), F(4)};
    const Vec3 b = {F(-1), ONE / 2, F(5)};
    EXPECT_EQ(Vec3Cross(a, b, out), (Vec3{F(15) - F(2), F(-4) - F(10), F(1) + F(3)}));
    Vec3Cross(a, b, a);
    EXPECT_EQ(a, out);
}

TEST(Vec3Test, LengthAndNormalize) {
    // Normalizing divides each component as FixedDiv would and returns the new z.
    for (const Vec3 start : {Vec3{F(3), F(4), 0}, Vec3{F(-2), F(100), F(150)}, Vec3{0, 3, 0}}) {
        Vec3 v = start;
        const Fixed length = Vec3Length(v);
        const Fixed z = Vec3Normalize(v);
        EXPECT_EQ(z, v.z);
        EXPECT_EQ(v, (Vec3{FixedDiv(start.x, length), FixedDiv(start.y, length), FixedDiv(start.z, length)})) << start;
    }
    Vec3 v = {F(3), F(4), 0};
    EXPECT_EQ(Vec3Length(v), FixedSqrt(F(25)));
    Vec3Normalize(v);
    EXPECT_NEAR(toDouble(v.x), 0.6, 1e-4);
    EXPECT_NEAR(toDouble(v.y), 0.8, 1e-4);
    v = {0, 0, 0}; // divided by 512 raw units, not flagged
    EXPECT_EQ(Vec3Length(v), 0x200);
    EXPECT_EQ(Vec3Normalize(v), 0);
}

TEST(Matrix4Test, IdentityAndEveryPathGivesTheSumOfFixedProducts) {
    Matrix4 m;
    std::memset(&m, 0x5A, sizeof m);
    Matrix4Identity(m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? ONE : 0) << i;

    // Column-major: element (r, c) is the row r of left times the column c of right.
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        Matrix4 left, right;
        for (int i = 0; i < 16; ++i) {
            // Early rounds: values near the ends of the range, where products and sums wrap.
            const bool extreme = round < 50 && rng() % 3 == 0;
            left.m[i] = extreme ? (rng() & 1 ? INT32_MIN + static_cast<Fixed>(rng() % 4) : INT32_MAX)
                                : static_cast<Fixed>(rng());
            right.m[i] = round < 100 ? static_cast<Fixed>(rng()) : static_cast<Fixed>(rng() % (1u << 22)) - (1 << 21);
        }
        Matrix4 wide, portable;
        EXPECT_EQ(&Matrix4Multiply(left, right, wide), &wide);
        fixed_detail::Matrix4MultiplyPortable(left, right, portable);
        for (int i = 0; i < 16; ++i) {
            uint32_t sum = 0;
            for (int k = 0; k < 4; ++k) sum += static_cast<uint32_t>(referenceMul(left.m[4 * k + i % 4], right.m[4 * (i / 4) + k]));
            ASSERT_EQ(wide.m[i], static_cast<Fixed>(sum)) << i;
            ASSERT_EQ(portable.m[i], static_cast<Fixed>(sum)) << i;
        }
    }
}

TEST(Matrix4Test, OutMayBeEitherInput) {
    std::mt19937 rng(4);
    Matrix4 left, right;
    for (int i = 0; i < 16; ++i) {
        left.m[i] = static_cast<Fixed>(rng() % (1u << 22)) - (1 << 21);
        right.m[i] = static_cast<Fixed>(rng() % (1u << 22)) - (1 << 21);
    }
    Matrix4 separate, square;
    Matrix4Multiply(left, right, separate);
    Matrix4Multiply(left, left, square);
    for (auto multiply : {Matrix4Multiply, fixed_detail::Matrix4MultiplyPortable}) {
        Matrix4 asLeft = left, asRight = right, both = left;
        multiply(asLeft, right, asLeft);
        multiply(left, asRight, asRight);
        multiply(both, both, both);
        EXPECT_EQ(std::memcmp(&asLeft, &separate, sizeof separate), 0);
        EXPECT_EQ(std::memcmp(&asRight, &separate, sizeof separate), 0);
        EXPECT_EQ(std::memcmp(&both, &square, sizeof square), 0);
    }
}

TEST(PlaneTest, NormalizeDividesAllFourByTheLength) {
    Plane p = {F(2), 0, 0, F(2)};
    EXPECT_EQ(PlaneNormalize(p), ONE);
    EXPECT_EQ(p, (Plane{ONE, 0, 0, ONE}));
    Plane q = {F(3), 0, F(-4), F(10)};
    const Fixed length = FixedSqrt(F(25));
    const Fixed d = PlaneNormalize(q);
    EXPECT_EQ(d, q.d);
    EXPECT_EQ(q, (Plane{FixedDiv(F(3), length), 0, FixedDiv(F(-4), length), FixedDiv(F(10), length)}));
    EXPECT_NEAR(toDouble(q.d), 2.0, 1e-3);
}

TEST(FloatToFixedTest, TruncatesTowardZeroSaturatesAndNanIsZero) {
    const float inf = std::numeric_limits<float>::infinity();
    expectCases({{FloatToFixed(-0.5f), -32768},
                 {FloatToFixed(1.99999f), F(2) - 1},
                 {FloatToFixed(-0.00001f), 0},
                 {FloatToFixed(-1.99999f), -(F(2) - 1)},
                 {FloatToFixed(90.0f), 0x5A0000},
                 {FloatToFixed(-32768.0f), INT32_MIN},
                 {FloatToFixed(32768.0f), INT32_MAX},
                 {FloatToFixed(1e30f), INT32_MAX},
                 {FloatToFixed(inf), INT32_MAX},
                 {FloatToFixed(-32768.5f), INT32_MIN},
                 {FloatToFixed(-inf), INT32_MIN},
                 {FloatToFixed(std::numeric_limits<float>::quiet_NaN()), 0},
                 {FloatToFixed(32767.998046875f), 2147483520}}); // the largest float below 32768.0
}
