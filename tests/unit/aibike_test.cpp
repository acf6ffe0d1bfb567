// The opponent: its start, choices of direction, walls and edge ahead, re-aiming, crash, reset.
#include <cstdlib>

#include "bikefixture.h"
#include "crtrand.h"

namespace {

// A seed whose first rand() value has the wanted parity; the opponent's choices read
// nothing but parities, so the tests pick them through the C library's own sequence.
unsigned seedWithFirstParity(int parity) {
    for (unsigned seed = 1;; ++seed) {
        crt::srand(seed);
        if ((crt::rand() & 1) == parity) return seed;
    }
}

class AiBikeTest : public BikeTest {
protected:
    // Starts the opponent in a known direction: the start frame with a seed of the
    // parity that picks it, then the position put back where the test wants it.
    void startDriving(Direction d, Vec3 at) {
        sharedState.raceStarted = 1;
        const Fixed step = sharedState.frameStep;
        sharedState.frameStep = 0;
        crt::srand(seedWithFirstParity(1));
        ai->update();
        sharedState.raceStarted = 0;
        sharedState.frameStep = step;
        ai->steering.direction = d;
        ai->position = at;
        ai->wall()->reset(at, d);
        ai->aimTimer = 0;
    }
    // One frame whose first rand() value has the given parity.
    void updateWithParity(int parity) {
        crt::srand(seedWithFirstParity(parity));
        ai->update();
    }
    // A wall of another bike: one quad from a to b.
    int32_t obstacle(Vec3 a, Vec3 b) {
        const int32_t index = createWall(a, a.z == b.z ? PlusX : MinusZ, 0);
        wallAt(index)->follow(b);
        return index;
    }
};

TEST_F(AiBikeTest, StartDirectionFromOneRandParity) {
    // Opponent at (0, -90), player at (0, 90): v = (0, -180). Main axis Z: PlusZ;
    // cross axis X: MinusX.
    for (int parity : {0, 1}) {
        SCOPED_TRACE(parity);
        clearWallRegistry();
        delete ai;
        delete player;
        makeBikes();
        sharedState.raceStarted = 1;
        updateWithParity(parity);
        const Direction expected = parity == 0 ? MinusX : PlusZ;
        EXPECT_EQ(wallDirections(*ai->wall()), std::vector<int>{expected}) << "its single quad takes the direction";
        EXPECT_EQ(ai->position, parity == 0 ? (Vec3{F(-2), 0, F(-90)}) : (Vec3{0, 0, F(-88)})) << "it moved too";
        EXPECT_EQ(ai->heading, parity == 0 ? F(90) : F(180));
    }
}

TEST_F(AiBikeTest, WallAheadTurnsToARandomSide) {
    for (int parity : {0, 1}) {
        SCOPED_TRACE(parity);
        startDriving(MinusX, {F(100), 0, 0});
        sharedState.frameTime = FIXED_ONE;
        const int32_t quads = ai->wall()->quadCount();
        // After the move the bike is at x = 98; four steps ahead is x = 90.
        obstacle({F(91), 0, F(-10)}, {F(91), 0, F(10)});
        updateWithParity(parity);
        EXPECT_EQ(ai->steering.direction, parity == 1 ? MinusZ : PlusZ) << "odd: right, even: left";
        EXPECT_EQ(ai->wall()->quadCount(), quads + 1);
        EXPECT_EQ(ai->heading, parity == 1 ? 0 : F(180));
        EXPECT_EQ(ai->aimTimer, 0) << "a frame whose probe hit adds no aim time";
    }
}

TEST_F(AiBikeTest, BothSidesBlockedEndsFacingTheOtherSide) {
    for (int parity : {0, 1}) {
        SCOPED_TRACE(parity);
        clearWallRegistry();
        createWall({}, MinusZ, 0); // the player's wall index 0 stays out of the way
        ai->wallIndex = createWall({}, MinusZ, 0);
        startDriving(MinusX, {F(100), 0, 0});
        sharedState.frameTime = FIXED_ONE;
        obstacle({F(90), 0, F(-10)}, {F(90), 0, F(10)}); // ahead
        obstacle({F(80), 0, F(-8)}, {F(120), 0, F(-8)}); // on the right (MinusZ)
        obstacle({F(80), 0, F(8)}, {F(120), 0, F(8)});   // on the left (PlusZ)
        updateWithParity(parity);
        // Three quarter turns to the first side: facing the other side, blocked or not.
        const Direction facing = parity == 1 ? PlusZ : MinusZ;
        EXPECT_EQ(ai->steering.direction, facing);
        EXPECT_EQ(wallDirections(*ai->wall()), (std::vector<int>{MinusX, facing})) << "one wall turn in all";
        EXPECT_EQ(ai->state, AiDriving) << "eight units off: not yet within a step";
    }
}

TEST_F(AiBikeTest, ArenaEdgeAheadCountsLikeAWall) {
    // After the move x = 2996; four steps ahead is past the edge at 3000.
    startDriving(PlusX, {F(2994), 0, 0});
    updateWithParity(1);
    EXPECT_EQ(ai->steering.direction, PlusZ) << "right of PlusX";
    EXPECT_EQ(ai->state, AiDriving);
}

TEST_F(AiBikeTest, ReaimAfterMoreThanFourSecondsOnAnEvenValue) {
    startDriving(MinusZ, {F(500), 0, F(-90)});
    player->position = {0, 0, F(90)};
    sharedState.frameTime = FIXED_ONE;
    for (int i = 0; i < 4; ++i) ai->update();
    EXPECT_EQ(ai->aimTimer, F(4)) << "exactly 4.0 is not yet more than 4";
    EXPECT_EQ(ai->steering.direction, MinusZ);

    updateWithParity(1);
    EXPECT_EQ(ai->aimTimer, 0);
    EXPECT_EQ(ai->steering.direction, MinusZ) << "odd: no re-aim";
    EXPECT_EQ(ai->wall()->quadCount(), 1);

    for (int i = 0; i < 4; ++i) ai->update();
    updateWithParity(0);
    EXPECT_EQ(ai->aimTimer, 0);
    // v = (500, -180 - 10 steps): main axis X, positive: PlusX; it lies across MinusZ.
    EXPECT_EQ(ai->steering.direction, PlusX);
    EXPECT_EQ(ai->wall()->quadCount(), 2);
    EXPECT_EQ(ai->heading, F(270));

    // The main choice on the axis it already travels: the cross-axis choice instead.
    for (int i = 0; i < 4; ++i) ai->update();
    updateWithParity(0);
    EXPECT_EQ(ai->steering.direction, PlusZ) << "cross axis: v.z is not positive";
    EXPECT_EQ(ai->wall()->quadCount(), 3);
}

TEST_F(AiBikeTest, CrashSinksThenOut) {
    recordSound();
    startDriving(MinusX, {F(100), 0, 0});
    const int32_t hit = obstacle({F(97), 0, F(-10)}, {F(97), 0, F(10)});
    updateWithParity(1);
    EXPECT_EQ(ai->state, AiCrashed);
    EXPECT_EQ(ai->hitWall, hit);
    EXPECT_TRUE(heard("play free none"));
    EXPECT_EQ(ai->wall()->wallState, WallGrowing) << "frozen from the next frame on";

    const Vec3 where = ai->position;
    sharedState.frameTime = FIXED_ONE;
    for (int i = 0; i < 5; ++i) ai->update();
    EXPECT_EQ(ai->state, AiCrashed);
    EXPECT_EQ(ai->wall()->wallState, WallFrozen);
    EXPECT_EQ(ai->position, where);
    ai->update();
    EXPECT_EQ(ai->state, AiOut);
    EXPECT_EQ(ai->wall()->quadCount(), 0);
    EXPECT_EQ(ai->wall()->wallState, WallFrozen) << "hidden, then frozen again: empty and frozen";

    ai->state = AiScored;
    sharedState.frameStep = F(50);
    ai->update();
    EXPECT_EQ(ai->hitWall, hit) << "an opponent out of the race tests nothing";
}

TEST_F(AiBikeTest, ResetKeepsAimTimerAndHitWall) {
    startDriving(MinusX, {F(100), 0, 0});
    ai->aimTimer = F(3);
    ai->hitWall = 2;
    ai->state = AiScored;
    ai->reset();
    EXPECT_EQ(ai->position, (Vec3{0, 0, F(-90)}));
    EXPECT_EQ(ai->state, AiDriving);
    EXPECT_EQ(ai->steering.direction, Stopped);
    EXPECT_EQ(ai->aimTimer, F(3));
    EXPECT_EQ(ai->hitWall, 2);
    EXPECT_EQ(ai->wall()->quadCount(), 1);
}

} // namespace
