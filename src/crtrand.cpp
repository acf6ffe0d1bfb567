#include "crtrand.h"

namespace crt {

namespace {
uint32_t generatorState = 1;
} // namespace

void srand(uint32_t seed) { generatorState = seed; }

int rand() {
    generatorState = generatorState * 214013u + 2531011u;
    return static_cast<int>((generatorState >> 16) & 0x7FFF);
}

uint32_t state() { return generatorState; }

} // namespace crt
