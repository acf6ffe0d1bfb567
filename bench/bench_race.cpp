// A race frame with three opponents and long walls against the bare frame, with the walls
// culled to the view and drawn whole side by side, the heap allocations of a steady race
// frame, and the resident memory after many games.
//
// The walls: after setup every bike's wall gets 2000 quads, either a zig-zag of short
// quads in a band of its own across the far part of the arena, all of them in view, or
// lanes of such zig-zags across the whole arena, partly behind the camera. The bikes stay
// at the start (no key pressed): a stopped bike collides with nothing, so the walls stay
// whole, and every frame still runs the whole race frame (timer, camera, player update and
// collision call, every opponent's update, scoring, arena) and draws all four walls.
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <malloc.h>
#include <execinfo.h>

#include <GLES/gl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "aibike.h"
#include "application.h"
#include "headlessgame.h"
#include "benchrace.h"
#include "bike.h"
#include "camera.h"
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
extern "C" void* __libc_memalign(size_t, size_t);

namespace {
std::atomic<long> allocations{0};
// Bytes held on the heap, as the allocator counts them (usable sizes).
std::atomic<long> liveBytes{0};
// While set, every allocation's call stack is looked at to tell the GL driver's from the game's.
thread_local bool attribute = false;
thread_local bool inHook = false;
long driverAllocations = 0;
long textAllocations = 0;

enum Source { Game, Driver, Text };

Source sourceOf() {
    void* frames[48];
    const int n = backtrace(frames, 48);
    for (int i = 2; i < n; ++i) {
        Dl_info info;
        if (!dladdr(frames[i], &info) || !info.dli_fname) continue;
        const char* name = info.dli_fname;
        if (std::strstr(name, "libGL") || std::strstr(name, "libEGL") || std::strstr(name, "glapi") ||
            std::strstr(name, "dri") || std::strstr(name, "gallium") || std::strstr(name, "LLVM") ||
            std::strstr(name, "mesa"))
            return Driver;
        if (std::strstr(name, "SDL2_ttf") || std::strstr(name, "harfbuzz") || std::strstr(name, "freetype"))
            return Text;
    }
    return Game;
}

void counted() {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (attribute && !inHook) {
        inHook = true;
        const Source source = sourceOf();
        if (source == Driver) {
            ++driverAllocations;
        } else if (source == Text) {
            ++textAllocations;
        } else if (std::getenv("PALVEX_BENCH_CALLERS")) {
            void* frames[12];
            backtrace_symbols_fd(frames, backtrace(frames, 12), 2);
            std::fputs("--\n", stderr);
        }
        inHook = false;
    }
}
} // namespace

namespace {
void* held(void* p) {
    if (p) liveBytes.fetch_add(static_cast<long>(malloc_usable_size(p)), std::memory_order_relaxed);
    return p;
}
void released(void* p) {
    if (p) liveBytes.fetch_sub(static_cast<long>(malloc_usable_size(p)), std::memory_order_relaxed);
}
} // namespace

extern "C" void* malloc(size_t size) {
    counted();
    return held(__libc_malloc(size));
}
extern "C" void* calloc(size_t n, size_t size) {
    counted();
    return held(__libc_calloc(n, size));
}
extern "C" void* realloc(void* p, size_t size) {
    counted();
    released(p);
    return held(__libc_realloc(p, size));
}
extern "C" void* memalign(size_t alignment, size_t size) {
    counted();
    return held(__libc_memalign(alignment, size));
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
extern "C" int posix_memalign(void** out, size_t alignment, size_t size) {
    void* p = memalign(alignment, size);
    if (!p) return 12; // ENOMEM
    *out = p;
    return 0;
}
extern "C" void free(void* p) {
    released(p);
    __libc_free(p);
}

namespace {

void BM_BareFrame(benchmark::State& state) {
    Application* application = startHeadless(20);
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    leaveRace();
    Menu* menu = sharedState.menu;
    sharedState.menu = nullptr;
    const long countStart = allocations.load();
    for (auto _ : state) application->frame();
    state.counters["allocs_per_frame"] =
        static_cast<double>(allocations.load() - countStart) / static_cast<double>(state.iterations());
    sharedState.menu = menu;
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
// Other load on the machine only ever adds time: of three runs the fastest counts.
double fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

BENCHMARK(BM_BareFrame)->Unit(benchmark::kMicrosecond)->MinTime(0.5)->Repetitions(3)->ComputeStatistics("min", fastest)->MeasureProcessCPUTime()->UseRealTime();

void BM_RaceFrame(benchmark::State& state) {
    Application* application = startRace(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!application) return;
    LightWall::culling = state.range(2) != 0;
    Race* race = sharedState.race;
    for (int i = 0; i < 10; ++i) application->frame(); // first uses of textures and arrays

    // One steady frame with every allocation's caller looked at.
    const long before = allocations.load();
    driverAllocations = 0;
    textAllocations = 0;
    attribute = true;
    application->frame();
    attribute = false;
    const long perFrame = allocations.load() - before;
    const long driver = driverAllocations;
    const long text = textAllocations;

    const long countStart = allocations.load();
    for (auto _ : state) application->frame();
    const double steady = static_cast<double>(allocations.load() - countStart) / static_cast<double>(state.iterations());

    int quads = 0, inView = 0;
    countQuads(*race, race->camera->frustum, quads, inView);
    state.counters["wall_quads_in_view"] = inView;
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["wall_quads"] = quads;
    state.counters["allocs_per_frame"] = steady;
    state.counters["allocs_game"] = static_cast<double>(perFrame - driver - text);
    state.counters["allocs_score_text"] = static_cast<double>(text);
    state.counters["allocs_driver"] = static_cast<double>(driver);
    state.counters["player_alive"] = sharedState.playerAlive;
    state.counters["culled"] = LightWall::culling ? 1 : 0;
    LightWall::culling = true;
    leaveRace();
}
// Arguments: detail; the walls (0: a fresh race's, 1: zig-zags in view, 2: lanes across the
// whole arena); walls culled to the view (1) or drawn whole (0), as before culling.
BENCHMARK(BM_RaceFrame)
    ->Args({0, 0, 1})->Args({0, 1, 1})->Args({0, 1, 0})->Args({0, 2, 1})->Args({0, 2, 0})
    ->Args({2, 1, 1})->Args({2, 1, 0})->Args({2, 2, 1})->Args({2, 2, 0})->Args({2, 0, 1})
    ->Unit(benchmark::kMicrosecond)->MinTime(0.5)->Repetitions(3)->ComputeStatistics("min", fastest)->MeasureProcessCPUTime()->UseRealTime();

// Where a long-walled frame's wall drawing goes: the game's own culling (boxes and plane
// tests, no GL), the glDrawArrays calls (the GL driver's vertex work on this thread), and
// the wait in glFinish for the rasterizer threads. Each wall drawn as the race draws it,
// onto a cleared picture from the race's camera.
void BM_WallDrawing(benchmark::State& state) {
    Application* application = startRace(state, 0, static_cast<int>(state.range(0)));
    if (!application) return;
    LightWall::culling = state.range(1) != 0;
    Race* race = sharedState.race;
    for (int i = 0; i < 5; ++i) application->frame(); // leaves the race camera's matrices in place
    Bike* bikes[4];
    raceBikes(*race, bikes);
    const Frustum& view = race->camera->frustum;
    double cullingUs = 0, drawUs = 0, finishUs = 0;
    int kept = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
        const auto start = Clock::now();
        kept = 0;
        for (Bike* bike : bikes)
            if (bike && bike->wall()) kept += quadsInView(*bike->wall(), view);
        benchmark::DoNotOptimize(kept);
        const auto culled = Clock::now();
        for (Bike* bike : bikes)
            if (bike && bike->wall()) bike->wall()->draw(view);
        const auto drawn = Clock::now();
        glFinish();
        const auto finished = Clock::now();
        cullingUs += std::chrono::duration<double, std::micro>(culled - start).count();
        drawUs += std::chrono::duration<double, std::micro>(drawn - culled).count();
        finishUs += std::chrono::duration<double, std::micro>(finished - drawn).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["culling_us"] = cullingUs / n;
    state.counters["draw_calls_us"] = drawUs / n;
    state.counters["finish_wait_us"] = finishUs / n;
    state.counters["wall_quads_in_view"] = kept;
    LightWall::culling = true;
    leaveRace();
}
// Arguments: the walls (1: zig-zags in view, 2: lanes across the arena), culled (1) or whole (0).
BENCHMARK(BM_WallDrawing)->Args({1, 1})->Args({1, 0})->Args({2, 1})->Args({2, 0})
    ->Unit(benchmark::kMicrosecond)->MinTime(0.5)->Repetitions(3)->ComputeStatistics("min", fastest)->MeasureProcessCPUTime()->UseRealTime();

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Entering and leaving a game many times must not pile up memory.
void BM_GameEntries(benchmark::State& state) {
    Application* application = startHeadless(20);
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    leaveRace();
    sharedState.options.opponentChoice = 2;
    sharedState.options.detail = 2;
    long afterOne = 0, afterHundred = 0, afterAll = 0, heapAfterOne = 0, heapAtEnd = 0;
    for (auto _ : state) {
        for (int entry = 1; entry <= state.range(0); ++entry) {
            toggleMode();
            application->frame();
            toggleMode();
            application->frame();
            if (entry == 1) {
                afterOne = residentKb();
                heapAfterOne = liveBytes.load();
            }
            if (entry == 100) afterHundred = residentKb();
        }
        afterAll = residentKb();
        heapAtEnd = liveBytes.load();
    }
    state.counters["rss_after_1_kB"] = static_cast<double>(afterOne);
    state.counters["rss_after_100_kB"] = static_cast<double>(afterHundred);
    state.counters["rss_at_end_kB"] = static_cast<double>(afterAll);
    state.counters["rss_growth_kB"] = static_cast<double>(afterAll - afterOne);
    state.counters["heap_growth_B"] = static_cast<double>(heapAtEnd - heapAfterOne);
}
// 200 entries is the measure; 600 tells growth that levels off from growth that goes on.
BENCHMARK(BM_GameEntries)->Arg(200)->Arg(600)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
