// The journal: the one place where events and ticks enter the game, for every backend.
// Before the backend is asked for window-system events, the journal puts in the events a
// key script (or, later, a replay) holds for the coming frame; every tick the game reads
// comes from it (the real clock, or a virtual clock advancing a fixed step per presented
// frame); and everything the window procedure receives passes it on the way in. A
// recorder listening here sees exactly what the game saw.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/message.h"

namespace platform {

struct ScriptedKey {
    bool down;
    uint32_t key;
    intptr_t lParam = 0; // whose key, for a line that names the player (keyOfPlayer)
};

// Hands one event to the queue: its type, wParam and lParam.
using QueueEvent = std::function<void(MessageType, uintptr_t, intptr_t)>;

// Frame number (1 is the first rendered frame) to the events that arrive before it.
using KeyScript = std::map<long, std::vector<ScriptedKey>>;

// Parses a key script: lines "FRAME down|up [N:]KEY", '#' comments. "2:left" is player
// 2's left: the key's message as the menus know it, with lParam saying whose it is. On a
// malformed line returns false with a message naming it.
bool parseKeyScript(const std::string& text, KeyScript& out, std::string& error);
// The virtual-key code of a script key name, or 0.
uint32_t keyCodeByName(const std::string& name);

// What a recorder sees, in the order the game sees it.
class JournalListener {
public:
    virtual ~JournalListener() = default;
    // A message handed to the window procedure before frame `frame` renders.
    virtual void delivered(long frame, const Message& msg) = 0;
    // A tick count the game read before or during frame `frame`.
    virtual void tickRead(long frame, uint32_t tick) = 0;
    // Frame `frame` has been presented.
    virtual void presented(long frame) = 0;
};

// Where events and ticks come from instead of the window system and the clock: a replay.
// Frames are counted from the start of the playback (1 is the first rendered frame).
class JournalSource {
public:
    virtual ~JournalSource() = default;
    // The events delivered before frame `frame`, in their order.
    virtual void eventsFor(long frame, const QueueEvent& queue) = 0;
    // The next tick the game reads.
    virtual uint32_t nextTick() = 0;
    // The tick last handed out (the platform's own look at the clock).
    virtual uint32_t currentTick() const = 0;
    virtual void presented(long frame) = 0;
    // When frame `frame` is due, in the source's ticks (for playing back in real time).
    virtual uint32_t plannedTick(long frame) const = 0;
};

class Journal {
public:
    // Reads and parses the script; false with a message when it cannot be read or a line
    // is malformed.
    bool loadKeyScript(const std::string& path, std::string& error);
    void setKeyScript(KeyScript script) { keys = std::move(script); }

    // tickMs >= 0: a virtual clock starting at 0 and advancing tickMs per presented frame.
    void useVirtualClock(long tickMs) { stepMs = tickMs; }
    bool virtualClock() const { return stepMs >= 0; }
    void setVirtualTicks(uint32_t ticks) { virtualTicks = ticks; }

    // The scripted events of frame nextFrame, each frame's once; the caller queues them.
    template <typename Queue>
    void injectFor(long nextFrame, Queue&& queueEvent) {
        if (injectedFor >= nextFrame) return;
        injectedFor = nextFrame;
        if (source) {
            source->eventsFor(nextFrame - sourceStart, [&queueEvent](MessageType type, uintptr_t wParam, intptr_t lParam) {
                queueEvent(type, wParam, lParam);
            });
            return;
        }
        auto found = keys.find(nextFrame);
        if (found != keys.end())
            for (const ScriptedKey& key : found->second)
                queueEvent(key.down ? MsgKeyDown : MsgKeyUp, key.key, key.lParam);
        if (frameHook) frameHook([&queueEvent](MessageType type, uintptr_t wParam) { queueEvent(type, wParam, 0); });
    }

    // Called once before every frame after its scripted events, never during a playback:
    // it may queue key events of its own (the autopilot's), which then pass the journal
    // like any other.
    using FrameHook = std::function<void(const std::function<void(MessageType, uintptr_t)>&)>;
    void setFrameHook(FrameHook hook) { frameHook = std::move(hook); }

    // The game's tick count: the virtual clock, or realTicks as the backend's clock gave it.
    uint32_t tick(uint32_t realTicks);
    // The same, for the platform's own use (message times): not a read of the game's.
    uint32_t peek(uint32_t realTicks) const {
        if (source) return source->currentTick();
        return stepMs >= 0 ? virtualTicks : realTicks;
    }
    void delivered(const Message& msg);
    void presented();

    long frame() const { return framesPresented; }
    void setListener(JournalListener* l) { listener = l; }
    JournalListener* currentListener() const { return listener; }

    // From now on the events and ticks come from the source (null: back to the script and
    // the clock); its frame 1 is the next frame to render.
    void setSource(JournalSource* s) {
        source = s;
        sourceStart = framesPresented;
    }
    bool playingBack() const { return source != nullptr; }
    // Frames carry meaning beyond their picture: a playback, a virtual clock, or a key
    // script with events still to come, each keyed to frame numbers.
    bool countsFrames() const {
        return source || stepMs >= 0 || (!keys.empty() && keys.rbegin()->first > injectedFor);
    }
    const JournalSource* currentSource() const { return source; }
    // The playback's frame number of the frame to render next.
    long sourceFrame() const { return framesPresented + 1 - sourceStart; }

private:
    KeyScript keys;
    FrameHook frameHook;
    long injectedFor = 0;
    long stepMs = -1;
    uint32_t virtualTicks = 0;
    long framesPresented = 0;
    JournalListener* listener = nullptr;
    JournalSource* source = nullptr;
    long sourceStart = 0;
};

} // namespace platform
