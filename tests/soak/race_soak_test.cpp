// A long headless game with three opponents, steering at uneven intervals: the player
// crashes now and then and the race restarts many times.
#include <random>

#include "integration/gamedir.h"

using namespace gamedir;

TEST(RaceSoak, ThreeOpponentsRestartManyTimesAndNothingBreaks) {
    constexpr long FRAMES = 100000;
    GameDir dir;
    writeBytes(dir.game + "options.bin", {0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}); // sound off, three opponents
    std::string keys = tap(1, "enter") + tap(2, "enter");
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> gap(15, 40);
    for (long frame = 5; frame < FRAMES; frame += gap(random)) keys += hold(frame, random() % 2 ? "right" : "left");

    // Its own trace name, read line by line: the runner would parse trace.jsonl whole.
    const RunResult result = dir.runArgs({"--headless", "--frames", std::to_string(FRAMES), "--tick-ms", "20",
                                          "--keys", "keys.txt", "--trace", "soak.jsonl"},
                                         {.keys = keys});
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    // A one-digit field from the raw line; -1 where missing. The first "started" is opponent
    // 1's: 1 while it drives, 0 after setup and after every restart.
    auto digitAfter = [](const std::string& line, const std::string& field) {
        const size_t at = line.find("\"" + field + "\":");
        return at == std::string::npos ? -1 : line[at + field.size() + 3] - '0';
    };
    std::ifstream trace(dir.out + "soak.jsonl");
    long lines = 0, playing = 0, restarts = 0, lastStarted = -1;
    for (std::string line; std::getline(trace, line);) {
        ++lines;
        if (digitAfter(line, "inGame") != 1) continue;
        ++playing;
        const int started = digitAfter(line, "started");
        restarts += lastStarted == 1 && started == 0;
        lastStarted = started;
    }
    EXPECT_EQ(lines, FRAMES);
    EXPECT_GT(playing, FRAMES - 10);
    EXPECT_GE(restarts, 20) << "the race ends and begins again over and over";
    RecordProperty("restarts", int(restarts));
}
