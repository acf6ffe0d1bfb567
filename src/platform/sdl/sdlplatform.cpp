#include "platform/sdl/sdlplatform.h"

#include "platform/imagedecode.h"

#include <EGL/eglext.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>


namespace platform {

namespace {

// Xlib's own handler ends the process from inside Xlib on any refused request, and the
// exit handlers then wait in Xlib for replies that never come. A refused request (an icon
// too large, say) is worth a line, not the game.
int reportXError(Display* display, XErrorEvent* error) {
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "palvex: the X server refused a request: %s\n", text);
    return 0;
}

std::string lockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && runtime[0] ? runtime : "/tmp";
    return dir + "/palvex-" + std::to_string(getuid()) + ".lock";
}

// Depth-first search of the X window tree for a window of the class and title.
Window findX11Window(Display* display, Window root, const char* className, const char* title) {
    XClassHint hint;
    if (XGetClassHint(display, root, &hint)) {
        const bool classMatches = hint.res_class && std::strcmp(hint.res_class, className) == 0;
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        char* name = nullptr;
        if (classMatches && XFetchName(display, root, &name) && name) {
            const bool titleMatches = std::strcmp(name, title) == 0;
            XFree(name);
            if (titleMatches) return root;
        }
    }
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) found = findX11Window(display, children[i], className, title);
        if (children) XFree(children);
    }
    return found;
}

void bringToFront(Display* display, Window target) {
    Window root = DefaultRootWindow(display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.display = display;
    event.xclient.window = target;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // from a pager: the request is honoured
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XMapRaised(display, target);
    XSetInputFocus(display, target, RevertToParent, CurrentTime);
    XFlush(display);
}

uint32_t virtualKeyFor(SDL_Keycode key) {
    switch (key) {
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_SPACE: return 0x20;
    default: break;
    }
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint32_t>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint32_t>('0' + (key - SDLK_0));
    return 0;
}

} // namespace

SdlPlatform::SdlPlatform(const Options& options) : Platform(options) {}

SdlPlatform::~SdlPlatform() {
    // The lock goes first: whatever happens while the window is torn down, the next start
    // must not find it held.
    if (lockFd >= 0) close(lockFd);
    lockFd = -1;
    soundDeviceClose();
    for (SDL_GameController* controller : controllers) SDL_GameControllerClose(controller);
    if (sdlWindow) SDL_DestroyWindow(sdlWindow);
    SDL_Quit();
}

bool SdlPlatform::start(std::string& error) {
    // The window class of the X11 window is the game's class name.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", "Plavex", 1);
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS) != 0) {
        error = std::string("cannot open the window system: ") + SDL_GetError() +
                " (use --headless to run without a display)";
        return false;
    }
    SDL_GameControllerEventState(SDL_ENABLE);
    XSetErrorHandler(reportXError);
    return true;
}

bool SdlPlatform::findOtherInstance(const char* className, const char* title) {
    lockFd = open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) return false; // no lock: play rather than refuse
    if (flock(lockFd, LOCK_EX | LOCK_NB) == 0) return false;
    close(lockFd);
    lockFd = -1;
    if (Display* display = XOpenDisplay(nullptr)) {
        if (Window other = findX11Window(display, DefaultRootWindow(display), className, title))
            bringToFront(display, other);
        XCloseDisplay(display);
    }
    return true;
}

void* SdlPlatform::createWindow(const char* className, const char* title, WindowProc proc, const char* iconPath) {
    windowProc = proc;
    int factor = opts.scale;
    if (factor <= 0) {
        SDL_Rect usable{0, 0, 0, 0};
        factor = 2;
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0) {
            factor = std::min((usable.w - 16) / LOGICAL_WIDTH, (usable.h - 48) / LOGICAL_HEIGHT);
            if (factor < 2) factor = 2;
        }
    }
    Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;
    if (opts.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    sdlWindow = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, LOGICAL_WIDTH * factor,
                                 LOGICAL_HEIGHT * factor, flags);
    if (!sdlWindow) return nullptr;
    SDL_SetWindowMinimumSize(sdlWindow, LOGICAL_WIDTH, LOGICAL_HEIGHT);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(sdlWindow, &info) || info.subsystem != SDL_SYSWM_X11) {
        SDL_DestroyWindow(sdlWindow);
        sdlWindow = nullptr;
        return nullptr;
    }
    x11Display = info.info.x11.display;
    x11Window = info.info.x11.window;
    Image iconImage, fitted;
    if (iconPath && decodeImage(iconPath, iconImage)) {
        // The X server refuses an icon of 2048 x 2048 (BadLength); no window manager shows
        // more than 256 x 256.
        scaleImageToFit(iconImage, MAX_ICON_SIDE, fitted);
        if (SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(fitted.rgb.data(), fitted.width, fitted.height,
                                                                   24, fitted.width * 3, SDL_PIXELFORMAT_RGB24)) {
            SDL_SetWindowIcon(sdlWindow, icon);
            SDL_FreeSurface(icon);
        }
    }
    window = sdlWindow;
    ignoreFocusLossUntil = SDL_GetTicks() + 1000;
    if (windowProc) windowProc(window, MsgCreate, 0, 0);
    return window;
}

void SdlPlatform::destroyWindow() {
    if (!sdlWindow) return;
    if (windowProc) windowProc(window, MsgDestroy, 0, 0);
}

EGLDisplay SdlPlatform::eglDisplayForWindow() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay) return getPlatformDisplay(EGL_PLATFORM_X11_KHR, x11Display, nullptr);
    return eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(x11Display));
}

EGLSurface SdlPlatform::createSurface(EGLDisplay display, EGLConfig config) {
    return eglCreateWindowSurface(display, config, static_cast<EGLNativeWindowType>(x11Window), nullptr);
}

void SdlPlatform::drawableSize(int& width, int& height) const {
    width = height = 0;
    if (sdlWindow) SDL_GetWindowSize(sdlWindow, &width, &height);
}

uint32_t SdlPlatform::realTicks() { return SDL_GetTicks(); }

int SdlPlatform::messageBox(const char* caption, const char* text) {
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0)
        std::fprintf(stderr, "%s: %s\n", caption, text);
    ignoreFocusLossUntil = SDL_GetTicks() + 500; // the box itself takes the focus
    return 1;
}

void SdlPlatform::present(EGLDisplay display, EGLSurface surface) { eglSwapBuffers(display, surface); }

void SdlPlatform::toggleFullscreen() {
    const bool full = (SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    SDL_SetWindowFullscreen(sdlWindow, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    ignoreFocusLossUntil = SDL_GetTicks() + 1000;
}

void SdlPlatform::translateKey(const SDL_KeyboardEvent& key) {
    const bool down = key.type == SDL_KEYDOWN;
    const SDL_Keycode code = key.keysym.sym;
    // Desktop conveniences that never reach the game: F11 and Alt+Enter.
    if (code == SDLK_F11 || ((code == SDLK_RETURN || code == SDLK_KP_ENTER) && (key.keysym.mod & KMOD_ALT))) {
        if (down && !key.repeat) toggleFullscreen();
        return;
    }
    if (down && key.repeat) return;
    const uint32_t vk = virtualKeyFor(code);
    if (vk) queueMessage(down ? MsgKeyDown : MsgKeyUp, vk);
}

void SdlPlatform::translateButton(const SDL_ControllerButtonEvent& button) {
    uint32_t vk = 0;
    switch (button.button) {
    case SDL_CONTROLLER_BUTTON_DPAD_UP: vk = VK_UP; break;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: vk = VK_DOWN; break;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: vk = VK_LEFT; break;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: vk = VK_RIGHT; break;
    case SDL_CONTROLLER_BUTTON_A: case SDL_CONTROLLER_BUTTON_START: vk = VK_RETURN; break;
    case SDL_CONTROLLER_BUTTON_B: case SDL_CONTROLLER_BUTTON_BACK: vk = VK_ESCAPE; break;
    default: return;
    }
    queueMessage(button.type == SDL_CONTROLLERBUTTONDOWN ? MsgKeyDown : MsgKeyUp, vk);
}

void SdlPlatform::translateAxis(const SDL_ControllerAxisEvent& axis) {
    // Hysteresis: press beyond 60% of the travel, release below 30%.
    auto update = [this](int& state, int value, uint32_t negativeKey, uint32_t positiveKey) {
        int next = state;
        if (value > 19660) next = 1;
        else if (value < -19660) next = -1;
        else if (value > -9830 && value < 9830) next = 0;
        if (next == state) return;
        if (state != 0) queueMessage(MsgKeyUp, state < 0 ? negativeKey : positiveKey);
        if (next != 0) queueMessage(MsgKeyDown, next < 0 ? negativeKey : positiveKey);
        state = next;
    };
    if (axis.axis == SDL_CONTROLLER_AXIS_LEFTX) update(stickX, axis.value, VK_LEFT, VK_RIGHT);
    if (axis.axis == SDL_CONTROLLER_AXIS_LEFTY) update(stickY, axis.value, VK_UP, VK_DOWN);
}

void SdlPlatform::pumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_QUIT:
            destroyWindow();
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST && SDL_GetTicks() >= ignoreFocusLossUntil)
                queueMessage(MsgActivate, 0);
            else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
                queueMessage(MsgActivate, 1);
            else if (event.window.event == SDL_WINDOWEVENT_CLOSE)
                destroyWindow();
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            translateKey(event.key);
            break;
        case SDL_CONTROLLERDEVICEADDED:
            if (SDL_GameController* controller = SDL_GameControllerOpen(event.cdevice.which))
                controllers.push_back(controller);
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            translateButton(event.cbutton);
            break;
        case SDL_CONTROLLERAXISMOTION:
            translateAxis(event.caxis);
            break;
        default:
            break;
        }
    }
}

} // namespace platform
