// The three sound effects: the menu loop on channel 0, the engine loop on channel 1, the
// crash on a free channel. Every operation is silent unless sound started and the sound
// option is on, so callers need no checks.
#pragma once
#include <string>
#include <vector>

void soundStart();
// soundStart with the application directory taken from the given executable path.
void soundStartFrom(const char* executablePath);
void soundClose();
void playMenuLoop();
void playEngine();
void stopEngine();
void playCrash();
void stopAll();

// Nonzero when the sound library started.
extern int soundReady;
// The library calls made since the last take, as "play 0 recognizer", "stop 1", ...
// Recorded while a trace is written (soundStart decides) or a test asks for them.
std::vector<std::string> takeSoundCalls();
void recordSoundCalls(bool on);
