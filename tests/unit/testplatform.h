// One headless platform and one real Mesa GLES 1 context per test process.
#pragma once
#include "platform/headless/headlessplatform.h"
#include "platform/platform.h"
#include "renderingcontext.h"
#include "sharedstate.h"

namespace testing_support {

// Creates the headless platform (virtual clock at 0, no key script) and the rendering
// context on its 240 x 294 pbuffer, once; later calls only return whether it worked.
inline bool ensureGlContext() {
    static bool ready = [] {
        if (!platform::exists()) {
            platform::Options options;
            options.headless = true;
            options.tickMs = 0;
            std::string error;
            if (!platform::create(options, error)) return false;
        }
        return initRenderingContext(nullptr);
    }();
    return ready;
}

inline platform::HeadlessPlatform& headless() { return static_cast<platform::HeadlessPlatform&>(platform::get()); }

} // namespace testing_support
