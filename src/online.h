// Playing online: the game's side of a network session. It owns the connection (ENet),
// the peer that speaks the protocol and the race's rollback, and is driven from the
// application's loop: before each frame it hears the network and runs the race's next
// frame (or holds it while a peer is behind); the frame then only draws. The race itself
// never sees a socket. Every machine records the confirmed frames, so every machine's
// replay plays back the same race.
#pragma once
#include <cstdint>
#include <string>

#include "platform/message.h"

// Exit code of an online session that did not end normally: refused, no answer, the host
// left, a desync.
constexpr int EXIT_SESSION_FAILED = 4;

struct OnlineOptions {
    bool host = false;
    std::string hostName;      // the machine to join
    uint16_t port = 0;         // the host's port (0 with host: any free one)
    // Joining: the port the other joining machines dial this one on (0: any free one), and
    // the one they are told when something in between forwards another (0: the same).
    uint16_t directPort = 0;
    uint16_t publicPort = 0;
    std::string playerName;
    // Host: the race starts as soon as this many players (the host among them) are in the
    // lobby; 0 waits for the host's Enter (a window's lobby, where the computer bikes and
    // their level are chosen too).
    int players = 0;
    int computerBikes = 0;
    int computerLevel = 0;
    // Host: the session ends for everyone after this race frame; a joining machine leaves
    // after it. −1: no end.
    long frames = -1;
    uint16_t tickMs = 16;
    int inputDelay = 2;
    // Frames paced to the tick in real time; off, they run as fast as the peers allow.
    bool paced = true;
    std::string recordFile;    // empty: not recorded
    // Menu mode to game mode and back: the application's, handed in.
    void (*modeSwitch)() = nullptr;
};

// Opens the connection (listening, or connecting to the host). False with a message when
// the port cannot be had or the host's name is unknown.
bool onlineOpen(const OnlineOptions& options, std::string& error);
// An online session is open.
bool onlineActive();
// The race on screen is an online one: it runs here, the frame only draws it.
bool onlineRace();
// Before a frame: hears the network, starts the race, runs the race's next frame. True when
// no frame is to be rendered now (the lobby, a peer behind, not yet time).
bool onlineHoldsFrame();
// Outside the race a window shows the session's own screen ("connecting", the lobby, why
// it failed) in place of the menu.
bool onlineShowsScreen();
void onlineDrawScreen();
// The lobby's keys and the key that dismisses a failure; true when the key was taken.
bool onlineTakesMessage(const platform::Message& msg);
// The frame of an online race: the present state, drawn.
void onlineDrawRace();
// The local player leaves (Escape or Enter in the race).
void onlineLeave();
// The program ends: the others hear it, the replay is closed.
void onlineClose();
// The exit code the session ended with (0 when it ended normally).
int onlineExitCode();

// "HOST", "HOST:PORT": the parts, the port defaulting to the game's; false when malformed.
bool parseJoinAddress(const std::string& text, std::string& host, uint16_t& port);
