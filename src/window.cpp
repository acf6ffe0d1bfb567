#include "window.h"

#include "buttons.h"
#include "log.h"
#include "renderingcontext.h"
#include "sharedstate.h"

namespace {

ModeSwitch leaveRace = nullptr;

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
        markButtonReleased(button);
        return;
    }
    if (key == platform::VK_RETURN) {
        if (sharedState.inGame) {
            if (leaveRace) leaveRace();
        } else {
            setButton(ButtonSelect, 0);
            markButtonReleased(ButtonSelect);
        }
    } else if (key == platform::VK_ESCAPE) {
        if (sharedState.inGame && leaveRace) leaveRace();
    }
}

} // namespace

intptr_t windowProc(void* window, platform::MessageType message, uintptr_t wParam, intptr_t lParam) {
    platform::Platform& system = platform::get();
    switch (message) {
    case platform::MsgDestroy:
        system.postQuitMessage(0);
        return 0;
    case platform::MsgActivate:
        if (wParam == 0) system.postQuitMessage(0);
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

void setModeSwitch(ModeSwitch modeSwitch) { leaveRace = modeSwitch; }

InitResult initInstance(const char* className, const char* title, ModeSwitch modeSwitch) {
    platform::Platform& system = platform::get();
    setModeSwitch(modeSwitch);
    if (system.findOtherInstance(className, title)) return InitResult::OtherInstance;
    void* window = system.createWindow(className, title, windowProc, fullPath("icon.gif").c_str());
    if (!window) return InitResult::NoWindow;
    if (!initRenderingContext(window)) return InitResult::NoRenderingContext;
    return InitResult::Ok;
}
