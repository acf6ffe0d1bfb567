// palvex-ladder: seeded matches between two driving levels on the race logic alone (no
// window, no GL context), with the win rate's Wilson interval, the rating difference, the
// causes of the crashes and the time the bikes drove. --list prints the levels, weakest
// first.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver.h"
#include "ladder.h"
#include "log.h"
#include "platform/platform.h"

namespace {

const char* usage =
    "Usage: palvex-ladder --a LEVEL --b LEVEL --races N --seed S [--bikes 2|4] [--speed 0|1|2] [--json FILE]\n"
    "                     [--progress N]\n"
    "       palvex-ladder --list\n"
    "\n"
    "Plays N races of level A against level B (with four bikes: A against three of B); every\n"
    "seeded start is played twice, the seats swapped. A two-bike race is won by the bike still\n"
    "driving when the other crashes, a four-bike race by A when it is the last bike driving;\n"
    "a crash in the same frame or five minutes of game time is a draw.\n";

bool number(const char* text, long low, long high, long& out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno || *end || v < low || v > high) return false;
    out = v;
    return true;
}

int bad(const std::string& message) {
    std::fprintf(stderr, "palvex-ladder: %s\n%s", message.c_str(), usage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    MatchSettings settings;
    std::string jsonFile;
    bool haveA = false, haveB = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--list") {
            for (int level = 0; level < LevelCount; ++level) std::printf("%s\n", levelName(level));
            return 0;
        } else if (arg == "--help") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--a" || arg == "--b") {
            const int level = value ? levelByName(value) : -1;
            if (level < 0)
                return bad("option " + arg + " needs a level: " + levelNames() +
                           (value ? std::string(", not '") + value + "'" : std::string()));
            (arg == "--a" ? settings.a : settings.b) = level;
            (arg == "--a" ? haveA : haveB) = true;
            ++i;
        } else if (arg == "--progress") {
            if (!number(value, 1, 10000000, settings.progressEvery)) return bad("option --progress needs a number of races");
            ++i;
        } else if (arg == "--races" || arg == "--seed" || arg == "--bikes" || arg == "--speed") {
            long v = 0;
            const bool ok = arg == "--races"  ? number(value, 1, 10000000, v)
                            : arg == "--seed" ? number(value, 0, 4294967295L, v)
                            : arg == "--bikes" ? (number(value, 2, 4, v) && v != 3)
                                               : number(value, 0, 2, v);
            if (!ok) return bad("option " + arg + " has no usable value" + (value ? std::string(": '") + value + "'" : std::string()));
            if (arg == "--races") settings.races = v;
            else if (arg == "--seed") settings.seed = static_cast<uint32_t>(v);
            else if (arg == "--bikes") settings.bikes = static_cast<int>(v);
            else settings.speed = static_cast<int>(v);
            ++i;
        } else if (arg == "--json") {
            if (!value || !*value) return bad("option --json needs a file name");
            jsonFile = value;
            ++i;
        } else {
            return bad("unknown option '" + arg + "'");
        }
    }
    if (!haveA || !haveB) return bad("--a and --b name the two levels");

    // The models and the arena are read from beside the program, as the game reads them.
    locateAppDir();
    MatchResult r;
    std::string error;
    if (!runMatch(settings, r, error)) {
        std::fprintf(stderr, "palvex-ladder: %s\n", error.c_str());
        platform::destroy();
        return 1;
    }
    platform::destroy();

    double low = 0, high = 0;
    wilsonInterval(r.aWins, r.races, low, high);
    const double rate = r.races ? static_cast<double>(r.aWins) / static_cast<double>(r.races) : 0;
    const double elo = eloDifference(r);
    std::printf("%s against %s%s, %ld races from seed %u (speed %d)\n", levelName(settings.a), levelName(settings.b),
                settings.bikes == 4 ? " (three of them)" : "", r.races, settings.seed, settings.speed);
    std::printf("%-22s %10s %10s\n", "", levelName(settings.a), levelName(settings.b));
    std::printf("%-22s %10ld %10ld   draws %ld\n", "wins", r.aWins, r.bWins, r.draws);
    std::printf("%-22s %10ld %10ld\n", "crashes: own wall", r.aCauses[CauseOwnWall], r.bCauses[CauseOwnWall]);
    std::printf("%-22s %10ld %10ld\n", "crashes: other wall", r.aCauses[CauseOtherWall], r.bCauses[CauseOtherWall]);
    std::printf("%-22s %10ld %10ld\n", "crashes: edge", r.aCauses[CauseEdge], r.bCauses[CauseEdge]);
    std::printf("%-22s %10.1f %10.1f\n", "mean survival (s)", r.aSurvivalSeconds, r.bSurvivalSeconds);
    std::printf("win rate of %s: %.1f %% (Wilson 95 %%: %.1f to %.1f %%), Elo difference %+.0f\n", levelName(settings.a),
                100 * rate, 100 * low, 100 * high, elo);

    if (!jsonFile.empty()) {
        FILE* f = std::fopen(jsonFile.c_str(), "w");
        if (!f) {
            std::fprintf(stderr, "palvex-ladder: cannot write %s: %s\n", jsonFile.c_str(), std::strerror(errno));
            return 1;
        }
        std::fprintf(f,
                     "{\"a\": \"%s\", \"b\": \"%s\", \"bikes\": %d, \"speed\": %d, \"seed\": %u, \"races\": %ld, "
                     "\"a_wins\": %ld, \"b_wins\": %ld, \"draws\": %ld, \"win_rate\": %.6f, \"wilson_low\": %.6f, "
                     "\"wilson_high\": %.6f, \"elo\": %.1f, "
                     "\"a_crashes\": {\"own_wall\": %ld, \"other_wall\": %ld, \"edge\": %ld}, "
                     "\"b_crashes\": {\"own_wall\": %ld, \"other_wall\": %ld, \"edge\": %ld}, "
                     "\"a_survival_s\": %.3f, \"b_survival_s\": %.3f, \"frames\": %ld}\n",
                     levelName(settings.a), levelName(settings.b), settings.bikes, settings.speed, settings.seed, r.races,
                     r.aWins, r.bWins, r.draws, rate, low, high, elo, r.aCauses[0], r.aCauses[1], r.aCauses[2],
                     r.bCauses[0], r.bCauses[1], r.bCauses[2], r.aSurvivalSeconds, r.bSurvivalSeconds, r.frames);
        const bool ok = std::fclose(f) == 0;
        if (!ok) {
            std::fprintf(stderr, "palvex-ladder: cannot write %s\n", jsonFile.c_str());
            return 1;
        }
    }
    return 0;
}
