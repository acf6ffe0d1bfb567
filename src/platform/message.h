// The device's window messages and virtual-key codes, as the game's window procedure takes them.
#pragma once
#include <cstdint>

namespace platform {

// Virtual-key codes of the device.
enum VirtualKey : uint32_t {
    VK_RETURN = 0x0D,
    VK_PAUSE = 0x13,  // the desktop's pause keys (P, Pause): pause a race or go on
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
    // A gamepad's menu button (Start): pauses a race, selects in the menu. The backend
    // cannot tell a race from the menu, so the window procedure decides.
    VK_GAMEPAD_MENU = 0xCF,
    // A key bound to no action: it does nothing but leave the title screen.
    VK_OTHER = 0xFE,
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

} // namespace platform
