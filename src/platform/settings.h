// The desktop's settings file, $XDG_CONFIG_HOME/palvex/palvex.ini: window, frame cap, what
// a lost focus does, the keys and gamepad buttons of every action, and how many recorded
// games are kept. Read with inih; written with comments and the defaults when it is absent.
// A line the game cannot use is named in one message and its entry keeps the default, so
// a damaged file never stops the game. The options file of the menu (options.bin) is a
// thing apart and stays as it is.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/message.h"

namespace platform {

// What a key or a gamepad button can be bound to. The keyboard has every action but Back
// (Escape is always back); the gamepad has the seven buttons, Back and Pause.
enum Action {
    ActionUp,
    ActionDown,
    ActionLeft,
    ActionRight,
    ActionQ,
    ActionE,
    ActionSelect,
    ActionBack,
    ActionPause,
    ActionFullscreen,
    ActionScreenshot,
    ActionCount
};

// A player's own keys in a race of several: the actions up to ActionE.
constexpr int PLAYER_ACTIONS = ActionE + 1;
using PlayerKeys = std::array<std::vector<int32_t>, PLAYER_ACTIONS>;

// The port of online play when neither the command line nor the settings name one.
constexpr int DEFAULT_NETWORK_PORT = 28282;
// A player's name as the others see it: at most this many bytes.
constexpr size_t MAX_PLAYER_NAME = 32;

// For each action the SDL key codes and the SDL game controller buttons bound to it. The
// cursor keys, Return, Keypad Enter and Escape are always bound to their own actions, so
// no binding can lock a player out of the menus. Apart from these, each player of a race
// of several has keys of their own ([player1] .. [player4]); a key is one player's only.
struct Bindings {
    std::array<std::vector<int32_t>, ActionCount> keys;
    std::array<std::vector<int32_t>, ActionCount> pad;
    std::array<PlayerKeys, MAX_PLAYERS> players;
};
Bindings defaultBindings();

struct Settings {
    int scale = 0; // 0: the largest that fits
    bool fullscreen = false;
    bool frameCap = true;
    bool quitOnFocusLoss = false;
    // view = design: the race letterboxed with the handheld's 4:3 projection, as headless.
    bool designView = false;
    Bindings bindings = defaultBindings();
    // How many recorded games are kept; 0 turns recording off.
    int replaysKept = 50;
    // The opponents' level by name ([game] ai); main checks it against the levels.
    std::string aiLevel = "classic";
    // Online play ([network]): the port a host listens on and a join without one calls,
    // and the name the others see in the lobby (empty: the login name).
    int networkPort = DEFAULT_NETWORK_PORT;
    std::string playerName;
    // A joining machine's port for direct links from the other joining machines (0: any
    // free one) and the one they are told to dial (0: the same), for a forwarded port.
    int directPort = 0;
    int publicPort = 0;
};

// The keys of a binding as the settings file names them: "A, Left".
std::string keyListText(const std::vector<int32_t>& keys);

// "$XDG_CONFIG_HOME/palvex/palvex.ini" (or under ~/.config); empty without a home.
std::string settingsPath();
// The file as the game writes it when there is none: every entry at its default, each
// with a comment.
std::string defaultSettingsText();
// Parses the text of a settings file. Each line that cannot be used adds one message
// naming fileName and the line; its entry keeps the default.
Settings parseSettings(const std::string& text, const std::string& fileName, std::vector<std::string>& messages);
// Reads the file at path (a regular file only: a FIFO or a directory is refused without
// blocking) and parses it; when there is none, writes the defaults there. Every problem
// is one message; the result is always usable.
Settings loadSettings(const std::string& path, std::vector<std::string>& messages);

// What the command line said; it wins over the file.
struct Overrides {
    std::optional<int> scale;
    std::optional<bool> fullscreen;
    std::optional<bool> frameCap;
    std::optional<bool> quitOnFocusLoss;
};

} // namespace platform
