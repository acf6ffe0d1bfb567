#include "platform/settings.h"

#include <SDL.h>
#include <ini.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/os.h"

namespace platform {

namespace {

// A settings file is a page of text; anything larger is not one.
constexpr size_t MAX_SETTINGS_BYTES = 64 * 1024;
constexpr int MAX_SCALE = 64;
constexpr int MAX_REPLAYS_KEPT = 100000;

struct ActionName {
    Action action;
    const char* name;
    bool key;
    bool pad;
};

// In the order the file lists them.
const ActionName actionNames[] = {
    {ActionUp, "up", true, true},           {ActionDown, "down", true, true},
    {ActionLeft, "left", true, true},       {ActionRight, "right", true, true},
    {ActionQ, "q", true, true},             {ActionE, "e", true, true},
    {ActionSelect, "select", true, true},   {ActionBack, "back", false, true},
    {ActionPause, "pause", true, true},     {ActionFullscreen, "fullscreen", true, false},
    {ActionScreenshot, "screenshot", true, false},
};

const char* actionName(int action) {
    for (const ActionName& entry : actionNames)
        if (entry.action == action) return entry.name;
    return "?";
}

// The keys that always keep their meaning.
struct Reserved {
    SDL_Keycode key;
    Action action;
};
const Reserved reservedKeys[] = {
    {SDLK_UP, ActionUp},         {SDLK_DOWN, ActionDown},       {SDLK_LEFT, ActionLeft},
    {SDLK_RIGHT, ActionRight},   {SDLK_RETURN, ActionSelect},   {SDLK_KP_ENTER, ActionSelect},
    {SDLK_ESCAPE, ActionBack},
};

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "W, Up" to its names; an empty value is an empty list.
std::vector<std::string> splitList(const char* value) {
    std::vector<std::string> names;
    std::string rest = value ? value : "";
    if (trim(rest).empty()) return names;
    size_t start = 0;
    while (true) {
        const size_t comma = rest.find(',', start);
        names.push_back(trim(rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return names;
}

std::string joinButtons(const std::vector<int32_t>& buttons) {
    std::string text;
    for (int32_t button : buttons) {
        const char* name = SDL_GameControllerGetStringForButton(static_cast<SDL_GameControllerButton>(button));
        text += (text.empty() ? "" : ", ") + std::string(name ? name : "?");
    }
    return text;
}

std::string entryLine(const char* name, const std::string& value) {
    return std::string(name) + (value.empty() ? " =" : " = " + value) + "\n";
}

bool parseBool(const std::string& text, bool& out) {
    const std::string word = lower(text);
    if (word == "true" || word == "yes" || word == "on" || word == "1") out = true;
    else if (word == "false" || word == "no" || word == "off" || word == "0") out = false;
    else return false;
    return true;
}

bool parseWhole(const std::string& text, int minimum, int maximum, int& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const int value = std::stoi(text);
    if (value < minimum || value > maximum) return false;
    out = value;
    return true;
}

// An action as messages name it: "left", or "player 2's left".
std::string slotName(int player, int action) {
    return player ? "player " + std::to_string(player) + "'s " + actionName(action) : actionName(action);
}

// [player1] .. [player4]: the player's number, else 0.
int playerSection(const std::string& section) {
    if (section.size() != 7 || section.compare(0, 6, "player") != 0) return 0;
    const int player = section[6] - '0';
    return player >= 1 && player <= MAX_PLAYERS ? player : 0;
}

// A binding as the file gave it, kept until the whole file is read: conflicts are settled
// in the order of the lines.
struct Explicit {
    bool given = false;
    int line = 0;
    std::vector<int32_t> values;
};

// ini_parse_string's own reader does not tell the handler which line it is on; this one
// reads the text from memory a line at a time and counts.
struct LineReader {
    const char* at;
    const char* end;
    int line = 0;
    bool tooLong = false;
};

char* readLine(char* buffer, int size, void* stream) {
    auto* reader = static_cast<LineReader*>(stream);
    if (reader->at >= reader->end || size < 2) return nullptr;
    const char* newline = static_cast<const char*>(std::memchr(reader->at, '\n', reader->end - reader->at));
    const char* lineEnd = newline ? newline + 1 : reader->end;
    const size_t length = static_cast<size_t>(lineEnd - reader->at);
    const size_t room = static_cast<size_t>(size) - 1;
    ++reader->line;
    reader->tooLong = length > room;
    const size_t copied = std::min(length, room);
    std::memcpy(buffer, reader->at, copied);
    buffer[copied] = '\0';
    reader->at = lineEnd;
    return buffer;
}

struct Parser {
    LineReader reader;
    std::string fileName;
    std::vector<std::string>& messages;
    Settings settings;
    std::array<Explicit, ActionCount> keys;
    std::array<Explicit, ActionCount> pad;
    std::array<std::array<Explicit, PLAYER_ACTIONS>, MAX_PLAYERS> players;
    // Problems are found while reading and while settling the bindings afterwards; the
    // player reads them in the order of the file's lines.
    std::vector<std::pair<int, std::string>> problems;

    void bad(int line, const std::string& problem) {
        problems.emplace_back(line, fileName + " line " + std::to_string(line) + ": " + problem);
    }
    void report() {
        std::stable_sort(problems.begin(), problems.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& problem : problems) messages.push_back(std::move(problem.second));
    }

    void entry(const std::string& section, const std::string& name, const std::string& value) {
        const int line = reader.line;
        if (reader.tooLong) {
            bad(line, "the line is too long; the default of " + name + " is used");
            return;
        }
        const Settings defaults;
        if (section == "window") {
            if (name == "scale") {
                if (!parseWhole(value, 0, MAX_SCALE, settings.scale))
                    bad(line, "scale must be a whole number from 0 to " + std::to_string(MAX_SCALE) + ", not '" +
                                  value + "'; the default (0, the largest that fits) is used");
                return;
            }
            bool* flag = name == "fullscreen" ? &settings.fullscreen : name == "frame_cap" ? &settings.frameCap : nullptr;
            if (flag) {
                if (!parseBool(value, *flag))
                    bad(line, name + " must be true or false, not '" + value + "'; the default (" +
                                  (name == "fullscreen" ? "false" : "true") + ") is used");
                return;
            }
            if (name == "view") {
                const std::string word = lower(value);
                if (word == "desktop" || word == "design") settings.designView = word == "design";
                else bad(line, "view must be desktop or design, not '" + value + "'; the default (desktop) is used");
                return;
            }
            if (name == "focus_loss") {
                const std::string word = lower(value);
                if (word == "pause" || word == "quit") settings.quitOnFocusLoss = word == "quit";
                else bad(line, "focus_loss must be pause or quit, not '" + value + "'; the default (pause) is used");
                return;
            }
        } else if (section == "game" && name == "ai") {
            // The game knows the levels; it names a level it does not know when it applies this.
            settings.aiLevel = lower(value);
            return;
        } else if (section == "network" && name == "port") {
            if (!parseWhole(value, 1, 65535, settings.networkPort))
                bad(line, "port must be a whole number from 1 to 65535, not '" + value + "'; the default (" +
                              std::to_string(DEFAULT_NETWORK_PORT) + ") is used");
            return;
        } else if (section == "network" && (name == "direct_port" || name == "public_port")) {
            int& port = name == "direct_port" ? settings.directPort : settings.publicPort;
            if (!parseWhole(value, 0, 65535, port))
                bad(line, name + " must be a whole number from 0 to 65535, not '" + value + "'; the default (0: " +
                              (name == "direct_port" ? "any free port" : "the direct port") + ") is used");
            return;
        } else if (section == "network" && name == "name") {
            // Shown to strangers and sent in every hello: printable text of a bounded length.
            const bool printable = std::all_of(value.begin(), value.end(), [](char c) {
                return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
            });
            if (!printable || value.size() > MAX_PLAYER_NAME)
                bad(line, "name must be printable text of at most " + std::to_string(MAX_PLAYER_NAME) +
                              " bytes; the login name is used");
            else settings.playerName = value;
            return;
        } else if (section == "replays" && name == "keep") {
            if (!parseWhole(value, 0, MAX_REPLAYS_KEPT, settings.replaysKept))
                bad(line, "keep must be a whole number from 0 to " + std::to_string(MAX_REPLAYS_KEPT) + ", not '" +
                              value + "'; the default (" + std::to_string(defaults.replaysKept) + ") is used");
            return;
        } else if (section == "keys" || section == "gamepad") {
            const bool keyboard = section == "keys";
            for (const ActionName& action : actionNames) {
                if (name != action.name || !(keyboard ? action.key : action.pad)) continue;
                const Bindings defaults = defaultBindings();
                (keyboard ? keys : pad)[action.action] =
                    binding(line, keyboard, 0, action.action, value, (keyboard ? defaults.keys : defaults.pad)[action.action]);
                return;
            }
        } else if (const int player = playerSection(section)) {
            for (const ActionName& action : actionNames) {
                if (name != action.name || action.action >= PLAYER_ACTIONS) continue;
                players[player - 1][action.action] = binding(line, true, player, action.action, value,
                                                             defaultBindings().players[player - 1][action.action]);
                return;
            }
        }
        bad(line, "there is no setting '" + name + "' in [" + section + "]; the line is skipped");
    }

    // A name the game cannot use is left out and the rest of the line stands; a line left
    // with nothing binds the action's defaults, as if the line had named them, so a later
    // line that takes one of them is told so. A player's keys may be any but the shared
    // ones: Return, Keypad Enter and Escape.
    Explicit binding(int line, bool keyboard, int player, Action action, const std::string& value,
                     const std::vector<int32_t>& defaults) {
        Explicit result;
        std::vector<std::string> unusable;
        for (const std::string& word : splitList(value.c_str())) {
            int32_t code = 0;
            if (keyboard) {
                code = word.empty() ? SDLK_UNKNOWN : SDL_GetKeyFromName(word.c_str());
                if (code == SDLK_UNKNOWN) {
                    unusable.push_back("'" + word + "' is not an SDL key name");
                    continue;
                }
                const auto reserved = std::find_if(std::begin(reservedKeys), std::end(reservedKeys), [&](const Reserved& r) {
                    return r.key == code && (player ? r.action >= PLAYER_ACTIONS : r.action != action);
                });
                if (reserved != std::end(reservedKeys)) {
                    unusable.push_back(word + " is always " + actionName(reserved->action) +
                                       (player ? ", for every player" : ""));
                    continue;
                }
            } else {
                code = word.empty() ? SDL_CONTROLLER_BUTTON_INVALID : SDL_GameControllerGetButtonFromString(word.c_str());
                if (code == SDL_CONTROLLER_BUTTON_INVALID) {
                    unusable.push_back("'" + word + "' is not a gamepad button name");
                    continue;
                }
            }
            if (std::find(result.values.begin(), result.values.end(), code) == result.values.end())
                result.values.push_back(code);
        }
        const bool nothingLeft = !unusable.empty() && result.values.empty();
        for (const std::string& problem : unusable)
            bad(line, problem + (nothingLeft ? "; the default of " + slotName(player, action) + " is used"
                                             : "; it is left out"));
        if (nothingLeft) result.values = defaults;
        result.given = true;
        result.line = line;
        return result;
    }

    // One binding as settle sees it: what the file gave, where the result goes, and its
    // name in messages.
    struct Slot {
        Explicit* given;
        std::vector<int32_t>* out;
        std::string name;
    };

    // A key named for two slots keeps the first line's; the later entry falls back to its
    // default. Defaults give way to every key the file bound itself.
    void settle(const std::vector<Slot>& slots, bool keyboard) {
        std::vector<size_t> order;
        for (size_t s = 0; s < slots.size(); ++s)
            if (slots[s].given->given) order.push_back(s);
        std::sort(order.begin(), order.end(),
                  [&](size_t a, size_t b) { return slots[a].given->line < slots[b].given->line; });
        std::map<int32_t, size_t> claimed;
        for (size_t s : order) {
            Explicit& given = *slots[s].given;
            for (int32_t code : given.values) {
                auto found = claimed.find(code);
                if (found == claimed.end() || found->second == s) continue;
                bad(given.line, (keyboard ? std::string(SDL_GetKeyName(code)) : joinButtons({code})) + " is already " +
                                    slots[found->second].name + "; the default of " + slots[s].name + " is used");
                given.given = false;
                break;
            }
            if (!given.given) continue;
            for (int32_t code : given.values) claimed[code] = s;
            *slots[s].out = given.values;
        }
        for (size_t s = 0; s < slots.size(); ++s) {
            if (slots[s].given->given) continue;
            dropKeys(*slots[s].out, [&](int32_t code) {
                auto found = claimed.find(code);
                return found != claimed.end() && found->second != s;
            });
        }
    }

    template <typename Unwanted>
    static void dropKeys(std::vector<int32_t>& values, Unwanted unwanted) {
        values.erase(std::remove_if(values.begin(), values.end(), unwanted), values.end());
    }

    void settleActions(bool keyboard) {
        std::array<Explicit, ActionCount>& given = keyboard ? keys : pad;
        std::array<std::vector<int32_t>, ActionCount>& out = keyboard ? settings.bindings.keys : settings.bindings.pad;
        std::vector<Slot> slots;
        for (int a = 0; a < ActionCount; ++a) slots.push_back({&given[a], &out[a], slotName(0, a)});
        settle(slots, keyboard);
        if (!keyboard) return;
        for (const Reserved& reserved : reservedKeys) {
            auto& values = out[reserved.action];
            if (std::find(values.begin(), values.end(), reserved.key) == values.end()) values.push_back(reserved.key);
        }
    }

    // After [keys]: the keys of the shared actions (select, back, pause, fullscreen,
    // screenshot) are nobody's own, then one key is one player's.
    void settlePlayers() {
        std::map<int32_t, int> shared;
        for (int a = PLAYER_ACTIONS; a < ActionCount; ++a)
            for (int32_t code : settings.bindings.keys[a]) shared.emplace(code, a);
        std::vector<Slot> slots;
        for (int p = 0; p < MAX_PLAYERS; ++p) {
            for (int a = 0; a < PLAYER_ACTIONS; ++a) {
                Explicit& given = players[p][a];
                dropKeys(given.values, [&](int32_t code) {
                    auto found = shared.find(code);
                    if (found == shared.end()) return false;
                    if (given.given)
                        bad(given.line, std::string(SDL_GetKeyName(code)) + " is " + actionName(found->second) +
                                            " in [keys], for every player; it is left out");
                    return true;
                });
                std::vector<int32_t>& out = settings.bindings.players[p][a];
                dropKeys(out, [&](int32_t code) { return shared.count(code) > 0; });
                slots.push_back({&given, &out, slotName(p + 1, a)});
            }
        }
        settle(slots, true);
    }
};

int handleEntry(void* user, const char* section, const char* name, const char* value) {
    static_cast<Parser*>(user)->entry(lower(section ? section : ""), lower(name ? name : ""), trim(value ? value : ""));
    return 1;
}

} // namespace

std::string keyListText(const std::vector<int32_t>& keys) {
    std::string text;
    for (int32_t key : keys) text += (text.empty() ? "" : ", ") + std::string(SDL_GetKeyName(key));
    return text;
}

Bindings defaultBindings() {
    Bindings b;
    b.keys[ActionUp] = {SDLK_w, SDLK_UP};
    b.keys[ActionDown] = {SDLK_s, SDLK_DOWN};
    b.keys[ActionLeft] = {SDLK_a, SDLK_LEFT};
    b.keys[ActionRight] = {SDLK_d, SDLK_RIGHT};
    b.keys[ActionQ] = {SDLK_q};
    b.keys[ActionE] = {SDLK_e};
    b.keys[ActionSelect] = {SDLK_RETURN, SDLK_KP_ENTER};
    b.keys[ActionBack] = {SDLK_ESCAPE};
    b.keys[ActionPause] = {SDLK_p, SDLK_PAUSE};
    b.keys[ActionFullscreen] = {SDLK_F11};
    b.keys[ActionScreenshot] = {SDLK_F12};
    b.pad[ActionUp] = {SDL_CONTROLLER_BUTTON_DPAD_UP};
    b.pad[ActionDown] = {SDL_CONTROLLER_BUTTON_DPAD_DOWN};
    b.pad[ActionLeft] = {SDL_CONTROLLER_BUTTON_DPAD_LEFT};
    b.pad[ActionRight] = {SDL_CONTROLLER_BUTTON_DPAD_RIGHT};
    b.pad[ActionSelect] = {SDL_CONTROLLER_BUTTON_A};
    b.pad[ActionBack] = {SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_BACK};
    b.pad[ActionPause] = {SDL_CONTROLLER_BUTTON_START};
    // Each player's keys in the shape of W A S D with Q and E above: the cursor keys (Q and
    // E steer nothing, and the cursor block has no keys above it on every keyboard), I J K L
    // with U and O, the keypad's 8 4 5 6 with 7 and 9.
    b.players[0] = {{{SDLK_w}, {SDLK_s}, {SDLK_a}, {SDLK_d}, {SDLK_q}, {SDLK_e}}};
    b.players[1] = {{{SDLK_UP}, {SDLK_DOWN}, {SDLK_LEFT}, {SDLK_RIGHT}, {}, {}}};
    b.players[2] = {{{SDLK_i}, {SDLK_k}, {SDLK_j}, {SDLK_l}, {SDLK_u}, {SDLK_o}}};
    b.players[3] = {{{SDLK_KP_8}, {SDLK_KP_5}, {SDLK_KP_4}, {SDLK_KP_6}, {SDLK_KP_7}, {SDLK_KP_9}}};
    return b;
}

std::string settingsPath() {
    const std::string dir = os::configDir();
    return dir.empty() ? std::string() : dir + "palvex.ini";
}

std::string defaultSettingsText() {
    const Settings d;
    auto flag = [](bool on) { return on ? "true" : "false"; };
    std::string text =
        "; Palvex settings, written with the defaults on the first start. A line the game cannot\n"
        "; use is named on standard error and that entry keeps its default. Options given on the\n"
        "; command line win over this file. Headless runs (--headless) do not read it.\n"
        "\n"
        "[window]\n"
        "; Window size in multiples of the 240 x 294 screen; 0 is the largest that fits.\n"
        "scale = " + std::to_string(d.scale) + "\n"
        "; Start in fullscreen (F11 or Alt+Enter switch during play): true or false.\n"
        "fullscreen = " + flag(d.fullscreen) + "\n"
        "; At most one frame per refresh of the display, and none while the menu stands\n"
        "; unchanged; false renders every frame as fast as it can.\n"
        "frame_cap = " + flag(d.frameCap) + "\n"
        "; When the window loses the focus or is minimised: pause (the race waits until the\n"
        "; window has the focus again) or quit (the game ends).\n"
        "focus_loss = " + (d.quitOnFocusLoss ? "quit" : "pause") + "\n"
        "; The race view: desktop fills the window or screen with the race at its own aspect;\n"
        "; design keeps the handheld's 240 x 294 screen, letterboxed, with its 4:3 projection.\n"
        "view = " + (d.designView ? "design" : "desktop") + "\n"
        "\n"
        "[keys]\n"
        "; SDL key names, several separated by commas; nothing after '=' binds no key. The cursor\n"
        "; keys, Return, Keypad Enter and Escape always keep their meaning (Escape goes back).\n";
    for (const ActionName& action : actionNames)
        if (action.key) text += entryLine(action.name, keyListText(d.bindings.keys[action.action]));
    text +=
        "\n"
        "[gamepad]\n"
        "; Gamepad button names: a b x y back guide start leftstick rightstick leftshoulder\n"
        "; rightshoulder dpup dpdown dpleft dpright. The left stick always steers. The pause\n"
        "; button pauses a race and selects in the menu.\n";
    for (const ActionName& action : actionNames)
        if (action.pad) text += entryLine(action.name, joinButtons(d.bindings.pad[action.action]));
    for (int p = 0; p < MAX_PLAYERS; ++p) {
        text += "\n[player" + std::to_string(p + 1) + "]\n";
        if (p == 0)
            text +=
                "; A race of several players on one keyboard: each player's own keys, SDL key names as\n"
                "; in [keys]. A key is one player's only; Return, Keypad Enter, Escape and the select,\n"
                "; pause, fullscreen and screenshot keys of [keys] are everybody's. In the one-player\n"
                "; game [keys] steers. Gamepads take the first free player, in the order they come.\n";
        for (int a = 0; a < PLAYER_ACTIONS; ++a) text += entryLine(actionName(a), keyListText(d.bindings.players[p][a]));
    }
    text +=
        "\n"
        "[replays]\n"
        "; How many recorded games are kept; 0 turns recording off.\n"
        "keep = " + std::to_string(d.replaysKept) + "\n"
        "\n"
        "[network]\n"
        "; Online play: the port a host listens on and --join calls when the address names none,\n"
        "; and the name the other players see (empty: your login name).\n"
        "port = " + std::to_string(d.networkPort) + "\n"
        "name =\n"
        "; Joining: the UDP port the other joining machines reach this one on directly (0: any\n"
        "; free one), and the port they are told to dial when a router forwards another (0: the\n"
        "; same).\n"
        "direct_port = " + std::to_string(d.directPort) + "\n"
        "public_port = " + std::to_string(d.publicPort) + "\n"
        "\n"
        "[game]\n"
        "; How the computer drives the opponents: classic, cautious, wary or territorial\n"
        "; (weakest first). The options screen changes it for the running game.\n"
        "ai = " + d.aiLevel + "\n";
    return text;
}

Settings parseSettings(const std::string& text, const std::string& fileName, std::vector<std::string>& messages) {
    Parser parser{{text.data(), text.data() + text.size()}, fileName, messages, Settings(), {}, {}, {}, {}};
    const int syntaxError = ini_parse_stream(readLine, &parser.reader, handleEntry, &parser);
    // inih names only the first line it could not read at all.
    if (syntaxError > 0)
        parser.bad(syntaxError, "not a 'name = value' line or a [section]; the line is skipped");
    parser.settleActions(true);
    parser.settleActions(false);
    parser.settlePlayers();
    parser.report();
    return parser.settings;
}

Settings loadSettings(const std::string& path, std::vector<std::string>& messages) {
    if (path.empty()) return Settings();
    std::vector<uint8_t> bytes;
    const os::ReadStatus status = os::readWholeFile(path, MAX_SETTINGS_BYTES, bytes);
    if (status == os::ReadStatus::Ok) return parseSettings(std::string(bytes.begin(), bytes.end()), path, messages);
    if (status != os::ReadStatus::Missing) {
        messages.push_back("cannot read the settings file " + path + " (" + os::readStatusText(status) +
                           "); the defaults are used");
        return Settings();
    }
    const std::string text = defaultSettingsText();
    std::string error;
    if (!os::makeDirectories(os::directoryOf(path)) || !os::writeFileAtomic(path, text.data(), text.size(), &error))
        messages.push_back("cannot write the settings file " + path + (error.empty() ? "" : " (" + error + ")") +
                           "; the defaults are used");
    return Settings();
}


} // namespace platform
