// The faults of a bad network, drawn from a seeded generator: the simulated link and the
// UDP relay decide the same way, so a seed means the same thing to both.
#pragma once
#include <algorithm>
#include <cstdint>

namespace net {

struct LinkFaults {
    uint32_t latencyMs = 0;     // one way
    uint32_t jitterMs = 0;      // each datagram ± up to this
    double loss = 0.0;          // fraction of datagrams lost (each way)
    double reorder = 0.0;       // fraction held back behind later ones
    double duplicate = 0.0;     // fraction sent twice
};

class FaultDice {
public:
    explicit FaultDice(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    // xorshift64*: fast, and the same sequence on every machine
    double uniform()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return double((state * 2685821657736338717ull) >> 11) / double(1ull << 53);
    }
    bool chance(double p) { return uniform() < p; }
    // The time a datagram takes: the latency, moved by the jitter either way.
    uint32_t delayMs(const LinkFaults& f)
    {
        int64_t d = int64_t(f.latencyMs);
        if (f.jitterMs != 0)
            d += int64_t(uniform() * (2.0 * f.jitterMs + 1.0)) - int64_t(f.jitterMs);
        return uint32_t(std::max<int64_t>(d, 0));
    }
    // The extra wait of a datagram held back behind later ones.
    static uint32_t reorderDelayMs(const LinkFaults& f) { return f.jitterMs * 2 + 20; }

private:
    uint64_t state;
};

} // namespace net
