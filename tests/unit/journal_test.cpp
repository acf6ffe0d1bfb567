// The journal: scripted events arrive once, before their frame, in script order; the
// virtual clock moves only with presented frames; a listener sees what the game sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    auto queue = [&](MessageType type, uintptr_t key) {
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
    auto ignore = [](MessageType, uintptr_t) {};
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
        void eventsFor(long, const std::function<void(MessageType, uintptr_t)>&) override {}
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
