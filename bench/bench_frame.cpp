// The bare frame: per-frame GL state, clear, finish and swap on the headless pbuffer, with
// neither menu nor race drawing. Later frame benchmarks are compared with this one.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "application.h"
#include "headlessgame.h"
#include "menu/menu.h"
#include "platform/platform.h"
#include "sharedstate.h"

namespace {

void BM_BareFrame(benchmark::State& state) {
    Application* application = startHeadless(16);
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    Menu* menu = sharedState.menu;
    sharedState.menu = nullptr; // nothing drawn: clear and swap only
    for (auto _ : state) application->frame();
    sharedState.menu = menu;
    state.SetItemsProcessed(state.iterations());
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BareFrame)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();

// Start-up to the first presented frame: the whole program, as a player starts it, run
// headless for one frame (EGL, the menu's six pictures, the options file, then exit).
void BM_StartupToFirstFrame(benchmark::State& state) {
    const std::string binary = std::string(PALVEX_BINARY_DIR) + "/palvex";
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / ("palvex-startup-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    const std::string log = (scratch / "startup.log").string();
    for (auto _ : state) {
        pid_t pid = 0;
        const char* argv[] = {binary.c_str(), "--headless", "--frames", "1", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, scratch.c_str());
        const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (spawned != 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the game did not run");
            break;
        }
    }
    std::filesystem::remove_all(scratch);
}
BENCHMARK(BM_StartupToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
