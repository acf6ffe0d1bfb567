// The journal: scripted events arrive once, before their frame, in script order; the
// virtual clock moves only with presented frames; a listener sees what the game sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headlessplatform.h"
#include "platform/journal.h"
#include "platform/messagequeue.h"

using namespace platform;

namespace {

struct Heard : JournalListener {
    std::vector<std::string> lines;
    void delivered(long frame, const Message& msg) override {
        lines.push_back(std::to_string(frame) + (msg.message == MsgKeyDown ? " down " : " up ") + std::to_string(msg.wParam));
    }
    void tickRead(long frame, uint32_t tick) override { lines.push_back(std::to_string(frame) + " tick " + std::to_string(tick)); }
    void presented(long frame) override { lines.push_back(std::to_string(frame) + " presented"); }
};

KeyScript script(const std::string& text) {
    KeyScript keys;
    std::string error;
    EXPECT_TRUE(parseKeyScript(text, keys, error)) << error;
    return keys;
}

} // namespace

TEST(Journal, ScriptedEventsArriveOnceBeforeTheirFrameInScriptOrder) {
    Journal journal;
    journal.setKeyScript(script("2 down w\n1 down a # first\n\n2 up w\n3 up a\n"));
    std::vector<std::string> seen;
    auto queue = [&](MessageType type, uintptr_t key, intptr_t) {
        seen.push_back((type == MsgKeyDown ? "down " : "up ") + std::to_string(key));
    };
    journal.injectFor(1, queue);
    journal.injectFor(1, queue); // asked again while frame 1 is still to come: nothing more
    EXPECT_EQ(seen, (std::vector<std::string>{"down 65"}));
    journal.injectFor(2, queue);
    EXPECT_EQ(seen, (std::vector<std::string>{"down 65", "down 87", "up 87"}));
    journal.injectFor(4, queue); // frame 3's events were never asked for: they are not replayed late
    EXPECT_EQ(seen.size(), 3u);
}

TEST(Journal, VirtualClockMovesWithPresentedFramesAndTheListenerHearsTheGamesReads) {
    Journal journal;
    journal.useVirtualClock(20);
    Heard heard;
    journal.setListener(&heard);
    EXPECT_EQ(journal.tick(999), 0u) << "the real clock is ignored";
    EXPECT_EQ(journal.peek(999), 0u);
    Message key;
    key.message = MsgKeyDown;
    key.wParam = VK_D;
    journal.delivered(key);
    journal.presented();
    EXPECT_EQ(journal.tick(5), 20u);
    journal.presented();
    EXPECT_EQ(journal.peek(5), 40u);
    EXPECT_EQ(heard.lines, (std::vector<std::string>{"1 tick 0", "1 down 68", "1 presented", "2 tick 20", "2 presented"}))
        << "peeks are the platform's own and are not heard";

    Journal real;
    EXPECT_EQ(real.tick(1234), 1234u);
    real.presented();
    EXPECT_EQ(real.tick(1250), 1250u);
}

// A window may leave out a frame that would draw the same picture, but not while frame
// numbers mean something: a script with events to come, a virtual clock, a playback.
TEST(Journal, CountsFramesWhileAScriptHasEventsToComeOrTheClockIsVirtual) {
    Journal journal;
    EXPECT_FALSE(journal.countsFrames()) << "no script, the real clock";
    journal.setKeyScript(script("1 down a\n3 up a\n"));
    auto ignore = [](MessageType, uintptr_t, intptr_t) {};
    EXPECT_TRUE(journal.countsFrames());
    journal.injectFor(1, ignore);
    journal.injectFor(2, ignore);
    EXPECT_TRUE(journal.countsFrames()) << "frame 3's release is still to come";
    journal.injectFor(3, ignore);
    EXPECT_FALSE(journal.countsFrames()) << "the script is played out";

    Journal clocked;
    clocked.useVirtualClock(0);
    EXPECT_TRUE(clocked.countsFrames());

    struct Source : JournalSource {
        void eventsFor(long, const QueueEvent&) override {}
        uint32_t nextTick() override { return 0; }
        uint32_t currentTick() const override { return 0; }
        void presented(long) override {}
        uint32_t plannedTick(long) const override { return 0; }
    } source;
    Journal playing;
    playing.setSource(&source);
    EXPECT_TRUE(playing.countsFrames());
    playing.setSource(nullptr);
    EXPECT_FALSE(playing.countsFrames());
}

// "2:left" is player 2's left: the key as the menus know it, and whose key it is; W and the
// cursor-up key mean the same to a player. A key without a player is nobody's.
TEST(KeyScript, APlayerPrefixSaysWhoseKeyItIs) {
    const KeyScript keys = script("1 down 2:left\n1 down w\n2 up 1:w\n2 down 4:e\n3 up 3:up # a comment\n");
    ASSERT_EQ(keys.at(1).size(), 2u);
    EXPECT_EQ(keys.at(1)[0].key, uint32_t(VK_LEFT));
    EXPECT_EQ(keys.at(1)[0].lParam, keyOfPlayer(2, VK_LEFT));
    EXPECT_EQ(keys.at(1)[1].lParam, 0);
    EXPECT_EQ(keys.at(2)[0].key, uint32_t(VK_W));
    EXPECT_EQ(keys.at(2)[0].lParam, keyOfPlayer(1, VK_UP));
    EXPECT_EQ(keys.at(2)[1].lParam, keyOfPlayer(4, VK_E));
    EXPECT_EQ(playerOfKey(keys.at(3)[0].lParam), 3);
    EXPECT_EQ(playerVirtualKey(keys.at(3)[0].lParam), uint32_t(VK_UP));

    // Players 1 to 4 only, one digit; Enter and Escape are everybody's.
    for (const char* bad : {"1 down 5:left", "1 down 0:w", "1 down 2:", "1 down :w", "1 down 2:enter",
                            "1 down 1:escape", "1 down 02:left", "1 down 2:2:left", "1 down 2left", "1 down x:w"}) {
        KeyScript out;
        std::string error;
        EXPECT_FALSE(parseKeyScript(std::string("# players\n") + bad + "\n", out, error)) << bad;
        EXPECT_NE(error.find("key script line 2 is malformed: \"" + std::string(bad) + "\""), std::string::npos) << error;
        EXPECT_NE(error.find("FRAME down|up [N:]KEY"), std::string::npos) << error;
    }
}

namespace {
std::vector<Message> received;
intptr_t receive(void* window, MessageType message, uintptr_t wParam, intptr_t lParam) {
    Message m;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    received.push_back(m);
    return 0;
}
} // namespace

// Whose key it is reaches the window procedure, from a script as from a playback, and the
// recorder hears it.
TEST(KeyScript, ThePlayerReachesTheWindowProcedureAndTheRecorder) {
    Options options;
    options.headless = true;
    options.tickMs = 20;
    HeadlessPlatform platform(options);
    received.clear();
    platform.createWindow("Plavex", "Palvex", receive, nullptr);
    platform.journal().setKeyScript(script("1 down 3:a\n1 up d\n"));
    struct Lparams : JournalListener {
        std::vector<intptr_t> heard;
        void delivered(long, const Message& msg) override { heard.push_back(msg.lParam); }
        void tickRead(long, uint32_t) override {}
        void presented(long) override {}
    } listener;
    platform.journal().setListener(&listener);
    Message msg;
    while (platform.peekMessage(msg, true)) platform.dispatchMessage(msg);
    ASSERT_EQ(received.size(), 3u); // the window's creation, then the script's two
    EXPECT_EQ(received[1].wParam, uintptr_t(VK_A));
    EXPECT_EQ(received[1].lParam, keyOfPlayer(3, VK_LEFT));
    EXPECT_EQ(received[2].lParam, 0);
    EXPECT_EQ(listener.heard, (std::vector<intptr_t>{keyOfPlayer(3, VK_LEFT), 0}));
    platform.journal().setListener(nullptr);
}

// A script that puts a third of a million events into one frame: the queue hands them out
// in order (it once erased from the front of a vector and took 23 s for this).
TEST(MessageQueue, HandsOutAFloodInOrder) {
    MessageQueue queue;
    constexpr int count = 300000;
    for (int i = 0; i < count; ++i) {
        Message msg;
        msg.wParam = static_cast<uintptr_t>(i);
        queue.push(msg);
    }
    Message msg;
    ASSERT_TRUE(queue.take(msg, false));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(queue.size(), size_t(count)) << "a peek leaves the message in place";
    int expected = 0;
    while (queue.take(msg, true)) ASSERT_EQ(msg.wParam, uintptr_t(expected++));
    EXPECT_EQ(expected, count);
    EXPECT_TRUE(queue.empty());
}
