// A long headless game with three opponents: the key script keeps steering at uneven
// intervals, so the player crashes now and then and the race restarts many times.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "integration/runner.h"

namespace {

constexpr long FRAMES = 100000;

// Opponent 1's "started": 1 while it drives, 0 after setup and after every restart.
// Read from the raw line, so that a long trace need not be parsed whole.
int firstStarted(const std::string& line) {
    const size_t at = line.find("\"started\":");
    if (at == std::string::npos) return -1;
    return line[at + 10] - '0';
}

int inGame(const std::string& line) {
    const size_t at = line.find("\"inGame\":");
    return at == std::string::npos ? -1 : line[at + 9] - '0';
}

} // namespace

TEST(RaceSoak, ThreeOpponentsRestartManyTimesAndNothingBreaks) {
    run::Scratch scratch("soak");
    const std::filesystem::path binary = run::installCopy(scratch);
    // Sound off, low detail, three opponents, slow.
    const std::string options = {0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    std::ofstream(binary.parent_path() / "options.bin", std::ios::binary) << options;

    std::string keys = "1 down enter\n1 up enter\n2 down enter\n2 up enter\n";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> gap(15, 40);
    std::bernoulli_distribution right(0.5);
    for (long frame = 5; frame < FRAMES; frame += gap(random)) {
        const char* key = right(random) ? "right" : "left";
        // Held over two frames: steering reads the held state.
        keys += std::to_string(frame) + " down " + key + "\n" + std::to_string(frame + 2) + " up " + key + "\n";
    }
    scratch.write("keys.txt", keys);

    const run::Result result = run::game(
        scratch, "--headless --frames " + std::to_string(FRAMES) + " --tick-ms 20 --keys keys.txt --trace soak.jsonl",
        binary.string());
    ASSERT_EQ(result.exitCode, 0) << result.err;

    std::ifstream trace(scratch.path("soak.jsonl"));
    std::string line;
    long lines = 0, playing = 0, restarts = 0, lastStarted = -1;
    long negativeFrames = 0;
    while (std::getline(trace, line)) {
        ++lines;
        if (inGame(line) != 1) continue;
        ++playing;
        const int started = firstStarted(line);
        if (lastStarted == 1 && started == 0) ++restarts;
        lastStarted = started;
        const size_t scores = line.find("\"scores\":[");
        if (scores != std::string::npos && line.substr(scores, line.find(']', scores) - scores).find('-') != std::string::npos)
            ++negativeFrames;
        if (lines % 20000 == 0) {
            const nlohmann::json frame = nlohmann::json::parse(line);
            EXPECT_EQ(frame["opponentCount"], 3);
        }
    }
    EXPECT_EQ(lines, FRAMES);
    EXPECT_GT(playing, FRAMES - 10);
    EXPECT_GE(restarts, 20) << "the race ends and begins again over and over";
    RecordProperty("restarts", static_cast<int>(restarts));
    std::printf("frames %ld, in game %ld, restarts %ld, frames with a negative score %ld\n", lines, playing, restarts,
                negativeFrames);
}
