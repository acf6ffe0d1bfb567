// Long walls for the benchmarks and tests.
//
// zigzag: by default 2000 short quads in a zig-zag band across the far part of the arena,
// one band per wall, in view and small on the screen.
// wander: a long game's wall, runs of 4 to 40 units turning left or right at random over
// the whole arena, so that from any camera part of it is in view and part is not.
#pragma once
#include <cstdint>

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

// quads - 1 turns from the wall's start, kept within +-limit units of the middle; the
// same seed gives the same wall.
inline void wander(LightWall* wall, uint32_t seed, int quads = 2000, int limit = 280) {
    if (!wall || wall->quadCount() < 1) return;
    const Fixed* start = wall->vertices.get();
    Vec3 p{start[0], 0, start[2]};
    int direction = MinusZ;
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const Fixed bound = limit * FIXED_ONE;
    for (int k = 1; k < quads; ++k) {
        const Fixed run = static_cast<Fixed>(4 + next() % 37) * FIXED_ONE;
        switch (direction) {
        case MinusX: p.x -= run; break;
        case MinusZ: p.z -= run; break;
        case PlusX: p.x += run; break;
        default: p.z += run; break;
        }
        // Back toward the middle when it strays too far.
        if (p.x < -bound || p.x > bound || p.z < -bound || p.z > bound) direction = (direction + 2) % 4;
        else direction = (direction + (next() % 2 ? 1 : 3)) % 4;
        wall->turn(p, static_cast<Direction>(direction));
    }
    wall->follow({p.x, 0, p.z});
}
