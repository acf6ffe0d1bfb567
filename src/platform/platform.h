// The one door to the outside world for the game modules: a window with a message queue
// carrying the device's virtual-key codes, the EGL handles, the tick count, message
// boxes, text over the picture, image decoding, sound and single-instance detection.
// Two backends: the SDL desktop window and the headless test bench.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <EGL/egl.h>

namespace platform {

// Virtual-key codes of the device.
enum VirtualKey : uint32_t {
    VK_RETURN = 0x0D,
    VK_ESCAPE = 0x1B,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_A = 0x41,
    VK_D = 0x44,
    VK_E = 0x45,
    VK_Q = 0x51,
    VK_S = 0x53,
    VK_W = 0x57,
};

enum MessageType : uint32_t {
    MsgNone = 0,
    MsgCreate,
    MsgDestroy,
    MsgActivate,      // wParam 0: the window lost activation
    MsgSettingChange,
    MsgKeyDown,       // wParam: virtual-key code
    MsgKeyUp,         // wParam: virtual-key code
    MsgQuit,          // wParam: exit code
};

struct Message {
    void* window = nullptr;
    MessageType message = MsgNone;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    uint32_t time = 0;
};

using WindowProc = intptr_t (*)(void* window, MessageType message, uintptr_t wParam, intptr_t lParam);

struct Rgb {
    uint8_t r, g, b;
};

// A decoded picture: 8-bit red, green, blue per pixel, rows top first, no padding.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

using SampleHandle = void*;
constexpr int CHANNEL_FREE = -1;

// The logical screen: the device's client area.
constexpr int LOGICAL_WIDTH = 240;
constexpr int LOGICAL_HEIGHT = 294;

struct Options {
    bool headless = false;
    long frames = -1;       // end after this many rendered frames; -1: no limit
    long tickMs = -1;       // virtual clock step per frame; -1: the real clock
    std::string keysFile;
    std::string traceFile;
    std::string screenshotFile;
    int scale = 0;          // 0: the largest that fits
    bool fullscreen = false;
    bool recordSound = false; // headless: a sound device that only records calls
};

class Platform {
public:
    virtual ~Platform();

    // Single instance: true when another copy runs; it has then been brought to the front.
    virtual bool findOtherInstance(const char* className, const char* title) = 0;
    // Creates the window and sends it MsgCreate through the window procedure.
    virtual void* createWindow(const char* className, const char* title, WindowProc proc) = 0;
    virtual void destroyWindow() = 0;

    // The message queue: peek (optionally removing) and dispatch to the window procedure.
    virtual bool peekMessage(Message& msg, bool remove) = 0;
    intptr_t dispatchMessage(const Message& msg);
    void postQuitMessage(int exitCode);
    void postMessage(const Message& msg);

    // EGL: the display and a drawing surface for the window (or a pbuffer).
    virtual EGLDisplay eglDisplayForWindow() = 0;
    virtual EGLint surfaceType() const = 0;
    virtual EGLSurface createSurface(EGLDisplay display, EGLConfig config) = 0;
    // The client area in logical pixels (the device's 240 x 294).
    virtual void clientRect(int& width, int& height) const;

    // Frame bracket: beginPaint places the logical screen in the drawable (scaled,
    // letterboxed); swap asks for presentation; endPaint composites the overlay and swaps.
    virtual void beginPaint();
    void swapBuffers(EGLDisplay display, EGLSurface surface);
    virtual void endPaint();
    // Text over the picture: logical pixel position of the top-left corner; the box
    // takes the measured size of the text. Returns the measured width and height.
    void drawText(int x, int y, const char* text, Rgb background, Rgb foreground);
    void measureText(const char* text, int& width, int& height);

    virtual uint32_t tickCount() = 0;
    virtual int messageBox(const char* caption, const char* text) = 0;

    // A GIF, JPEG, PNG or BMP file to 24-bit pixels, rows top first (imagedecode.h).
    bool decodeImage(const char* path, Image& out);

    // Sound (SDL_mixer or a recording stand-in).
    virtual bool soundInit(int rate, int channels) = 0;
    virtual SampleHandle loadSample(const char* path, bool loop) = 0;
    virtual void playSound(int channel, SampleHandle sample) = 0;
    virtual void stopSound(int channel) = 0;
    virtual void soundClose() = 0;

    // How many frames have been presented.
    long framesPresented() const { return presented; }
    const Options& options() const { return opts; }
    // The last presented picture (RGB, rows top first), kept when a screenshot is asked for.
    bool saveScreenshot(const std::string& path);
    // The viewport in drawable pixels that the logical screen occupies.
    void viewport(int& x, int& y, int& width, int& height) const;
    float scaleFactor() const { return scale; }

protected:
    explicit Platform(const Options& options);
    virtual void present(EGLDisplay display, EGLSurface surface) = 0;
    virtual void drawableSize(int& width, int& height) const = 0;
    void queueMessage(MessageType type, uintptr_t wParam);
    bool takeQueued(Message& msg, bool remove);
    bool queueEmpty() const { return queue.empty(); }

    Options opts;
    WindowProc windowProc = nullptr;
    void* window = nullptr;
    long presented = 0;
    float scale = 1.0f;
    int viewX = 0, viewY = 0, viewW = LOGICAL_WIDTH, viewH = LOGICAL_HEIGHT;

private:
    struct Overlay;
    std::vector<Message> queue;
    std::unique_ptr<Overlay> overlay;
    bool swapPending = false;
    EGLDisplay pendingDisplay = EGL_NO_DISPLAY;
    EGLSurface pendingSurface = EGL_NO_SURFACE;
    std::vector<uint8_t> lastFrame;
    int lastFrameW = 0, lastFrameH = 0;
};

// Creates the backend the options ask for; the game reaches it through get().
bool create(const Options& options, std::string& error);
void destroy();
Platform& get();
bool exists();

} // namespace platform
