#include "renderingcontext.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "log.h"
#include "platform/platform.h"
#include "sharedstate.h"

namespace {
GLfixed toFixed(float value) { return static_cast<GLfixed>(value * 65536.0f); }

const char* failure = "";

bool fail(const char* what) {
    failure = what;
    logPrintf("%s\n", what);
    return false;
}
} // namespace

const char* renderingContextFailure() { return failure; }

namespace {
// The game's own context on the backend's display and surface (headless: a pbuffer).
bool makeOwnContext(platform::Platform& system) {
    sharedState.eglDisplay = system.eglDisplayForWindow();
    if (sharedState.eglDisplay == EGL_NO_DISPLAY || !eglInitialize(sharedState.eglDisplay, nullptr, nullptr)) {
        sharedState.eglDisplay = EGL_NO_DISPLAY;
        return fail("cannot start OpenGL ES: no EGL display (is Mesa's EGL installed?)");
    }

    // The frame depth-tests every pixel: ask for a depth buffer (the first configuration
    // of an empty list has none on Mesa) and an ES 1 renderable config for our surface.
    // Naming the colour channels makes EGL offer the deepest colour first, so a desktop
    // gets true colour rather than dithered 16-bit.
    const EGLint attributes[] = {EGL_DEPTH_SIZE,      16, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT,
                                 EGL_SURFACE_TYPE,    system.surfaceType(),
                                 EGL_RED_SIZE,        5,  EGL_GREEN_SIZE,      6,
                                 EGL_BLUE_SIZE,       5,  EGL_NONE};
    EGLConfig configs[10];
    EGLint count = 0;
    if (!eglChooseConfig(sharedState.eglDisplay, attributes, configs, 10, &count) || count < 1)
        return fail("cannot start OpenGL ES: EGL offers no OpenGL ES 1 configuration with a depth buffer");

    sharedState.eglSurface = system.createSurface(sharedState.eglDisplay, configs[0]);
    if (sharedState.eglSurface == EGL_NO_SURFACE) return fail("cannot start OpenGL ES: EGL could not make a drawing surface");
    sharedState.eglContext = eglCreateContext(sharedState.eglDisplay, configs[0], EGL_NO_CONTEXT, nullptr);
    if (sharedState.eglContext == EGL_NO_CONTEXT) return fail("cannot start OpenGL ES: EGL could not make an OpenGL ES 1 context");
    if (!eglMakeCurrent(sharedState.eglDisplay, sharedState.eglSurface, sharedState.eglSurface, sharedState.eglContext))
        return fail("cannot start OpenGL ES: the context could not be made current");
    return true;
}
} // namespace

bool initRenderingContext(void* window) {
    platform::Platform& system = platform::get();
    static std::string why;
    switch (system.makeContext(sharedState.eglDisplay, sharedState.eglSurface, sharedState.eglContext, why)) {
    case platform::Platform::ContextResult::Made: break;
    case platform::Platform::ContextResult::Failed:
        sharedState.eglDisplay = EGL_NO_DISPLAY;
        return fail(why.c_str());
    case platform::Platform::ContextResult::LeftToGame:
        if (!makeOwnContext(system)) return false;
        break;
    }

    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    logPrintf("OpenGL ES Extensions:\n%s\n", extensions ? extensions : "");

    int width = 0, height = 0;
    system.clientRect(width, height);
    glViewport(0, 0, width, height);
    glDepthRangex(0, 0x10000);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    setMenuProjection(width, height);
    sharedState.screenWidth = width;
    sharedState.screenHeight = height;
    glMatrixMode(GL_MODELVIEW);
    return true;
}

void setPerspective(float fieldOfView, float aspect, float zNear, float zFar) {
    const float ymax = static_cast<float>(zNear * std::tan(fieldOfView * 0.008726646259971648));
    const float ymin = -ymax;
    const float xmin = ymin * aspect;
    const float xmax = ymax * aspect;
    glFrustumx(toFixed(xmin), toFixed(xmax), toFixed(ymin), toFixed(ymax), toFixed(zNear), toFixed(zFar));
}

namespace {
constexpr float RACE_FIELD_OF_VIEW = 60.0f;
constexpr float RACE_NEAR = 40.0f;
constexpr float RACE_FAR = 500.0f;

// The near plane's half-height of the race's projection, computed as setPerspective does.
GLfixed raceNearHalfHeight() {
    static const GLfixed value =
        toFixed(static_cast<float>(RACE_NEAR * std::tan(RACE_FIELD_OF_VIEW * 0.008726646259971648)));
    return value;
}
} // namespace

int32_t drawableNearHalfWidth(int width, int height) {
    if (width <= 0 || height <= 0) return raceNearHalfHeight();
    const int64_t wide = static_cast<int64_t>(raceNearHalfHeight()) * width / height;
    return static_cast<GLfixed>(std::min<int64_t>(wide, INT32_MAX));
}

void setDrawablePerspective(int width, int height) {
    const GLfixed ymax = raceNearHalfHeight();
    const GLfixed xmax = drawableNearHalfWidth(width, height);
    glFrustumx(-xmax, xmax, -ymax, ymax, toFixed(RACE_NEAR), toFixed(RACE_FAR));
}

void setMenuProjection(int width, int height) {
    glOrthox(0, toFixed(static_cast<float>(width)), 0, toFixed(static_cast<float>(height)), toFixed(-10.0f),
             toFixed(10.0f));
}
