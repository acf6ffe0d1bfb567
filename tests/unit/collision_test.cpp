// Collisions: the arena's rectangle, and each wall quad against a bike's next step.
#include <gtest/gtest.h>

#include "collision.h"
#include "lightwall.h"
#include "testplatform.h"

namespace {

constexpr Fixed HALF = FIXED_ONE / 2;

// Lays a wall through the given corners, the way a bike does: draw to the corner, turn.
int32_t wallThrough(std::initializer_list<Vec3> corners, std::initializer_list<Direction> directions) {
    auto corner = corners.begin();
    auto direction = directions.begin();
    const int32_t index = createWall(*corner, *direction, 0);
    LightWall& wall = *wallAt(index);
    for (++corner, ++direction; corner != corners.end(); ++corner) {
        wall.follow(*corner);
        if (direction != directions.end()) {
            wall.turn(*corner, *direction);
            ++direction;
        }
    }
    return index;
}

class CollisionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensurePlatform());
        clearWallRegistry();
        sharedState.frameStep = F(2);
    }
    void TearDown() override { clearWallRegistry(); }

    bool hits(Direction d, Vec3 p, int32_t own = -1) { return wallTest(d, p, own, hitWall); }

    int32_t hitWall = 99;
};

TEST(ArenaRectangle, EdgesCountAsInside) {
    const Fixed bounds[4] = {F(-100), F(-50), F(200), F(150)};
    const struct {
        Vec3 at;
        bool inside;
    } cases[] = {{{F(-100), 0, 0}, true}, {{0, F(1000), F(100)}, true}, {{F(-100) - 1, 0, 0}, false},
                 {{0, 0, F(100) + 1}, false}};
    for (const auto& c : cases) EXPECT_EQ(insideRectangle(bounds, c.at), c.inside) << c.at;
    // A rectangle reaching the top of the Fixed range does not wrap around.
    const Fixed far[4] = {F(32000), F(32000), F(1000), F(1000)};
    EXPECT_TRUE(insideRectangle(far, {0x7FFFFFFF, 0, F(32100)}));
}

TEST_F(CollisionTest, DistanceStrictlyBelowTheStepWithinTheSpan) {
    wallThrough({{0, 0, 0}, {0, 0, F(-100)}}, {MinusZ});
    EXPECT_FALSE(hits(PlusX, {F(-2), 0, F(-50)}));
    EXPECT_EQ(hitWall, 0) << "the last index examined";
    EXPECT_TRUE(hits(PlusX, {F(-2) + 1, 0, F(-50)}));
    EXPECT_EQ(hitWall, 0);
    EXPECT_FALSE(hits(MinusX, {F(2), 0, F(-50)}));

    // Span ends are included; parallel quads and stopped bikes are never hit.
    EXPECT_TRUE(hits(PlusX, {-HALF, 0, 0}));
    EXPECT_FALSE(hits(PlusX, {-HALF, 0, 1}));
    clearWallRegistry();
    wallThrough({{F(10), 0, F(5)}, {F(40), 0, F(5)}}, {PlusX});
    EXPECT_TRUE(hits(PlusZ, {F(40), 0, F(4)}));
    EXPECT_FALSE(hits(PlusX, {F(40), 0, F(5)}));
    EXPECT_FALSE(hits(Stopped, {F(40), 0, F(4)}));
    sharedState.frameStep = 0; // two frames in one millisecond: nothing can be hit
    EXPECT_FALSE(hits(PlusZ, {F(40), 0, F(4)}));
    sharedState.frameStep = F(2);
    clearWallRegistry();
    EXPECT_FALSE(hits(PlusX, {0, 0, 0}));
    EXPECT_EQ(hitWall, -1) << "no walls at all";
}

TEST_F(CollisionTest, OwnWallPassesItsNewestCornerOnly) {
    // Round a square: down, right, back up, then left along z = 0.
    const int32_t own = wallThrough({{0, 0, 0}, {0, 0, F(-50)}, {F(50), 0, F(-50)}, {F(50), 0, 0}, {F(49), 0, 0}},
                                    {MinusZ, PlusX, PlusZ, MinusX});
    ASSERT_EQ(wallAt(own)->quadCount(), 4);
    // Just past the last corner the second newest quad is within reach and passes.
    EXPECT_FALSE(hits(MinusX, {F(49), 0, 0}, own));
    // Another wall beyond that corner is still examined.
    wallThrough({{F(47) + HALF, 0, F(10)}, {F(47) + HALF, 0, F(-10)}}, {MinusZ});
    EXPECT_TRUE(hits(MinusX, {F(49), 0, 0}, own));
    EXPECT_EQ(hitWall, 1);
    // Reaching the first quad: an older one crashes the bike on its own wall.
    EXPECT_TRUE(hits(MinusX, {F(1), 0, 0}, own));
    EXPECT_EQ(hitWall, own);
    // Seen as somebody else's wall, the corner stops a bike too.
    EXPECT_TRUE(hits(MinusX, {F(49), 0, 0}, -1));
    EXPECT_EQ(hitWall, own);
}

TEST_F(CollisionTest, OlderQuadDecidesWithinAWall) {
    // Two Z-running quads 3 units apart, the older at x = 0, the second newest at x = 3.
    const int32_t own = wallThrough({{0, 0, 0}, {0, 0, F(-50)}, {F(3), 0, F(-50)}, {F(3), 0, 0}, {F(3), 0, 0}},
                                    {MinusZ, PlusX, PlusZ, MinusX});
    EXPECT_TRUE(hits(MinusX, {F(1) + HALF, 0, F(-20)}, own));
    EXPECT_EQ(hitWall, own);
}

TEST_F(CollisionTest, FrozenAndHiddenWallsStopNobody) {
    const int32_t w = wallThrough({{0, 0, 0}, {0, 0, F(-100)}}, {MinusZ});
    wallAt(w)->freeze();
    EXPECT_FALSE(hits(PlusX, {-HALF, 0, F(-50)}));
    wallAt(w)->hide();
    EXPECT_FALSE(hits(PlusX, {-HALF, 0, F(-50)}));
    wallAt(w)->reset({0, 0, 0}, MinusZ);
    wallAt(w)->follow({0, 0, F(-100)});
    EXPECT_TRUE(hits(PlusX, {-HALF, 0, F(-50)}));
}

TEST_F(CollisionTest, LowerWallIndexIsReportedFirst) {
    wallThrough({{HALF, 0, F(10)}, {HALF, 0, F(-10)}}, {MinusZ});
    wallThrough({{-HALF, 0, F(10)}, {-HALF, 0, F(-10)}}, {MinusZ});
    EXPECT_TRUE(hits(PlusX, {-F(1), 0, 0}));
    EXPECT_EQ(hitWall, 0);
    wallAt(0)->freeze();
    EXPECT_TRUE(hits(PlusX, {-F(1), 0, 0}));
    EXPECT_EQ(hitWall, 1);
}

TEST_F(CollisionTest, FarApartCoordinatesDoNotWrap) {
    // 60000 units apart: a 32-bit difference would wrap to about 5536.
    wallThrough({{F(30000), 0, F(10)}, {F(30000), 0, F(-10)}}, {MinusZ});
    sharedState.frameStep = F(6000);
    EXPECT_FALSE(hits(PlusX, {F(-30000), 0, 0}));
    sharedState.frameStep = 0x7FFFFFFF;
    EXPECT_TRUE(hits(PlusX, {F(-2000), 0, 0}));
}

} // namespace
