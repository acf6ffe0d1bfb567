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

// Two seats, the local one without input delay, a prediction window's frames run ahead.
struct Bench {
    toy::ToyGame game;
    RollbackSession session;
    explicit Bench(int64_t words) : game(size_t(words)), session(game, config())
    {
        for (int f = 0; f < kMaxPredictionWindow; ++f)
            session.advance(0);
    }
    static SessionConfig config()
    {
        SessionConfig c;
        c.inputDelay = 0;
        return c;
    }
};

// Every frame the other seat's buttons arrive for the frame eight back, always unlike
// the prediction: every advance first rolls eight frames back and runs them again.
void BM_AdvanceWithEightFrameRollback(benchmark::State& state)
{
    Bench b(state.range(0));
    RollbackSession& session = b.session;
    int sent = 0;
    for (auto _ : state) {
        session.addRemoteInput(1, sent, Buttons(sent & 1 ? 1 : 2));
        sent++;
        if (!session.advance(0))
            state.SkipWithError("the session waited");
    }
    state.counters["depth_mean"] = session.stats().meanDepth();
    state.counters["snapshot_bytes"] = double(b.game.snapshotBytes());
}
BENCHMARK(BM_AdvanceWithEightFrameRollback)->Arg(0)->Arg(kRaceSizedWords)->Unit(benchmark::kMicrosecond);

// The same session with the other seat's buttons always as predicted: a save and a frame.
void BM_AdvanceWithoutRollback(benchmark::State& state)
{
    Bench b(state.range(0));
    RollbackSession& session = b.session;
    int sent = 0;
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
