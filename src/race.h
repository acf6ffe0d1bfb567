// The game object of game mode.
#pragma once
#include <nlohmann/json_fwd.hpp>

class Race {
public:
    Race();
    ~Race();
    void setup();
    void runFrame();
    void restartRace();
    void teardown();
    // Adds the race's state to a trace line.
    void traceFields(nlohmann::json& out) const;
};
