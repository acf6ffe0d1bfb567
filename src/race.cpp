#include "race.h"

#include <GLES/gl.h>

#include "aibike.h"
#include "arenatree.h"
#include "bike.h"
#include "camera.h"
#include "collision.h"
#include "frametimer.h"
#include "lightwall.h"
#include "materialmanager/materialmanager.h"
#include "model.h"
#include "platform/platform.h"
#include "sharedstate.h"
#include "sound.h"

const Fixed opponentColours[3][4] = {
    {0x10000, 0x7272, 0, 0x10000},
    {0xE2E2, 0, 0x8A8A, 0x10000},
    {0, 0x8989, 0xD2D2, 0x10000},
};

const Fixed playerColour[4] = {0x10000, 0xDFDF, 0, 0x10000};

namespace {

struct OpponentSlot {
    const char* model;
    Vec3 start;
};

const OpponentSlot opponentSlots[3] = {
    {"moto2.ase", {0, 0, -0x5A0000}},
    {"moto3.ase", {-0x5A0000, 0, 0}},
    {"moto4.ase", {0x5A0000, 0, 0}},
};

// The bike models' first object is drawn textured only at high detail.
void applyDetail(Bike* bike) {
    if (bike && bike->model && !bike->model->objects.empty())
        bike->model->objects[0]->hasTexCoords = sharedState.options.detail == 2 ? 1 : 0;
}

} // namespace

Race::Race() : camera(new Camera()) {}

Race::~Race() {
    if (arena || player) teardown();
    delete camera;
}

void Race::placeAtStart() {
    camera->lookAt(-0x50000, 0x3C0000, 0xD20000, 0, 0, 0x5A0000, 0, 0x10000, 0);
}

void Race::setup() {
    materialMark = materialManager.mark();
    opponentCount = sharedState.options.opponentChoice + 1;
    glLoadIdentity();
    placeAtStart();
    arena = new ArenaTree("arena.ase", camera);
    arena->textured = sharedState.options.detail >= 1 ? 1 : 0;
    // Each wall's colours are seeded with the tick count when its bike is made.
    player = new PlayerBike("moto1.ase", arena, camera, platform::get().tickCount());
    applyDetail(player);
    for (int slot = 0; slot < 3; ++slot) {
        if (slot > sharedState.options.opponentChoice) break;
        aiBikes[slot] = new AiBike(opponentSlots[slot].model, arena, opponentSlots[slot].start, player,
                                   platform::get().tickCount());
        applyDetail(aiBikes[slot]);
        aiBikes[slot]->setLevel(sharedState.aiLevel);
    }
    scoredCount = 0;
    killer = NO_CRASH_THIS_FRAME;
    // The first frame would otherwise measure the whole time spent in the menu; harmless
    // while every bike stands, but a turn key already held in that frame starts the race
    // with a step of hundreds of units and throws the opponents off the arena.
    frameTimerStart();
}

void Race::runFrame() {
    frameTimerTick();
    runFrameAfterTimer();
}

void Race::runFrameAt(uint32_t tick) {
    frameTimerTickAt(tick);
    runFrameAfterTimer();
}

void Race::runFrameAfterTimer() {
    camera->update();
    if (drawing) {
        glLoadIdentity();
        camera->apply();
    }

    if (drawing && sharedState.options.detail < 2)
        glColor4x(playerColour[0], playerColour[1], playerColour[2], playerColour[3]);
    player->update();
    if (drawing && player->drawnThisFrame) player->draw(*camera);

    scoredCount = 0;
    killer = NO_CRASH_THIS_FRAME;
    int32_t hitWall = HIT_ARENA_EDGE;
    if (sharedState.playerAlive && player->collide(hitWall)) {
        killer = hitWall;
        if (hitWall > PLAYER_WALL) sharedState.scores[hitWall - 1] += 1;
        else if (hitWall == PLAYER_WALL) sharedState.scores[PLAYER_SCORE_SLOT] -= 1;
        for (int slot = 0; slot < 3; ++slot)
            if (aiBikes[slot] && aiBikes[slot]->state == AiDriving) sharedState.scores[slot] += 2;
        player->crash();
        stopEngine();
        playCrash();
        camera->lookAt(0x140000, 0x280000, 0xA00000, 0, 0, 0, 0, 0x10000, 0);
    }

    for (int slot = 0; slot < 3; ++slot) {
        AiBike* bike = aiBikes[slot];
        if (!bike) continue;
        if (drawing && sharedState.options.detail < 2)
            glColor4x(opponentColours[slot][0], opponentColours[slot][1], opponentColours[slot][2],
                      opponentColours[slot][3]);
        bike->update();
        if (drawing && bike->drawnThisFrame) bike->draw(*camera);
        if (bike->state == AiOut) {
            const int32_t k = bike->hitWall;
            if (k == PLAYER_WALL) sharedState.scores[PLAYER_SCORE_SLOT] += 1;
            else if (k - 1 == slot) sharedState.scores[slot] -= 1;
            else if (k > PLAYER_WALL) sharedState.scores[k - 1] += 1;
            bike->state = AiScored;
            if (sharedState.playerAlive) sharedState.scores[PLAYER_SCORE_SLOT] += 2;
            for (int other = 0; other < 3; ++other)
                if (aiBikes[other] && aiBikes[other]->state == AiDriving) sharedState.scores[other] += 2;
        }
        if (bike->state == AiScored) ++scoredCount;
    }

    if (scoredCount == opponentCount) restartRace();

    if (drawing) arena->draw(*camera);
}

void Race::restartRace() {
    placeAtStart();
    playMenuLoop();
    player->reset();
    for (AiBike* bike : aiBikes)
        if (bike) bike->reset();
}

void Race::teardown() {
    playMenuLoop();
    delete arena;
    arena = nullptr;
    delete player;
    player = nullptr;
    for (AiBike*& bike : aiBikes) {
        delete bike;
        bike = nullptr;
    }
    for (int32_t& score : sharedState.scores) score = 0;
    clearWallRegistry();
    if (materialMark >= 0) materialManager.dropSince(materialMark);
    materialMark = -1;
    killer = NO_CRASH_THIS_FRAME;
    scoredCount = 0;
}
