// The bikes of a race without the race: the camera at its start look-at, an arena whose
// ground rectangle (-3000 to 3000) is set by hand, the player's bike and one opponent at
// (0, -90). Their models are not there: they load and draw nothing, which is all the logic
// needs.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "aibike.h"
#include "arenatree.h"
#include "bike.h"
#include "camera.h"
#include "lightwall.h"
#include "sound.h"
#include "testplatform.h"

// The directions of a wall's quads, oldest first: their number and their order in one value.
inline std::vector<int> wallDirections(const LightWall& wall) {
    return std::vector<int>(wall.segmentDirections.get(), wall.segmentDirections.get() + wall.directionCount());
}

class BikeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensurePlatform());
        clearWallRegistry();
        releaseButtons();
        sharedState.raceStarted = 0;
        sharedState.playerAlive = 1;
        sharedState.frameStep = F(2);
        sharedState.frameTime = 0;
        sharedState.options.speed = 0;
        camera.lookAt(F(-5), F(60), F(210), 0, 0, F(90), 0, FIXED_ONE, 0);
        arena = new ArenaTree("no-such-arena.ase", &camera);
        if (!arena->root) arena->root = new TreeNode();
        const Fixed bounds[4] = {F(-3000), F(-3000), F(6000), F(6000)};
        std::copy(bounds, bounds + 4, arena->root->bounds);
        makeBikes();
    }
    void TearDown() override {
        delete ai;
        delete player;
        delete arena;
        clearWallRegistry();
        recordSoundCalls(false);
        soundReady = 0;
        sharedState.options.soundOn = 0;
        sharedState.playerAlive = 1;
        releaseButtons();
    }
    void makeBikes() {
        player = new PlayerBike("no-such-bike.ase", arena, &camera, 0);
        ai = new AiBike("no-such-bike.ase", arena, {0, 0, F(-90)}, player, 0);
    }
    static void releaseButtons() { std::fill(std::begin(sharedState.buttonHeld), std::end(sharedState.buttonHeld), 0); }
    // Sound calls are recorded as if there were a device and the option were on.
    static void recordSound() {
        soundReady = 1;
        sharedState.options.soundOn = 1;
        recordSoundCalls(true);
    }
    static bool heard(const std::string& call) {
        const std::vector<std::string> calls = takeSoundCalls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }

    Camera camera;
    ArenaTree* arena = nullptr;
    PlayerBike* player = nullptr;
    AiBike* ai = nullptr;
};
