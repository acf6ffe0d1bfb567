// Test helper for the bike, wall and collision tests: one headless platform with a
// virtual clock (50 ms per presented frame) and a real GLES 1 context on its pbuffer,
// made once per test program.
#pragma once
#include <GLES/gl.h>
#include <string>
#include "platform/platform.h"
#include "renderingcontext.h"
#include "sharedstate.h"

namespace bikegl {

inline bool ready() {
    static const bool made = [] {
        if (!platform::exists()) {
            platform::Options options;
            options.headless = true;
            options.tickMs = 50;
            std::string error;
            if (!platform::create(options, error)) return false;
        }
        if (sharedState.eglContext == EGL_NO_CONTEXT && !initRenderingContext(nullptr)) return false;
        return true;
    }();
    return made;
}

// Presents a frame, which moves the virtual clock on by one step.
inline void presentFrame() {
    platform::get().swapBuffers(sharedState.eglDisplay, sharedState.eglSurface);
    platform::get().endPaint();
}

} // namespace bikegl
