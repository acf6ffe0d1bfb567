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
    // A gamepad came or went; wParam: the player it stands for (1 to 4). Pads are players
    // in the order they were plugged in, each taking the lowest number free.
    MsgGamepadAdded,
    MsgGamepadRemoved,
};

// A key message's lParam says whose key it is, for a race of several players on one
// machine: the player (1 to 4; 0 for a key of no player, which a race of several takes for
// player 1's) and the key as that player's binding means it (VK_UP .. VK_RIGHT, VK_Q, VK_E).
// wParam stays the key as the menus and the one-player game mean it.
constexpr intptr_t keyOfPlayer(int player, uint32_t virtualKey) {
    return static_cast<intptr_t>((player & 0xF) | ((virtualKey & 0xFF) << 8));
}
constexpr int playerOfKey(intptr_t lParam) { return static_cast<int>(lParam & 0xF); }
constexpr uint32_t playerVirtualKey(intptr_t lParam) { return static_cast<uint32_t>((lParam >> 8) & 0xFF); }
constexpr int MAX_PLAYERS = 4;

struct Message {
    void* window = nullptr;
    MessageType message = MsgNone;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    uint32_t time = 0;
};

using WindowProc = intptr_t (*)(void* window, MessageType message, uintptr_t wParam, intptr_t lParam);

} // namespace platform
