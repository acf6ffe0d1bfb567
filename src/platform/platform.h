// The one door to the outside world for the game modules: a window with a message queue
// carrying the device's virtual-key codes, the EGL handles, the tick count, message
// boxes, text over the picture, pictures, sound and single-instance detection.
// The code every backend shares lives here (the queue and the journal, letterboxing, the
// text overlay, pictures, the presented frame); a backend (sdl/, headless/) supplies the
// window system, its events, its clock, its message box and its sound device.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <EGL/egl.h>

#include "platform/journal.h"
#include "platform/message.h"
#include "platform/messagequeue.h"
#include "platform/settings.h"
#include "platform/types.h"

namespace platform {

struct Options {
    bool headless = false;
    long tickMs = -1;       // virtual clock step per frame; -1: the real clock
    std::string keysFile;
    int scale = 0;          // 0: the largest that fits
    bool fullscreen = false;
    bool recordSound = false; // headless: a sound device that only records calls
    bool keepFrames = false;  // keep a copy of every presented picture (for screenshots)
    // The desktop's own: at most one frame per refresh of the display; a lost focus ends
    // the game instead of pausing it; the keys and buttons of every action; how many
    // recorded games are kept.
    bool frameCap = true;
    bool quitOnFocusLoss = false;
    Bindings bindings = defaultBindings();
    int replaysKept = 50;
    // The race as the handheld showed it in a window too: the logical screen letterboxed,
    // with its 4:3 projection ([window] view = design).
    bool designView = false;
};

// The settings file's entries, each unless the command line said otherwise.
void applySettings(const Settings& settings, const Overrides& overrides, Options& options);

// Told of every sound call the game makes, whether or not a device plays it.
class SoundListener {
public:
    virtual ~SoundListener() = default;
    virtual void played(int channel, SampleHandle sample) = 0;
    virtual void stopped(int channel) = 0;
    virtual void paused(bool on) {}
};

class TextOverlay;
class StillPicture;

class Platform {
public:
    virtual ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    // Single instance: true when another copy runs; it has then been asked to bring its
    // window to the front, and otherWindowRaised says whether it answered that it did.
    virtual bool findOtherInstance(const char* className, const char* title) = 0;
    bool otherWindowRaised() const { return otherRaised; }
    // Creates the window, with the picture at iconPath as its icon where the window
    // system shows one, and sends it MsgCreate through the window procedure.
    virtual void* createWindow(const char* className, const char* title, WindowProc proc, const char* iconPath) = 0;
    virtual void destroyWindow() = 0;

    // The message queue: peek (optionally removing) and dispatch to the window procedure.
    // When the queue is empty the journal adds the coming frame's scripted events, and
    // only then is the backend asked for the window system's.
    bool peekMessage(Message& msg, bool remove);
    // Blocks until the window system has something for the queue (the game is paused and
    // renders nothing). False when nothing can ever come: headless, no window system
    // stands behind the queue.
    virtual bool waitMessage() { return false; }
    // True when a frame that would draw the picture the window already shows may be left
    // out, the loop waiting in waitMessage instead: a window, paced frames, a frame already
    // presented and still on show (not uncovered or resized since, no screenshot asked
    // for), and nothing that counts the frames (journal.h).
    bool pictureMayStand() const {
        return waitsForEvents() && opts.frameCap && presented > 0 && !pictureLost && !events.countsFrames() &&
               notes.empty();
    }
    intptr_t dispatchMessage(const Message& msg);
    void postQuitMessage(int exitCode);
    void postMessage(const Message& msg) { queue.push(msg); }

    // EGL. A window system that makes the context itself hands it over, current, with its
    // display and surface (Made), or says why it could not (Failed, why). Otherwise
    // (LeftToGame) the game makes its own from the display and a drawing surface below.
    enum class ContextResult { LeftToGame, Made, Failed };
    virtual ContextResult makeContext(EGLDisplay& display, EGLSurface& surface, EGLContext& context, std::string& why) {
        return ContextResult::LeftToGame;
    }
    virtual EGLDisplay eglDisplayForWindow() { return EGL_NO_DISPLAY; }
    virtual EGLint surfaceType() const { return EGL_WINDOW_BIT; }
    virtual EGLSurface createSurface(EGLDisplay display, EGLConfig config) { return EGL_NO_SURFACE; }
    // The client area in logical pixels (the device's 240 x 294).
    virtual void clientRect(int& width, int& height) const;

    // Frame bracket: beginPaint places the logical screen in the drawable (scaled,
    // letterboxed); swap asks for presentation; endPaint composites the overlay and swaps.
    void beginPaint();
    void swapBuffers(EGLDisplay display, EGLSurface surface);
    void endPaint();
    // The paused picture: the last presented frame shown again (with whatever text the
    // game draws over it between beginStill and endStill), presented without counting a
    // frame. Only needed when stillOutdated: after a frame, when the window was uncovered
    // or resized, or for a screenshot. A backend that never pauses keeps no picture.
    bool stillOutdated() const { return stillKept && stillDirty; }
    void beginStill();
    void endStill();
    // Text over the picture: logical pixel position of the top-left corner; the box
    // takes the measured size of the text.
    void drawText(int x, int y, const char* text, Rgb background, Rgb foreground);
    void measureText(const char* text, int& width, int& height);
    // The same over one part of the picture: x and y are logical pixels from the top-left
    // corner of the rectangle (drawable pixels, from the bottom-left as GL counts) given.
    void drawTextIn(int rectX, int rectY, int rectW, int rectH, int x, int y, const char* text, Rgb background,
                    Rgb foreground);

    // The game's tick count in milliseconds, through the journal.
    uint32_t tickCount() { return events.tick(realTicks()); }
    // The same clock looked at by the platform or the test bench: not a read of the game's.
    uint32_t currentTick() { return events.peek(realTicks()); }
    virtual int messageBox(const char* caption, const char* text) = 0;
    // One line for the player on standard error: "palvex: text".
    void notice(const char* text);
    // What a message box cannot say (the full path of a file), as a notice beside it.
    // Headless, where the box itself is a line on standard error, adds nothing.
    virtual void noteBesideBox(const char* text) { notice(text); }

    // A GIF, JPEG, PNG or BMP file to 24-bit pixels, rows top first (imagedecode.h). The
    // file is read whole first; a FIFO or other special file is refused, never waited on.
    bool decodeImage(const char* path, Image& out);

    // Sound (SDL_mixer or a recording stand-in); the listener hears every call.
    bool soundInit(int rate, int channels) { return soundDeviceInit(rate, channels); }
    SampleHandle loadSample(const char* path, bool loop) { return soundDeviceLoad(path, loop); }
    void playSound(int channel, SampleHandle sample);
    void stopSound(int channel);
    // Every channel held where it is, or going on from there.
    void pauseSound(bool on);
    void soundClose() { soundDeviceClose(); }
    void setSoundListener(SoundListener* listener) { soundListener = listener; }

    // How many frames have been presented.
    long framesPresented() const { return presented; }
    // A frame that was run but not drawn (replay verification): counted as presented.
    void frameWithoutPresent();

    // While a replay plays, the window system's keys no longer reach the game: Escape (or
    // closing the window) ends the playback, the pause keys hold it. In a window the frames
    // are paced to the recorded ticks, no frame waiting longer than MAX_FRAME_WAIT_MS,
    // and the window system is heard while one waits.
    static constexpr uint32_t MAX_FRAME_WAIT_MS = 100;
    bool holdingFrames() const { return viewerPaused; }
    void setPaceToRecording(bool on) { paceToRecording = on; }
    // SIGTERM, SIGINT and SIGHUP end the game as a closed window does (after the backend
    // has started: the window system may catch some of them itself).
    static void catchEndSignals();
    // Waits up to ms for the window system's next event (headless: returns at once).
    virtual void waitForEvents(uint32_t ms) {}
    const Options& options() const { return opts; }
    Journal& journal() { return events; }
    // The last presented picture (RGB, rows top first, overlay included), kept when the
    // options ask for it. False before the first frame.
    bool lastPresentedFrame(Image& out) const;
    // The viewport in drawable pixels that the logical screen occupies.
    void viewport(int& x, int& y, int& width, int& height) const;
    float scaleFactor() const { return scale; }
    // A race in a desktop window fills the whole drawable instead of the letterboxed
    // logical screen; set before beginPaint. The text over the picture keeps the logical
    // screen's scale and height, its left edge moved to the drawable's.
    void setFillDrawable(bool on) { fillDrawable = on; }
    // The drawable's size in pixels at the last beginPaint (the logical size headless).
    void paintedSize(int& width, int& height) const {
        width = paintedW;
        height = paintedH;
    }
    // The width, in logical pixels, of the area text is placed in: the logical screen, or
    // the whole drawable while a race fills it.
    int textAreaWidth() const;

protected:
    explicit Platform(const Options& options);
    // Moves the window system's pending events into the queue (queueMessage).
    virtual void pumpEvents() = 0;
    // Milliseconds of the backend's clock.
    virtual uint32_t realTicks() = 0;
    virtual void present(EGLDisplay display, EGLSurface surface) = 0;
    virtual void drawableSize(int& width, int& height) const = 0;
    virtual bool soundDeviceInit(int rate, int channels) = 0;
    virtual SampleHandle soundDeviceLoad(const char* path, bool loop) = 0;
    virtual void soundDevicePlay(int channel, SampleHandle sample) = 0;
    virtual void soundDeviceStop(int channel) = 0;
    virtual void soundDeviceClose() = 0;
    virtual void sleepMs(uint32_t ms) {}
    // A window system whose events waitMessage can wait for.
    virtual bool waitsForEvents() const { return false; }
    virtual void soundDevicePause(bool on) {}

    void queueMessage(MessageType type, uintptr_t wParam, intptr_t lParam = 0);
    // The picture a screenshot key asked for goes out with the next presented picture.
    void requestScreenshot() { screenshotWanted = stillDirty = pictureLost = true; }
    // A backend that pauses keeps the last presented frame for the paused picture: taken
    // from the back buffer when the pause begins where the swap preserves it, else copied
    // after every frame.
    void keepStill(bool survivesSwap) {
        stillKept = true;
        stillSurvivesSwap = survivesSwap;
    }
    // The window no longer shows the presented picture (uncovered, resized, fullscreen).
    void stillLost() { stillDirty = pictureLost = true; }
    bool queueEmpty() const { return queue.empty(); }

    Options opts;
    bool otherRaised = true;
    WindowProc windowProc = nullptr;
    void* window = nullptr;
    long presented = 0;
    float scale = 1.0f;
    int viewX = 0, viewY = 0, viewW = LOGICAL_WIDTH, viewH = LOGICAL_HEIGHT;
    // Where text goes: the logical screen's rectangle, at the drawable's left edge while a
    // race fills the drawable.
    int textX = 0, textY = 0, textW = LOGICAL_WIDTH, textH = LOGICAL_HEIGHT;

private:
    void keepFrame();
    void viewerControl(MessageType type, uintptr_t wParam);
    void paceFrame();
    void queueFromJournal(MessageType type, uintptr_t wParam, intptr_t lParam = 0);

    bool viewerPaused = false;
    bool fillDrawable = false;
    int paintedW = LOGICAL_WIDTH, paintedH = LOGICAL_HEIGHT;
    bool paceToRecording = false;
    bool paceBased = false;
    uint32_t paceBaseTick = 0, paceBaseReal = 0, paceLastDue = 0;
    bool quitPosted = false; // since the frame began to wait
    bool endSignalSeen = false;
    // Places the logical screen in the drawable, whose size (never 0) it hands back.
    void placeView(int& drawableW, int& drawableH);
    void saveScreenshot();
    void captureStill();
    // The lines saying where F12's picture went, over the picture for a few seconds (not
    // in the picture itself).
    void drawNotes();
    std::vector<std::string> notes;
    uint32_t notesUntil = 0;

    MessageQueue queue;
    Journal events;
    std::unique_ptr<TextOverlay> overlay;
    SoundListener* soundListener = nullptr;
    bool swapPending = false;
    EGLDisplay pendingDisplay = EGL_NO_DISPLAY;
    EGLSurface pendingSurface = EGL_NO_SURFACE;
    std::vector<uint8_t> lastFrame;
    int lastFrameW = 0, lastFrameH = 0;
    std::unique_ptr<StillPicture> still;
    bool stillKept = false;
    bool stillSurvivesSwap = false;
    bool stillCurrent = false; // the copy is of the last presented frame
    bool stillDirty = true;    // the window does not show the paused picture
    int stillX = 0, stillY = 0, stillW = 0, stillH = 0;
    bool screenshotWanted = false;
    bool pictureLost = false; // since the last presented frame
};

// The two lines shown over the game when F12 saved a picture (or could not): the folder,
// with the home folder as "~", and the file's name.
std::vector<std::string> screenshotNote(const std::string& path, bool written, const char* home);
constexpr uint32_t SCREENSHOT_NOTE_MS = 3000;

// Writes the picture as a PNG file; false when it cannot be written in full, with why (a
// full disk, a size limit) when asked.
bool savePng(const std::string& path, const Image& image, std::string* why = nullptr);

enum class CreateResult {
    Ok,
    BadUsage, // the options name something unusable (a malformed or unreadable key script)
    Failed,   // the backend could not start (no window system)
};

// Creates the backend the options ask for; the game reaches it through get().
CreateResult create(const Options& options, std::string& error);
void destroy();
Platform& get();
bool exists();

} // namespace platform
