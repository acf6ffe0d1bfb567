// A race of four bikes for the frame benchmarks: entered and left through the menu's own
// switch, its walls made long, and what culling keeps of them for a view.
#pragma once
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "aibike.h"
#include "application.h"
#include "bike.h"
#include "frustum.h"
#include "headlessgame.h"
#include "lightwall.h"
#include "longwalls.h"
#include "race.h"
#include "sharedstate.h"
#include "window.h"

enum Walls { FreshWalls = 0, ZigzagInView = 1, AcrossTheArena = 2 };

// The race's bikes in seat order; null where a seat is empty.
inline void raceBikes(const Race& race, Bike* out[4]) {
    for (int b = 0; b < 4; ++b) out[b] = race.bike(b);
}

// Into a race with three opponents, every wall given about 2000 quads of that kind.
inline bool enterRace(int walls) {
    sharedState.options.opponentChoice = 2;
    if (!sharedState.inGame) toggleMode();
    Race* race = sharedState.race;
    if (!race || !race->player) return false;
    Bike* bikes[4];
    raceBikes(*race, bikes);
    for (int seat = 0; seat < 4; ++seat) {
        if (!bikes[seat]) continue;
        if (walls == ZigzagInView) zigzag(bikes[seat]->wall(), seat);
        if (walls == AcrossTheArena) lanes(bikes[seat]->wall(), seat);
    }
    return true;
}

// The game started headless and a race entered at that detail with those walls; null,
// the benchmark skipped with the reason, when either cannot be had.
inline Application* startRace(benchmark::State& state, int detail, int walls) {
    Application* application = startHeadless(20);
    if (!application || !application->initialised()) {
        state.SkipWithError("no headless GL context");
        return nullptr;
    }
    sharedState.options.detail = detail;
    if (!enterRace(walls)) {
        state.SkipWithError("no race");
        return nullptr;
    }
    return application;
}

inline void leaveRace() {
    if (sharedState.inGame) toggleMode();
}

// The quads of the blocks that culling keeps for this view.
inline int quadsInView(LightWall& wall, const Frustum& view) {
    int quads = 0;
    for (int32_t block = 0; block < wall.blockCount(); ++block) {
        const WallBlock& box = wall.blockBox(block);
        if (!view.boxOutside(box.low, box.high))
            quads += std::min(LightWall::blockQuads, wall.quadCount() - block * LightWall::blockQuads);
    }
    return quads;
}

// Every wall's quads, and those kept for the view.
inline void countQuads(const Race& race, const Frustum& view, int& quads, int& inView) {
    quads = inView = 0;
    Bike* bikes[4];
    raceBikes(race, bikes);
    for (Bike* bike : bikes) {
        LightWall* wall = bike ? bike->wall() : nullptr;
        if (!wall) continue;
        quads += wall->quadCount();
        inView += quadsInView(*wall, view);
    }
}
