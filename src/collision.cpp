#include "collision.h"

#include <algorithm>
#include <climits>

#include "arenatree.h"
#include "lightwall.h"
#include "sharedstate.h"

namespace {

// What one pass over the walls looks for, worked out once per test. A quad lies across
// the bike's path when its direction has the other parity; it is within reach when its
// constant coordinate ("line") is less than the step away from the bike and the bike's
// other coordinate lies within the quad's span, both ends included.
struct Reach {
    int32_t lineOffset;   // within a vertex: 0 for x, 2 for z
    int32_t spanOffset;
    int32_t parity;
    uint32_t lineLow;     // |line - P| < t  <=>  line - lineLow <= lineRange (unsigned)
    uint32_t lineRange;
    Fixed spanPoint;
};

constexpr int32_t quadStride = 18; // six vertices of three Fixed
constexpr int32_t farEnd = 6;      // vertex 2 of the quad

// Each quad's start point (vertex 0) and far end (vertex 2) are read in place.
bool anyWithinReach(const Fixed* vertices, const Direction* directions, int32_t quads, const Reach& r) {
    const Fixed* line = vertices + r.lineOffset;
    const Fixed* spanStart = vertices + r.spanOffset;
    const Fixed* spanEnd = vertices + farEnd + r.spanOffset;
    const Fixed point = r.spanPoint;
#pragma GCC unroll 4
    for (int32_t k = 0; k < quads; ++k) {
        if (((directions[k] ^ r.parity) & 1) == 0) continue;
        const int32_t at = k * quadStride;
        if (static_cast<uint32_t>(line[at]) - r.lineLow > r.lineRange) continue;
        const Fixed a = spanStart[at];
        const Fixed b = spanEnd[at];
        if ((a <= point || b <= point) && (a >= point || b >= point)) return true;
    }
    return false;
}

} // namespace

bool insideRectangle(const Fixed bounds[4], const Vec3& p) {
    const int64_t minX = bounds[0];
    const int64_t minZ = bounds[1];
    return minX <= p.x && p.x <= minX + bounds[2] && minZ <= p.z && p.z <= minZ + bounds[3];
}

bool wallTest(Direction d, const Vec3& p, int32_t ownIndex, int32_t& hitWall) {
    const std::vector<LightWall*>& registry = sharedState.wallRegistry;
    const int32_t wallCount = static_cast<int32_t>(registry.size());
    const Fixed t = sharedState.frameStep;
    // A Stopped bike skips every quad, and no distance is strictly below a step of 0.
    if (d == Stopped || t <= 0 || wallCount == 0) {
        hitWall = wallCount - 1;
        return false;
    }

    Reach reach;
    const bool alongX = (d & 1) == 0;
    reach.lineOffset = alongX ? 0 : 2;
    reach.spanOffset = alongX ? 2 : 0;
    reach.parity = d;
    const Fixed linePoint = alongX ? p.x : p.z;
    reach.spanPoint = alongX ? p.z : p.x;
    const int64_t low = std::max<int64_t>(static_cast<int64_t>(linePoint) - t + 1, INT32_MIN);
    const int64_t high = std::min<int64_t>(static_cast<int64_t>(linePoint) + t - 1, INT32_MAX);
    reach.lineLow = static_cast<uint32_t>(static_cast<int32_t>(low));
    reach.lineRange = static_cast<uint32_t>(high - low);

    for (int32_t w = 0; w < wallCount; ++w) {
        const LightWall* wall = registry[static_cast<size_t>(w)];
        if (!wall || wall->wallState != WallGrowing || !wall->vertices) continue;
        int32_t quads = std::min(wall->quadCount(), wall->directionCount());
        // The bike always touches the corner it has just turned at: its own two newest
        // quads never stop it, and nothing after them is left to examine.
        if (w == ownIndex) quads = std::max(quads - 2, 0);
        if (anyWithinReach(wall->vertices.get(), wall->segmentDirections.get(), quads, reach)) {
            hitWall = w;
            return true;
        }
    }
    hitWall = wallCount - 1;
    return false;
}

bool collide(const ArenaTree* arena, Direction d, const Vec3& p, int32_t ownIndex, int32_t& hitWall) {
    hitWall = HIT_ARENA_EDGE;
    const bool inside = arena && arena->root && insideRectangle(arena->root->bounds, p);
    if (!inside) return true;
    return wallTest(d, p, ownIndex, hitWall);
}
