// The bare frame: per-frame GL state, clear, finish and swap on the headless pbuffer, with
// neither menu nor race drawing. Later frame benchmarks are compared with this one.
#include <benchmark/benchmark.h>

#include "application.h"
#include "menu/menu.h"
#include "platform/platform.h"
#include "sharedstate.h"

namespace {

Application* startHeadless() {
    static Application* application = [] {
        platform::Options options;
        options.headless = true;
        options.tickMs = 16;
        std::string error;
        if (!platform::create(options, error)) return static_cast<Application*>(nullptr);
        return new Application(nullptr);
    }();
    return application;
}

void BM_BareFrame(benchmark::State& state) {
    Application* application = startHeadless();
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

} // namespace

BENCHMARK_MAIN();
