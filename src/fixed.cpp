#include "fixed.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#include <atomic>
#endif

namespace {

#include "sinetable.inc"

constexpr uint32_t TWO_PI = 411774;         // 2 pi, truncated
constexpr uint32_t TURNS_PER_RADIAN = 10430; // 65536 / (2 pi), truncated

// Several quotients by one divisor share its reciprocal: same bits as separate divisions.
struct Divisor {
    bool small;
    Fixed inverse;
    explicit Divisor(Fixed b) : small(fixed_detail::smallDivisor(b)), inverse(FixedReciprocal(small ? b : b >> 8)) {}
    Fixed divide(Fixed a) const { return FixedMul(small ? a : a >> 8, inverse); }
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

Fixed fixed_detail::reciprocalRare(Fixed x) {
    if (x == 0) return 0x7FFFFFFF;
    const bool negative = x < 0;
    const Fixed n = negative ? FixedNeg(x) : x;
    const int z = __builtin_clz(static_cast<uint32_t>(n));
    const int shift = 28 - z;
    const uint32_t index = shift < 0 ? 0 : (static_cast<uint32_t>(n) >> shift) & 7;
    const uint32_t s = 4 * reciprocalSeeds[index];
    Fixed y = static_cast<Fixed>(z > 16 ? s << (z - 16) : s >> (16 - z));
    for (int step = 0; step < 2; ++step) y = FixedMul(FixedSub(0x20000, FixedMul(y, n)), y);
    return negative ? FixedNeg(y) : y;
}

Fixed FixedSqrt(Fixed v) {
    Fixed y = FixedAdd(v, FIXED_ONE) >> 1;
    if (v >= 0 && v < 0x7FFF0000) {
        // Here the start value is positive and Heron's steps never fall below 512 raw
        // units, so every divisor is a common magnitude with no sign to handle.
        const int64_t vScaled = v >> 8;
        for (int step = 0; step < 6; ++step) {
            const bool small = fixed_detail::smallDivisor(y);
            const int64_t inverse = fixed_detail::reciprocalCommon(static_cast<uint32_t>(small ? y : y >> 8));
            y = FixedAdd(FixedWrap(((small ? v : vScaled) * inverse) >> 16), y) >> 1;
        }
        return y;
    }
    for (int step = 0; step < 6; ++step) y = FixedAdd(FixedDiv(v, y), y) >> 1;
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

Matrix4& fixed_detail::Matrix4MultiplyPortable(const Matrix4& left, const Matrix4& right, Matrix4& out) {
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

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// Four products at once: a column of left, widened to signed 64-bit lanes, times one
// element of right. The low 32 bits of each lane after the shift are exactly FixedMul's,
// and 64-bit sums keep the same low 32 bits as wrapping 32-bit sums.
__attribute__((target("avx2"), always_inline)) inline __m256i product(__m256i column, Fixed e) {
    return _mm256_srli_epi64(_mm256_mul_epi32(column, _mm256_set1_epi32(e)), 16);
}

// One column of the result: the four widened columns of left weighted by column c of right.
__attribute__((target("avx2"), always_inline)) inline __m128i resultColumn(const __m256i (&columns)[4],
                                                                          const Fixed* rc) {
    const __m256i sum = _mm256_add_epi64(_mm256_add_epi64(product(columns[0], rc[0]), product(columns[1], rc[1])),
                                         _mm256_add_epi64(product(columns[2], rc[2]), product(columns[3], rc[3])));
    return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(sum, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7)));
}

__attribute__((target("avx2"))) Matrix4& multiplyAvx2(const Matrix4& left, const Matrix4& right, Matrix4& out) {
    const __m128i* l = reinterpret_cast<const __m128i*>(left.m);
    const __m256i columns[4] = {_mm256_cvtepi32_epi64(_mm_loadu_si128(l)), _mm256_cvtepi32_epi64(_mm_loadu_si128(l + 1)),
                                _mm256_cvtepi32_epi64(_mm_loadu_si128(l + 2)), _mm256_cvtepi32_epi64(_mm_loadu_si128(l + 3))};
    const __m128i c0 = resultColumn(columns, right.m);
    const __m128i c1 = resultColumn(columns, right.m + 4);
    const __m128i c2 = resultColumn(columns, right.m + 8);
    const __m128i c3 = resultColumn(columns, right.m + 12);
    // Stored only after every input is read: out may be left or right.
    __m128i* o = reinterpret_cast<__m128i*>(out.m);
    _mm_storeu_si128(o, c0);
    _mm_storeu_si128(o + 1, c1);
    _mm_storeu_si128(o + 2, c2);
    _mm_storeu_si128(o + 3, c3);
    return out;
}

using MultiplyRoutine = Matrix4& (*)(const Matrix4&, const Matrix4&, Matrix4&);

Matrix4& chooseMultiply(const Matrix4& left, const Matrix4& right, Matrix4& out);

// Starts at the chooser, so it is valid from the first call on, even during static
// initialisation; the chooser puts the routine for this processor in its place.
std::atomic<MultiplyRoutine> multiplyRoutine{chooseMultiply};

Matrix4& chooseMultiply(const Matrix4& left, const Matrix4& right, Matrix4& out) {
    __builtin_cpu_init();
    const MultiplyRoutine chosen =
        __builtin_cpu_supports("avx2") ? multiplyAvx2 : fixed_detail::Matrix4MultiplyPortable;
    multiplyRoutine.store(chosen, std::memory_order_relaxed);
    return chosen(left, right, out);
}

} // namespace

Matrix4& Matrix4Multiply(const Matrix4& left, const Matrix4& right, Matrix4& out) {
    return multiplyRoutine.load(std::memory_order_relaxed)(left, right, out);
}
#else
Matrix4& Matrix4Multiply(const Matrix4& left, const Matrix4& right, Matrix4& out) {
    return fixed_detail::Matrix4MultiplyPortable(left, right, out);
}
#endif

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
