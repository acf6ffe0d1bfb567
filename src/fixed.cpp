#include "fixed.h"

namespace {

#include "sinetable.inc"

// floor(262144 / (8 + i)): the reciprocal of 1.i (three bits) in 2.14 form.
const Fixed reciprocalSeeds[8] = {0x8000, 0x71C7, 0x6666, 0x5D17, 0x5555, 0x4EC4, 0x4924, 0x4444};

constexpr uint32_t TWO_PI = 411774;         // 2 pi, truncated
constexpr uint32_t TURNS_PER_RADIAN = 10430; // 65536 / (2 pi), truncated

// The reciprocal written without data-dependent branches (apart from zero): divisors of
// both signs and of both size classes arrive mixed in the game's loops.
inline Fixed reciprocal(Fixed x) {
    if (x == 0) return 0x7FFFFFFF;
    const uint32_t sign = static_cast<uint32_t>(x >> 31);
    const Fixed n = static_cast<Fixed>((static_cast<uint32_t>(x) ^ sign) - sign);
    const int z = __builtin_clz(static_cast<uint32_t>(n));
    const int shift = 28 - z;
    // Below 8 raw units there are no three bits after the leading one: seed 0.
    const uint32_t index = shift < 0 ? 0 : (static_cast<uint32_t>(n) >> (shift & 31)) & 7;
    const uint32_t s = 4 * static_cast<uint32_t>(reciprocalSeeds[index]);
    // s << (z - 16) for z > 16 and s >> (16 - z) otherwise, in one shift: s is positive
    // and below 2^18, so the 64-bit intermediate never loses a bit.
    Fixed y = static_cast<Fixed>(static_cast<uint32_t>((static_cast<uint64_t>(s) << z) >> 16));
    Fixed t = FixedMul(y, n);
    y = FixedMul(FixedSub(0x20000, t), y);
    t = FixedMul(y, n);
    y = FixedMul(FixedSub(0x20000, t), y);
    return static_cast<Fixed>((static_cast<uint32_t>(y) ^ sign) - sign);
}

// A divisor of 256.0 or more is scaled down by 8 bits, and so is the dividend.
inline int divisorShift(Fixed b) {
    const Fixed high = b >> 24;
    return (high == 0 || high == -1) ? 0 : 8;
}

inline Fixed divide(Fixed a, Fixed b) {
    const int shift = divisorShift(b);
    return FixedMul(a >> shift, reciprocal(b >> shift));
}

// Several quotients by one divisor share its reciprocal: same bits as separate divisions.
struct Divisor {
    int shift;
    Fixed inverse;
    explicit Divisor(Fixed b) : shift(divisorShift(b)), inverse(reciprocal(b >> shift)) {}
    Fixed divide(Fixed a) const { return FixedMul(a >> shift, inverse); }
};

// Negative angles are brought up by whole turns; positive ones wrap in the product below.
inline uint32_t turnFraction(Fixed angle) {
    const uint32_t q = static_cast<uint32_t>(-1 - angle) / TWO_PI;
    const uint32_t lift = angle < 0 ? (q + 1) * TWO_PI : 0;
    return (static_cast<uint32_t>(angle) + lift) * TURNS_PER_RADIAN;
}

// k: a 4096-step position on the circle; the quarter table is mirrored and negated.
inline Fixed sineSample(uint32_t k) {
    const uint32_t j = k & 0x3FF;
    const uint32_t index = (k & 0x400) ? 1023 - j : j;
    const uint32_t negate = 0u - ((k >> 11) & 1);
    return static_cast<Fixed>((static_cast<uint32_t>(sineTable[index]) ^ negate) - negate);
}

} // namespace

Fixed FixedReciprocal(Fixed x) { return reciprocal(x); }

Fixed FixedDiv(Fixed a, Fixed b) { return divide(a, b); }

Fixed FixedSqrt(Fixed v) {
    Fixed y = FixedAdd(v, FIXED_ONE) >> 1;
    for (int step = 0; step < 6; ++step) y = FixedAdd(divide(v, y), y) >> 1;
    return y;
}

Fixed FixedSin(Fixed angle) {
    const Fixed p = static_cast<Fixed>(turnFraction(angle));
    return sineSample(static_cast<uint32_t>(p >> 20));
}

Fixed FixedCos(Fixed angle) {
    const Fixed p = static_cast<Fixed>(turnFraction(angle));
    return sineSample(static_cast<uint32_t>(((p >> 16) + 0x4000) >> 4));
}

void Vec3Set(Vec3& out, Fixed x, Fixed y, Fixed z) {
    out.x = x;
    out.y = y;
    out.z = z;
}

Vec3& Vec3Copy(Vec3& out, const Vec3& in) {
    out.x = in.x;
    out.y = in.y;
    out.z = in.z;
    return out;
}

Vec3& Vec3Sub(const Vec3& a, const Vec3& b, Vec3& out) {
    out.x = FixedSub(a.x, b.x);
    out.y = FixedSub(a.y, b.y);
    out.z = FixedSub(a.z, b.z);
    return out;
}

Vec3& Vec3Cross(const Vec3& a, const Vec3& b, Vec3& out) {
    const Fixed x = FixedSub(FixedMul(a.y, b.z), FixedMul(a.z, b.y));
    const Fixed y = FixedSub(FixedMul(a.z, b.x), FixedMul(a.x, b.z));
    const Fixed z = FixedSub(FixedMul(a.x, b.y), FixedMul(a.y, b.x));
    out.x = x;
    out.y = y;
    out.z = z;
    return out;
}

Fixed Vec3Length(const Vec3& v) {
    return FixedSqrt(FixedAdd(FixedAdd(FixedMul(v.x, v.x), FixedMul(v.y, v.y)), FixedMul(v.z, v.z)));
}

Fixed Vec3Normalize(Vec3& v) {
    const Divisor length(Vec3Length(v));
    v.x = length.divide(v.x);
    v.y = length.divide(v.y);
    v.z = length.divide(v.z);
    return v.z;
}

void Matrix4Identity(Matrix4& m) {
    for (Fixed& e : m.m) e = 0;
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = FIXED_ONE;
}

Matrix4& Matrix4Multiply(const Matrix4& left, const Matrix4& right, Matrix4& out) {
    const Fixed* l = left.m;
    const Fixed* r = right.m;
    // Element (row, column): row of left times column of right, each product shifted
    // on its own and the four summed with wrap-around.
    auto e = [l, r](int row, int column) {
        const Fixed* c = r + 4 * column;
        return FixedAdd(FixedAdd(FixedMul(l[row], c[0]), FixedMul(l[4 + row], c[1])),
                        FixedAdd(FixedMul(l[8 + row], c[2]), FixedMul(l[12 + row], c[3])));
    };
    const Matrix4 t = {{e(0, 0), e(1, 0), e(2, 0), e(3, 0),
                        e(0, 1), e(1, 1), e(2, 1), e(3, 1),
                        e(0, 2), e(1, 2), e(2, 2), e(3, 2),
                        e(0, 3), e(1, 3), e(2, 3), e(3, 3)}};
    out = t;
    return out;
}

Fixed PlaneNormalize(Plane& p) {
    const Divisor length(FixedSqrt(
        FixedAdd(FixedAdd(FixedMul(p.a, p.a), FixedMul(p.b, p.b)), FixedMul(p.c, p.c))));
    p.a = length.divide(p.a);
    p.b = length.divide(p.b);
    p.c = length.divide(p.c);
    p.d = length.divide(p.d);
    return p.d;
}

Fixed FloatToFixed(float f) {
    const float scaled = f * 65536.0f;
    // Out of range the conversion would be undefined: NaN gives 0 and everything beyond
    // the Fixed range saturates to its nearest end.
    if (scaled != scaled) return 0;
    if (scaled >= 2147483648.0f) return INT32_MAX;
    if (scaled < -2147483648.0f) return INT32_MIN;
    return static_cast<Fixed>(scaled);
}
