// The shared test GL context, and the headless platform's virtual clock for timer tests.
#pragma once
#include "glcontext.h"
#include "platform/headless/headlessplatform.h"
#include "sharedstate.h"

namespace testing_support {

inline bool ensureGlContext() { return ::ensureGlContext(); }
inline platform::HeadlessPlatform& headless() { return static_cast<platform::HeadlessPlatform&>(platform::get()); }

} // namespace testing_support
