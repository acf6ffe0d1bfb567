// The one crash test: a bike is hit when it leaves the arena's ground rectangle or comes
// within one frame step of a wall quad lying across its path.
#pragma once
#include <cstdint>
#include "direction.h"
#include "fixed.h"

class ArenaTree;

// What a crash test reports as the wall that was hit: a wall index (0 is the player's
// wall, k opponent k's), or this when the bike left the arena.
constexpr int32_t HIT_ARENA_EDGE = -1;
constexpr int32_t PLAYER_WALL = 0;

// bounds: minimum x, minimum z, extent in x, extent in z. The edges count as inside.
bool insideRectangle(const Fixed bounds[4], const Vec3& p);

// Walls in index order, quads oldest first; the first quad within reach decides. hitWall
// ends as the wall that was hit, or as the last index examined (-1 without walls).
bool wallTest(Direction d, const Vec3& p, int32_t ownIndex, int32_t& hitWall);

// The crash test of a bike at p travelling d whose own wall is ownIndex. hitWall is
// HIT_ARENA_EDGE when the bike left the arena (an arena without geometry has no inside).
bool collide(const ArenaTree* arena, Direction d, const Vec3& p, int32_t ownIndex, int32_t& hitWall);
