// The player's bike: the start, steering, the camera's swing, the crash, what it collides with.
#include "bikefixture.h"

namespace {

using Dirs = std::vector<int>;

class PlayerBikeTest : public BikeTest {
protected:
    // One race frame of the player's bike: the timer's clearing of raceStarted, the keys.
    void frame(bool right, bool left, Fixed step = 0) {
        sharedState.raceStarted = 0;
        sharedState.frameStep = step;
        sharedState.buttonHeld[ButtonRight] = right;
        sharedState.buttonHeld[ButtonLeft] = left;
        player->update();
    }
    LightWall& wall() { return *player->wall(); }
};

TEST_F(PlayerBikeTest, StandsAtTheCameraCentreAndTheFirstPressStartsWithoutTurning) {
    EXPECT_EQ(player->startPosition, (Vec3{0, 0, F(90)}));
    EXPECT_EQ(wallDirections(wall()), Dirs{MinusZ});
    recordSound();
    frame(false, false, F(5));
    EXPECT_EQ(player->position, (Vec3{0, 0, F(90)})) << "a Stopped bike does not move";
    EXPECT_TRUE(takeSoundCalls().empty());
    frame(true, false, F(5));
    EXPECT_EQ(player->steering.direction, MinusZ);
    EXPECT_EQ(sharedState.raceStarted, 1);
    EXPECT_EQ(wall().quadCount(), 1);
    EXPECT_TRUE(heard("play 1 none")) << "the engine starts";
    // Held on: no turn; the latch opens only in a frame without the button.
    for (int i = 0; i < 5; ++i) frame(true, false, F(1));
    EXPECT_EQ(player->steering.direction, MinusZ);
    EXPECT_EQ(player->position.z, F(85)) << "moved one step per frame since the start frame";
}

TEST_F(PlayerBikeTest, HeldButtonTurnsOnce) {
    frame(true, false);
    frame(false, false);
    for (int i = 0; i < 10; ++i) frame(true, false, F(1));
    EXPECT_EQ(wallDirections(wall()), (Dirs{MinusZ, PlusX}));
    frame(false, false, F(1));
    frame(true, false, F(1));
    EXPECT_EQ(wallDirections(wall()), (Dirs{MinusZ, PlusX, PlusZ}));
    for (int i = 0; i < 10; ++i) frame(false, true, F(1));
    EXPECT_EQ(wallDirections(wall()), (Dirs{MinusZ, PlusX, PlusZ, PlusX}));
    EXPECT_EQ(player->steering.direction, PlusX);
    EXPECT_EQ(sharedState.raceStarted, 0) << "only the start frame raises it";
}

TEST_F(PlayerBikeTest, BothButtonsTurnRightThenLeftExceptInTheStartFrame) {
    frame(true, true); // the start, then only the left turn
    EXPECT_EQ(player->steering.direction, MinusX);
    EXPECT_EQ(player->heading, F(90));
    EXPECT_EQ(wallDirections(wall()), (Dirs{MinusZ, MinusX}));
    EXPECT_EQ(player->cameraYawTarget, -0x1921F);
    EXPECT_EQ(sharedState.raceStarted, 1);
    frame(false, false, F(3));
    frame(true, true, F(3)); // a wall turn each way: the same direction, two more quads
    EXPECT_EQ(player->steering.direction, MinusX);
    EXPECT_EQ(wallDirections(wall()), (Dirs{MinusZ, MinusX, MinusZ, MinusX}));
    EXPECT_EQ(player->cameraYawTarget, -0x1921F);
    EXPECT_EQ(player->heading, F(90));
}

TEST_F(PlayerBikeTest, TurnIsTakenWhereThisFramesMoveEnded) {
    frame(true, false);
    frame(false, false, F(10));
    frame(true, false, F(10));
    const Fixed* corner = &wall().vertices[6 * 3]; // vertex 0 of quad 1
    EXPECT_EQ(corner[2], F(70));
    EXPECT_EQ(wall().vertices[2 * 3 + 2], F(70)) << "quad 0 closed at the turning point";
    frame(false, false, F(10));
    EXPECT_EQ(player->position.x, F(10));
    EXPECT_EQ(wall().vertices[(6 + 2) * 3], F(10)) << "the newest quad follows the bike";
}

TEST_F(PlayerBikeTest, CameraSwingsASeventhPerFrame) {
    frame(true, false);
    frame(false, false);
    const Vec3 eyeBefore = camera.eye;
    frame(true, false); // right turn: target +1.5708
    EXPECT_EQ(player->cameraYawTarget, 0x1921F);
    EXPECT_EQ(player->cameraYaw, -FixedDiv(-0x1921F, 0x70000));
    EXPECT_NE(camera.eye.x, eyeBefore.x) << "the eye swings about the bike";
    for (int i = 0; i < 200 && player->cameraYaw != player->cameraYawTarget; ++i) frame(false, false);
    EXPECT_EQ(player->cameraYaw, player->cameraYawTarget) << "a swing to the right ends exactly";
    const Vec3 settled = camera.eye;
    frame(false, false);
    EXPECT_EQ(camera.eye, settled) << "no orbit once the target is reached";

    frame(false, true); // left turn back to 0
    for (int i = 0; i < 200; ++i) frame(false, false);
    EXPECT_GT(player->cameraYaw, player->cameraYawTarget) << "a swing to the left keeps a rest";
    EXPECT_LE(player->cameraYaw - player->cameraYawTarget, 7);
    const Vec3 resting = camera.eye;
    frame(false, false);
    EXPECT_NE(camera.eye.z, resting.z) << "an orbit by 0 still pulls the eye in";
}

TEST_F(PlayerBikeTest, CrashFreezesThenSinksAndDisappears) {
    frame(true, false);
    frame(false, false, F(4));
    player->crash();
    EXPECT_EQ(sharedState.playerAlive, 0);
    EXPECT_EQ(wall().wallState, WallFrozen);
    const Vec3 where = player->position;
    sharedState.frameTime = FIXED_ONE;
    for (int i = 0; i < 5; ++i) frame(true, true, F(4));
    EXPECT_EQ(player->position, where) << "a crashed bike neither moves nor steers";
    EXPECT_EQ(player->steering.direction, MinusZ);
    EXPECT_EQ(wall().vertices[7], 0) << "five seconds of sinking";

    player->reset();
    EXPECT_EQ(sharedState.playerAlive, 1);
    EXPECT_EQ(player->steering.direction, Stopped);
    EXPECT_EQ(player->heading, 0);
    EXPECT_EQ(wall().wallState, WallGrowing);
    EXPECT_EQ(wall().vertices[2], camera.centre.z);
}

TEST_F(PlayerBikeTest, StoppedBikeMeetsOnlyTheArenaEdge) {
    // Another wall right across the player's start.
    const int32_t other = createWall({F(-20), 0, F(90)}, PlusX, 0);
    wallAt(other)->follow({F(20), 0, F(90)});
    sharedState.frameStep = F(5);
    int32_t hitWall = 7;
    EXPECT_FALSE(player->collide(hitWall));
    player->position.x = F(3000); // on the edge: inside
    EXPECT_FALSE(player->collide(hitWall));
    player->position.x = F(3000) + 1;
    EXPECT_TRUE(player->collide(hitWall));
    EXPECT_EQ(hitWall, -1);
    player->position.x = 0;
    player->steering.direction = PlusZ;
    EXPECT_TRUE(player->collide(hitWall));
    EXPECT_EQ(hitWall, other);

    // An arena without geometry has no inside.
    delete arena->root;
    arena->root = nullptr;
    hitWall = 7;
    EXPECT_TRUE(player->collide(hitWall));
    EXPECT_EQ(hitWall, -1);
}

} // namespace
