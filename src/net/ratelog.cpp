#include "net/ratelog.h"

#include <cstdarg>
#include <cstdio>

namespace net {

namespace {

void toStderr(const char* line) { std::fprintf(stderr, "%s\n", line); }
LogSink sink = toStderr;

} // namespace

void setLogSink(LogSink s) { sink = s ? s : toStderr; }

void logLine(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    sink(text);
}

void RateLog::line(uint32_t nowMs, const char* format, ...)
{
    if (!started || nowMs - windowStart >= 1000) {
        started = true;
        windowStart = nowMs;
        inWindow = 0;
    }
    if (inWindow >= perSecond) {
        held++;
        heldSinceLast++;
        return;
    }
    inWindow++;
    wrote++;
    char text[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (heldSinceLast != 0 && n >= 0 && size_t(n) < sizeof text)
        std::snprintf(text + n, sizeof text - size_t(n), " (%llu similar lines held back)",
                      static_cast<unsigned long long>(heldSinceLast));
    heldSinceLast = 0;
    sink(text);
}

} // namespace net
