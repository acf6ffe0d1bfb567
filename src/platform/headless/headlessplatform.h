// The test bench: no window and no X server. An EGL pbuffer of the logical size on
// Mesa's surfaceless platform, a virtual clock, a key script, and message boxes as a
// line on stderr. Sound is silent, records its calls, or goes to an SDL audio driver.
#pragma once
#include <map>
#include "platform/platform.h"
#include "platform/sdl/mixersound.h"

namespace platform {

struct ScriptedKey {
    bool down;
    uint32_t key;
};

// Parses a key script: lines "FRAME down|up KEY", '#' comments. On a malformed line
// returns false with a message naming it.
bool parseKeyScript(const std::string& text, std::map<long, std::vector<ScriptedKey>>& out, std::string& error);
// The virtual-key code of a script key name, or 0.
uint32_t keyCodeByName(const std::string& name);

class HeadlessPlatform : public Platform {
public:
    explicit HeadlessPlatform(const Options& options);
    ~HeadlessPlatform() override;
    bool start(std::string& error);

    bool findOtherInstance(const char* className, const char* title) override { return false; }
    void* createWindow(const char* className, const char* title, WindowProc proc) override;
    void destroyWindow() override;
    bool peekMessage(Message& msg, bool remove) override;
    EGLDisplay eglDisplayForWindow() override;
    EGLint surfaceType() const override { return EGL_PBUFFER_BIT; }
    EGLSurface createSurface(EGLDisplay display, EGLConfig config) override;
    uint32_t tickCount() override;
    int messageBox(const char* caption, const char* text) override;
    bool soundInit(int rate, int channels) override;
    SampleHandle loadSample(const char* path, bool loop) override;
    void playSound(int channel, SampleHandle sample) override;
    void stopSound(int channel) override;
    void soundClose() override;
    // Tests drive the virtual clock directly.
    void setVirtualTicks(uint32_t ticks) { virtualTicks = ticks; }
    // Tests choose the recording sound device before starting the sound.
    void setRecordSound(bool on) { opts.recordSound = on; }

protected:
    void present(EGLDisplay display, EGLSurface surface) override;
    void drawableSize(int& width, int& height) const override;

private:
    std::map<long, std::vector<ScriptedKey>> script;
    long injectedForFrame = 0;
    uint32_t virtualTicks = 0;
    uint32_t startTicks = 0;
    MixerSound mixer;
    bool recording = false;
    std::vector<std::unique_ptr<int>> recordedSamples;
    bool windowOpen = false;
};

} // namespace platform
