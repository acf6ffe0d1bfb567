// Computer drivers above the original opponent: each level looks at the race (walls, the
// bikes, the arena) on behalf of one seat and answers with one turn or none, which goes
// through the same steering as the player's buttons. A driver keeps its working grids from
// construction on, so deciding allocates nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "direction.h"
#include "fixed.h"
#include "seat.h"

// How far ahead the original opponent probes and how often it re-aims (frame steps and
// seconds of frame time); the opponent and the drivers share them.
constexpr Fixed classicProbeSteps = 0x40000; // 4.0 frame steps ahead
constexpr Fixed classicAimInterval = 0x40000; // 4.0 seconds of frame time

class ArenaTree;
class Race;

// Weakest first; the order is the measured one (docs/ai-ladder.md).
enum DriverLevel : int32_t {
    LevelClassic = 0,     // the original opponent
    LevelCautious = 1,    // turns only for walls close ahead, to the side with more room
    LevelWary = 2,        // keeps to the largest open space
    LevelTerritorial = 3, // claims the cells it reaches before anybody else
    LevelCount = 4
};

const char* levelName(int level);
// -1 when the name is none of the levels.
int levelByName(const std::string& name);
// "classic, wary, ..." for messages.
std::string levelNames();

enum Turn : int32_t { TurnNone = 0, TurnLeft = 1, TurnRight = 2 };

Direction turned(Direction d, Turn turn);

struct SeatView {
    Vec3 position = {0, 0, 0};
    Direction direction = Stopped;
    int32_t wallIndex = -1;
    bool driving = false; // still in the race (a waiting bike counts: it will leave its start)
};

// The race as one seat's driver sees it.
struct RaceView {
    SeatView seats[MAX_SEATS];
    int32_t count = 0;
    int32_t self = 0;
    const ArenaTree* arena = nullptr;
    Fixed step = 0;       // this frame's step (the collision tolerance)
    bool canLeft = true;  // what the seat's steering allows this frame
    bool canRight = true;
};

// The race's seats: 0 the player's bike, 1 to 3 the opponents of slots 0 to 2.
bool viewOfRace(const Race& race, int seat, RaceView& out);

// The arena cut into square cells; a cell is blocked when any point of it is within reach
// of a wall (the margin covers the collision tolerance), so a free cell is safe to drive
// through in any direction.
class ArenaGrid {
public:
    static constexpr int MAX_SIDE = 104;
    static constexpr int MAX_CELLS = MAX_SIDE * MAX_SIDE;

    ArenaGrid();
    // False when the arena has no playing field.
    bool configure(const ArenaTree* arena);
    void rebuild(const RaceView& view);

    int cellOf(const Vec3& p) const;
    int cellX(int cell) const { return cell % width; }
    int cellZ(int cell) const { return cell / width; }
    // The neighbour in direction d, or -1 beyond the arena.
    int neighbour(int cell, Direction d) const;
    bool free(int cell) const { return cell >= 0 && blocked[static_cast<size_t>(cell)] == 0; }
    // Where the centre of the cell lies along the axis of d, for deciding at the centre.
    Fixed centreAlong(int cell, Direction d) const;
    void block(int cell) { if (cell >= 0) blocked[static_cast<size_t>(cell)] = 1; }
    void unblock(int cell) { if (cell >= 0) blocked[static_cast<size_t>(cell)] = 0; }

    int width = 0;
    int height = 0;
    Fixed cell = 10 * FIXED_ONE;
    Fixed minX = 0;
    Fixed minZ = 0;
    std::vector<uint8_t> blocked;

private:
    int64_t arenaBounds[4] = {0, 0, 0, 0}; // minimum x, minimum z, maximum x, maximum z
    void markRectangle(int64_t x0, int64_t z0, int64_t x1, int64_t z1);
};

class Driver {
public:
    explicit Driver(int level);

    // A new race: forget the last one's decisions. The opening (straight frames, then an
    // optional turn) lets seeded matches start differently; none by default.
    void reset();
    void setOpening(int straightFrames, Turn firstTurn);

    // The direction to leave the start in, for seats that choose it (opponents).
    Direction startDirection(const RaceView& view);
    // This frame's turn for the seat. `at` is where the turn would be taken.
    Turn decide(const RaceView& view, const Vec3& at);

    int level() const { return levelValue; }

    // What a driver carries from one frame to the next, for saving a race's state. The
    // grid's cells, the searches' distances and marks are rebuilt by every decision that
    // reads them, so they are not part of it; the mark counter only ever counts on, so
    // that no mark left by frames a rollback undid is taken for a new one.
    struct Memory {
        int32_t lastDecisionCell;
        int32_t openingFrames;
        int64_t framesDriven;
        int64_t decisions;
        Turn openingTurn;
        Fixed aimTimer;
        uint8_t gridReady;
    };
    Memory memory() const;
    void restore(const Memory& m);

    // Decisions made on the grid (not counting the frames that only checked ahead).
    long decisions = 0;

private:
    struct Scored {
        Turn turn;
        int64_t score;
    };
    Turn classicDecision(const RaceView& view, const Vec3& at);
    Turn cautiousDecision(const RaceView& view, const Vec3& at);
    Turn gridDecision(const RaceView& view, const Vec3& at, bool forced);
    int64_t scoreMove(const RaceView& view, int from, Direction d, int next);
    int64_t territory(int mine, const int* theirs, int theirCount, bool& shared);
    int64_t largestBeyond(int next);
    int floodCount(int start, int& black, int& white);
    int hugging(int cell) const;
    bool inFrontOfOthers(const RaceView& view, int cell) const;
    // How many of the points p, p + one step, ... p + reach steps along d the crash test
    // passes before the first that crashes (reach + 1: all).
    int clearSteps(const RaceView& view, const Vec3& p, Direction d, int reach) const;

    static constexpr int lookSteps = 4;  // as far ahead as the original opponent looks
    static constexpr int longSteps = 64;
    static constexpr int headCells = 2; // cells ahead of another bike kept clear of

    int levelValue;
    ArenaGrid grid;
    bool gridReady = false;
    int lastDecisionCell = -1;
    long framesDriven = 0;
    int openingFrames = 0;
    Turn openingTurn = TurnNone;
    Fixed aimTimer = 0;

    // Working memory, sized once.
    std::vector<int16_t> distMine;
    std::vector<int16_t> distTheirs;
    std::vector<uint16_t> queue;
    std::vector<uint32_t> stamp;
    uint32_t stampValue = 0;
    bool theirsReady = false; // distTheirs holds this decision's search
};
