#include "racechecks.h"

#include <span>

#include "aibike.h"
#include "bike.h"
#include "lightwall.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"

namespace {

const char* const groupNames[platform::CHECK_GROUPS] = {
    "positions", "directions", "headings", "wall quad counts", "opponent states", "scores", "camera yaw"};

struct Hasher {
    int32_t values[64];
    size_t count = 0;
    void add(int32_t v) {
        if (count < 64) values[count++] = v;
    }
    uint32_t done() {
        const uint32_t h = platform::hashBytes(values, count * sizeof(int32_t));
        count = 0;
        return h;
    }
};

} // namespace

void raceChecks(uint32_t frame, platform::ReplayCheck& out) {
    out.frame = frame;
    const Race* race = sharedState.race;
    const PlayerBike* bikePlayer = race ? race->player : nullptr;
    Hasher h;
    const Bike* bikes[MAX_SEATS] = {};
    size_t bikeCount = 0;
    if (bikePlayer)
        for (int b = 0; b < MAX_SEATS; ++b)
            if (const Bike* bike = race->bike(b)) bikes[bikeCount++] = bike;
    // A race of several players checks its other seats after what the one player's has.
    const int humans = bikePlayer ? race->humans : 1;
    for (const Bike* b : std::span(bikes, bikeCount)) {
        h.add(b->position.x);
        h.add(b->position.y);
        h.add(b->position.z);
    }
    out.groups[0] = h.done();
    for (const Bike* b : std::span(bikes, bikeCount)) h.add(b->steering.direction);
    out.groups[1] = h.done();
    for (const Bike* b : std::span(bikes, bikeCount)) h.add(b->heading);
    out.groups[2] = h.done();
    for (const LightWall* wall : sharedState.wallRegistry) {
        h.add(wall ? wall->quadCount() : -1);
        h.add(wall ? static_cast<int32_t>(wall->wallState) : -1);
    }
    out.groups[3] = h.done();
    if (race)
        for (const AiBike* bike : race->aiBikes) {
            if (!bike) continue;
            h.add(bike->state);
            h.add(bike->started);
            h.add(bike->aimTimer);
            h.add(bike->hitWall);
        }
    out.groups[4] = h.done();
    for (int32_t score : sharedState.scores) h.add(score);
    h.add(sharedState.playerAlive);
    for (int seat = 1; seat < humans; ++seat) h.add(race->seats[seat]->playerAlive);
    out.groups[5] = h.done();
    for (int seat = 0; seat < humans; ++seat) {
        const PlayerBike* human = bikePlayer ? race->seats[seat] : nullptr;
        h.add(human ? human->cameraYaw : 0);
        h.add(human ? human->cameraYawTarget : 0);
    }
    out.groups[6] = h.done();
}

const char* checkGroupName(int group) {
    return group >= 0 && group < platform::CHECK_GROUPS ? groupNames[group] : "?";
}
