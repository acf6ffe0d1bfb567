// Long walls for the benchmarks: by default 2000 short quads in a zig-zag band across the far part
// of the arena, one band per wall, in view and small on the screen, as a long game's
// walls would be.
#pragma once
#include "fixed.h"
#include "lightwall.h"

inline void zigzag(LightWall* wall, int band, int turns = 1000) {
    if (!wall) return;
    Vec3 p{-150 * FIXED_ONE, 0, (-250 - 12 * band) * FIXED_ONE};
    wall->turn(p, PlusX);
    for (int i = 0; i < turns; ++i) {
        p.z += (i & 1) ? 3 * FIXED_ONE : -3 * FIXED_ONE;
        wall->turn(p, (i & 1) ? PlusZ : MinusZ);
        p.x += FIXED_ONE * 3 / 10;
        wall->turn(p, PlusX);
    }
}
