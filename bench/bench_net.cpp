// What rolling back costs, with the toy game of the network tests: the same frame run
// plainly and run after an eight-frame rollback (the deepest the prediction window
// allows), for a small state and for one as large as a race's with long walls. The race's
// own figure comes when it implements the rollback interface.
#include <benchmark/benchmark.h>

#include "../tests/net/toygame.h"
#include "net/session.h"

using namespace net;

namespace {

// A snapshot of four bikes with walls of 8 000 quads in all, each quad four corners of
// three 16.16 coordinates: about 400 kB. args: words of state beyond the toy's own.
constexpr int64_t kRaceSizedWords = 8000 * 4 * 3;

// Every frame the other seat's buttons arrive for the frame eight back, always unlike
// the prediction: every advance first rolls eight frames back and runs them again.
void BM_AdvanceWithEightFrameRollback(benchmark::State& state)
{
    toy::ToyGame game(size_t(state.range(0)));
    SessionConfig c;
    c.inputDelay = 0;
    RollbackSession session(game, c);
    int sent = 0;
    for (int f = 0; f < kMaxPredictionWindow; ++f)
        session.advance(0);
    for (auto _ : state) {
        session.addRemoteInput(1, sent, Buttons(sent & 1 ? 1 : 2));
        sent++;
        if (!session.advance(0))
            state.SkipWithError("the session waited");
    }
    state.counters["depth_mean"] = session.stats().meanDepth();
    state.counters["snapshot_bytes"] = double(game.snapshotBytes());
}
BENCHMARK(BM_AdvanceWithEightFrameRollback)->Arg(0)->Arg(kRaceSizedWords)->Unit(benchmark::kMicrosecond);

// The same session with the other seat's buttons always as predicted: a save and a frame.
void BM_AdvanceWithoutRollback(benchmark::State& state)
{
    toy::ToyGame game(size_t(state.range(0)));
    SessionConfig c;
    c.inputDelay = 0;
    RollbackSession session(game, c);
    int sent = 0;
    for (int f = 0; f < kMaxPredictionWindow; ++f)
        session.advance(0);
    for (auto _ : state) {
        session.addRemoteInput(1, sent++, 0);
        if (!session.advance(0))
            state.SkipWithError("the session waited");
    }
    state.counters["rollbacks"] = double(session.stats().rollbacks);
}
BENCHMARK(BM_AdvanceWithoutRollback)->Arg(0)->Arg(kRaceSizedWords)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
