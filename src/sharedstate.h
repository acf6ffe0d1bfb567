// The one program-wide record through which the modules talk to each other.
#pragma once
#include <cstdint>
#include <vector>
#include <EGL/egl.h>
#include "fixed.h"

class Race;
class Menu;
class LightWall;

enum Button {
    ButtonUp = 0,
    ButtonDown = 1,
    ButtonLeft = 2,
    ButtonRight = 3,
    ButtonQ = 4,
    ButtonE = 5,
    ButtonSelect = 6,
    ButtonCount = 7
};

constexpr int APP_DIR_SIZE = 1024;

struct SharedState {
    // Mode and input
    uint8_t inGame = 0;
    uint8_t anyKeySeen = 0;
    uint8_t buttonHeld[ButtonCount] = {};
    uint8_t buttonReleased[ButtonCount] = {};

    // scores[0..2]: opponents 1..3, scores[3]: the player
    int32_t scores[4] = {};

    // Screen and objects
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    Race* race = nullptr;
    Menu* menu = nullptr;

    // Options
    uint8_t soundOn = 0;
    int32_t detail = 0;
    int32_t opponentChoice = 0;
    int32_t speed = 0;

    // Time and race flags
    Fixed frameTime = 0;
    Fixed frameStep = 0;
    uint8_t playerAlive = 1;
    uint8_t raceStarted = 0;
    std::vector<LightWall*> wallRegistry;

    // Platform handles
    void* instance = nullptr;
    void* mainWindow = nullptr;
    void* menuBar = nullptr;
    uint8_t activateInfo[12] = {};
    EGLDisplay eglDisplay = EGL_NO_DISPLAY;
    EGLSurface eglSurface = EGL_NO_SURFACE;
    EGLContext eglContext = EGL_NO_CONTEXT;
    char appDir[APP_DIR_SIZE] = {};
    char appDirNarrow[APP_DIR_SIZE] = {};
};

extern SharedState sharedState;
