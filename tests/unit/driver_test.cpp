// The computer drivers on staged positions: walls put where a level must see them, then one
// decision (or a run of frames) and what it chose; the ladder's figures for one seed.
#include <cmath>

#include "bikefixture.h"
#include "driver.h"
#include "ladder.h"
#include "log.h"
#include "platform/settings.h"

namespace {

class DriverTest : public BikeTest {
protected:
    void SetUp() override {
        BikeTest::SetUp();
        // The game's arena: 600 units square about the centre.
        const Fixed bounds[4] = {F(-300), F(-300), F(600), F(600)};
        std::copy(bounds, bounds + 4, arena->root->bounds);
    }
    // A wall of another bike through the points, one quad per leg.
    int32_t wall(std::initializer_list<Vec3> points) {
        const Vec3* p = points.begin();
        const Direction first = legDirection(p[0], p[1]);
        const int32_t index = createWall(p[0], first, 0);
        LightWall* w = wallAt(index);
        for (size_t i = 1; i < points.size(); ++i) {
            w->follow(p[i]);
            if (i + 1 < points.size()) w->turn(p[i], legDirection(p[i], p[i + 1]));
        }
        return index;
    }
    void makeFreshBikes() {
        delete ai;
        delete player;
        makeBikes();
    }
    static Direction legDirection(const Vec3& a, const Vec3& b) {
        if (a.z == b.z) return b.x > a.x ? PlusX : MinusX;
        return b.z > a.z ? PlusZ : MinusZ;
    }
    // The view of a bike of ours at p heading d (its own wall begun there), with one other
    // bike where the player's bike stands or at `other`.
    RaceView view(const Vec3& p, Direction d, const Vec3* other = nullptr, Direction otherDirection = Stopped) {
        ai->position = p;
        ai->steering.direction = d;
        ai->wall()->reset(p, d);
        RaceView v;
        v.count = 2;
        v.self = 1;
        v.arena = arena;
        v.step = sharedState.frameStep;
        v.seats[1] = {p, d, ai->wallIndex, true};
        if (other) {
            player->position = *other;
            player->steering.direction = otherDirection;
            player->wall()->reset(*other, otherDirection);
        }
        v.seats[0] = {player->position, player->steering.direction, player->wallIndex, true};
        return v;
    }
};

Vec3 at(int x, int z) { return {F(x), 0, F(z)}; }

} // namespace

TEST_F(DriverTest, LevelNamesRoundTripWeakestFirst) {
    for (int level = 0; level < LevelCount; ++level) EXPECT_EQ(levelByName(levelName(level)), level);
    EXPECT_EQ(levelByName("classic"), LevelClassic);
    EXPECT_EQ(levelByName("Classic"), -1);
    EXPECT_EQ(levelByName(""), -1);
    EXPECT_EQ(levelNames(), "classic, cautious, wary, territorial");
    EXPECT_EQ(turned(MinusZ, TurnRight), PlusX);
    EXPECT_EQ(turned(MinusX, TurnLeft), PlusZ);
    EXPECT_EQ(turned(Stopped, TurnLeft), Stopped);
}

TEST_F(DriverTest, NoGridLevelDrivesIntoADeadEnd) {
    // A pocket whose mouth is the next cell ahead: 12 units wide (one lane), 100 deep,
    // closed at its far end; the arena on either side is open.
    wall({at(-6, -9), at(-6, -100), at(6, -100), at(6, -9)});
    for (int level : {LevelWary, LevelTerritorial}) {
        SCOPED_TRACE(levelName(level));
        Driver driver(level);
        RaceView v = view(at(0, 0), MinusZ, nullptr);
        const Turn turn = driver.decide(v, v.seats[1].position);
        EXPECT_NE(turn, TurnNone) << "turns away before the pocket";
    }
}

TEST_F(DriverTest, CautiousTurnsFromAWallCloseAheadToTheRoomierSide) {
    // A wall across the way 6 units ahead; to the left (towards minus x) a wall 20 units
    // off, to the right open arena.
    wall({at(-40, -6), at(40, -6)});
    wall({at(-20, 40), at(-20, -40)});
    Driver driver(LevelCautious);
    RaceView v = view(at(0, 0), MinusZ);
    EXPECT_EQ(driver.decide(v, v.seats[1].position), TurnRight);
    // With nothing near ahead it keeps its way.
    clearWallRegistry();
    makeFreshBikes();
    Driver calm(LevelCautious);
    v = view(at(0, 0), MinusZ);
    EXPECT_EQ(calm.decide(v, v.seats[1].position), TurnNone);
}

TEST_F(DriverTest, TerritorialSealsTheGapBeforeTheOtherBikeGetsThrough) {
    // A wall across the arena at z = 200 leaves a gap from x = 280 to the edge. The other
    // bike comes down towards the gap from above; ours, below the wall, can close the gap
    // by turning towards the edge now (left, heading plus z). Straight on it reaches the
    // wall, to the right it leaves the gap to the other bike.
    wall({at(-300, 200), at(280, 200)});
    const Vec3 other = at(290, 240);
    Driver driver(LevelTerritorial);
    RaceView v = view(at(240, 188), PlusZ, &other, MinusZ);
    EXPECT_EQ(driver.decide(v, v.seats[1].position), TurnLeft);
}

TEST_F(DriverTest, AGridLevelTurnsOnlyWhenTheSteeringLetsItAndWaitsForTheBetterSide) {
    // The pocket again, with a wall close on the right: left is the way out. While the
    // steering holds the left turn back (its button was pressed in the frame before) the
    // driver waits a frame, straight on, rather than take the worse side.
    wall({at(-6, -9), at(-6, -100), at(6, -100), at(6, -9)});
    wall({at(9, 60), at(9, -2)});
    Driver driver(LevelWary);
    RaceView v = view(at(0, 0), MinusZ);
    v.canLeft = false;
    EXPECT_EQ(driver.decide(v, v.seats[1].position), TurnNone);
    v.canLeft = true;
    EXPECT_EQ(driver.decide(v, v.seats[1].position), TurnLeft);
}

// Alone in the arena with only its own wall for a minute of game time: a level that can
// lose a race to its own wall does so here.
TEST_F(DriverTest, NoLevelAboveClassicCrashesIntoItsOwnWallAlone) {
    sharedState.frameTime = 0x51E; // 20 ms
    for (int level = LevelCautious; level < LevelCount; ++level) {
        SCOPED_TRACE(levelName(level));
        clearWallRegistry();
        makeFreshBikes();
        ai->setLevel(level);
        ai->position = ai->startPosition = at(0, 0);
        ai->reset();
        sharedState.playerAlive = 0; // the other bike is out: only our wall counts
        sharedState.raceStarted = 1;
        ai->update();
        sharedState.raceStarted = 0;
        long frames = 0;
        for (; frames < 3000 && ai->state == AiDriving; ++frames) ai->update();
        EXPECT_EQ(frames, 3000) << "crashed into " << ai->hitWall;
        EXPECT_GE(ai->wall()->quadCount(), 10) << "6000 units in a 600-unit arena take turns";
    }
    sharedState.playerAlive = 1;
}

TEST(Ladder, SameSeedSameFiguresAnotherSeedOtherStarts) {
    setAppDirFrom(PALVEX_BINARY_DIR "/palvex");
    MatchSettings settings;
    settings.a = LevelCautious;
    settings.b = LevelClassic;
    settings.races = 6;
    settings.seed = 11;
    MatchResult first, second, other;
    std::string error;
    ASSERT_TRUE(runMatch(settings, first, error)) << error;
    ASSERT_TRUE(runMatch(settings, second, error)) << error;
    EXPECT_EQ(first.races, 6);
    EXPECT_EQ(first.aWins + first.bWins + first.draws, first.races);
    EXPECT_EQ(first.aWins, second.aWins);
    EXPECT_EQ(first.bWins, second.bWins);
    EXPECT_EQ(first.frames, second.frames) << "frame for frame the same races";
    EXPECT_DOUBLE_EQ(first.aSurvivalSeconds, second.aSurvivalSeconds);
    settings.seed = 12;
    ASSERT_TRUE(runMatch(settings, other, error)) << error;
    EXPECT_NE(first.frames, other.frames) << "another seed, other starts";
    long causes = 0;
    for (long c : first.aCauses) causes += c;
    for (long c : first.bCauses) causes += c;
    EXPECT_GE(causes, first.aWins + first.bWins) << "every decided race has a crash with its cause";
}

TEST(Ladder, WilsonIntervalAndEloAgreeWithWorkedValues) {
    double low = 0, high = 0;
    wilsonInterval(60, 100, low, high);
    EXPECT_NEAR(low, 0.5020, 0.0005);
    EXPECT_NEAR(high, 0.6906, 0.0005);
    wilsonInterval(0, 10, low, high);
    EXPECT_DOUBLE_EQ(low, 0.0);
    EXPECT_NEAR(high, 0.2775, 0.0005);
    MatchResult r;
    r.races = 100;
    r.aWins = 64;
    r.bWins = 36;
    EXPECT_NEAR(eloDifference(r), 100.0, 1.0);
    r.aWins = 50;
    r.bWins = 30;
    r.draws = 20;
    EXPECT_NEAR(eloDifference(r), 70.4, 0.5) << "a draw is half a win";
    r.aWins = 100;
    r.bWins = r.draws = 0;
    EXPECT_EQ(eloDifference(r), 999);
}

TEST(DriverSettings, TheSettingsFileNamesTheOpponentsLevel) {
    std::vector<std::string> messages;
    platform::Settings s = platform::parseSettings("[game]\nai = Territorial\n", "palvex.ini", messages);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(levelByName(s.aiLevel), LevelTerritorial) << "any case, as the file's other words";
    s = platform::parseSettings("", "palvex.ini", messages);
    EXPECT_EQ(levelByName(s.aiLevel), LevelClassic) << "the default";
    // The file the game writes when there is none names the default and every level.
    const std::string text = platform::defaultSettingsText();
    EXPECT_NE(text.find("[game]\n"), std::string::npos);
    EXPECT_NE(text.find("ai = classic\n"), std::string::npos);
    EXPECT_NE(text.find(levelNames().substr(levelNames().find("cautious"), 8)), std::string::npos);
}
