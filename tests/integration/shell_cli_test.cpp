// The headless contract: command line, key script, trace, screenshot, log.
#include <gtest/gtest.h>
#include "runner.h"

namespace {
const std::string HEADLESS = "--headless --tick-ms 20 --trace trace.jsonl";
}

TEST(CommandLine, TenFramesWriteTenTraceLinesAndAGreyPicture) {
    run::Scratch s("ten");
    auto r = run::game(s, "--headless --frames 10 --tick-ms 20 --trace trace.jsonl --screenshot shot.png");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.trace.size(), 10u);
    for (size_t i = 0; i < r.trace.size(); ++i) {
        EXPECT_EQ(r.trace[i]["frame"], i + 1);
        EXPECT_EQ(r.trace[i]["tick"], 20 * (i + 1)) << "the clock advances 20 ms after each frame";
        for (const char* key : {"inGame", "anyKeySeen", "buttonHeld", "buttonReleased", "scores", "playerAlive",
                                "raceStarted", "frameTime", "frameStep", "soundOn", "detail", "opponentChoice",
                                "speed", "screenWidth", "screenHeight"})
            EXPECT_TRUE(r.trace[i].contains(key)) << key;
    }
    EXPECT_EQ(r.trace[0]["screenWidth"], 240);
    EXPECT_EQ(r.trace[0]["screenHeight"], 294);
    EXPECT_EQ(r.trace[0]["buttonHeld"].size(), 7u);
    EXPECT_EQ(r.trace[0]["scores"].size(), 4u);

    run::Picture shot;
    ASSERT_TRUE(run::loadPng(s.path("shot.png"), shot));
    EXPECT_EQ(shot.width, 240);
    EXPECT_EQ(shot.height, 294);

    const std::string log = run::slurp(s.path("log.txt"));
    EXPECT_NE(log.find("Setting working directory: chdir( "), std::string::npos) << log;
    EXPECT_NE(log.find("OpenGL ES Extensions:\n"), std::string::npos) << log;
    EXPECT_NE(log.find("GL_OES_query_matrix"), std::string::npos);
}

TEST(CommandLine, MalformedOptionsNameThemselvesAndExitWithTwo) {
    run::Scratch s("badopt");
    struct Case {
        std::string args, named;
    } cases[] = {
        {"--frames", "--frames"},          {"--frames ten", "ten"},         {"--frames 0", "--frames"},
        {"--tick-ms -5", "-5"},            {"--scale x", "--scale"},        {"--bogus", "--bogus"},
        {"--keys", "--keys"},              {"--trace", "--trace"},
    };
    for (const Case& c : cases) {
        auto r = run::game(s, "--headless " + c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << ": " << r.err;
    }
}

TEST(CommandLine, HelpAndVersion) {
    run::Scratch s("help");
    auto help = run::game(s, "--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--headless", "--frames", "--tick-ms", "--keys", "--trace", "--screenshot", "--scale",
                               "--fullscreen", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    auto version = run::game(s, "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("palvex ", 0), 0u);
}

TEST(KeyScript, MalformedLinesAreNamed) {
    run::Scratch s("badkeys");
    const std::string bad[] = {"1 press w\n", "0 down w\n", "x down w\n", "3 down space\n", "3 down w extra\n",
                               "# fine\n2 down w\n5 up\n"};
    for (const std::string& script : bad) {
        s.write("keys.txt", script);
        auto r = run::game(s, "--headless --frames 3 --keys keys.txt");
        EXPECT_EQ(r.exitCode, 2) << script;
        EXPECT_NE(r.err.find("key script line"), std::string::npos) << r.err;
    }
    auto missing = run::game(s, "--headless --frames 3 --keys nowhere.txt");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("nowhere.txt"), std::string::npos);
}

TEST(KeyScript, EventsReachTheFrameTheyNameAndReleasesLastOneFrame) {
    run::Scratch s("keys");
    s.write("keys.txt",
            "# held and released\n"
            "3 down d\n"
            "5 up d\n"
            "7 down up   # pressed and released before one frame\n"
            "7 up up\n"
            "7 down up\n"
            "9 down q\n"
            "10 up q\n");
    auto r = run::game(s, HEADLESS + " --frames 12 --keys keys.txt");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.trace.size(), 12u);
    auto held = [&](int frame, int button) { return r.trace[frame - 1]["buttonHeld"][button].get<int>(); };
    auto released = [&](int frame, int button) { return r.trace[frame - 1]["buttonReleased"][button].get<int>(); };
    EXPECT_EQ(r.trace[1]["anyKeySeen"], 0);
    EXPECT_EQ(r.trace[2]["anyKeySeen"], 1);
    EXPECT_EQ(held(2, 3), 0);
    EXPECT_EQ(held(3, 3), 1);
    EXPECT_EQ(held(4, 3), 1);
    EXPECT_EQ(held(5, 3), 0);
    EXPECT_EQ(released(5, 3), 1);
    EXPECT_EQ(released(6, 3), 0) << "each release is seen by exactly one frame";
    // Released and pressed again between two frames: the flag stays for that frame.
    EXPECT_EQ(held(7, 0), 1);
    EXPECT_EQ(released(7, 0), 1);
    EXPECT_EQ(released(8, 0), 0);
    EXPECT_EQ(held(9, 4), 1);
    EXPECT_EQ(held(10, 4), 1) << "Q is set on key down only";
    EXPECT_EQ(released(10, 4), 0);
}

TEST(Screenshot, MissingPicturesAreReportedAndDrawnBlank) {
    run::Scratch s("blank");
    // Without its pictures the title quad still covers the screen: a texture without an
    // image leaves the quad in the current colour, opaque white.
    const auto app = run::installCopy(s);
    for (const auto& entry : std::filesystem::directory_iterator(app.parent_path()))
        if (entry.path().filename() != "palvex") std::filesystem::remove(entry.path());
    auto r = run::game(s, "--headless --frames 2 --tick-ms 20 --screenshot shot.png", app.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    size_t reports = 0;
    for (size_t at = r.err.find("error while loading texture"); at != std::string::npos;
         at = r.err.find("error while loading texture", at + 1))
        ++reports;
    EXPECT_EQ(reports, 6u) << r.err;
    // Captioned with the line first and the module second.
    EXPECT_NE(r.err.find("Error at "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" line, in src/menu file"), std::string::npos) << r.err;
    run::Picture shot;
    ASSERT_TRUE(run::loadPng(s.path("shot.png"), shot));
    ASSERT_EQ(shot.width, 240);
    ASSERT_EQ(shot.height, 294);
    for (auto [x, y] : {std::pair{0, 0}, {239, 0}, {0, 293}, {239, 293}, {120, 147}})
        EXPECT_EQ(shot.at(x, y), (std::array<int, 3>{255, 255, 255})) << x << "," << y;
}
