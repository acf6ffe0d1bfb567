// What rolling back costs, with the toy game of the network tests: the same frame run
// plainly and run after an eight-frame rollback (the deepest the prediction window
// allows), for a small state and for one as large as a race's with long walls; then the
// race itself, four bikes with 2000-quad walls, through the same session.
#include <benchmark/benchmark.h>

#include <array>

#include "../tests/net/toygame.h"
#include "aibike.h"
#include "bike.h"
#include "headlessgame.h"
#include "longwalls.h"
#include "net/session.h"
#include "race.h"
#include "racerollback.h"
#include "sharedstate.h"
#include "window.h"

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

// The race with three opponents, every wall 2000 quads long, the bikes running: each
// iteration loads the state of eight frames back and runs those frames and the next one
// again, saving the state before each, which is a session's work when a late arrival
// proves eight predictions wrong. Every iteration starts from the same state, so the walls
// stay long however long the benchmark runs. Arg: the turns added to each wall (two quads
// a turn), 0 for the race as it starts.
void BM_RaceRollbackOfEightFrames(benchmark::State& state)
{
    Application* application = startHeadless(16);
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return;
    }
    sharedState.options.opponentChoice = 2;
    if (sharedState.inGame)
        toggleMode();
    toggleMode();
    Race* race = sharedState.race;
    race->drawing = false;
    const int turns = int(state.range(0));
    zigzag(race->player->wall(), 0, turns);
    for (int slot = 0; slot < 3; ++slot)
        zigzag(race->aiBikes[slot]->wall(), slot + 1, turns);
    RaceRollback game(*race, 16);
    SeatInputs start;
    start.seat[0] = 1u << ButtonRight;
    game.advanceFrame(start);
    for (int f = 0; f < 30; ++f)
        game.advanceFrame(SeatInputs{});
    int quads = 0;
    for (LightWall* wall : sharedState.wallRegistry)
        quads += wall->quadCount();
    constexpr int kFrames = kMaxPredictionWindow + 1;
    std::array<Snapshot, kFrames> saved;
    for (Snapshot& s : saved)
        s.reserve(game.snapshotBytes());
    game.saveState(saved[0]);
    for (auto _ : state) {
        game.loadState(saved[0]);
        for (int f = 0; f < kFrames; ++f) {
            game.saveState(saved[f]);
            game.advanceFrame(SeatInputs{});
        }
    }
    state.counters["wall_quads"] = quads;
    state.counters["snapshot_bytes"] = double(saved[0].size());
    state.counters["player_alive"] = sharedState.playerAlive;
    if (game.loadFailures() > 0)
        state.SkipWithError("a snapshot did not load");
    toggleMode();
}
BENCHMARK(BM_RaceRollbackOfEightFrames)->Arg(0)->Arg(500)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
