// The seven virtual buttons the game reads.
#pragma once

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
