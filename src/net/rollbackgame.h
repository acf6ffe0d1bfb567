// What a game offers the network: save its whole state, load it back, run one fixed tick
// with every seat's buttons, and hash its state. The race implements it; it never sees a
// socket, and the network never sees the race.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace net {

constexpr int kMaxSeats = 4;
// The replay's check hashes: one 32-bit value per group of the race state.
constexpr int kCheckGroups = 7;

// The seven buttons of one seat in one frame, bit b set while button b is held.
using Buttons = uint8_t;
constexpr Buttons kButtonMask = 0x7F;

struct SeatInputs {
    Buttons seat[kMaxSeats] = {};
};

struct Checksum {
    uint32_t group[kCheckGroups] = {};
    bool operator==(const Checksum&) const = default;
    // Bit g set where group g differs.
    uint32_t differingGroups(const Checksum& other) const
    {
        uint32_t mask = 0;
        for (int g = 0; g < kCheckGroups; ++g)
            if (group[g] != other.group[g])
                mask |= 1u << g;
        return mask;
    }
};

// A saved state: bytes the game writes and reads back in the same order. Its storage is
// reserved once when the session starts (the game says how much it needs) and reused
// frame after frame, so saving allocates nothing unless the state outgrows the reserve.
class Snapshot {
    // Growing the bytes leaves the new ones unset: put() writes them at once, and a large
    // state would otherwise be written twice, zeros first.
    struct Unset : std::allocator<uint8_t> {
        template <typename U> struct rebind { using other = Unset; };
        Unset() = default;
        template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
        template <typename U, typename... A> void construct(U* p, A&&... a)
        {
            ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
        }
    };

public:
    void reserve(size_t bytes) { data.reserve(bytes); }
    size_t capacity() const { return data.capacity(); }
    size_t size() const { return data.size(); }

    // Writing: clear, then put the fields.
    void clear() { data.clear(); readAt = 0; }
    void put(const void* bytes, size_t n)
    {
        size_t at = data.size();
        data.resize(at + n);
        std::memcpy(data.data() + at, bytes, n);
    }
    template <typename T> void put(const T& value) { put(&value, sizeof value); }

    // Reading, in the order written. False once a read would pass the end (the bytes
    // left are then untouched): a game that reads more than it wrote is a fault it sees.
    void rewind() const { readAt = 0; }
    bool get(void* bytes, size_t n) const
    {
        if (n > data.size() - readAt)
            return false;
        std::memcpy(bytes, data.data() + readAt, n);
        readAt += n;
        return true;
    }
    template <typename T> bool get(T& value) const { return get(&value, sizeof value); }

private:
    std::vector<uint8_t, Unset> data;
    mutable size_t readAt = 0;
};

class RollbackGame {
public:
    virtual ~RollbackGame() = default;
    // How many bytes a snapshot of this game takes at most, as far as the game knows:
    // the session reserves that much for each of its saved states.
    virtual size_t snapshotBytes() const = 0;
    virtual void saveState(Snapshot& into) = 0;
    virtual void loadState(const Snapshot& from) = 0;
    // One fixed tick with the buttons of every seat.
    virtual void advanceFrame(const SeatInputs& inputs) = 0;
    virtual Checksum checksum() = 0;
};

} // namespace net
