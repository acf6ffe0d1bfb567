// Turns the tick count of each race frame into frameTime (seconds) and frameStep (the
// distance every bike moves this frame).
#pragma once
#include <cstdint>
#include "fixed.h"

void frameTimerStart();
void frameTimerTick();

// Gaps longer than this between two race frames are clamped: the elapsed milliseconds are
// shifted into 16.16 form, and 32768 ms would no longer fit.
constexpr uint32_t FRAME_GAP_LIMIT_MS = 32767;

// Off in the game: once the player is out the rest of the race runs fast. The ladder turns
// it on, so that every bike of a match drives at the race's own speed to the end.
void frameTimerKeepPace(bool on);
