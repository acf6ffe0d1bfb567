// The seven groups of the race state a replay checks and online peers compare, in the order
// the file holds them: a module of its own, so the replay and the rollback both use it.
#pragma once
#include <cstdint>

#include "platform/replayfile.h"

void raceChecks(uint32_t frame, platform::ReplayCheck& out);
const char* checkGroupName(int group);
