// The tap rule: every state a key goes through is seen by at least one frame, events keep
// their order across keys, and a flood of events stays bounded with the keys' final state
// right.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message.h"
#include "platform/taps.h"

using namespace platform;

namespace {

// What the game receives, frame by frame: "d+ a-" is D pressed and A released before the
// frame; frames are separated by " |".
struct Game {
    Taps taps;
    std::vector<KeyEvent> out;
    std::string heard;

    void take() {
        for (const KeyEvent& event : out) heard += std::string(" ") + static_cast<char>(event.key + 32) + (event.down ? '+' : '-');
        out.clear();
    }
    void press(uint32_t key) { taps.key(key, true, out), take(); }
    void release(uint32_t key) { taps.key(key, false, out), take(); }
    void tap(uint32_t key) { press(key), release(key); }
    void frame() {
        heard += " |";
        taps.frameSeen(out);
        take();
    }
};

} // namespace

TEST(Taps, AKeyHeldAcrossFramesPassesStraightThrough) {
    Game game;
    game.press(VK_D);
    game.frame();
    game.frame();
    game.release(VK_D);
    game.frame();
    game.press(VK_D);
    EXPECT_EQ(game.heard, " d+ | | d- | d+");
}

TEST(Taps, EveryTapBetweenTwoFramesIsHeldForAFrameOfItsOwn) {
    Game game;
    game.tap(VK_D);
    game.tap(VK_D);
    game.tap(VK_D);
    for (int i = 0; i < 6; ++i) game.frame();
    EXPECT_EQ(game.heard, " d+ | d- | d+ | d- | d+ | d- |");
    EXPECT_EQ(game.taps.heldBack(), 0u);
}

TEST(Taps, OrderAcrossKeysIsKeptAndRepeatsAreDropped) {
    Game game;
    game.tap(VK_D);
    game.press(VK_A);
    game.press(VK_A); // a repeated press of a held key
    game.release(VK_A);
    game.press(VK_W); // behind the held-back events, though W itself was seen released
    game.frame();
    game.frame();
    game.frame();
    EXPECT_EQ(game.heard, " d+ | d- a+ | a- w+ |");
}

TEST(Taps, AFloodStaysBoundedAndEndsInTheKeysLastState) {
    Game game;
    for (size_t i = 0; i < 3 * Taps::MAX_HELD_BACK; ++i) game.tap(VK_E);
    game.press(VK_E);
    EXPECT_LE(game.taps.heldBack(), Taps::MAX_HELD_BACK);
    for (size_t i = 0; i <= Taps::MAX_HELD_BACK; ++i) game.frame();
    EXPECT_EQ(game.taps.heldBack(), 0u);
    // What went out alternates and ends with E held, as it is.
    std::string events = game.heard;
    std::string compact;
    for (char c : events)
        if (c == '+' || c == '-') compact += c;
    for (size_t i = 1; i < compact.size(); ++i) ASSERT_NE(compact[i], compact[i - 1]) << compact;
    EXPECT_EQ(compact.back(), '+');
}

// Player 1's up and player 2's up are one virtual key and two keys: pressed together,
// both reach the game, and each one's tap is held for a frame of its own.
TEST(Taps, TwoPlayersKeysOfOneVirtualKeyAreTwoKeys) {
    Taps taps;
    std::vector<KeyEvent> out;
    const intptr_t first = keyOfPlayer(1, VK_UP), second = keyOfPlayer(2, VK_UP);
    taps.key(VK_UP, true, out, first);
    taps.key(VK_UP, true, out, second);
    taps.key(VK_UP, false, out, second);
    ASSERT_EQ(out.size(), 2u) << "the second player's press is no repeat of the first's";
    EXPECT_EQ(out[0].lParam, first);
    EXPECT_EQ(out[1].lParam, second);
    EXPECT_TRUE(out[1].down);
    out.clear();
    taps.frameSeen(out);
    ASSERT_EQ(out.size(), 1u) << "the tap's release waits for the frame that saw it held";
    EXPECT_FALSE(out[0].down);
    EXPECT_EQ(out[0].lParam, second);
    out.clear();
    taps.key(VK_UP, true, out, 0x10000); // no player's key is that wide
    taps.key(0x100, true, out, 0);
    EXPECT_TRUE(out.empty());
}
