// 16.16 fixed-point arithmetic. Every coordinate, matrix, plane, colour and time value of
// the game is a Fixed, and these routines define the results bit for bit, approximation
// errors included: the view, the culling planes and the arena tree depend on them.
#pragma once
#include <cstdint>

typedef int32_t Fixed;

struct Vec3 {
    Fixed x, y, z;
};

// Column-major: element (row r, column c) is m[4c + r]; translation at 12, 13, 14.
struct Matrix4 {
    Fixed m[16];
};

struct Plane {
    Fixed a, b, c, d;
};

constexpr Fixed FIXED_ONE = 0x10000;

// Two's complement wrap-around without undefined behaviour.
inline Fixed FixedWrap(int64_t v) { return static_cast<Fixed>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline Fixed FixedAdd(Fixed a, Fixed b) { return static_cast<Fixed>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline Fixed FixedSub(Fixed a, Fixed b) { return static_cast<Fixed>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline Fixed FixedNeg(Fixed a) { return static_cast<Fixed>(0u - static_cast<uint32_t>(a)); }

// 64-bit product shifted right arithmetically by 16: rounds toward minus infinity.
inline Fixed FixedMul(Fixed a, Fixed b) {
    return FixedWrap((static_cast<int64_t>(a) * static_cast<int64_t>(b)) >> 16);
}

namespace fixed_detail {

// floor(262144 / (8 + i)): the reciprocal of 1.i (three bits) in 2.14 form.
inline constexpr uint32_t reciprocalSeeds[8] = {0x8000, 0x71C7, 0x6666, 0x5D17, 0x5555, 0x4EC4, 0x4924, 0x4444};

// The reciprocal's starting value for every position p of the leading one bit and the
// three bits i that follow it: 4 * seed i moved to p, kept to 32 bits. Rows below 3
// (magnitudes under 8 raw units) are never read: those take the step-by-step path.
struct SeedTable {
    Fixed y[32][8];
};

constexpr SeedTable makeSeedTable() {
    SeedTable table{};
    for (int p = 3; p < 32; ++p)
        for (int i = 0; i < 8; ++i) {
            const uint64_t s = 4 * reciprocalSeeds[i];
            table.y[p][i] = static_cast<Fixed>(static_cast<uint32_t>((s << (31 - p)) >> 16));
        }
    return table;
}

inline constexpr SeedTable seedTable = makeSeedTable();

// Magnitudes from 8 raw units up to 32767.99998: there every value in the two Newton
// steps stays between 0 and 2^30, so the 32-bit truncations of FixedMul and FixedSub
// change nothing and the steps can run in 64 bits.
inline bool commonMagnitude(uint32_t n) { return n - 8 <= 0x7FFFFFF7u; }

inline int64_t reciprocalCommon(uint32_t n) {
    const unsigned p = 31 ^ static_cast<unsigned>(__builtin_clz(n));
    // (n << 3) >> p is 1iii in binary, 8 to 15: the leading one bit and the three after it.
    int64_t y = (&seedTable.y[p][0])[((static_cast<uint64_t>(n) << 3) >> p) - 8];
    const int64_t m = n;
    y = ((0x20000 - ((y * m) >> 16)) * y) >> 16;
    y = ((0x20000 - ((y * m) >> 16)) * y) >> 16;
    return y;
}

// The rest, step by step with every wrap: zero, the tiny divisors whose seed is far off,
// and -32768.0, whose magnitude enters the steps as a negative number.
Fixed reciprocalRare(Fixed x);

// -256.0 <= b < 256.0, that is b >> 24 is 0 or -1. A larger divisor is scaled down by
// 8 bits, and so is the dividend, to keep the reciprocal's precision.
inline bool smallDivisor(Fixed b) { return static_cast<uint32_t>(b) + 0x1000000u < 0x2000000u; }

} // namespace fixed_detail

// Division by 0 gives 0x7FFFFFFF; divisors below 8 raw units are far off (seed 0).
// No data-dependent branch on the common path: signs and sizes arrive mixed.
inline Fixed FixedReciprocal(Fixed x) {
    const uint32_t sign = static_cast<uint32_t>(x >> 31);
    const uint32_t n = (static_cast<uint32_t>(x) ^ sign) - sign;
    if (__builtin_expect(!fixed_detail::commonMagnitude(n), 0)) return fixed_detail::reciprocalRare(x);
    const uint32_t y = static_cast<uint32_t>(fixed_detail::reciprocalCommon(n));
    return static_cast<Fixed>((y ^ sign) - sign);
}

// FixedMul(a, FixedReciprocal(b)), scaled as above. On the common path the divisor's sign
// goes onto the dividend instead, where it is ready long before the reciprocal:
// (-a) * y and a * (-y) are the same 64-bit product.
inline Fixed FixedDiv(Fixed a, Fixed b) {
    const int shift = fixed_detail::smallDivisor(b) ? 0 : 8;
    const Fixed divisor = b >> shift;
    const int64_t dividend = a >> shift;
    const uint32_t sign = static_cast<uint32_t>(divisor >> 31);
    const uint32_t n = (static_cast<uint32_t>(divisor) ^ sign) - sign;
    if (__builtin_expect(!fixed_detail::commonMagnitude(n), 0))
        return FixedMul(static_cast<Fixed>(dividend), fixed_detail::reciprocalRare(divisor));
    const int64_t signedDividend = sign ? -dividend : dividend;
    return FixedWrap((signedDividend * fixed_detail::reciprocalCommon(n)) >> 16);
}

Fixed FixedSqrt(Fixed v);
Fixed FixedSin(Fixed angle);
Fixed FixedCos(Fixed angle);

void Vec3Set(Vec3& out, Fixed x, Fixed y, Fixed z);
Vec3& Vec3Copy(Vec3& out, const Vec3& in);
Vec3& Vec3Sub(const Vec3& a, const Vec3& b, Vec3& out);
Vec3& Vec3Cross(const Vec3& a, const Vec3& b, Vec3& out);
Fixed Vec3Length(const Vec3& v);
Fixed Vec3Normalize(Vec3& v);

void Matrix4Identity(Matrix4& m);
Matrix4& Matrix4Multiply(const Matrix4& left, const Matrix4& right, Matrix4& out);
namespace fixed_detail {
// The plain integer product; Matrix4Multiply uses wider instructions where the processor
// has them, with the same bits.
Matrix4& Matrix4MultiplyPortable(const Matrix4& left, const Matrix4& right, Matrix4& out);
} // namespace fixed_detail

Fixed PlaneNormalize(Plane& p);

Fixed FloatToFixed(float f);
