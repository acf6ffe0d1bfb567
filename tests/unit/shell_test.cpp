// The application shell: key tables, mode switch and projections, application directory,
// log, error report and the frame timer.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "frametimer.h"
#include "log.h"
#include "menu/menu.h"
#include "race.h"
#include "sharedstate.h"
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
        for (int b = 0; b < ButtonCount; ++b) sharedState.buttonHeld[b] = sharedState.buttonReleased[b] = 0;
        sharedState.anyKeySeen = 0;
        drainQueue();
    }
    void drainQueue() {
        Message msg;
        while (get().peekMessage(msg, true)) {
        }
    }
    bool quitPosted() {
        Message msg;
        bool quit = false;
        while (get().peekMessage(msg, true)) quit = quit || msg.message == MsgQuit;
        return quit;
    }
    void key(MessageType type, uint32_t code) { windowProc(nullptr, type, code, 0); }
};

struct KeyRow {
    uint32_t code;
    int button;
};

const KeyRow mappedKeys[] = {
    {VK_W, ButtonUp},    {VK_UP, ButtonUp},       {VK_S, ButtonDown}, {VK_DOWN, ButtonDown},
    {VK_A, ButtonLeft},  {VK_LEFT, ButtonLeft},   {VK_D, ButtonRight}, {VK_RIGHT, ButtonRight},
    {VK_Q, ButtonQ},     {VK_E, ButtonE},
};

} // namespace

TEST_F(ShellTest, KeyDownSetsHeldInBothModes) {
    for (int mode = 0; mode < 2; ++mode) {
        if (mode == 1) toggleMode();
        for (const KeyRow& row : mappedKeys) {
            for (int b = 0; b < ButtonCount; ++b) sharedState.buttonHeld[b] = 0;
            sharedState.anyKeySeen = 0;
            key(MsgKeyDown, row.code);
            for (int b = 0; b < ButtonCount; ++b)
                EXPECT_EQ(sharedState.buttonHeld[b], b == row.button ? 1 : 0) << "key " << row.code << " mode " << mode;
            EXPECT_EQ(sharedState.anyKeySeen, 1);
            EXPECT_EQ(isButtonHeld(row.button), 1);
        }
    }
}

TEST_F(ShellTest, KeyUpReleasesOnlyTheFourDirections) {
    for (const KeyRow& row : mappedKeys) {
        for (int b = 0; b < ButtonCount; ++b) sharedState.buttonHeld[b] = sharedState.buttonReleased[b] = 0;
        sharedState.buttonHeld[row.button] = 1;
        key(MsgKeyUp, row.code);
        if (row.button <= ButtonRight) {
            EXPECT_EQ(sharedState.buttonHeld[row.button], 0);
            EXPECT_EQ(sharedState.buttonReleased[row.button], 1);
        } else {
            // Q and E are set on key down only; their release does nothing.
            EXPECT_EQ(sharedState.buttonHeld[row.button], 1);
            EXPECT_EQ(sharedState.buttonReleased[row.button], 0);
        }
    }
}

TEST_F(ShellTest, EnterAndEscapeActOnlyOnKeyUp) {
    key(MsgKeyDown, VK_RETURN);
    key(MsgKeyDown, VK_ESCAPE);
    EXPECT_EQ(sharedState.anyKeySeen, 0);
    EXPECT_EQ(sharedState.inGame, 0);
    for (int b = 0; b < ButtonCount; ++b) EXPECT_EQ(sharedState.buttonHeld[b], 0);

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
}

TEST_F(ShellTest, UnmappedKeysDoNothing) {
    for (uint32_t code : {0x20u, 0x42u, 0x5Au, 0x31u, 0x70u}) {
        key(MsgKeyDown, code);
        key(MsgKeyUp, code);
    }
    EXPECT_EQ(sharedState.anyKeySeen, 0);
    for (int b = 0; b < ButtonCount; ++b) {
        EXPECT_EQ(sharedState.buttonHeld[b], 0);
        EXPECT_EQ(sharedState.buttonReleased[b], 0);
    }
}

TEST_F(ShellTest, DeactivationAndDestroyEndTheProgram) {
    windowProc(nullptr, MsgActivate, 1, 0);
    EXPECT_FALSE(quitPosted());
    windowProc(nullptr, MsgActivate, 0, 0);
    EXPECT_TRUE(quitPosted());
    windowProc(nullptr, MsgDestroy, 0, 0);
    EXPECT_TRUE(quitPosted());
}

TEST_F(ShellTest, CreateFillsTheActivationRecord) {
    sharedState.activateInfo[5] = 9;
    windowProc(nullptr, MsgCreate, 0, 0);
    EXPECT_EQ(sharedState.activateInfo[0], 12);
    for (int i = 1; i < 12; ++i) EXPECT_EQ(sharedState.activateInfo[i], 0);
}

namespace {
void readMatrix(GLenum which, GLfixed out[16]) { glGetFixedv(which, out); }
double fx(GLfixed v) { return v / 65536.0; }
} // namespace

TEST_F(ShellTest, ToggleModeSetsTheGameFrustumAndTheMenuOrtho) {
    EXPECT_EQ(sharedState.screenWidth, 240);
    EXPECT_EQ(sharedState.screenHeight, 294);

    toggleMode();
    ASSERT_EQ(sharedState.inGame, 1);
    GLfixed m[16];
    readMatrix(GL_PROJECTION_MATRIX, m);
    // glFrustum with left/right about -/+30.792, bottom/top about -/+23.094, near 40, far 500.
    const double l = -30.792, r = 30.792, b = -23.094, t = 23.094, n = 40.0, f = 500.0;
    EXPECT_NEAR(fx(m[0]), 2 * n / (r - l), 1e-3);
    EXPECT_NEAR(fx(m[5]), 2 * n / (t - b), 1e-3);
    EXPECT_NEAR(fx(m[8]), 0.0, 1e-3);
    EXPECT_NEAR(fx(m[10]), -(f + n) / (f - n), 1e-3);
    EXPECT_NEAR(fx(m[11]), -1.0, 1e-4);
    EXPECT_NEAR(fx(m[14]), -2 * f * n / (f - n), 2e-2);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    toggleMode();
    ASSERT_EQ(sharedState.inGame, 0);
    readMatrix(GL_PROJECTION_MATRIX, m);
    // glOrtho(0, 240, 0, 294, -10, 10)
    EXPECT_NEAR(fx(m[0]), 2.0 / 240.0, 1e-4);
    EXPECT_NEAR(fx(m[5]), 2.0 / 294.0, 1e-4);
    EXPECT_NEAR(fx(m[10]), -2.0 / 20.0, 1e-4);
    EXPECT_NEAR(fx(m[12]), -1.0, 1e-4);
    EXPECT_NEAR(fx(m[13]), -1.0, 1e-4);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(ShellTest, LeavingTheGameZeroesTheScores) {
    toggleMode();
    for (int i = 0; i < 4; ++i) sharedState.scores[i] = i + 3;
    toggleMode();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sharedState.scores[i], 0);
}

// --- Application directory, full paths, log, error report ---

namespace {
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

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

TEST_F(InTempDir, FullPathResultIsReplacedByTheNextCall) {
    setAppDirFrom("/games/palvex");
    const char* first = fullPath("a.gif");
    const std::string copy = first;
    const char* second = fullPath("b.gif");
    EXPECT_EQ(copy, "/games/a.gif");
    EXPECT_STREQ(second, "/games/b.gif");
}

TEST_F(InTempDir, LogHoldsTheTwoFormats) {
    gameLog.open();
    setAppDirFrom("/usr/games/palvex/palvex");
    logPrintf("OpenGL ES Extensions:\n%s\n", "GL_OES_fixed_point GL_OES_query_matrix");
    gameLog.close();
    EXPECT_EQ(readFile("log.txt"),
              "Setting working directory: chdir( /usr/games/palvex/ )\n\n"
              "OpenGL ES Extensions:\nGL_OES_fixed_point GL_OES_query_matrix\n");
    // Opening again empties it.
    gameLog.open();
    gameLog.close();
    EXPECT_EQ(readFile("log.txt"), "");
}

TEST_F(InTempDir, UnopenableLogIsSkipped) {
    std::filesystem::create_directory("log.txt"); // a directory cannot be opened for writing
    gameLog.open();
    EXPECT_FALSE(gameLog.isOpen());
    EXPECT_LT(logPrintf("nothing %d\n", 1), 0);
    setAppDirFrom("/x/y"); // still works without a log
    EXPECT_STREQ(sharedState.appDir, "/x/");
}

TEST(ErrorReport, CaptionNamesLineThenFile) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    testing::internal::CaptureStderr();
    setErrorLocation("src/menu", 42);
    reportError("error while loading texture");
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(lastErrorCaption(), "Error at 42 line, in src/menu file");
    EXPECT_EQ(printed, "Error at 42 line, in src/menu file: error while loading texture\n");

    testing::internal::CaptureStderr();
    setErrorLocation("src/loaderase", 46);
    reportError("File %s does not exists", "moto3.ase");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error at 46 line, in src/loaderase file: File moto3.ase does not exists\n");
}

// --- Frame timer ---

class FrameTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        sharedState.playerAlive = 1;
        sharedState.speed = 0;
        at(1000);
        frameTimerStart();
    }
    void TearDown() override {
        sharedState.playerAlive = 1;
        sharedState.speed = 0;
    }
    void at(uint32_t ticks) { testing_support::headless().setVirtualTicks(ticks); }
    void frameAt(uint32_t ticks) {
        at(ticks);
        frameTimerTick();
    }
};

TEST_F(FrameTimerTest, SameMillisecondMovesNothing) {
    sharedState.raceStarted = 1;
    frameAt(1000);
    EXPECT_EQ(sharedState.frameTime, 0);
    EXPECT_EQ(sharedState.frameStep, 0);
    EXPECT_EQ(sharedState.raceStarted, 0);
}

TEST_F(FrameTimerTest, FiftyMillisecondsAtEachSpeed) {
    const Fixed expectedTime = FixedDiv(50 << 16, 0x3E80000);
    EXPECT_NEAR(expectedTime / 65536.0, 0.05, 1e-4);
    for (int speed = 0; speed < 3; ++speed) {
        sharedState.speed = speed;
        frameAt(1000 + 50 * (speed + 1));
        EXPECT_EQ(sharedState.frameTime, expectedTime);
        EXPECT_EQ(sharedState.frameStep, FixedMul((speed + 1) * 80 << 16, expectedTime));
    }
    sharedState.speed = 1;
    frameAt(1200);
    EXPECT_LE(sharedState.frameStep, 8 << 16);
    EXPECT_GT(sharedState.frameStep, (8 << 16) - 655) << "slightly less than 8.0, by truncation";
}

TEST_F(FrameTimerTest, PlayerOutRunsTheRaceTenTimesFaster) {
    sharedState.playerAlive = 0;
    sharedState.speed = 2;
    frameAt(1050);
    EXPECT_NEAR(sharedState.frameStep / 65536.0, 50.0, 0.05);
    EXPECT_NEAR(sharedState.frameTime / 65536.0, 0.5, 0.001);
    EXPECT_EQ(sharedState.frameTime, FixedMul(0xA0000, FixedDiv(50 << 16, 0x3E80000)));
}

TEST_F(FrameTimerTest, TickWrapAroundStaysRight) {
    at(0xFFFFFFF0u);
    frameTimerStart();
    frameAt(0x00000022u); // 50 ms later, across the wrap
    EXPECT_EQ(sharedState.frameTime, FixedDiv(50 << 16, 0x3E80000));
}

TEST_F(FrameTimerTest, LongPausesAreClamped) {
    frameAt(1000 + 40000); // a long pause in the menu
    EXPECT_GT(sharedState.frameTime, 0);
    EXPECT_EQ(sharedState.frameTime, FixedDiv(static_cast<Fixed>(FRAME_GAP_LIMIT_MS << 16), 0x3E80000));
    frameAt(1000 + 40000 + 32768);
    EXPECT_GT(sharedState.frameTime, 0) << "exactly 32768 ms would turn negative without the clamp";
}
