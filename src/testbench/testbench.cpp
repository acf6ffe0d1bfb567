#include "testbench/testbench.h"

#include "platform/os.h"
#include "platform/platform.h"

bool TestBench::start(std::string& error) {
    if (!opts.traceFile.empty()) {
        trace = std::make_unique<Trace>();
        if (!trace->open(opts.traceFile)) {
            error = "cannot write the trace " + opts.traceFile;
            return false;
        }
        platform::get().setSoundListener(&trace->sounds);
    }
    if (!opts.screenshotFile.empty()) {
        const std::string dir = platform::os::directoryOf(opts.screenshotFile);
        if (opts.screenshotFile.back() == '/' || platform::os::isDirectory(opts.screenshotFile) ||
            !platform::os::isWritableDirectory(dir)) {
            error = "cannot write the screenshot " + opts.screenshotFile;
            return false;
        }
    }
    return true;
}

void TestBench::afterFrame(long frame) {
    if (trace) trace->writeFrame(frame);
    if (opts.frames >= 0 && frame >= opts.frames) platform::get().postQuitMessage(0);
}

bool TestBench::finish(std::string& error) {
    if (trace && !trace->close(error)) return false;
    if (opts.screenshotFile.empty()) return true;
    platform::Image picture;
    std::string why = "no frame was presented";
    if (!platform::get().lastPresentedFrame(picture) || !platform::savePng(opts.screenshotFile, picture, &why)) {
        error = "could not write the screenshot " + opts.screenshotFile + ": " + why;
        return false;
    }
    return true;
}
