// Log lines about dropped packets, at most a few a second: a flood of bad datagrams must
// not turn into a flood of log lines. What was held back is counted and said in the next
// line that passes.
#pragma once
#include <cstdint>

namespace net {

// Where the network's log lines go; stderr until the game sets its own.
using LogSink = void (*)(const char* line);
void setLogSink(LogSink sink);
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

class RateLog {
public:
    explicit RateLog(int linesPerSecond = 5) : perSecond(linesPerSecond) {}
    // Writes the line unless this second's lines are spent; nowMs is any clock in ms.
    void line(uint32_t nowMs, const char* format, ...) __attribute__((format(printf, 3, 4)));
    uint64_t written() const { return wrote; }
    uint64_t heldBack() const { return held; }

private:
    int perSecond;
    uint32_t windowStart = 0;
    int inWindow = 0;
    bool started = false;
    uint64_t wrote = 0;
    uint64_t held = 0;
    uint64_t heldSinceLast = 0;
};

} // namespace net
