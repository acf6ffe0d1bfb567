// What a desktop window adds for a new player: the race's projection at the drawable's
// aspect (and the culling that follows it), the notices over the race, the lines F12 leaves
// on screen, the first start's options, and the controls screen's lines.
#include <gtest/gtest.h>

#include <GLES/gl.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "application.h"
#include "camera.h"
#include "menu/menu.h"
#include "menu/options.h"
#include "platform/platform.h"
#include "renderingcontext.h"
#include "sharedstate.h"
#include "testplatform.h"

namespace {

constexpr Fixed ONE = 0x10000;

// The race's first camera placement under a projection set by `project`.
Frustum startFrustum(void (*project)()) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    project();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Camera camera;
    camera.lookAt(F(-5), F(60), F(210), 0, 0, F(90), 0, ONE, 0);
    camera.apply();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return camera.frustum;
}

} // namespace

// 16:9 keeps the design's vertical field of view and near and far planes and widens the
// horizontal one: the culling frustum, read back from the GL, sees further to the sides.
TEST(RaceView, AWideDrawableWidensTheViewAndItsCullingAlike) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    const Frustum design = startFrustum([] { setPerspective(60.0f, 1.3333334f, 40.0f, 500.0f); });
    const Frustum wide = startFrustum([] { setDrawablePerspective(1920, 1080); });
    const Frustum portrait = startFrustum([] { setDrawablePerspective(480, 588); });

    // Same vertical scale (row 1 of the projection: near / ymax); the horizontal scale is
    // the vertical one over the aspect.
    Frustum projections[3];
    const int sizes[3][2] = {{1920, 1080}, {480, 588}, {0, 0}};
    for (int i = 0; i < 3; ++i) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (i < 2) setDrawablePerspective(sizes[i][0], sizes[i][1]);
        else setPerspective(60.0f, 1.3333334f, 40.0f, 500.0f);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        projections[i].update();
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    const Fixed vertical = projections[2].matrix.m[5];
    EXPECT_EQ(projections[0].matrix.m[5], vertical);
    EXPECT_EQ(projections[1].matrix.m[5], vertical);
    EXPECT_NEAR(projections[0].matrix.m[0], vertical * 9.0 / 16.0, 8);
    EXPECT_NEAR(projections[1].matrix.m[0], vertical * 588.0 / 480.0, 8);
    EXPECT_EQ(projections[0].matrix.m[10], projections[2].matrix.m[10]) << "the same near and far planes";
    EXPECT_EQ(projections[0].matrix.m[14], projections[2].matrix.m[14]);

    // A stretch of floor well to the right of the start: off the design's 4:3 picture, on a
    // 16:9 screen; a portrait window sees less than the design.
    EXPECT_EQ(design.classifyRect(F(88), F(88), F(4), F(4)), FrustumOutside);
    EXPECT_EQ(wide.classifyRect(F(88), F(88), F(4), F(4)), FrustumInside);
    EXPECT_EQ(wide.classifyRect(F(120), F(88), F(4), F(4)), FrustumOutside) << "yet not without bound";
    EXPECT_EQ(design.classifyRect(F(60), F(88), F(4), F(4)), FrustumInside);
    EXPECT_EQ(portrait.classifyRect(F(60), F(88), F(4), F(4)), FrustumOutside);
    for (const Frustum* f : {&design, &wide, &portrait}) {
        EXPECT_EQ(f->classifyRect(F(-2), F(88), F(4), F(4)), FrustumInside);
        EXPECT_EQ(f->classifyRect(F(-20), F(-900), F(40), F(40)), FrustumOutside) << "beyond the far plane";
    }
}

TEST(RaceView, TheNearPlaneWidthIsTheHeightTimesTheAspectInFixedPoint) {
    const int32_t height = drawableNearHalfWidth(1, 1);
    EXPECT_EQ(height, static_cast<int32_t>(static_cast<float>(40.0 * std::tan(60.0f * 0.008726646259971648)) * 65536.0f));
    EXPECT_EQ(drawableNearHalfWidth(1920, 1080), static_cast<int32_t>(int64_t(height) * 1920 / 1080));
    EXPECT_EQ(drawableNearHalfWidth(240, 294), static_cast<int32_t>(int64_t(height) * 240 / 294));
    EXPECT_EQ(drawableNearHalfWidth(1920, 0), height) << "no drawable yet: square";
    EXPECT_EQ(drawableNearHalfWidth(1 << 30, 1), INT32_MAX) << "saturates instead of wrapping";
}

TEST(RaceNotice, TurnToStartWhileWaitingYouCrashedForAWhile) {
    EXPECT_STREQ(raceNotice(true, true, 0), "turn to start");
    EXPECT_EQ(raceNotice(true, false, 0), nullptr);
    EXPECT_STREQ(raceNotice(false, false, 0), "you crashed");
    EXPECT_STREQ(raceNotice(false, true, CRASH_NOTICE_MS - 1), "you crashed");
    EXPECT_EQ(raceNotice(false, false, CRASH_NOTICE_MS), nullptr);
}

TEST(ScreenshotNote, TheFolderWithHomeAsTildeAndTheFileName) {
    using platform::screenshotNote;
    using V = std::vector<std::string>;
    EXPECT_EQ(screenshotNote("/home/ann/Pictures/palvex-1.png", true, "/home/ann"),
              (V{"screenshot saved in ~/Pictures", "palvex-1.png"}));
    EXPECT_EQ(screenshotNote("/home/annie/p.png", true, "/home/ann"), (V{"screenshot saved in /home/annie", "p.png"}))
        << "only the home folder itself is shortened";
    EXPECT_EQ(screenshotNote("/home/ann/p.png", false, "/home/ann/"), (V{"could not save in /home/ann", "p.png"}));
    EXPECT_EQ(screenshotNote("/srv/p.png", true, nullptr), (V{"screenshot saved in /srv", "p.png"}));
    EXPECT_EQ(screenshotNote("/p.png", true, "/"), (V{"screenshot saved in ", "p.png"}));
}

// A desktop window without options.bin starts at high detail with the sound on; a headless
// run keeps the design's zeros; a file, where there is one, wins either way.
TEST(FirstStart, ADesktopWindowStartsAtHighDetailWithSound) {
    ASSERT_TRUE(testing_support::ensurePlatform());
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("palvex-first-" + std::to_string(getpid()));
    fs::create_directories(root / "game");
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    const std::string keptDir = sharedState.appDir;
    const bool keptPortable = sharedState.portable, keptDesktop = sharedState.desktop;
    const OptionsRecord keptOptions = sharedState.options;
    sharedState.appDir = (root / "game").string() + "/";
    sharedState.portable = true;

    Menu menu(nullptr, false);
    auto loadedWith = [&](bool desktop) {
        sharedState.desktop = desktop;
        sharedState.options = OptionsRecord();
        menu.loadOptions();
        return sharedState.options;
    };
    OptionsRecord desktop = loadedWith(true);
    EXPECT_EQ(desktop.detail, 2);
    EXPECT_EQ(desktop.soundOn, 1);
    EXPECT_EQ(desktop.opponentChoice, 0);
    EXPECT_EQ(desktop.speed, 0);
    OptionsRecord headless = loadedWith(false);
    EXPECT_EQ(headless.detail, 0);
    EXPECT_EQ(headless.soundOn, 0);
    EXPECT_FALSE(fs::exists(root / "game/options.bin")) << "nothing written before back is chosen";

    OptionsRecord saved;
    saved.opponentChoice = 2;
    ASSERT_TRUE(writeOptionsFileAtomic((root / "game/options.bin").string(), saved));
    desktop = loadedWith(true);
    EXPECT_EQ(desktop.detail, 0);
    EXPECT_EQ(desktop.soundOn, 0);
    EXPECT_EQ(desktop.opponentChoice, 2);

    sharedState.appDir = keptDir;
    sharedState.portable = keptPortable;
    sharedState.desktop = keptDesktop;
    sharedState.options = keptOptions;
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root);
}

TEST(ControlsScreen, NamesTheBoundKeysAndTheScoringInThreeLines) {
    ASSERT_TRUE(testing_support::ensurePlatform());
    const std::vector<std::string> lines = controlsLines();
    auto has = [&](const std::string& text) {
        for (const std::string& line : lines)
            if (line == text) return true;
        return false;
    };
    EXPECT_TRUE(has("Turn left: A, Left"));
    EXPECT_TRUE(has("Turn right: D, Right"));
    EXPECT_TRUE(has("Pause: P, Pause"));
    EXPECT_TRUE(has("Screenshot: F12"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "A bike hits your wall: +1 to you");
    EXPECT_EQ(lines[lines.size() - 2], "You hit your own wall: -1");
    EXPECT_EQ(lines[lines.size() - 1], "Any crash: +2 to bikes still on");
    const std::vector<std::string> credits = creditsLines();
    ASSERT_EQ(credits.size(), 2u);
    EXPECT_EQ(credits[0], std::string("Palvex ") + PALVEX_VERSION + " \xc2\xb7 MIT licence");
    EXPECT_EQ(credits[1], "Right: keys and scoring");
}
