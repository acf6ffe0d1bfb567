#include "window.h"

#include <GLES/gl.h>

#include "application.h"
#include "menu/menu.h"
#include "race.h"
#include "renderingcontext.h"
#include "sharedstate.h"

namespace {

// The key tables: the button a virtual key stands for, or -1.
int buttonForKey(uintptr_t key) {
    switch (key) {
    case platform::VK_W: case platform::VK_UP: return ButtonUp;
    case platform::VK_S: case platform::VK_DOWN: return ButtonDown;
    case platform::VK_A: case platform::VK_LEFT: return ButtonLeft;
    case platform::VK_D: case platform::VK_RIGHT: return ButtonRight;
    case platform::VK_Q: return ButtonQ;
    case platform::VK_E: return ButtonE;
    default: return -1;
    }
}

void keyDown(uintptr_t key) {
    const int button = buttonForKey(key);
    if (button >= 0) setButton(button, 1);
}

void keyUp(uintptr_t key) {
    const int button = buttonForKey(key);
    if (button >= 0 && button <= ButtonRight) {
        setButton(button, 0);
        sharedState.buttonReleased[button] = 1;
        return;
    }
    if (key == platform::VK_RETURN) {
        if (sharedState.inGame) {
            toggleMode();
        } else {
            setButton(ButtonSelect, 0);
            sharedState.buttonReleased[ButtonSelect] = 1;
        }
    } else if (key == platform::VK_ESCAPE) {
        if (sharedState.inGame) toggleMode();
    }
}

} // namespace

void setButton(int button, uint8_t value) {
    sharedState.anyKeySeen = 1;
    sharedState.buttonHeld[button] = value;
}

uint8_t isButtonHeld(int button) { return sharedState.buttonHeld[button]; }

intptr_t windowProc(void* window, platform::MessageType message, uintptr_t wParam, intptr_t lParam) {
    platform::Platform& system = platform::get();
    switch (message) {
    case platform::MsgCreate:
        // The device's shell made a menu bar here; the desktop window has none.
        sharedState.menuBar = nullptr;
        for (uint8_t& byte : sharedState.activateInfo) byte = 0;
        sharedState.activateInfo[0] = 12;
        return 0;
    case platform::MsgDestroy:
        sharedState.menuBar = nullptr;
        system.postQuitMessage(0);
        return 0;
    case platform::MsgActivate:
        if (wParam == 0) system.postQuitMessage(0);
        return 0;
    case platform::MsgSettingChange:
        return 0;
    case platform::MsgKeyDown:
        keyDown(wParam);
        return 0;
    case platform::MsgKeyUp:
        keyUp(wParam);
        return 0;
    default:
        return 0;
    }
}

bool initInstance(Application& application) {
    platform::Platform& system = platform::get();
    if (system.findOtherInstance(application.className, application.title)) return false;
    void* window = system.createWindow(application.className, application.title, windowProc);
    if (!window) return false;
    sharedState.mainWindow = window;
    initRenderingContext(window);
    sharedState.race = new Race();
    sharedState.menu = new Menu(window);
    return true;
}

void toggleMode() {
    sharedState.inGame = sharedState.inGame ? 0 : 1;
    if (sharedState.inGame) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setPerspective(60.0f, 1.3333334f, 40.0f, 500.0f);
        glMatrixMode(GL_MODELVIEW);
        sharedState.race->setup();
    } else {
        sharedState.race->teardown();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setMenuProjection(sharedState.screenWidth, sharedState.screenHeight);
        glMatrixMode(GL_MODELVIEW);
    }
}
