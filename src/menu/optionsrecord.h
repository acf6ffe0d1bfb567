// The four options, in the order of the options file's fields.
#pragma once
#include <cstdint>

struct OptionsRecord {
    uint8_t soundOn = 0;
    int32_t detail = 0;
    int32_t opponentChoice = 0;
    int32_t speed = 0;
};
