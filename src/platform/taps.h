// Every tap counts. The game looks at its keys once a frame, so a key pressed and released
// between two frames would reach it as a release of a key that no frame saw held: a turn,
// a menu step lost. The desktop backend puts its key events through this rule: every state
// a key goes through is seen by at least one frame. An event that would change a key no
// frame has seen in its present state is held back, and so is everything after it, so the
// order of events across keys is kept; after each frame the held-back events go out again,
// one transition per key. Three quick taps become held, released, held, released, held,
// released over six frames.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace platform {

struct KeyEvent {
    uint32_t key; // virtual-key code
    bool down;
    intptr_t lParam = 0; // whose key (message.h)
};

class Taps {
public:
    // A key went down or up in the window system; what may reach the game now is appended
    // to out. A repeated press of a held key (or release of a released one) is dropped.
    // A key is its virtual key and whose it is: player 1's and player 2's up are two keys.
    void key(uint32_t virtualKey, bool down, std::vector<KeyEvent>& out, intptr_t lParam = 0);
    // A frame has been presented, or the game waits without rendering (paused): every key
    // has been seen as it stands, and the held-back events that may follow now go out.
    void frameSeen(std::vector<KeyEvent>& out);
    size_t heldBack() const { return pending.size(); }

    // Beyond this many held-back events the oldest goes out without waiting for a frame:
    // a flood of events costs a few taps, never memory or the keys' final state.
    static constexpr size_t MAX_HELD_BACK = 64;

private:
    struct KeyState {
        bool down = false;    // as the game was told
        bool seen = true;     // a frame has seen it so since it was told
        bool lastDown = false; // after every held-back event
    };
    void deliver(const KeyEvent& event, std::vector<KeyEvent>& out);

    // By the virtual key and the lParam's 16 bits: only the bindings' few are ever made.
    static uint32_t identity(const KeyEvent& event) {
        return event.key | static_cast<uint32_t>(event.lParam) << 8;
    }
    std::unordered_map<uint32_t, KeyState> keys;
    std::deque<KeyEvent> pending;
};

} // namespace platform
