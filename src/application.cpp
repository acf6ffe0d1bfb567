#include "application.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <cstdio>
#include <cstring>

#include "bike.h"
#include "buttons.h"
#include "direction.h"
#include "log.h"
#include "menu/menu.h"
#include "online.h"
#include "race.h"
#include "renderingcontext.h"
#include "replay.h"
#include "sharedstate.h"
#include "window.h"

namespace {

struct ScoreRow {
    int score;         // index into scores
    int minChoice;     // shown when the race has more opponents than this
    int top;
    platform::Rgb background;
    platform::Rgb text;
};

const ScoreRow scoreRows[4] = {
    {PLAYER_SCORE_SLOT, 0, 275, {255, 223, 0}, {0, 0, 0}},
    {0, 0, 257, {255, 114, 0}, {187, 187, 187}},
    {1, 1, 239, {226, 0, 138}, {187, 187, 187}},
    {2, 2, 221, {0, 137, 210}, {187, 187, 187}},
};

const char* initFailure(InitResult result) {
    switch (result) {
    case InitResult::NoWindow: return "cannot create the game's window";
    case InitResult::NoRenderingContext: return renderingContextFailure();
    default: return nullptr;
    }
}

} // namespace

Application::Application(bool playback) {
    setAppDir();
    std::snprintf(title, sizeof title, "%s", "Palvex");
    std::snprintf(className, sizeof className, "%s", "Plavex");
    const InitResult result = initInstance(className, title, toggleMode);
    if (const char* failure = initFailure(result)) {
        platform::get().messageBox(title, failure);
        return;
    }
    if (result == InitResult::OtherInstance) {
        platform::get().notice(platform::get().otherWindowRaised()
                                   ? "already running; its window was brought to the front"
                                   : "already running, but it did not answer the call to bring its window to the front");
        return;
    }
    if (result != InitResult::Ok) return;
    sharedState.desktop = !platform::get().options().headless;
    sharedState.race = new Race();
    sharedState.menu = new Menu(toggleMode, !playback);
    ready = true;
}

Application::~Application() {
    if (sharedState.race) {
        delete sharedState.race;
        sharedState.race = nullptr;
    }
    delete sharedState.menu;
    sharedState.menu = nullptr;
    if (sharedState.eglDisplay != EGL_NO_DISPLAY) {
        eglMakeCurrent(sharedState.eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglTerminate(sharedState.eglDisplay);
        sharedState.eglDisplay = EGL_NO_DISPLAY;
    }
}

int Application::loop() {
    platform::Platform& system = platform::get();
    system.peekMessage(msg, false);
    while (msg.message != platform::MsgQuit) {
        if (system.peekMessage(msg, true)) {
            if (msg.message == platform::MsgQuit) break;
            if (onlineTakesMessage(msg)) continue;
            system.dispatchMessage(msg);
        } else if (onlineHoldsFrame()) {
            continue;
        } else if (sharedState.paused && replayHeldByPause()) {
            continue;
        } else if (sharedState.paused && sharedState.inGame) {
            // No frames: the last picture stays, and the loop sleeps until the window
            // system has news. Where nothing can ever come (headless) the pause would
            // last for ever; the run ends as a closed window would end it.
            drawPausedPicture();
            if (!system.waitMessage()) system.postQuitMessage(0);
        } else if (menuAtRest()) {
            // An unchanged menu is not drawn again: the window keeps its picture until a
            // key, an uncovered window or a screenshot asks for a frame.
            system.waitMessage();
        } else {
            if (system.holdingFrames()) {
                // No frame comes while a playback is held: the keys the tap rule keeps
                // for the next frame (the pause key's release) must go out now.
                system.waitMessage();
                continue;
            }
            if (!replayBeforeFrame()) continue;
            frame();
            replayAfterFrame();
            if (afterFrame) afterFrame(system.framesPresented());
            clearButtonReleases();
        }
    }
    // A game still running when the program ends is recorded to its last frame.
    if (sharedState.inGame) replayRunEnds();
    return static_cast<int>(msg.wParam);
}

bool Application::menuAtRest() const {
    return !sharedState.inGame && sharedState.menu && !everyFrameCounted && sharedState.menu->atRest() &&
           platform::get().pictureMayStand() && !onlineShowsScreen();
}

bool Application::raceFillsDrawable() const {
    const platform::Options& options = platform::get().options();
    // Several players' views always fill the window: bars would only take from them.
    const bool several = sharedState.race && sharedState.race->humans > 1;
    return sharedState.inGame && !options.headless && (!options.designView || several);
}

void Application::frame() {
    platform::Platform& system = platform::get();
    const bool fill = raceFillsDrawable();
    system.setFillDrawable(fill);
    system.beginPaint();
    const EGLDisplay display = sharedState.eglDisplay;
    if (fill) {
        // Every frame: the drawable may have changed size since the last (resized, F11).
        int width = 0, height = 0;
        system.paintedSize(width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setDrawablePerspective(width, height);
        glMatrixMode(GL_MODELVIEW);
    }

    const bool onlineScreen = !sharedState.inGame && onlineShowsScreen();
    if (onlineScreen) glClearColorx(0x1000, 0x1000, 0x2000, 0);
    else glClearColorx(0x8000, 0x8000, 0x8000, 0);
    glDepthRangex(0, 0x10000);
    glClearDepthx(0x10000);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(GL_FLAT);
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);

    if (sharedState.inGame) {
        if (onlineRace()) onlineDrawRace();
        else if (sharedState.race) sharedState.race->runFrame();
    } else if (sharedState.menu && !onlineScreen) {
        sharedState.menu->runFrame();
    }

    glFinish();
    eglWaitGL();
    system.swapBuffers(display, sharedState.eglSurface);

    if (sharedState.inGame) {
        if (sharedState.race && sharedState.race->humans > 1) {
            drawViewOverlays();
        } else {
            drawScoreOverlay();
            drawRaceNotice();
        }
    }
    if (onlineScreen) onlineDrawScreen();
    else if (sharedState.menu && !sharedState.inGame) sharedState.menu->drawScreenText();
    system.endPaint();
}

const char* raceNotice(bool playerAlive, bool playerWaiting, uint32_t msSinceCrash) {
    if (playerAlive) return playerWaiting ? "turn to start" : nullptr;
    return msSinceCrash < CRASH_NOTICE_MS ? "you crashed" : nullptr;
}

void Application::drawRaceNotice() {
    platform::Platform& system = platform::get();
    const bool alive = sharedState.playerAlive != 0;
    if (playerWasAlive && !alive) playerCrashedAt = system.currentTick();
    playerWasAlive = alive;
    if (!sharedState.desktop || !sharedState.race || !sharedState.race->player) return;
    const bool waiting = sharedState.race->player->steering.direction == Stopped;
    const char* text = raceNotice(alive, waiting, system.currentTick() - playerCrashedAt);
    if (!text) return;
    int width = 0, height = 0;
    system.measureText(text, width, height);
    system.drawText((system.textAreaWidth() - width) / 2, 40, text, {0, 0, 0}, {255, 255, 255});
}

void Application::drawPausedPicture() {
    platform::Platform& system = platform::get();
    if (!system.stillOutdated()) return;
    system.beginStill();
    static const char* const text = "PAUSED";
    int width = 0, height = 0;
    system.measureText(text, width, height);
    const int top = (sharedState.screenHeight - height) / 2;
    system.drawText((system.textAreaWidth() - width) / 2, top, text, {0, 0, 0}, {255, 223, 0});
    if (sharedState.padUnplugged) {
        char why[64];
        std::snprintf(why, sizeof why, "player %d's gamepad is unplugged", sharedState.padUnplugged);
        int whyWidth = 0, whyHeight = 0;
        system.measureText(why, whyWidth, whyHeight);
        system.drawText((system.textAreaWidth() - whyWidth) / 2, top + height + 4, why, {0, 0, 0}, {255, 255, 255});
    }
    system.endStill();
}

void Application::drawViewOverlays() {
    platform::Platform& system = platform::get();
    const Race& race = *sharedState.race;
    ViewRect area;
    system.viewport(area.x, area.y, area.width, area.height);
    ViewRect views[MAX_SEATS];
    int seatOf[MAX_SEATS];
    const int count = race.shownViews(area, views, seatOf);
    const float scale = system.scaleFactor() > 0.0f ? system.scaleFactor() : 1.0f;
    const int bikes = race.humans + race.opponentCount;
    const uint32_t now = system.currentTick();
    for (int seat = 0; seat < race.humans; ++seat) {
        const bool alive = race.seats[seat] && race.seats[seat]->playerAlive;
        if (seatWasAlive[seat] && !alive) seatCrashedAt[seat] = now;
        seatWasAlive[seat] = alive;
    }
    for (int v = 0; v < count; ++v) {
        const ViewRect& r = views[v];
        const int seat = seatOf[v];
        const int logicalW = static_cast<int>(r.width / scale);
        const int logicalH = static_cast<int>(r.height / scale);
        // Every bike's score in its colour, the one player's place and order.
        for (int b = 0; b < bikes && b < MAX_SEATS; ++b) {
            const ScoreRow& row = scoreRows[b];
            char text[16];
            std::snprintf(text, sizeof text, "%d", sharedState.scores[row.score]);
            system.drawTextIn(r.x, r.y, r.width, r.height, 2, logicalH - 19 - 18 * b, text, row.background, row.text);
        }
        if (seat >= race.humans) continue;
        char name[16];
        std::snprintf(name, sizeof name, "player %d", seat + 1);
        system.drawTextIn(r.x, r.y, r.width, r.height, 2, 2, name, scoreRows[seat].background, scoreRows[seat].text);
        if (!sharedState.desktop || !race.seats[seat]) continue;
        const char* notice = raceNotice(seatWasAlive[seat], race.seats[seat]->steering.direction == Stopped,
                                        now - seatCrashedAt[seat]);
        if (!notice) continue;
        int width = 0, height = 0;
        system.measureText(notice, width, height);
        system.drawTextIn(r.x, r.y, r.width, r.height, (logicalW - width) / 2, 40, notice, {0, 0, 0}, {255, 255, 255});
    }
}

void Application::drawScoreOverlay() {
    platform::Platform& system = platform::get();
    const int opponents = sharedState.race ? sharedState.race->opponentCount : sharedState.options.opponentChoice + 1;
    for (const ScoreRow& row : scoreRows) {
        if (opponents <= row.minChoice) continue;
        char text[16];
        std::snprintf(text, sizeof text, "%d", sharedState.scores[row.score]);
        system.drawText(2, row.top, text, row.background, row.text);
    }
}

void toggleMode() {
    sharedState.inGame = sharedState.inGame ? 0 : 1;
    if (sharedState.inGame) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setPerspective(60.0f, 1.3333334f, 40.0f, 500.0f);
        glMatrixMode(GL_MODELVIEW);
        replayGameBegins();
        sharedState.race->setup();
    } else {
        endPause();
        replayGameEnds();
        sharedState.race->teardown();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setMenuProjection(sharedState.screenWidth, sharedState.screenHeight);
        glMatrixMode(GL_MODELVIEW);
    }
}
