#include "seat.h"

Vec3 seatPoint(int seat, Fixed x, Fixed y, Fixed z) {
    switch (seat) {
    case 1: return {-x, y, -z};
    case 2: return {-z, y, x};
    case 3: return {z, y, -x};
    default: return {x, y, z};
    }
}

Direction seatFacing(int seat) {
    switch (seat) {
    case 1: return PlusZ;
    case 2: return PlusX;
    case 3: return MinusX;
    default: return MinusZ;
    }
}
