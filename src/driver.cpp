#include "driver.h"

#include <algorithm>
#include <climits>

#include "arenatree.h"
#include "bike.h"
#include "collision.h"
#include "crtrand.h"
#include "lightwall.h"
#include "sharedstate.h"

namespace {

const char* const levelNamesTable[LevelCount] = {"classic", "cautious", "wary", "territorial"};

constexpr int16_t FAR_AWAY = INT16_MAX;

// The cells a wall quad keeps out of: its line widened by the margin on both sides, its
// span by the margin at both ends (a growing quad's far end is the bike itself, whose head
// cell is marked on its own).
// A point exactly one step from a wall's line is safe, and cells that only touch the
// widened quad are not marked.
constexpr int64_t marginFor(Fixed step) { return static_cast<int64_t>(step); }

int64_t distanceOf(int64_t v) { return v < 0 ? -v : v; }

Vec3 pointAhead(const Vec3& p, Direction d, int64_t distance) {
    Vec3 q = p;
    switch (d) {
    case MinusX: q.x = static_cast<Fixed>(p.x - distance); break;
    case PlusX: q.x = static_cast<Fixed>(p.x + distance); break;
    case MinusZ: q.z = static_cast<Fixed>(p.z - distance); break;
    case PlusZ: q.z = static_cast<Fixed>(p.z + distance); break;
    default: break;
    }
    return q;
}

Turn turnBetween(Direction from, Direction to) {
    if (from == Stopped || to == Stopped || from == to) return TurnNone;
    return ((from + 1) & 3) == to ? TurnRight : (((from + 3) & 3) == to ? TurnLeft : TurnNone);
}

} // namespace

const char* levelName(int level) { return level >= 0 && level < LevelCount ? levelNamesTable[level] : "?"; }

int levelByName(const std::string& name) {
    for (int level = 0; level < LevelCount; ++level)
        if (name == levelNamesTable[level]) return level;
    return -1;
}

std::string levelNames() {
    std::string all;
    for (int level = 0; level < LevelCount; ++level) {
        if (level) all += ", ";
        all += levelNamesTable[level];
    }
    return all;
}

Direction turned(Direction d, Turn turn) {
    if (d == Stopped || turn == TurnNone) return d;
    return static_cast<Direction>((d + (turn == TurnRight ? 1 : 3)) & 3);
}

// The grid.

ArenaGrid::ArenaGrid() : blocked(MAX_CELLS, 0) {}

bool ArenaGrid::configure(const ArenaTree* arena) {
    if (!arena || !arena->root) return false;
    const Fixed* b = arena->root->bounds;
    if (b[2] <= 0 || b[3] <= 0) return false;
    const int64_t extent = std::max<int64_t>(b[2], b[3]);
    // A cell holds a turn near its centre and the margin of a step on either side, at
    // frames of up to 25 ms: the faster the bikes, the larger the cells.
    static const Fixed cellBySpeed[3] = {6 * FIXED_ONE, 10 * FIXED_ONE, 15 * FIXED_ONE};
    int64_t size = cellBySpeed[std::clamp(sharedState.options.speed, 0, 2)];
    if ((extent + size - 1) / size > MAX_SIDE) size = (extent + MAX_SIDE - 1) / MAX_SIDE;
    cell = static_cast<Fixed>(size);
    // The grid is shifted by half a cell: the bikes start on lines through the arena's
    // centre, and those lines then run along the middle of the cells, not their edges.
    minX = static_cast<Fixed>(b[0] - size / 2);
    minZ = static_cast<Fixed>(b[1] - size / 2);
    arenaBounds[0] = b[0];
    arenaBounds[1] = b[1];
    arenaBounds[2] = b[0] + static_cast<int64_t>(b[2]);
    arenaBounds[3] = b[1] + static_cast<int64_t>(b[3]);
    width = static_cast<int>(std::clamp<int64_t>((static_cast<int64_t>(b[2]) + size) / size + 1, 1, MAX_SIDE));
    height = static_cast<int>(std::clamp<int64_t>((static_cast<int64_t>(b[3]) + size) / size + 1, 1, MAX_SIDE));
    return true;
}

int ArenaGrid::cellOf(const Vec3& p) const {
    const int64_t x = (static_cast<int64_t>(p.x) - minX) / cell;
    const int64_t z = (static_cast<int64_t>(p.z) - minZ) / cell;
    return static_cast<int>(std::clamp<int64_t>(z, 0, height - 1) * width + std::clamp<int64_t>(x, 0, width - 1));
}

int ArenaGrid::neighbour(int c, Direction d) const {
    if (c < 0) return -1;
    const int x = cellX(c), z = cellZ(c);
    switch (d) {
    case MinusX: return x > 0 ? c - 1 : -1;
    case PlusX: return x + 1 < width ? c + 1 : -1;
    case MinusZ: return z > 0 ? c - width : -1;
    case PlusZ: return z + 1 < height ? c + width : -1;
    default: return -1;
    }
}

Fixed ArenaGrid::centreAlong(int c, Direction d) const {
    const int64_t half = cell / 2;
    if ((d & 1) == 0) return static_cast<Fixed>(minX + static_cast<int64_t>(cellX(c)) * cell + half);
    return static_cast<Fixed>(minZ + static_cast<int64_t>(cellZ(c)) * cell + half);
}

void ArenaGrid::markRectangle(int64_t x0, int64_t z0, int64_t x1, int64_t z1) {
    // Cells whose closed square meets the open rectangle; rounding outward keeps it conservative.
    const int64_t cx0 = std::max<int64_t>((x0 - minX) / cell - 1, 0);
    const int64_t cx1 = std::min<int64_t>((x1 - minX) / cell + 1, width - 1);
    const int64_t cz0 = std::max<int64_t>((z0 - minZ) / cell - 1, 0);
    const int64_t cz1 = std::min<int64_t>((z1 - minZ) / cell + 1, height - 1);
    for (int64_t z = cz0; z <= cz1; ++z) {
        const int64_t top = minZ + z * cell;
        if (top >= z1 || top + cell <= z0) continue;
        for (int64_t x = cx0; x <= cx1; ++x) {
            const int64_t left = minX + x * cell;
            if (left >= x1 || left + cell <= x0) continue;
            blocked[static_cast<size_t>(z * width + x)] = 1;
        }
    }
}

void ArenaGrid::rebuild(const RaceView& view) {
    std::fill(blocked.begin(), blocked.begin() + width * height, 0);
    // Cells reaching out of the arena.
    const int64_t far = static_cast<int64_t>(MAX_SIDE + 2) * cell;
    markRectangle(minX - cell, minZ - cell, arenaBounds[0], minZ + far);
    markRectangle(minX - cell, minZ - cell, minX + far, arenaBounds[1]);
    markRectangle(arenaBounds[2], minZ - cell, minX + far, minZ + far);
    markRectangle(minX - cell, arenaBounds[3], minX + far, minZ + far);
    const int64_t m = marginFor(view.step);
    const std::vector<LightWall*>& registry = sharedState.wallRegistry;
    for (const LightWall* wall : registry) {
        if (!wall || wall->wallState != WallGrowing || !wall->vertices) continue;
        const int32_t quads = std::min(wall->quadCount(), wall->directionCount());
        const Fixed* v = wall->vertices.get();
        for (int32_t k = 0; k < quads; ++k) {
            const Fixed* q = v + k * 18;
            const int64_t ax = q[0], az = q[2], bx = q[6], bz = q[8];
            const bool newest = k == quads - 1;
            int64_t x0 = std::min(ax, bx) - m, x1 = std::max(ax, bx) + m;
            int64_t z0 = std::min(az, bz) - m, z1 = std::max(az, bz) + m;
            if (newest) {
                // Up to the bike, not past it: the cell ahead of a bike is its to take.
                const Direction d = wall->segmentDirections[k];
                if (d == MinusX) x0 = bx;
                else if (d == PlusX) x1 = bx;
                else if (d == MinusZ) z0 = bz;
                else if (d == PlusZ) z1 = bz;
            }
            markRectangle(x0, z0, x1, z1);
        }
    }
    for (int i = 0; i < view.count; ++i)
        if (view.seats[i].driving) block(cellOf(view.seats[i].position));
}

// The driver.

Driver::Driver(int level)
    : levelValue(std::clamp(level, 0, LevelCount - 1)), distMine(ArenaGrid::MAX_CELLS),
      distTheirs(ArenaGrid::MAX_CELLS), queue(ArenaGrid::MAX_CELLS), stamp(ArenaGrid::MAX_CELLS, 0) {}

void Driver::reset() {
    lastDecisionCell = -1;
    framesDriven = 0;
    gridReady = false;
}

Driver::Memory Driver::memory() const {
    return {lastDecisionCell, openingFrames, framesDriven, decisions, openingTurn, aimTimer,
            static_cast<uint8_t>(gridReady ? 1 : 0)};
}

void Driver::restore(const Memory& m) {
    lastDecisionCell = m.lastDecisionCell;
    openingFrames = m.openingFrames;
    framesDriven = m.framesDriven;
    decisions = m.decisions;
    openingTurn = m.openingTurn;
    aimTimer = m.aimTimer;
    gridReady = m.gridReady != 0;
}

void Driver::setOpening(int straightFrames, Turn firstTurn) {
    openingFrames = std::max(straightFrames, 0);
    openingTurn = firstTurn;
}

int Driver::clearSteps(const RaceView& view, const Vec3& p, Direction d, int reach) const {
    const SeatView& me = view.seats[view.self];
    const int64_t step = view.step > 0 ? view.step : FIXED_ONE;
    // From the point itself: a turn taken on another wall's line crashes at once.
    for (int k = 0; k <= reach; ++k) {
        int32_t hit = 0;
        if (collide(view.arena, d, pointAhead(p, d, step * k), me.wallIndex, hit)) return k;
    }
    return reach + 1;
}

Direction Driver::startDirection(const RaceView& view) {
    if (!gridReady) gridReady = grid.configure(view.arena);
    if (!gridReady) return MinusZ;
    grid.rebuild(view);
    theirsReady = false;
    const Vec3 p = view.seats[view.self].position;
    const int from = grid.cellOf(p);
    Direction best = MinusZ;
    int64_t bestScore = INT64_MIN;
    for (Direction d : {MinusZ, PlusX, PlusZ, MinusX}) {
        const int next = grid.neighbour(from, d);
        if (!grid.free(next)) continue;
        const int64_t score = levelValue == LevelClassic ? 0 : scoreMove(view, from, d, next);
        if (score > bestScore) {
            bestScore = score;
            best = d;
        }
    }
    lastDecisionCell = from;
    return best;
}

Turn Driver::decide(const RaceView& view, const Vec3& at) {
    const SeatView& me = view.seats[view.self];
    if (me.direction == Stopped || !view.arena) return TurnNone;
    ++framesDriven;
    if (levelValue == LevelClassic) return classicDecision(view, at);
    if (levelValue == LevelCautious) return cautiousDecision(view, at);
    if (!gridReady) gridReady = grid.configure(view.arena);
    if (!gridReady) return TurnNone;

    const bool blockedAhead = clearSteps(view, at, me.direction, 2) <= 2;
    if (framesDriven <= openingFrames && !blockedAhead) {
        if (framesDriven == openingFrames && openingTurn != TurnNone) {
            const bool allowed = openingTurn == TurnLeft ? view.canLeft : view.canRight;
            if (allowed && clearSteps(view, at, turned(me.direction, openingTurn), 2) > 2) return openingTurn;
        }
        return TurnNone;
    }
    const int here = grid.cellOf(at);
    const Fixed along = (me.direction & 1) == 0 ? at.x : at.z;
    const Fixed centre = grid.centreAlong(here, me.direction);
    // Turns are taken as near the cell's centre as the steps allow, so a wall stays within
    // its row of cells.
    const int64_t half = view.step / 2;
    const bool pastCentre = (me.direction == MinusX || me.direction == MinusZ)
                                ? static_cast<int64_t>(along) - half <= centre
                                : static_cast<int64_t>(along) + half >= centre;
    if (blockedAhead || (here != lastDecisionCell && pastCentre)) return gridDecision(view, at, blockedAhead);
    return TurnNone;
}

Turn Driver::gridDecision(const RaceView& view, const Vec3& at, bool forced) {
    ++decisions;
    grid.rebuild(view);
    theirsReady = false;
    const SeatView& me = view.seats[view.self];
    const int here = grid.cellOf(at);
    grid.block(here);

    // First pass: keep out of the cells just ahead of the other bikes, which their walls
    // may cross before we are through; second pass: any free cell.
    for (int pass = 0; pass < 2; ++pass) {
        Scored best{TurnNone, INT64_MIN};
        Scored bestAllowed{TurnNone, INT64_MIN};
        for (Turn t : {TurnNone, TurnLeft, TurnRight}) {
            const Direction d = turned(me.direction, t);
            const int next = grid.neighbour(here, d);
            if (!grid.free(next) || (pass == 0 && inFrontOfOthers(view, next))) continue;
            if (clearSteps(view, at, d, 3) <= 3) continue; // the exact test has the last word
            const int64_t score = scoreMove(view, here, d, next);
            if (score > best.score) best = {t, score};
            const bool allowed = t == TurnNone || (t == TurnLeft ? view.canLeft : view.canRight);
            if (allowed && score > bestAllowed.score) bestAllowed = {t, score};
        }
        if (best.score == INT64_MIN) continue;
        // A turn the steering holds back this frame is taken in the next one, while straight on is still safe.
        if (best.turn != bestAllowed.turn && !forced) return TurnNone;
        if (bestAllowed.score != INT64_MIN) {
            lastDecisionCell = here;
            return bestAllowed.turn;
        }
    }
    // Nothing the grid calls safe: the longest run the exact test allows.
    Turn longest = TurnNone;
    int longestSteps = -1;
    for (Turn t : {TurnNone, TurnLeft, TurnRight}) {
        if ((t == TurnLeft && !view.canLeft) || (t == TurnRight && !view.canRight)) continue;
        const int steps = clearSteps(view, at, turned(me.direction, t), 48);
        if (steps > longestSteps) {
            longestSteps = steps;
            longest = t;
        }
    }
    lastDecisionCell = here;
    return longest;
}

bool Driver::inFrontOfOthers(const RaceView& view, int c) const {
    for (int i = 0; i < view.count; ++i) {
        const SeatView& s = view.seats[i];
        if (i == view.self || !s.driving || s.direction == Stopped) continue;
        int ahead = grid.cellOf(s.position);
        for (int k = 0; k < headCells; ++k) {
            ahead = grid.neighbour(ahead, s.direction);
            if (ahead < 0) break;
            if (ahead == c) return true;
        }
    }
    return false;
}

int Driver::hugging(int c) const {
    int n = 0;
    for (Direction d : {MinusX, MinusZ, PlusX, PlusZ})
        if (!grid.free(grid.neighbour(c, d))) ++n;
    return n;
}

int Driver::floodCount(int start, int& black, int& white) {
    black = white = 0;
    if (!grid.free(start) || stamp[static_cast<size_t>(start)] == stampValue) return 0;
    int head = 0, tail = 0;
    queue[static_cast<size_t>(tail++)] = static_cast<uint16_t>(start);
    stamp[static_cast<size_t>(start)] = stampValue;
    while (head < tail) {
        const int c = queue[static_cast<size_t>(head++)];
        if (((grid.cellX(c) + grid.cellZ(c)) & 1) == 0) ++black;
        else ++white;
        for (Direction d : {MinusX, MinusZ, PlusX, PlusZ}) {
            const int n = grid.neighbour(c, d);
            if (!grid.free(n) || stamp[static_cast<size_t>(n)] == stampValue) continue;
            stamp[static_cast<size_t>(n)] = stampValue;
            queue[static_cast<size_t>(tail++)] = static_cast<uint16_t>(n);
        }
    }
    return tail;
}

namespace {

// A path through a region alternates the cells' colours of a chessboard: it cannot be
// longer than twice the rarer colour, plus one.
int64_t fillable(int count, int black, int white) {
    const int rare = std::min(black, white);
    return std::min<int64_t>(count, 2 * static_cast<int64_t>(rare) + (black != white ? 1 : 0));
}

} // namespace

// Entering `next` may cut the open space in parts; only one of them can be driven
// through afterwards.
int64_t Driver::largestBeyond(int next) {
    grid.block(next);
    ++stampValue;
    int64_t best = 0;
    for (Direction d : {MinusX, MinusZ, PlusX, PlusZ}) {
        int black = 0, white = 0;
        const int count = floodCount(grid.neighbour(next, d), black, white);
        if (count > 0) best = std::max(best, fillable(count, black, white));
    }
    grid.unblock(next);
    return 1 + best;
}

// Cells each side reaches first, counted from `mine` (one step from now) against the other
// bikes' heads (now). Cells reached at the same time belong to nobody. When no cell can be
// reached by both, each side has a chamber of its own: then what counts is how much of it
// can be driven through.
int64_t Driver::territory(int mine, const int* theirs, int theirCount, bool& shared) {
    const int cells = grid.width * grid.height;
    auto search = [&](std::vector<int16_t>& dist, const int* sources, int sourceCount, int16_t first) {
        std::fill(dist.begin(), dist.begin() + cells, FAR_AWAY);
        int head = 0, tail = 0;
        for (int i = 0; i < sourceCount; ++i) {
            const int s = sources[i];
            if (s < 0 || dist[static_cast<size_t>(s)] != FAR_AWAY) continue;
            dist[static_cast<size_t>(s)] = first;
            queue[static_cast<size_t>(tail++)] = static_cast<uint16_t>(s);
        }
        while (head < tail) {
            const int c = queue[static_cast<size_t>(head++)];
            const int16_t next = static_cast<int16_t>(dist[static_cast<size_t>(c)] + 1);
            for (Direction d : {MinusX, MinusZ, PlusX, PlusZ}) {
                const int n = grid.neighbour(c, d);
                if (!grid.free(n) || dist[static_cast<size_t>(n)] != FAR_AWAY) continue;
                dist[static_cast<size_t>(n)] = next;
                queue[static_cast<size_t>(tail++)] = static_cast<uint16_t>(n);
            }
        }
    };
    search(distMine, &mine, 1, 1);
    // The other bikes' distances do not depend on our move: one search per decision.
    if (!theirsReady) {
        search(distTheirs, theirs, theirCount, 0);
        theirsReady = true;
    }
    int64_t own = 0, other = 0;
    shared = false;
    for (int c = 0; c < cells; ++c) {
        const int16_t a = distMine[static_cast<size_t>(c)], b = distTheirs[static_cast<size_t>(c)];
        if (a < b) ++own;
        else if (b < a) ++other;
        if (a != FAR_AWAY && b != FAR_AWAY) shared = true;
    }
    if (shared) return own - other;
    // Apart: my chamber against theirs, each as much as can be driven through.
    const int64_t myFill = largestBeyond(mine);
    int64_t theirFill = 0;
    int black = 0, white = 0;
    for (int i = 0; i < theirCount; ++i) {
        for (Direction d : {MinusX, MinusZ, PlusX, PlusZ}) {
            const int got = floodCount(grid.neighbour(theirs[i], d), black, white);
            if (got > 0) theirFill += fillable(got, black, white);
        }
    }
    return myFill - theirFill;
}

int64_t Driver::scoreMove(const RaceView& view, int from, Direction d, int next) {
    const int64_t hug = hugging(next);
    if (levelValue == LevelWary) return largestBeyond(next) * 16 + hug;

    int heads[MAX_SEATS];
    int headCount = 0;
    for (int i = 0; i < view.count; ++i)
        if (i != view.self && view.seats[i].driving) heads[headCount++] = grid.cellOf(view.seats[i].position);
    if (headCount == 0) return largestBeyond(next) * 16 + hug;
    bool shared = false;
    return territory(next, heads, headCount, shared) * 16 + hug;
}

// Straight on until a wall is near, then the side with the longer way ahead.
Turn Driver::cautiousDecision(const RaceView& view, const Vec3& at) {
    const SeatView& me = view.seats[view.self];
    if (clearSteps(view, at, me.direction, lookSteps) > lookSteps) return TurnNone;
    Turn best = TurnNone;
    int bestSteps = clearSteps(view, at, me.direction, longSteps);
    for (Turn t : {TurnLeft, TurnRight}) {
        if ((t == TurnLeft && !view.canLeft) || (t == TurnRight && !view.canRight)) continue;
        const int steps = clearSteps(view, at, turned(me.direction, t), longSteps);
        if (steps > bestSteps) {
            bestSteps = steps;
            best = t;
        }
    }
    return best;
}

// The original opponent's rules, taken through the buttons: a probe four steps ahead, a
// chance side when it hits, and now and then a quarter turn towards the nearest bike.
Turn Driver::classicDecision(const RaceView& view, const Vec3& at) {
    const SeatView& me = view.seats[view.self];
    const int64_t probe = static_cast<int64_t>(FixedMul(FixedMul(FIXED_ONE, view.step), classicProbeSteps));
    int32_t hit = 0;
    auto blocked = [&](Direction d) { return collide(view.arena, d, pointAhead(at, d, probe), me.wallIndex, hit); };
    if (blocked(me.direction)) {
        const Turn first = (crt::rand() & 1) != 0 ? TurnRight : TurnLeft;
        const Turn other = first == TurnRight ? TurnLeft : TurnRight;
        Turn t = blocked(turned(me.direction, first)) ? other : first;
        if ((t == TurnLeft && !view.canLeft) || (t == TurnRight && !view.canRight)) t = t == TurnLeft ? TurnRight : TurnLeft;
        return t;
    }
    aimTimer = FixedAdd(aimTimer, sharedState.frameTime);
    if (aimTimer <= classicAimInterval) return TurnNone;
    aimTimer = 0;
    if (crt::rand() & 1) return TurnNone;
    int target = -1;
    int64_t nearest = INT64_MAX;
    for (int i = 0; i < view.count; ++i) {
        if (i == view.self || view.seats[i].wallIndex < 0) continue;
        const Vec3& a = view.seats[i].position;
        const int64_t distance = distanceOf(static_cast<int64_t>(a.x) - at.x) + distanceOf(static_cast<int64_t>(a.z) - at.z);
        if (distance < nearest) {
            nearest = distance;
            target = i;
        }
    }
    if (target < 0) return TurnNone;
    const Vec3& t = view.seats[target].position;
    const int64_t vx = static_cast<int64_t>(at.x) - t.x;
    const int64_t vz = static_cast<int64_t>(at.z) - t.z;
    const bool alongX = distanceOf(vx) > distanceOf(vz);
    const Direction main = alongX ? (vx > 0 ? PlusX : MinusX) : (vz > 0 ? MinusZ : PlusZ);
    const Direction cross = alongX ? (vz > 0 ? MinusZ : PlusZ) : (vx > 0 ? PlusX : MinusX);
    const Direction choice = (main & 1) == (me.direction & 1) ? cross : main;
    const Turn turn = turnBetween(me.direction, choice);
    if ((turn == TurnLeft && !view.canLeft) || (turn == TurnRight && !view.canRight)) return TurnNone;
    return turn;
}
