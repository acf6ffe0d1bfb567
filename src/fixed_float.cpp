// Temporary until the fixed-point module brings its own FloatToFixed.
#include <cmath>

#include "fixed.h"

Fixed FloatToFixed(float f) {
    const float scaled = f * 65536.0f;
    if (std::isnan(scaled)) return 0;
    if (scaled >= 2147483648.0f) return INT32_MAX;
    if (scaled <= -2147483648.0f) return INT32_MIN;
    return static_cast<Fixed>(scaled);
}
