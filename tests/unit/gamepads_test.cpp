// Gamepads as players, with SDL's own virtual game controllers (no device needed): each
// pad takes the lowest free player, a fifth plays as nobody's until a seat comes free, a
// pad's keys carry its player, and every pad's stick keeps its own state.
#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <vector>

#include "platform/headless/headlessplatform.h"
#include "platform/sdl/gamepads.h"

using namespace platform;

namespace {

class VirtualPads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        SDL_GameControllerEventState(SDL_ENABLE);
    }
    void TearDown() override {
        pads.closeAll();
        for (int i = SDL_NumJoysticks() - 1; i >= 0; --i)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    }

    // Plugs in a virtual pad with every button and axis of a game controller; its
    // joystick instance id.
    SDL_JoystickID plug() {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
        pump();
        return id;
    }
    void unplug(SDL_JoystickID id) {
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
        pump();
    }
    void button(SDL_JoystickID id, SDL_GameControllerButton which, bool down) {
        SDL_JoystickSetVirtualButton(SDL_JoystickFromInstanceID(id), which, down ? 1 : 0);
        pump();
    }
    void stick(SDL_JoystickID id, int x) {
        SDL_JoystickSetVirtualAxis(SDL_JoystickFromInstanceID(id), SDL_CONTROLLER_AXIS_LEFTX, static_cast<Sint16>(x));
        pump();
    }
    // What the game hears: "+3" pad of player 3 came, "-3" it went, "left+ p2" player 2's
    // left pressed, "select+ p0" a key of nobody's.
    void pump() {
        SDL_JoystickUpdate();
        SDL_Event event;
        while (SDL_PollEvent(&event))
            pads.handle(
                event,
                [this](MessageType type, uintptr_t player) {
                    heard.push_back((type == MsgGamepadAdded ? "+" : "-") + std::to_string(player));
                },
                [this](uint32_t key, bool down, intptr_t lParam) {
                    const char* name = key == VK_LEFT ? "left" : key == VK_RIGHT ? "right" : key == VK_RETURN ? "select" : "?";
                    EXPECT_TRUE(lParam == 0 || playerVirtualKey(lParam) == key) << lParam;
                    heard.push_back(std::string(name) + (down ? "+" : "-") + " p" + std::to_string(playerOfKey(lParam)));
                });
    }
    std::vector<std::string> take() { return std::move(heard); }

    Gamepads pads{{{SDL_CONTROLLER_BUTTON_DPAD_LEFT, VK_LEFT}, {SDL_CONTROLLER_BUTTON_A, VK_RETURN}}};
    std::vector<std::string> heard;
};

} // namespace

TEST_F(VirtualPads, EachPadTakesTheLowestFreePlayerAndAFifthWaitsForASeat) {
    std::vector<SDL_JoystickID> ids;
    for (int i = 0; i < 5; ++i) ids.push_back(plug());
    EXPECT_EQ(take(), (std::vector<std::string>{"+1", "+2", "+3", "+4"})) << "the fifth has no seat";
    EXPECT_EQ(pads.playerOf(ids[4]), 0);
    button(ids[4], SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    button(ids[4], SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
    EXPECT_EQ(take(), (std::vector<std::string>{"left+ p0", "left- p0"})) << "a seatless pad's keys are nobody's";

    unplug(ids[1]);
    EXPECT_EQ(take(), (std::vector<std::string>{"-2", "+2"})) << "the waiting pad takes the seat that came free";
    EXPECT_EQ(pads.playerOf(ids[4]), 2);
    unplug(ids[0]);
    EXPECT_EQ(take(), (std::vector<std::string>{"-1"}));
    const SDL_JoystickID again = plug();
    EXPECT_EQ(take(), (std::vector<std::string>{"+1"})) << "the lowest free number, not the next";
    EXPECT_EQ(pads.playerOf(again), 1);
    EXPECT_EQ(pads.size(), 4u);
}

TEST_F(VirtualPads, APadsKeysAreItsPlayersAndTheSharedOnesNobodys) {
    const SDL_JoystickID first = plug(), second = plug();
    take();
    button(second, SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    button(first, SDL_CONTROLLER_BUTTON_A, true);
    button(second, SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
    button(first, SDL_CONTROLLER_BUTTON_B, true); // bound to nothing here
    EXPECT_EQ(take(), (std::vector<std::string>{"left+ p2", "select+ p0", "left- p2"}));
    // Unplugged while held: SDL lets go of the button before it says the pad is gone.
    button(first, SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    take();
    unplug(first);
    EXPECT_EQ(take(), (std::vector<std::string>{"select- p0", "left- p1", "-1"}));
}

// Two pads leaning the same way are two players steering; each stick presses beyond 60 %
// of its travel and lets go below 30 %, on its own.
TEST_F(VirtualPads, EveryPadsStickKeepsItsOwnState) {
    const SDL_JoystickID first = plug(), second = plug();
    take();
    stick(first, -30000);
    stick(second, -30000);
    EXPECT_EQ(take(), (std::vector<std::string>{"left+ p1", "left+ p2"}));
    stick(first, -15000); // between the two thresholds: still held
    stick(second, 0);
    EXPECT_EQ(take(), (std::vector<std::string>{"left- p2"}));
    stick(first, 30000);
    EXPECT_EQ(take(), (std::vector<std::string>{"left- p1", "right+ p1"}));
}

// The test bench plays only what its script says: a pad plugged into the machine (here a
// virtual one, its button held) never reaches a headless game.
TEST_F(VirtualPads, TheHeadlessBenchHearsNoPad) {
    const SDL_JoystickID id = plug();
    Options options;
    options.headless = true;
    options.tickMs = 20;
    HeadlessPlatform bench(options);
    std::string error;
    ASSERT_TRUE(bench.start(error)) << error;
    bench.createWindow("Plavex", "Palvex", nullptr, nullptr);
    SDL_JoystickSetVirtualButton(SDL_JoystickFromInstanceID(id), SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1);
    SDL_JoystickUpdate();
    Message msg;
    EXPECT_FALSE(bench.peekMessage(msg, true)) << "message " << msg.message;
}
