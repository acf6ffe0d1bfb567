// The application object: start-up, the message loop, the frame, and the switch
// between menu mode and game mode with the Race and the Menu it owns.
#pragma once
#include <cstdint>
#include <functional>
#include "platform/platform.h"

// Exit code of a start that did not get as far as the loop (another copy runs, no window,
// no rendering context).
constexpr int EXIT_INIT_FAILED = 1;

class Application {
public:
    // playback: a replay's game is shown; the menu leaves options.bin alone.
    explicit Application(bool playback = false);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs until a quit request; returns its exit code.
    int loop();
    // Renders and presents one frame.
    void frame();
    bool initialised() const { return ready; }

    // Called after every presented frame, before the frame's button releases are cleared:
    // the test bench's trace and frame limit hang here.
    std::function<void(long frame)> afterFrame;
    // Whoever hangs on afterFrame counts the frames: a menu at rest still renders each.
    bool everyFrameCounted = false;

    platform::Message msg;
    char title[100] = {};
    char className[100] = {};

private:
    void drawScoreOverlay();
    // The race's notice for the player, centred over the race (a desktop window only).
    void drawRaceNotice();
    // A race of several players: in each view every bike's score, whose view it is, and
    // that player's notice.
    void drawViewOverlays();
    // A desktop window's race fills the drawable; headless runs and [window] view = design
    // keep the letterboxed logical screen and its 4:3 projection.
    bool raceFillsDrawable() const;
    // The last frame again with a "PAUSED" box, when the window needs it drawn.
    void drawPausedPicture();
    // The menu would draw what the window shows, and the window may keep showing it.
    bool menuAtRest() const;
    bool ready = false;
    bool playerWasAlive = true;
    uint32_t playerCrashedAt = 0;
    bool seatWasAlive[4] = {true, true, true, true};
    uint32_t seatCrashedAt[4] = {};
};

// How long "you crashed" stays over the race.
constexpr uint32_t CRASH_NOTICE_MS = 2500;
// The notice over a race: "turn to start" while the player's bike waits for its first
// turn, "you crashed" for a while after the player's crash, else none (null).
const char* raceNotice(bool playerAlive, bool playerWaiting, uint32_t msSinceCrash);

// Menu mode to game mode (perspective projection, Race::setup) and back (Race::teardown,
// the menu's pixel projection).
void toggleMode();
