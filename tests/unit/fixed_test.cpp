#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "fixed.h"

namespace {

constexpr Fixed ONE = 0x10000;
constexpr Fixed fx(int whole) { return whole * ONE; }
double toDouble(Fixed v) { return v / 65536.0; }

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

TEST(FixedMulTest, RoundsTowardMinusInfinity) {
    EXPECT_EQ(FixedMul(-1, 1), -1);
    EXPECT_EQ(FixedMul(1, 1), 0);
    EXPECT_EQ(FixedMul(fx(3), fx(-2)), fx(-6));
    EXPECT_EQ(FixedMul(ONE / 2, ONE / 2), ONE / 4);
}

TEST(FixedMulTest, WrapsLikeThe64BitProduct) {
    EXPECT_EQ(FixedMul(fx(200), fx(200)), static_cast<Fixed>(static_cast<uint32_t>(40000u << 16)));
    EXPECT_EQ(FixedMul(INT32_MIN, INT32_MIN), 0); // 2^62 >> 16 = 2^46: low word zero
    EXPECT_EQ(FixedMul(INT32_MIN, -ONE), INT32_MIN);
    std::mt19937 rng(1234);
    for (int i = 0; i < 100000; ++i) {
        const Fixed a = static_cast<Fixed>(rng());
        const Fixed b = i % 2 ? static_cast<Fixed>(rng()) : spreadValue(rng);
        ASSERT_EQ(FixedMul(a, b), referenceMul(a, b)) << a << " * " << b;
    }
}

TEST(FixedReciprocalTest, TellingValues) {
    EXPECT_EQ(FixedReciprocal(ONE), ONE);
    EXPECT_EQ(FixedReciprocal(-ONE), -ONE);
    EXPECT_EQ(FixedReciprocal(fx(2)), 0x8000);
    EXPECT_EQ(FixedReciprocal(fx(3)), 0x5555);
    EXPECT_EQ(FixedReciprocal(0), 0x7FFFFFFF);
    EXPECT_EQ(FixedReciprocal(8), 0x20000000);
    EXPECT_EQ(FixedReciprocal(7), 0x19000000); // seed 0 for tiny divisors: far from 9362.3
    EXPECT_EQ(FixedReciprocal(-7), -0x19000000);
}

TEST(FixedReciprocalTest, MatchesTheStepByStepRuleEverywhere) {
    std::mt19937 rng(99);
    for (int i = 0; i < 200000; ++i) {
        const Fixed x = spreadValue(rng);
        ASSERT_EQ(FixedReciprocal(x), referenceReciprocal(x)) << x;
    }
    ASSERT_EQ(FixedReciprocal(INT32_MIN), referenceReciprocal(INT32_MIN));
    ASSERT_EQ(FixedReciprocal(INT32_MAX), referenceReciprocal(INT32_MAX));
}

TEST(FixedDivTest, TellingValues) {
    EXPECT_EQ(FixedDiv(ONE, fx(3)), 0x5555);
    EXPECT_EQ(FixedDiv(fx(10), fx(4)), ONE * 5 / 2);
    EXPECT_EQ(FixedDiv(fx(-7), fx(2)), -ONE * 7 / 2);
    EXPECT_EQ(FixedDiv(ONE, fx(300)), 218);
    EXPECT_EQ(FixedDiv(ONE, 0), 0x7FFFFFFF);
    EXPECT_EQ(FixedDiv(fx(2), 0), FixedMul(0x7FFFFFFF, fx(2)));
}

TEST(FixedDivTest, LargeDivisorsAreScaledDown) {
    const Fixed q = FixedDiv(fx(500), fx(-300));
    EXPECT_NEAR(toDouble(q), -5.0 / 3.0, 1e-3);
    EXPECT_EQ(q, FixedMul(fx(500) >> 8, FixedReciprocal(fx(-300) >> 8)));
    EXPECT_NE(q, FixedMul(FixedReciprocal(fx(-300)), fx(500)));
    // The boundary: -256.0 still takes the direct path, 256.0 does not.
    EXPECT_EQ(FixedDiv(ONE, fx(-256)), FixedMul(FixedReciprocal(fx(-256)), ONE));
    EXPECT_EQ(FixedDiv(ONE, fx(256)), FixedMul(ONE >> 8, FixedReciprocal(fx(256) >> 8)));
}

TEST(FixedDivTest, MatchesTheStepByStepRuleEverywhere) {
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        const Fixed a = spreadValue(rng);
        const Fixed b = spreadValue(rng);
        ASSERT_EQ(FixedDiv(a, b), referenceDiv(a, b)) << a << " / " << b;
    }
}

TEST(FixedSqrtTest, SixHeronSteps) {
    EXPECT_EQ(FixedSqrt(0), 0x200);
    EXPECT_EQ(FixedSqrt(ONE), ONE);
    EXPECT_EQ(FixedSqrt(ONE / 4), ONE / 2);
    EXPECT_EQ(FixedSqrt(fx(4)), fx(2) - 3);
    EXPECT_EQ(FixedSqrt(fx(100)), fx(10) - 50);
    EXPECT_NEAR(toDouble(FixedSqrt(fx(10000))), 116.74, 0.01);
    EXPECT_NEAR(toDouble(FixedSqrt(fx(1000))), 31.637, 0.001);
    EXPECT_NEAR(toDouble(FixedSqrt(fx(14400))), 152.19, 0.01);
}

TEST(FixedSqrtTest, StepByStepAndCloseBelow400) {
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const Fixed v = static_cast<Fixed>(rng() % static_cast<uint32_t>(fx(32766)));
        const Fixed y = referenceSqrt(v);
        ASSERT_EQ(FixedSqrt(v), y) << v;
        // Six steps converge here; what is left is the truncating reciprocal.
        if (v >= ONE / 16 && v <= fx(400)) {
            ASSERT_NEAR(toDouble(y) / std::sqrt(toDouble(v)), 1.0, 3e-4) << v;
        }
    }
}

TEST(FixedSqrtTest, NegativeAndWrappingInputsFollowTheSameSteps) {
    std::mt19937 rng(6);
    for (int i = 0; i < 20000; ++i) {
        const Fixed v = i % 2 ? -static_cast<Fixed>(rng() >> 1) : static_cast<Fixed>(0x7FFF0000u + rng() % 0xFFFFu);
        ASSERT_EQ(FixedSqrt(v), referenceSqrt(v)) << v;
    }
    for (Fixed v : {INT32_MIN, INT32_MAX, -1, 0x7FFEFFFF, 0x7FFF0000}) EXPECT_EQ(FixedSqrt(v), referenceSqrt(v)) << v;
}

TEST(FixedSineTest, TellingValues) {
    EXPECT_EQ(FixedSin(0), 0);
    EXPECT_EQ(FixedCos(0), 65534);
    EXPECT_EQ(FixedSin(102943), 65534);
    EXPECT_EQ(FixedCos(102943), 0);
    EXPECT_EQ(FixedCos(205887), -65534);
    EXPECT_EQ(FixedSin(-102943), -65534);
    EXPECT_EQ(FixedSin(ONE), 55131);
    EXPECT_EQ(FixedCos(ONE), 35430);
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
    for (Fixed angle : {-1, -ONE, -twoPi, -twoPi - 1, -fx(1000), INT32_MIN, INT32_MIN + 1}) {
        int64_t lifted = angle;
        while (lifted < 0) lifted += twoPi;
        ASSERT_EQ(FixedSin(angle), FixedSin(static_cast<Fixed>(lifted))) << angle;
        ASSERT_EQ(FixedCos(angle), FixedCos(static_cast<Fixed>(lifted))) << angle;
    }
    // Positive angles are not reduced: whole turns fall out of the wrapping product.
    EXPECT_NEAR(toDouble(FixedSin(fx(100))), std::sin(100.0), 0.01);
}

TEST(Vec3Test, SetCopySub) {
    Vec3 a, b, out;
    Vec3Set(a, fx(5), fx(-3), 7);
    Vec3Copy(b, a);
    EXPECT_EQ(b.x, fx(5));
    EXPECT_EQ(b.y, fx(-3));
    EXPECT_EQ(b.z, 7);
    Vec3Set(b, fx(1), fx(1), INT32_MIN);
    Vec3& r = Vec3Sub(a, b, out);
    EXPECT_EQ(&r, &out);
    EXPECT_EQ(out.x, fx(4));
    EXPECT_EQ(out.y, fx(-4));
    EXPECT_EQ(out.z, static_cast<Fixed>(7u - 0x80000000u)); // wraps
}

TEST(Vec3Test, CrossMayWriteOverItsInput) {
    Vec3 x, y, out;
    Vec3Set(x, ONE, 0, 0);
    Vec3Set(y, 0, ONE, 0);
    Vec3Cross(x, y, out);
    EXPECT_EQ(out.x, 0);
    EXPECT_EQ(out.y, 0);
    EXPECT_EQ(out.z, ONE);
    Vec3 a, b;
    Vec3Set(a, fx(2), fx(3), fx(4));
    Vec3Set(b, fx(-1), ONE / 2, fx(5));
    Vec3Cross(a, b, out);
    EXPECT_EQ(out.x, fx(15) - fx(2));
    EXPECT_EQ(out.y, fx(-4) - fx(10));
    EXPECT_EQ(out.z, fx(1) + fx(3));
    Vec3Cross(a, b, a);
    EXPECT_EQ(std::memcmp(&a, &out, sizeof out), 0);
}

TEST(Vec3Test, LengthAndNormalize) {
    Vec3 v;
    Vec3Set(v, fx(3), fx(4), 0);
    EXPECT_EQ(Vec3Length(v), FixedSqrt(fx(25)));
    const Fixed length = Vec3Length(v);
    const Fixed z = Vec3Normalize(v);
    EXPECT_EQ(v.x, FixedDiv(fx(3), length));
    EXPECT_EQ(v.y, FixedDiv(fx(4), length));
    EXPECT_EQ(z, 0);
    EXPECT_NEAR(toDouble(v.x), 0.6, 1e-4);
    EXPECT_NEAR(toDouble(v.y), 0.8, 1e-4);

    Vec3Set(v, fx(-2), fx(100), fx(150)); // long enough for the square root to come out too large
    const Fixed far = Vec3Length(v);
    const Vec3 before = v;
    EXPECT_EQ(Vec3Normalize(v), FixedDiv(before.z, far));
    EXPECT_EQ(v.x, FixedDiv(before.x, far));
    EXPECT_EQ(v.y, FixedDiv(before.y, far));

    Vec3Set(v, 0, 0, 0); // divided by 512 raw units, not flagged
    EXPECT_EQ(Vec3Length(v), 0x200);
    EXPECT_EQ(Vec3Normalize(v), 0);
    Vec3Set(v, 0, 3, 0);
    Vec3Normalize(v);
    EXPECT_EQ(v.y, FixedDiv(3, FixedSqrt(0)));
}

TEST(Matrix4Test, IdentityAndProduct) {
    Matrix4 m;
    std::memset(&m, 0x5A, sizeof m);
    Matrix4Identity(m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], (i % 5 == 0) ? ONE : 0) << i;

    // A translation by (1, 2, 3) after a scale by 2: column-major, translation at 12..14.
    Matrix4 translate, scale, out;
    Matrix4Identity(translate);
    translate.m[12] = fx(1);
    translate.m[13] = fx(2);
    translate.m[14] = fx(3);
    Matrix4Identity(scale);
    scale.m[0] = scale.m[5] = scale.m[10] = fx(2);
    EXPECT_EQ(&Matrix4Multiply(translate, scale, out), &out);
    const Fixed expected[16] = {fx(2), 0, 0, 0, 0, fx(2), 0, 0, 0, 0, fx(2), 0, fx(1), fx(2), fx(3), ONE};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out.m[i], expected[i]) << i;
    Matrix4Multiply(scale, translate, out);
    EXPECT_EQ(out.m[12], fx(2));
    EXPECT_EQ(out.m[14], fx(6));
}

TEST(Matrix4Test, EveryPathGivesTheSumOfFixedProducts) {
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
        Matrix4Multiply(left, right, wide);
        fixed_detail::Matrix4MultiplyPortable(left, right, portable);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += static_cast<uint32_t>(referenceMul(left.m[4 * k + r], right.m[4 * c + k]));
                ASSERT_EQ(wide.m[4 * c + r], static_cast<Fixed>(sum)) << r << "," << c;
                ASSERT_EQ(portable.m[4 * c + r], static_cast<Fixed>(sum)) << r << "," << c;
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
        Matrix4 asLeft = left;
        multiply(asLeft, right, asLeft);
        Matrix4 asRight = right;
        multiply(left, asRight, asRight);
        Matrix4 both = left;
        multiply(both, both, both);
        EXPECT_EQ(std::memcmp(&asLeft, &separate, sizeof separate), 0);
        EXPECT_EQ(std::memcmp(&asRight, &separate, sizeof separate), 0);
        EXPECT_EQ(std::memcmp(&both, &square, sizeof square), 0);
    }
}

TEST(PlaneTest, NormalizeDividesAllFourByTheLength) {
    Plane p = {fx(2), 0, 0, fx(2)};
    EXPECT_EQ(PlaneNormalize(p), ONE);
    EXPECT_EQ(p.a, ONE);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(p.c, 0);
    Plane q = {fx(3), 0, fx(-4), fx(10)};
    const Fixed length = FixedSqrt(fx(25));
    EXPECT_EQ(PlaneNormalize(q), FixedDiv(fx(10), length));
    EXPECT_EQ(q.a, FixedDiv(fx(3), length));
    EXPECT_EQ(q.c, FixedDiv(fx(-4), length));
    EXPECT_NEAR(toDouble(q.d), 2.0, 1e-3);
}

TEST(FloatToFixedTest, TruncatesTowardZero) {
    EXPECT_EQ(FloatToFixed(-0.5f), -32768);
    EXPECT_EQ(FloatToFixed(1.99999f), fx(2) - 1);
    EXPECT_EQ(FloatToFixed(-0.00001f), 0);
    EXPECT_EQ(FloatToFixed(-1.99999f), -(fx(2) - 1));
    EXPECT_EQ(FloatToFixed(90.0f), 0x5A0000);
    EXPECT_EQ(FloatToFixed(-32768.0f), INT32_MIN);
}

TEST(FloatToFixedTest, OutOfRangeSaturatesAndNanIsZero) {
    EXPECT_EQ(FloatToFixed(32768.0f), INT32_MAX);
    EXPECT_EQ(FloatToFixed(1e30f), INT32_MAX);
    EXPECT_EQ(FloatToFixed(std::numeric_limits<float>::infinity()), INT32_MAX);
    EXPECT_EQ(FloatToFixed(-32768.5f), INT32_MIN);
    EXPECT_EQ(FloatToFixed(-std::numeric_limits<float>::infinity()), INT32_MIN);
    EXPECT_EQ(FloatToFixed(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(FloatToFixed(32767.998046875f), 2147483520); // the largest float below 32768.0
}
