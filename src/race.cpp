#include "race.h"

#include <nlohmann/json.hpp>

#include "sharedstate.h"

Race::Race() = default;

Race::~Race() = default;

void Race::setup() {}

void Race::runFrame() {}

void Race::restartRace() {}

void Race::teardown() {
    for (int32_t& score : sharedState.scores) score = 0;
}

void Race::traceFields(nlohmann::json& out) const {}
