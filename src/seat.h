// The four places a race seats its bikes: the one player's at the front of the arena
// (0, 0, 90), facing MinusZ, and the others at that place turned about the arena's centre
// by a half, a quarter and three quarters of a turn. In a race of several players every
// human sits facing the centre, seen from behind as the one player is.
#pragma once
#include "direction.h"
#include "fixed.h"

constexpr int MAX_SEATS = 4;

// A point of the one player's seat (its start, its camera's places) moved to seat s: exact,
// without rounding, so seat 0's points are the design's own.
Vec3 seatPoint(int seat, Fixed x, Fixed y, Fixed z);
// The way seat s faces the centre.
Direction seatFacing(int seat);
