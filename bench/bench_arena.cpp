// The arena tree: building it from a file (the game's 512-triangle arena and a generated
// 100,000-triangle floor), and the cost of a frame's floor drawing with culling against
// the view and with every leaf drawn, from the race's start camera on the headless GL.
#include <benchmark/benchmark.h>

#include <GLES/gl.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../bench/arenagen.h"
#include "arenatree.h"
#include "camera.h"
#include "materialmanager/materialmanager.h"
#include "platform/platform.h"
#include "renderingcontext.h"
#include "sharedstate.h"

namespace {

// The two arenas as "arena.ase" in directories of their own under the build directory.
std::string arenaDir(bool large) {
    const std::string dir = std::string(PALVEX_BINARY_DIR) + (large ? "/bench-arena-100k/" : "/bench-arena-512/");
    static bool written[2] = {false, false};
    if (!written[large]) {
        std::string text;
        if (large) {
            text = arenagen::floorAse(250, 200, -100.0f, -100.0f, 200.0f, 200.0f);
        } else if (FILE* in = std::fopen(PALVEX_SOURCE_DIR "/data/arena.ase", "rb")) {
            char chunk[65536];
            size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, n);
            std::fclose(in);
        }
        std::string command = "mkdir -p " + dir;
        if (std::system(command.c_str()) != 0) return dir;
        if (FILE* out = std::fopen((dir + "arena.ase").c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
        written[large] = true;
    }
    return dir;
}

bool startGl() {
    static bool ready = [] {
        platform::Options options;
        options.headless = true;
        std::string error;
        if (!platform::exists() && platform::create(options, error) != platform::CreateResult::Ok) return false;
        return initRenderingContext(nullptr);
    }();
    return ready;
}

void useDir(const std::string& dir) { sharedState.appDir = dir; }

int countLeaves(const TreeNode* node) {
    if (!node) return 0;
    int leaves = node->vertices ? 1 : 0;
    for (const TreeNode* child : node->children) leaves += countLeaves(child);
    return leaves;
}

void buildArena(benchmark::State& state, bool large) {
    if (!startGl()) {
        state.SkipWithError("no headless platform");
        return;
    }
    useDir(arenaDir(large));
    materialManager.setGlEnabled(false); // the build without texture loading
    int triangles = 0, leaves = 0;
    for (auto _ : state) {
        const int32_t mark = materialManager.mark();
        ArenaTree tree("arena.ase", nullptr);
        triangles = tree.root ? tree.root->triangleCount : 0;
        leaves = countLeaves(tree.root);
        materialManager.dropSince(mark);
    }
    materialManager.setGlEnabled(true);
    state.counters["triangles"] = triangles;
    state.counters["leaves"] = leaves;
}

// One frame of floor: clear, the tree's draw, finish. With culling, or with planes that
// take every leaf as inside. The views: the race's start camera, and one in the middle of
// the floor looking along it, as the camera behind a bike sees it during a race.
void drawArena(benchmark::State& state, bool large, bool culling, bool midArena = false) {
    if (!startGl()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    useDir(arenaDir(large));
    materialManager.setGlEnabled(false);
    const int32_t mark = materialManager.mark();
    Camera camera;
    ArenaTree tree("arena.ase", &camera);
    materialManager.setGlEnabled(true);
    tree.textured = 0; // arena colours: no texture needed in the benchmark directory
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    setPerspective(60.0f, 4.0f / 3.0f, 40.0f, 500.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    if (midArena) {
        camera.lookAt(0, 25 * FIXED_ONE, 40 * FIXED_ONE, 0, 0, -60 * FIXED_ONE, 0, FIXED_ONE, 0);
    } else {
        camera.lookAt(-5 * FIXED_ONE, 60 * FIXED_ONE, 210 * FIXED_ONE, 0, 0, 90 * FIXED_ONE, 0, FIXED_ONE, 0);
    }
    camera.apply();
    if (!culling) {
        for (Plane& plane : camera.frustum.planes) plane = {0, 0, 0, FIXED_ONE};
    }
    // How many leaves this view draws: leaves under an inside or intersecting node.
    int drawn = 0;
    std::vector<std::pair<const TreeNode*, bool>> stack = {{tree.root, true}};
    while (!stack.empty()) {
        auto [node, test] = stack.back();
        stack.pop_back();
        if (!node) continue;
        if (test) {
            const Fixed* b = node->bounds;
            const Vec3& eye = camera.eye;
            const bool over = b[0] < eye.x && eye.x < b[0] + b[2] && b[1] < eye.z && eye.z < b[1] + b[3];
            if (!over) {
                const int32_t result = camera.frustum.classifyRect(b[0], b[1], b[2], b[3]);
                if (result == FrustumOutside) continue;
                if (result == FrustumInside) test = false;
            }
        }
        if (node->vertices) ++drawn;
        for (const TreeNode* child : node->children) stack.push_back({child, test});
    }
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        tree.draw();
        glFinish();
    }
    state.counters["leaves_drawn"] = drawn;
    state.counters["leaves"] = countLeaves(tree.root);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    materialManager.dropSince(mark);
}

void BM_ArenaBuild_512(benchmark::State& state) { buildArena(state, false); }
void BM_ArenaBuild_100k(benchmark::State& state) { buildArena(state, true); }
void BM_ArenaDraw_512_Culled(benchmark::State& state) { drawArena(state, false, true); }
void BM_ArenaDraw_512_AllLeaves(benchmark::State& state) { drawArena(state, false, false); }
void BM_ArenaDraw_100k_Culled(benchmark::State& state) { drawArena(state, true, true); }
void BM_ArenaDraw_100k_AllLeaves(benchmark::State& state) { drawArena(state, true, false); }
void BM_ArenaDraw_100k_MidArena_Culled(benchmark::State& state) { drawArena(state, true, true, true); }
void BM_ArenaDraw_100k_MidArena_AllLeaves(benchmark::State& state) { drawArena(state, true, false, true); }

BENCHMARK(BM_ArenaBuild_512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArenaBuild_100k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArenaDraw_512_Culled)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArenaDraw_512_AllLeaves)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArenaDraw_100k_Culled)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArenaDraw_100k_AllLeaves)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArenaDraw_100k_MidArena_Culled)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ArenaDraw_100k_MidArena_AllLeaves)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
