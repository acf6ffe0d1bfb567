// The title, main, options and credits screens, drawn as textured quads in the menu's
// pixel projection; the option values written as text over the presented picture.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include <GLES/gl.h>
#include "menu/optionsrecord.h"

enum MenuScreen {
    ScreenMain = 0,
    ScreenOptions = 1,
    ScreenCredits = 2,
    ScreenTitle = 3,
    // The keys and the scoring, in words over the menu's background: from the main menu or
    // the credits with Right.
    ScreenControls = 4,
    // Who plays the next race: how many players share the screen, how many computer bikes
    // and their level; from the main menu with Left. Words over the menu's background.
    ScreenPlayers = 5,
};

// What the main menu's first item does: start a race. The application owns the switch
// between the modes and hands it in.
using StartRace = void (*)();

class Menu {
public:
    // readOptionsFile false: a replay's options are in force, and options.bin is neither
    // read nor written.
    explicit Menu(StartRace startRace, bool readOptionsFile = true);
    void runFrame();
    // Draws only while the options screen is shown.
    void drawOptionsText();
    // The text over the current screen, after the frame: the option words, the credits'
    // version and licence, the controls screen's lines.
    void drawScreenText();
    // Left (-1) or Right (+1) on the options screen: the value under the pointer one step
    // back or on, round at either end; the sound toggles either way.
    void changeOption(int step);
    // Escape: the options screen leaves as its back item does (saving), the credits and
    // the controls screen return to the main menu.
    void goBack();
    void navigate(int lastItem);
    void handleSelect();
    // The picture has rows for the four options of the file only: on the options screen
    // Q and E step the opponents' level down and up, shown on a line under the rows. The
    // players screen takes them too.
    void changeLevel(int step);
    // Left (-1) or Right (+1) on the players screen: the number under the pointer one step
    // back or on, round at either end.
    void changeChoice(int step);
    // A gamepad came (on) or went for player 1 to 4; the players screen lists the seated.
    void gamepadSeated(int player, bool on);
    void loadOptions();
    void saveOptions();
    // True when the next frame would draw the picture the last one drew and change
    // nothing: the last frame began and ended with what the menu shows now, and no button
    // has been released since. A window may then leave the picture standing.
    bool atRest() const;

    // The options the screen shows and changes are sharedState.options: one record, the
    // one the options file holds.
    StartRace startRace = nullptr;
    bool usesOptionsFile = true;
    GLuint mainTexture = 0;
    GLuint optionsTexture = 0;
    GLuint creditsTexture = 0;
    GLuint pointerTexture = 0;
    GLuint backgroundTexture = 0;
    GLuint titleTexture = 0;
    int32_t screen = ScreenTitle;
    int32_t item = 0;

private:
    // Everything a menu frame is drawn from and reacts to.
    struct Look {
        int32_t screen, item, opponentChoice, detail, speed, soundOn, anyKeySeen, aiLevel, players, versusOpponents,
            pads;
        bool operator==(const Look& other) const;
    };
    Look look() const;
    bool lastFrameSettled = false;
    bool levelShown = false;
    Look lastLook{};
    // Bit p - 1 for player p's gamepad.
    int32_t padsSeated = 0;
    // The presented frame count before the menu's last frame: the window shows the menu's
    // picture only while no other frame (a race's) has been presented since.
    long drawnAfter = -2;
};

// The options of a desktop window that finds no options file: high detail, sound on, the
// rest as the design's defaults.
OptionsRecord firstStartOptions();
// The lines of the controls screen: the keys (as bound) and the scoring.
std::vector<std::string> controlsLines();
// The credits' lines: the game's name, version and licence, the way to the controls.
std::vector<std::string> creditsLines();

// The computer bikes the next race has: for one player the options' opponents (one to
// three) unless the command line chose some; for several, versusOpponents, or with -1 the
// options' count capped to the free seats.
int32_t computerBikes(int32_t players, int32_t versusOpponents, int32_t opponentChoice);
// The players screen's rows, top first: players, computer bikes, level, start; then the
// seated gamepads (bit p - 1 for player p; empty with none) and the keys that change them.
std::vector<std::string> playersLines(int32_t players, int32_t versusOpponents, int32_t opponentChoice,
                                      int32_t aiLevel, int32_t pads);

// The word an options row shows for a value; "?" for a value the row has no word for.
// Rows: 0 opponents, 1 detail, 2 speed, 3 sound.
const char* optionWord(int row, int32_t value);
// The pointer's vertical offset from item 0, in Fixed: item * -96 / lastItem in single
// precision, truncated.
GLfixed pointerOffset(int32_t item, int32_t lastItem);
