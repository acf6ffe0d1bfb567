// The computer drivers' cost: the race logic of whole seeded races with three opponents of
// one level, the player's seat driven by the cautious autopilot, timed frame by frame.
// The levels side by side, each with the median, 99th percentile and slowest frame of the
// race logic in processor time (all of it decision time beyond classic's few collision
// tests), and the
// heap allocations made in race frames once the race is set up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <cstdlib>
#include <new>
#include <vector>

#include "aibike.h"
#include "autopilot.h"
#include "buttons.h"
#include "crtrand.h"
#include "driver.h"
#include "frametimer.h"
#include "log.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"

// Counted, then handed to malloc; freed by free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<long> allocations{0};
bool counting = false;
} // namespace

void* operator new(size_t size) {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

constexpr int RACES = 4;

// The machine is shared: the thread's own processor time, not the wall clock's, is what
// the frame cost.
double threadMicros() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}
constexpr long MAX_FRAMES = 6000;

bool ready() {
    static const bool ok = [] {
        setAppDirFrom(PALVEX_BINARY_DIR "/palvex");
        platform::Options options;
        options.headless = true;
        options.tickMs = 0;
        std::string error;
        return platform::create(options, error) == platform::CreateResult::Ok;
    }();
    return ok;
}

void RaceFrames(benchmark::State& state) {
    if (!ready()) {
        state.SkipWithError("no headless platform");
        return;
    }
    const int level = static_cast<int>(state.range(0));
    sharedState.options.opponentChoice = 2;
    sharedState.options.speed = 0;
    uint32_t ticks = 1000;
    platform::get().journal().setVirtualTicks(ticks);
    Race race;
    race.drawing = false;
    sharedState.race = &race;
    race.setup();
    frameTimerKeepPace(true);
    Autopilot pilot(LevelCautious);
    std::vector<double> micros;
    micros.reserve(RACES * MAX_FRAMES);
    long frames = 0, allocated = 0;
    for (auto _ : state) {
        micros.clear();
        frames = allocated = 0;
        for (int r = 0; r < RACES; ++r) {
            for (AiBike* bike : race.aiBikes) bike->setLevel(level);
            race.restartRace();
            pilot.heldLeft = pilot.heldRight = false;
            crt::srand(static_cast<uint32_t>(r) * 7919u + 1);
            frameTimerStart();
            for (long f = 0; f < MAX_FRAMES; ++f) {
                bool left = false, right = false;
                pilot.plan(race, left, right);
                setButton(ButtonLeft, left);
                setButton(ButtonRight, right);
                ticks += 20;
                platform::get().journal().setVirtualTicks(ticks);
                counting = true;
                const double start = threadMicros();
                race.runFrame();
                const double end = threadMicros();
                counting = false;
                micros.push_back(end - start);
                ++frames;
                bool anyDriving = false;
                for (AiBike* bike : race.aiBikes) anyDriving = anyDriving || bike->state == AiDriving;
                if (!anyDriving) break;
            }
        }
        allocated = allocations.exchange(0);
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros.empty() ? 0.0 : micros[std::min(micros.size() - 1, size_t(q * double(micros.size())))]; };
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = micros.empty() ? 0 : micros.back();
    state.counters["allocs_per_frame"] = frames ? static_cast<double>(allocated) / static_cast<double>(frames) : 0;
    state.SetLabel(levelName(level));
    setButton(ButtonLeft, 0);
    setButton(ButtonRight, 0);
    frameTimerKeepPace(false);
    race.teardown();
    sharedState.race = nullptr;
}

} // namespace

// One iteration is four whole races (of at most two minutes each); the counters are per race frame.
BENCHMARK(RaceFrames)->DenseRange(0, LevelCount - 1)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
