// A long headless game with three opponents: the key script keeps steering at uneven
// intervals, so the player crashes now and then and the race restarts many times.
#include <random>

#include "integration/gamedir.h"

using namespace gamedir;

namespace {

constexpr long FRAMES = 100000;

// A one-digit field read from the raw trace line, so that a long trace need not be parsed
// whole; -1 where it is missing. The first "started" is opponent 1's: 1 while it drives,
// 0 after setup and after every restart.
int digitAfter(const std::string& line, const std::string& field) {
    const size_t at = line.find("\"" + field + "\":");
    return at == std::string::npos ? -1 : line[at + field.size() + 3] - '0';
}

} // namespace

TEST(RaceSoak, ThreeOpponentsRestartManyTimesAndNothingBreaks) {
    GameDir dir;
    // Sound off, low detail, three opponents, slow.
    writeBytes(dir.game + "options.bin", {0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0});
    std::string keys = tap(1, "enter") + tap(2, "enter");
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> gap(15, 40);
    std::bernoulli_distribution right(0.5);
    for (long frame = 5; frame < FRAMES; frame += gap(random)) keys += hold(frame, right(random) ? "right" : "left");

    // Its own trace name: the runner would parse trace.jsonl whole.
    const RunResult result = dir.runArgs({"--headless", "--frames", std::to_string(FRAMES), "--tick-ms", "20",
                                          "--keys", "keys.txt", "--trace", "soak.jsonl"},
                                         {.keys = keys});
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    std::ifstream trace(dir.out + "soak.jsonl");
    long lines = 0, playing = 0, restarts = 0, lastStarted = -1, negativeFrames = 0;
    for (std::string line; std::getline(trace, line);) {
        ++lines;
        if (digitAfter(line, "inGame") != 1) continue;
        ++playing;
        const int started = digitAfter(line, "started");
        restarts += lastStarted == 1 && started == 0;
        lastStarted = started;
        const size_t scores = line.find("\"scores\":[");
        negativeFrames += scores != std::string::npos &&
                          line.substr(scores, line.find(']', scores) - scores).find('-') != std::string::npos;
        if (lines % 20000 == 0) {
            EXPECT_EQ(nlohmann::json::parse(line)["opponentCount"], 3);
        }
    }
    EXPECT_EQ(lines, FRAMES);
    EXPECT_GT(playing, FRAMES - 10);
    EXPECT_GE(restarts, 20) << "the race ends and begins again over and over";
    RecordProperty("restarts", static_cast<int>(restarts));
    std::printf("frames %ld, in game %ld, restarts %ld, frames with a negative score %ld\n", lines, playing, restarts,
                negativeFrames);
}
