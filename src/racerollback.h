// The race as the rollback session sees it: its whole state saved into a snapshot and
// loaded back, one frame run with every seat's buttons, and the replay's seven check
// hashes. The race knows nothing of this; this side knows the race's parts.
//
// What a snapshot holds: the frame number, the game's rand, the frame timer's ticks,
// frameTime and frameStep, the race flags and scores, every human seat's camera (eye, centre, up,
// frustum) and its swing angles, every bike (position, heading, steering and latches,
// whether it was shown), every opponent's driving state and its driver's memory, and
// every light wall (state, quad vertices, directions). A wall's colours are not held: they are drawn when the wall
// is made and only ever extended with black, so no frame changes them.
//
// What it leaves out on purpose: sounds. They are effects, not state; frames run here hold
// them (holdEffects), and the owner of a session plays them for confirmed frames only, so a
// crash that a rollback undid is never heard.
#pragma once
#include <array>
#include <cstdint>

#include "net/rollbackgame.h"

class Race;

class RaceRollback : public net::RollbackGame {
public:
    // tickMs > 0: every frame advances the clock by that much, as on every machine of an
    // online race. tickMs == 0: a frame run for the first time reads the platform's clock
    // (a replay's recorded ticks), and a frame run again reads the tick it first had.
    RaceRollback(Race& race, uint32_t tickMs);

    // The race's fixed part and its walls at their present room; a wall that grows past
    // its room makes the snapshots grow with it, once per doubling, never per frame.
    size_t snapshotBytes() const override;
    void saveState(net::Snapshot& into) override;
    // A snapshot that does not fit this race (another set of bikes or walls, cut short) is
    // refused whole: the race is left as it was and loadFailures() counts it.
    void loadState(const net::Snapshot& from) override;
    // Seat s drives the race's human seat s; inputs of seats the race has no human for are
    // held but read by nobody.
    void advanceFrame(const net::SeatInputs& inputs) override;
    net::Checksum checksum() override;

    // Frames advanced since the race was set up (the number of the next one).
    uint32_t frame() const { return frameNumber; }
    int loadFailures() const { return failedLoads; }

    // The buttons of a seat as the race holds them now.
    static net::Buttons heldButtons(int seat = 0);

private:
    template <typename Io> bool fields(Io& io);
    uint32_t tickFor(uint32_t frame);

    Race& race;
    uint32_t tickMs;
    uint32_t frameNumber = 0;
    int failedLoads = 0;

    // The ticks of the newest frames, by frame number, when they come from the clock.
    static constexpr int kTickRing = 64;
    std::array<uint32_t, kTickRing> ticks{};
    uint32_t framesTicked = 0; // frames 0 .. framesTicked − 1 have their tick
};
