// Palvex: a light-cycle arena race. Entry point: the command line, the start-up order of
// the program-wide services, the application's loop, and the shut-down in reverse.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "application.h"
#include "autopilot.h"
#include "driver.h"
#include "frametimer.h"
#include "log.h"
#include "net/enettransport.h"
#include "online.h"
#include "platform/platform.h"
#include "replay.h"
#include "sharedstate.h"
#include "sound.h"
#include "testbench/testbench.h"
#include "window.h"

namespace {

const char* usage =
    "Usage: palvex [options]\n"
    "\n"
    "A light-cycle arena race: steer with A/D or the cursor keys, leave a wall, outlast\n"
    "the computer-driven bikes. Enter selects in the menu; Enter or Escape leaves a race;\n"
    "P pauses it. Keys and window settings: @SETTINGS@\n"
    "\n"
    "Options:\n"
    "  --scale N          window size: N times the 240 x 294 screen (default: largest that fits)\n"
    "  --fullscreen       start in fullscreen (F11 or Alt+Enter toggle it)\n"
    "  --no-frame-cap     render as many frames as the machine can (for benchmarks)\n"
    "  --quit-on-focus-loss  end the game when the window loses the focus, instead of pausing\n"
    "  --headless         no window and no sound device (an off-screen EGL pbuffer)\n"
    "  --frames N         end after N rendered frames (exit code 0)\n"
    "  --tick-ms MS       virtual clock: the tick count starts at 0 and advances MS per frame\n"
    "  --keys FILE        key script: lines 'FRAME down|up [N:]KEY', KEY one of\n"
    "                     w a s d q e up down left right enter escape, N: player N's key\n"
    "                     (2:left is player 2's left); '#' comments\n"
    "  --trace FILE       JSON Lines: the game state after every rendered frame\n"
    "  --screenshot FILE  PNG of the last presented frame\n"
    "  --record-sound     headless: a sound device that only records the calls\n"
    "  --record FILE      record the games of this run to FILE (a window records every game\n"
    "                     to $XDG_DATA_HOME/palvex/replays/ anyway)\n"
    "  --replay FILE      play a recorded game back (P holds it, Escape ends it)\n"
    "  --verify           with --replay: run the race without drawing and compare every check;\n"
    "                     exit 0 when all agree, 3 when one differs, 2 when it is damaged\n"
    "  --sync-test N      with --replay: verify it, and after every frame load the state of\n"
    "                     N frames before (1 to 31) and run those frames again, comparing\n"
    "                     every check; exit 3 when one comes out otherwise\n"
    "  --ai LEVEL         how the opponents drive: classic (the default), cautious, wary or\n"
    "                     territorial, weakest first (also [game] ai in the settings file)\n"
    "  --autopilot LEVEL  a computer driver of that level steers the player's bike through\n"
    "                     the turn keys (the race is recorded like a player's)\n"
    "  --players N        the start item begins a race of N players on one screen, 1 to 4\n"
    "                     (default 1: the one-player game)\n"
    "  --opponents M      computer bikes in that race: 0 to 4 - N (at least 1 for one player;\n"
    "                     default: the options' opponent count, at most what the seats allow)\n"
    "  --host [PORT]      host an online race for 2 to 4 machines (default port 28282);\n"
    "                     in a window Enter starts it from the lobby; headless (or\n"
    "                     with --players N) it starts once N machines are in\n"
    "  --join HOST[:PORT] join an online race hosted at HOST\n"
    "  --input-delay N    hosting: frames before each player's own keys apply, 0 to 4\n"
    "                     (default 2)\n"
    "  --direct-port PORT joining: the UDP port the other joining machines may reach this\n"
    "                     one on directly (default: a free one; 0 also)\n"
    "  --public-port PORT joining: the port the others are told to dial, when a router\n"
    "                     forwards another one to the direct port\n"
    "  --help             this text\n"
    "  --version          the version\n";

bool parseNumber(const char* text, long minimum, long& out) {
    if (!text || !text[0]) return false;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < minimum || value > 1000000000L) return false;
    out = value;
    return true;
}

// Exit code of a malformed command line or an option naming something unusable.
constexpr int EXIT_BAD_USAGE = 2;

// The name the other players see when the settings give none: the login name, printable
// and short, else what this machine is in the session.
std::string loginName(const char* fallback) {
    const char* user = std::getenv("USER");
    std::string name = user ? user : "";
    if (name.size() > platform::MAX_PLAYER_NAME) name.resize(platform::MAX_PLAYER_NAME);
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return fallback;
    return name.empty() ? fallback : name;
}

int badOption(const std::string& message) {
    std::fprintf(stderr, "palvex: %s\nTry 'palvex --help'.\n", message.c_str());
    return EXIT_BAD_USAGE;
}

} // namespace

int main(int argc, char** argv) {
    // A file size limit makes a write fail with EFBIG, which every writer reports, instead
    // of ending the game on the spot.
    std::signal(SIGXFSZ, SIG_IGN);
    platform::Options options;
    platform::Overrides overrides;
    BenchOptions bench;
    ReplaySettings replays;
    std::string replayFile;
    bool verify = false;
    long syncDistance = 0;
    int aiLevel = -1;
    int autopilotLevel = -1;
    long players = 1;
    long opponents = -1;
    bool playersGiven = false;
    bool hosting = false;
    bool hostPortGiven = false;
    std::string joinAddress;
    long hostPort = net::kDefaultPort;
    long inputDelay = 2;
    long directPort = 0, publicPort = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) return nullptr;
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            // The settings file where this environment puts it ($XDG_CONFIG_HOME).
            std::string text = usage;
            const std::string settings = platform::settingsPath();
            text.replace(text.find("@SETTINGS@"), 10, settings.empty() ? "palvex.ini in the configuration directory" : settings);
            std::fputs(text.c_str(), stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("palvex %s\n", PALVEX_VERSION);
            return 0;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--fullscreen") {
            overrides.fullscreen = true;
        } else if (arg == "--no-frame-cap") {
            overrides.frameCap = false;
        } else if (arg == "--quit-on-focus-loss") {
            overrides.quitOnFocusLoss = true;
        } else if (arg == "--record-sound") {
            options.recordSound = true;
        } else if (arg == "--verify") {
            verify = true;
        } else if (arg == "--sync-test") {
            const char* text = value(arg.c_str());
            if (!parseNumber(text, 1, syncDistance) || syncDistance > 31)
                return badOption(std::string("option --sync-test needs a number of frames from 1 to 31") +
                                 (text ? std::string(", not '") + text + "'" : std::string()));
        } else if (arg == "--frames" || arg == "--tick-ms" || arg == "--scale") {
            const char* text = value(arg.c_str());
            long number = 0;
            const long minimum = arg == "--tick-ms" ? 0 : 1;
            if (!parseNumber(text, minimum, number))
                return badOption("option " + arg + " needs a whole number" + (minimum ? " of at least 1" : " of 0 or more") +
                                 (text ? std::string(", not '") + text + "'" : std::string()));
            if (arg == "--frames") bench.frames = number;
            else if (arg == "--tick-ms") options.tickMs = number;
            else overrides.scale = static_cast<int>(std::min(number, 64L));
        } else if (arg == "--host") {
            hosting = true;
            // The port is optional: a number next is it.
            if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9') {
                hostPortGiven = true;
                const char* text = argv[++i];
                if (!parseNumber(text, 0, hostPort) || hostPort > 65535)
                    return badOption(std::string("option --host takes a port from 0 to 65535, not '") + text + "'");
            }
        } else if (arg == "--join") {
            const char* text = value(arg.c_str());
            std::string host;
            uint16_t port = 0;
            if (!text || !parseJoinAddress(text, host, port))
                return badOption(std::string("option --join needs HOST or HOST:PORT (a port from 1 to 65535)") +
                                 (text ? std::string(", not '") + text + "'" : std::string()));
            joinAddress = text;
        } else if (arg == "--input-delay") {
            const char* text = value(arg.c_str());
            if (!parseNumber(text, 0, inputDelay) || inputDelay > 4)
                return badOption(std::string("option --input-delay needs a number of frames from 0 to 4") +
                                 (text ? std::string(", not '") + text + "'" : std::string()));
        } else if (arg == "--direct-port" || arg == "--public-port") {
            const char* text = value(arg.c_str());
            long& port = arg == "--direct-port" ? directPort : publicPort;
            if (!parseNumber(text, 0, port) || port > 65535)
                return badOption("option " + arg + " needs a port from 0 to 65535" +
                                 (text ? std::string(", not '") + text + "'" : std::string()));
        } else if (arg == "--players" || arg == "--opponents") {
            const char* text = value(arg.c_str());
            long number = -1;
            if (!parseNumber(text, 0, number) || number > 4)
                return badOption("option " + arg + " needs a number: " +
                                 (arg == "--players" ? "1 to 4 players" : "0 to 3 computer bikes") +
                                 (text ? std::string(", not '") + text + "'" : std::string()));
            (arg == "--players" ? players : opponents) = number;
            if (arg == "--players") playersGiven = true;
            if (arg == "--players" && players < 1) return badOption("option --players needs a number: 1 to 4 players, not '0'");
        } else if (arg == "--ai" || arg == "--autopilot") {
            const char* text = value(arg.c_str());
            const int level = text ? levelByName(text) : -1;
            if (level < 0)
                return badOption("option " + arg + " needs a level: " + levelNames() +
                                 (text ? std::string(", not '") + text + "'" : std::string()));
            (arg == "--ai" ? aiLevel : autopilotLevel) = level;
        } else if (arg == "--keys" || arg == "--trace" || arg == "--screenshot" || arg == "--record" ||
                   arg == "--replay") {
            const char* text = value(arg.c_str());
            if (!text || !text[0]) return badOption("option " + arg + " needs a file name");
            if (arg == "--keys") options.keysFile = text;
            else if (arg == "--record") replays.recordFile = text;
            else if (arg == "--replay") replayFile = text;
            else if (arg == "--trace") bench.traceFile = text;
            else bench.screenshotFile = text;
        } else {
            return badOption("unknown option '" + arg + "'");
        }
    }

    if (opponents >= 0 && opponents > 4 - players)
        return badOption("a race has four seats: " + std::to_string(players) + (players == 1 ? " player leaves" : " players leave") +
                         " room for at most " + std::to_string(4 - players) + " computer bikes, not " + std::to_string(opponents));
    if (opponents == 0 && players == 1)
        return badOption("a race of one player needs at least one computer bike (--opponents 1 to 3)");
    if (!replayFile.empty() && (players != 1 || opponents >= 0))
        return badOption("a replay brings its own players: --replay goes with neither --players nor --opponents");
    const bool online = hosting || !joinAddress.empty();
    if (hosting && !joinAddress.empty()) return badOption("--host and --join go apart: a machine hosts or joins");
    if (online && !replayFile.empty()) return badOption("a replay is not played online: --replay goes with neither --host nor --join");
    if (!joinAddress.empty() && (playersGiven || opponents >= 0 || aiLevel >= 0))
        return badOption("the host chooses the players and computer bikes: --join goes with neither --players, --opponents nor --ai");
    // A window's host starts from its lobby with Enter; a headless one when its players are in.
    if (hosting && (playersGiven || options.headless) && (!playersGiven || players < 2))
        return badOption("an online race starts once its players are in: --host needs --players N (2 to 4)");
    if (options.tickMs == 0 && online) return badOption("an online race needs a tick of at least 1 ms (--tick-ms)");
    if ((directPort != 0 || publicPort != 0) && joinAddress.empty())
        return badOption("--direct-port and --public-port go with --join: the host is dialled on its own port");
    OnlineOptions onlineOptions;
    if (online) {
        onlineOptions.host = hosting;
        onlineOptions.modeSwitch = toggleMode;
        onlineOptions.port = static_cast<uint16_t>(hostPort);
        if (!hosting) parseJoinAddress(joinAddress, onlineOptions.hostName, onlineOptions.port);
        onlineOptions.players = playersGiven ? static_cast<int>(players) : 0;
        onlineOptions.computerBikes = opponents < 0 ? 0 : static_cast<int>(opponents);
        onlineOptions.frames = bench.frames;
        onlineOptions.tickMs = options.tickMs > 0 ? static_cast<uint16_t>(std::min(options.tickMs, 1000L)) : 16;
        onlineOptions.inputDelay = static_cast<int>(inputDelay);
        onlineOptions.directPort = static_cast<uint16_t>(directPort);
        onlineOptions.publicPort = static_cast<uint16_t>(publicPort);
        onlineOptions.recordFile = replays.recordFile;
        onlineOptions.paced = overrides.frameCap.value_or(true);
        // The session decides when it ends, and records the race itself.
        bench.frames = -1;
        replays.recordFile.clear();
        players = 1;
        opponents = -1;
    }
    sharedState.players = static_cast<int32_t>(players);
    sharedState.versusOpponents = static_cast<int32_t>(opponents);
    if (verify && replayFile.empty()) return badOption("--verify needs --replay FILE");
    if (syncDistance > 0 && replayFile.empty()) return badOption("--sync-test needs --replay FILE");
    // The sync test is a verification with rollbacks.
    if (syncDistance > 0) verify = true;
    if (!replayFile.empty() && (aiLevel >= 0 || autopilotLevel >= 0))
        return badOption("a replay brings its own opponents and keys: --replay goes with neither --ai nor --autopilot");
    if (!replayFile.empty() && (!options.keysFile.empty() || !replays.recordFile.empty()))
        return badOption("a replay brings its own keys: --replay goes with neither --keys nor --record");
    // A replay runs on its own ticks; verifying it draws nothing and needs no window.
    if (!replayFile.empty()) options.tickMs = -1;
    if (verify) options.headless = true;
    // Headless runs are the tests' and benchmarks': the player's file must not change them.
    platform::Settings settings;
    if (!options.headless) {
        std::vector<std::string> messages;
        settings = platform::loadSettings(platform::settingsPath(), messages);
        for (const std::string& message : messages) std::fprintf(stderr, "palvex: %s\n", message.c_str());
    }
    platform::applySettings(settings, overrides, options);
    if (online) {
        // The settings' port stands where the command line named none.
        static_assert(platform::DEFAULT_NETWORK_PORT == net::kDefaultPort, "one default port");
        const bool joinPortGiven = joinAddress.find(':') != std::string::npos;
        if ((hosting && !hostPortGiven) || (!hosting && !joinPortGiven))
            onlineOptions.port = static_cast<uint16_t>(settings.networkPort);
        onlineOptions.playerName = settings.playerName;
        // So do the direct ports.
        if (directPort == 0) onlineOptions.directPort = static_cast<uint16_t>(settings.directPort);
        if (publicPort == 0) onlineOptions.publicPort = static_cast<uint16_t>(settings.publicPort);
    }
    if (aiLevel < 0 && !options.headless) {
        aiLevel = levelByName(settings.aiLevel);
        if (aiLevel < 0)
            std::fprintf(stderr, "palvex: the settings file names the opponents' level '%s'; there is no such level (%s), classic is used\n",
                         settings.aiLevel.c_str(), levelNames().c_str());
    }
    sharedState.aiLevel = aiLevel < 0 ? LevelClassic : aiLevel;
    replays.keep = settings.replaysKept;
    options.keepFrames = !bench.screenshotFile.empty();
    // The desktop game records every game; a headless run only when it is asked to. An
    // online race records its confirmed frames itself, into the same folder.
    replays.recordGames = !options.headless && replayFile.empty();
    configureReplays(replays);
    std::string error;
    switch (platform::create(options, error)) {
    case platform::CreateResult::Ok: break;
    case platform::CreateResult::BadUsage: return badOption(error);
    case platform::CreateResult::Failed:
        std::fprintf(stderr, "palvex: %s\n", error.c_str());
        return EXIT_INIT_FAILED;
    }
    if (autopilotLevel >= 0) startAutopilot(autopilotLevel);
    // An online race runs in the session: the window leaves it through the session.
    setRaceElsewhere(onlineRace, onlineLeave);
    TestBench testBench(bench);
    if (!testBench.start(error)) {
        platform::destroy();
        return badOption(error);
    }

    // Where the game lives decides where its log goes.
    locateAppDir();
    if (!replayFile.empty()) {
        int code = 0;
        if (!loadReplay(replayFile, error, code)) {
            std::fprintf(stderr, "palvex: %s\n", error.c_str());
            platform::destroy();
            return code;
        }
        if (verify) {
            gameLog.open();
            const int verified = verifyReplay(static_cast<int>(syncDistance));
            gameLog.close();
            platform::destroy();
            return verified;
        }
    }
    // What the device constructed before its entry point: the log, the timer, the sound.
    gameLog.open();
    frameTimerStart();
    soundStart();

    int exitCode = EXIT_INIT_FAILED;
    {
        Application application(!replayFile.empty());
        application.afterFrame = [&testBench](long frame) { testBench.afterFrame(frame); };
        application.everyFrameCounted = testBench.countsFrames();
        if (application.initialised()) {
            if (!replayFile.empty()) {
                platform::get().setPaceToRecording(!options.headless);
                startPlayback(toggleMode);
            }
            bool started = true;
            if (online) {
                onlineOptions.computerLevel = sharedState.aiLevel;
                if (onlineOptions.playerName.empty()) onlineOptions.playerName = loginName(hosting ? "host" : "guest");
                if (!onlineOpen(onlineOptions, error)) {
                    std::fprintf(stderr, "palvex: %s\n", error.c_str());
                    exitCode = EXIT_SESSION_FAILED;
                    started = false;
                }
            }
            if (started) exitCode = application.loop();
            onlineClose();
        }
    }
    if (!testBench.finish(error)) {
        std::fprintf(stderr, "palvex: %s\n", error.c_str());
        if (exitCode == 0) exitCode = EXIT_BAD_USAGE;
    }
    // A run asked to record to a file did not, or not in full (a message said why).
    if (exitCode == 0 && !replays.recordFile.empty() && recordingIncomplete()) exitCode = EXIT_BAD_USAGE;

    soundClose();
    gameLog.close();
    platform::destroy();
    return exitCode;
}
