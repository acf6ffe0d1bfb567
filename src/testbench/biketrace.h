// The bikes' part of a trace line: the player's bike, the opponents by slot and the
// camera's swing. 16.16 values are written as raw integers.
#pragma once
#include <cstdint>
#include <nlohmann/json_fwd.hpp>

class PlayerBike;
class AiBike;

// opponents: slotCount slots, null for an empty one (written as null).
void traceBikes(nlohmann::json& out, const PlayerBike* player, const AiBike* const* opponents, int slotCount);
// A race of several players: "players", one object per human in seat order, with the
// score of the human's bike (scores: the program's four).
void tracePlayers(nlohmann::json& out, const PlayerBike* const* seats, int humans, const int32_t* scores);
