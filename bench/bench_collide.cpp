// The wall test over four long walls (time per quad examined), and the cost of turning
// and drawing a wall of up to 100,000 quads.
#include <benchmark/benchmark.h>

#include <GLES/gl.h>
#include <algorithm>
#include <string>

#include "aibike.h"
#include "arenatree.h"
#include "collision.h"
#include "lightwall.h"
#include "platform/platform.h"
#include "renderingcontext.h"
#include "sharedstate.h"

namespace {

constexpr Fixed F(int v) { return v * FIXED_ONE; }

// A comb: Z-running teeth 100 units long, one unit apart, joined by one-unit X-runs.
// Half the quads lie across a bike moving along X, and the bike's z lies within every
// tooth's span, so each of them passes the span test and fails only on distance.
void buildComb(int quads, Fixed x0) {
    const int32_t index = createWall({x0, 0, 0}, MinusZ, 0);
    LightWall& wall = *wallAt(index);
    Vec3 at = {x0, 0, 0};
    for (int k = 1; k < quads; ++k) {
        if (k % 2) {
            at.z = (k / 2) % 2 ? 0 : F(-100);
            wall.follow(at);
            wall.turn(at, PlusX);
        } else {
            at.x += FIXED_ONE / 4;
            wall.follow(at);
            wall.turn(at, (k / 2) % 2 ? PlusZ : MinusZ);
        }
    }
}

// An opponent driving along X across four combs, far from all of them: every quad of
// every wall is examined. Its own one-quad wall comes first and is passed over.
void BM_Collide(benchmark::State& state) {
    const int quads = static_cast<int>(state.range(0));
    clearWallRegistry();
    ArenaTree arena("no-such-arena.ase", nullptr);
    if (!arena.root) arena.root = new TreeNode();
    const Fixed bounds[4] = {F(-25000), F(-16000), F(32000), F(32000)};
    std::copy(bounds, bounds + 4, arena.root->bounds);
    AiBike bike("no-such-bike.ase", &arena, {F(5000), 0, F(-50)}, nullptr, 0);
    bike.steering.direction = PlusX;
    for (int w = 0; w < 4; ++w) buildComb(quads, F(-20000 + w * 6000));
    sharedState.frameStep = F(8);
    int32_t hitWall = -1;
    for (auto _ : state) {
        const bool hit = bike.collide(hitWall);
        benchmark::DoNotOptimize(hit);
        benchmark::DoNotOptimize(hitWall);
        if (hit) state.SkipWithError("the bike was not meant to hit anything");
    }
    const int64_t examined = 4LL * quads;
    state.counters["quads"] = static_cast<double>(examined);
    state.counters["ns_per_quad"] = benchmark::Counter(static_cast<double>(examined) * state.iterations(),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    clearWallRegistry();
}
BENCHMARK(BM_Collide)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000);

// Turns until the wall has state.range(0) quads, timed per turn: doubling growth keeps the
// cost per turn flat however long the wall gets.
void BM_TurnUpTo(benchmark::State& state) {
    const int quads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        clearWallRegistry();
        LightWall& wall = *wallAt(createWall({0, 0, 0}, MinusZ, 0));
        state.ResumeTiming();
        Vec3 at = {0, 0, 0};
        for (int k = 1; k < quads; ++k) {
            at.x += 1;
            wall.turn(at, (k & 1) ? PlusX : MinusZ);
        }
        benchmark::DoNotOptimize(wall.vertexCount);
    }
    state.counters["ns_per_turn"] = benchmark::Counter(static_cast<double>(quads - 1) * state.iterations(),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    clearWallRegistry();
}
BENCHMARK(BM_TurnUpTo)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// One draw of a wall of state.range(0) quads: the wall's own work is the far-end update
// and one glDrawArrays; the GL then transforms every vertex.
void BM_Draw(benchmark::State& state) {
    const int quads = static_cast<int>(state.range(0));
    clearWallRegistry();
    LightWall& wall = *wallAt(createWall({0, 0, 0}, MinusZ, 0));
    for (int k = 1; k < quads; ++k) wall.turn({k, 0, -k}, (k & 1) ? PlusX : MinusZ);
    Fixed z = 0;
    for (auto _ : state) {
        wall.follow({0, 0, --z});
        wall.draw();
        glFinish();
    }
    state.counters["ns_per_quad"] = benchmark::Counter(static_cast<double>(quads) * state.iterations(),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    clearWallRegistry();
}
BENCHMARK(BM_Draw)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    platform::Options options;
    options.headless = true;
    options.tickMs = 0;
    std::string error;
    if (platform::create(options, error) != platform::CreateResult::Ok || !initRenderingContext(nullptr)) {
        std::fprintf(stderr, "bench_collide: no headless GL context: %s\n", error.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    clearWallRegistry();
    platform::destroy();
    return 0;
}
