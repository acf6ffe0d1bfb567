#include "platform/sdl/gamepads.h"

namespace platform {

namespace {

// Hysteresis: press beyond 60% of the travel, release below 30%.
constexpr int STICK_PRESS = 19660;
constexpr int STICK_RELEASE = 9830;

bool steers(uint32_t virtualKey) {
    switch (virtualKey) {
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_Q:
    case VK_E: return true;
    default: return false;
    }
}

} // namespace

intptr_t Gamepads::whose(const Pad& pad, uint32_t virtualKey) {
    return pad.player && steers(virtualKey) ? keyOfPlayer(pad.player, virtualKey) : 0;
}

int Gamepads::lowestFree() const {
    for (int player = 1; player <= MAX_PLAYERS; ++player) {
        bool taken = false;
        for (const auto& [id, pad] : pads) taken = taken || pad.player == player;
        if (!taken) return player;
    }
    return 0;
}

int Gamepads::playerOf(SDL_JoystickID id) const {
    const auto found = pads.find(id);
    return found == pads.end() ? 0 : found->second.player;
}

void Gamepads::added(int deviceIndex, const Message& message) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (!controller) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    // SDL may announce a pad twice (once at start, once as it is opened); opening it again
    // only counted a reference.
    if (id < 0 || pads.count(id)) {
        SDL_GameControllerClose(controller);
        return;
    }
    Pad pad;
    pad.controller = controller;
    pad.player = lowestFree();
    pad.order = ++plugged;
    pads.emplace(id, pad);
    if (pad.player) message(MsgGamepadAdded, static_cast<uintptr_t>(pad.player));
}

void Gamepads::removed(SDL_JoystickID id, const Message& message, const Key& key) {
    const auto found = pads.find(id);
    if (found == pads.end()) return;
    // SDL has already released what the pad held, before it says the pad is gone.
    const int player = found->second.player;
    SDL_GameControllerClose(found->second.controller);
    pads.erase(found);
    if (!player) return;
    message(MsgGamepadRemoved, static_cast<uintptr_t>(player));
    Pad* waiting = nullptr;
    for (auto& [other, pad] : pads)
        if (!pad.player && (!waiting || pad.order < waiting->order)) waiting = &pad;
    if (!waiting) return;
    // What its stick held was nobody's: let go as such before the pad becomes a player's.
    if (waiting->stickX) key(waiting->stickX < 0 ? VK_LEFT : VK_RIGHT, false, 0);
    if (waiting->stickY) key(waiting->stickY < 0 ? VK_UP : VK_DOWN, false, 0);
    waiting->stickX = waiting->stickY = 0;
    waiting->player = player;
    message(MsgGamepadAdded, static_cast<uintptr_t>(player));
}

void Gamepads::closeAll() {
    for (auto& [id, pad] : pads) SDL_GameControllerClose(pad.controller);
    pads.clear();
}

bool Gamepads::handle(const SDL_Event& event, const Message& message, const Key& key) {
    switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED:
        added(event.cdevice.which, message);
        return true;
    case SDL_CONTROLLERDEVICEREMOVED:
        removed(event.cdevice.which, message, key);
        return true;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
        const auto pad = pads.find(event.cbutton.which);
        const auto bound = buttonKeys.find(event.cbutton.button);
        if (pad == pads.end() || bound == buttonKeys.end()) return true;
        key(bound->second, event.type == SDL_CONTROLLERBUTTONDOWN, whose(pad->second, bound->second));
        return true;
    }
    case SDL_CONTROLLERAXISMOTION: {
        const auto found = pads.find(event.caxis.which);
        if (found == pads.end()) return true;
        Pad& pad = found->second;
        auto update = [&](int& state, int value, uint32_t negativeKey, uint32_t positiveKey) {
            int next = state;
            if (value > STICK_PRESS) next = 1;
            else if (value < -STICK_PRESS) next = -1;
            else if (value > -STICK_RELEASE && value < STICK_RELEASE) next = 0;
            if (next == state) return;
            if (state != 0) {
                const uint32_t held = state < 0 ? negativeKey : positiveKey;
                key(held, false, whose(pad, held));
            }
            if (next != 0) {
                const uint32_t pressed = next < 0 ? negativeKey : positiveKey;
                key(pressed, true, whose(pad, pressed));
            }
            state = next;
        };
        if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) update(pad.stickX, event.caxis.value, VK_LEFT, VK_RIGHT);
        if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) update(pad.stickY, event.caxis.value, VK_UP, VK_DOWN);
        return true;
    }
    default:
        return false;
    }
}

} // namespace platform
