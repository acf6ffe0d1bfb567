// Matches between two driving levels on the race logic alone: seeded starts, each played
// twice with the levels' seats swapped, counted as wins, losses and draws with the causes
// of the crashes. The palvex-ladder tool, its tests and the benchmarks use it.
#pragma once
#include <cstdint>
#include <string>

struct MatchSettings {
    int a = 0;            // the level measured
    int b = 0;            // the level it is measured against
    long races = 100;     // rounded up to an even number: every start twice
    uint32_t seed = 1;
    int bikes = 2;        // 2: A against B; 4: A against three of B
    int speed = 0;        // the speed option the races are driven at
    long progressEvery = 0; // > 0: the tally so far on stderr after every this many races
};

// Indices of MatchResult::causes.
enum CrashCause { CauseOwnWall = 0, CauseOtherWall = 1, CauseEdge = 2, CauseCount = 3 };

struct MatchResult {
    long races = 0;
    long aWins = 0;
    long bWins = 0;
    long draws = 0;
    long aCauses[CauseCount] = {0, 0, 0};
    long bCauses[CauseCount] = {0, 0, 0};
    double aSurvivalSeconds = 0; // mean over races: how long A's bike drove
    double bSurvivalSeconds = 0; // mean over B's bikes
    long frames = 0;             // race frames run in all
};

// The rules of a race the ladder runs: frames of 20 ms, a draw after five minutes.
constexpr int LADDER_FRAME_MS = 20;
constexpr long LADDER_FRAME_LIMIT = 5L * 60 * 1000 / LADDER_FRAME_MS;

// Runs the match on the headless platform (created on first use); false with a message
// when the race cannot be set up (no models beside the executable).
bool runMatch(const MatchSettings& settings, MatchResult& result, std::string& error);

// A's share of the races won, as a Wilson 95 % score interval.
void wilsonInterval(long wins, long races, double& low, double& high);
// The rating difference that A's score (wins and half the draws) corresponds to; +-999
// when one side won everything.
double eloDifference(const MatchResult& result);
