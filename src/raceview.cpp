// What a computer driver sees of the race: the bikes, their walls and the arena. It reads
// the race, so it lives apart from the drivers and the opponent, which the race holds.
#include "aibike.h"
#include "driver.h"
#include "race.h"
#include "sharedstate.h"

bool viewOfRace(const Race& race, int seat, RaceView& out) {
    out = RaceView();
    if (!race.player || !race.arena) return false;
    for (int i = 0; i < MAX_SEATS; ++i) {
        const Bike* bike = race.bike(i);
        SeatView& s = out.seats[i];
        if (!bike) continue;
        s.position = bike->position;
        s.direction = bike->steering.direction;
        s.wallIndex = bike->wallIndex;
        s.driving = race.driving(i);
        out.count = i + 1;
    }
    out.self = seat;
    out.arena = race.arena;
    out.step = sharedState.frameStep;
    return seat >= 0 && seat < out.count && race.bike(seat);
}

void AiBike::view(RaceView& out) const {
    const Race* race = sharedState.race;
    if (race && race->player) {
        for (int slot = 0; slot < 3; ++slot)
            if (race->aiBikes[slot] == this && viewOfRace(*race, slot + 1, out)) return;
    }
    out = RaceView();
    out.count = target ? 2 : 1;
    out.seats[0] = {position, steering.direction, wallIndex, true};
    if (target) out.seats[1] = {target->position, target->steering.direction, target->wallIndex, target->playerAlive != 0};
    out.self = 0;
    out.arena = arena;
    out.step = sharedState.frameStep;
}
