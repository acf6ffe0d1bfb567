#include "autopilot.h"

#include <memory>

#include "bike.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"

void Autopilot::plan(const Race& race, bool& left, bool& right) {
    left = right = false;
    const PlayerBike* bike = race.player;
    if (bike && bike->playerAlive) {
        if (bike->steering.direction == Stopped) {
            driver.reset();
            right = !heldRight;
        } else {
            RaceView view;
            if (viewOfRace(race, 0, view)) {
                view.canLeft = !heldLeft;
                view.canRight = !heldRight;
                // The turn is taken after the coming frame's move.
                const Vec3& d = bike->steering.directions[bike->steering.direction];
                const Vec3 at = {FixedAdd(bike->position.x, FixedMul(d.x, sharedState.frameStep)), bike->position.y,
                                 FixedAdd(bike->position.z, FixedMul(d.z, sharedState.frameStep))};
                const Turn turn = driver.decide(view, at);
                left = turn == TurnLeft;
                right = turn == TurnRight;
            }
        }
    }
    heldLeft = left;
    heldRight = right;
}

namespace {

std::unique_ptr<Autopilot> pilot;

void pressKeys(const std::function<void(platform::MessageType, uintptr_t)>& queue) {
    const bool wasLeft = pilot->heldLeft, wasRight = pilot->heldRight;
    bool left = false, right = false;
    if (sharedState.inGame && sharedState.race && !sharedState.paused) pilot->plan(*sharedState.race, left, right);
    else pilot->heldLeft = pilot->heldRight = false;
    if (wasLeft && !left) queue(platform::MsgKeyUp, platform::VK_LEFT);
    if (wasRight && !right) queue(platform::MsgKeyUp, platform::VK_RIGHT);
    if (left && !wasLeft) queue(platform::MsgKeyDown, platform::VK_LEFT);
    if (right && !wasRight) queue(platform::MsgKeyDown, platform::VK_RIGHT);
}

} // namespace

void startAutopilot(int level) {
    if (level < 0 || level >= LevelCount) {
        pilot.reset();
        platform::get().journal().setFrameHook(nullptr);
        return;
    }
    pilot = std::make_unique<Autopilot>(level);
    platform::get().journal().setFrameHook(pressKeys);
}
