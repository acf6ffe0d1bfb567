// A bike standing on the arena floor: it travels along one of the floor's two axes, turns
// by exactly a quarter turn and leaves a light wall behind it. The player's bike rides on
// the race camera; the computer-driven one lives in aibike.h.
#pragma once
#include <cstdint>
#include "direction.h"
#include "fixed.h"

class ArenaTree;
class Camera;
class LightWall;
class Model;

class Steering {
public:
    void reset();
    // True when a turn was made; leaving Stopped starts the race instead.
    bool turnRight();
    bool turnLeft();

    Vec3 directions[DirectionCount];
    uint8_t rightLatch = 1;
    uint8_t leftLatch = 1;
    Direction direction = Stopped;
    // Where the first press sends the bike; reset leaves it. The one player's bike, and
    // every computer bike, leaves towards MinusZ; a race of several players seats each of
    // them facing the arena's centre.
    Direction startDirection = MinusZ;
};

class Bike {
public:
    // wallSeed: the seed of the wall's colours (the tick count when the bike is made).
    Bike(const char* modelFile, ArenaTree* arena, const Vec3& startPosition, uint32_t wallSeed);
    virtual ~Bike();
    // The frame's logic: moving, steering, crashing, the wall following the bike. Draws
    // nothing; drawnThisFrame says whether draw() belongs to this frame.
    virtual void update() = 0;

    Bike(const Bike&) = delete;
    Bike& operator=(const Bike&) = delete;

    void reset();
    // The bike's model where it stands, and what the view can see of its wall. Once per
    // view, after that view's camera apply.
    void draw(const Camera& view);
    bool collide(int32_t& hitWall) const;
    // The bike's wall in the registry, or null if it could not be made.
    LightWall* wall() const;

    ArenaTree* arena = nullptr;
    int32_t wallIndex = -1;
    Vec3 startPosition = {0, 0, 0};
    Fixed heading = 0;
    Model* model = nullptr;
    Vec3 position = {0, 0, 0};
    Steering steering;
    bool drawnThisFrame = false;

protected:
    // Where the design drew the bike in its update: the bike is seen this frame, and a
    // growing wall's newest quad reaches to it.
    void shown();
};

// A human player's seat: the bike, the camera that carries it and its swing, whether the
// player still drives and the buttons the player holds. The one-player game has one, the
// race's player; a race of several players has one per player, seat 0 first.
class PlayerBike : public Bike {
public:
    // buttons: the held buttons this player steers with (the program's own for seat 0).
    PlayerBike(const char* modelFile, ArenaTree* arena, Camera* camera, uint32_t wallSeed,
               Direction startDirection = MinusZ, const uint8_t* buttons = nullptr);

    void update() override;
    void reset();
    void crash();
    void steer();
    void smoothCamera();
    // Another player's first press sets every waiting bike going, this one without a turn.
    void setOff();

    Camera* camera = nullptr;
    // The camera swings behind the bike a seventh of the outstanding angle per frame.
    Fixed cameraYaw = 0;
    Fixed cameraYawTarget = 0;
    // This player still drives. The program-wide playerAlive says whether any human does.
    uint8_t playerAlive = 1;
    // The player left an online race: the bike crashed out and stays out in later rounds.
    uint8_t gone = 0;
    const uint8_t* buttons = nullptr;

private:
    bool press(bool right);
    // The start sends the wall the way the bike goes when that is not the way it was made.
    void leftStart();
};

constexpr Fixed cameraYawDivisor = 0x70000; // 7.0
constexpr Fixed quarterTurnRadians = 0x1921F; // 1.5708

// Drawing headings in degrees.
constexpr Fixed degrees90 = 0x5A0000;
constexpr Fixed degrees360 = 0x1680000;

// The drawing heading of a travel direction, in degrees.
Fixed headingOf(Direction d);
