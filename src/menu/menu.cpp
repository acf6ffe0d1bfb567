#include "menu/menu.h"

#include <cstdio>
#include "buttons.h"
#include "driver.h"
#include "imagetexture.h"
#include "log.h"
#include "menu/options.h"
#include "platform/os.h"
#include "platform/platform.h"
#include "sharedstate.h"
#include "sound.h"

namespace {

constexpr GLfixed ONE = 0x10000;
constexpr GLfixed F128 = 128 * ONE;
constexpr GLfixed F32 = 32 * ONE;

// Six vertices, two triangles each, wound counter-clockwise so back-face culling keeps them.
const GLfixed pictureQuad[18] = {0, F128, ONE, 0, 0, ONE, F128, 0, ONE, F128, 0, ONE, F128, F128, ONE, 0, F128, ONE};
const GLfixed pointerQuad[18] = {0, F32, ONE, 0, 0, ONE, F32, 0, ONE, F32, 0, ONE, F32, F32, ONE, 0, F32, ONE};
const GLfixed unitTexCoords[12] = {0, ONE, 0, 0, ONE, 0, ONE, 0, ONE, ONE, 0, ONE};
// The full-screen pictures hold the screen in the lower left of a larger texture.
constexpr GLfixed FULL_S = 0x7800;
constexpr GLfixed FULL_T = 0x91EB;
const GLfixed fullScreenTexCoords[12] = {0, FULL_T, 0, 0, FULL_S, 0, FULL_S, 0, FULL_S, FULL_T, 0, FULL_T};

// Where the 128 x 128 menu pictures stand: their lower-left corner from the screen's.
constexpr GLfixed PICTURE_X = 0x388000;
constexpr GLfixed PICTURE_Y = 0x38E666;

constexpr int MAIN_LAST_ITEM = 3;
constexpr int OPTIONS_LAST_ITEM = 4;

const char* const opponentWords[3] = {"one", "two", "three"};
const char* const levelWords[3] = {"low", "medium", "high"};
const char* const soundWords[2] = {"off", "on"};

struct Picture {
    const char* fileName;
    GLuint Menu::*texture;
};

void drawTriangles(const GLfixed* vertices, const GLfixed* texCoords) {
    glVertexPointer(3, GL_FIXED, 0, vertices);
    glTexCoordPointer(2, GL_FIXED, 0, texCoords);
    glDrawArrays(GL_TRIANGLES, 0, 6);
}

int32_t cycled(int32_t value) { return value >= 2 || value < 0 ? 0 : value + 1; }

} // namespace

const char* optionWord(int row, int32_t value) {
    if (row == 3) return value >= 0 && value <= 1 ? soundWords[value] : "?";
    if (value < 0 || value > 2) return "?";
    if (row == 0) return opponentWords[value];
    if (row == 1 || row == 2) return levelWords[value];
    return "?";
}

GLfixed pointerOffset(int32_t item, int32_t lastItem) {
    const float offset = static_cast<float>(item * -96) / static_cast<float>(lastItem);
    return static_cast<GLfixed>(offset * 65536.0f);
}

Menu::Menu(StartRace startRace, bool readOptionsFile) {
    this->startRace = startRace;
    usesOptionsFile = readOptionsFile;
    item = 0;
    static const Picture pictures[6] = {
        {"backmenu.gif", &Menu::backgroundTexture}, {"mainmenu.gif", &Menu::mainTexture},
        {"options.gif", &Menu::optionsTexture},     {"credits.gif", &Menu::creditsTexture},
        {"pointer.gif", &Menu::pointerTexture},     {"start.gif", &Menu::titleTexture},
    };
    for (const Picture& picture : pictures) {
        glGenTextures(1, &(this->*picture.texture));
        glBindTexture(GL_TEXTURE_2D, this->*picture.texture);
        const bool loaded = loadImageTexture(picture.fileName, false);
        // GL's default minifying filter wants mipmaps, which these pictures do not have,
        // and would leave them blank. Nearest on both sides: the pictures are drawn texel
        // for pixel, but the menu quads stand on half-pixel x, so every pixel centre falls
        // on the edge between two texels; a linear filter would blend each texel with its
        // neighbour and blur the whole picture. The desktop's whole-number scaling then
        // keeps them as crisp as on the device.
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        if (!loaded) { setErrorLocation("src/menu", __LINE__); reportError("error while loading texture"); }
    }
    screen = ScreenTitle;
    if (usesOptionsFile) loadOptions();
}

namespace {

constexpr int PLAYERS_LAST_ITEM = 3;
constexpr int PLAYERS_START_ITEM = 3;
// The players screen's rows stand where the options screen's do, so its pointer takes the
// options' places, the gamepads' line the place of "back", and the keys' line the room
// left above the frame.
constexpr int PLAYERS_TEXT_X = 64;
constexpr int PLAYERS_ROWS = 6;
const int playersRowTops[PLAYERS_ROWS] = {117, 141, 165, 188, 212, 231};

} // namespace

void Menu::runFrame() {
    drawnAfter = platform::get().framesPresented();
    const Look before = look();
    if (sharedState.backReleased) goBack();
    const GLfixed w = sharedState.screenWidth << 16;
    const GLfixed h = sharedState.screenHeight << 16;
    const GLfixed fullScreenQuad[18] = {0, h, 0, 0, 0, 0, w, 0, 0, w, 0, 0, w, h, 0, 0, h, 0};

    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, backgroundTexture);
    glColor4x(ONE, ONE, ONE, ONE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FIXED, 0, fullScreenTexCoords);
    glVertexPointer(3, GL_FIXED, 0, fullScreenQuad);
    if (screen != ScreenTitle) glDrawArrays(GL_TRIANGLES, 0, 6);
    glTranslatex(PICTURE_X, PICTURE_Y, 0);

    switch (screen) {
    case ScreenMain:
        glBindTexture(GL_TEXTURE_2D, mainTexture);
        drawTriangles(pictureQuad, unitTexCoords);
        navigate(MAIN_LAST_ITEM);
        if (wasButtonReleased(ButtonRight) && screen == ScreenMain && !sharedState.inGame) {
            screen = ScreenControls;
            item = 0;
        }
        if (wasButtonReleased(ButtonLeft) && screen == ScreenMain && !sharedState.inGame) {
            screen = ScreenPlayers;
            item = 0;
        }
        break;
    case ScreenOptions:
        glBindTexture(GL_TEXTURE_2D, optionsTexture);
        drawTriangles(pictureQuad, unitTexCoords);
        navigate(OPTIONS_LAST_ITEM);
        break;
    case ScreenCredits:
        glBindTexture(GL_TEXTURE_2D, creditsTexture);
        glLoadIdentity();
        // In front of the background, which is drawn at depth 0.
        glTranslatex(0, 0, 5 * ONE);
        drawTriangles(fullScreenQuad, fullScreenTexCoords);
        handleSelect();
        if (wasButtonReleased(ButtonRight) && screen == ScreenCredits) screen = ScreenControls;
        break;
    case ScreenControls:
        // The background alone; the words come after the frame.
        handleSelect();
        break;
    case ScreenPlayers:
        navigate(PLAYERS_LAST_ITEM);
        break;
    case ScreenTitle:
        glLoadIdentity();
        glBindTexture(GL_TEXTURE_2D, titleTexture);
        drawTriangles(fullScreenQuad, fullScreenTexCoords);
        if (sharedState.anyKeySeen) screen = ScreenMain;
        break;
    default:
        break;
    }

    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    lastLook = look();
    // A frame that changed the screen drew part of it from before the change.
    lastFrameSettled = lastLook == before;
}

bool Menu::Look::operator==(const Look& o) const {
    return screen == o.screen && item == o.item && opponentChoice == o.opponentChoice && detail == o.detail &&
           speed == o.speed && soundOn == o.soundOn && anyKeySeen == o.anyKeySeen && aiLevel == o.aiLevel &&
           players == o.players && versusOpponents == o.versusOpponents && pads == o.pads;
}

Menu::Look Menu::look() const {
    const OptionsRecord& options = sharedState.options;
    return {screen,
            item,
            options.opponentChoice,
            options.detail,
            options.speed,
            options.soundOn,
            sharedState.anyKeySeen,
            sharedState.aiLevel,
            sharedState.players,
            sharedState.versusOpponents,
            padsSeated};
}

bool Menu::atRest() const {
    // A race's last frame may still be what the window shows.
    if (platform::get().framesPresented() != drawnAfter + 1) return false;
    if (sharedState.backReleased) return false;
    if (!lastFrameSettled || !(look() == lastLook)) return false;
    for (uint8_t released : sharedState.buttonReleased)
        if (released) return false;
    return true;
}

void Menu::navigate(int lastItem) {
    handleSelect();
    if (wasButtonReleased(ButtonUp)) item = item == 0 ? lastItem : item - 1;
    if (wasButtonReleased(ButtonDown)) item = item == lastItem ? 0 : item + 1;
    if (screen == ScreenOptions || screen == ScreenPlayers) {
        void (Menu::*change)(int) = screen == ScreenOptions ? &Menu::changeOption : &Menu::changeChoice;
        if (wasButtonReleased(ButtonLeft)) (this->*change)(-1);
        if (wasButtonReleased(ButtonRight)) (this->*change)(+1);
    }
    // A select in this frame may have changed the screen: Up released with "back" would
    // otherwise leave the main menu's pointer on an item it does not have.
    const int screenLast = screen == ScreenMain      ? MAIN_LAST_ITEM
                           : screen == ScreenOptions ? OPTIONS_LAST_ITEM
                           : screen == ScreenPlayers ? PLAYERS_LAST_ITEM
                                                     : lastItem;
    if (item > screenLast) item = screenLast;
    // The players screen's rows are the options screen's, 24 pixels apart.
    const int pointerRows = screen == ScreenPlayers ? OPTIONS_LAST_ITEM : lastItem;
    glTranslatex(0, 96 * ONE, 0);
    glTranslatex(-32 * ONE, pointerOffset(item, pointerRows), 0);
    glBindTexture(GL_TEXTURE_2D, pointerTexture);
    drawTriangles(pointerQuad, unitTexCoords);
}

void Menu::handleSelect() {
    if (!wasButtonReleased(ButtonSelect)) return;
    switch (screen) {
    case ScreenMain:
        switch (item) {
        case 0: if (startRace) startRace(); break;
        case 1: screen = ScreenOptions; item = 0; break;
        case 2: screen = ScreenCredits; item = 0; break;
        case 3: platform::get().postQuitMessage(0); break;
        default: break;
        }
        break;
    case ScreenOptions:
        if (item == OPTIONS_LAST_ITEM) goBack();
        else changeOption(+1);
        break;
    case ScreenCredits:
    case ScreenControls:
        screen = ScreenMain;
        break;
    case ScreenPlayers:
        if (item != PLAYERS_START_ITEM) {
            changeChoice(+1);
            break;
        }
        // The race is left to the main menu's first item, as after a race started there.
        screen = ScreenMain;
        item = 0;
        if (startRace) startRace();
        break;
    default:
        break;
    }
}

void Menu::changeLevel(int step) {
    if (screen != ScreenOptions && screen != ScreenPlayers) return;
    sharedState.aiLevel = ((sharedState.aiLevel + step) % LevelCount + LevelCount) % LevelCount;
    levelShown = true;
}

void Menu::drawOptionsText() {
    if (screen != ScreenOptions) return;
    platform::Platform& system = platform::get();
    const OptionsRecord& options = sharedState.options;
    const int32_t values[4] = {options.opponentChoice, options.detail, options.speed, options.soundOn};
    const int tops[4] = {117, 141, 165, 188};
    for (int row = 0; row < 4; ++row) {
        char text[16];
        std::snprintf(text, sizeof text, "%s", optionWord(row, values[row]));
        system.drawText(162, tops[row], text, platform::Rgb{0, 0, 0}, platform::Rgb{255, 255, 255});
    }
    // The design's screen stays as it was until the level is other than the design's
    // opponent or a player has asked for it.
    if (!levelShown && sharedState.aiLevel == LevelClassic) return;
    constexpr int LEVEL_LINE_X = 40, LEVEL_LINE_Y = 247; // under the picture's option rows
    char line[48];
    std::snprintf(line, sizeof line, "Q/E opponents: %s", levelName(sharedState.aiLevel));
    system.drawText(LEVEL_LINE_X, LEVEL_LINE_Y, line, platform::Rgb{0, 0, 0}, platform::Rgb{255, 255, 255});
}

void Menu::loadOptions() {
    const OptionsPaths paths = optionsPathsFor(sharedState.appDir, sharedState.portable);
    OptionsRecord record = sharedState.options;
    if (!readOptionsFile(paths.load, record) && !readOptionsFile(paths.fallback, record)) {
        // The handheld's zero defaults spared its 200 MHz processor; a desktop's first
        // start looks and sounds like the title picture promises.
        if (!sharedState.desktop) return;
        record = firstStartOptions();
    }
    sharedState.options = record;
    playMenuLoop();
}

OptionsRecord firstStartOptions() {
    OptionsRecord record;
    record.detail = 2;
    record.soundOn = 1;
    return record;
}

void Menu::saveOptions() {
    // The design saves silently; a player who made the file read-only, or whose disk is
    // full, still deserves a line saying the options were not kept.
    const OptionsPaths paths = optionsPathsFor(sharedState.appDir, sharedState.portable);
    std::string why;
    if (!paths.saveDir.empty() && !platform::os::makeDirectories(paths.saveDir)) why = "cannot create " + paths.saveDir;
    else if (!writeOptionsFileAtomic(paths.save, sharedState.options, &why)) why = paths.save + ": " + why;
    else return;
    platform::get().notice(("options not saved: " + why).c_str());
}

namespace {

int32_t cycledBack(int32_t value) { return value <= 0 || value > 2 ? 2 : value - 1; }

// Text over the menus: white on black, as the option words.
void drawLine(int x, int top, const std::string& text) {
    platform::get().drawText(x, top, text.c_str(), platform::Rgb{0, 0, 0}, platform::Rgb{255, 255, 255});
}

// Rows of text over the credits and the controls screen, one under the other from the top,
// from x = 16 or centred.
void drawLines(const std::vector<std::string>& lines, int top, int step, bool centred) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        int width = 0, height = 0;
        if (centred) platform::get().measureText(lines[i].c_str(), width, height);
        drawLine(centred ? (sharedState.screenWidth - width) / 2 : 16, top + static_cast<int>(i) * step, lines[i]);
    }
}

// Under the main menu while START begins a race of several players.
std::string versusSummary() {
    const SharedState& s = sharedState;
    const int32_t bikes = computerBikes(s.players, s.versusOpponents, s.options.opponentChoice);
    return std::to_string(s.players) + " players \xc2\xb7 " + std::to_string(bikes) +
           (bikes == 1 ? " computer bike" : " computer bikes");
}

std::string keysOf(platform::Action action) {
    return platform::keyListText(platform::get().options().bindings.keys[action]);
}

} // namespace

std::vector<std::string> controlsLines() {
    using namespace platform;
    return {
        "Turn left: " + keysOf(ActionLeft),
        "Turn right: " + keysOf(ActionRight),
        "Pause: " + keysOf(ActionPause),
        "Leave a race: Escape, Return",
        "Fullscreen: " + keysOf(ActionFullscreen),
        "Screenshot: " + keysOf(ActionScreenshot),
        "",
        "A bike hits your wall: +1 to you",
        "You hit your own wall: -1",
        "Any crash: +2 to bikes still on",
    };
}

std::vector<std::string> creditsLines() {
    return {std::string("Palvex ") + PALVEX_VERSION + " \xc2\xb7 MIT licence", "Right: keys and scoring"};
}

void Menu::changeOption(int step) {
    OptionsRecord& options = sharedState.options;
    auto next = [step](int32_t value) { return step > 0 ? cycled(value) : cycledBack(value); };
    switch (item) {
    case 0: options.opponentChoice = next(options.opponentChoice); break;
    case 1: options.detail = next(options.detail); break;
    case 2: options.speed = next(options.speed); break;
    case 3:
        options.soundOn = options.soundOn == 0 ? 1 : 0;
        if (options.soundOn == 1) playMenuLoop();
        else stopAll();
        break;
    default: break;
    }
}

void Menu::goBack() {
    switch (screen) {
    case ScreenOptions:
        screen = ScreenMain;
        if (usesOptionsFile) saveOptions();
        item = 0;
        break;
    case ScreenCredits:
    case ScreenControls:
    case ScreenPlayers:
        screen = ScreenMain;
        item = 0;
        break;
    default:
        break;
    }
}

void Menu::drawScreenText() {
    switch (screen) {
    case ScreenOptions: drawOptionsText(); break;
    case ScreenCredits:
        // Below the picture's frame.
        if (sharedState.desktop) drawLines(creditsLines(), 264, 15, true);
        break;
    case ScreenControls: drawLines(controlsLines(), 100, 14, false); break;
    case ScreenPlayers: {
        const std::vector<std::string> lines =
            playersLines(sharedState.players, sharedState.versusOpponents, sharedState.options.opponentChoice,
                         sharedState.aiLevel, padsSeated);
        for (size_t row = 0; row < lines.size() && row < PLAYERS_ROWS; ++row)
            if (!lines[row].empty()) drawLine(PLAYERS_TEXT_X, playersRowTops[row], lines[row]);
        break;
    }
    case ScreenMain:
        // START begins the race of several players chosen on the players screen; the
        // one-player menu stays the design's picture.
        if (sharedState.players > 1) drawLines({versusSummary()}, 279, 0, true);
        break;
    default: break;
    }
}
