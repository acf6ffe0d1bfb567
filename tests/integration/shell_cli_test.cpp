// The headless contract: command line, key script, trace, screenshot, log.
#include "integration/gamedir.h"

#include <sys/mount.h>

using namespace gamedir;
namespace fs = std::filesystem;

TEST(CommandLine, OneTraceLinePerFrameKeysOnTheirFrameAndALog) {
    GameDir dir;
    const std::string keys = "# held and released\n3 down d\n5 up d\n"
                             "7 down up   # pressed and released before one frame\n7 up up\n7 down up\n"
                             "9 down q\n10 up q\n";
    const RunResult r = dir.runArgs(
        {"--headless", "--frames", "12", "--tick-ms", "20", "--keys", "keys.txt", "--trace", "trace.jsonl"},
        {.keys = keys});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    ASSERT_EQ(r.trace.size(), 12u);
    for (size_t i = 0; i < r.trace.size(); ++i) {
        EXPECT_EQ(r.trace[i]["frame"], i + 1);
        EXPECT_EQ(r.trace[i]["tick"], 20 * (i + 1)) << "the clock advances 20 ms after each frame";
        for (const char* key : {"inGame", "anyKeySeen", "buttonHeld", "buttonReleased", "scores", "playerAlive",
                                "raceStarted", "frameTime", "frameStep", "soundOn", "detail", "opponentChoice",
                                "speed", "screenWidth", "screenHeight"})
            EXPECT_TRUE(r.trace[i].contains(key)) << key;
    }
    expectTrace(r, "1 screenWidth=240 screenHeight=294");
    EXPECT_EQ(r.trace[0]["scores"].size(), 4u);
    // Buttons: 0 up, 3 right (d), 4 Q. A release is seen by one frame, also when the key is
    // pressed again before it; Q is set on key down only.
    expectTrace(r, "2 anyKeySeen=0; 3 anyKeySeen=1;"
                   "2 buttonHeld=[0,0,0,0,0,0,0]; 3-4 buttonHeld=[0,0,0,1,0,0,0];"
                   "5 buttonHeld=[0,0,0,0,0,0,0] buttonReleased=[0,0,0,1,0,0,0]; 6 buttonReleased=[0,0,0,0,0,0,0];"
                   "7 buttonHeld=[1,0,0,0,0,0,0] buttonReleased=[1,0,0,0,0,0,0]; 8 buttonReleased=[0,0,0,0,0,0,0];"
                   "9-10 buttonHeld=[1,0,0,0,1,0,0]; 10 buttonReleased=[0,0,0,0,0,0,0]");

    // Started from outside its own folder, the game logs to the state directory and leaves
    // the current directory alone.
    EXPECT_FALSE(fs::exists(dir.out + "log.txt"));
    const std::string log = readText(dir.out + ".local/state/palvex/log.txt");
    EXPECT_NE(log.find("Setting working directory: chdir( "), std::string::npos) << log;
    EXPECT_NE(log.find("OpenGL ES Extensions:\n"), std::string::npos) << log;
    EXPECT_NE(log.find("GL_OES_query_matrix"), std::string::npos);
}

TEST(CommandLine, MalformedOptionsAndKeyScriptsAreNamedAndExitWithTwo) {
    GameDir dir;
    auto expectRefused = [&](std::vector<std::string> args, const std::string& keys, const std::string& named) {
        SCOPED_TRACE(args.back() + " " + keys);
        args.insert(args.begin(), {"--headless", "--frames", "3"});
        const RunResult r = dir.runArgs(args, {.keys = keys});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.errors.find(named), std::string::npos) << r.errors;
    };
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--frames"}, {"--frames", "ten"}, {"--frames", "0"},
                                               {"--tick-ms", "-5"}, {"--bogus"}, {"--keys", "nowhere.txt"}})
        expectRefused(args, "", args.size() == 1 || args[1] == "0" ? args[0] : args[1]);
    for (const char* keys :
         {"1 press w\n", "0 down w\n", "3 down space\n", "3 down w extra\n", "# fine\n2 down w\n5 up\n"})
        expectRefused({"--keys", "keys.txt"}, keys, "key script line");
    // A frame past the counter's range; a line of megabytes, whose echo is bounded.
    for (const char* keys : {"99999999999999999999 down w\n", "1000000001 down w\n"})
        expectRefused({"--keys", "keys.txt"}, keys, "key script line 1 is malformed");
    const RunResult r = dir.runArgs({"--headless", "--frames", "3", "--keys", "keys.txt"},
                                    {.keys = "5 down w\n" + std::string(8u << 20, 'x') + "\n"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("key script line 2 is malformed: \"xxxx"), std::string::npos) << r.errors.substr(0, 300);
    EXPECT_LT(r.errors.size(), 400u);
}

// A disk that fills (a file size limit, and where it can be mounted a 64 kB tmpfs): the
// trace, the screenshot and the recording say they could not be written, and fail the run.
TEST(CommandLine, AFullDiskIsAFailureWithAMessage) {
    GameDir dir;
    const std::string game = tap(1, "enter") + tap(2, "enter") + hold(5, "d");
    RunResult r = dir.run({.frames = 40, .keys = game, .fileSizeLimit = 3000});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("could not write the trace trace.jsonl: File too large"), std::string::npos) << r.errors;
    r = dir.runArgs({"--headless", "--frames", "3", "--screenshot", dir.shot}, {.fileSizeLimit = 100});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("could not write the screenshot " + dir.shot + ": File too large"), std::string::npos)
        << r.errors;
    EXPECT_FALSE(fs::exists(dir.shot)) << "no empty picture is left";
    r = dir.runArgs({"--headless", "--frames", "400", "--tick-ms", "16", "--keys", "keys.txt", "--record", "game.pvxr"},
                    {.keys = game, .fileSizeLimit = 400});
    EXPECT_EQ(r.exitCode, 2) << r.errors;
    const std::string stopped = "the recording stopped: cannot write game.pvxr: File too large";
    const size_t first = r.errors.find(stopped);
    EXPECT_NE(first, std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.find(stopped, first + 1), std::string::npos) << "said once: " << r.errors;

    const std::string small = dir.out + "small/";
    fs::create_directories(small);
    if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        std::cout << "no 64 kB tmpfs (mounting needs root): the file size limit stood for a full disk\n";
        return;
    }
    r = dir.run({.frames = 200, .keys = game, .extraArgs = {"--trace", small + "t.jsonl"}});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("No space left on device"), std::string::npos) << r.errors;
    ::umount(small.c_str());
}

// Outputs the command line names but the game cannot write, and a GL that cannot start, are
// failures with a message, never a silent success.
TEST(CommandLine, UnwritableOutputsAndNoEglAreFailures) {
    GameDir dir;
    RunResult r = dir.runArgs({"--headless", "--frames", "2", "--trace", dir.out + "missing/trace.jsonl"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("cannot write the trace"), std::string::npos) << r.errors;
    for (const std::string& shot : {dir.out + "missing/shot.png", dir.out}) {
        r = dir.runArgs({"--headless", "--frames", "2", "--screenshot", shot});
        EXPECT_EQ(r.exitCode, 2) << shot;
        EXPECT_NE(r.errors.find("cannot write the screenshot"), std::string::npos) << r.errors;
    }
    // No EGL vendor at all: the display cannot be had.
    r = dir.runArgs({"--headless", "--frames", "2", "--screenshot", dir.shot},
                    {.env = {{"__EGL_VENDOR_LIBRARY_FILENAMES", dir.out + "no-vendor.json"}}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("Palvex: cannot start OpenGL ES: no EGL display"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(dir.shot)) << "no black screenshot of a game that never ran";
}

TEST(CommandLine, HelpAndVersion) {
    GameDir dir;
    const RunResult help = dir.runArgs({"--help"}), version = dir.runArgs({"--version"});
    EXPECT_EQ(help.exitCode + version.exitCode, 0);
    for (const char* option : {"--headless", "--frames", "--tick-ms", "--keys", "--trace", "--screenshot", "--scale"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_TRUE(version.out.starts_with("palvex ")) << version.out;
    // The settings file where this environment keeps it, not a fixed ~/.config.
    EXPECT_NE(help.out.find("Keys and window settings: " + dir.config + "palvex/palvex.ini\n"), std::string::npos)
        << help.out;
    const RunResult plain = dir.runArgs({"--help"}, {.env = {{"XDG_CONFIG_HOME", ""}}});
    EXPECT_NE(plain.out.find("Keys and window settings: " + dir.out + ".config/palvex/palvex.ini\n"), std::string::npos)
        << plain.out;
}

// Without its pictures the title quad still covers the screen, in the current colour: white.
TEST(Screenshot, MissingPicturesAreReportedAndDrawnBlank) {
    GameDir dir;
    for (const auto& entry : fs::directory_iterator(dir.game))
        if (entry.path().filename() != "palvex") fs::remove(entry.path());
    const RunResult r = dir.run({.frames = 2});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    std::istringstream lines(r.errors); // captioned with the line first and the module second
    int reports = 0;
    for (std::string line; std::getline(lines, line);)
        reports += line.starts_with("Error at ") &&
                   line.ends_with(" line, in src/menu file: error while loading texture");
    EXPECT_EQ(reports, 6) << r.errors;
    const Shot shot(dir.shot);
    ASSERT_EQ(shot.width, 240);
    ASSERT_EQ(shot.height, 294);
    for (auto [x, y] : {std::pair{0, 0}, {239, 0}, {0, 293}, {239, 293}, {120, 147}})
        EXPECT_EQ(shot.at(x, y), (Colour{255, 255, 255})) << x << "," << y;
}

// The executable's path is read whatever its length: from a folder far deeper than the
// design's 1024-character buffer the menu pictures load and Back saves beside the game.
TEST(CommandLine, AGameFolderOfAnyLengthWorks) {
    GameDir dir;
    std::string deep = dir.root + "deep/";
    while (deep.size() < 1100) deep += std::string(200, 'l') + "/";
    fs::create_directories(deep);
    for (const auto& entry : fs::directory_iterator(dir.game)) fs::copy(entry.path(), deep + entry.path().filename().string());
    dir.game = deep;
    const std::string toBack = tap(1, "enter") + tap(2, "down") + tap(3, "enter") + tap(4, "up") + tap(5, "enter");
    const RunResult r = dir.run({.frames = 6, .keys = toBack});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errors, "") << "every picture found";
    EXPECT_EQ(readBytes(deep + "options.bin").size(), 13u);
    EXPECT_FALSE(fs::exists(fs::path(deep).parent_path().parent_path() / "options.bin"));
}

// Headless runs are the tests': the player's settings file is neither read nor written. And
// a system without any font says so once and plays on without the text.
TEST(CommandLine, HeadlessLeavesTheSettingsAloneAndPlaysOnWithoutAFont) {
    GameDir dir;
    RunResult r = dir.runArgs({"--headless", "--frames", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_FALSE(fs::exists(dir.config + "palvex/palvex.ini")) << "written by a headless run";
    fs::create_directories(dir.config + "palvex");
    std::ofstream(dir.config + "palvex/palvex.ini") << "[window]\nscale = huge\n";
    r = dir.runArgs({"--headless", "--frames", "2"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.errors, "") << "read by a headless run";

    std::ofstream(dir.out + "fonts.conf") << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
    r = dir.runArgs({"--headless", "--frames", "3", "--trace", "trace.jsonl"},
                    {.env = {{"FONTCONFIG_FILE", dir.out + "fonts.conf"}}});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.trace.size(), 3u);
    EXPECT_TRUE(r.errors.starts_with("palvex: no font found: fontconfig offers neither DejaVu Sans Bold nor any sans face"))
        << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
}
