// The four travel directions of a bike on the floor, and standing still.
#pragma once
#include <cstdint>

// + 1 (modulo 4) is a right turn seen from above; values of equal parity lie on one axis
// (even: X, odd: Z). Walls, collision and the opponents depend on that parity.
enum Direction : int32_t {
    MinusX = 0,
    MinusZ = 1,
    PlusX = 2,
    PlusZ = 3,
    Stopped = 4
};

constexpr int32_t DirectionCount = 5;
