// The one program-wide record through which the modules talk to each other.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include <EGL/egl.h>
#include "button.h"
#include "fixed.h"
#include "menu/optionsrecord.h"

class Race;
class Menu;
class LightWall;

// scores[0..2] belong to the opponents of slots 0..2; this one is the player's.
constexpr int PLAYER_SCORE_SLOT = 3;

// Why a desktop game is paused (SharedState::paused): the pause key in a race, a window
// without the focus. Either keeps it paused.
constexpr uint8_t PAUSED_BY_KEY = 1;
constexpr uint8_t PAUSED_BY_FOCUS = 2;

struct SharedState {
    // Mode and input
    uint8_t inGame = 0;
    uint8_t anyKeySeen = 0;
    uint8_t buttonHeld[ButtonCount] = {};
    uint8_t buttonReleased[ButtonCount] = {};
    // The buttons players 2 to 4 hold in a race of several players (player 1's are
    // buttonHeld, as in the one-player game).
    uint8_t otherPlayersHeld[3][ButtonCount] = {};
    // Escape released in the menu since the last frame: back from the options, credits and
    // controls screens. Cleared with the button releases.
    uint8_t backReleased = 0;
    // Decided by the window procedure from the messages it receives, so a replay of them
    // pauses where the game paused. No frame is rendered while it is nonzero.
    uint8_t paused = 0;
    // The player whose gamepad came out during the race (the paused picture says so); 0 when none.
    uint8_t padUnplugged = 0;

    int32_t scores[4] = {};

    // Screen and objects
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    Race* race = nullptr;
    Menu* menu = nullptr;

    // The four options, as the options file holds them; the menu changes them here.
    OptionsRecord options;
    // The opponents' driving level (driver.h), beside the options file: from the command
    // line, the settings file or the options screen. 0 is the original opponent.
    int32_t aiLevel = 0;
    // The next race's human players (1: the one-player game as designed; 2 to 4 share the
    // screen) and, with more than one, its computer bikes (0 to 4 - players; -1: the
    // options' opponent count, capped). From --players/--opponents and the players screen.
    int32_t players = 1;
    int32_t versusOpponents = -1;

    // Time and race flags
    Fixed frameTime = 0;
    Fixed frameStep = 0;
    uint8_t playerAlive = 1;
    uint8_t raceStarted = 0;
    std::vector<LightWall*> wallRegistry;

    // Platform handles
    EGLDisplay eglDisplay = EGL_NO_DISPLAY;
    EGLSurface eglSurface = EGL_NO_SURFACE;
    EGLContext eglContext = EGL_NO_CONTEXT;
    // Where the executable lives, ending in '/' (empty when unknown).
    std::string appDir;
    // True when the game runs from its own folder (the build tree, a copy unpacked
    // anywhere): options beside the executable, the log in that folder. An installed game
    // (its data in ../share/palvex) keeps them in the XDG places instead.
    bool portable = true;
    // A window on a desktop (not a headless run): the player gets the notices over the race
    // and a first start with high detail and sound on.
    bool desktop = false;
};

extern SharedState sharedState;
