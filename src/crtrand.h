// The handheld's C runtime generator, as the game's own rand and srand: wall colours and
// every opponent decision come from it, so they are the device's on every machine and C
// library, and a recorded game plays back the same anywhere. The C library's rand is never
// used by the game.
#pragma once
#include <cstdint>

namespace crt {

// The largest value rand returns.
constexpr int RAND_LIMIT = 0x7FFF;

// Sets the generator's state; the state before any call is 1.
void srand(uint32_t seed);
// The next value, 0 to 32767: state = state * 214013 + 2531011 (mod 2^32), value bits 16 to 30.
int rand();

// The state itself, for a replay's checksums and for tests.
uint32_t state();

} // namespace crt
