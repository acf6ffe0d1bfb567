// The program's one window, the single-instance check, key messages turned into the
// seven virtual buttons, and the switch between menu mode and game mode.
#pragma once
#include <cstdint>
#include "platform/platform.h"

class Application;

bool initInstance(Application& application);
intptr_t windowProc(void* window, platform::MessageType message, uintptr_t wParam, intptr_t lParam);
void setButton(int button, uint8_t value);
uint8_t isButtonHeld(int button);
void toggleMode();
