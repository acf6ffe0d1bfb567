// Gamepads as players: SDL game controllers coming and going, each taking the lowest free
// player number (1 to 4) while it is plugged in, its buttons and left stick turned into the
// device's keys with that player's mark in lParam. A fifth pad plays as nobody's (lParam 0)
// until a number comes free. Each pad's stick has its own hysteresis: two pads leaning
// the same way are two players steering.
#pragma once
#include <SDL.h>

#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>

#include "platform/message.h"

namespace platform {

class Gamepads {
public:
    // A message for the queue (a pad came or went), and a key of the game (through the tap
    // rule): its virtual key, down or up, and whose it is.
    using Message = std::function<void(MessageType type, uintptr_t wParam)>;
    using Key = std::function<void(uint32_t virtualKey, bool down, intptr_t lParam)>;

    // buttonKeys: SDL game controller button to the virtual key it sends.
    explicit Gamepads(std::unordered_map<int32_t, uint32_t> buttonKeys) : buttonKeys(std::move(buttonKeys)) {}
    ~Gamepads() { closeAll(); }
    Gamepads(const Gamepads&) = delete;
    Gamepads& operator=(const Gamepads&) = delete;

    // Takes a controller event (added, removed, button, axis); false for any other.
    bool handle(const SDL_Event& event, const Message& message, const Key& key);
    void closeAll();
    // The player of the pad with this joystick instance id; 0 for none.
    int playerOf(SDL_JoystickID id) const;
    size_t size() const { return pads.size(); }

private:
    struct Pad {
        SDL_GameController* controller = nullptr;
        int player = 0;
        uint64_t order = 0; // when it was plugged in: a seat that comes free goes to the oldest waiting
        int stickX = 0, stickY = 0; // -1, 0, 1: the left stick acting as cursor keys
    };
    void added(int deviceIndex, const Message& message);
    void removed(SDL_JoystickID id, const Message& message, const Key& key);
    int lowestFree() const;
    // lParam of a pad's key: its player's mark for the keys that steer; the shared ones
    // (select, back, pause) are everybody's, as Return, Escape and P on the keyboard.
    static intptr_t whose(const Pad& pad, uint32_t virtualKey);

    std::unordered_map<int32_t, uint32_t> buttonKeys;
    std::map<SDL_JoystickID, Pad> pads;
    uint64_t plugged = 0;
};

} // namespace platform
