// The virtual buttons held now, and released since the last frame.
#pragma once
#include <cstdint>
#include "button.h"


void setButton(int button, uint8_t value);
uint8_t isButtonHeld(int button);
// A release the menu reads in the next frame; the loop clears them after every frame.
void markButtonReleased(int button);
uint8_t wasButtonReleased(int button);
void clearButtonReleases();
