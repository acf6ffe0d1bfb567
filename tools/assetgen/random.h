// The generator's own random numbers: a fixed seed gives the same artwork and the same
// sounds on every run and every machine (rand() would not).
#pragma once

#include <cstdint>

class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next() {
        // splitmix64
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [-1, 1).
    double signedUnit() { return uniform() * 2.0 - 1.0; }

private:
    uint64_t state;
};
