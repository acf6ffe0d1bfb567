#include "lightwall.h"

#include <GLES/gl.h>
#include <cstdlib>
#include <cstring>
#include <new>

#include "crtrand.h"
#include "frustum.h"
#include "log.h"
#include "platform/platform.h"
#include "sharedstate.h"

int32_t LightWall::vertexLimit = 1 << 28;
bool LightWall::culling = true;

void FreeDeleter::operator()(void* p) const { std::free(p); }

namespace {

// Vertex roles within a quad: 0, 2 and 5 are the top, 2, 4 and 5 the far end.
constexpr int32_t startVertices[3] = {0, 1, 3};
constexpr int32_t farVertices[3] = {2, 4, 5};
constexpr int32_t topVertices[3] = {0, 2, 5};

template <typename T>
WallArray<T> allocateZeroed(int64_t count) {
    return WallArray<T>(static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T))));
}

// Grows the array in place or moves it; on failure the old one is kept as it was.
template <typename T>
bool reallocate(WallArray<T>& array, int64_t count) {
    T* moved = static_cast<T*>(std::realloc(array.get(), sizeof(T) * static_cast<size_t>(count)));
    if (!moved) return false;
    (void)array.release();
    array.reset(moved);
    return true;
}

// Culling blocks enough for every quad that many vertices can hold.
int64_t blocksFor(int64_t vertexCapacity) {
    return (vertexCapacity / 6 + LightWall::blockQuads - 1) / LightWall::blockQuads;
}

void reportNoMemory(const char* what) {
    setErrorLocation(__FILE__, __LINE__);
    if (platform::exists()) reportError("Not enough memory for %s", what);
}

} // namespace

LightWall::LightWall(const Vec3& p, Direction d, uint32_t seed) {
    const int32_t room = 3 * initialCapacity;
    vertices = allocateZeroed<Fixed>(3 * static_cast<int64_t>(room));
    colours = allocateZeroed<Fixed>(4 * static_cast<int64_t>(initialColourVertices));
    segmentDirections = allocateZeroed<Direction>(initialCapacity / 6);
    blocks = allocateZeroed<WallBlock>(blocksFor(initialCapacity));
    if (!vertices || !colours || !segmentDirections || !blocks) {
        // A wall without storage stays empty: it draws nothing and stops nobody.
        vertices.reset();
        colours.reset();
        segmentDirections.reset();
        blocks.reset();
        growthFailed = true;
        reportNoMemory("a light wall");
    } else {
        vertexRoomCount = room;
        colourRoomCount = initialColourVertices;
    }

    // Walls made in the same millisecond get the same colours: the seed is the tick count.
    crt::srand(seed);
    for (int32_t quad = 0; quad < colouredQuads; ++quad) {
        const Fixed red = static_cast<Fixed>(static_cast<float>(crt::rand() % 256) * 257.00394f);
        const Fixed green = static_cast<Fixed>(static_cast<float>(crt::rand() % 256) * 257.00394f);
        const Fixed blue = static_cast<Fixed>(static_cast<float>(crt::rand() % 256) * 257.00394f);
        if (!colours) continue;
        for (int32_t v = 0; v < 6; ++v) {
            Fixed* c = &colours[(quad * 6 + v) * 4];
            c[0] = red;
            c[1] = green;
            c[2] = blue;
            c[3] = 0;
        }
    }

    vertexCount = 0;
    capacity = initialCapacity;
    startFirstQuad(p, d);
}

void LightWall::startFirstQuad(const Vec3& p, Direction d) {
    if (!vertices) return;
    for (int32_t v = 0; v < 6; ++v) {
        Fixed* q = &vertices[v * 3];
        q[0] = p.x;
        q[1] = (v == 0 || v == 2 || v == 5) ? FixedAdd(p.y, wallHeight) : p.y;
        q[2] = p.z;
    }
    vertexCount += 6;
    segmentDirections[segmentCount++] = d;
    wallState = WallGrowing;
    blocksChanged(0);
}

void LightWall::extend(const Vec3& p) {
    if (vertexCount < 6) return;
    Fixed* quad = &vertices[(vertexCount - 6) * 3];
    for (int32_t v : farVertices) {
        quad[v * 3] = p.x;
        quad[v * 3 + 2] = p.z;
    }
}

// The vertex array keeps its room of three times the capacity, but no more than
// `capacity` vertices are ever in use, so the rest is never written (nor, being fresh
// pages, ever faulted in). Colours and directions only need to cover the vertices in use.
// A refusal leaves every array usable: an array already grown only has more room.
bool LightWall::grow() {
    if (growthFailed) return false;
    const int64_t newCapacity = 2 * static_cast<int64_t>(capacity);
    const int64_t newRoom = 3 * newCapacity;
    bool grown = newRoom <= vertexLimit;
    if (grown && (grown = reallocate(vertices, 3 * newRoom))) vertexRoomCount = static_cast<int32_t>(newRoom);
    grown = grown && reallocate(segmentDirections, newCapacity / 6);
    grown = grown && reallocate(blocks, blocksFor(newCapacity));
    if (grown && newCapacity > colourRoomCount && (grown = reallocate(colours, 4 * newCapacity))) {
        // The colour array keeps up with the vertices drawn; the added entries are black
        // with alpha 0, like every quad past the 500th.
        const size_t kept = 4 * static_cast<size_t>(colourRoomCount);
        std::memset(colours.get() + kept, 0, sizeof(Fixed) * (4 * static_cast<size_t>(newCapacity) - kept));
        colourRoomCount = static_cast<int32_t>(newCapacity);
    }
    if (!grown) {
        growthFailed = true;
        reportNoMemory("a longer light wall");
        return false;
    }
    capacity = static_cast<int32_t>(newCapacity);
    return true;
}

bool LightWall::makeRoom(int32_t vertexTotal) {
    if (!vertices) return vertexTotal == 0;
    while (vertexTotal > capacity)
        if (!grow()) return false;
    return true;
}

void LightWall::restoreCounts(WallState state, int32_t vertexTotal, int32_t directionTotal) {
    vertexCount = vertexTotal;
    segmentCount = directionTotal;
    wallState = state;
    // The caller has written the vertices themselves.
    blocksChanged(0);
}

void LightWall::reset(const Vec3& p, Direction d) {
    vertexCount = 0;
    segmentCount = 0;
    wallState = WallGrowing;
    startFirstQuad(p, d);
}

void LightWall::follow(const Vec3& p) {
    if (wallState == WallGrowing) extend(p);
}

void LightWall::draw() {
    if (wallState == WallHidden || !vertices) return;
    beginDraw();
    glDrawArrays(GL_TRIANGLES, 0, vertexCount);
    endDraw();
}

void LightWall::beginDraw() const {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FIXED, 0, colours.get());
    glVertexPointer(3, GL_FIXED, 0, vertices.get());
}

// The state after a wall is the same whatever was drawn of it: what comes next depends on it.
void LightWall::endDraw() const {
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnable(GL_CULL_FACE);
    glColor4x(0x10000, 0x10000, 0x10000, 0);
}

void LightWall::draw(const Frustum& view) {
    if (!culling) {
        draw();
        return;
    }
    if (wallState == WallHidden || !vertices) return;
    refreshBlocks();
    beginDraw();
    // Neighbouring blocks in sight go out as one run.
    const int32_t count = blockCount();
    int32_t runStart = -1;
    for (int32_t block = 0; block <= count; ++block) {
        const bool seen = block < count && !view.boxOutside(blocks[block].low, blocks[block].high);
        if (seen && runStart < 0) runStart = block;
        if (seen || runStart < 0) continue;
        const int32_t first = runStart * blockQuads * 6;
        const int32_t end = block * blockQuads * 6;
        glDrawArrays(GL_TRIANGLES, first, (end < vertexCount ? end : vertexCount) - first);
        runStart = -1;
    }
    endDraw();
}

const WallBlock& LightWall::blockBox(int32_t block) {
    if (block >= blocksValid) refreshBlocks();
    return blocks[block];
}

void LightWall::refreshBlocks() {
    if (!blocks) return;
    const int32_t count = blockCount();
    for (int32_t block = blocksValid; block < count; ++block) {
        const int32_t first = block * blockQuads * 6;
        const int32_t end = first + blockQuads * 6 < vertexCount ? first + blockQuads * 6 : vertexCount;
        const Fixed* v = &vertices[first * 3];
        WallBlock box{{v[0], v[1], v[2]}, {v[0], v[1], v[2]}};
        for (int32_t n = first + 1; n < end; ++n) {
            v += 3;
            if (v[0] < box.low.x) box.low.x = v[0];
            if (v[0] > box.high.x) box.high.x = v[0];
            if (v[1] < box.low.y) box.low.y = v[1];
            if (v[1] > box.high.y) box.high.y = v[1];
            if (v[2] < box.low.z) box.low.z = v[2];
            if (v[2] > box.high.z) box.high.z = v[2];
        }
        blocks[block] = box;
    }
    blocksValid = count > 0 ? count - 1 : 0;
}

void LightWall::turn(const Vec3& p, Direction d) {
    // Without a quad to close there is no corner to turn at.
    if (vertexCount < 6) return;
    // A turn that finds no room is dropped whole, so the arrays never disagree.
    if (vertexCount + 6 > capacity && !grow()) return;
    vertexCount += 6;
    Fixed* next = &vertices[(vertexCount - 6) * 3];
    Fixed* previous = next - 18;
    std::memcpy(next, previous, sizeof(Fixed) * 18);
    for (int32_t v : farVertices) {
        previous[v * 3] = p.x;
        previous[v * 3 + 2] = p.z;
    }
    for (int32_t v : startVertices) {
        next[v * 3] = p.x;
        next[v * 3 + 2] = p.z;
    }
    segmentDirections[segmentCount++] = d;
}

bool LightWall::sink() {
    if (!vertices) return true;
    const Fixed step = FixedMul(sharedState.frameTime, sinkSpeed);
    // The height is read even from an emptied wall: its first quad's data is still there.
    if (vertices[2 * 3 + 1] < step) return true;
    for (int32_t quad = 0; quad < quadCount(); ++quad) {
        Fixed* q = &vertices[quad * 18];
        for (int32_t v : topVertices) q[v * 3 + 1] = FixedSub(q[v * 3 + 1], step);
    }
    blocksChanged(0);
    return false;
}

void LightWall::freeze() { wallState = WallFrozen; }

void LightWall::hide() {
    vertexCount = 0;
    segmentCount = 0;
    wallState = WallHidden;
    blocksChanged(0);
}

void LightWall::restart(Direction d) {
    if (segmentCount == 0) return;
    segmentDirections[segmentCount - 1] = d;
}

int32_t createWall(const Vec3& position, Direction d, uint32_t seed) {
    // Walls still registered at exit are destroyed before the registry itself goes; a
    // handler registered after start-up runs before the static state is torn down.
    static const bool clearedAtExit = std::atexit(clearWallRegistry) == 0;
    (void)clearedAtExit;
    LightWall* wall = new (std::nothrow) LightWall(position, d, seed);
    if (!wall) {
        reportNoMemory("a light wall");
        return -1;
    }
    sharedState.wallRegistry.push_back(wall);
    return static_cast<int32_t>(sharedState.wallRegistry.size()) - 1;
}

void clearWallRegistry() {
    for (LightWall* wall : sharedState.wallRegistry) delete wall;
    sharedState.wallRegistry.clear();
}

LightWall* wallAt(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(sharedState.wallRegistry.size())) return nullptr;
    return sharedState.wallRegistry[static_cast<size_t>(index)];
}
