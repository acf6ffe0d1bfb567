#include "platform/headless/headlessplatform.h"

#include <EGL/eglext.h>
#include <SDL.h>
#include <cstdio>
#include <cstdlib>

#include "platform/os.h"

namespace platform {

HeadlessPlatform::HeadlessPlatform(const Options& options) : Platform(options) {}

HeadlessPlatform::~HeadlessPlatform() { soundDeviceClose(); }

bool HeadlessPlatform::start(std::string& error) {
    startTicks = SDL_GetTicks();
    return true;
}

void* HeadlessPlatform::createWindow(const char* className, const char* title, WindowProc proc, const char* iconPath) {
    windowProc = proc;
    window = this;
    windowOpen = true;
    if (windowProc) windowProc(window, MsgCreate, 0, 0);
    return window;
}

void HeadlessPlatform::destroyWindow() {
    if (!windowOpen) return;
    windowOpen = false;
    if (windowProc) windowProc(window, MsgDestroy, 0, 0);
}

EGLDisplay HeadlessPlatform::eglDisplayForWindow() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

EGLSurface HeadlessPlatform::createSurface(EGLDisplay display, EGLConfig config) {
    const EGLint attributes[] = {EGL_WIDTH, LOGICAL_WIDTH, EGL_HEIGHT, LOGICAL_HEIGHT, EGL_NONE};
    return eglCreatePbufferSurface(display, config, attributes);
}

uint32_t HeadlessPlatform::realTicks() { return SDL_GetTicks() - startTicks; }

int HeadlessPlatform::messageBox(const char* caption, const char* text) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return 1;
}

void HeadlessPlatform::present(EGLDisplay display, EGLSurface surface) { eglSwapBuffers(display, surface); }

void HeadlessPlatform::drawableSize(int& width, int& height) const {
    width = LOGICAL_WIDTH;
    height = LOGICAL_HEIGHT;
}

bool HeadlessPlatform::soundDeviceInit(int rate, int channels) {
    // SDL_AUDIODRIVER chosen by a test (for example "disk") gives real mixing;
    // --record-sound gives a device that only takes the calls; otherwise silence.
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (driver && driver[0]) return mixer.init(rate, channels);
    recording = opts.recordSound;
    return recording;
}

SampleHandle HeadlessPlatform::soundDeviceLoad(const char* path, bool loop) {
    if (mixer.ready()) return mixer.load(path, loop);
    if (!recording || !path) return nullptr;
    if (!os::isRegularFile(path)) return nullptr;
    // A handle of its own for every sample, so the calls can name what they play.
    recordedSamples.push_back(std::make_unique<int>(static_cast<int>(recordedSamples.size())));
    return recordedSamples.back().get();
}

void HeadlessPlatform::soundDevicePlay(int channel, SampleHandle sample) {
    if (mixer.ready()) mixer.play(channel, sample);
}

void HeadlessPlatform::soundDeviceStop(int channel) {
    if (mixer.ready()) mixer.stop(channel);
}

void HeadlessPlatform::soundDeviceClose() {
    mixer.close();
    recording = false;
    recordedSamples.clear();
}

} // namespace platform
