// A computer-driven opponent: it waits until the player's bike starts, then drives on its
// own, looks four steps ahead, turns away from what it sees there and now and then turns
// to line up with the player's bike.
#pragma once
#include <cstdint>
#include <memory>
#include "bike.h"
#include "collision.h"
#include "driver.h"

class Driver;
struct RaceView;

enum AiState : int32_t {
    AiDriving = 0,
    AiCrashed = 1, // wall sinking, bike still drawn
    AiOut = 2,     // wall gone, waiting to be scored
    AiScored = 3   // scored by the race; nothing more happens
};

class AiBike : public Bike {
public:
    AiBike(const char* modelFile, ArenaTree* arena, const Vec3& startPosition, PlayerBike* target, uint32_t wallSeed);

    ~AiBike() override;
    void update() override;
    void reset();
    // The level that drives this bike; classic is the original opponent, the others a Driver.
    void setLevel(int level);
    int level() const;

    // Leaves position where it was; writes hitWall.
    bool probe();
    void decide();
    Direction mainAxisChoice() const;
    Direction crossAxisChoice() const;

    PlayerBike* target = nullptr;
    Fixed aimTimer = 0;
    uint8_t started = 0;
    AiState state = AiDriving;
    int32_t hitWall = HIT_ARENA_EDGE;
    // Null for the original opponent.
    std::unique_ptr<Driver> driver;

    static constexpr Fixed aimInterval = classicAimInterval;
    static constexpr Fixed probeSteps = classicProbeSteps;

private:
    void driverStart();
    void driverSteer();
    // This bike's seat in the race, or a race of this bike and its target alone.
    void view(RaceView& out) const;
};

