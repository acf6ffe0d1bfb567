// A real GLES 1 context for tests: the headless platform and one context on its pbuffer,
// made on first use and kept for the rest of the test process.
#pragma once
#include <EGL/egl.h>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "renderingcontext.h"

inline bool ensureGlContext() {
    static const bool ready = [] {
        if (!platform::exists()) {
            platform::Options options;
            options.headless = true;
            options.tickMs = 0; // a virtual clock that tests set by hand
            std::string error;
            if (!platform::create(options, error)) {
                std::fprintf(stderr, "headless platform: %s\n", error.c_str());
                return false;
            }
        }
        if (eglGetCurrentContext() != EGL_NO_CONTEXT) return true;
        if (!initRenderingContext(nullptr)) {
            std::fprintf(stderr, "no GLES 1 context on the headless display\n");
            return false;
        }
        return true;
    }();
    return ready;
}
