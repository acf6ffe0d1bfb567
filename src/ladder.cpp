#include "ladder.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "aibike.h"
#include "arenatree.h"
#include "autopilot.h"
#include "bike.h"
#include "buttons.h"
#include "crtrand.h"
#include "driver.h"
#include "frametimer.h"
#include "lightwall.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"

namespace {

// The seat's opening and the generator's state come from the seed through a mixer of its
// own, so neighbouring seeds give unrelated starts.
uint32_t seedMix(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    v ^= v >> 16;
    return v;
}

uint32_t ladderTicks = 0;

void setLadderTicks(uint32_t t) {
    ladderTicks = t;
    platform::get().journal().setVirtualTicks(t);
}

bool ladderPlatform(std::string& error) {
    if (platform::exists()) return true;
    platform::Options options;
    options.headless = true;
    options.tickMs = 0;
    return platform::create(options, error) == platform::CreateResult::Ok;
}

int causeOf(int32_t hitWall, int32_t ownWall) {
    if (hitWall == HIT_ARENA_EDGE) return CauseEdge;
    return hitWall == ownWall ? CauseOwnWall : CauseOtherWall;
}

struct Seat {
    int level = 0;
    bool crashed = false;
    long crashFrame = 0;
    int cause = 0;
};

} // namespace

void wilsonInterval(long wins, long races, double& low, double& high) {
    if (races <= 0) {
        low = 0;
        high = 1;
        return;
    }
    const double z = 1.959963984540054;
    const double n = static_cast<double>(races);
    const double p = static_cast<double>(wins) / n;
    const double centre = (p + z * z / (2 * n)) / (1 + z * z / n);
    const double half = z * std::sqrt(p * (1 - p) / n + z * z / (4 * n * n)) / (1 + z * z / n);
    low = std::max(0.0, centre - half);
    high = std::min(1.0, centre + half);
}

double eloDifference(const MatchResult& r) {
    if (r.races <= 0) return 0;
    const double score = (static_cast<double>(r.aWins) + 0.5 * static_cast<double>(r.draws)) / static_cast<double>(r.races);
    if (score <= 0) return -999;
    if (score >= 1) return 999;
    return std::clamp(-400.0 * std::log10(1.0 / score - 1.0), -999.0, 999.0);
}

bool runMatch(const MatchSettings& settings, MatchResult& result, std::string& error) {
    result = MatchResult();
    if (!ladderPlatform(error)) return false;
    const int opponents = settings.bikes == 4 ? 3 : 1;
    sharedState.options.opponentChoice = opponents - 1;
    sharedState.options.speed = std::clamp(settings.speed, 0, 2);
    sharedState.options.detail = 0;
    sharedState.aiLevel = 0;
    setLadderTicks(1000);
    auto race = std::make_unique<Race>();
    race->drawing = false;
    Race* previousRace = sharedState.race;
    sharedState.race = race.get();
    race->setup();
    if (!race->arena || !race->arena->root) {
        race->teardown();
        sharedState.race = previousRace;
        error = "no arena to race on (arena.ase missing beside the program?)";
        return false;
    }
    frameTimerKeepPace(true);

    const long starts = (std::max(settings.races, 1L) + 1) / 2;
    std::unique_ptr<Autopilot> pilots[2] = {std::make_unique<Autopilot>(settings.a), std::make_unique<Autopilot>(settings.b)};
    double aSurvival = 0, bSurvival = 0;
    long bBikes = 0;
    for (long start = 0; start < starts; ++start) {
        const uint32_t seed = seedMix(settings.seed * 0x9E3779B9u + static_cast<uint32_t>(start));
        for (int swap = 0; swap < 2; ++swap) {
            // Seat 0 is the player's; A holds seat 0 in the first race of a start, seat 1 in the second.
            Seat seats[MAX_SEATS];
            const int aSeat = swap;
            for (int i = 0; i <= opponents; ++i) seats[i].level = i == aSeat ? settings.a : settings.b;
            Autopilot& pilot = *pilots[aSeat == 0 ? 0 : 1];
            pilot.heldLeft = pilot.heldRight = false;
            for (int slot = 0; slot < opponents; ++slot) race->aiBikes[slot]->setLevel(seats[slot + 1].level);
            race->restartRace();
            // The opening belongs to the seat, not to the level: both orders start alike.
            for (int i = 0; i <= opponents; ++i) {
                const uint32_t r = seedMix(seed + static_cast<uint32_t>(i) * 0x632BE5ABu);
                const int frames = static_cast<int>(r % 25);
                const Turn turn = static_cast<Turn>((r >> 8) % 3);
                Driver* driver = i == 0 ? &pilot.driver : race->aiBikes[i - 1]->driver.get();
                if (driver) {
                    driver->reset();
                    driver->setOpening(frames, turn);
                }
            }
            crt::srand(seedMix(seed ^ 0x5BD1E995u));
            setLadderTicks(ladderTicks + 1000);
            frameTimerStart();
            for (int b : {ButtonLeft, ButtonRight}) setButton(b, 0);

            long frame = 0;
            bool decided = false;
            while (!decided && frame < LADDER_FRAME_LIMIT) {
                ++frame;
                bool left = false, right = false;
                pilot.plan(*race, left, right);
                setButton(ButtonLeft, left ? 1 : 0);
                setButton(ButtonRight, right ? 1 : 0);
                setLadderTicks(ladderTicks + LADDER_FRAME_MS);
                race->runFrame();
                if (!seats[0].crashed && race->killer != Race::NO_CRASH_THIS_FRAME) {
                    seats[0] = {seats[0].level, true, frame, causeOf(race->killer, race->player->wallIndex)};
                }
                for (int slot = 0; slot < opponents; ++slot) {
                    const AiBike* bike = race->aiBikes[slot];
                    Seat& s = seats[slot + 1];
                    if (!s.crashed && bike->state != AiDriving) s = {s.level, true, frame, causeOf(bike->hitWall, bike->wallIndex)};
                }
                int bDriving = 0;
                for (int i = 0; i <= opponents; ++i)
                    if (i != aSeat && !seats[i].crashed) ++bDriving;
                decided = seats[aSeat].crashed || bDriving == 0;
            }
            for (int b : {ButtonLeft, ButtonRight}) setButton(b, 0);
            result.frames += frame;
            ++result.races;
            const Seat& a = seats[aSeat];
            int bDriving = 0;
            for (int i = 0; i <= opponents; ++i) {
                if (i == aSeat) continue;
                if (!seats[i].crashed) ++bDriving;
                if (seats[i].crashed) ++result.bCauses[seats[i].cause];
                bSurvival += static_cast<double>(seats[i].crashed ? seats[i].crashFrame : frame);
                ++bBikes;
            }
            if (a.crashed) ++result.aCauses[a.cause];
            aSurvival += static_cast<double>(a.crashed ? a.crashFrame : frame);
            if (a.crashed && bDriving > 0) ++result.bWins;
            else if (!a.crashed && bDriving == 0) ++result.aWins;
            else ++result.draws; // the same frame, or time ran out
            if (settings.progressEvery > 0 && result.races % settings.progressEvery == 0)
                std::fprintf(stderr, "after %ld races: %ld won, %ld lost, %ld drawn\n", result.races, result.aWins,
                             result.bWins, result.draws);
        }
    }
    const double seconds = LADDER_FRAME_MS / 1000.0;
    result.aSurvivalSeconds = result.races ? aSurvival * seconds / static_cast<double>(result.races) : 0;
    result.bSurvivalSeconds = bBikes ? bSurvival * seconds / static_cast<double>(bBikes) : 0;

    frameTimerKeepPace(false);
    race->teardown();
    sharedState.race = previousRace;
    return true;
}
