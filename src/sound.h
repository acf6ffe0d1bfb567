// The three sound effects: the menu loop on channel 0, the engine loop on channel 1, the
// crash on a free channel. Every operation is silent unless sound started and the sound
// option is on, so callers need no checks.
#pragma once
#include <string>
#include <vector>

void soundStart();
void soundClose();
void playMenuLoop();
void playEngine();
void stopEngine();
void playCrash();
void stopAll();

// Nonzero when the sound library started.
extern int soundReady;
// The library calls made since the last take, as "play 0 recognizer", "stop 1", ...
std::vector<std::string> takeSoundCalls();
