// The game object of game mode: sets a race up from the options, runs its frame (timer,
// camera, bikes, crashes, scoring, arena), restarts it when every opponent is out, and
// tears it down on the way back to the menu.
#pragma once
#include <cstdint>
#include "fixed.h"

class AiBike;
class ArenaTree;
class Camera;
class PlayerBike;

class Race {
public:
    Race();
    ~Race();
    Race(const Race&) = delete;
    Race& operator=(const Race&) = delete;

    void setup();
    // One frame: the timer, the camera, each bike's logic step and then its drawing, the
    // crashes and scores, the arena last. With drawing off the same logic runs and no GL
    // call is made (replay verification, fast tests).
    void runFrame();
    // The same frame on a tick count given instead of the clock's (a rollback's frames).
    void runFrameAt(uint32_t tick);
    void restartRace();
    void teardown();

    bool drawing = true;

    Camera* camera = nullptr;
    ArenaTree* arena = nullptr;
    PlayerBike* player = nullptr;
    AiBike* aiBikes[3] = {nullptr, nullptr, nullptr};
    int32_t opponentCount = 0;

    // What the trace reports beside the bikes: the opponents scored in the last frame, and
    // the wall the player hit in the frame of the player's crash.
    int32_t scoredCount = 0;
    int32_t killer = NO_CRASH_THIS_FRAME;

    // killer in a frame without the player's crash (the crash itself gives a wall index
    // or HIT_ARENA_EDGE).
    static constexpr int32_t NO_CRASH_THIS_FRAME = -2;

private:
    void placeAtStart();
    // Everything of a frame after the timer.
    void runFrameAfterTimer();
    // Materials the race's models added to the program-wide table start here; they and
    // their textures go at teardown.
    int32_t materialMark = -1;
};

// The colours in which the opponents are drawn at low and medium detail.
extern const Fixed opponentColours[3][4];
extern const Fixed playerColour[4];
