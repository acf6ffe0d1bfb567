// A game small enough to reason about and strict enough to catch a rollback fault: a few
// integers whose next values depend on every seat's buttons of the frame, so one frame
// run with a wrong prediction and never run again leaves a different checksum for ever.
#pragma once
#include <cstdint>
#include <vector>

#include "net/rollbackgame.h"

namespace toy {

struct ToyGame : net::RollbackGame {
    uint32_t seatValue[net::kMaxSeats] = {1, 2, 3, 4};
    uint32_t mix = 0x9E3779B9u;
    uint32_t frames = 0;
    // Extra state, only to make a snapshot as large as a real race's (walls).
    std::vector<uint32_t> ballast;

    explicit ToyGame(size_t ballastWords = 0) : ballast(ballastWords, 0) {}

    size_t snapshotBytes() const override { return 6 * sizeof(uint32_t) + ballast.size() * 4; }
    void saveState(net::Snapshot& s) override
    {
        s.clear();
        s.put(seatValue);
        s.put(mix);
        s.put(frames);
        if (!ballast.empty())
            s.put(ballast.data(), ballast.size() * 4);
    }
    void loadState(const net::Snapshot& s) override
    {
        s.get(seatValue);
        s.get(mix);
        s.get(frames);
        if (!ballast.empty())
            s.get(ballast.data(), ballast.size() * 4);
    }
    void advanceFrame(const net::SeatInputs& in) override
    {
        for (int s = 0; s < net::kMaxSeats; ++s) {
            seatValue[s] = seatValue[s] * 1664525u + 1013904223u + in.seat[s] * 7919u;
            mix = ((mix << 5) | (mix >> 27)) ^ (seatValue[s] + uint32_t(s));
        }
        if (!ballast.empty())
            ballast[frames % ballast.size()] ^= mix;
        frames++;
    }
    net::Checksum checksum() override
    {
        net::Checksum c;
        for (int s = 0; s < net::kMaxSeats; ++s)
            c.group[s] = seatValue[s];
        c.group[4] = mix;
        c.group[5] = frames;
        uint32_t h = 0;
        for (uint32_t w : ballast)
            h = h * 31u + w;
        c.group[6] = h;
        return c;
    }
};

// Keeps one value outside its snapshot, as a race would that forgot a field.
struct LeakyGame : ToyGame {
    uint32_t unsaved = 0;
    void advanceFrame(const net::SeatInputs& in) override
    {
        ToyGame::advanceFrame(in);
        unsaved++;
        if (unsaved % 50 == 0)
            mix ^= unsaved;
    }
};

// A deterministic pattern of buttons for a seat: held for a while, then changed, as a
// player's turns are.
inline net::Buttons scriptedButtons(int seat, int frame)
{
    uint32_t x = uint32_t(frame / (7 + seat * 3)) * 2654435761u + uint32_t(seat) * 40503u;
    x ^= x >> 13;
    return net::Buttons(x & net::kButtonMask);
}

} // namespace toy
