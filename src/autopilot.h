// A driver in the player's seat: it presses the same two turn buttons a player would, one
// press per turn, released before the same button is pressed again. The game feeds its
// presses in as key events (so they are recorded like a player's); the ladder sets the
// buttons directly.
#pragma once
#include "driver.h"

class Race;

class Autopilot {
public:
    explicit Autopilot(int level) : driver(level) {}

    // The turn buttons held in the coming frame, from the race as the last frame left it.
    // A waiting bike is started with the right button.
    void plan(const Race& race, bool& left, bool& right);

    Driver driver;
    bool heldLeft = false;
    bool heldRight = false;
};

// The game's autopilot: from now on the player's turn keys come from a driver of the level
// (LevelCount or more: none). Key events of a replay being played back are never mixed in.
void startAutopilot(int level);
