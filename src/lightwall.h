// The light wall every bike leaves behind: one 20-unit-high quad per straight run, drawn
// as two triangles from client-side fixed-point arrays. The newest quad's far end follows
// the bike; a turn closes it and opens the next one at the turning point. All walls of a
// game live in sharedState.wallRegistry and are addressed by their index there.
#pragma once
#include <cstdint>
#include <memory>
#include "direction.h"
#include "fixed.h"

class Frustum;

// The wall's arrays come from malloc, so that growing them can use realloc: a long wall's
// pages are moved, not copied.
struct FreeDeleter {
    void operator()(void* p) const;
};
template <typename T>
using WallArray = std::unique_ptr<T[], FreeDeleter>;

struct WallBlock {
    Vec3 low, high;
};

enum WallState : int32_t {
    WallGrowing = 0,
    WallFrozen = 1,
    WallHidden = 2
};

class LightWall {
public:
    // seed: the colours of the first 500 quads are drawn from the generator seeded with it.
    LightWall(const Vec3& p, Direction d, uint32_t seed);
    LightWall(const LightWall&) = delete;
    LightWall& operator=(const LightWall&) = delete;

    void reset(const Vec3& p, Direction d);
    // The logic half of the design's draw: a growing wall's newest quad reaches to p.
    void follow(const Vec3& p);
    // The whole wall, as one draw call.
    void draw();
    // Only the blocks of quads that the view could see, in the wall's order: every quad
    // that can put a pixel into the view is drawn as the whole draw would draw it. One
    // call per view; nothing is allocated.
    void draw(const Frustum& view);
    void turn(const Vec3& p, Direction d);
    bool sink();
    void freeze();
    void hide();
    void restart(Direction d);

    // For loading a saved state: room for that many vertices (growing the arrays as a turn
    // would; false when they cannot grow), then the counts and state put back. The caller
    // writes the vertices and directions in between. The colours are not part of a saved
    // state: they are drawn at construction and only ever extended with black.
    bool makeRoom(int32_t vertexTotal);
    void restoreCounts(WallState state, int32_t vertexTotal, int32_t directionTotal);

    int32_t quadCount() const { return vertexCount / 6; }
    int32_t directionCount() const { return segmentCount; }
    // Room of the vertex and colour arrays, in vertices. At most `capacity` vertices are
    // in use; the colour array always covers them.
    int32_t vertexRoom() const { return vertexRoomCount; }
    int32_t colourRoom() const { return colourRoomCount; }
    // Blocks of blockQuads quads, oldest first; the last one may be partly filled.
    int32_t blockCount() const { return (quadCount() + blockQuads - 1) / blockQuads; }
    // The box around every vertex of one block, brought up to date first.
    const WallBlock& blockBox(int32_t block);

    int32_t capacity = 0;
    int32_t vertexCount = 0;
    WallArray<Fixed> vertices;              // x, y, z per vertex
    WallArray<Fixed> colours;               // r, g, b, a per vertex
    WallArray<Direction> segmentDirections; // one per quad, oldest first
    WallState wallState = WallGrowing;

    static constexpr int32_t initialCapacity = 3000;
    static constexpr int32_t initialColourVertices = 12000;
    static constexpr int32_t colouredQuads = 500;
    static constexpr Fixed wallHeight = 0x140000; // 20.0
    static constexpr Fixed sinkSpeed = 0x40000;   // 4.0 units per second of frame time
    // Quads per culling block: small enough that a wall crossing the view's edge loses
    // most of what is out of sight, large enough that a wall in view is a few draw calls.
    static constexpr int32_t blockQuads = 32;
    // Off only to measure what culling saves: draw(view) then draws the whole wall.
    static bool culling;

    // A wall never grows past this many vertices: beyond it the arrays could not be
    // counted in 32 bits. Growth that would pass it is treated like a failed allocation.
    static int32_t vertexLimit;

private:
    void startFirstQuad(const Vec3& p, Direction d);
    void extend(const Vec3& p);
    bool grow();
    void refreshBlocks();
    void beginDraw() const;
    void endDraw() const;
    // The boxes of blocks from this one on no longer hold.
    void blocksChanged(int32_t fromBlock) {
        if (fromBlock < blocksValid) blocksValid = fromBlock < 0 ? 0 : fromBlock;
    }

    WallArray<WallBlock> blocks;
    // Blocks before this one have boxes that hold; the block of the newest quad is never
    // among them, since its far end moves every frame.
    int32_t blocksValid = 0;

    int32_t vertexRoomCount = 0;
    int32_t colourRoomCount = 0;
    int32_t segmentCount = 0;
    bool growthFailed = false;
};

// Appends a new wall to the registry and returns its index, or -1 when it could not be made.
int32_t createWall(const Vec3& position, Direction d, uint32_t seed);
// Destroys every registered wall, so the walls of the next game are numbered from 0 again.
void clearWallRegistry();
// The wall of that index, or null.
LightWall* wallAt(int32_t index);
