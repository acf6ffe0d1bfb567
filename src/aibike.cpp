#include "aibike.h"

#include <cstdlib>

#include "crtrand.h"
#include "driver.h"
#include "lightwall.h"
#include "sharedstate.h"
#include "sound.h"

namespace {

int64_t magnitude(int64_t v) { return v < 0 ? -v : v; }

Vec3 probeOffset(const Vec3& direction) {
    const Fixed step = sharedState.frameStep;
    return {FixedMul(FixedMul(direction.x, step), AiBike::probeSteps),
            FixedMul(FixedMul(direction.y, step), AiBike::probeSteps),
            FixedMul(FixedMul(direction.z, step), AiBike::probeSteps)};
}

// The opponent's turns ignore the latches: each one opens its latch again at once.
void turnTo(Steering& steering, bool right) {
    if (right) {
        steering.turnRight();
        steering.rightLatch = 1;
    } else {
        steering.turnLeft();
        steering.leftLatch = 1;
    }
}

} // namespace

AiBike::AiBike(const char* modelFile, ArenaTree* arena, const Vec3& startPosition, PlayerBike* target,
               uint32_t wallSeed)
    : Bike(modelFile, arena, startPosition, wallSeed) {
    this->target = target;
    state = AiDriving;
    aimTimer = 0;
    started = 0;
}

AiBike::~AiBike() = default;

void AiBike::reset() {
    position = startPosition;
    state = AiDriving;
    started = 0;
    Bike::reset();
    if (driver) driver->reset();
}

void AiBike::setLevel(int level) {
    if (level <= LevelClassic || level >= LevelCount) driver.reset();
    else driver = std::make_unique<Driver>(level);
}

int AiBike::level() const { return driver ? driver->level() : LevelClassic; }

// A level leaves its start in the direction it likes best, as the original one leaves in
// a direction of its choosing; it turns like the player, one button press at a time.
void AiBike::driverStart() {
    RaceView v;
    view(v);
    steering.direction = driver->startDirection(v);
}

void AiBike::driverSteer() {
    RaceView v;
    view(v);
    v.canLeft = steering.leftLatch != 0;
    v.canRight = steering.rightLatch != 0;
    const Turn turn = driver->decide(v, position);
    bool turnedNow = false;
    if (turn == TurnRight) turnedNow = steering.turnRight();
    else steering.rightLatch = 1;
    if (turn == TurnLeft) turnedNow = steering.turnLeft();
    else steering.leftLatch = 1;
    if (turnedNow)
        if (LightWall* w = wall()) w->turn(position, steering.direction);
}

// Both choices read the same signs: a positive x difference picks PlusX, a positive z
// difference MinusZ; on a tie the main axis is Z.
Direction AiBike::mainAxisChoice() const {
    const int64_t vx = static_cast<int64_t>(position.x) - target->position.x;
    const int64_t vz = static_cast<int64_t>(position.z) - target->position.z;
    if (magnitude(vx) > magnitude(vz)) return vx > 0 ? PlusX : MinusX;
    return vz > 0 ? MinusZ : PlusZ;
}

Direction AiBike::crossAxisChoice() const {
    const int64_t vx = static_cast<int64_t>(position.x) - target->position.x;
    const int64_t vz = static_cast<int64_t>(position.z) - target->position.z;
    if (magnitude(vx) > magnitude(vz)) return vz > 0 ? MinusZ : PlusZ;
    return vx > 0 ? PlusX : MinusX;
}

bool AiBike::probe() {
    const Vec3 offset = probeOffset(steering.directions[steering.direction]);
    position = {FixedAdd(position.x, offset.x), FixedAdd(position.y, offset.y), FixedAdd(position.z, offset.z)};
    const bool hit = collide(hitWall);
    position = {FixedSub(position.x, offset.x), FixedSub(position.y, offset.y), FixedSub(position.z, offset.z)};
    return hit;
}

void AiBike::decide() {
    LightWall* w = wall();
    if (probe()) {
        const bool right = (crt::rand() & 1) != 0;
        turnTo(steering, right);
        if (probe()) {
            // Blocked on both sides: face the other side, blocked or not.
            turnTo(steering, right);
            turnTo(steering, right);
        }
        if (w) w->turn(position, steering.direction);
        return;
    }
    // Only clear frames count towards the next re-aim.
    aimTimer = FixedAdd(aimTimer, sharedState.frameTime);
    if (aimTimer <= aimInterval) return;
    aimTimer = 0;
    if (crt::rand() & 1) return;
    const Direction choice = mainAxisChoice();
    // A re-aim always turns by a quarter: never onto the axis it already travels.
    steering.direction = ((choice & 1) == (steering.direction & 1)) ? crossAxisChoice() : choice;
    if (w) w->turn(position, steering.direction);
}

void AiBike::update() {
    drawnThisFrame = false;
    // A bike leaves its start once a round, on the frame of the first press.
    const bool leaving = sharedState.raceStarted && !started;
    if (leaving && driver) {
        driverStart();
        started = 1;
        if (LightWall* w = wall()) w->restart(steering.direction);
    } else if (leaving) {
        const bool even = (crt::rand() & 1) == 0;
        steering.direction = even ? crossAxisChoice() : mainAxisChoice();
        started = 1;
        if (LightWall* w = wall()) w->restart(steering.direction);
    }
    if (!started) {
        shown();
        return;
    }
    if (state == AiOut || state == AiScored) return;
    if (state == AiCrashed) {
        LightWall* w = wall();
        if (w) {
            if (w->sink()) {
                state = AiOut;
                w->hide();
            }
            w->freeze();
        } else {
            state = AiOut;
        }
        shown();
        return;
    }
    const Vec3& direction = steering.directions[steering.direction];
    position.x = FixedAdd(position.x, FixedMul(direction.x, sharedState.frameStep));
    position.y = FixedAdd(position.y, FixedMul(direction.y, sharedState.frameStep));
    position.z = FixedAdd(position.z, FixedMul(direction.z, sharedState.frameStep));
    if (driver) driverSteer();
    else decide();
    if (collide(hitWall)) {
        state = AiCrashed;
        playCrash();
    }
    heading = headingOf(steering.direction);
    shown();
}
