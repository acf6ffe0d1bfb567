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
// The header of a recording of the race about to be set up: the version, the options, the
// buttons held, the models and their hashes, the clock, the make-up of the race.
platform::ReplayHeader replayHeaderOfNextRace();
// Keeps the `keep` newest (by the time written) of the game's own recordings in dir
// (names "palvex-YYYYMMDD-HHMMSS[-N].pvxr", regular files only), justMade among them.
void pruneRecordings(const std::string& dir, const std::string& justMade, int keep);

// Opens `into` on a new file for the game about to be set up: --record's FILE (FILE-2 and
// so on for the run's next games), or a new name in the replays folder. False when the
// game is not to be recorded (error empty) or its file cannot be made (error says why).
bool openNewRecording(platform::ReplayWriter& into, std::string& path, std::string& error);
// A recording openNewRecording began is finished: the replays folder keeps the `keep`
// newest of the game's recordings, that one among them.
void recordingFinished(const std::string& path);
// The game about to begin is recorded by whoever runs it (an online race writes its
// confirmed frames), not from the journal.
void replayNextGameRecordedElsewhere();

// Called by toggleMode: a game begins (before the race is set up) and ends (before it is
// torn down).
void replayGameBegins();
void replayGameEnds();
// The program ends: a game being recorded is recorded to its last frame; a playback the
// viewer stopped is not judged.
void replayRunEnds();
// After every frame rendered while a game runs.
void replayAfterFrame();
// Before a frame is rendered: false when a playback has no frame for it (its game ends).
bool replayBeforeFrame();
// A game paused while a replay plays: a recording goes on only after its pause ended, so
// the playback ends (true) with a difference unless the recording ends here as well.
bool replayHeldByPause();
// Ends a playback with its verdict (the quit message carries the exit code).
void endPlayback();
// A game of this run that was to be recorded was not, or not in full (a message said why).
bool recordingIncomplete();

#include "racechecks.h"

// Loads a replay for playing back: the options come from it, the models must be the ones
// it was made with. False with a message (and the exit code to end with) when it cannot
// be played.
bool loadReplay(const std::string& path, std::string& error, int& exitCode);
// Starts the loaded replay's game in the running application (a rendered playback):
// enterGame is the application's switch into game mode.
void startPlayback(void (*enterGame)());
// Runs the loaded replay's race with drawing off, comparing every check up to the first
// difference; prints the verdict and returns the exit code: 0 every frame up to the last
// check agrees, EXIT_REPLAY_DIFFERS when one differs, 2 when the file is damaged further
// on or holds nothing to compare.
// syncDistance > 0: after every frame, the state of that many frames before is loaded and
// those frames are run again with their buttons and ticks; a check hash that comes out
// otherwise than the first time is a difference too.
int verifyReplay(int syncDistance = 0);
// A playback's verdict, said once (a playback's and a verification's are the same): 0,
// EXIT_REPLAY_DIFFERS or 2, as for verifyReplay.
int playbackExitCode();
