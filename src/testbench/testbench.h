// What the command line asks of a run beside the game itself: a trace of every frame, a
// screenshot of the last one, an end after so many frames. The game knows nothing of it;
// main hangs it on the application's after-frame hook.
#pragma once
#include <memory>
#include <string>

#include "testbench/trace.h"

struct BenchOptions {
    long frames = -1; // end after this many rendered frames; -1: no limit
    std::string traceFile;
    std::string screenshotFile;
};

class TestBench {
public:
    explicit TestBench(const BenchOptions& options) : opts(options) {}
    // Opens the trace and checks that the screenshot can be written, before the game
    // starts: a run whose outputs cannot be written is a usage error, not a silent success.
    bool start(std::string& error);
    // After every presented frame.
    void afterFrame(long frame);
    // Writes the screenshot of the last presented frame; false with a message when it
    // cannot be written.
    bool finish(std::string& error);
    bool wantsFrames() const { return !opts.screenshotFile.empty(); }
    // A trace or a frame limit counts every frame: none may be left out.
    bool countsFrames() const { return trace != nullptr || opts.frames >= 0; }

private:
    BenchOptions opts;
    std::unique_ptr<Trace> trace;
};
