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
#include "menu/menu.h"
#include "model.h"
#include "platform/platform.h"
#include "renderingcontext.h"
#include "sharedstate.h"
#include "sound.h"

const Fixed opponentColours[3][4] = {
    {0x10000, 0x7272, 0, 0x10000},
    {0xE2E2, 0, 0x8A8A, 0x10000},
    {0, 0x8989, 0xD2D2, 0x10000},
};

const Fixed playerColour[4] = {0x10000, 0xDFDF, 0, 0x10000};

const Fixed* bikeColour(int b) { return b <= 0 ? playerColour : opponentColours[(b - 1) % 3]; }

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

void nextRaceMakeUp(int32_t& humans, int32_t& opponents) {
    humans = sharedState.players < 1 ? 1 : sharedState.players > MAX_SEATS ? MAX_SEATS : sharedState.players;
    opponents = computerBikes(humans, sharedState.versusOpponents, sharedState.options.opponentChoice);
}

Race::Race() : camera(new Camera()) {}

Race::~Race() {
    if (arena || player) teardown();
    delete camera;
}

Bike* Race::bike(int b) const {
    if (b < 0 || b >= MAX_SEATS) return nullptr;
    if (b < humans) return seats[b];
    return aiBikes[b - 1];
}

int Race::scoreSlot(int b) { return b == 0 ? PLAYER_SCORE_SLOT : b - 1; }

bool Race::driving(int b) const {
    if (b < 0 || b >= MAX_SEATS) return false;
    if (b < humans) return seats[b] && seats[b]->playerAlive;
    return aiBikes[b - 1] && aiBikes[b - 1]->state == AiDriving;
}

void Race::placeAtStart(int seat) {
    const Vec3 eye = seatPoint(seat, -0x50000, 0x3C0000, 0xD20000);
    const Vec3 centre = seatPoint(seat, 0, 0, 0x5A0000);
    seatCameras[seat]->lookAt(eye.x, eye.y, eye.z, centre.x, centre.y, centre.z, 0, 0x10000, 0);
}

void Race::placeAfterCrash(int seat) {
    const Vec3 eye = seatPoint(seat, 0x140000, 0x280000, 0xA00000);
    seatCameras[seat]->lookAt(eye.x, eye.y, eye.z, 0, 0, 0, 0, 0x10000, 0);
}

void Race::setup() {
    materialMark = materialManager.mark();
    nextRaceMakeUp(humans, opponentCount);
    seatCameras[0] = camera;
    glLoadIdentity();
    placeAtStart(0);
    arena = new ArenaTree("arena.ase", camera);
    arena->textured = sharedState.options.detail >= 1 ? 1 : 0;
    // Each wall's colours are seeded with the tick count when its bike is made.
    player = new PlayerBike("moto1.ase", arena, camera, platform::get().tickCount());
    seats[0] = player;
    applyDetail(player);
    // Bikes are made in seat order, so bike b's wall is wall b: the humans', then the
    // computer bikes' in the seats left.
    for (int seat = 1; seat < humans; ++seat) {
        std::fill(std::begin(sharedState.otherPlayersHeld[seat - 1]), std::end(sharedState.otherPlayersHeld[seat - 1]), 0);
        seatCameras[seat] = new Camera();
        placeAtStart(seat);
        seats[seat] = new PlayerBike(opponentSlots[seat - 1].model, arena, seatCameras[seat], platform::get().tickCount(),
                                     seatFacing(seat), sharedState.otherPlayersHeld[seat - 1]);
        applyDetail(seats[seat]);
    }
    for (int slot = 0; slot < 3; ++slot) {
        const int b = slot + 1;
        if (b < humans) continue;
        if (b >= humans + opponentCount) break;
        // The one player is every opponent's target; among several, the computer bikes
        // share themselves out over the humans.
        PlayerBike* target = seats[(b - humans) % humans];
        aiBikes[slot] = new AiBike(opponentSlots[slot].model, arena, opponentSlots[slot].start, target,
                                   platform::get().tickCount());
        applyDetail(aiBikes[slot]);
        aiBikes[slot]->setLevel(sharedState.aiLevel);
    }
    if (humans > 1) {
        overview = new Camera();
        // The overview a crashed player gets (a camera farther off would overflow the
        // view's 16.16 arithmetic).
        overview->lookAt(0x140000, 0x280000, 0xA00000, 0, 0, 0, 0, 0x10000, 0);
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

void Race::scoreHumanCrash(int seat, int32_t hitWall) {
    if (hitWall == seat) sharedState.scores[scoreSlot(seat)] -= 1;
    else if (hitWall >= 0 && hitWall < MAX_SEATS) sharedState.scores[scoreSlot(hitWall)] += 1;
}

void Race::runFrameAfterTimer() {
    // One player draws each bike as soon as it has moved, as designed; several players'
    // views are drawn once the whole frame has run.
    const bool drawNow = drawing && humans == 1;
    for (int seat = 0; seat < humans; ++seat) seatCameras[seat]->update();
    if (drawNow) {
        glLoadIdentity();
        camera->apply();
    }

    for (int seat = 0; seat < humans; ++seat) {
        PlayerBike* human = seats[seat];
        if (drawNow && sharedState.options.detail < 2) {
            const Fixed* c = bikeColour(seat);
            glColor4x(c[0], c[1], c[2], c[3]);
        }
        human->update();
        if (drawNow && human->drawnThisFrame) human->draw(*camera);
    }
    // Every bike leaves with the first press, whoever made it.
    if (humans > 1 && sharedState.raceStarted)
        for (int seat = 0; seat < humans; ++seat) seats[seat]->setOff();

    scoredCount = 0;
    killer = NO_CRASH_THIS_FRAME;
    // The humans' crashes of a frame are found first and scored together: two players who
    // crash in the same frame score no survival points off each other.
    int32_t hits[MAX_SEATS];
    bool crashed[MAX_SEATS] = {};
    for (int seat = 0; seat < humans; ++seat) {
        hits[seat] = HIT_ARENA_EDGE;
        // A player who left crashes out, as off the arena's edge.
        crashed[seat] = seats[seat]->playerAlive && (seats[seat]->gone || seats[seat]->collide(hits[seat]));
    }
    for (int seat = 0; seat < humans; ++seat) {
        if (!crashed[seat]) continue;
        if (seat == 0) killer = hits[0];
        scoreHumanCrash(seat, hits[seat]);
        for (int b = 0; b < MAX_SEATS; ++b)
            if (b != seat && !(b < humans && crashed[b]) && driving(b)) sharedState.scores[scoreSlot(b)] += 2;
    }
    bool anyAlive = false;
    for (int seat = 0; seat < humans; ++seat) anyAlive = anyAlive || (seats[seat]->playerAlive && !crashed[seat]);
    for (int seat = 0; seat < humans; ++seat) {
        if (!crashed[seat]) continue;
        seats[seat]->crash();
        // The engine runs while any human drives.
        if (!anyAlive) stopEngine();
        playCrash();
        placeAfterCrash(seat);
    }
    sharedState.playerAlive = anyAlive ? 1 : 0;

    for (int slot = 0; slot < 3; ++slot) {
        AiBike* bike = aiBikes[slot];
        if (!bike) continue;
        if (drawNow && sharedState.options.detail < 2)
            glColor4x(opponentColours[slot][0], opponentColours[slot][1], opponentColours[slot][2],
                      opponentColours[slot][3]);
        bike->update();
        if (drawNow && bike->drawnThisFrame) bike->draw(*camera);
        if (bike->state == AiOut) {
            const int32_t k = bike->hitWall;
            if (k == slot + 1) sharedState.scores[slot] -= 1;
            else if (k >= 0 && k < MAX_SEATS) sharedState.scores[scoreSlot(k)] += 1;
            bike->state = AiScored;
            for (int b = 0; b < MAX_SEATS; ++b)
                if (driving(b)) sharedState.scores[scoreSlot(b)] += 2;
        }
        if (bike->state == AiScored) ++scoredCount;
    }

    if (roundOver()) restartRace();

    if (drawNow) arena->draw(*camera);
    if (drawing && humans > 1) drawViews();
}

void Race::seatLeaves(int seat) {
    if (seat > 0 && seat < humans && seats[seat]) seats[seat]->gone = 1;
}

bool Race::roundOver() const {
    // One player races until every opponent is out, whether the player survives or not.
    if (humans == 1) return scoredCount == opponentCount;
    // Several play until at most one bike is left; a computer bike's crash counts once its
    // wall has sunk and it has been scored.
    int left = 0;
    for (int b = 0; b < humans + opponentCount && b < MAX_SEATS; ++b) {
        if (b >= humans && aiBikes[b - 1] && (aiBikes[b - 1]->state == AiCrashed || aiBikes[b - 1]->state == AiOut))
            return false;
        if (driving(b)) ++left;
    }
    return left <= 1;
}

void Race::restartRace() {
    for (int seat = humans - 1; seat >= 0; --seat) placeAtStart(seat);
    playMenuLoop();
    for (int seat = 0; seat < humans; ++seat) seats[seat]->reset();
    for (AiBike* bike : aiBikes)
        if (bike) bike->reset();
}

int Race::layoutViews(int humans, const ViewRect& area, ViewRect out[MAX_SEATS]) {
    if (humans <= 1) {
        out[0] = area;
        return 1;
    }
    const int halfW = area.width / 2, halfH = area.height / 2;
    if (humans == 2) {
        // Side by side on a screen wider than tall: each half of a 16:9 screen is nearly the
        // handheld's own upright picture. One above the other on a tall window.
        if (area.width >= area.height) {
            out[0] = {area.x, area.y, halfW, area.height};
            out[1] = {area.x + halfW, area.y, area.width - halfW, area.height};
        } else {
            out[0] = {area.x, area.y + halfH, area.width, area.height - halfH};
            out[1] = {area.x, area.y, area.width, halfH};
        }
        return 2;
    }
    // Quarters, players 1 and 2 above, 3 and 4 below; with three players the fourth shows
    // the whole arena.
    out[0] = {area.x, area.y + halfH, halfW, area.height - halfH};
    out[1] = {area.x + halfW, area.y + halfH, area.width - halfW, area.height - halfH};
    out[2] = {area.x, area.y, halfW, halfH};
    out[3] = {area.x + halfW, area.y, area.width - halfW, halfH};
    return 4;
}

void Race::drawScene(Camera* viewer) {
    glLoadIdentity();
    viewer->apply();
    for (int b = 0; b < MAX_SEATS; ++b) {
        Bike* each = bike(b);
        if (!each || !each->drawnThisFrame) continue;
        if (sharedState.options.detail < 2) {
            const Fixed* c = bikeColour(b);
            glColor4x(c[0], c[1], c[2], c[3]);
        }
        each->draw(*viewer);
    }
    // Walls and arena skip what is out of this view's sight.
    arena->draw(*viewer);
}

void Race::drawViews() {
    ViewRect area;
    platform::get().viewport(area.x, area.y, area.width, area.height);
    drawViews(area);
}

int Race::shownViews(const ViewRect& area, ViewRect out[MAX_SEATS], int seatOf[MAX_SEATS]) const {
    // An online race shows this machine's player alone, over the whole area.
    if (viewSeat >= 0 && viewSeat < humans) {
        out[0] = area;
        seatOf[0] = viewSeat;
        return 1;
    }
    const int count = layoutViews(humans, area, out);
    for (int v = 0; v < count; ++v) seatOf[v] = v;
    return count;
}

void Race::drawViews(const ViewRect& area) {
    ViewRect views[MAX_SEATS];
    int seatOf[MAX_SEATS];
    const int count = shownViews(area, views, seatOf);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    for (int v = 0; v < count; ++v) {
        const ViewRect& r = views[v];
        if (r.width <= 0 || r.height <= 0) continue;
        glViewport(r.x, r.y, r.width, r.height);
        glScissor(r.x, r.y, r.width, r.height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setDrawablePerspective(r.width, r.height);
        glMatrixMode(GL_MODELVIEW);
        const int seat = seatOf[v];
        drawScene(seat < humans ? seatCameras[seat] : overview);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glViewport(area.x, area.y, area.width, area.height);
    glScissor(area.x, area.y, area.width, area.height);
}

void Race::teardown() {
    playMenuLoop();
    delete arena;
    arena = nullptr;
    for (int seat = 1; seat < MAX_SEATS; ++seat) {
        delete seats[seat];
        seats[seat] = nullptr;
        delete seatCameras[seat];
        seatCameras[seat] = nullptr;
    }
    delete player;
    player = nullptr;
    seats[0] = nullptr;
    for (AiBike*& bike : aiBikes) {
        delete bike;
        bike = nullptr;
    }
    delete overview;
    overview = nullptr;
    humans = 1;
    for (int32_t& score : sharedState.scores) score = 0;
    clearWallRegistry();
    if (materialMark >= 0) materialManager.dropSince(materialMark);
    materialMark = -1;
    killer = NO_CRASH_THIS_FRAME;
    scoredCount = 0;
}
