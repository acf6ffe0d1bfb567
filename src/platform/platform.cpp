#include "platform/platform.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/fontlookup.h"
#include "platform/os.h"
#include "platform/overlay.h"
#include "platform/still.h"

namespace platform {

namespace {

// The signal that asked the game to end (SIGTERM, SIGINT or SIGHUP), 0 while none did.
volatile std::sig_atomic_t endSignal = 0;
struct sigaction windowSystemTerm {};

void noteEndSignal(int signal) { endSignal = signal; }
// A closed terminal ends the game as SIGTERM does where the window system catches that.
void hangUpAsTerm(int) { windowSystemTerm.sa_handler(SIGTERM); }

void catchSignal(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

} // namespace

void Platform::catchEndSignals() {
    // SDL turns SIGTERM and SIGINT into a quit event that wakes its wait; SIGHUP goes the
    // same way. Where nobody catches them, the loop ends at its next look at the queue.
    sigaction(SIGTERM, nullptr, &windowSystemTerm);
    const bool caught = !(windowSystemTerm.sa_flags & SA_SIGINFO) && windowSystemTerm.sa_handler != SIG_DFL &&
                        windowSystemTerm.sa_handler != SIG_IGN;
    if (caught) {
        catchSignal(SIGHUP, hangUpAsTerm);
        return;
    }
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) catchSignal(signal, noteEndSignal);
}

Platform::Platform(const Options& options) : opts(options) {
    events.useVirtualClock(options.tickMs);
    const std::string font = findOverlayFont();
    overlay = std::make_unique<TextOverlay>(font);
    if (!overlay->hasFont()) {
        const std::string text =
            (font.empty() ? std::string("no font found: fontconfig offers neither DejaVu Sans Bold nor any sans face")
                          : "cannot open the font " + font) +
            "; the score boxes and option words are not shown (the package fonts-dejavu-core has the font)";
        notice(text.c_str());
    }
}

Platform::~Platform() = default;

bool Platform::peekMessage(Message& msg, bool remove) {
    if (endSignal && !endSignalSeen) {
        endSignalSeen = true;
        postQuitMessage(0);
    }
    if (queue.empty()) {
        // The scripted events of frame F reach the window procedure before frame F renders.
        events.injectFor(presented + 1, [this](MessageType type, uintptr_t key, intptr_t lParam) {
            queueFromJournal(type, key, lParam);
        });
        if (queue.empty()) pumpEvents();
    }
    return queue.take(msg, remove);
}

intptr_t Platform::dispatchMessage(const Message& msg) {
    if (!windowProc || msg.message == MsgQuit) return 0;
    events.delivered(msg);
    return windowProc(msg.window, msg.message, msg.wParam, msg.lParam);
}

void Platform::postQuitMessage(int exitCode) {
    quitPosted = true;
    queueFromJournal(MsgQuit, static_cast<uintptr_t>(exitCode));
}

void Platform::queueMessage(MessageType type, uintptr_t wParam, intptr_t lParam) {
    if (events.playingBack()) {
        viewerControl(type, wParam);
        return;
    }
    queueFromJournal(type, wParam, lParam);
}

void Platform::viewerControl(MessageType type, uintptr_t wParam) {
    if (type == MsgDestroy || (type == MsgKeyUp && wParam == VK_ESCAPE)) {
        postQuitMessage(0);
    } else if (type == MsgKeyUp && (wParam == VK_PAUSE || wParam == VK_GAMEPAD_MENU)) {
        viewerPaused = !viewerPaused;
        paceBased = false; // the pause is not time the recording took
    }
}

void Platform::frameWithoutPresent() {
    ++presented;
    events.presented();
}

void Platform::paceFrame() {
    const JournalSource* source = events.currentSource();
    if (!source) return;
    const uint32_t due = source->plannedTick(events.sourceFrame());
    const uint32_t now = realTicks();
    if (!paceBased) {
        paceBased = true;
        paceBaseTick = paceLastDue = due;
        paceBaseReal = now;
        return;
    }
    // A recorded gap (a pause, a focus loss, a clock that jumped either way or wrapped)
    // plays as MAX_FRAME_WAIT_MS at most after the frame before: the schedule starts anew.
    const int32_t step = static_cast<int32_t>(due - paceLastDue);
    if (step < 0 || step > static_cast<int32_t>(MAX_FRAME_WAIT_MS)) {
        const uint32_t lastDueReal = paceBaseReal + (paceLastDue - paceBaseTick);
        paceBaseTick = due;
        paceBaseReal = lastDueReal + (step < 0 ? 0 : MAX_FRAME_WAIT_MS);
    }
    paceLastDue = due;
    const uint32_t target = paceBaseReal + (due - paceBaseTick);
    // Behind the schedule by far (a slow machine, a held window): go on from now.
    if (static_cast<int32_t>(now - target) > static_cast<int32_t>(MAX_FRAME_WAIT_MS)) {
        paceBaseTick = due;
        paceBaseReal = now;
        return;
    }
    // The window system is heard while the frame waits: Escape, P, a closed window or a
    // signal end the wait at once.
    quitPosted = false;
    for (int32_t left = static_cast<int32_t>(target - realTicks()); left > 0 && !quitPosted && !viewerPaused;
         left = static_cast<int32_t>(target - realTicks())) {
        waitForEvents(static_cast<uint32_t>(std::min<int32_t>(left, 10)));
        pumpEvents();
    }
}

void Platform::queueFromJournal(MessageType type, uintptr_t wParam, intptr_t lParam) {
    Message msg;
    msg.window = window;
    msg.message = type;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = events.peek(realTicks());
    queue.push(msg);
}

void Platform::clientRect(int& width, int& height) const {
    width = LOGICAL_WIDTH;
    height = LOGICAL_HEIGHT;
}

void Platform::viewport(int& x, int& y, int& width, int& height) const {
    x = viewX;
    y = viewY;
    width = viewW;
    height = viewH;
}

void Platform::notice(const char* text) {
    std::fprintf(stderr, "palvex: %s\n", text ? text : "");
    std::fflush(stderr);
}

void Platform::placeView(int& dw, int& dh) {
    drawableSize(dw, dh);
    if (dw <= 0 || dh <= 0) {
        dw = LOGICAL_WIDTH;
        dh = LOGICAL_HEIGHT;
    }
    paintedW = dw;
    paintedH = dh;
    // The largest scale that fits, whole-numbered in a window sized for it, with the
    // rest of the drawable left black (letterboxing) in fullscreen.
    const float fit = std::min(static_cast<float>(dw) / LOGICAL_WIDTH, static_cast<float>(dh) / LOGICAL_HEIGHT);
    scale = fit >= 1.0f ? std::floor(fit * 1000.0f) / 1000.0f : fit;
    textW = static_cast<int>(std::lround(LOGICAL_WIDTH * scale));
    textH = static_cast<int>(std::lround(LOGICAL_HEIGHT * scale));
    textX = fillDrawable ? 0 : (dw - textW) / 2;
    textY = (dh - textH) / 2;
    if (fillDrawable) {
        viewX = viewY = 0;
        viewW = dw;
        viewH = dh;
    } else {
        viewX = textX;
        viewY = textY;
        viewW = textW;
        viewH = textH;
    }
}

int Platform::textAreaWidth() const {
    if (!fillDrawable || scale <= 0.0f) return LOGICAL_WIDTH;
    return static_cast<int>(paintedW / scale);
}

void Platform::beginPaint() {
    if (paceToRecording) paceFrame();
    int dw = 0, dh = 0;
    placeView(dw, dh);
    if (viewW != dw || viewH != dh) {
        glDisable(GL_SCISSOR_TEST);
        glClearColorx(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glViewport(viewX, viewY, viewW, viewH);
    glScissor(viewX, viewY, viewW, viewH);
    glEnable(GL_SCISSOR_TEST);
}

void Platform::swapBuffers(EGLDisplay display, EGLSurface surface) {
    swapPending = true;
    pendingDisplay = display;
    pendingSurface = surface;
}

void Platform::keepFrame() {
    lastFrameW = viewW;
    lastFrameH = viewH;
    std::vector<uint8_t> rgba(static_cast<size_t>(viewW) * viewH * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(viewX, viewY, viewW, viewH, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    lastFrame.resize(static_cast<size_t>(viewW) * viewH * 3);
    for (int row = 0; row < viewH; ++row) {
        const uint8_t* src = &rgba[static_cast<size_t>(viewH - 1 - row) * viewW * 4];
        uint8_t* dst = &lastFrame[static_cast<size_t>(row) * viewW * 3];
        for (int col = 0; col < viewW; ++col) {
            dst[col * 3 + 0] = src[col * 4 + 0];
            dst[col * 3 + 1] = src[col * 4 + 1];
            dst[col * 3 + 2] = src[col * 4 + 2];
        }
    }
}

void Platform::endPaint() {
    if (!swapPending) return;
    swapPending = false;
    if (opts.keepFrames || screenshotWanted) keepFrame();
    if (screenshotWanted) saveScreenshot();
    if (stillKept) {
        stillX = viewX;
        stillY = viewY;
        stillW = viewW;
        stillH = viewH;
        stillCurrent = false;
        if (!stillSurvivesSwap) captureStill();
        stillDirty = true;
    }
    drawNotes();
    present(pendingDisplay, pendingSurface);
    pictureLost = false;
    ++presented;
    events.presented();
}

void Platform::captureStill() {
    if (!still) still = std::make_unique<StillPicture>();
    still->capture(stillX, stillY, stillW, stillH);
    stillCurrent = true;
}

void Platform::beginStill() {
    // The back buffer still holds the last frame until this draws over it.
    if (stillKept && !stillCurrent) captureStill();
    int dw = 0, dh = 0;
    placeView(dw, dh);
    glDisable(GL_SCISSOR_TEST);
    glClearColorx(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    if (still) still->draw(viewX, viewY, viewW, viewH, dw, dh);
    glViewport(viewX, viewY, viewW, viewH);
}

void Platform::endStill() {
    stillDirty = false;
    if (opts.keepFrames || screenshotWanted) keepFrame();
    if (screenshotWanted) saveScreenshot();
    drawNotes();
    // The surface of the last frame: a paused game draws into the same window.
    if (pendingDisplay != EGL_NO_DISPLAY) present(pendingDisplay, pendingSurface);
    // The window shows the paused picture, box and all, not the last frame.
    pictureLost = true;
}

void Platform::saveScreenshot() {
    screenshotWanted = false;
    // The player's pictures folder, else the game's data folder.
    std::string dir;
    const char* pictures = std::getenv("XDG_PICTURES_DIR");
    const char* home = std::getenv("HOME");
    if (pictures && pictures[0] == '/' && os::isDirectory(pictures)) dir = pictures;
    else if (home && home[0] == '/' && os::isDirectory(std::string(home) + "/Pictures")) dir = std::string(home) + "/Pictures";
    else if (!os::dataDir().empty() && os::makeDirectories(os::dataDir())) dir = os::dataDir();
    if (dir.empty()) {
        notice("no folder for the screenshot: neither $XDG_PICTURES_DIR, ~/Pictures nor the data folder");
        return;
    }
    if (dir.back() != '/') dir += '/';
    const std::string stem = dir + "palvex-" + os::timestampForFileName();
    std::string path = stem + ".png";
    for (int n = 2; os::exists(path) && n < 100; ++n) path = stem + "-" + std::to_string(n) + ".png";
    Image picture;
    std::string why = "no frame presented yet";
    const bool written = lastPresentedFrame(picture) && savePng(path, picture, &why);
    notice(((written ? "screenshot " : "could not write the screenshot ") + path + (written ? "" : ": " + why)).c_str());
    notes = screenshotNote(path, written, home);
    notesUntil = realTicks() + SCREENSHOT_NOTE_MS;
}

void Platform::drawNotes() {
    if (notes.empty()) return;
    if (static_cast<int32_t>(realTicks() - notesUntil) >= 0) {
        notes.clear();
        return;
    }
    int width = 0, height = 0;
    measureText("M", width, height);
    for (size_t i = 0; i < notes.size(); ++i)
        drawText(2, 2 + static_cast<int>(i) * (height + 1), notes[i].c_str(), {0, 0, 0}, {255, 255, 255});
}

std::vector<std::string> screenshotNote(const std::string& path, bool written, const char* home) {
    const size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string homeDir = home ? home : "";
    if (!homeDir.empty() && homeDir != "/" && folder.compare(0, homeDir.size(), homeDir) == 0 &&
        (folder.size() == homeDir.size() || folder[homeDir.size()] == '/'))
        folder = "~" + folder.substr(homeDir.size());
    return {(written ? "screenshot saved in " : "could not save in ") + folder, name};
}

bool Platform::lastPresentedFrame(Image& out) const {
    if (lastFrame.empty()) return false;
    out.width = lastFrameW;
    out.height = lastFrameH;
    out.rgb = lastFrame;
    return true;
}

void Platform::measureText(const char* text, int& width, int& height) { overlay->measure(text, width, height); }

void Platform::drawText(int x, int y, const char* text, Rgb background, Rgb foreground) {
    drawTextIn(textX, textY, textW, textH, x, y, text, background, foreground);
}

void Platform::drawTextIn(int rectX, int rectY, int rectW, int rectH, int x, int y, const char* text,
                          Rgb background, Rgb foreground) {
    TextOverlay::Placement at{scale, rectX, rectY, rectW, rectH, 0, 0, viewX, viewY, viewW, viewH};
    drawableSize(at.drawableW, at.drawableH);
    if (at.drawableW <= 0 || at.drawableH <= 0) {
        at.drawableW = LOGICAL_WIDTH;
        at.drawableH = LOGICAL_HEIGHT;
    }
    overlay->draw(at, x, y, text, background, foreground);
}

void Platform::playSound(int channel, SampleHandle sample) {
    if (soundListener) soundListener->played(channel, sample);
    soundDevicePlay(channel, sample);
}

void Platform::stopSound(int channel) {
    if (soundListener) soundListener->stopped(channel);
    soundDeviceStop(channel);
}

void Platform::pauseSound(bool on) {
    if (soundListener) soundListener->paused(on);
    soundDevicePause(on);
}

void applySettings(const Settings& settings, const Overrides& overrides, Options& options) {
    options.scale = overrides.scale.value_or(settings.scale);
    options.fullscreen = overrides.fullscreen.value_or(settings.fullscreen);
    options.frameCap = overrides.frameCap.value_or(settings.frameCap);
    options.quitOnFocusLoss = overrides.quitOnFocusLoss.value_or(settings.quitOnFocusLoss);
    options.designView = settings.designView;
    options.bindings = settings.bindings;
    options.replaysKept = settings.replaysKept;
}

} // namespace platform
