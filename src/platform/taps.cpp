#include "platform/taps.h"

namespace platform {

void Taps::deliver(const KeyEvent& event, std::vector<KeyEvent>& out) {
    KeyState& state = keys[event.key];
    state.down = event.down;
    state.seen = false;
    out.push_back(event);
}

void Taps::key(uint32_t virtualKey, bool down, std::vector<KeyEvent>& out) {
    if (virtualKey >= keys.size()) return;
    KeyState& state = keys[virtualKey];
    if (state.lastDown == down) return;
    state.lastDown = down;
    const KeyEvent event{virtualKey, down};
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
    for (KeyState& state : keys) state.seen = true;
    while (!pending.empty() && keys[pending.front().key].seen) {
        deliver(pending.front(), out);
        pending.pop_front();
    }
}

} // namespace platform
