// The race's scoring of each kind of crash, run in process with a virtual clock: crashes are
// staged by placing bikes and walls, then the race's own frame finds and scores them.
#include <gtest/gtest.h>

#include <vector>

#include "aibike.h"
#include "arenatree.h"
#include "bike.h"
#include "camera.h"
#include "lightwall.h"
#include "log.h"
#include "race.h"
#include "sharedstate.h"
#include "application.h"
#include "testplatform.h"
#include "racefixture.h"
#include "window.h"

namespace {

class RaceTest : public RaceFixture {
protected:
    void enter(int opponentChoice) {
        sharedState.options.opponentChoice = opponentChoice;
        toggleMode();
        ASSERT_EQ(sharedState.inGame, 1);
    }
    void press(int button) {
        sharedState.buttonHeld[button] = 1;
        frame();
        sharedState.buttonHeld[button] = 0;
    }
    // One right press starts the race; the bikes drive a little.
    void start(int drive) {
        press(ButtonRight);
        frames(drive);
    }
    // A staircase of right and left turns keeps the player in the arena, off its own wall.
    void zigzag(int n) {
        for (int i = 0; i < n; ++i) {
            if (zig % 20 == 0) press(zig % 40 == 0 ? ButtonRight : ButtonLeft);
            else frame();
            ++zig;
        }
    }
    void place(AiBike* bike, Fixed x, Fixed z, Direction d) {
        bike->position = {x, 0, z};
        bike->steering.direction = d;
        wallAt(bike->wallIndex)->reset(bike->position, d);
    }
    // Frames until the opponent in the slot is scored (or restarted), -1 if never.
    int runUntilScored(int slot) {
        for (int i = 0; i < 400; ++i) {
            zigzag(1);
            if (!race->aiBikes[slot] || race->aiBikes[slot]->state == AiScored ||
                race->aiBikes[slot]->started == 0)
                return i;
        }
        return -1;
    }

    // The opponents' slots, then the player.
    static std::vector<int32_t> scores() { return std::vector<int32_t>(sharedState.scores, sharedState.scores + 4); }
    // The scores if every opponent driving now and (when asked) the living player get two.
    std::vector<int32_t> scoresIfSurvivorsGain(bool player) {
        std::vector<int32_t> out = scores();
        for (int slot = 0; slot < 3; ++slot) out[slot] += race->aiBikes[slot]->state == AiDriving ? 2 : 0;
        if (player && sharedState.playerAlive) out[3] += 2;
        return out;
    }

    int zig = 1;
};

} // namespace

TEST_F(RaceTest, OpponentIntoThePlayersWallGivesThePlayerThree) {
    enter(0);
    start(20);
    AiBike* opponent = race->aiBikes[0];
    const Fixed wallZ = race->player->position.z + F(12);
    // Half a step before the player's wall, heading across it.
    place(opponent, -F(0.8), wallZ, PlusX);
    frame();

    ASSERT_EQ(opponent->state, AiCrashed);
    EXPECT_EQ(opponent->hitWall, 0);
    EXPECT_EQ(sharedState.scores[3], 0) << "not scored until its wall has sunk";
    ASSERT_GE(runUntilScored(0), 0);
    EXPECT_EQ(scores(), (std::vector<int32_t>{0, 0, 0, 3})) << "one for the kill, two for surviving";
    // The only opponent is scored: the race restarted in that frame with the scores kept.
    EXPECT_EQ(opponent->state, AiDriving);
    EXPECT_EQ(opponent->started, 0);
    EXPECT_EQ(race->player->position, (Vec3{0, 0, F(90)}));
    EXPECT_EQ(race->player->steering.direction, Stopped);
}

TEST_F(RaceTest, PlayerLeavingTheArenaGivesNoKillPoint) {
    sharedState.options.speed = 2;
    enter(2);
    start(1);
    // Carry the player (it rides on the camera) to just before the far edge.
    race->camera->eye.z -= F(380);
    race->camera->centre.z -= F(380);
    std::vector<int32_t> expected;
    for (int i = 0; i < 30 && sharedState.playerAlive; ++i) {
        expected = scoresIfSurvivorsGain(false);
        frame();
    }
    ASSERT_EQ(sharedState.playerAlive, 0);
    EXPECT_EQ(race->killer, -1);
    EXPECT_LT(race->player->position.z, race->arena->root->bounds[1]);
    EXPECT_EQ(scores(), expected) << "two for each opponent still driving, nothing for the player";
}

TEST_F(RaceTest, OpponentIntoAnotherOpponentsWallScoresThatOpponent) {
    enter(2);
    start(2);
    AiBike* second = race->aiBikes[1];
    AiBike* third = race->aiBikes[2];
    place(third, F(100), F(40), MinusZ);
    frames(5);
    ASSERT_EQ(third->state, AiDriving);
    const Fixed wallZ = third->position.z + F(3);
    place(second, F(100) - F(0.8), wallZ, PlusX);
    frame();
    ASSERT_EQ(second->state, AiCrashed);
    EXPECT_EQ(second->hitWall, 3);

    std::vector<int32_t> expected;
    for (int i = 0; i < 400 && second->state != AiScored; ++i) {
        expected = scoresIfSurvivorsGain(true);
        ++expected[2];
        zigzag(1);
    }
    ASSERT_EQ(second->state, AiScored);
    EXPECT_EQ(scores(), expected) << "one for the wall's owner, two for each survivor, none for the crashed bike";
}

TEST_F(RaceTest, OpponentIntoItsOwnWallLosesOne) {
    enter(0);
    start(1);
    AiBike* opponent = race->aiBikes[0];
    LightWall* wall = wallAt(opponent->wallIndex);
    // A hook of its own wall: -Z, +X, +Z, then back towards the first run along -X.
    place(opponent, 0, -F(100), MinusZ);
    const Vec3 corners[] = {{0, 0, -F(120)}, {F(10), 0, -F(120)}, {F(10), 0, -F(110)}};
    const Direction turns[] = {PlusX, PlusZ, MinusX};
    for (int i = 0; i < 3; ++i) {
        wall->follow(corners[i]);
        wall->turn(corners[i], turns[i]);
    }
    opponent->position = {F(0.8), 0, -F(110)};
    opponent->steering.direction = MinusX;
    wall->follow(opponent->position);
    frame();
    ASSERT_EQ(opponent->state, AiCrashed);
    EXPECT_EQ(opponent->hitWall, 1);
    ASSERT_GE(runUntilScored(0), 0);
    EXPECT_EQ(scores(), (std::vector<int32_t>{-1, 0, 0, 2})) << "the player survived the opponent's crash";
}


// Leaving a race in the middle of the camera's swing: the next game starts with the
// camera behind the bike, not a quarter turn away.
TEST_F(RaceTest, EveryGameStartsWithAFreshCamera) {
    enter(0);
    start(2);
    press(ButtonRight);
    ASSERT_NE(sharedState.race->player->cameraYaw, sharedState.race->player->cameraYawTarget)
        << "the swing has only begun";
    toggleMode();
    enter(0);
    EXPECT_EQ(sharedState.race->player->cameraYaw, 0);
    EXPECT_EQ(sharedState.race->player->cameraYawTarget, 0);
}
