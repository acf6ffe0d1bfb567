// The test bench's backend: no window and no X server. An EGL pbuffer of the logical size
// on Mesa's surfaceless platform, and message boxes as a line on stderr. Sound is silent,
// records its calls, or goes to an SDL audio driver. It has no focus, so it never pauses.
#pragma once
#include "platform/platform.h"
#include "platform/sdl/mixersound.h"

namespace platform {

class HeadlessPlatform : public Platform {
public:
    explicit HeadlessPlatform(const Options& options);
    ~HeadlessPlatform() override;
    bool start(std::string& error);

    bool findOtherInstance(const char* className, const char* title) override { return false; }
    void* createWindow(const char* className, const char* title, WindowProc proc, const char* iconPath) override;
    void destroyWindow() override;
    EGLDisplay eglDisplayForWindow() override;
    EGLint surfaceType() const override { return EGL_PBUFFER_BIT; }
    EGLSurface createSurface(EGLDisplay display, EGLConfig config) override;
    int messageBox(const char* caption, const char* text) override;
    // The box is already a line on stderr.
    void noteBesideBox(const char* text) override {}
    // Tests choose the recording sound device before starting the sound, and what a lost
    // focus does.
    void setRecordSound(bool on) { opts.recordSound = on; }
    void setQuitOnFocusLoss(bool on) { opts.quitOnFocusLoss = on; }

protected:
    void pumpEvents() override {}
    uint32_t realTicks() override;
    void present(EGLDisplay display, EGLSurface surface) override;
    void drawableSize(int& width, int& height) const override;
    bool soundDeviceInit(int rate, int channels) override;
    SampleHandle soundDeviceLoad(const char* path, bool loop) override;
    void soundDevicePlay(int channel, SampleHandle sample) override;
    void soundDeviceStop(int channel) override;
    void soundDeviceClose() override;
    void soundDevicePause(bool on) override { mixer.pause(on); }

private:
    uint32_t startTicks = 0;
    MixerSound mixer;
    bool recording = false;
    std::vector<std::unique_ptr<int>> recordedSamples;
    bool windowOpen = false;
};

} // namespace platform
