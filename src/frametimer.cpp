#include "frametimer.h"

#include "platform/platform.h"
#include "sharedstate.h"

namespace {
uint32_t previousTick = 0;
uint32_t currentTick = 0;
const Fixed ticksPerSecond = 0x3E80000; // 1000.0
bool keepPace = false;
} // namespace

void frameTimerKeepPace(bool on) { keepPace = on; }

void frameTimerStart() {
    previousTick = currentTick = platform::get().tickCount();
    sharedState.frameTime = 0;
}

void frameTimerTick() { frameTimerTickAt(platform::get().tickCount()); }

void frameTimerTickAt(uint32_t tick) {
    sharedState.raceStarted = 0;
    previousTick = currentTick;
    currentTick = tick;
    uint32_t elapsed = currentTick - previousTick; // unsigned: right across the wrap
    if (elapsed > FRAME_GAP_LIMIT_MS) elapsed = FRAME_GAP_LIMIT_MS;
    sharedState.frameTime = FixedDiv(static_cast<Fixed>(elapsed << 16), ticksPerSecond);
    if (sharedState.playerAlive || keepPace) {
        sharedState.frameStep = FixedMul(static_cast<Fixed>(static_cast<uint32_t>((sharedState.options.speed + 1) * 5) << 20), sharedState.frameTime);
    } else {
        sharedState.frameStep = FixedMul(0x3E80000, sharedState.frameTime);
        sharedState.frameTime = FixedMul(0xA0000, sharedState.frameTime);
    }
}

FrameTimerState frameTimerState() { return {previousTick, currentTick}; }

void restoreFrameTimer(const FrameTimerState& state) {
    previousTick = state.previousTick;
    currentTick = state.currentTick;
}
