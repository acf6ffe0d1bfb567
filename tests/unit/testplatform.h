// Shared by the tests that need the game's GL: the headless platform with one GLES 1
// context on its pbuffer (made on first use, kept for the rest of the process), its
// virtual clock, and fixed-point values and vectors that compare and print as a whole.
#pragma once
#include <EGL/egl.h>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "fixed.h"
#include "platform/headless/headlessplatform.h"
#include "renderingcontext.h"
#include "sharedstate.h"
#include "testbench/soundcalls.h"

namespace testing_support {

// The headless platform without any GL: enough for the race logic, which draws nothing
// when its drawing is off.
inline bool ensurePlatform() {
    if (platform::exists()) return true;
    platform::Options options;
    options.headless = true;
    options.tickMs = 0; // a virtual clock that tests set by hand
    std::string error;
    if (platform::create(options, error) != platform::CreateResult::Ok) {
        std::fprintf(stderr, "headless platform: %s\n", error.c_str());
        return false;
    }
    return true;
}

inline bool ensureGlContext() {
    static const bool ready = [] {
        if (!ensurePlatform()) return false;
        if (eglGetCurrentContext() != EGL_NO_CONTEXT) return true;
        if (!initRenderingContext(nullptr)) {
            std::fprintf(stderr, "no GLES 1 context on the headless display\n");
            return false;
        }
        return true;
    }();
    return ready;
}
inline platform::HeadlessPlatform& headless() { return static_cast<platform::HeadlessPlatform&>(platform::get()); }
inline void setTicks(uint32_t ticks) { platform::get().journal().setVirtualTicks(ticks); }

inline SoundCallRecorder& soundRecorder() {
    static SoundCallRecorder recorder;
    return recorder;
}

} // namespace testing_support

// The game's sound calls as the trace names them, heard at the platform.
inline void recordSoundCalls(bool on) {
    if (!platform::exists()) return;
    platform::get().setSoundListener(on ? &testing_support::soundRecorder() : nullptr);
    testing_support::soundRecorder().take();
}
inline std::vector<std::string> takeSoundCalls() { return testing_support::soundRecorder().take(); }

// Whole units (or a fraction) in 16.16, truncated toward zero.
constexpr Fixed F(double v) { return static_cast<Fixed>(v * 65536.0); }

inline bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline std::ostream& operator<<(std::ostream& out, const Vec3& v) {
    return out << '(' << v.x << ", " << v.y << ", " << v.z << ')';
}
inline bool operator==(const Plane& p, const Plane& q) { return p.a == q.a && p.b == q.b && p.c == q.c && p.d == q.d; }
inline std::ostream& operator<<(std::ostream& out, const Plane& p) {
    return out << '(' << p.a << ", " << p.b << ", " << p.c << ", " << p.d << ')';
}
