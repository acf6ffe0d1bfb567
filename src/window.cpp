#include "window.h"

#include "buttons.h"
#include "frametimer.h"
#include "log.h"
#include "menu/menu.h"
#include "race.h"
#include "renderingcontext.h"
#include "sharedstate.h"
#include "sound.h"

namespace {

ModeSwitch leaveRace = nullptr;
RaceElsewhere raceElsewhere = nullptr;
LeaveElsewhere leaveElsewhere = nullptr;

bool raceRunsElsewhere() { return raceElsewhere && raceElsewhere(); }
// A gamepad menu button pressed in a race paused it; its release, wherever the game is by
// then, selects nothing.
bool menuButtonPressedInRace = false;

// The key tables: the button a virtual key stands for, or -1.
int buttonForKey(uintptr_t key) {
    switch (key) {
    case platform::VK_W: case platform::VK_UP: return ButtonUp;
    case platform::VK_S: case platform::VK_DOWN: return ButtonDown;
    case platform::VK_A: case platform::VK_LEFT: return ButtonLeft;
    case platform::VK_D: case platform::VK_RIGHT: return ButtonRight;
    case platform::VK_Q: return ButtonQ;
    case platform::VK_E: return ButtonE;
    default: return -1;
    }
}

// The desktop's pause. The sound holds while paused, and a race goes on as if no time had
// passed: the frame timer starts afresh, so the first frame measures one frame, not the
// pause.
void setPaused(uint8_t reason, bool on) {
    // The others race on: an online race never stops for one machine (nor restarts its
    // frame timer, which every machine keeps alike).
    if (raceRunsElsewhere()) return;
    const uint8_t before = sharedState.paused;
    if (!on && (reason & PAUSED_BY_KEY)) sharedState.padUnplugged = 0;
    sharedState.paused = on ? (before | reason) : (before & ~reason);
    if (!before && sharedState.paused) pauseSound(true);
    if (before && !sharedState.paused) {
        pauseSound(false);
        if (sharedState.inGame) frameTimerStart();
    }
}

void leave() {
    if (raceRunsElsewhere()) {
        if (leaveElsewhere) leaveElsewhere();
        return;
    }
    setPaused(PAUSED_BY_KEY, false);
    if (leaveRace) leaveRace();
}

// In a race of several players a key steers the bike of the player it belongs to (the
// platform says whose in lParam); a key of no player is player 1's, as a key script's
// without a player is. Returns the held buttons of that player, or null for a key that
// steers nobody here (a player without a seat in this race), and the button it means.
uint8_t* seatButtons(uintptr_t key, intptr_t lParam, int& button) {
    const int player = platform::playerOfKey(lParam);
    button = buttonForKey(player ? platform::playerVirtualKey(lParam) : key);
    if (button < 0 || player > sharedState.race->humans) return nullptr;
    return player >= 2 ? sharedState.otherPlayersHeld[player - 2] : sharedState.buttonHeld;
}

// Several players on this machine: an online race has one here, who steers with every
// key as the one-player game's player does.
bool severalPlayersRace() {
    return sharedState.inGame && sharedState.race && sharedState.race->humans > 1 && !raceRunsElsewhere();
}

void keyDown(uintptr_t key, intptr_t lParam) {
    // The pause keys act on their press; outside a race they do nothing, and a gamepad's
    // menu button is Enter there.
    if (key == platform::VK_PAUSE || key == platform::VK_GAMEPAD_MENU) {
        if (key == platform::VK_GAMEPAD_MENU) menuButtonPressedInRace = sharedState.inGame != 0;
        if (sharedState.inGame) setPaused(PAUSED_BY_KEY, !(sharedState.paused & PAUSED_BY_KEY));
        return;
    }
    // A new player presses whatever key comes to hand on the title screen: Space, Escape.
    // The handheld waited for one of its mapped buttons. Enter still counts on its release,
    // or that release would select in the main menu it led to.
    if (!sharedState.inGame && (key == platform::VK_OTHER || key == platform::VK_ESCAPE)) sharedState.anyKeySeen = 1;
    if (severalPlayersRace()) {
        int button = -1;
        if (uint8_t* held = seatButtons(key, lParam, button)) {
            if (held == sharedState.buttonHeld) setButton(button, 1);
            else held[button] = 1;
        }
        return;
    }
    const int button = buttonForKey(key);
    if (button >= 0) setButton(button, 1);
    // Q and E never report a release (their buttons stay held): the level moves on the press.
    if (!sharedState.inGame && sharedState.menu && (key == platform::VK_Q || key == platform::VK_E))
        sharedState.menu->changeLevel(key == platform::VK_Q ? -1 : 1);
}

void keyUp(uintptr_t key, intptr_t lParam) {
    if (key == platform::VK_GAMEPAD_MENU) {
        const bool pressedInRace = menuButtonPressedInRace;
        menuButtonPressedInRace = false;
        if (sharedState.inGame || pressedInRace) return;
        key = platform::VK_RETURN;
    }
    if (severalPlayersRace() && key != platform::VK_RETURN && key != platform::VK_ESCAPE) {
        int seatButton = -1;
        uint8_t* held = seatButtons(key, lParam, seatButton);
        if (!held || seatButton > ButtonRight) return;
        if (held == sharedState.buttonHeld) {
            setButton(seatButton, 0);
            markButtonReleased(seatButton);
        } else {
            held[seatButton] = 0;
        }
        return;
    }
    const int button = buttonForKey(key);
    if (button >= 0 && button <= ButtonRight) {
        setButton(button, 0);
        markButtonReleased(button);
        return;
    }
    if (key == platform::VK_RETURN) {
        if (sharedState.inGame) {
            leave();
        } else {
            setButton(ButtonSelect, 0);
            markButtonReleased(ButtonSelect);
        }
    } else if (key == platform::VK_ESCAPE) {
        if (sharedState.inGame) leave();
        else sharedState.backReleased = 1;
    }
}

} // namespace

intptr_t windowProc(void* window, platform::MessageType message, uintptr_t wParam, intptr_t lParam) {
    platform::Platform& system = platform::get();
    switch (message) {
    case platform::MsgDestroy:
        system.postQuitMessage(0);
        return 0;
    case platform::MsgActivate:
        // The handheld ended the game when the player switched away. On a desktop the
        // focus moves casually, so by default the game waits for it instead.
        // Only a race waits: a menu has nothing running that the player could miss.
        if (wParam == 0 && system.options().quitOnFocusLoss) system.postQuitMessage(0);
        else if (wParam != 0 || sharedState.inGame) setPaused(PAUSED_BY_FOCUS, wParam == 0);
        return 0;
    case platform::MsgKeyDown:
        keyDown(wParam, lParam);
        return 0;
    case platform::MsgKeyUp:
        keyUp(wParam, lParam);
        return 0;
    case platform::MsgGamepadAdded:
        if (sharedState.menu) sharedState.menu->gamepadSeated(static_cast<int>(wParam), true);
        return 0;
    case platform::MsgGamepadRemoved:
        if (sharedState.menu) sharedState.menu->gamepadSeated(static_cast<int>(wParam), false);
        // A player whose pad came out cannot steer: the race waits, and says why.
        if (sharedState.inGame && !sharedState.paused) {
            sharedState.padUnplugged = static_cast<uint8_t>(wParam);
            setPaused(PAUSED_BY_KEY, true);
        }
        return 0;
    default:
        return 0;
    }
}

void setModeSwitch(ModeSwitch modeSwitch) { leaveRace = modeSwitch; }

void setRaceElsewhere(RaceElsewhere isElsewhere, LeaveElsewhere leave) {
    raceElsewhere = isElsewhere;
    leaveElsewhere = leave;
}

void endPause() {
    setPaused(PAUSED_BY_KEY | PAUSED_BY_FOCUS, false);
}

InitResult initInstance(const char* className, const char* title, ModeSwitch modeSwitch) {
    platform::Platform& system = platform::get();
    setModeSwitch(modeSwitch);
    if (system.findOtherInstance(className, title)) return InitResult::OtherInstance;
    void* window = system.createWindow(className, title, windowProc, fullPath("icon.gif").c_str());
    if (!window) return InitResult::NoWindow;
    if (!initRenderingContext(window)) return InitResult::NoRenderingContext;
    return InitResult::Ok;
}
