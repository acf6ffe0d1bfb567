#include "fixed.h"

namespace {

// floor(262144 / (8 + i)): the reciprocal of 1.i (three bits) in 2.14 form.
const Fixed reciprocalSeeds[8] = {0x8000, 0x71C7, 0x6666, 0x5D17, 0x5555, 0x4EC4, 0x4924, 0x4444};

int countLeadingZeros(uint32_t n) { return n == 0 ? 32 : __builtin_clz(n); }

} // namespace

Fixed FixedReciprocal(Fixed x) {
    if (x == 0) return 0x7FFFFFFF;
    const bool negative = x < 0;
    const Fixed n = negative ? FixedNeg(x) : x;
    const int z = countLeadingZeros(static_cast<uint32_t>(n));
    const int shift = 28 - z;
    const int index = shift < 0 ? 0 : static_cast<int>((static_cast<uint32_t>(n) >> shift) & 7);
    const Fixed s = 4 * reciprocalSeeds[index];
    Fixed y = z > 16 ? static_cast<Fixed>(static_cast<uint32_t>(s) << (z - 16)) : (s >> (16 - z));
    for (int step = 0; step < 2; ++step) {
        const Fixed t = FixedMul(y, n);
        y = FixedMul(FixedSub(0x20000, t), y);
    }
    return negative ? FixedNeg(y) : y;
}

Fixed FixedDiv(Fixed a, Fixed b) {
    const Fixed high = b >> 24;
    if (high == 0 || high == -1) return FixedMul(FixedReciprocal(b), a);
    return FixedMul(a >> 8, FixedReciprocal(b >> 8));
}
