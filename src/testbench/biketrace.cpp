#include "testbench/biketrace.h"

#include <nlohmann/json.hpp>

#include "aibike.h"
#include "bike.h"
#include "lightwall.h"
#include "race.h"

void traceBikes(nlohmann::json& out, const PlayerBike* player, const AiBike* const* opponents, int slotCount) {
    if (player) {
        const LightWall* wall = player->wall();
        out["player"] = {
            {"x", player->position.x},
            {"z", player->position.z},
            {"direction", static_cast<int>(player->steering.direction)},
            {"heading", player->heading},
            {"wallQuads", wall ? wall->quadCount() : 0},
            {"wallState", wall ? static_cast<int>(wall->wallState) : -1},
        };
    } else {
        out["player"] = nullptr;
    }
    nlohmann::json slots = nlohmann::json::array();
    for (int i = 0; i < slotCount; ++i) {
        const AiBike* bike = opponents ? opponents[i] : nullptr;
        if (!bike) {
            slots.push_back(nullptr);
            continue;
        }
        slots.push_back({
            {"x", bike->position.x},
            {"z", bike->position.z},
            {"direction", static_cast<int>(bike->steering.direction)},
            {"heading", bike->heading},
            {"state", static_cast<int>(bike->state)},
            {"hitWall", bike->hitWall},
            {"started", bike->started},
            {"aimTimer", bike->aimTimer},
        });
    }
    out["opponents"] = slots;
    out["cameraYaw"] = player ? player->cameraYaw : 0;
    out["cameraYawTarget"] = player ? player->cameraYawTarget : 0;
}

void tracePlayers(nlohmann::json& out, const PlayerBike* const* seats, int humans, const int32_t* scores) {
    nlohmann::json players = nlohmann::json::array();
    for (int seat = 0; seat < humans; ++seat) {
        const PlayerBike* human = seats[seat];
        if (!human) break;
        const LightWall* wall = human->wall();
        players.push_back({
            {"x", human->position.x},
            {"z", human->position.z},
            {"direction", static_cast<int>(human->steering.direction)},
            {"heading", human->heading},
            {"alive", human->playerAlive},
            {"wallQuads", wall ? wall->quadCount() : 0},
            {"score", scores[Race::scoreSlot(seat)]},
            {"cameraYaw", human->cameraYaw},
        });
    }
    out["players"] = players;
}
