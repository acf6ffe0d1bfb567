// The one crash test: a bike is hit when it leaves the arena's ground rectangle or comes
// within one frame step of a wall quad lying across its path.
#pragma once
#include <cstdint>
#include "bike.h"
#include "fixed.h"

// bounds: minimum x, minimum z, extent in x, extent in z. The edges count as inside.
bool insideRectangle(const Fixed bounds[4], const Vec3& p);

// Walls in index order, quads oldest first; the first quad within reach decides. hitWall
// ends as the wall that was hit, or as the last index examined (-1 without walls).
bool wallTest(Direction d, const Vec3& p, int32_t ownIndex, int32_t& hitWall);

// hitWall is -1 when the bike left the arena (an arena without geometry has no inside).
bool collide(const Bike& bike, int32_t& hitWall);
