// Turns the tick count of each race frame into frameTime (seconds) and frameStep (the
// distance every bike moves this frame).
#pragma once
#include <cstdint>
#include "fixed.h"

void frameTimerStart();
void frameTimerTick();
// The same with the tick count given: a frame run again after a rollback reads the tick
// it first ran with, not the clock.
void frameTimerTickAt(uint32_t tick);

// The two tick counts the timer keeps between frames, for saving a race's state.
struct FrameTimerState {
    uint32_t previousTick = 0;
    uint32_t currentTick = 0;
};
FrameTimerState frameTimerState();
void restoreFrameTimer(const FrameTimerState& state);

// Gaps longer than this between two race frames are clamped: the elapsed milliseconds are
// shifted into 16.16 form, and 32768 ms would no longer fit.
constexpr uint32_t FRAME_GAP_LIMIT_MS = 32767;

// Off in the game: once the player is out the rest of the race runs fast. The ladder turns
// it on, so that every bike of a match drives at the race's own speed to the end.
void frameTimerKeepPace(bool on);
