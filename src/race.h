// The game object of game mode: sets a race up from the options, runs its frame (timer,
// camera, bikes, crashes, scoring, arena), restarts it when every opponent is out, and
// tears it down on the way back to the menu. A race of several players seats each human
// in a PlayerBike of its own, seat 0 being the one player's, and draws one view per human.
#pragma once
#include <cstdint>
#include "button.h"
#include "fixed.h"
#include "seat.h"

class AiBike;
class ArenaTree;
class Bike;
class Camera;
class PlayerBike;

// A view of the race in drawable pixels, from the bottom-left corner as GL counts.
struct ViewRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class Race {
public:
    Race();
    ~Race();
    Race(const Race&) = delete;
    Race& operator=(const Race&) = delete;

    void setup();
    // One frame: the timer, the camera, each bike's logic step and then its drawing, the
    // crashes and scores, the arena last. With drawing off the same logic runs and no GL
    // call is made (replay verification, fast tests).
    void runFrame();
    // The same frame on a tick count given instead of the clock's (a rollback's frames).
    void runFrameAt(uint32_t tick);
    void restartRace();
    void teardown();

    bool drawing = true;

    Camera* camera = nullptr;
    ArenaTree* arena = nullptr;
    PlayerBike* player = nullptr;
    AiBike* aiBikes[3] = {nullptr, nullptr, nullptr};
    int32_t opponentCount = 0;

    // The humans' seats: seats[0] is player; a race of several players fills 1 .. humans-1.
    // Bike b of the race (its wall b, its colour and model) is seat b for b < humans, else
    // the computer bike in aiBikes[b - 1].
    PlayerBike* seats[MAX_SEATS] = {nullptr, nullptr, nullptr, nullptr};
    Camera* seatCameras[MAX_SEATS] = {nullptr, nullptr, nullptr, nullptr};
    int32_t humans = 1;

    // What the trace reports beside the bikes: the opponents scored in the last frame, and
    // the wall the player hit in the frame of the player's crash.
    int32_t scoredCount = 0;
    int32_t killer = NO_CRASH_THIS_FRAME;

    // killer in a frame without the player's crash (the crash itself gives a wall index
    // or HIT_ARENA_EDGE).
    static constexpr int32_t NO_CRASH_THIS_FRAME = -2;

    // Bike b of the race, or null.
    Bike* bike(int b) const;
    // The slot of scores that bike b's points go to.
    static int scoreSlot(int b);
    // Whether bike b still drives (a waiting bike does).
    bool driving(int b) const;
    // The views of a race of several players, in seat order, laid out in the area given;
    // views beyond the humans (the fourth quarter of three players) show the arena whole.
    // Returns how many rectangles it wrote.
    static int layoutViews(int humans, const ViewRect& area, ViewRect out[MAX_SEATS]);
    // The views this race shows in the area and whose each is (a seat, or one past the
    // humans for the arena whole): the split screen, or an online race's one seat.
    int shownViews(const ViewRect& area, ViewRect out[MAX_SEATS], int seatOf[MAX_SEATS]) const;
    // Every view of a race of several players, drawn after the frame's logic (also on its
    // own, for a frame an online race has already run).
    void drawViews();
    // The same in the drawable's rectangle given (in place of the platform's viewport).
    void drawViews(const ViewRect& area);
    // The player of a seat left an online race: its bike crashes out in the next frame.
    void seatLeaves(int seat);
    // An online race shows one seat's view (this machine's player); -1 splits the screen.
    int32_t viewSeat = -1;

private:
    void placeAtStart(int seat);
    void placeAfterCrash(int seat);
    // Everything of a frame after the timer.
    void runFrameAfterTimer();
    // A race of several players: the humans' steps, crashes and scores, every seat in turn.
    void runSeats(bool drawNow);
    void scoreHumanCrash(int seat, int32_t hitWall);
    void drawScene(Camera* viewer);
    bool roundOver() const;
    // Materials the race's models added to the program-wide table start here; they and
    // their textures go at teardown.
    int32_t materialMark = -1;
    // The camera of a view that follows no player (three players' fourth quarter).
    Camera* overview = nullptr;
};

// The humans and computer bikes the next race will seat, from the players chosen and the
// options.
void nextRaceMakeUp(int32_t& humans, int32_t& opponents);

// The colours in which the opponents are drawn at low and medium detail.
extern const Fixed opponentColours[3][4];
extern const Fixed playerColour[4];
// Bike b's colour: the player's yellow for bike 0, the opponents' colours after it.
const Fixed* bikeColour(int b);
