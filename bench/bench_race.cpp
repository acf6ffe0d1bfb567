// A race frame with three opponents and long walls against the bare frame, the heap
// allocations of a steady race frame, and the resident memory after many games.
//
// The walls: after setup every bike's wall is laid out with 2000 turns along a square
// spiral of 2-unit steps around the bike's start, so that each wall has about 2000 quads,
// the nearest of them in view and the rest stretching past the far plane. The bikes stay
// at the start (no key pressed): a stopped bike collides with nothing, so the walls stay
// whole, and every frame still runs the whole race frame (timer, camera, player update and
// collision call, every opponent's update, scoring, arena) and draws all four walls.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "aibike.h"
#include "application.h"
#include "bike.h"
#include "lightwall.h"
#include "menu/menu.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"
#include "window.h"

// Every heap allocation of the process goes through these, game and GL driver alike;
// operator new of libstdc++ ends in malloc too.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {
std::atomic<long> allocations{0};
// While set, every allocation's call stack is looked at to tell the GL driver's from the game's.
thread_local bool attribute = false;
thread_local bool inHook = false;
long driverAllocations = 0;

bool fromDriver() {
    void* frames[48];
    const int n = backtrace(frames, 48);
    for (int i = 2; i < n; ++i) {
        Dl_info info;
        if (!dladdr(frames[i], &info) || !info.dli_fname) continue;
        const char* name = info.dli_fname;
        if (std::strstr(name, "libGL") || std::strstr(name, "libEGL") || std::strstr(name, "glapi") ||
            std::strstr(name, "dri") || std::strstr(name, "gallium") || std::strstr(name, "LLVM") ||
            std::strstr(name, "mesa"))
            return true;
    }
    return false;
}

void counted() {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (attribute && !inHook) {
        inHook = true;
        if (fromDriver()) ++driverAllocations;
        inHook = false;
    }
}
} // namespace

extern "C" void* malloc(size_t size) {
    counted();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size) {
    counted();
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t size) {
    counted();
    return __libc_realloc(p, size);
}
extern "C" void free(void* p) { __libc_free(p); }

namespace {

Application* startHeadless() {
    static Application* application = [] {
        platform::Options options;
        options.headless = true;
        options.tickMs = 20;
        std::string error;
        if (!platform::create(options, error)) return static_cast<Application*>(nullptr);
        return new Application(nullptr);
    }();
    return application;
}

void spiral(LightWall* wall, Vec3 p) {
    if (!wall) return;
    const Fixed step = 2 * FIXED_ONE;
    int dx[4] = {1, 0, -1, 0}, dz[4] = {0, -1, 0, 1};
    for (int i = 0; i < 2000; ++i) {
        const int side = i % 4;
        const Fixed length = step * (i / 2 + 1);
        p.x += dx[side] * length;
        p.z += dz[side] * length;
        wall->turn(p, static_cast<Direction>(side));
    }
}

// Into a race with three opponents and long walls.
bool enterLongRace() {
    sharedState.opponentChoice = 2;
    if (!sharedState.inGame) toggleMode();
    Race* race = sharedState.race;
    if (!race || !race->player) return false;
    spiral(race->player->wall(), race->player->position);
    for (AiBike* bike : race->aiBikes)
        if (bike) spiral(bike->wall(), bike->position);
    return true;
}

void leaveRace() {
    if (sharedState.inGame) toggleMode();
}

void BM_BareFrame(benchmark::State& state) {
    Application* application = startHeadless();
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    leaveRace();
    Menu* menu = sharedState.menu;
    sharedState.menu = nullptr;
    for (auto _ : state) application->frame();
    sharedState.menu = menu;
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BareFrame)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();

void BM_RaceFrame(benchmark::State& state) {
    Application* application = startHeadless();
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    sharedState.detail = static_cast<int32_t>(state.range(0));
    if (!enterLongRace()) {
        state.SkipWithError("no race");
        return;
    }
    Race* race = sharedState.race;
    for (int i = 0; i < 10; ++i) application->frame(); // first uses of textures and arrays

    // One steady frame with every allocation's caller looked at.
    const long before = allocations.load();
    driverAllocations = 0;
    attribute = true;
    application->frame();
    attribute = false;
    const long perFrame = allocations.load() - before;
    const long driver = driverAllocations;

    const long countStart = allocations.load();
    for (auto _ : state) application->frame();
    const double steady = static_cast<double>(allocations.load() - countStart) / static_cast<double>(state.iterations());

    int quads = 0;
    for (AiBike* bike : race->aiBikes)
        if (bike && bike->wall()) quads += bike->wall()->quadCount();
    if (race->player->wall()) quads += race->player->wall()->quadCount();
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["wall_quads"] = quads;
    state.counters["allocs_per_frame"] = steady;
    state.counters["allocs_game"] = static_cast<double>(perFrame - driver);
    state.counters["allocs_driver"] = static_cast<double>(driver);
    state.counters["player_alive"] = sharedState.playerAlive;
    leaveRace();
}
BENCHMARK(BM_RaceFrame)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Entering and leaving a game many times must not pile up memory.
void BM_GameEntries(benchmark::State& state) {
    Application* application = startHeadless();
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    leaveRace();
    sharedState.opponentChoice = 2;
    sharedState.detail = 2;
    long afterOne = 0, afterAll = 0;
    for (auto _ : state) {
        for (int entry = 1; entry <= 200; ++entry) {
            toggleMode();
            application->frame();
            toggleMode();
            application->frame();
            if (entry == 1) afterOne = residentKb();
        }
        afterAll = residentKb();
    }
    state.counters["rss_after_1_kB"] = static_cast<double>(afterOne);
    state.counters["rss_after_200_kB"] = static_cast<double>(afterAll);
    state.counters["rss_growth_kB"] = static_cast<double>(afterAll - afterOne);
}
BENCHMARK(BM_GameEntries)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
