// The settings file: the file written on the first start reads back as the defaults; every
// entry is read; a bad line is named with its file and line and its entry keeps the
// default; the command line wins; a missing file is written, a FIFO is refused at once.
#include <gtest/gtest.h>

#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform.h"
#include "platform/settings.h"

using namespace platform;

namespace {

Settings parse(const std::string& text, std::vector<std::string>& messages) {
    return parseSettings(text, "palvex.ini", messages);
}

std::string joined(const std::vector<std::string>& messages) {
    std::string all;
    for (const std::string& m : messages) all += m + "\n";
    return all;
}

} // namespace

TEST(Settings, TheFileWrittenOnTheFirstStartReadsBackAsTheDefaults) {
    std::vector<std::string> messages;
    const Settings read = parse(defaultSettingsText(), messages);
    const Settings defaults;
    EXPECT_TRUE(messages.empty()) << joined(messages);
    EXPECT_EQ(read.scale, defaults.scale);
    EXPECT_EQ(read.fullscreen, defaults.fullscreen);
    EXPECT_EQ(read.frameCap, defaults.frameCap);
    EXPECT_EQ(read.quitOnFocusLoss, defaults.quitOnFocusLoss);
    EXPECT_EQ(read.replaysKept, 50);
    for (int a = 0; a < ActionCount; ++a) {
        EXPECT_EQ(read.bindings.keys[a], defaults.bindings.keys[a]) << a;
        EXPECT_EQ(read.bindings.pad[a], defaults.bindings.pad[a]) << a;
    }
    for (int p = 0; p < MAX_PLAYERS; ++p)
        for (int a = 0; a < PLAYER_ACTIONS; ++a) EXPECT_EQ(read.bindings.players[p][a], defaults.bindings.players[p][a]) << p << a;
    EXPECT_NE(defaultSettingsText().find("up = W, Up\n"), std::string::npos);
    EXPECT_NE(defaultSettingsText().find("pause = start\n"), std::string::npos);
}

TEST(Settings, EveryEntryIsRead) {
    std::vector<std::string> messages;
    const Settings s = parse("[window]\nscale = 3\nfullscreen = yes\nframe_cap = off\nfocus_loss = Quit\n"
                             "[keys]\nup = I, Up\ndown = K\nleft = J\nright = L\nq = U\ne = O\n"
                             "select = Space\npause = Backspace\nfullscreen = F10\nscreenshot = PrintScreen\n"
                             "[gamepad]\nup = y\ndown = x\nleft = leftshoulder\nright = rightshoulder\n"
                             "q = leftstick\ne = rightstick\nselect = start\nback = guide\npause = back\n"
                             "[replays]\nkeep = 0\n",
                             messages);
    EXPECT_TRUE(messages.empty()) << joined(messages);
    EXPECT_EQ(s.scale, 3);
    EXPECT_TRUE(s.fullscreen);
    EXPECT_FALSE(s.frameCap);
    EXPECT_TRUE(s.quitOnFocusLoss);
    EXPECT_EQ(s.replaysKept, 0);
    using V = std::vector<int32_t>;
    // The cursor keys, Return and Escape stay with their actions whatever the file says.
    EXPECT_EQ(s.bindings.keys[ActionUp], (V{SDLK_i, SDLK_UP}));
    EXPECT_EQ(s.bindings.keys[ActionDown], (V{SDLK_k, SDLK_DOWN}));
    EXPECT_EQ(s.bindings.keys[ActionLeft], (V{SDLK_j, SDLK_LEFT}));
    EXPECT_EQ(s.bindings.keys[ActionRight], (V{SDLK_l, SDLK_RIGHT}));
    EXPECT_EQ(s.bindings.keys[ActionQ], (V{SDLK_u}));
    EXPECT_EQ(s.bindings.keys[ActionE], (V{SDLK_o}));
    EXPECT_EQ(s.bindings.keys[ActionSelect], (V{SDLK_SPACE, SDLK_RETURN, SDLK_KP_ENTER}));
    EXPECT_EQ(s.bindings.keys[ActionBack], (V{SDLK_ESCAPE}));
    EXPECT_EQ(s.bindings.keys[ActionPause], (V{SDLK_BACKSPACE}));
    EXPECT_EQ(s.bindings.keys[ActionFullscreen], (V{SDLK_F10}));
    EXPECT_EQ(s.bindings.keys[ActionScreenshot], (V{SDLK_PRINTSCREEN}));
    EXPECT_EQ(s.bindings.pad[ActionUp], (V{SDL_CONTROLLER_BUTTON_Y}));
    EXPECT_EQ(s.bindings.pad[ActionDown], (V{SDL_CONTROLLER_BUTTON_X}));
    EXPECT_EQ(s.bindings.pad[ActionLeft], (V{SDL_CONTROLLER_BUTTON_LEFTSHOULDER}));
    EXPECT_EQ(s.bindings.pad[ActionRight], (V{SDL_CONTROLLER_BUTTON_RIGHTSHOULDER}));
    EXPECT_EQ(s.bindings.pad[ActionQ], (V{SDL_CONTROLLER_BUTTON_LEFTSTICK}));
    EXPECT_EQ(s.bindings.pad[ActionE], (V{SDL_CONTROLLER_BUTTON_RIGHTSTICK}));
    EXPECT_EQ(s.bindings.pad[ActionSelect], (V{SDL_CONTROLLER_BUTTON_START}));
    EXPECT_EQ(s.bindings.pad[ActionBack], (V{SDL_CONTROLLER_BUTTON_GUIDE}));
    EXPECT_EQ(s.bindings.pad[ActionPause], (V{SDL_CONTROLLER_BUTTON_BACK}));
}

TEST(Settings, EachBadLineIsNamedAndItsEntryKeepsTheDefault) {
    std::vector<std::string> messages;
    const std::string longLine = "q = " + std::string(300, 'x') + "\n";
    const Settings s = parse("[window]\n"
                             "scale = huge\n"         // 2
                             "fullscreen = maybe\n"   // 3
                             "focus_loss = later\n"   // 4
                             "frame_cap = false\n"    // 5: good
                             "colour = blue\n"        // 6
                             "[keys]\n"
                             "up = Nonsense\n"        // 8
                             "left = Up\n"            // 9: Up is always up
                             "right = S\n"            // 10: takes S from down's default
                             "pause = S\n"            // 11: S is right's now
                             "this line has no equals sign\n" // 12
                             + longLine +             // 13
                             "[gamepad]\nselect = z\n" // 15
                             "[replays]\nkeep = -1\n", // 17
                             messages);
    const std::string all = joined(messages);
    ASSERT_EQ(messages.size(), 11u) << all;
    for (int line : {2, 3, 4, 6, 8, 9, 11, 12, 13, 15, 17})
        EXPECT_NE(all.find("palvex.ini line " + std::to_string(line) + ": "), std::string::npos) << line << "\n" << all;
    EXPECT_EQ(all.find("line 5:"), std::string::npos);
    EXPECT_EQ(all.find("line 10:"), std::string::npos);
    const Settings d;
    EXPECT_EQ(s.scale, d.scale);
    EXPECT_EQ(s.fullscreen, d.fullscreen);
    EXPECT_FALSE(s.quitOnFocusLoss);
    EXPECT_FALSE(s.frameCap);
    EXPECT_EQ(s.replaysKept, d.replaysKept);
    EXPECT_EQ(s.bindings.keys[ActionUp], d.bindings.keys[ActionUp]);
    EXPECT_EQ(s.bindings.keys[ActionLeft], d.bindings.keys[ActionLeft]);
    EXPECT_EQ(s.bindings.keys[ActionRight], (std::vector<int32_t>{SDLK_s, SDLK_RIGHT}));
    EXPECT_EQ(s.bindings.keys[ActionDown], (std::vector<int32_t>{SDLK_DOWN})) << "S went to right";
    EXPECT_EQ(s.bindings.keys[ActionPause], d.bindings.keys[ActionPause]);
    EXPECT_EQ(s.bindings.keys[ActionQ], d.bindings.keys[ActionQ]);
    EXPECT_EQ(s.bindings.pad[ActionSelect], d.bindings.pad[ActionSelect]);
}

// A bad name is left out and the rest of its line stands, so a key the line still binds is
// not taken quietly by a later line; every conflict is named, in the file's line order.
TEST(Settings, ABadKeyNameHidesNoConflictAndMessagesFollowTheLines) {
    using V = std::vector<int32_t>;
    std::vector<std::string> messages;
    Settings s = parse("[keys]\npause = P, Pause, Banana\nscreenshot = F12, P\n", messages);
    ASSERT_EQ(messages.size(), 2u) << joined(messages);
    EXPECT_EQ(messages[0], "palvex.ini line 2: 'Banana' is not an SDL key name; it is left out");
    EXPECT_EQ(messages[1], "palvex.ini line 3: P is already pause; the default of screenshot is used");
    EXPECT_EQ(s.bindings.keys[ActionPause], (V{SDLK_p, SDLK_PAUSE}));
    EXPECT_EQ(s.bindings.keys[ActionScreenshot], (V{SDLK_F12}));

    // A line with nothing usable binds the defaults, which a later line cannot take unseen;
    // a conflict found while settling comes before a later line's bad name.
    messages.clear();
    s = parse("[keys]\npause = Banana\nscreenshot = P\nq = Nonsense\n", messages);
    ASSERT_EQ(messages.size(), 3u) << joined(messages);
    EXPECT_EQ(messages[0], "palvex.ini line 2: 'Banana' is not an SDL key name; the default of pause is used");
    EXPECT_EQ(messages[1], "palvex.ini line 3: P is already pause; the default of screenshot is used");
    EXPECT_EQ(messages[2], "palvex.ini line 4: 'Nonsense' is not an SDL key name; the default of q is used");
    EXPECT_EQ(s.bindings.keys[ActionPause], (V{SDLK_p, SDLK_PAUSE}));
    EXPECT_EQ(s.bindings.keys[ActionScreenshot], (V{SDLK_F12}));

    // The later line loses, whichever it is.
    messages.clear();
    s = parse("[keys]\nscreenshot = F12, P\npause = P, Pause, Banana\n", messages);
    ASSERT_EQ(messages.size(), 2u) << joined(messages);
    EXPECT_EQ(messages[0], "palvex.ini line 3: 'Banana' is not an SDL key name; it is left out");
    EXPECT_EQ(messages[1], "palvex.ini line 3: P is already screenshot; the default of pause is used");
    EXPECT_EQ(s.bindings.keys[ActionScreenshot], (V{SDLK_F12, SDLK_p}));
    EXPECT_EQ(s.bindings.keys[ActionPause], (V{SDLK_PAUSE})) << "the default without the key taken";

    messages.clear();
    s = parse("[window]\nview = design\n", messages);
    EXPECT_TRUE(messages.empty()) << joined(messages);
    EXPECT_TRUE(s.designView);
    s = parse("[window]\nview = sideways\n", messages);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(s.designView);
}

// Each player's own keys: the defaults in the shape of W A S D, one key one player's (the
// first line keeps it, the later entry its default without the key), never a key every
// player shares, and a bad line named while the game goes on.
TEST(Settings, EachPlayersKeysAreTheirOwn) {
    using V = std::vector<int32_t>;
    const Bindings d = defaultBindings();
    EXPECT_EQ(d.players[0][ActionLeft], (V{SDLK_a}));
    EXPECT_EQ(d.players[1][ActionUp], (V{SDLK_UP}));
    EXPECT_TRUE(d.players[1][ActionQ].empty());
    EXPECT_EQ(d.players[2][ActionRight], (V{SDLK_l}));
    EXPECT_EQ(d.players[3][ActionDown], (V{SDLK_KP_5}));
    EXPECT_NE(defaultSettingsText().find("[player4]\nup = Keypad 8\n"), std::string::npos) << defaultSettingsText();

    std::vector<std::string> messages;
    Settings s = parse("[player2]\nq = Right Ctrl\ne = Right Shift\n"
                       "[player3]\nleft = J, H\n"
                       "[player4]\nup = H\nright = Return, Keypad 6\ndown = P, Keypad 5\n"
                       "[player5]\nup = T\n",
                       messages);
    ASSERT_EQ(messages.size(), 4u) << joined(messages);
    EXPECT_EQ(messages[0], "palvex.ini line 7: H is already player 3's left; the default of player 4's up is used");
    EXPECT_EQ(messages[1], "palvex.ini line 8: Return is always select, for every player; it is left out");
    EXPECT_EQ(messages[2], "palvex.ini line 9: P is pause in [keys], for every player; it is left out");
    EXPECT_EQ(messages[3], "palvex.ini line 11: there is no setting 'up' in [player5]; the line is skipped");
    EXPECT_EQ(s.bindings.players[1][ActionQ], (V{SDLK_RCTRL}));
    EXPECT_EQ(s.bindings.players[2][ActionLeft], (V{SDLK_j, SDLK_h}));
    EXPECT_EQ(s.bindings.players[3][ActionUp], (V{SDLK_KP_8}));
    EXPECT_EQ(s.bindings.players[3][ActionRight], (V{SDLK_KP_6}));
    EXPECT_EQ(s.bindings.players[3][ActionDown], (V{SDLK_KP_5}));
    EXPECT_EQ(s.bindings.keys[ActionSelect], (V{SDLK_RETURN, SDLK_KP_ENTER})) << "[keys] is not touched";

    // A key taken from another player's default: the default gives way, silently; a key
    // [keys] makes everybody's leaves the defaults too.
    messages.clear();
    s = parse("[player1]\nleft = J\n[keys]\npause = I\n", messages);
    EXPECT_TRUE(messages.empty()) << joined(messages);
    EXPECT_EQ(s.bindings.players[0][ActionLeft], (V{SDLK_j}));
    EXPECT_TRUE(s.bindings.players[2][ActionLeft].empty());
    EXPECT_TRUE(s.bindings.players[2][ActionUp].empty());

    // Nothing usable on a line: the player's default, named as theirs.
    messages.clear();
    s = parse("[player2]\nleft = Banana\n", messages);
    ASSERT_EQ(messages.size(), 1u) << joined(messages);
    EXPECT_EQ(messages[0], "palvex.ini line 2: 'Banana' is not an SDL key name; the default of player 2's left is used");
    EXPECT_EQ(s.bindings.players[1][ActionLeft], (V{SDLK_LEFT}));
}

TEST(Settings, TheCommandLineWinsOverTheFile) {
    Settings s;
    s.scale = 2;
    s.fullscreen = true;
    s.frameCap = true;
    s.quitOnFocusLoss = false;
    s.replaysKept = 7;
    s.bindings.keys[ActionPause] = {SDLK_F5};
    Options options;
    applySettings(s, Overrides{}, options);
    EXPECT_EQ(options.scale, 2);
    EXPECT_TRUE(options.fullscreen);
    EXPECT_EQ(options.replaysKept, 7);
    EXPECT_EQ(options.bindings.keys[ActionPause], (std::vector<int32_t>{SDLK_F5}));
    Overrides given;
    given.scale = 4;
    given.fullscreen = false;
    given.frameCap = false;
    given.quitOnFocusLoss = true;
    applySettings(s, given, options);
    EXPECT_EQ(options.scale, 4);
    EXPECT_FALSE(options.fullscreen);
    EXPECT_FALSE(options.frameCap);
    EXPECT_TRUE(options.quitOnFocusLoss);
}

TEST(Settings, AMissingFileIsWrittenAndAFifoIsRefusedAtOnce) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("palvex-settings-" + std::to_string(getpid()));
    fs::remove_all(dir);
    const std::string path = (dir / "config/palvex/palvex.ini").string();
    std::vector<std::string> messages;
    loadSettings(path, messages);
    EXPECT_TRUE(messages.empty()) << joined(messages);
    std::ifstream written(path);
    std::stringstream text;
    text << written.rdbuf();
    EXPECT_EQ(text.str(), defaultSettingsText());

    std::ofstream(path) << "[window]\nscale = 5\n";
    EXPECT_EQ(loadSettings(path, messages).scale, 5);
    EXPECT_TRUE(messages.empty()) << joined(messages);

    const std::string fifo = (dir / "fifo.ini").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(loadSettings(fifo, messages).scale, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(fifo), std::string::npos) << messages[0];
    fs::remove_all(dir);
}

TEST(Settings, TheNetworkSectionTakesAPortAndAPrintableName) {
    std::vector<std::string> messages;
    Settings s = parse("[network]\nport = 30000\nname = Ada\n", messages);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(s.networkPort, 30000);
    EXPECT_EQ(s.playerName, "Ada");
    messages.clear();
    s = parse("[network]\nport = 0\nname = " + std::string(33, 'x') + "\n", messages);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("line 2: port must be a whole number from 1 to 65535, not '0'"), std::string::npos) << messages[0];
    EXPECT_NE(messages[1].find("line 3: name must be printable text of at most 32 bytes"), std::string::npos) << messages[1];
    EXPECT_EQ(s.networkPort, DEFAULT_NETWORK_PORT);
    EXPECT_EQ(s.playerName, "");
    messages.clear();
    s = parse("[network]\nname = a\x1b[2Jb\nport = 99999\n", messages);
    EXPECT_EQ(messages.size(), 2u) << "an escape sequence is no name, a port past 65535 no port";
    EXPECT_EQ(s.playerName, "");
    EXPECT_EQ(s.networkPort, DEFAULT_NETWORK_PORT);
    // A joining machine's direct ports: 0 is "any free one", past 65535 is nothing.
    messages.clear();
    s = parse("[network]\ndirect_port = 40404\npublic_port = 50505\n", messages);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(s.directPort, 40404);
    EXPECT_EQ(s.publicPort, 50505);
    s = parse("[network]\ndirect_port = 70000\npublic_port = -1\n", messages);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("line 2: direct_port must be a whole number from 0 to 65535, not '70000'"), std::string::npos)
        << messages[0];
    EXPECT_EQ(s.directPort, 0);
    EXPECT_EQ(s.publicPort, 0);
}
