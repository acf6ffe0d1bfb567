#include "buttons.h"

#include "sharedstate.h"

void setButton(int button, uint8_t value) {
    sharedState.anyKeySeen = 1;
    sharedState.buttonHeld[button] = value;
}

uint8_t isButtonHeld(int button) { return sharedState.buttonHeld[button]; }

void markButtonReleased(int button) { sharedState.buttonReleased[button] = 1; }

uint8_t wasButtonReleased(int button) { return sharedState.buttonReleased[button]; }

void clearButtonReleases() {
    for (uint8_t& released : sharedState.buttonReleased) released = 0;
    sharedState.backReleased = 0;
}
