// The desktop window: SDL2 on a Wayland compositor or an X server with SDL's OpenGL ES 1
// context, keyboard and gamepad turned into the device's key messages through the
// player's bindings and the tap rule, frames paced to the display, a paused game waiting
// for events, SDL_mixer sound, SDL message boxes, and the single instance through a lock
// and a socket (instancelock.h).
#pragma once
#include <SDL.h>

#include <array>
#include <bitset>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/instancelock.h"
#include "platform/platform.h"
#include "platform/sdl/gamepads.h"
#include "platform/sdl/mixersound.h"
#include "platform/taps.h"

namespace platform {

class SdlPlatform : public Platform {
public:
    explicit SdlPlatform(const Options& options);
    ~SdlPlatform() override;
    bool start(std::string& error);

    bool findOtherInstance(const char* className, const char* title) override;
    void* createWindow(const char* className, const char* title, WindowProc proc, const char* iconPath) override;
    void destroyWindow() override;
    ContextResult makeContext(EGLDisplay& display, EGLSurface& surface, EGLContext& context, std::string& why) override;
    int messageBox(const char* caption, const char* text) override;
    void waitForEvents(uint32_t ms) override { SDL_WaitEventTimeout(nullptr, static_cast<int>(ms)); }
    bool waitMessage() override;
    bool waitsForEvents() const override { return true; }

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
    void soundDevicePause(bool on) override { mixer.pause(on); }

private:
    void translateKey(const SDL_KeyboardEvent& key);
    void toggleFullscreen();
    void setActive(bool on);
    // A key or button of the game through the tap rule into the queue; lParam says whose.
    void gameKey(uint32_t virtualKey, bool down, intptr_t lParam = 0);
    void queueTaps();
    void pace();
    void readRefreshRate();
    void askedToRaise(const std::string& token);
    void comeToFront();
    bool activateWithToken(const std::string& token);

    SDL_Window* sdlWindow = nullptr;
    unsigned long x11Window = 0; // on X11 only, to hear of its destruction
    bool windowGoneSeen = false;
    SDL_GLContext glContext = nullptr;
    std::string videoDriver; // "wayland" or "x11", once started
    std::unique_ptr<InstanceLock> instanceLock = std::make_unique<InstanceLock>();
    // A second copy's call to come to the front, from the lock's listening thread.
    uint32_t raiseEvent = 0;
    std::mutex raiseMutex;
    std::string raiseToken;
    uint32_t ignoreFocusLossUntil = 0;
    // A focus loss ignored during the grace above is not lost: when it ends, the window's
    // focus is looked at again.
    bool focusRecheckDue = false;
    void ignoreFocusLossFor(uint32_t ms);
    void recheckFocus();
    bool active = false;
    std::unique_ptr<Gamepads> gamepads;
    MixerSound mixer;

    // Bindings: SDL key code or gamepad button to the action (settings.h).
    std::unordered_map<int32_t, int> keyActions;
    // SDL key code to whose key it is in a race of several (keyOfPlayer).
    std::unordered_map<int32_t, intptr_t> playerKeys;
    // Presses that toggled fullscreen or took a screenshot: their releases never reach
    // the game, whatever was released first.
    std::bitset<SDL_NUM_SCANCODES> swallowed;
    std::array<uint32_t, SDL_NUM_SCANCODES> pressedAt{};
    static constexpr uint32_t MERGED_TAP_MS = 30;
    Taps taps;
    std::vector<KeyEvent> tapped;
    long tapsFrame = 0;

    bool swapIntervalSet = false;
    int refreshRate = 60;
    std::chrono::steady_clock::time_point frameDue{};
};

} // namespace platform
