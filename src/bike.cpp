#include "bike.h"

#include <GLES/gl.h>

#include "camera.h"
#include "collision.h"
#include "lightwall.h"
#include "model.h"
#include "sharedstate.h"
#include "sound.h"

void Steering::reset() {
    directions[MinusX] = {-FIXED_ONE, 0, 0};
    directions[MinusZ] = {0, 0, -FIXED_ONE};
    directions[PlusX] = {FIXED_ONE, 0, 0};
    directions[PlusZ] = {0, 0, FIXED_ONE};
    directions[Stopped] = {0, 0, 0};
    rightLatch = 1;
    leftLatch = 1;
    direction = Stopped;
}

namespace {

// The first press of either button sets every bike of the race going.
void start(Steering& steering) {
    steering.direction = steering.startDirection;
    sharedState.raceStarted = 1;
    playEngine();
}

// One press of a turn button: the latch lets a held button turn only once; step is a
// quarter turn right (1) or left (3) in Direction order.
bool turn(Steering& steering, uint8_t& latch, int step) {
    if (steering.direction == Stopped) {
        start(steering);
        latch = 0;
        return false;
    }
    if (latch == 0) return false;
    latch = 0;
    steering.direction = static_cast<Direction>((steering.direction + step) & 3);
    return true;
}

} // namespace

bool Steering::turnRight() { return turn(*this, rightLatch, 1); }

bool Steering::turnLeft() { return turn(*this, leftLatch, 3); }

Bike::Bike(const char* modelFile, ArenaTree* arena, const Vec3& startPosition, uint32_t wallSeed) {
    steering.reset();
    this->arena = arena;
    heading = 0;
    position = startPosition;
    this->startPosition = startPosition;
    wallIndex = createWall(position, MinusZ, wallSeed);
    model = new Model();
    model->loadFile(modelFile);
}

Bike::~Bike() { delete model; }

LightWall* Bike::wall() const { return wallAt(wallIndex); }

void Bike::reset() {
    heading = 0;
    steering.reset();
    if (LightWall* w = wall()) w->reset(position, MinusZ);
}

void Bike::draw(const Camera& view) {
    glPushMatrix();
    glTranslatex(position.x, position.y, position.z);
    glPushMatrix();
    glRotatex(heading, 0, FIXED_ONE, 0);
    model->draw();
    glPopMatrix();
    glPopMatrix();
    if (LightWall* w = wall()) w->draw(view.frustum);
}

void Bike::shown() {
    drawnThisFrame = true;
    if (LightWall* w = wall()) w->follow(position);
}

bool Bike::collide(int32_t& hitWall) const {
    return ::collide(arena, steering.direction, position, wallIndex, hitWall);
}

PlayerBike::PlayerBike(const char* modelFile, ArenaTree* arena, Camera* camera, uint32_t wallSeed,
                       Direction startDirection, const uint8_t* buttons)
    : Bike(modelFile, arena, camera->centre, wallSeed) {
    this->camera = camera;
    this->buttons = buttons ? buttons : sharedState.buttonHeld;
    steering.startDirection = startDirection;
    heading = headingOf(startDirection);
    playerAlive = 1;
    sharedState.playerAlive = 1;
    // Every game starts with the camera behind the bike: a race left during a swing must
    // not hand its swing to the next one.
    cameraYaw = 0;
    cameraYawTarget = 0;
}

void PlayerBike::reset() {
    playerAlive = gone ? 0 : 1;
    if (!gone) sharedState.playerAlive = 1;
    position = camera->centre;
    cameraYaw = 0;
    cameraYawTarget = 0;
    Bike::reset();
    heading = headingOf(steering.startDirection);
}

void PlayerBike::crash() {
    // The race settles the program-wide flag once every seat's crash of the frame is in.
    playerAlive = 0;
    sharedState.playerAlive = 0;
    if (LightWall* w = wall()) w->freeze();
}

void PlayerBike::leftStart() {
    if (steering.startDirection == MinusZ) return;
    if (LightWall* w = wall()) w->restart(steering.startDirection);
}

void PlayerBike::setOff() {
    if (steering.direction != Stopped) return;
    steering.direction = steering.startDirection;
    // A player who presses a frame after another is starting too, not turning: a key
    // held on from here counts as this player's start. Latches open again on release.
    steering.rightLatch = 0;
    steering.leftLatch = 0;
    leftStart();
}

bool PlayerBike::press(bool right) {
    const bool waiting = steering.direction == Stopped;
    const bool turned = right ? steering.turnRight() : steering.turnLeft();
    if (waiting && steering.direction != Stopped) leftStart();
    return turned;
}

void PlayerBike::steer() {
    if (buttons[ButtonRight]) {
        if (press(true)) {
            cameraYawTarget = FixedAdd(cameraYawTarget, quarterTurnRadians);
            heading = FixedSub(heading, degrees90);
            // 90 turns into 360, not 0: both draw alike.
            if (heading < FIXED_ONE) heading = FixedAdd(heading, degrees360);
            if (LightWall* w = wall()) w->turn(position, steering.direction);
        }
    } else {
        steering.rightLatch = 1;
    }
    if (buttons[ButtonLeft]) {
        if (press(false)) {
            cameraYawTarget = FixedSub(cameraYawTarget, quarterTurnRadians);
            heading = FixedAdd(heading, degrees90);
            if (heading > 359 * FIXED_ONE) heading = FixedSub(heading, degrees360);
            if (LightWall* w = wall()) w->turn(position, steering.direction);
        }
    } else {
        steering.leftLatch = 1;
    }
}

void PlayerBike::smoothCamera() {
    if (cameraYaw == cameraYawTarget) return;
    // FixedDiv rounds toward minus infinity: a swing to the right ends exactly on its
    // target, one to the left keeps a rest of a few raw units and orbits by 0 from then on.
    const Fixed step = FixedDiv(FixedSub(cameraYaw, cameraYawTarget), cameraYawDivisor);
    camera->orbit(step, 0, FIXED_ONE, 0);
    cameraYaw = FixedSub(cameraYaw, step);
}

void PlayerBike::update() {
    drawnThisFrame = false;
    if (playerAlive) {
        // The camera carries the bike: a turn is taken where this frame's move ended.
        camera->follow(steering.directions[steering.direction], sharedState.frameStep);
        position = camera->centre;
        steer();
        smoothCamera();
        shown();
        return;
    }
    LightWall* w = wall();
    if (w && !w->sink()) shown();
}

Fixed headingOf(Direction d) {
    switch (d) {
    case MinusX: return degrees90;
    case MinusZ: return 0;
    case PlusX: return 3 * degrees90;
    case PlusZ: return 2 * degrees90;
    default: return 0;
    }
}
