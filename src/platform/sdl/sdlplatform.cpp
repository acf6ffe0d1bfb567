#include "platform/sdl/sdlplatform.h"

#include "platform/imagedecode.h"
#include "platform/instancelock.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace platform {

namespace {

// Xlib's own handler ends the process from inside Xlib on any refused request, and the
// exit handlers then wait in Xlib for replies that never come. A refused request (an icon
// too large, say) is worth a line, not the game.
// The game's X window, and whether another program destroyed it (a refused request that
// names it, or its DestroyNotify): what is left of it must not be touched again.
unsigned long watchedWindow = 0;
bool windowGone = false;

int reportXError(Display* display, XErrorEvent* error) {
    if (watchedWindow && error->error_code == BadWindow && error->resourceid == watchedWindow) {
        windowGone = true;
        return 0;
    }
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "palvex: the X server refused a request: %s\n", text);
    return 0;
}

// A display that goes away (the X server ended, the session with it) ends the game: Xlib
// calls this and then ends the process itself. The exit handlers must then leave the
// window alone, or SDL waits in Xlib for ever on the dead connection, spinning, deaf to
// the SIGTERM that would end it.
int reportLostDisplay(Display*) {
    windowGone = true;
    std::fprintf(stderr, "palvex: the connection to the display was lost\n");
    return 0;
}

// The virtual key each action sends; the gamepad's pause button has one of its own.
uint32_t virtualKeyFor(int action, bool gamepad) {
    switch (action) {
    case ActionUp: return VK_UP;
    case ActionDown: return VK_DOWN;
    case ActionLeft: return VK_LEFT;
    case ActionRight: return VK_RIGHT;
    case ActionQ: return VK_Q;
    case ActionE: return VK_E;
    case ActionSelect: return VK_RETURN;
    case ActionBack: return VK_ESCAPE;
    case ActionPause: return gamepad ? VK_GAMEPAD_MENU : VK_PAUSE;
    default: return 0;
    }
}

std::string noWindow(const std::string& why) {
    return "cannot open a window (" + why + "); use --headless for a run without a window";
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// What stands behind a video driver that would not start, in the player's words.
std::string driverFailure(const std::string& driver) {
    if (driver == "wayland") {
        const std::string name = environment("WAYLAND_DISPLAY");
        if (name.empty() && environment("WAYLAND_SOCKET").empty()) return "no Wayland compositor: WAYLAND_DISPLAY is not set";
        return "no Wayland compositor answers at WAYLAND_DISPLAY '" + name + "'";
    }
    if (driver == "x11") {
        const std::string name = environment("DISPLAY");
        if (name.empty()) return "no X server: DISPLAY is not set";
        return "no X server accepts a connection at DISPLAY '" + name + "'";
    }
    return "SDL's video driver '" + driver + "' would not start: " + SDL_GetError();
}

// The drivers to try, in order: the player's choice in SDL_VIDEODRIVER (names separated
// by commas), else a Wayland compositor before an X server. Only named ones: left to
// itself SDL would fall back to its offscreen driver, and the game would run where
// nobody sees it.
std::vector<std::string> videoDrivers() {
    std::vector<std::string> drivers;
    const std::string chosen = environment("SDL_VIDEODRIVER");
    if (!chosen.empty()) {
        size_t from = 0;
        while (from <= chosen.size()) {
            const size_t comma = std::min(chosen.find(',', from), chosen.size());
            if (comma > from) drivers.push_back(chosen.substr(from, comma - from));
            from = comma + 1;
        }
        return drivers;
    }
    if (!environment("WAYLAND_DISPLAY").empty() || !environment("WAYLAND_SOCKET").empty()) drivers.push_back("wayland");
    drivers.push_back("x11");
    return drivers;
}

constexpr const char* APP_ID = "org.palvex.Palvex";

} // namespace

SdlPlatform::SdlPlatform(const Options& options) : Platform(options) {
    std::unordered_map<int32_t, uint32_t> buttonKeys;
    for (int action = 0; action < ActionCount; ++action) {
        for (int32_t key : options.bindings.keys[action]) keyActions.emplace(key, action);
        for (int32_t button : options.bindings.pad[action]) buttonKeys.emplace(button, virtualKeyFor(action, true));
    }
    for (int player = 0; player < MAX_PLAYERS; ++player)
        for (int action = 0; action < PLAYER_ACTIONS; ++action)
            for (int32_t key : options.bindings.players[player][action])
                playerKeys.emplace(key, keyOfPlayer(player + 1, virtualKeyFor(action, false)));
    gamepads = std::make_unique<Gamepads>(std::move(buttonKeys));
}

SdlPlatform::~SdlPlatform() {
    // The lock goes first: whatever happens while the window is torn down, the next start
    // must not find it held.
    instanceLock.reset();
    soundDeviceClose();
    gamepads->closeAll();
    // A window another program destroyed is not destroyed again: Xlib would wait for ever
    // for the answer to a request about a window that is no more.
    if (windowGone) return;
    if (glContext) SDL_GL_DeleteContext(glContext);
    if (sdlWindow) SDL_DestroyWindow(sdlWindow);
    SDL_Quit();
}

bool SdlPlatform::start(std::string& error) {
    // The window class of the X11 window is the game's class name; on Wayland the app_id
    // is the desktop entry's name, by which the compositor finds the icon.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", "Plavex", 1);
    SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", APP_ID, 1);
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // The context is OpenGL ES 1 through EGL on X11 as on Wayland (GLX has no ES 1).
    SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "1");
    if (SDL_Init(SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS) != 0) {
        error = noWindow(std::string("SDL would not start: ") + SDL_GetError());
        return false;
    }
    std::string failures;
    for (const std::string& driver : videoDrivers()) {
        if (driver != "wayland" && driver != "x11") {
            failures += (failures.empty() ? "" : "; ") + ("SDL_VIDEODRIVER names '" + driver + "', and the game's window needs wayland or x11");
            continue;
        }
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, driver.c_str(), SDL_HINT_OVERRIDE);
        const char* running = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 ? SDL_GetCurrentVideoDriver() : nullptr;
        if (running && driver == running) {
            videoDriver = driver;
            break;
        }
        if (running) SDL_QuitSubSystem(SDL_INIT_VIDEO);
        failures += (failures.empty() ? "" : "; ") + driverFailure(driver);
    }
    if (videoDriver.empty()) {
        // Without a choice of the player's, say why neither window system is there.
        if (environment("SDL_VIDEODRIVER").empty() && failures.find("Wayland") == std::string::npos)
            failures = driverFailure("wayland") + "; " + failures;
        error = noWindow(failures);
        return false;
    }
    raiseEvent = SDL_RegisterEvents(1);
    SDL_GameControllerEventState(SDL_ENABLE);
    // Xlib is there only under the X11 driver.
    if (videoDriver == "x11") {
        XSetErrorHandler(reportXError);
        XSetIOErrorHandler(reportLostDisplay);
    }
    return true;
}

bool SdlPlatform::findOtherInstance(const char* className, const char* title) {
    std::string dir, why;
    // Per display: a game on another display or session is another game.
    const std::string session = sessionName(std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"));
    InstanceLock::State state = InstanceLock::State::Unavailable;
    if (privateDirectory(std::getenv("XDG_RUNTIME_DIR"), "/tmp", getuid(), dir, why))
        state = instanceLock->acquire(dir, session, getuid(), why);
    if (state == InstanceLock::State::Held) {
        // The launcher's token lets the compositor hand the focus over (xdg-activation).
        otherRaised = InstanceLock::askToRaise(instanceLock->socketPath(), environment("XDG_ACTIVATION_TOKEN"), 3000);
        return true;
    }
    // Rather play without the check than be locked out by a directory or file that is not ours.
    if (state == InstanceLock::State::Unavailable)
        notice(("no check for a running copy: " + why).c_str());
    else if (!instanceLock->listen([this](const std::string& token) { askedToRaise(token); }, why))
        notice(("a second copy cannot call this one to the front: " + why).c_str());
    return false;
}

// On the listening thread: the main thread raises the window when it next looks at its
// events (a paused game is woken by the event).
void SdlPlatform::askedToRaise(const std::string& token) {
    {
        std::lock_guard<std::mutex> hold(raiseMutex);
        raiseToken = token;
    }
    SDL_Event event{};
    event.type = raiseEvent;
    SDL_PushEvent(&event);
}

void SdlPlatform::comeToFront() {
    std::string token;
    {
        std::lock_guard<std::mutex> hold(raiseMutex);
        token.swap(raiseToken);
    }
    if (!sdlWindow) return;
    if (SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(sdlWindow);
    // On Wayland SDL asks for the focus through xdg-activation with a token of its own,
    // which a compositor may take for a plea for attention only; the token the second
    // copy's launcher gave it is the one the compositor trusts. A stale one does nothing,
    // so both go.
    if (!token.empty() && videoDriver == "wayland") activateWithToken(token);
    SDL_RaiseWindow(sdlWindow);
}

void* SdlPlatform::createWindow(const char* className, const char* title, WindowProc proc, const char* iconPath) {
    windowProc = proc;
    int factor = opts.scale;
    SDL_Rect usable{0, 0, 0, 0};
    // Room for the window manager's frame and title bar.
    const bool usableKnown = SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0;
    const int fits = usableKnown ? std::max(1, std::min((usable.w - 16) / LOGICAL_WIDTH, (usable.h - 48) / LOGICAL_HEIGHT)) : 0;
    if (factor <= 0) {
        factor = usableKnown ? std::max(fits, 2) : 2;
    } else if (usableKnown && factor > fits) {
        const std::string note = "scale " + std::to_string(factor) + " does not fit the usable screen area of " +
                                 std::to_string(usable.w) + " x " + std::to_string(usable.h) +
                                 "; the window takes scale " + std::to_string(fits) + ", the largest that fits";
        notice(note.c_str());
        factor = fits;
    }
    // The context SDL makes: OpenGL ES 1 with a depth buffer, true colour where there is.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
    if (opts.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    sdlWindow = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, LOGICAL_WIDTH * factor,
                                 LOGICAL_HEIGHT * factor, flags);
    if (!sdlWindow) {
        notice((std::string("SDL could not make the window: ") + SDL_GetError()).c_str());
        return nullptr;
    }
    SDL_SetWindowMinimumSize(sdlWindow, LOGICAL_WIDTH, LOGICAL_HEIGHT);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (videoDriver == "x11" && SDL_GetWindowWMInfo(sdlWindow, &info) && info.subsystem == SDL_SYSWM_X11) {
        x11Window = info.info.x11.window;
        watchedWindow = x11Window;
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE); // to hear of the window's destruction
    }
    Image iconImage, fitted;
    if (iconPath && decodeImage(iconPath, iconImage)) {
        // The X server refuses an icon of 2048 x 2048 (BadLength); no window manager shows
        // more than 256 x 256. (A Wayland compositor takes the icon from the desktop entry.)
        scaleImageToFit(iconImage, MAX_ICON_SIDE, fitted);
        if (SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(fitted.rgb.data(), fitted.width, fitted.height,
                                                                   24, fitted.width * 3, SDL_PIXELFORMAT_RGB24)) {
            SDL_SetWindowIcon(sdlWindow, icon);
            SDL_FreeSurface(icon);
        }
    }
    window = sdlWindow;
    readRefreshRate();
    ignoreFocusLossFor(1000);
    if (windowProc) windowProc(window, MsgCreate, 0, 0);
    return window;
}

void SdlPlatform::destroyWindow() {
    if (!sdlWindow) return;
    if (windowProc) windowProc(window, MsgDestroy, 0, 0);
}

// SDL's own context rather than an EGL surface of the game's on the native window: SDL
// makes it on X11 and Wayland alike, and on Wayland it resizes the EGL window when the
// compositor tiles, maximises or scales the window, sets the buffer scale of a HiDPI
// output, and keeps a swap from waiting for ever on a window the compositor hides.
Platform::ContextResult SdlPlatform::makeContext(EGLDisplay& display, EGLSurface& surface, EGLContext& context,
                                                 std::string& why) {
    glContext = sdlWindow ? SDL_GL_CreateContext(sdlWindow) : nullptr;
    if (!glContext) {
        why = std::string("cannot start OpenGL ES: SDL could not make an OpenGL ES 1 context: ") + SDL_GetError();
        return ContextResult::Failed;
    }
    display = eglGetCurrentDisplay();
    surface = eglGetCurrentSurface(EGL_DRAW);
    context = eglGetCurrentContext();
    if (display == EGL_NO_DISPLAY || surface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT) {
        why = "cannot start OpenGL ES: SDL's context is not an EGL one";
        return ContextResult::Failed;
    }
    // A back buffer that survives the swap holds the paused picture for free; otherwise
    // every frame is copied aside.
    EGLint byId[] = {EGL_CONFIG_ID, 0, EGL_NONE};
    EGLint count = 0, types = 0;
    EGLConfig config = nullptr;
    const bool preserved = eglQueryContext(display, context, EGL_CONFIG_ID, &byId[1]) &&
                           eglChooseConfig(display, byId, &config, 1, &count) && count == 1 &&
                           eglGetConfigAttrib(display, config, EGL_SURFACE_TYPE, &types) &&
                           (types & EGL_SWAP_BEHAVIOR_PRESERVED_BIT) &&
                           eglSurfaceAttrib(display, surface, EGL_SWAP_BEHAVIOR, EGL_BUFFER_PRESERVED);
    keepStill(preserved);
    return ContextResult::Made;
}

// In the output's pixels: on a HiDPI screen more than the window's size.
void SdlPlatform::drawableSize(int& width, int& height) const {
    width = height = 0;
    if (sdlWindow) SDL_GL_GetDrawableSize(sdlWindow, &width, &height);
}

uint32_t SdlPlatform::realTicks() { return SDL_GetTicks(); }

int SdlPlatform::messageBox(const char* caption, const char* text) {
    // The box is as wide as its text, and a title bar cuts a longer caption short ("Error
    // at 46 li...oaderase file"): the caption heads the text as well.
    const std::string body = std::string(caption) + "\n\n" + text;
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, body.c_str(), nullptr) != 0)
        std::fprintf(stderr, "%s: %s\n", caption, text);
    ignoreFocusLossFor(500); // the box itself takes the focus
    return 1;
}

void SdlPlatform::readRefreshRate() {
    SDL_DisplayMode mode;
    refreshRate = 60;
    if (sdlWindow && SDL_GetWindowDisplayMode(sdlWindow, &mode) == 0 && mode.refresh_rate > 0)
        refreshRate = mode.refresh_rate;
}

void SdlPlatform::present(EGLDisplay display, EGLSurface surface) {
    if (!swapIntervalSet) {
        SDL_GL_SetSwapInterval(opts.frameCap ? 1 : 0);
        swapIntervalSet = true;
    }
    SDL_GL_SwapWindow(sdlWindow);
    if (opts.frameCap) pace();
}

// A swap that waits for the display paces the frames by itself. Where it does not (a
// software renderer, a virtual X server, a driver that ignores the swap interval) the
// game would render hundreds of frames a second and burn a core for nothing: a frame that
// comes early sleeps until one refresh period after the one before. A frame that comes on
// time or late (the swap waited, or the frame was slow) sleeps not at all and sets the
// rhythm afresh, so the sleep never fights a swap that keeps its own time.
void SdlPlatform::pace() {
    using namespace std::chrono;
    const auto period = nanoseconds(1000000000LL / std::max(refreshRate, 1));
    const auto now = steady_clock::now();
    if (frameDue - now > microseconds(500)) {
        std::this_thread::sleep_until(frameDue);
        frameDue += period;
    } else {
        frameDue = now + period;
    }
}

void SdlPlatform::toggleFullscreen() {
    const bool full = (SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    SDL_SetWindowFullscreen(sdlWindow, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    ignoreFocusLossFor(1000);
    stillLost();
}

void SdlPlatform::ignoreFocusLossFor(uint32_t ms) {
    ignoreFocusLossUntil = SDL_GetTicks() + ms;
    focusRecheckDue = true;
}

void SdlPlatform::recheckFocus() {
    if (!focusRecheckDue || !sdlWindow || SDL_GetTicks() < ignoreFocusLossUntil) return;
    focusRecheckDue = false;
    if (active && !(SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_INPUT_FOCUS)) setActive(false);
}

void SdlPlatform::setActive(bool on) {
    if (on == active) return;
    active = on;
    queueMessage(MsgActivate, on ? 1 : 0);
}

void SdlPlatform::queueTaps() {
    for (const KeyEvent& event : tapped) queueMessage(event.down ? MsgKeyDown : MsgKeyUp, event.key, event.lParam);
    tapped.clear();
}

void SdlPlatform::gameKey(uint32_t virtualKey, bool down, intptr_t lParam) {
    if (!virtualKey) return;
    taps.key(virtualKey, down, tapped, lParam);
    queueTaps();
}

bool SdlPlatform::waitMessage() {
    // No frame will come while the game waits: what the tap rule holds back goes out now,
    // or a release made during the pause would wait for ever.
    taps.frameSeen(tapped);
    if (!tapped.empty()) {
        queueTaps();
        return true;
    }
    if (!queueEmpty()) return true;
    if (focusRecheckDue) {
        const uint32_t now = SDL_GetTicks();
        SDL_WaitEventTimeout(nullptr, now < ignoreFocusLossUntil ? static_cast<int>(ignoreFocusLossUntil - now) : 0);
        return true;
    }
    SDL_WaitEvent(nullptr);
    return true;
}

void SdlPlatform::translateKey(const SDL_KeyboardEvent& key) {
    const bool down = key.type == SDL_KEYDOWN;
    const SDL_Keycode code = key.keysym.sym;
    const SDL_Scancode scancode = key.keysym.scancode;
    const bool knownScancode = scancode > SDL_SCANCODE_UNKNOWN && scancode < SDL_NUM_SCANCODES;
    if (knownScancode && swallowed[scancode]) {
        if (!down) {
            swallowed[scancode] = false;
            return;
        }
        if (key.repeat) return;
        swallowed[scancode] = false; // a new press: its release was lost
    }
    const auto found = keyActions.find(code);
    const int action = found == keyActions.end() ? -1 : found->second;
    // Desktop conveniences that never reach the game: fullscreen (F11, Alt+Enter) and the
    // screenshot key. The press is remembered and its release swallowed above, even when
    // Alt is let go first; a Return pressed for the game keeps its release, Alt or not.
    const bool altEnter = (code == SDLK_RETURN || code == SDLK_KP_ENTER) && (key.keysym.mod & KMOD_ALT);
    const bool convenience = action == ActionFullscreen || action == ActionScreenshot;
    if (down && (altEnter || convenience)) {
        if (knownScancode) swallowed[scancode] = true;
        if (key.repeat) return;
        if (action == ActionScreenshot && !altEnter) requestScreenshot();
        else toggleFullscreen();
        return;
    }
    // A player's key: whose it is goes with it; one that is only a player's reaches the
    // menus as a key of no action.
    const auto owner = playerKeys.find(code);
    const intptr_t lParam = owner == playerKeys.end() ? 0 : owner->second;
    if (action < 0 && !lParam) {
        if (down && !key.repeat) queueMessage(MsgKeyDown, VK_OTHER);
        return;
    }
    if (convenience) return;
    const uint32_t virtualKey = action < 0 ? VK_OTHER : virtualKeyFor(action, false);
    if (down && key.repeat) {
        // SDL takes a release and a press of one key that come within 2 ms of each other
        // for the keyboard's autorepeat, and reports a repeated press. The autorepeat starts
        // only a few hundred milliseconds after the press: a "repeat" this soon after it is
        // a release and a new press (synthetic input, a script's taps), and both count.
        if (knownScancode && key.timestamp - pressedAt[scancode] < MERGED_TAP_MS) {
            pressedAt[scancode] = key.timestamp;
            gameKey(virtualKey, false, lParam);
            gameKey(virtualKey, true, lParam);
        }
        return;
    }
    if (down && knownScancode) pressedAt[scancode] = key.timestamp;
    gameKey(virtualKey, down, lParam);
}

void SdlPlatform::pumpEvents() {
    if (presented != tapsFrame) {
        tapsFrame = presented;
        taps.frameSeen(tapped);
        queueTaps();
    }
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_QUIT:
            destroyWindow();
            break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
            case SDL_WINDOWEVENT_FOCUS_LOST:
                if (SDL_GetTicks() >= ignoreFocusLossUntil) setActive(false);
                break;
            case SDL_WINDOWEVENT_MINIMIZED:
            case SDL_WINDOWEVENT_HIDDEN:
                setActive(false);
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                setActive(true);
                break;
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                stillLost();
                break;
            case SDL_WINDOWEVENT_DISPLAY_CHANGED:
                readRefreshRate();
                break;
            case SDL_WINDOWEVENT_CLOSE:
                destroyWindow();
                break;
            default:
                break;
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            translateKey(event.key);
            break;
        case SDL_SYSWMEVENT:
            if (event.syswm.msg && event.syswm.msg->subsystem == SDL_SYSWM_X11 &&
                event.syswm.msg->msg.x11.event.type == DestroyNotify &&
                event.syswm.msg->msg.x11.event.xdestroywindow.window == x11Window)
                windowGone = true;
            break;
        default:
            if (gamepads->handle(
                    event, [this](MessageType type, uintptr_t player) { queueMessage(type, player); },
                    [this](uint32_t virtualKey, bool down, intptr_t lParam) { gameKey(virtualKey, down, lParam); }))
                break;
            if (event.type == raiseEvent) comeToFront();
            break;
        }
    }
    if (windowGone && !windowGoneSeen) {
        windowGoneSeen = true;
        notice("the game's window was destroyed by another program: the game ends");
        destroyWindow();
    }
    if (!windowGone) recheckFocus();
}

} // namespace platform
