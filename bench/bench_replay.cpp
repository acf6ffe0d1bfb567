// Replays: verifying a three-opponent replay of 36 000 frames (the race logic alone, no
// drawing) against playing the same file back rendered headless; a headless race of 3000
// frames with and without recording, side by side, and the recorder's own cost per frame.
//
// The replay is made once per build directory by the game itself: a headless race on a
// 20 ms clock, three opponents at medium speed, the player turning every 37 frames.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "platform/replayfile.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// A private copy of the game: its options.bin chooses three opponents.
const std::string& gameDir() {
    static const std::string dir = [] {
        const std::string d = PALVEX_BINARY_DIR "/bench-replay/";
        fs::create_directories(d);
        fs::copy_file(PALVEX_BINARY_DIR "/palvex", d + "palvex", fs::copy_options::overwrite_existing);
        for (const auto& entry : fs::directory_iterator(PALVEX_SOURCE_DIR "/data"))
            fs::copy_file(entry.path(), d + entry.path().filename().string(), fs::copy_options::overwrite_existing);
        const char options[13] = {0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0};
        std::ofstream(d + "options.bin", std::ios::binary).write(options, sizeof options);
        return d;
    }();
    return dir;
}

std::string keyScript(int frames) {
    const std::string path = gameDir() + "keys-" + std::to_string(frames) + ".txt";
    std::ofstream keys(path);
    keys << "1 down enter\n1 up enter\n2 down enter\n2 up enter\n";
    for (int f = 5; f < frames - 10; f += 37) {
        const char* key = (f / 37) % 2 ? "a" : "d";
        keys << f << " down " << key << "\n" << f + 2 << " up " << key << "\n";
    }
    return path;
}

// Runs the game with these arguments; the seconds it took, or -1 when it failed.
double run(std::vector<std::string> args) {
    const std::string binary = gameDir() + "palvex";
    std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, (gameDir() + "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, gameDir().c_str());
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

constexpr int LONG_FRAMES = 36000;

const std::string& longReplay() {
    static const std::string path = [] {
        const std::string p = gameDir() + "three-opponents-36000.pvxr";
        if (!fs::exists(p) &&
            run({"--headless", "--tick-ms", "20", "--frames", std::to_string(LONG_FRAMES + 3), "--keys",
                 keyScript(LONG_FRAMES + 3), "--record", p}) < 0)
            fs::remove(p);
        return p;
    }();
    return path;
}

void timed(benchmark::State& state, const std::vector<std::string>& args, double frames) {
    for (auto _ : state) {
        const double seconds = run(args);
        if (seconds < 0) {
            state.SkipWithError("the game failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["frames_per_second"] = benchmark::Counter(frames * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_VerifyReplay36k(benchmark::State& state) {
    if (!fs::exists(longReplay())) return state.SkipWithError("no replay");
    timed(state, {"--replay", longReplay(), "--verify"}, LONG_FRAMES);
}
BENCHMARK(BM_VerifyReplay36k)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RenderedPlayback36k(benchmark::State& state) {
    if (!fs::exists(longReplay())) return state.SkipWithError("no replay");
    timed(state, {"--headless", "--replay", longReplay()}, LONG_FRAMES);
}
BENCHMARK(BM_RenderedPlayback36k)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The same 3000-frame race, rendered, without and with its recording. The two runs take
// turns (which goes first alternates), so that a machine getting busier or quieter during
// the benchmark weighs on both alike. The iteration time is the recorded run's.
void BM_Race3000RecordedAndNot(benchmark::State& state) {
    const std::vector<std::string> args = {"--headless", "--tick-ms", "20", "--frames", "3000", "--keys", keyScript(3000)};
    const std::string file = gameDir() + "recorded.pvxr";
    std::vector<double> plain, recorded;
    double fileBytes = 0;
    for (auto _ : state) {
        const bool recordFirst = recorded.size() % 2 == 1;
        for (int turn = 0; turn < 2; ++turn) {
            const bool record = (turn == 0) == recordFirst;
            fs::remove(file);
            std::vector<std::string> a = args;
            if (record) a.insert(a.end(), {"--record", file});
            const double seconds = run(a);
            if (seconds < 0) return state.SkipWithError("the game failed");
            (record ? recorded : plain).push_back(seconds);
            if (record) fileBytes = double(fs::file_size(file));
        }
        state.SetIterationTime(recorded.back());
    }
    auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v) sum += x;
        return sum / double(v.size());
    };
    // The coefficient of variation: how far the runs of one kind spread, as a share of their mean.
    auto spread = [&mean](const std::vector<double>& v) {
        const double m = mean(v);
        double sum = 0;
        for (double x : v) sum += (x - m) * (x - m);
        return v.size() > 1 ? std::sqrt(sum / double(v.size() - 1)) / m : 0.0;
    };
    state.counters["recorded_ms"] = mean(recorded) * 1000.0;
    state.counters["not_recorded_ms"] = mean(plain) * 1000.0;
    state.counters["recorded_cv"] = spread(recorded);
    state.counters["not_recorded_cv"] = spread(plain);
    state.counters["file_bytes"] = fileBytes;
}
BENCHMARK(BM_Race3000RecordedAndNot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

// The recorder's own work for one frame, in the process: a tick read, the frame's end, a
// key event every 37 frames, a check every 60 (as the game writes them), into a real file.
void BM_RecorderPerFrame(benchmark::State& state) {
    const std::string path = gameDir() + "recorder-bench.pvxr";
    fs::remove(path);
    platform::ReplayWriter writer;
    platform::ReplayRecorder recorder(writer);
    std::string error;
    if (!writer.open(path, platform::ReplayHeader(), error)) return state.SkipWithError(error.c_str());
    recorder.begin();
    recorder.presented(0);
    platform::Message key;
    key.message = platform::MsgKeyDown;
    key.wParam = platform::VK_D;
    uint32_t tick = 0;
    long frame = 1;
    for (auto _ : state) {
        if (frame % 37 == 0) recorder.delivered(frame, key);
        tick += 20;
        recorder.tickRead(frame, tick);
        recorder.presented(frame);
        if (frame % 60 == 0) writer.check(platform::ReplayCheck{static_cast<uint32_t>(frame), {}});
        ++frame;
    }
    writer.finish();
    fs::remove(path);
}
BENCHMARK(BM_RecorderPerFrame);

} // namespace

BENCHMARK_MAIN();
