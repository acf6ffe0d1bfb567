// The application object: start-up, the busy message loop and the frame.
#pragma once
#include "platform/platform.h"

class Trace;

class Application {
public:
    explicit Application(void* instance);
    ~Application();
    // Runs until a quit request; returns its exit code.
    int loop();
    // Renders and presents one frame.
    void frame();
    bool initialised() const { return ready; }

    platform::Message msg;
    void* accelerators = nullptr; // the program has no accelerator table
    char title[100] = {};
    char className[100] = {};

private:
    void drawScoreOverlay();
    bool ready = false;
    Trace* trace = nullptr;
};

// Exit code of a start that did not get as far as the loop (another copy runs, or no window).
constexpr int EXIT_INIT_FAILED = 1;
