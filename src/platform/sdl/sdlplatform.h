// The desktop window: SDL2 with the X11 window handed to EGL, keyboard and gamepad
// turned into the device's key messages, SDL_mixer sound, SDL message boxes, and a lock
// file with an X11 look-up for the single instance.
#pragma once
#include <SDL.h>
#include "platform/platform.h"
#include "platform/sdl/mixersound.h"

namespace platform {

class SdlPlatform : public Platform {
public:
    explicit SdlPlatform(const Options& options);
    ~SdlPlatform() override;
    bool start(std::string& error);

    bool findOtherInstance(const char* className, const char* title) override;
    void* createWindow(const char* className, const char* title, WindowProc proc, const char* iconPath) override;
    void destroyWindow() override;
    EGLDisplay eglDisplayForWindow() override;
    EGLint surfaceType() const override { return EGL_WINDOW_BIT; }
    EGLSurface createSurface(EGLDisplay display, EGLConfig config) override;
    int messageBox(const char* caption, const char* text) override;
    void waitForEvents(uint32_t ms) override { SDL_WaitEventTimeout(nullptr, static_cast<int>(ms)); }

protected:
    void pumpEvents() override;
    uint32_t realTicks() override;
    void present(EGLDisplay display, EGLSurface surface) override;
    void drawableSize(int& width, int& height) const override;
    bool soundDeviceInit(int rate, int channels) override { return mixer.init(rate, channels); }
    SampleHandle soundDeviceLoad(const char* path, bool loop) override { return mixer.load(path, loop); }
    void soundDevicePlay(int channel, SampleHandle sample) override { mixer.play(channel, sample); }
    void soundDeviceStop(int channel) override { mixer.stop(channel); }
    void soundDeviceClose() override { mixer.close(); }
    void sleepMs(uint32_t ms) override { SDL_Delay(ms); }

private:
    void translateKey(const SDL_KeyboardEvent& key);
    void translateButton(const SDL_ControllerButtonEvent& button);
    void translateAxis(const SDL_ControllerAxisEvent& axis);
    void toggleFullscreen();

    SDL_Window* sdlWindow = nullptr;
    void* x11Display = nullptr;
    unsigned long x11Window = 0;
    int lockFd = -1;
    uint32_t ignoreFocusLossUntil = 0;
    int stickX = 0, stickY = 0; // -1, 0, 1: the left stick acting as cursor keys
    std::vector<SDL_GameController*> controllers;
    MixerSound mixer;
};

} // namespace platform
