// The application shell: key tables, window messages, application directory, log and the
// frame timer.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "frametimer.h"
#include "log.h"
#include "menu/menu.h"
#include "race.h"
#include "application.h"
#include "buttons.h"
#include "testplatform.h"
#include "window.h"

using namespace platform;

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        if (!sharedState.race) sharedState.race = new Race();
        if (!sharedState.menu) sharedState.menu = new Menu(toggleMode);
        setModeSwitch(toggleMode);
        if (sharedState.inGame) toggleMode();
        for (int b = 0; b < ButtonCount; ++b) sharedState.buttonHeld[b] = sharedState.buttonReleased[b] = 0;
        drainQueue();
    }
    // Whether a quit message was among those waiting; the queue is left empty.
    static bool drainQueue() {
        Message msg;
        bool quit = false;
        while (get().peekMessage(msg, true)) quit = quit || msg.message == MsgQuit;
        return quit;
    }
    static void key(MessageType type, uint32_t code) { windowProc(nullptr, type, code, 0); }
};

} // namespace

TEST_F(ShellTest, KeyUpReleasesOnlyTheFourDirectionsInBothModes) {
    for (int mode = 0; mode < 2; ++mode) {
        if (mode == 1) toggleMode();
        for (const auto& [code, button] : {std::pair{VK_LEFT, ButtonLeft}, {VK_D, ButtonRight}, {VK_E, ButtonE}}) {
            sharedState.buttonHeld[button] = sharedState.buttonReleased[button] = 0;
            key(MsgKeyDown, code);
            EXPECT_EQ(isButtonHeld(button), 1) << code;
            key(MsgKeyUp, code);
            const bool direction = button <= ButtonRight; // Q and E are set on key down only
            EXPECT_EQ(sharedState.buttonHeld[button], direction ? 0 : 1) << code;
            EXPECT_EQ(sharedState.buttonReleased[button], direction ? 1 : 0) << code;
        }
    }
}

// Only a race waits for the focus: a menu never pauses, so no "PAUSED" box stands over it.
TEST_F(ShellTest, FocusLossPausesOrEndsTheGameAsTheOptionsSay) {
    windowProc(nullptr, MsgActivate, 0, 0);
    EXPECT_EQ(sharedState.paused, 0) << "the menu does not pause";
    windowProc(nullptr, MsgActivate, 1, 0);
    toggleMode();
    windowProc(nullptr, MsgActivate, 0, 0);
    EXPECT_EQ(sharedState.paused, PAUSED_BY_FOCUS);
    EXPECT_FALSE(drainQueue());
    windowProc(nullptr, MsgActivate, 1, 0);
    EXPECT_EQ(sharedState.paused, 0);
    windowProc(nullptr, MsgActivate, 0, 0);
    toggleMode();
    EXPECT_EQ(sharedState.paused, 0) << "back in the menu, whatever paused the race";
    testing_support::headless().setQuitOnFocusLoss(true);
    windowProc(nullptr, MsgActivate, 0, 0);
    testing_support::headless().setQuitOnFocusLoss(false);
    EXPECT_EQ(sharedState.paused, 0);
    EXPECT_TRUE(drainQueue());
    windowProc(nullptr, MsgDestroy, 0, 0);
    EXPECT_TRUE(drainQueue());
}

// The pause key holds a race, not the menu; a race goes on as if no time had passed; Enter
// still leaves; a gamepad's menu button pauses a race and selects in the menu; a pause of
// the player's survives the focus coming back.
TEST_F(ShellTest, PauseKeysInTheRaceAndInTheMenu) {
    key(MsgKeyDown, VK_PAUSE);
    EXPECT_EQ(sharedState.paused, 0) << "no pause in the menu";
    key(MsgKeyDown, VK_GAMEPAD_MENU);
    EXPECT_EQ(sharedState.paused, 0);
    key(MsgKeyUp, VK_GAMEPAD_MENU);
    EXPECT_EQ(sharedState.buttonReleased[ButtonSelect], 1) << "the menu button selects in the menu";

    toggleMode();
    testing_support::setTicks(1000);
    key(MsgKeyDown, VK_PAUSE);
    key(MsgKeyUp, VK_PAUSE);
    EXPECT_EQ(sharedState.paused, PAUSED_BY_KEY);
    testing_support::setTicks(61000);
    key(MsgKeyDown, VK_PAUSE);
    EXPECT_EQ(sharedState.paused, 0);
    testing_support::setTicks(61020);
    frameTimerTick();
    EXPECT_EQ(sharedState.frameTime, FixedDiv(20 << 16, 1000 << 16)) << "the first frame measures 20 ms, not the minute";

    key(MsgKeyDown, VK_GAMEPAD_MENU);
    EXPECT_EQ(sharedState.paused, PAUSED_BY_KEY);
    windowProc(nullptr, MsgActivate, 0, 0);
    windowProc(nullptr, MsgActivate, 1, 0);
    EXPECT_EQ(sharedState.paused, PAUSED_BY_KEY) << "the focus back does not end the player's pause";
    key(MsgKeyUp, VK_RETURN);
    EXPECT_EQ(sharedState.inGame, 0);
    EXPECT_EQ(sharedState.paused, 0) << "leaving the race leaves its pause";
    sharedState.buttonReleased[ButtonSelect] = 0;
    key(MsgKeyUp, VK_GAMEPAD_MENU);
    EXPECT_EQ(sharedState.buttonReleased[ButtonSelect], 0) << "a press that paused the race selects nothing";
}

TEST(AppDir, CutAtTheLastSeparatorOfEitherKindAndAnyLength) {
    setAppDirFrom("/opt/mixed\\dir/bin\\palvex");
    EXPECT_EQ(sharedState.appDir, "/opt/mixed\\dir/bin\\");
    EXPECT_EQ(fullPath("b.gif"), "/opt/mixed\\dir/bin\\b.gif");
    setAppDirFrom("palvex");
    EXPECT_EQ(fullPath("arena.ase"), "arena.ase");
    // Folders far longer than the design's 1024-character buffer still work.
    const std::string longDir = "/" + std::string(3000, 'd') + "/";
    setAppDirFrom((longDir + "palvex").c_str());
    EXPECT_EQ(sharedState.appDir, longDir);
    EXPECT_EQ(fullPath("abc"), longDir + "abc");
}

// Data files beside the executable first, then in the installed data directory, then in
// $PALVEX_DATA_DIR; the log beside the game only when the game runs from its own folder.
TEST(AppDir, DataLookupOrderAndTheLogsPlace) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("palvex-lookup-" + std::to_string(getpid()));
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share/palvex");
    fs::create_directories(root / "env");
    fs::create_directories(root / "state");
    auto touch = [](const fs::path& p) { std::ofstream(p) << "x"; };
    touch(root / "bin/a.gif");
    touch(root / "share/palvex/a.gif");
    touch(root / "share/palvex/b.gif");
    touch(root / "env/b.gif");
    touch(root / "env/c.gif");
    setenv("PALVEX_DATA_DIR", (root / "env").c_str(), 1);
    const std::string bin = (root / "bin").string() + "/";
    setAppDirFrom((bin + "palvex").c_str());
    EXPECT_FALSE(sharedState.portable) << "../share/palvex makes it an installed game";
    EXPECT_EQ(fullPath("a.gif"), bin + "a.gif");
    EXPECT_EQ(fullPath("b.gif"), bin + "../share/palvex/b.gif");
    EXPECT_EQ(fullPath("c.gif"), (root / "env/c.gif").string());
    EXPECT_EQ(fullPath("d.gif"), bin + "d.gif") << "a missing file is named where the design looks first";
    unsetenv("PALVEX_DATA_DIR");

    // An installed game started in its own folder still logs to the state directory.
    const auto previous = fs::current_path();
    setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
    fs::current_path(root / "bin");
    gameLog.open();
    EXPECT_EQ(gameLog.path(), (root / "state/palvex/log.txt").string());
    gameLog.close();
    fs::remove_all(root / "share");
    setAppDirFrom((bin + "palvex").c_str());
    EXPECT_TRUE(sharedState.portable);
    gameLog.open();
    EXPECT_EQ(gameLog.path(), "log.txt") << "a game in its own folder logs there";
    gameLog.close();
    fs::current_path(root);
    gameLog.open();
    EXPECT_EQ(gameLog.path(), (root / "state/palvex/log.txt").string()) << "not in somebody else's folder";
    gameLog.close();
    unsetenv("XDG_STATE_HOME");
    fs::current_path(previous);
    fs::remove_all(root);
}

namespace {
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

// A game folder whose log.txt cannot be written (read-only, or in the way as a directory,
// which stops root as well) logs to the state directory; with no state directory either,
// the log is skipped.
TEST(GameLog, UnwritableGameFolderLogsToTheStateDirectoryOrNowhere) {
    const auto previous = std::filesystem::current_path();
    const auto dir = std::filesystem::temp_directory_path() / ("palvex-shell-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "log.txt"); // a directory cannot be opened for writing
    std::filesystem::current_path(dir);
    setAppDirFrom((dir.string() + "/palvex").c_str());
    ASSERT_TRUE(sharedState.portable);
    setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    gameLog.open();
    EXPECT_TRUE(gameLog.isOpen());
    EXPECT_EQ(gameLog.path(), (dir / "state/palvex/log.txt").string());
    EXPECT_GT(logPrintf("kept %d\n", 1), 0);
    gameLog.close();
    EXPECT_EQ(readFile((dir / "state/palvex/log.txt").string()), "kept 1\n");

    std::ofstream(dir / "notadir") << "x"; // a state directory that cannot be made
    setenv("XDG_STATE_HOME", (dir / "notadir").c_str(), 1);
    gameLog.open();
    EXPECT_FALSE(gameLog.isOpen());
    EXPECT_LT(logPrintf("nothing %d\n", 1), 0);
    gameLog.close();
    unsetenv("XDG_STATE_HOME");
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}

// 50 ms is 3276 raw units of a second.
TEST(FrameTimer, StepsPerSpeedTenfoldAfterTheCrashWrapAndClamp) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    auto frameAt = [](uint32_t ticks) {
        testing_support::setTicks(ticks);
        frameTimerTick();
    };
    testing_support::setTicks(1000);
    frameTimerStart();
    sharedState.raceStarted = 1;
    frameAt(1000);
    EXPECT_EQ(sharedState.frameStep, 0);
    EXPECT_EQ(sharedState.raceStarted, 0);
    // 80, 160 and 240 units a second; medium is slightly less than 8.0 a frame.
    for (int speed = 0; speed < 3; ++speed) {
        sharedState.options.speed = speed;
        frameAt(1000 + 50 * (speed + 1));
        EXPECT_EQ(sharedState.frameTime, 3276);
        EXPECT_EQ(sharedState.frameStep, 262080 * (speed + 1));
    }
    sharedState.playerAlive = 0;
    frameAt(1200);
    EXPECT_EQ(sharedState.frameStep, 3276000);
    EXPECT_EQ(sharedState.frameTime, 32760);
    sharedState.playerAlive = 1;
    sharedState.options.speed = 0;

    testing_support::setTicks(0xFFFFFFF0u);
    frameTimerStart();
    frameAt(0x22); // 50 ms later, across the wrap
    EXPECT_EQ(sharedState.frameTime, 3276);
    frameAt(0x22 + 40000); // a long pause counts as 32.767 seconds
    EXPECT_NEAR(sharedState.frameTime / 65536.0, 32.767, 0.001);
    frameAt(0x22 + 40000 + 32768);
    EXPECT_GT(sharedState.frameTime, 0) << "exactly 32768 ms would turn negative without the clamp";
}

// A menu left alone may leave its picture standing: only when the last frame began and
// ended on what the menu shows now and no button has been released since.
TEST_F(ShellTest, TheMenuRestsOnlyWhenItsNextFrameWouldDrawTheSame) {
    Menu menu(nullptr, false);
    // A presented frame, drawn by the menu or by something else (a race).
    auto present = [](Menu* drawer) {
        get().beginPaint();
        if (drawer) drawer->runFrame();
        get().swapBuffers(sharedState.eglDisplay, sharedState.eglSurface);
        get().endPaint();
    };
    sharedState.anyKeySeen = 0;
    EXPECT_FALSE(menu.atRest()) << "nothing drawn yet";
    present(&menu);
    EXPECT_TRUE(menu.atRest()) << "the title, no key yet";
    present(nullptr);
    EXPECT_FALSE(menu.atRest()) << "a race's frame is on show";
    present(&menu);
    EXPECT_TRUE(menu.atRest());
    menu.runFrame();
    EXPECT_FALSE(menu.atRest()) << "a frame drawn but never presented";
    present(&menu);
    EXPECT_TRUE(menu.atRest());

    setButton(ButtonDown, 1); // any key leaves the title
    EXPECT_FALSE(menu.atRest());
    menu.runFrame();
    EXPECT_EQ(menu.screen, ScreenMain);
    EXPECT_FALSE(menu.atRest()) << "the frame that left the title drew part of it";
    present(&menu);
    EXPECT_TRUE(menu.atRest());
    EXPECT_TRUE(menu.atRest()) << "a key held is nothing to the menu";

    setButton(ButtonDown, 0);
    markButtonReleased(ButtonDown);
    EXPECT_FALSE(menu.atRest()) << "a release waits for its frame";
    menu.runFrame();
    clearButtonReleases();
    EXPECT_EQ(menu.item, 1);
    EXPECT_FALSE(menu.atRest()) << "the pointer moved during the frame";
    present(&menu);
    EXPECT_TRUE(menu.atRest());

    sharedState.backReleased = 1;
    EXPECT_FALSE(menu.atRest()) << "Escape waits for its frame";
    present(&menu);
    clearButtonReleases();
    EXPECT_EQ(sharedState.backReleased, 0);

    const OptionsRecord kept = sharedState.options;
    sharedState.options.detail = sharedState.options.detail == 0 ? 1 : 0; // a replay's options, say
    EXPECT_FALSE(menu.atRest());
    present(&menu);
    EXPECT_TRUE(menu.atRest());
    sharedState.options = kept;
}
