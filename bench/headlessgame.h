// The game started once per benchmark program, headless, on a virtual clock that moves
// tickMs per frame; null when no headless GL context could be made.
#pragma once
#include <string>

#include "application.h"
#include "platform/platform.h"

inline Application* startHeadless(int tickMs) {
    static Application* application = [tickMs] {
        platform::Options options;
        options.headless = true;
        options.tickMs = tickMs;
        std::string error;
        if (platform::create(options, error) != platform::CreateResult::Ok) return static_cast<Application*>(nullptr);
        return new Application();
    }();
    return application;
}
