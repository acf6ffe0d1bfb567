// Four players' views of one race at the window's scale 3 (720 x 882): the race's logic
// once, then its four quarter views as the race draws them, each from its player's camera,
// against player 1's view alone over the whole picture. Four bikes, walls of 8000 quads in
// all, walls culled to each view or drawn whole, side by side.
#include <benchmark/benchmark.h>

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchrace.h"
#include "arenatree.h"
#include "camera.h"
#include "renderingcontext.h"

namespace {

constexpr int WINDOW_WIDTH = 720;
constexpr int WINDOW_HEIGHT = 882;

// An off-screen surface of the window's size, current with the game's own context, so that
// the game's textures and state carry over. Null when EGL cannot make one.
EGLSurface windowSizedSurface() {
    static const EGLSurface surface = [] {
        const EGLDisplay display = sharedState.eglDisplay;
        EGLint id = 0;
        EGLint count = 0;
        EGLConfig config = nullptr;
        eglQueryContext(display, sharedState.eglContext, EGL_CONFIG_ID, &id);
        const EGLint byId[] = {EGL_CONFIG_ID, id, EGL_NONE};
        if (!eglChooseConfig(display, byId, &config, 1, &count) || count < 1) return EGL_NO_SURFACE;
        const EGLint size[] = {EGL_WIDTH, WINDOW_WIDTH, EGL_HEIGHT, WINDOW_HEIGHT, EGL_NONE};
        return eglCreatePbufferSurface(display, config, size);
    }();
    return surface;
}

// One window frame of a race of several players: the race's logic once, then its views as
// the race draws them (one: player 1's view over the whole picture).
void drawFrame(Race& race, const ViewRect& area) {
    glClearColorx(0x8000, 0x8000, 0x8000, 0);
    glDepthRangex(0, 0x10000);
    glClearDepthx(0x10000);
    glViewport(area.x, area.y, area.width, area.height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(GL_FLAT);
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    race.drawing = false;
    race.runFrame();
    race.drawing = true;
    race.drawViews(area);
    glFinish();
}

// PALVEX_BENCH_PICTURES=DIR keeps each case's last picture there (PPM), to look at.
void keepPicture(const benchmark::State& state) {
    const char* dir = std::getenv("PALVEX_BENCH_PICTURES");
    if (!dir) return;
    std::vector<unsigned char> rgba(static_cast<size_t>(WINDOW_WIDTH) * WINDOW_HEIGHT * 4);
    glReadPixels(0, 0, WINDOW_WIDTH, WINDOW_HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    const std::string path = std::string(dir) + "/views-" + std::to_string(state.range(0)) + "-" +
                             std::to_string(state.range(1)) + "-" + std::to_string(state.range(2)) + ".ppm";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::fprintf(out, "P6 %d %d 255\n", WINDOW_WIDTH, WINDOW_HEIGHT);
    for (int row = WINDOW_HEIGHT - 1; row >= 0; --row)
        for (int x = 0; x < WINDOW_WIDTH; ++x) std::fwrite(&rgba[(static_cast<size_t>(row) * WINDOW_WIDTH + x) * 4], 1, 3, out);
    std::fclose(out);
}

// Other load on the machine only ever adds time: of three runs the fastest counts.
double fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

// Arguments: the walls (1: zig-zags in the far part, 2: lanes across the arena), views (1 or 4), culled (1) or whole (0).
void BM_RaceViews(benchmark::State& state) {
    // Four players, each at their seat with a camera behind the bike, facing the centre.
    sharedState.players = 4;
    sharedState.versusOpponents = 0;
    if (!startRace(state, 2, static_cast<int>(state.range(0)))) return;
    const EGLSurface surface = windowSizedSurface();
    if (surface == EGL_NO_SURFACE ||
        !eglMakeCurrent(sharedState.eglDisplay, surface, surface, sharedState.eglContext)) {
        state.SkipWithError("no window-sized surface");
        leaveRace();
        return;
    }
    Race& race = *sharedState.race;
    const ViewRect whole = {0, 0, WINDOW_WIDTH, WINDOW_HEIGHT};
    const int views = static_cast<int>(state.range(1));
    race.viewSeat = views == 1 ? 0 : -1;
    LightWall::culling = state.range(2) != 0;

    for (int i = 0; i < 5; ++i) drawFrame(race, whole);
    for (auto _ : state) {
        drawFrame(race, whole);
        eglSwapBuffers(sharedState.eglDisplay, surface);
    }
    keepPicture(state);
    int quads = 0, inView = 0, seen = 0;
    for (int view = 0; view < views; ++view) {
        countQuads(race, race.seatCameras[view]->frustum, quads, inView);
        seen += inView;
    }
    state.counters["wall_quads"] = quads;
    state.counters["wall_quads_drawn"] = LightWall::culling ? seen : quads * views;
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    LightWall::culling = true;
    eglMakeCurrent(sharedState.eglDisplay, sharedState.eglSurface, sharedState.eglSurface, sharedState.eglContext);
    race.viewSeat = -1;
    leaveRace();
    sharedState.players = 1;
    sharedState.versusOpponents = -1;
}
BENCHMARK(BM_RaceViews)
    ->Args({2, 1, 1})->Args({2, 4, 1})->Args({2, 4, 0})
    ->Args({1, 1, 1})->Args({1, 4, 1})->Args({1, 4, 0})
    ->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(3)->ComputeStatistics("min", fastest)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

BENCHMARK_MAIN();
