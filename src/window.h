// The program's one window, the single-instance check, and key messages turned into the
// seven virtual buttons.
#pragma once
#include <cstdint>
#include "platform/platform.h"

// What Enter or Escape released in a race does: back to the menu. The application owns
// the switch between the modes and hands it in.
using ModeSwitch = void (*)();

enum class InitResult { Ok, OtherInstance, NoWindow, NoRenderingContext };

InitResult initInstance(const char* className, const char* title, ModeSwitch modeSwitch);
// initInstance hands the switch in; tests that drive the window procedure alone do it here.
void setModeSwitch(ModeSwitch modeSwitch);
// A race run elsewhere (online): it never pauses for this machine, this machine's keys are
// its one player's, and leaving it is the session's to do. Null: every race is local.
using RaceElsewhere = bool (*)();
using LeaveElsewhere = void (*)();
void setRaceElsewhere(RaceElsewhere isElsewhere, LeaveElsewhere leave);
// Leaving a race ends its pause, whatever paused it: the menu never waits. (A race is only
// ever begun by a key, so with the focus; every pause a replay holds comes from a message
// it recorded.)
void endPause();
intptr_t windowProc(void* window, platform::MessageType message, uintptr_t wParam, intptr_t lParam);
