#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "aibike.h"
#include "arenatree.h"
#include "bike.h"
#include "biketrace.h"
#include "camera.h"
#include "lightwall.h"
#include "model.h"
#include "sharedstate.h"
#include "sound.h"
#include "testplatform.h"

namespace {

constexpr Fixed F(int v) { return v * FIXED_ONE; }

// A race's worth of player bike: the camera at its start look-at, an arena whose ground
// rectangle is set by hand, and a bike model that is not there (it loads nothing and
// draws nothing, which is all the logic needs).
class PlayerBikeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        clearWallRegistry();
        std::fill(std::begin(sharedState.buttonHeld), std::end(sharedState.buttonHeld), 0);
        sharedState.raceStarted = 0;
        sharedState.frameStep = 0;
        sharedState.frameTime = 0;
        cameraYaw = cameraYawTarget = 0;
        camera.lookAt(F(-5), F(60), F(210), 0, 0, F(90), 0, FIXED_ONE, 0);
        arena = new ArenaTree("no-such-arena.ase", &camera);
        if (!arena->root) arena->root = new TreeNode();
        const Fixed bounds[4] = {F(-300), F(-300), F(600), F(600)};
        std::copy(bounds, bounds + 4, arena->root->bounds);
        bike = new PlayerBike("no-such-bike.ase", arena, &camera);
        soundReady = 1;
        sharedState.soundOn = 1;
        recordSoundCalls(true);
    }
    void TearDown() override {
        delete bike;
        delete arena;
        clearWallRegistry();
        recordSoundCalls(false);
        soundReady = 0;
        sharedState.soundOn = 0;
        sharedState.playerAlive = 1;
        std::fill(std::begin(sharedState.buttonHeld), std::end(sharedState.buttonHeld), 0);
    }

    // One race frame of the player's bike: the timer's clearing of raceStarted, the keys.
    void frame(bool right, bool left, Fixed step = 0) {
        sharedState.raceStarted = 0;
        sharedState.frameStep = step;
        sharedState.buttonHeld[ButtonRight] = right;
        sharedState.buttonHeld[ButtonLeft] = left;
        bike->update();
    }

    LightWall& wall() { return *bike->wall(); }

    Camera camera;
    ArenaTree* arena = nullptr;
    PlayerBike* bike = nullptr;
};

TEST_F(PlayerBikeTest, ConstructionStandsAtTheCameraCentre) {
    EXPECT_EQ(sharedState.playerAlive, 1);
    EXPECT_EQ(bike->wallIndex, 0);
    EXPECT_EQ(bike->position.z, F(90));
    EXPECT_EQ(bike->startPosition.z, F(90));
    EXPECT_EQ(bike->heading, 0);
    EXPECT_EQ(bike->steering.direction, Stopped);
    EXPECT_EQ(bike->steering.rightLatch, 1);
    EXPECT_EQ(bike->steering.leftLatch, 1);
    EXPECT_EQ(bike->steering.directions[MinusZ].z, -FIXED_ONE);
    EXPECT_EQ(bike->steering.directions[PlusX].x, FIXED_ONE);
    EXPECT_EQ(bike->steering.directions[Stopped].x, 0);
    EXPECT_EQ(wall().quadCount(), 1);
    EXPECT_EQ(wall().segmentDirections[0], MinusZ);
    ASSERT_NE(bike->model, nullptr);
    EXPECT_TRUE(bike->model->objects.empty());
}

TEST_F(PlayerBikeTest, FirstPressStartsTheRaceWithoutTurning) {
    frame(false, false, F(5));
    EXPECT_EQ(bike->position.z, F(90)) << "a Stopped bike does not move";
    EXPECT_TRUE(takeSoundCalls().empty());
    frame(true, false, F(5));
    EXPECT_EQ(bike->steering.direction, MinusZ);
    EXPECT_EQ(sharedState.raceStarted, 1);
    EXPECT_EQ(wall().quadCount(), 1);
    EXPECT_EQ(bike->heading, 0);
    EXPECT_EQ(cameraYawTarget, 0);
    const std::vector<std::string> calls = takeSoundCalls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "play 1 none"), calls.end()) << "the engine starts";
    // Held on: no turn; the latch opens only in a frame without the button.
    for (int i = 0; i < 5; ++i) frame(true, false, F(1));
    EXPECT_EQ(bike->steering.direction, MinusZ);
    EXPECT_EQ(bike->position.z, F(85)) << "moved one step per frame since the start frame";
    EXPECT_EQ(camera.centre.z, F(85));
}

TEST_F(PlayerBikeTest, HeldButtonTurnsOnce) {
    frame(true, false);
    frame(false, false);
    for (int i = 0; i < 10; ++i) frame(true, false, F(1));
    EXPECT_EQ(bike->steering.direction, PlusX);
    EXPECT_EQ(wall().quadCount(), 2);
    frame(false, false, F(1));
    frame(true, false, F(1));
    EXPECT_EQ(bike->steering.direction, PlusZ);
    EXPECT_EQ(wall().quadCount(), 3);
    for (int i = 0; i < 10; ++i) frame(false, true, F(1));
    EXPECT_EQ(bike->steering.direction, PlusX);
    EXPECT_EQ(wall().quadCount(), 4);
    EXPECT_EQ(sharedState.raceStarted, 0) << "only the start frame raises it";
}

TEST_F(PlayerBikeTest, BothButtonsInTheStartFrame) {
    frame(true, true);
    EXPECT_EQ(bike->steering.direction, MinusX);
    EXPECT_EQ(bike->heading, F(90));
    EXPECT_EQ(wall().quadCount(), 2);
    EXPECT_EQ(wall().segmentDirections[1], MinusX);
    EXPECT_EQ(cameraYawTarget, -0x1921F);
    EXPECT_EQ(sharedState.raceStarted, 1);
}

TEST_F(PlayerBikeTest, BothButtonsWhileDriving) {
    frame(true, false);
    frame(false, false, F(3));
    frame(true, true, F(3));
    EXPECT_EQ(bike->steering.direction, MinusZ);
    EXPECT_EQ(wall().quadCount(), 3);
    EXPECT_EQ(wall().segmentDirections[1], PlusX);
    EXPECT_EQ(wall().segmentDirections[2], MinusZ);
    EXPECT_EQ(cameraYawTarget, 0);
    EXPECT_EQ(bike->heading, 0);
}

TEST_F(PlayerBikeTest, HeadingWrapsTo360AndTo0) {
    frame(false, true); // start
    frame(false, false);
    frame(false, true);
    EXPECT_EQ(bike->heading, F(90));
    frame(false, false);
    frame(true, false);
    EXPECT_EQ(bike->heading, F(360)) << "a right turn from 90 gives 360";
    frame(false, false);
    frame(true, false);
    EXPECT_EQ(bike->heading, F(270));
    frame(false, false);
    frame(false, true);
    EXPECT_EQ(bike->heading, 0) << "a left turn from 270 gives 0";
}

TEST_F(PlayerBikeTest, TurnIsTakenWhereThisFramesMoveEnded) {
    frame(true, false);
    frame(false, false, F(10));
    frame(true, false, F(10));
    const Fixed* corner = &wall().vertices[6 * 3]; // vertex 0 of quad 1
    EXPECT_EQ(corner[2], F(70));
    EXPECT_EQ(wall().vertices[2 * 3 + 2], F(70)) << "quad 0 closed at the turning point";
    frame(false, false, F(10));
    EXPECT_EQ(bike->position.x, F(10));
    EXPECT_EQ(wall().vertices[(6 + 2) * 3], F(10)) << "the newest quad follows the bike";
}

TEST_F(PlayerBikeTest, CameraSwingsASeventhPerFrame) {
    frame(true, false);
    frame(false, false);
    const Vec3 eyeBefore = camera.eye;
    frame(true, false); // right turn: target +1.5708
    EXPECT_EQ(cameraYawTarget, 0x1921F);
    const Fixed firstStep = FixedDiv(-0x1921F, 0x70000);
    EXPECT_EQ(cameraYaw, -firstStep);
    EXPECT_NE(camera.eye.x, eyeBefore.x) << "the eye swings about the bike";
    for (int i = 0; i < 200 && cameraYaw != cameraYawTarget; ++i) frame(false, false);
    EXPECT_EQ(cameraYaw, cameraYawTarget) << "a swing to the right ends exactly";
    const Vec3 settled = camera.eye;
    frame(false, false);
    EXPECT_EQ(camera.eye.x, settled.x) << "no orbit once the target is reached";
    EXPECT_EQ(camera.eye.z, settled.z);

    frame(false, true); // left turn back to 0
    for (int i = 0; i < 200; ++i) frame(false, false);
    EXPECT_GT(cameraYaw, cameraYawTarget) << "a swing to the left keeps a rest";
    EXPECT_LE(cameraYaw - cameraYawTarget, 7);
    const Vec3 resting = camera.eye;
    frame(false, false);
    EXPECT_NE(camera.eye.z, resting.z) << "an orbit by 0 still pulls the eye in";
}

TEST_F(PlayerBikeTest, CrashFreezesThenSinksAndDisappears) {
    frame(true, false);
    frame(false, false, F(4));
    bike->crash();
    EXPECT_EQ(sharedState.playerAlive, 0);
    EXPECT_EQ(wall().wallState, WallFrozen);
    const Vec3 where = bike->position;
    sharedState.frameTime = FIXED_ONE;
    for (int i = 0; i < 5; ++i) frame(true, true, F(4));
    EXPECT_EQ(bike->position.z, where.z) << "a crashed bike neither moves nor steers";
    EXPECT_EQ(bike->steering.direction, MinusZ);
    EXPECT_EQ(wall().vertices[7], 0) << "five seconds of sinking";
    frame(false, false, F(4));
    EXPECT_EQ(wall().vertices[7], 0);

    bike->reset();
    EXPECT_EQ(sharedState.playerAlive, 1);
    EXPECT_EQ(bike->steering.direction, Stopped);
    EXPECT_EQ(bike->heading, 0);
    EXPECT_EQ(cameraYaw, 0);
    EXPECT_EQ(wall().wallState, WallGrowing);
    EXPECT_EQ(wall().quadCount(), 1);
    EXPECT_EQ(wall().vertices[2], camera.centre.z);
}

TEST_F(PlayerBikeTest, StoppedBikeMeetsOnlyTheArenaEdge) {
    // An opponent's wall right across the player's start.
    const int32_t other = createWall({F(-20), 0, F(90)}, PlusX);
    wallAt(other)->draw({F(20), 0, F(90)});
    sharedState.frameStep = F(5);
    int32_t hitWall = 7;
    EXPECT_FALSE(bike->collide(hitWall));
    bike->position.x = F(300); // on the edge: inside
    EXPECT_FALSE(bike->collide(hitWall));
    bike->position.x = F(300) + 1;
    EXPECT_TRUE(bike->collide(hitWall));
    EXPECT_EQ(hitWall, -1);
    bike->position.x = 0;
    bike->steering.direction = PlusZ;
    EXPECT_TRUE(bike->collide(hitWall));
    EXPECT_EQ(hitWall, other);
}

TEST_F(PlayerBikeTest, ArenaWithoutGeometryHasNoInside) {
    delete arena->root;
    arena->root = nullptr;
    int32_t hitWall = 7;
    EXPECT_TRUE(bike->collide(hitWall));
    EXPECT_EQ(hitWall, -1);
    bike->arena = nullptr;
    EXPECT_TRUE(bike->collide(hitWall));
}

TEST_F(PlayerBikeTest, DrawLeavesTheMatrixStackAsItFoundIt) {
    GLint before = 0, after = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &before);
    bike->draw();
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(PlayerBikeTest, TraceCarriesTheBikes) {
    AiBike opponent("no-such-bike.ase", arena, {0, 0, F(-90)}, bike);
    const AiBike* slots[3] = {&opponent, nullptr, nullptr};
    frame(true, true);
    nlohmann::json line;
    traceBikes(line, bike, slots, 3);
    EXPECT_EQ(line["player"]["z"], F(90));
    EXPECT_EQ(line["player"]["direction"], MinusX);
    EXPECT_EQ(line["player"]["heading"], F(90));
    EXPECT_EQ(line["player"]["wallQuads"], 2);
    EXPECT_EQ(line["player"]["wallState"], WallGrowing);
    ASSERT_EQ(line["opponents"].size(), 3u);
    EXPECT_EQ(line["opponents"][0]["z"], F(-90));
    EXPECT_EQ(line["opponents"][0]["state"], AiDriving);
    EXPECT_EQ(line["opponents"][0]["started"], 0);
    EXPECT_TRUE(line["opponents"][1].is_null());
    EXPECT_EQ(line["cameraYawTarget"], -0x1921F);
    EXPECT_EQ(line["cameraYaw"], cameraYaw);
}

} // namespace
