// Races of several players on one machine, run in process with a virtual clock: who sits
// where, whose keys move which bike, how crashes are scored and when a round ends. Crashes
// are staged by carrying a human's camera (its bike rides on it) next to a wall or an edge.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "aibike.h"
#include "application.h"
#include "bike.h"
#include "camera.h"
#include "collision.h"
#include "lightwall.h"
#include "log.h"
#include "platform/message.h"
#include "race.h"
#include "sharedstate.h"
#include "sound.h"
#include "testplatform.h"
#include "racefixture.h"
#include "window.h"

namespace {

class VersusTest : public RaceFixture {
protected:
    void TearDown() override {
        RaceFixture::TearDown();
        recordSoundCalls(false);
        soundReady = 0;
        sharedState.options.soundOn = 0;
    }
    void enter(int players, int opponents) {
        sharedState.players = players;
        sharedState.versusOpponents = opponents;
        toggleMode();
        ASSERT_EQ(sharedState.inGame, 1);
    }
    // A key of a player as the platform sends it (player 0: a key of nobody's binding).
    static void key(bool down, uint32_t virtualKey, int player) {
        windowProc(nullptr, down ? platform::MsgKeyDown : platform::MsgKeyUp, virtualKey,
                   player ? platform::keyOfPlayer(player, virtualKey) : 0);
    }
    void tap(uint32_t virtualKey, int player) {
        key(true, virtualKey, player);
        frame();
        key(false, virtualKey, player);
        frame();
    }
    // Carries seat s's bike to (x, z), travelling d.
    void carry(int seat, Fixed x, Fixed z, Direction d) {
        Camera& camera = *race->seatCameras[seat];
        const Fixed dx = x - camera.centre.x, dz = z - camera.centre.z;
        camera.centre.x += dx;
        camera.centre.z += dz;
        camera.eye.x += dx;
        camera.eye.z += dz;
        race->seats[seat]->position = camera.centre;
        race->seats[seat]->steering.direction = d;
    }
    static std::vector<int32_t> scores() { return std::vector<int32_t>(sharedState.scores, sharedState.scores + 4); }
};

} // namespace

TEST_F(VersusTest, EveryHumanSitsFacingTheCentreWithACameraOfItsOwn) {
    enter(3, 1);
    ASSERT_EQ(race->humans, 3);
    ASSERT_EQ(race->opponentCount, 1);
    const Vec3 starts[3] = {{0, 0, F(90)}, {0, 0, F(-90)}, {F(-90), 0, 0}};
    const Direction facing[3] = {MinusZ, PlusZ, PlusX};
    for (int seat = 0; seat < 3; ++seat) {
        SCOPED_TRACE(seat);
        ASSERT_NE(race->seats[seat], nullptr);
        EXPECT_EQ(race->seats[seat]->position, starts[seat]);
        EXPECT_EQ(race->seatCameras[seat]->centre, starts[seat]) << "the camera carries the bike";
        EXPECT_EQ(race->seats[seat]->wallIndex, seat) << "bike b owns wall b";
        EXPECT_EQ(race->seats[seat]->steering.startDirection, facing[seat]);
        EXPECT_EQ(race->seats[seat]->heading, headingOf(facing[seat]));
        // The eye stands behind the bike, 120 back along the way it faces.
        const Vec3& d = race->seats[seat]->steering.directions[facing[seat]];
        const Vec3& eye = race->seatCameras[seat]->eye;
        EXPECT_EQ(FixedMul(eye.x - starts[seat].x, d.x) + FixedMul(eye.z - starts[seat].z, d.z), F(-120));
    }
    EXPECT_EQ(race->seats[0], race->player);
    EXPECT_EQ(race->seatCameras[0], race->camera);
    EXPECT_EQ(race->aiBikes[0], nullptr);
    EXPECT_EQ(race->aiBikes[1], nullptr);
    ASSERT_NE(race->aiBikes[2], nullptr) << "the computer bike takes the seat left";
    EXPECT_EQ(race->aiBikes[2]->wallIndex, 3);
    EXPECT_EQ(race->aiBikes[2]->position, (Vec3{F(90), 0, 0}));
}

TEST_F(VersusTest, OpponentsAreCappedBySeatsAndTheOptionsCountIsTheDefault) {
    sharedState.options.opponentChoice = 2;
    enter(2, -1);
    EXPECT_EQ(race->opponentCount, 2) << "three from the options, two seats left";
    toggleMode();
    enter(4, 3);
    EXPECT_EQ(race->opponentCount, 0);
    for (AiBike* bike : race->aiBikes) EXPECT_EQ(bike, nullptr);
}

TEST_F(VersusTest, EachPlayersKeysMoveOnlyTheirOwnBike) {
    enter(2, 0);
    // Player 2's cursor keys: the first press sets every bike going, player 2's turns none.
    tap(platform::VK_LEFT, 2);
    EXPECT_EQ(race->seats[0]->steering.direction, MinusZ);
    EXPECT_EQ(race->seats[1]->steering.direction, PlusZ);
    tap(platform::VK_LEFT, 2);
    EXPECT_EQ(race->seats[1]->steering.direction, PlusX) << "left of PlusZ";
    EXPECT_EQ(race->seats[0]->steering.direction, MinusZ) << "player 1 did not move";
    EXPECT_EQ(sharedState.buttonHeld[ButtonLeft], 0);
    // Player 1's A, and a key of nobody's binding, which counts as player 1's.
    tap(platform::VK_A, 1);
    EXPECT_EQ(race->seats[0]->steering.direction, MinusX);
    tap(platform::VK_D, 0);
    EXPECT_EQ(race->seats[0]->steering.direction, MinusZ);
    EXPECT_EQ(race->seats[1]->steering.direction, PlusX) << "player 2 did not move";
    // Both at once, held together: each turns once, on its own keys.
    key(true, platform::VK_D, 1);
    key(true, platform::VK_RIGHT, 2);
    frames(3);
    key(false, platform::VK_D, 1);
    key(false, platform::VK_RIGHT, 2);
    frame();
    EXPECT_EQ(race->seats[0]->steering.direction, PlusX);
    EXPECT_EQ(race->seats[1]->steering.direction, PlusZ);
    // A player without a seat in this race moves nobody.
    tap(platform::VK_LEFT, 3);
    EXPECT_EQ(race->seats[0]->steering.direction, PlusX);
    EXPECT_EQ(race->seats[1]->steering.direction, PlusZ);
}

TEST_F(VersusTest, TheOnePlayerGameTakesEveryPlayersKeysAsItsOwn) {
    enter(1, -1);
    tap(platform::VK_RIGHT, 2);
    EXPECT_EQ(race->player->steering.direction, MinusZ);
    tap(platform::VK_LEFT, 2);
    EXPECT_EQ(race->player->steering.direction, MinusX) << "the cursor keys stay the one player's";
}

TEST_F(VersusTest, TheFirstPressSetsEveryBikeGoingAtOnce) {
    enter(3, 1);
    tap(platform::VK_RIGHT, 2);
    for (int seat = 0; seat < 3; ++seat) {
        EXPECT_EQ(race->seats[seat]->steering.direction, race->seats[seat]->steering.startDirection) << seat;
        EXPECT_GT(race->seats[seat]->wall()->quadCount(), 0);
    }
    EXPECT_EQ(race->aiBikes[2]->started, 1);
    const Direction aiDirection = race->aiBikes[2]->steering.direction;
    // A later first press of another player is a turn, not a second start.
    const int32_t quads = race->aiBikes[2]->wall()->quadCount();
    tap(platform::VK_D, 1);
    EXPECT_EQ(race->seats[0]->steering.direction, PlusX);
    EXPECT_TRUE(race->aiBikes[2]->steering.direction != aiDirection || race->aiBikes[2]->wall()->quadCount() >= quads)
        << "the computer bike did not leave its start again";
    EXPECT_EQ(race->aiBikes[2]->started, 1);
}

TEST_F(VersusTest, APressAFrameAfterAnotherPlayersStartIsAStartNotATurn) {
    enter(2, 0);
    key(true, platform::VK_RIGHT, 2);
    frame();
    key(true, platform::VK_D, 1);
    frames(3);
    EXPECT_EQ(race->seats[0]->steering.direction, MinusZ) << "player 1's late start turned the bike";
    key(false, platform::VK_D, 1);
    key(false, platform::VK_RIGHT, 2);
    frame();
    tap(platform::VK_D, 1);
    EXPECT_EQ(race->seats[0]->steering.direction, PlusX) << "the next press turns";
    EXPECT_EQ(race->seats[1]->steering.direction, PlusZ);
}

TEST_F(VersusTest, AHumansCrashScoresTheWallsOwnerAndEverySurvivor) {
    enter(3, 1);
    tap(platform::VK_RIGHT, 2);
    frames(10);
    // Player 3 drives across player 1's wall, which runs along x = 0 behind player 1.
    const Fixed wallZ = race->seats[0]->position.z + F(12);
    carry(2, -F(0.8), wallZ, PlusX);
    frame();
    EXPECT_EQ(race->seats[2]->playerAlive, 0);
    // Player 1 owns the wall: 1 + 2; player 2 and the computer bike survive: 2 each.
    EXPECT_EQ(scores(), (std::vector<int32_t>{2, 0, 2, 3}));
    EXPECT_EQ(sharedState.playerAlive, 1) << "two humans still drive";
    // Its own wall (older than the two newest quads, which never stop a bike): -1 for
    // player 2, 2 for player 1 and the computer bike, none for player 3.
    const Fixed ownZ = race->seats[1]->position.z - F(12);
    tap(platform::VK_LEFT, 2);
    frames(3);
    tap(platform::VK_RIGHT, 2);
    ASSERT_EQ(race->seats[1]->steering.direction, PlusZ);
    carry(1, -F(0.8), ownZ, PlusX);
    frame();
    EXPECT_EQ(race->seats[1]->playerAlive, 0);
    EXPECT_EQ(scores(), (std::vector<int32_t>{1, 0, 4, 5}));
}

TEST_F(VersusTest, HumansCrashingInOneFrameScoreNothingOffEachOtherAndTheComputerBikesRaceOn) {
    enter(2, 2);
    tap(platform::VK_RIGHT, 1);
    frames(5);
    // Both over the arena's edge in the same frame.
    carry(0, F(-299.5), race->seats[0]->position.z, MinusX);
    carry(1, F(299.5), race->seats[1]->position.z, PlusX);
    frame();
    EXPECT_EQ(race->seats[0]->playerAlive, 0);
    EXPECT_EQ(race->seats[1]->playerAlive, 0) << "two computer bikes still drive: no restart";
    EXPECT_EQ(scores(), (std::vector<int32_t>{0, 4, 4, 0})) << "only the computer bikes survived both";
    EXPECT_EQ(sharedState.playerAlive, 0) << "the fast clock runs once every human is out";
    // They drive on until one is out and scored; the humans' frozen walls stop nobody.
    int framesRun = 0;
    while (race->seats[0]->playerAlive == 0 && framesRun < 20000) {
        frame();
        ++framesRun;
    }
    ASSERT_LT(framesRun, 20000) << "the round never ended";
    const std::vector<int32_t> s = scores();
    EXPECT_EQ(s[3] + s[0], 0) << "the humans got nothing after they were out";
    EXPECT_EQ(race->seats[1]->steering.direction, Stopped) << "a new round waits for the first press";
}

TEST_F(VersusTest, ARoundRestartsWhenOneBikeIsLeftAndKeepsTheScores) {
    enter(2, 0);
    tap(platform::VK_RIGHT, 1);
    frames(5);
    carry(1, F(299.5), race->seats[1]->position.z, PlusX);
    frame();
    EXPECT_EQ(scores(), (std::vector<int32_t>{0, 0, 0, 2}));
    // Restarted within the frame: both wait at their starts again.
    for (int seat = 0; seat < 2; ++seat) {
        EXPECT_EQ(race->seats[seat]->playerAlive, 1);
        EXPECT_EQ(race->seats[seat]->steering.direction, Stopped);
    }
    EXPECT_EQ(race->seats[1]->position, (Vec3{0, 0, F(-90)}));
    // Leaving to the menu clears them.
    toggleMode();
    EXPECT_EQ(scores(), (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST_F(VersusTest, TheEngineRunsWhileAnyHumanDrivesAndEveryCrashIsHeard) {
    enter(3, 0);
    soundReady = 1;
    sharedState.options.soundOn = 1;
    recordSoundCalls(true);
    tap(platform::VK_RIGHT, 1);
    frames(5);
    takeSoundCalls();
    carry(2, F(299.5), race->seats[2]->position.z, PlusX);
    frame();
    using Calls = std::vector<std::string>;
    EXPECT_EQ(takeSoundCalls(), (Calls{"play free none"})) << "a crash, the engine left running";
    carry(1, F(-299.5), race->seats[1]->position.z, MinusX);
    frame();
    EXPECT_EQ(takeSoundCalls(), (Calls{"play free none", "stop 1", "play 0 none"}))
        << "the crash, then the next round's menu loop";
}

TEST_F(VersusTest, ViewsSplitTheAreaWithoutGapsOrOverlaps) {
    const ViewRect wide{0, 0, 1920, 1080}, tall{0, 0, 240, 294};
    ViewRect v[MAX_SEATS];
    ASSERT_EQ(Race::layoutViews(2, wide, v), 2);
    EXPECT_EQ(v[0].x, 0);
    EXPECT_EQ(v[1].x, 960) << "side by side on a wide screen";
    EXPECT_EQ(v[0].height, 1080);
    ASSERT_EQ(Race::layoutViews(2, tall, v), 2);
    EXPECT_GT(v[0].y, v[1].y) << "player 1 above player 2 in a tall window";
    EXPECT_EQ(v[0].width, 240);
    for (int humans : {2, 3, 4}) {
        for (const ViewRect& area : {wide, tall, ViewRect{7, 3, 1001, 667}}) {
            const int n = Race::layoutViews(humans, area, v);
            long covered = 0;
            for (int i = 0; i < n; ++i) {
                covered += static_cast<long>(v[i].width) * v[i].height;
                EXPECT_GE(v[i].x, area.x);
                EXPECT_GE(v[i].y, area.y);
                EXPECT_LE(v[i].x + v[i].width, area.x + area.width);
                EXPECT_LE(v[i].y + v[i].height, area.y + area.height);
                for (int j = 0; j < i; ++j) {
                    const bool apart = v[i].x >= v[j].x + v[j].width || v[j].x >= v[i].x + v[i].width ||
                                       v[i].y >= v[j].y + v[j].height || v[j].y >= v[i].y + v[i].height;
                    EXPECT_TRUE(apart) << humans << " players: views " << i << " and " << j << " overlap";
                }
            }
            EXPECT_EQ(covered, static_cast<long>(area.width) * area.height) << humans << " players leave a gap";
        }
    }
}

TEST_F(VersusTest, APadUnpluggedInARacePausesItAndSaysWhose) {
    enter(2, 0);
    tap(platform::VK_RIGHT, 1);
    windowProc(nullptr, platform::MsgGamepadRemoved, 2, 0);
    EXPECT_NE(sharedState.paused & PAUSED_BY_KEY, 0);
    EXPECT_EQ(sharedState.padUnplugged, 2);
    // The pause key goes on, and the picture no longer names the pad.
    windowProc(nullptr, platform::MsgKeyDown, platform::VK_PAUSE, 0);
    EXPECT_EQ(sharedState.paused, 0);
    EXPECT_EQ(sharedState.padUnplugged, 0);
    // In the menu a pad coming out pauses nothing.
    toggleMode();
    windowProc(nullptr, platform::MsgGamepadRemoved, 1, 0);
    EXPECT_EQ(sharedState.paused, 0);
    EXPECT_EQ(sharedState.padUnplugged, 0);
}

TEST_F(VersusTest, APlayerWhoLeftCrashesOutAndStaysOut) {
    enter(3, 0);
    tap(platform::VK_RIGHT, 1);
    race->seatLeaves(2);
    frame();
    EXPECT_EQ(race->seats[2]->playerAlive, 0);
    EXPECT_EQ(scores(), (std::vector<int32_t>{2, 0, 0, 2})) << "as off the edge: the two others survive it";
    // Player 2 crashes: the round restarts without the player who left.
    carry(1, F(299.5), race->seats[1]->position.z, PlusX);
    frame();
    EXPECT_EQ(race->seats[0]->playerAlive, 1);
    EXPECT_EQ(race->seats[1]->playerAlive, 1);
    EXPECT_EQ(race->seats[2]->playerAlive, 0) << "gone for good";
    race->seatLeaves(0);
    EXPECT_EQ(race->seats[0]->gone, 0) << "the host's seat never leaves: its leaving ends the race";
}
