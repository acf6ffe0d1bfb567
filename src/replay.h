// Every game recorded, played back exactly, verified without drawing. The journal carries
// the events and ticks (platform/replayfile.h holds the file); this module decides when a
// recording starts and ends, what of the race state is checked, and how a replay is run.
#pragma once
#include <cstdint>
#include <string>

#include "platform/replayfile.h"

struct ReplaySettings {
    bool recordGames = false;  // record every game (the desktop game does; headless runs only with a file)
    std::string recordFile;    // record to this file instead of the replays folder
    int keep = 50;             // how many recorded games the replays folder keeps; 0: record none
};

// Exit code of a replay whose race state differs from the recorded one.
constexpr int EXIT_REPLAY_DIFFERS = 3;

void configureReplays(const ReplaySettings& settings);

// Called by toggleMode: a game begins (before the race is set up) and ends (before it is
// torn down).
void replayGameBegins();
void replayGameEnds();
// After every frame rendered while a game runs.
void replayAfterFrame();

// The seven groups of the race state a replay checks, in the order the file holds them.
void raceChecks(uint32_t frame, platform::ReplayCheck& out);
const char* checkGroupName(int group);

// Loads a replay for playing back: the options come from it, the models must be the ones
// it was made with. False with a message (and the exit code to end with) when it cannot
// be played.
bool loadReplay(const std::string& path, std::string& error, int& exitCode);
// Starts the loaded replay's game in the running application (a rendered playback):
// enterGame is the application's switch into game mode.
void startPlayback(void (*enterGame)());
// Runs the loaded replay's race with drawing off, comparing every check; prints what it
// found and returns the exit code: 0 all agree, EXIT_REPLAY_DIFFERS when one differs.
int verifyReplay();
// A rendered playback's result so far: 0, or EXIT_REPLAY_DIFFERS.
int playbackExitCode();
