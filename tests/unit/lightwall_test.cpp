// The light wall: its quads, colours, growth, drawing, sinking and states.
#include <GLES/gl.h>
#include <cstdlib>
#include <cstring>

#include "bikefixture.h"
#include "crtrand.h"
#include "log.h"

namespace {

using Row = std::vector<Fixed>;

const Fixed* vertexOf(const LightWall& wall, int quad, int v) { return &wall.vertices[(quad * 6 + v) * 3]; }
const Fixed* colourOf(const LightWall& wall, int quad, int v) { return &wall.colours[(quad * 6 + v) * 4]; }
// One coordinate (0 x, 1 y, 2 z) of a quad's six vertices. The top is 0, 2 and 5; the far end 2, 4 and 5.
Row coordinate(const LightWall& wall, int quad, int axis) {
    Row out;
    for (int v = 0; v < 6; ++v) out.push_back(vertexOf(wall, quad, v)[axis]);
    return out;
}

// The colours a wall seeded with this tick must get: three draws per quad.
Row expectedColours(unsigned seed) {
    crt::srand(seed);
    Row rgb;
    for (int i = 0; i < LightWall::colouredQuads * 3; ++i)
        rgb.push_back(static_cast<Fixed>(static_cast<float>(crt::rand() % 256) * 257.00394f));
    return rgb;
}

class LightWallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensurePlatform());
        clearWallRegistry();
        sharedState.frameTime = 0;
    }
    void TearDown() override {
        clearWallRegistry();
        LightWall::vertexLimit = 1 << 28;
    }
    // A wall from (0, 0, 0) with n quads, the k-th turn taken at (k, 0, -k).
    LightWall& wallWithQuads(int quads) {
        LightWall& wall = *wallAt(createWall({0, 0, 0}, MinusZ, 0));
        for (int k = 1; k < quads; ++k) wall.turn({F(k), 0, F(-k)}, k % 2 ? PlusX : MinusZ);
        return wall;
    }
};

TEST_F(LightWallTest, ColoursComeFromTheTickCountSeed) {
    const uint32_t tick = 123457;
    createWall({0, 0, 0}, MinusZ, tick);
    createWall({F(5), 0, 0}, MinusZ, tick);
    const Row rgb = expectedColours(tick);
    const LightWall& first = *wallAt(0);
    for (int quad : {0, LightWall::colouredQuads - 1}) {
        for (int v = 0; v < 6; ++v) {
            const Fixed* c = colourOf(first, quad, v);
            ASSERT_EQ(Row(c, c + 4), (Row{rgb[quad * 3], rgb[quad * 3 + 1], rgb[quad * 3 + 2], 0})) << quad;
            ASSERT_EQ(0, std::memcmp(c, colourOf(*wallAt(1), quad, v), 4 * sizeof(Fixed))) << "same tick, same colours";
        }
    }
    // From the 501st quad on, quads are black.
    for (int i = LightWall::colouredQuads * 24; i < 2000 * 24; ++i) ASSERT_EQ(first.colours[i], 0) << i / 24;
}

TEST_F(LightWallTest, TurnClosesTheQuadAndOpensTheNext) {
    LightWall& wall = *wallAt(createWall({F(1), F(4), F(2)}, MinusZ, 0));
    wall.follow({F(1), F(4), F(-30)}); // far end follows the bike
    EXPECT_EQ(coordinate(wall, 0, 2), (Row{F(2), F(2), F(-30), F(2), F(-30), F(-30)}));

    wall.turn({F(1), F(4), F(-40)}, PlusX);
    EXPECT_EQ(wall.vertexCount, 12);
    EXPECT_EQ(wallDirections(wall), (std::vector<int>{MinusZ, PlusX}));
    EXPECT_EQ(wall.wallState, WallGrowing);
    EXPECT_EQ(coordinate(wall, 0, 2), (Row{F(2), F(2), F(-40), F(2), F(-40), F(-40)}));
    // Until the next extend the new far end is the old far end as it was before the turn.
    EXPECT_EQ(coordinate(wall, 1, 2), (Row{F(-40), F(-40), F(-30), F(-40), F(-30), F(-30)}));
    EXPECT_EQ(coordinate(wall, 1, 1), (Row{F(24), F(4), F(24), F(4), F(4), F(24)}));
    wall.follow({F(20), F(4), F(-40)});
    EXPECT_EQ(coordinate(wall, 1, 0), (Row{F(1), F(1), F(20), F(1), F(20), F(20)}));
    EXPECT_EQ(coordinate(wall, 0, 0), Row(6, F(1))) << "closed quads stay where they were";
}

TEST_F(LightWallTest, GrowsAtTheFiveHundredAndFirstQuadAndColoursKeepUp) {
    LightWall& wall = wallWithQuads(500);
    EXPECT_EQ(wall.capacity, 3000);
    wall.turn({F(500), 0, F(-500)}, MinusZ);
    EXPECT_EQ(wall.vertexCount, 3006);
    EXPECT_EQ(wall.capacity, 6000);
    EXPECT_EQ(wall.vertexRoom(), 18000);
    for (int k : {1, 500}) {
        EXPECT_EQ(vertexOf(wall, k, 0)[0], F(k)) << "quad " << k;
        EXPECT_EQ(vertexOf(wall, k - 1, 2)[2], F(-k)) << "quad " << k - 1;
        EXPECT_EQ(wall.segmentDirections[k], k % 2 ? PlusX : MinusZ);
    }
    LightWall& long_ = wallWithQuads(2600);
    EXPECT_EQ(long_.capacity, 24000);
    EXPECT_GE(long_.colourRoom(), long_.capacity) << "drawing reads one colour per vertex";
    const Row rgb = expectedColours(platform::get().tickCount());
    EXPECT_EQ(colourOf(long_, 499, 5)[2], rgb[499 * 3 + 2]) << "coloured quads survive the growth";
    for (int i = 2000 * 24; i < long_.vertexCount * 4; ++i) ASSERT_EQ(long_.colours[i], 0);
}

TEST_F(LightWallTest, RefusedGrowthDropsTheTurnAndReportsOnce) {
    LightWall::vertexLimit = 9000;
    LightWall& wall = wallWithQuads(500);
    ::testing::internal::CaptureStderr();
    wall.turn({F(900), 0, 0}, PlusX);
    wall.turn({F(901), 0, 0}, MinusZ);
    const std::string reported = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(wall.vertexCount, 3000);
    EXPECT_EQ(wall.directionCount(), 500);
    EXPECT_EQ(wall.capacity, 3000);
    EXPECT_EQ(vertexOf(wall, 499, 0)[0], F(499));
    EXPECT_EQ(vertexOf(wall, 499, 2)[0], 0) << "the newest quad is not closed at a dropped turn";
    const size_t first = reported.find("Not enough memory");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(reported.find("Not enough memory", first + 1), std::string::npos);
}

TEST_F(LightWallTest, SinkTakesFiveSecondsOfFrameTime) {
    LightWall& wall = wallWithQuads(3);
    sharedState.frameTime = 0xCCC; // 0.05 s: a step of 13104 raw units
    int sinking = 0;
    while (!wall.sink()) ASSERT_LT(++sinking, 1000);
    EXPECT_EQ(sinking, 100); // 100 frames of 0.05 s, the 101st finds it gone
    const Row y = coordinate(wall, 2, 1);
    EXPECT_TRUE(y[0] >= 0 && y[0] < 13104 && y[5] == y[0]) << y[0];
    EXPECT_EQ(y[1] | y[3] | y[4], 0) << "bottoms stay";
    const Fixed top = vertexOf(wall, 2, 5)[1];
    for (int frame = 0; frame < 3; ++frame) EXPECT_TRUE(wall.sink());
    EXPECT_EQ(vertexOf(wall, 2, 5)[1], top) << "a sunk wall changes no more";

    sharedState.frameTime = FIXED_ONE;
    LightWall& other = *wallAt(createWall({0, 0, 0}, MinusZ, 0));
    for (int second = 0; second < 5; ++second) EXPECT_FALSE(other.sink()) << second;
    EXPECT_TRUE(other.sink());
}

// The culling boxes of the blocks of 32 quads: each holds every vertex of its block as the
// wall is now, whatever moved them.
TEST_F(LightWallTest, BlockBoxesHoldTheirQuadsAsTheWallChanges) {
    auto same = [](const Vec3& low, const Vec3& high, const WallBlock& box) {
        return box.low == low && box.high == high;
    };
    LightWall& wall = wallWithQuads(40); // quad k from (k, 0, -k) to (k + 1, 0, -k - 1)
    ASSERT_EQ(wall.blockCount(), 2);
    EXPECT_TRUE(same({0, 0, F(-32)}, {F(32), F(20), 0}, wall.blockBox(0)));
    wall.follow({F(60), 0, F(-39)});
    EXPECT_EQ(wall.blockBox(1).high.x, F(60)) << "the growing quad is measured at every draw";

    // A turn closes the last quad of a block whose box was already taken.
    LightWall& full = wallWithQuads(32);
    full.follow({F(35), 0, F(-31)});
    EXPECT_EQ(full.blockBox(0).high.x, F(35));
    full.turn({F(45), 0, F(-31)}, MinusZ);
    EXPECT_EQ(full.blockCount(), 2);
    EXPECT_EQ(full.blockBox(0).high.x, F(45));

    // Sinking lowers the tops, a reset leaves one quad, a loaded state brings its own.
    sharedState.frameTime = FIXED_ONE;
    full.sink();
    EXPECT_EQ(full.blockBox(0).high.y, F(16));
    full.reset({F(7), 0, F(8)}, PlusX);
    EXPECT_EQ(full.blockCount(), 1);
    EXPECT_TRUE(same({F(7), 0, F(8)}, {F(7), F(20), F(8)}, full.blockBox(0)));
    ASSERT_TRUE(full.makeRoom(12));
    for (int v = 6; v < 12; ++v) full.vertices[v * 3 + 2] = F(-300);
    full.restoreCounts(WallFrozen, 12, 2);
    EXPECT_EQ(full.blockBox(0).low.z, F(-300));

    // Boxes keep up with growth past the first arrays.
    LightWall& grown = wallWithQuads(600);
    grown.follow({F(600), 0, F(-600)});
    ASSERT_EQ(grown.blockCount(), 19);
    EXPECT_TRUE(same({F(576), 0, F(-600)}, {F(600), F(20), F(-576)}, grown.blockBox(18)));
}

TEST_F(LightWallTest, RestartHideResetAndFreeze) {
    LightWall& wall = wallWithQuads(4);
    wall.restart(MinusX);
    EXPECT_EQ(wallDirections(wall), (std::vector<int>{MinusZ, PlusX, MinusZ, MinusX}));

    wall.freeze();
    EXPECT_EQ(wall.wallState, WallFrozen);
    const Fixed farX = vertexOf(wall, 3, 2)[0];
    wall.follow({F(77), 0, F(77)});
    EXPECT_EQ(vertexOf(wall, 3, 2)[0], farX) << "a frozen wall no longer follows its bike";

    wall.hide();
    EXPECT_EQ(wall.vertexCount, 0);
    EXPECT_EQ(wall.wallState, WallHidden);
    wall.follow({F(5), 0, F(5)});
    EXPECT_EQ(vertexOf(wall, 0, 2)[0], F(1)) << "a hidden wall is not extended";
    wall.restart(PlusZ);
    EXPECT_EQ(wall.directionCount(), 0);
    wall.turn({F(6), 0, 0}, PlusX);
    EXPECT_EQ(wall.vertexCount, 0) << "an empty wall has no corner to turn at";

    wall.reset({F(9), 0, F(8)}, MinusZ);
    EXPECT_EQ(wall.wallState, WallGrowing);
    EXPECT_EQ(wallDirections(wall), std::vector<int>{MinusZ});
    EXPECT_EQ(coordinate(wall, 0, 1), (Row{F(20), 0, F(20), 0, 0, F(20)}));
}

} // namespace
