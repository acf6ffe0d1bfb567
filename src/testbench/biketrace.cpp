#include "testbench/biketrace.h"

#include <nlohmann/json.hpp>

#include "aibike.h"
#include "bike.h"
#include "lightwall.h"

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
    out["cameraYaw"] = cameraYaw;
    out["cameraYawTarget"] = cameraYawTarget;
}
