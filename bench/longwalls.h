// Long walls for the benchmarks and tests.
//
// zigzag: by default 2000 short quads in a zig-zag band across the far part of the arena,
// one band per wall, in view and small on the screen.
// lanes: a long game's wall that never crosses itself or another: four zig-zag lanes
// across the whole arena in a band of its own, so that the four walls cover the arena and
// from any camera part of them is in view and part is not.
// wander: runs of 4 to 40 units turning left or right at random, crossing itself, over
// the whole arena and beyond.
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

// 2000 quads: four lanes of 498 quads from x = -280 to 280 and back, 30 units apart, the
// first at z = -265 + 140 * band, joined by a step at the ends.
inline void lanes(LightWall* wall, int band) {
    if (!wall) return;
    Vec3 p{-280 * FIXED_ONE, 0, (-265 + 140 * band) * FIXED_ONE};
    wall->turn(p, PlusX);
    for (int lane = 0; lane < 4; ++lane) {
        const Fixed step = (lane % 2 ? -1 : 1) * (FIXED_ONE * 560 / 249);
        const Direction along = lane % 2 ? MinusX : PlusX;
        for (int i = 0; i < 249; ++i) {
            p.z += (i & 1) ? 2 * FIXED_ONE : -2 * FIXED_ONE;
            wall->turn(p, (i & 1) ? PlusZ : MinusZ);
            p.x += step;
            wall->turn(p, along);
        }
        p.z += 30 * FIXED_ONE;
        wall->turn(p, PlusZ);
    }
    wall->follow(p);
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
