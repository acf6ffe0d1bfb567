// The application shell: key tables, mode switch and projections, application directory,
// log and the frame timer.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "asetesting.h"
#include "frametimer.h"
#include "log.h"
#include "menu/menu.h"
#include "race.h"
#include "testplatform.h"
#include "window.h"

using namespace platform;

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        if (!sharedState.race) sharedState.race = new Race();
        if (!sharedState.menu) sharedState.menu = new Menu(nullptr);
        if (sharedState.inGame) toggleMode();
        clearButtons();
        drainQueue();
    }
    static void clearButtons() {
        for (int b = 0; b < ButtonCount; ++b) sharedState.buttonHeld[b] = sharedState.buttonReleased[b] = 0;
        sharedState.anyKeySeen = 0;
    }
    // Whether a quit message was among those waiting; the queue is left empty.
    static bool drainQueue() {
        Message msg;
        bool quit = false;
        while (get().peekMessage(msg, true)) quit = quit || msg.message == MsgQuit;
        return quit;
    }
    static void key(MessageType type, uint32_t code) { windowProc(nullptr, type, code, 0); }
    // The held and released buttons as two strings of digits, one per button.
    static std::string buttons() {
        std::string held, released;
        for (int b = 0; b < ButtonCount; ++b) {
            held += static_cast<char>('0' + sharedState.buttonHeld[b]);
            released += static_cast<char>('0' + sharedState.buttonReleased[b]);
        }
        return held + " " + released;
    }
};

const struct {
    uint32_t code;
    int button;
} mappedKeys[] = {
    {VK_W, ButtonUp},   {VK_UP, ButtonUp},     {VK_S, ButtonDown}, {VK_DOWN, ButtonDown}, {VK_A, ButtonLeft},
    {VK_LEFT, ButtonLeft}, {VK_D, ButtonRight}, {VK_RIGHT, ButtonRight}, {VK_Q, ButtonQ}, {VK_E, ButtonE},
};

} // namespace

TEST_F(ShellTest, KeyDownSetsHeldInBothModesAndKeyUpReleasesOnlyTheFourDirections) {
    for (int mode = 0; mode < 2; ++mode) {
        if (mode == 1) toggleMode();
        for (const auto& row : mappedKeys) {
            clearButtons();
            key(MsgKeyDown, row.code);
            std::string held(ButtonCount, '0');
            held[row.button] = '1';
            EXPECT_EQ(buttons(), held + " " + std::string(ButtonCount, '0')) << "key " << row.code << " mode " << mode;
            EXPECT_EQ(sharedState.anyKeySeen, 1);
            EXPECT_EQ(isButtonHeld(row.button), 1);
            // Q and E are set on key down only; their release does nothing.
            key(MsgKeyUp, row.code);
            const bool direction = row.button <= ButtonRight;
            EXPECT_EQ(sharedState.buttonHeld[row.button], direction ? 0 : 1) << "key " << row.code;
            EXPECT_EQ(sharedState.buttonReleased[row.button], direction ? 1 : 0) << "key " << row.code;
        }
    }
}

TEST_F(ShellTest, EnterAndEscapeActOnlyOnKeyUp) {
    key(MsgKeyDown, VK_RETURN);
    key(MsgKeyDown, VK_ESCAPE);
    const std::string nothing = std::string(ButtonCount, '0') + " " + std::string(ButtonCount, '0');
    EXPECT_EQ(buttons(), nothing);
    EXPECT_EQ(sharedState.anyKeySeen, 0);
    EXPECT_EQ(sharedState.inGame, 0);

    // Menu mode: Enter is a release of ButtonSelect, Escape is ignored.
    key(MsgKeyUp, VK_ESCAPE);
    EXPECT_EQ(sharedState.inGame, 0);
    EXPECT_EQ(sharedState.anyKeySeen, 0);
    key(MsgKeyUp, VK_RETURN);
    EXPECT_EQ(sharedState.buttonReleased[ButtonSelect], 1);
    EXPECT_EQ(sharedState.anyKeySeen, 1);
    EXPECT_EQ(sharedState.inGame, 0);

    // Game mode: either key returns to the menu and is not a select.
    toggleMode();
    sharedState.buttonReleased[ButtonSelect] = 0;
    key(MsgKeyUp, VK_RETURN);
    EXPECT_EQ(sharedState.inGame, 0);
    EXPECT_EQ(sharedState.buttonReleased[ButtonSelect], 0);
    toggleMode();
    key(MsgKeyUp, VK_ESCAPE);
    EXPECT_EQ(sharedState.inGame, 0);

    // Keys without a meaning do nothing.
    clearButtons();
    for (uint32_t code : {0x20u, 0x42u, 0x5Au, 0x31u, 0x70u}) {
        key(MsgKeyDown, code);
        key(MsgKeyUp, code);
    }
    EXPECT_EQ(buttons(), nothing);
    EXPECT_EQ(sharedState.anyKeySeen, 0);
}

TEST_F(ShellTest, DeactivationAndDestroyEndTheProgram) {
    windowProc(nullptr, MsgActivate, 1, 0);
    EXPECT_FALSE(drainQueue());
    windowProc(nullptr, MsgActivate, 0, 0);
    EXPECT_TRUE(drainQueue());
    windowProc(nullptr, MsgDestroy, 0, 0);
    EXPECT_TRUE(drainQueue());
}

TEST_F(ShellTest, ToggleModeSetsTheGameFrustumAndTheMenuOrtho) {
    EXPECT_EQ(sharedState.screenWidth, 240);
    EXPECT_EQ(sharedState.screenHeight, 294);
    // Entries of the projection matrix against their values, and the matrix mode left behind.
    auto expectProjection = [](std::initializer_list<std::pair<int, double>> entries, double tolerance) {
        GLfixed m[16];
        glGetFixedv(GL_PROJECTION_MATRIX, m);
        for (const auto& [i, value] : entries) EXPECT_NEAR(m[i] / 65536.0, value, tolerance) << i;
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    };
    toggleMode();
    ASSERT_EQ(sharedState.inGame, 1);
    // glFrustum with left/right about -/+30.792, bottom/top about -/+23.094, near 40, far 500.
    const double r = 30.792, t = 23.094, n = 40.0, f = 500.0;
    expectProjection({{0, n / r}, {5, n / t}, {8, 0.0}, {10, -(f + n) / (f - n)}, {11, -1.0}}, 1e-3);
    expectProjection({{14, -2 * f * n / (f - n)}}, 2e-2);
    toggleMode();
    ASSERT_EQ(sharedState.inGame, 0);
    // glOrtho(0, 240, 0, 294, -10, 10)
    expectProjection({{0, 2.0 / 240.0}, {5, 2.0 / 294.0}, {10, -2.0 / 20.0}, {12, -1.0}, {13, -1.0}}, 1e-4);
}

// --- Application directory, full paths, log ---

namespace {
class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() / ("palvex-shell-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }
    void TearDown() override {
        gameLog.close();
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path previous, dir;
};
} // namespace

TEST_F(InTempDir, AppDirIsCutAtTheLastSeparatorOfEitherKind) {
    setAppDirFrom("C:\\Program Files\\Palvex\\palvex.exe");
    EXPECT_STREQ(sharedState.appDir, "C:\\Program Files\\Palvex\\");
    EXPECT_STREQ(fullPath("options.bin"), "C:\\Program Files\\Palvex\\options.bin");
    setAppDirFrom("/opt/games/palvex/palvex");
    EXPECT_STREQ(sharedState.appDir, "/opt/games/palvex/");
    EXPECT_STREQ(sharedState.appDirNarrow, "/opt/games/palvex/");
    setAppDirFrom("/opt/mixed\\dir/bin\\palvex");
    EXPECT_STREQ(sharedState.appDir, "/opt/mixed\\dir/bin\\");
    // The result is replaced by the next call.
    const std::string first = fullPath("a.gif");
    EXPECT_STREQ(fullPath("b.gif"), "/opt/mixed\\dir/bin\\b.gif");
    EXPECT_EQ(first, "/opt/mixed\\dir/bin\\a.gif");
}

TEST_F(InTempDir, PathsThatDoNotFitAreRefused) {
    setAppDirFrom("palvex"); // no separator at all: files are found beside nothing
    EXPECT_STREQ(sharedState.appDir, "");
    EXPECT_STREQ(fullPath("arena.ase"), "arena.ase");

    std::string longDir = "/" + std::string(1000, 'd') + "/palvex";
    setAppDirFrom(longDir.c_str());
    EXPECT_EQ(std::strlen(sharedState.appDir), 1002u);
    EXPECT_STREQ(fullPath("abc"), (longDir.substr(0, 1002) + "abc").c_str());
    EXPECT_STREQ(fullPath(std::string(30, 'n').c_str()), "") << "1002 + 30 characters do not fit in 1024";

    std::string hugeDir = "/" + std::string(2000, 'x') + "/palvex";
    setAppDirFrom(hugeDir.c_str());
    EXPECT_STREQ(sharedState.appDir, "") << "a directory longer than the buffer is not used";
}

TEST_F(InTempDir, LogHoldsTheTwoFormats) {
    gameLog.open();
    setAppDirFrom("/usr/games/palvex/palvex");
    logPrintf("OpenGL ES Extensions:\n%s\n", "GL_OES_fixed_point GL_OES_query_matrix");
    gameLog.close();
    EXPECT_EQ(ase_testing::readFile("log.txt"),
              "Setting working directory: chdir( /usr/games/palvex/ )\n\n"
              "OpenGL ES Extensions:\nGL_OES_fixed_point GL_OES_query_matrix\n");
    // Opening again empties it.
    gameLog.open();
    gameLog.close();
    EXPECT_EQ(ase_testing::readFile("log.txt"), "");
}

TEST_F(InTempDir, UnopenableLogIsSkipped) {
    std::filesystem::create_directory("log.txt"); // a directory cannot be opened for writing
    gameLog.open();
    EXPECT_FALSE(gameLog.isOpen());
    EXPECT_LT(logPrintf("nothing %d\n", 1), 0);
    setAppDirFrom("/x/y"); // still works without a log
    EXPECT_STREQ(sharedState.appDir, "/x/");
}

// --- Frame timer: 50 ms is 3276 raw units of a second ---

namespace {
class FrameTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        TearDown();
        at(1000);
        frameTimerStart();
    }
    void TearDown() override {
        sharedState.playerAlive = 1;
        sharedState.speed = 0;
    }
    static void at(uint32_t ticks) { testing_support::headless().setVirtualTicks(ticks); }
    static void frameAt(uint32_t ticks) {
        at(ticks);
        frameTimerTick();
    }
};
} // namespace

TEST_F(FrameTimerTest, SameMillisecondMovesNothing) {
    sharedState.raceStarted = 1;
    frameAt(1000);
    EXPECT_EQ(sharedState.frameTime, 0);
    EXPECT_EQ(sharedState.frameStep, 0);
    EXPECT_EQ(sharedState.raceStarted, 0);
}

TEST_F(FrameTimerTest, FiftyMillisecondsAtEachSpeed) {
    // 80, 160 and 240 units a second; medium is slightly less than 8.0 a frame, by truncation.
    for (int speed = 0; speed < 3; ++speed) {
        sharedState.speed = speed;
        frameAt(1000 + 50 * (speed + 1));
        EXPECT_EQ(sharedState.frameTime, 3276);
        EXPECT_EQ(sharedState.frameStep, 262080 * (speed + 1));
    }
}

TEST_F(FrameTimerTest, PlayerOutRunsTheRaceTenTimesFaster) {
    sharedState.playerAlive = 0;
    sharedState.speed = 2;
    frameAt(1050);
    EXPECT_EQ(sharedState.frameStep, 3276000); // 1000 units a second, about 50 a frame
    EXPECT_EQ(sharedState.frameTime, 32760);
}

TEST_F(FrameTimerTest, TickWrapAroundAndLongPauses) {
    at(0xFFFFFFF0u);
    frameTimerStart();
    frameAt(0x00000022u); // 50 ms later, across the wrap
    EXPECT_EQ(sharedState.frameTime, 3276);

    frameAt(0x22 + 40000); // a long pause in the menu counts as 32.767 seconds
    EXPECT_NEAR(sharedState.frameTime / 65536.0, 32.767, 0.001);
    frameAt(0x22 + 40000 + 32768);
    EXPECT_GT(sharedState.frameTime, 0) << "exactly 32768 ms would turn negative without the clamp";
}
