#include "platform/taps.h"

namespace platform {

void Taps::deliver(const KeyEvent& event, std::vector<KeyEvent>& out) {
    KeyState& state = keys[identity(event)];
    state.down = event.down;
    state.seen = false;
    out.push_back(event);
}

void Taps::key(uint32_t virtualKey, bool down, std::vector<KeyEvent>& out, intptr_t lParam) {
    if (virtualKey > 0xFF || lParam < 0 || lParam > 0xFFFF) return;
    const KeyEvent event{virtualKey, down, lParam};
    KeyState& state = keys[identity(event)];
    if (state.lastDown == down) return;
    state.lastDown = down;
    if (pending.empty() && state.seen) {
        deliver(event, out);
        return;
    }
    if (pending.size() >= MAX_HELD_BACK) {
        deliver(pending.front(), out);
        pending.pop_front();
    }
    pending.push_back(event);
}

void Taps::frameSeen(std::vector<KeyEvent>& out) {
    for (auto& [id, state] : keys) state.seen = true;
    while (!pending.empty() && keys[identity(pending.front())].seen) {
        deliver(pending.front(), out);
        pending.pop_front();
    }
}

} // namespace platform
