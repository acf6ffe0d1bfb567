// The seven virtual buttons the game reads: held now, and released since the last frame.
#pragma once
#include <cstdint>

enum Button {
    ButtonUp = 0,
    ButtonDown = 1,
    ButtonLeft = 2,
    ButtonRight = 3,
    ButtonQ = 4,
    ButtonE = 5,
    ButtonSelect = 6,
    ButtonCount = 7
};

void setButton(int button, uint8_t value);
uint8_t isButtonHeld(int button);
// A release the menu reads in the next frame; the loop clears them after every frame.
void markButtonReleased(int button);
uint8_t wasButtonReleased(int button);
void clearButtonReleases();
