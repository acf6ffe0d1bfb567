#include "racerollback.h"

#include "net/session.h"

#include <algorithm>
#include <type_traits>

#include "aibike.h"
#include "bike.h"
#include "buttons.h"
#include "camera.h"
#include "crtrand.h"
#include "driver.h"
#include "frametimer.h"
#include "lightwall.h"
#include "platform/platform.h"
#include "race.h"
#include "racechecks.h"
#include "sharedstate.h"
#include "sound.h"

static_assert(net::kCheckGroups == platform::CHECK_GROUPS, "the session exchanges the replay's check groups");
static_assert(ButtonCount <= 7, "a seat's buttons are seven bits");
static_assert(std::is_trivially_copyable_v<Steering> && std::is_trivially_copyable_v<Frustum> &&
                  std::is_trivially_copyable_v<Vec3> && std::is_trivially_copyable_v<Driver::Memory>,
              "saved as bytes");

namespace {

// A wall's quad is held as its six distinct values: the start corner's x and z, the far
// end's x and z, the top's and the bottom's height. The walls keep those shared by their
// vertices (a quad's start vertices 0, 1 and 3 share x and z, its far ones 2, 4 and 5,
// its top ones 0, 2 and 5 the height), and a third of the bytes is what makes eight
// frames of a race with long walls fit in half a millisecond.
constexpr int kQuadValues = 6;
constexpr size_t kQuadBytes = kQuadValues * sizeof(Fixed);
// Quads encoded at a time, through a buffer on the stack.
constexpr int32_t kQuadChunk = 128;

void encodeQuad(const Fixed* v, Fixed* out) {
    out[0] = v[0];  // start x (vertex 0)
    out[1] = v[2];  // start z
    out[2] = v[6];  // far x (vertex 2)
    out[3] = v[8];  // far z
    out[4] = v[1];  // top height (vertex 0)
    out[5] = v[4];  // bottom height (vertex 1)
}

void decodeQuad(const Fixed* in, Fixed* v) {
    for (int vertex = 0; vertex < 6; ++vertex) {
        const bool far = vertex == 2 || vertex == 4 || vertex == 5;
        const bool top = vertex == 0 || vertex == 2 || vertex == 5;
        v[vertex * 3] = in[far ? 2 : 0];
        v[vertex * 3 + 1] = in[top ? 4 : 5];
        v[vertex * 3 + 2] = in[far ? 3 : 1];
    }
}

// The passes over the state: saving it, counting the bytes of the largest one, checking
// a snapshot against the race before anything is loaded, and loading it. value() is a
// field of the race; count() a size the pass itself needs (read by every reading pass);
// block() an array of a wall, quads() its quads.
struct Saver {
    static constexpr bool reads = false, applies = false, sizing = false;
    net::Snapshot& out;
    bool ok = true;
    template <typename T> void value(T& v) { out.put(v); }
    template <typename T> void count(T& v) { out.put(v); }
    template <typename T> void block(T* p, size_t n) { out.put(p, n * sizeof(T)); }
    void quads(const Fixed* vertices, int32_t total) {
        Fixed chunk[kQuadChunk * kQuadValues];
        for (int32_t first = 0; first < total; first += kQuadChunk) {
            const int32_t n = std::min(kQuadChunk, total - first);
            for (int32_t q = 0; q < n; ++q) encodeQuad(vertices + (first + q) * 18, chunk + q * kQuadValues);
            out.put(chunk, static_cast<size_t>(n) * kQuadBytes);
        }
    }
};

struct Sizer {
    static constexpr bool reads = false, applies = false, sizing = true;
    size_t bytes = 0;
    bool ok = true;
    template <typename T> void value(T&) { bytes += sizeof(T); }
    template <typename T> void count(T&) { bytes += sizeof(T); }
    template <typename T> void block(T*, size_t n) { bytes += n * sizeof(T); }
    void quads(const Fixed*, int32_t total) { bytes += static_cast<size_t>(total) * kQuadBytes; }
};

struct Checker {
    static constexpr bool reads = true, applies = false, sizing = false;
    const net::Snapshot& in;
    bool ok = true;
    size_t bytes = 0;
    template <typename T> void value(T&) {
        T scratch;
        count(scratch);
    }
    template <typename T> void count(T& v) {
        ok = ok && in.get(v);
        bytes += sizeof(T);
    }
    template <typename T> void block(T*, size_t n) { skip(n * sizeof(T)); }
    void quads(const Fixed*, int32_t total) { skip(static_cast<size_t>(total) * kQuadBytes); }
    void skip(size_t n) {
        uint8_t scratch[4096];
        for (size_t left = n; ok && left > 0;) {
            const size_t step = std::min(left, sizeof scratch);
            ok = in.get(scratch, step);
            left -= step;
            bytes += step;
        }
    }
};

struct Loader {
    static constexpr bool reads = true, applies = true, sizing = false;
    const net::Snapshot& in;
    bool ok = true;
    template <typename T> void value(T& v) { ok = ok && in.get(v); }
    template <typename T> void count(T& v) { ok = ok && in.get(v); }
    template <typename T> void block(T* p, size_t n) { ok = ok && in.get(p, n * sizeof(T)); }
    void quads(Fixed* vertices, int32_t total) {
        Fixed chunk[kQuadChunk * kQuadValues];
        for (int32_t first = 0; ok && first < total; first += kQuadChunk) {
            const int32_t n = std::min(kQuadChunk, total - first);
            ok = in.get(chunk, static_cast<size_t>(n) * kQuadBytes);
            for (int32_t q = 0; ok && q < n; ++q) decodeQuad(chunk + q * kQuadValues, vertices + (first + q) * 18);
        }
    }
};

// Which bikes the race has (bit 0 the player's, bits 1 to 3 the opponents' slots) and how
// many walls: a snapshot loads only into a race of the same make-up.
uint32_t makeUp(const Race& race) {
    uint32_t bits = race.player ? 1u : 0u;
    for (int slot = 0; slot < 3; ++slot)
        if (race.aiBikes[slot]) bits |= 2u << slot;
    bits |= static_cast<uint32_t>(race.humans & 7) << 4;
    return bits | static_cast<uint32_t>(sharedState.wallRegistry.size()) << 8;
}

// A wall's arrays: the vertices in use, but never less than the first quad, which a
// sinking wall reads even once emptied.
template <typename Io> void wallFields(Io& io, LightWall& wall) {
    int32_t state = wall.wallState;
    int32_t vertexTotal = wall.vertexCount;
    int32_t directionTotal = wall.directionCount();
    int32_t stored = wall.vertices ? std::max(wall.vertexCount, 6) : 0;
    if constexpr (Io::sizing) {
        stored = wall.vertices ? wall.capacity : 0;
        directionTotal = wall.capacity / 6;
    }
    io.count(state);
    io.count(vertexTotal);
    io.count(directionTotal);
    io.count(stored);
    if constexpr (Io::reads) {
        const bool fits = state >= WallGrowing && state <= WallHidden && vertexTotal >= 0 && directionTotal >= 0 &&
                          vertexTotal <= stored && stored % 6 == 0 && (stored == 0) == !wall.vertices &&
                          wall.makeRoom(stored) &&
                          directionTotal <= wall.capacity / 6;
        io.ok = io.ok && fits;
        if (!io.ok) return;
    }
    io.quads(wall.vertices.get(), stored / 6);
    io.block(wall.segmentDirections.get(), static_cast<size_t>(directionTotal));
    if constexpr (Io::applies) wall.restoreCounts(static_cast<WallState>(state), vertexTotal, directionTotal);
}

template <typename Io> void bikeFields(Io& io, Bike& bike) {
    io.value(bike.position);
    io.value(bike.heading);
    io.value(bike.steering);
    io.value(bike.drawnThisFrame);
}

} // namespace

RaceRollback::RaceRollback(Race& race, uint32_t tickMs) : race(race), tickMs(tickMs) {}

template <typename Io> bool RaceRollback::fields(Io& io) {
    uint32_t layout = makeUp(race);
    io.count(layout);
    if (Io::reads && layout != makeUp(race)) return false;
    io.value(frameNumber);

    uint32_t randState = crt::state();
    FrameTimerState timer = frameTimerState();
    io.value(randState);
    io.value(timer);
    if constexpr (Io::applies) {
        crt::srand(randState);
        restoreFrameTimer(timer);
    }
    io.value(sharedState.frameTime);
    io.value(sharedState.frameStep);
    io.value(sharedState.playerAlive);
    io.value(sharedState.raceStarted);
    io.value(sharedState.scores);
    io.value(race.scoredCount);
    io.value(race.killer);

    for (int seat = 0; seat < race.humans; ++seat) {
        Camera& camera = *race.seatCameras[seat];
        io.value(camera.eye);
        io.value(camera.centre);
        io.value(camera.up);
        io.value(camera.frustum);
        PlayerBike* human = race.seats[seat];
        if (!human) continue;
        io.value(human->cameraYaw);
        io.value(human->cameraYawTarget);
        io.value(human->playerAlive);
        io.value(human->gone);
        bikeFields(io, *human);
    }
    for (AiBike* bike : race.aiBikes) {
        if (!bike) continue;
        bikeFields(io, *bike);
        io.value(bike->aimTimer);
        io.value(bike->started);
        io.value(bike->state);
        io.value(bike->hitWall);
        // A driver of a level keeps its own memory across frames; the original opponent
        // has none beyond the bike's.
        int32_t level = bike->level();
        io.count(level);
        if (Io::reads && level != bike->level()) return false;
        if (bike->driver) {
            Driver::Memory memory = bike->driver->memory();
            io.value(memory);
            if constexpr (Io::applies) bike->driver->restore(memory);
        }
    }
    for (LightWall* wall : sharedState.wallRegistry) {
        bool present = wall != nullptr;
        io.count(present);
        if (Io::reads && present != (wall != nullptr)) return false;
        if (wall) wallFields(io, *wall);
        if (!io.ok) return false;
    }
    return io.ok;
}

size_t RaceRollback::snapshotBytes() const {
    Sizer sizer;
    const_cast<RaceRollback*>(this)->fields(sizer);
    return sizer.bytes;
}

void RaceRollback::saveState(net::Snapshot& into) {
    into.clear();
    Saver saver{into};
    fields(saver);
}

void RaceRollback::loadState(const net::Snapshot& from) {
    // Checked whole first, so that a snapshot that does not fit changes nothing.
    from.rewind();
    Checker checker{from};
    if (!fields(checker) || checker.bytes != from.size()) {
        ++failedLoads;
        return;
    }
    from.rewind();
    Loader loader{from};
    if (!fields(loader)) ++failedLoads;
}

uint32_t RaceRollback::tickFor(uint32_t at) {
    if (tickMs > 0) return frameTimerState().currentTick + tickMs;
    if (at < framesTicked && framesTicked - at <= kTickRing) return ticks[at % kTickRing];
    const uint32_t tick = platform::get().tickCount();
    ticks[at % kTickRing] = tick;
    framesTicked = at + 1;
    return tick;
}

void RaceRollback::advanceFrame(const net::SeatInputs& inputs) {
    for (int b = 0; b < ButtonCount; ++b) {
        sharedState.buttonHeld[b] = (inputs.seat[0] >> b) & 1;
        for (int seat = 1; seat < net::kMaxSeats; ++seat)
            sharedState.otherPlayersHeld[seat - 1][b] = (inputs.seat[seat] >> b) & 1;
    }
    for (int seat = 1; seat < net::kMaxSeats; ++seat)
        if (inputs.seat[seat] & net::kSeatLeft) race.seatLeaves(seat);
    holdEffects(true);
    race.runFrameAt(tickFor(frameNumber));
    holdEffects(false);
    ++frameNumber;
}

net::Checksum RaceRollback::checksum() {
    platform::ReplayCheck check;
    raceChecks(frameNumber, check);
    net::Checksum sum;
    std::copy(std::begin(check.groups), std::end(check.groups), std::begin(sum.group));
    return sum;
}

net::Buttons RaceRollback::heldButtons(int seat) {
    const uint8_t* held = seat <= 0 ? sharedState.buttonHeld : sharedState.otherPlayersHeld[(seat - 1) % 3];
    net::Buttons buttons = 0;
    for (int b = 0; b < ButtonCount; ++b)
        if (held[b]) buttons |= static_cast<net::Buttons>(1u << b);
    return buttons;
}
