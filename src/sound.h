// The three sound effects: the menu loop on channel 0, the engine loop on channel 1, the
// crash on a free channel. Every operation is silent unless sound started and the sound
// option is on, so callers need no checks.
#pragma once
#include <cstdint>
#include "platform/platform.h"

void soundStart();
void soundClose();
void playMenuLoop();
void playEngine();
void stopEngine();
void playCrash();
void stopAll();
// While held, the race's effects (engine, crash, menu loop) are not played: a frame run
// only to be checked, or run again after a rollback, must not sound a second time.
void holdEffects(bool held);
// The effects asked for while held, since the last call: a frame an online race runs holds
// them, and they are played once that frame is confirmed.
enum HeldEffect : uint8_t { EffectCrash = 1, EffectEngine = 2, EffectEngineStop = 4, EffectMenuLoop = 8 };
uint8_t takeHeldEffects();
void playHeldEffects(uint8_t effects);

// The paused game's sound holds where it is and goes on from there.
void pauseSound(bool on);

// Nonzero when the sound library started.
extern int soundReady;

// The three samples as the sound library handed them out (null when not loaded).
struct SoundSamples {
    platform::SampleHandle recognizer = nullptr;
    platform::SampleHandle engine = nullptr;
    platform::SampleHandle crash = nullptr;
};
extern SoundSamples soundSamples;
