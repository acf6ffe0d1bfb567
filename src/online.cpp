#include "online.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "button.h"
#include "log.h"
#include "menu/options.h"
#include "net/enettransport.h"
#include "net/peer.h"
#include "onlinescreen.h"
#include "platform/platform.h"
#include "platform/replayfile.h"
#include "race.h"
#include "racerollback.h"
#include "replay.h"
#include "sharedstate.h"
#include "sound.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr platform::Rgb kScreenBackground = {16, 16, 32};

// Only the direction buttons steer a bike; the others would only travel.
constexpr net::Buttons kRaceButtons = (1u << ButtonUp) | (1u << ButtonDown) | (1u << ButtonLeft) | (1u << ButtonRight);
// The key a recorded button is pressed with, by button.
constexpr uint32_t kButtonKeys[4] = {platform::VK_UP, platform::VK_DOWN, platform::VK_LEFT, platform::VK_RIGHT};
// After its end a joining machine keeps answering for a while, so that its last
// reliable messages are resent if they were lost.
constexpr auto kLinger = std::chrono::milliseconds(400);

// The session needs the game when it is made, but the race is set up only when the
// start arrives (its tick, its options): this stands in until then.
class LateRace : public net::RollbackGame {
public:
    std::optional<RaceRollback> race;
    size_t snapshotBytes() const override { return race ? race->snapshotBytes() : 0; }
    void saveState(net::Snapshot& into) override {
        if (race) race->saveState(into);
    }
    void loadState(const net::Snapshot& from) override {
        if (race) race->loadState(from);
    }
    void advanceFrame(const net::SeatInputs& inputs) override {
        if (!race) return;
        const int frame = static_cast<int>(race->frame());
        takeHeldEffects();
        race->advanceFrame(inputs);
        // A frame run again overwrites what it asked for the first time.
        effects[frame % effects.size()] = {frame, takeHeldEffects()};
    }
    // What frame `frame` asked to be heard the last time it ran.
    uint8_t effectsOf(int frame) const {
        const auto& slot = effects[frame % effects.size()];
        return slot.first == frame ? slot.second : 0;
    }
    std::array<std::pair<int, uint8_t>, net::kRingFrames> effects{};
    net::Checksum checksum() override { return race ? race->checksum() : net::Checksum{}; }
};

// Writes the confirmed frames as a replay: per frame, each seat's presses and releases
// since the frame before as that player's keys, the frame's tick, and every 60th frame
// the check the session computed and exchanged. A replay ends with a check of its last
// frame, so the frames since the last check wait here until the next one: a game that
// ends early (a player left, the host went) keeps the frames up to its last check.
class ConfirmedRecorder {
public:
    // To `file`, or (none named) where the game records a game in a window. False with the
    // error empty when the race is not to be recorded.
    bool open(const std::string& file, std::string& error) {
        path = file;
        if (file.empty()) return openNewRecording(writer, path, error);
        return writer.open(file, replayHeaderOfNextRace(), error);
    }
    bool isOpen() const { return writer.isOpen(); }

    // The race set-up reads the clock through the journal: those reads belong to the replay.
    void setupTicks(const std::vector<uint32_t>& ticks) {
        for (uint32_t t : ticks) writer.tick(t);
        writer.setupDone();
    }

    // The next frame confirmed (0 the first), with its buttons, its tick and, on a check
    // frame, the check. False once a seat has left: no key says that, so the replay stops
    // at the last check before it.
    bool frame(const net::SeatInputs& inputs, int seats, uint32_t tick, const net::Checksum* sum) {
        if (stopped) return false;
        for (int s = 0; s < seats; ++s)
            if (inputs.seat[s] & net::kSeatLeft) {
                stopped = true;
                return false;
            }
        pending[pendingCount++] = {inputs, tick};
        ++frames;
        if (sum) {
            writePending(seats);
            check(frames, *sum);
        }
        return true;
    }

    // Ends the replay. With the state of the last frame confirmed (the race ended with every
    // frame played), the frames waiting are written with a check of that state; otherwise the
    // replay ends at its last check.
    void finish(int seats, const net::Checksum* lastState) {
        if (!writer.isOpen()) return;
        if (lastState && !stopped && pendingCount > 0) {
            writePending(seats);
            check(frames, *lastState);
        }
        writer.finish();
        const std::string failure = writer.takeFailure();
        if (!failure.empty()) platform::get().notice(("the recording stopped: " + failure).c_str());
        recordingFinished(path);
    }

    int frames = 0;      // frames confirmed and taken
    int written = 0;     // of them written, up to and with a check
    bool stopped = false;

private:
    struct Pending {
        net::SeatInputs inputs;
        uint32_t tick;
    };

    void writePending(int seats) {
        for (int p = 0; p < pendingCount; ++p) {
            const Pending& f = pending[p];
            for (int s = 0; s < seats; ++s) {
                const net::Buttons changed = (f.inputs.seat[s] ^ held[s]) & kRaceButtons;
                for (int b = 0; b < 4; ++b) {
                    if (!(changed & (1u << b))) continue;
                    platform::Message msg;
                    msg.message = (f.inputs.seat[s] & (1u << b)) ? platform::MsgKeyDown : platform::MsgKeyUp;
                    msg.wParam = kButtonKeys[b];
                    msg.lParam = platform::keyOfPlayer(s + 1, kButtonKeys[b]);
                    writer.event(msg);
                }
                held[s] = f.inputs.seat[s] & kRaceButtons;
            }
            writer.tick(f.tick);
            writer.frameEnd(f.tick);
        }
        written += pendingCount;
        pendingCount = 0;
    }

    void check(int afterFrames, const net::Checksum& sum) {
        platform::ReplayCheck c;
        c.frame = static_cast<uint32_t>(afterFrames);
        std::copy(std::begin(sum.group), std::end(sum.group), std::begin(c.groups));
        writer.check(c);
    }

    platform::ReplayWriter writer;
    std::string path;
    net::Buttons held[net::kMaxSeats] = {};
    std::array<Pending, platform::CHECK_EVERY> pending{};
    int pendingCount = 0;
};

// Collects the ticks the race's set-up reads, for the replay.
class SetupTicks : public platform::JournalListener {
public:
    std::vector<uint32_t> ticks;
    void delivered(long, const platform::Message&) override {}
    void tickRead(long, uint32_t tick) override { ticks.push_back(tick); }
    void presented(long) override {}
};

class OnlineGame {
public:
    explicit OnlineGame(const OnlineOptions& o)
        : opts(o), window(!platform::get().options().headless), computers(o.computerBikes), level(o.computerLevel) {
        screen.host = o.host;
        screen.hostAddress = o.hostName + ":" + std::to_string(o.port);
        screen.startsWithPlayers = o.players;
        // A window that goes back to the menu finds the game as the player left it.
        savedOptions = sharedState.options;
        savedPlayers = sharedState.players;
        savedOpponents = sharedState.versusOpponents;
        savedLevel = sharedState.aiLevel;
    }

    bool open(std::string& error) {
        transport = opts.host ? net::EnetTransport::listen("", opts.port, net::kMaxRemotePeers, error)
                              : net::EnetTransport::connect(opts.hostName, opts.port, opts.directPort, error);
        if (!transport) return false;
        net::PeerConfig config;
        config.host = opts.host;
        config.playerName = opts.playerName;
        config.gameVersion = PALVEX_VERSION;
        // A quarter-second ping with a tenth of the datagrams lost can take several of ENet's
        // resends to connect and be seated: "no answer" only after 10 s.
        config.connectTimeoutMs = 10000;
        if (opts.players > 1) config.maxSeats = opts.players;
        const platform::ReplayHeader header = replayHeaderOfNextRace();
        for (const platform::ModelHash& model : header.models) {
            if (config.modelCount >= net::kMaxModels) break;
            config.models[config.modelCount].name.set(model.name);
            config.models[config.modelCount].hash = model.hash;
            ++config.modelCount;
        }
        if (!opts.host) {
            config.directPort = opts.publicPort != 0 ? opts.publicPort : transport->port();
            char line[96];
            std::snprintf(line, sizeof line, "direct links on port %u", static_cast<unsigned>(transport->port()));
            platform::get().notice(line);
        }
        config.beforeStart = [this](const net::StartMessage& start, int seat) { setUpRace(start, seat); };
        peer = std::make_unique<net::NetPeer>(*transport, game, config);
        if (opts.host) {
            char line[96];
            std::snprintf(line, sizeof line, "hosting on port %u", static_cast<unsigned>(transport->port()));
            platform::get().notice(line);
            screen.port = transport->port();
            screen.shareAddresses = localAddresses();
        }
        return true;
    }

    bool racing() const { return game.race.has_value() && !over; }
    // The window shows "connecting", the lobby or a failure, not the race nor the menu.
    bool showsScreen() const { return !backToMenu && (showingFailure || (!over && !racing())); }
    bool wentBackToMenu() const { return backToMenu; }

    bool holdsFrame() {
        if (showingFailure) {
            // Headless, the failure is drawn once for a screenshot, then the run ends.
            if (!window) {
                if (failurePictured) {
                    platform::get().postQuitMessage(exitCode);
                    return true;
                }
                failurePictured = true;
                return false;
            }
            return !screenFrameDue();
        }
        if (over) return true;
        peer->poll();
        switch (peer->state()) {
        case net::PeerState::Connecting:
        case net::PeerState::Lobby:
            seatComputers();
            if (opts.host && opts.players > 1 && peer->joinedPeers() >= opts.players - 1) startRace();
            if (peer->state() != net::PeerState::Racing) {
                // Headless, the lobby draws nothing: key scripts count the race's frames.
                if (window && screenFrameDue()) return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                return true;
            }
            break;
        case net::PeerState::Racing: break;
        case net::PeerState::Ended: return end(0, "");
        case net::PeerState::Failed: return end(EXIT_SESSION_FAILED, peer->failure());
        }
        if (!opts.host && opts.frames >= 0 && framesRun >= opts.frames) {
            peer->leave();
            return end(0, "");
        }
        {
            const auto now = Clock::now();
            if (now < nextDue) {
                std::this_thread::sleep_for(std::min<Clock::duration>(nextDue - now, std::chrono::milliseconds(2)));
                return true;
            }
        }
        // A machine that waits for a peer tries again once buttons came, or a tick later
        // (each try sends this machine's buttons again): not in a loop that floods the peer.
        if (waiting && remoteKnown() == waitKnown && Clock::now() < retryAt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return true;
        }
        // The local player's buttons, as the keys left them since the last frame.
        const net::Buttons local = localButtons();
        const net::NetPeer::Step step = peer->advanceFrame(local);
        // The frames just run held every seat's buttons; the keys go on from the local ones.
        setLocalButtons(local);
        recordConfirmed();
        soundConfirmed();
        waiting = step == net::NetPeer::Step::Waiting;
        if (waiting) {
            waitKnown = remoteKnown();
            retryAt = Clock::now() + std::chrono::milliseconds(tickMs);
        }
        // Frames follow each other a tick apart. One late by more than a frame (a wait, a
        // slow machine) is not made up in a burst: that would only run ahead of the peers
        // and into the prediction window again. A time-sync hold skips one tick.
        const auto tick = frameInterval();
        if (step == net::NetPeer::Step::TimeSync) nextDue += tick;
        if (step == net::NetPeer::Step::Ran) {
            nextDue = std::max(nextDue + tick, Clock::now() - tick);
            ++framesRun;
            return false;
        }
        if (peer->state() == net::PeerState::Racing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    void leave() {
        if (over) return;
        peer->leave();
        end(0, "");
    }

    // Ends the session here: the last confirmed frames recorded, the figures logged, the
    // program told to quit with the code.
    bool end(int code, const std::string& why) {
        if (over) return true;
        over = true;
        exitCode = code;
        // A run asked to record that did not is not a success.
        if (code == 0 && recordingFailed) exitCode = 2;
        if (!why.empty()) platform::get().notice(("online game ended: " + why).c_str());
        finishRecording();
        report();
        if (!opts.host && code == 0) {
            const auto until = Clock::now() + kLinger;
            while (Clock::now() < until) {
                peer->poll();
                transport->flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        // A window says why on screen until a key; a headless run that failed before any
        // race drew leaves a picture of the reason, then quits as it would have.
        const bool sayWhy = !why.empty() && (window || !game.race);
        if (sayWhy) {
            showingFailure = true;
            screen.stage = OnlineScreen::Stage::Failed;
            screen.failure = failureLine(why, screen.hostAddress);
            nextScreenAt = Clock::now();
            if (window && sharedState.inGame) opts.modeSwitch();
        } else if (window) {
            returnToMenu();
        } else {
            platform::get().postQuitMessage(exitCode);
        }
        return true;
    }

    // A key outside the race: the lobby's, or the one that dismisses a failure. True when
    // the key was taken here.
    bool takesKey(const platform::Message& msg) {
        if (backToMenu || racing() || !window) return false;
        if (msg.message != platform::MsgKeyDown && msg.message != platform::MsgKeyUp) return false;
        // Leaving, starting and dismissing act on the release, whose press was seen here:
        // the release must not reach the race or the menu after them (Enter's release
        // leaves a race, Escape's leaves the menu).
        const size_t key = msg.wParam & 0xFF;
        if (msg.message == platform::MsgKeyUp) {
            if (!pressed[key]) return true;
            pressed[key] = false;
        } else {
            pressed[key] = true;
        }
        nextScreenAt = Clock::now();
        const bool released = msg.message == platform::MsgKeyUp;
        if (showingFailure) {
            if (released) returnToMenu();
            return true;
        }
        const int humans = lobbyHumans(peer->lobby());
        const bool hostChooses = opts.host && opts.players == 0 && peer->state() == net::PeerState::Lobby;
        switch (msg.wParam) {
        case platform::VK_ESCAPE:
            if (released) leave();
            break;
        case platform::VK_RETURN:
            if (released && hostChooses && humans >= 2) startRace();
            break;
        case platform::VK_LEFT:
        case platform::VK_RIGHT:
            if (hostChooses && !released) {
                computers = std::clamp(computers + (msg.wParam == platform::VK_RIGHT ? 1 : -1), 0, net::kMaxSeats - humans);
                seatComputers();
            }
            break;
        case platform::VK_UP:
        case platform::VK_DOWN:
            if (hostChooses && !released) {
                level = std::clamp(level + (msg.wParam == platform::VK_UP ? 1 : -1), 0, int(net::kMaxComputerLevel));
                seatComputers();
            }
            break;
        default: break;
        }
        return true;
    }

    void drawScreen() {
        if (peer) {
            screen.lobby = peer->lobby();
            screen.localSeat = peer->localSeat();
            if (!showingFailure)
                screen.stage = peer->state() == net::PeerState::Connecting ? OnlineScreen::Stage::Connecting
                                                                           : OnlineScreen::Stage::Lobby;
        }
        if (peer) seatComputers();
        screen.computerBikes = computers;
        screen.computerLevel = level;
        const std::vector<std::string> lines = onlineScreenLines(screen);
        platform::Platform& system = platform::get();
        constexpr int kGap = 4;
        int width = 0, height = 0;
        system.measureText("0", width, height);
        int top = (sharedState.screenHeight - static_cast<int>(lines.size()) * (height + kGap)) / 2;
        for (size_t i = 0; i < lines.size(); ++i, top += height + kGap) {
            if (lines[i].empty()) continue;
            system.measureText(lines[i].c_str(), width, height);
            const platform::Rgb ink = i == 0 ? platform::Rgb{255, 223, 0} : platform::Rgb{255, 255, 255};
            system.drawText((system.textAreaWidth() - width) / 2, top, lines[i].c_str(), kScreenBackground, ink);
        }
    }

    void close() {
        if (!over && peer && peer->state() == net::PeerState::Racing) leave();
        finishRecording();
    }

    int code() const { return exitCode; }

private:
    // The host's computer bikes as they will be seated, no more than the seats the humans
    // leave, in every machine's lobby.
    void seatComputers() {
        if (!opts.host || peer->state() != net::PeerState::Lobby) return;
        computers = std::clamp(computers, 0, net::kMaxSeats - std::max(1, lobbyHumans(peer->lobby())));
        peer->setComputerBikes(computers, level);
    }

    // The lobby's pings change: a window draws it again a few times a second.
    bool screenFrameDue() {
        const auto now = Clock::now();
        if (now < nextScreenAt) return false;
        nextScreenAt = now + std::chrono::milliseconds(250);
        return true;
    }

    // A window's session ends in the main menu, with the game as it was before it.
    void returnToMenu() {
        if (backToMenu) return;
        backToMenu = true;
        showingFailure = false;
        if (sharedState.inGame) opts.modeSwitch();
        // The next race is this machine's own again: every seat's view, drawn as it runs.
        if (sharedState.race) {
            sharedState.race->viewSeat = -1;
            sharedState.race->drawing = true;
        }
        sharedState.options = savedOptions;
        sharedState.players = savedPlayers;
        sharedState.versusOpponents = savedOpponents;
        sharedState.aiLevel = savedLevel;
        std::fill(std::begin(sharedState.buttonHeld), std::end(sharedState.buttonHeld), 0);
        platform::get().journal().useVirtualClock(platform::get().options().tickMs);
    }

    void startRace() {
        uint8_t options[net::kOptionsBytes];
        uint8_t bytes[OPTIONS_FILE_SIZE];
        encodeOptions(sharedState.options, bytes);
        std::copy(bytes, bytes + net::kOptionsBytes, options);
        if (!peer->startRace(static_cast<uint8_t>(opts.inputDelay), opts.tickMs, options,
                             static_cast<uint8_t>(computers), static_cast<uint8_t>(level)))
            return;
        if (opts.frames >= 0) peer->endAt(static_cast<int>(opts.frames));
    }

    // Every machine sets the race up alike: the host's options and make-up, and a clock
    // that reads the same ticks everywhere (the walls' colours are seeded from it).
    void setUpRace(const net::StartMessage& start, int seat) {
        static_assert(net::kOptionsBytes == OPTIONS_FILE_SIZE, "the start carries the options record");
        decodeOptions(start.options, net::kOptionsBytes, sharedState.options);
        clampOptions(sharedState.options);
        sharedState.players = start.seats;
        sharedState.versusOpponents = start.computerBikes;
        sharedState.aiLevel = start.computerLevel;
        std::fill(std::begin(sharedState.buttonHeld), std::end(sharedState.buttonHeld), 0);
        sharedState.paused = 0;
        tickMs = start.tickMs;
        platform::Journal& journal = platform::get().journal();
        journal.useVirtualClock(start.tickMs);
        journal.setVirtualTicks(0);

        std::string error;
        if (!recorder.open(opts.recordFile, error) && !error.empty()) {
            platform::get().notice(("online game not recorded: " + error).c_str());
            // Only a file asked for makes it a failed run, as for a game of one machine.
            recordingFailed = !opts.recordFile.empty();
        }
        SetupTicks setup;
        platform::JournalListener* before = journal.currentListener();
        journal.setListener(&setup);
        if (!sharedState.inGame) {
            replayNextGameRecordedElsewhere();
            opts.modeSwitch();
        }
        journal.setListener(before);
        if (recorder.isOpen()) recorder.setupTicks(setup.ticks);

        Race& race = *sharedState.race;
        race.viewSeat = seat;
        // Frames are run by the session, maybe several at once; the application's frame draws.
        race.drawing = false;
        game.race.emplace(race, start.tickMs);
        localSeat = seat;
        raceStart = Clock::now();
        nextDue = raceStart;
        char line[128];
        std::snprintf(line, sizeof line, "online race: %d players, %d computer bikes, this machine is player %d",
                      int(start.seats), int(start.computerBikes), seat + 1);
        platform::get().notice(line);
    }

    static net::Buttons localButtons() {
        net::Buttons b = 0;
        for (int i = 0; i < ButtonCount; ++i)
            if (sharedState.buttonHeld[i]) b |= static_cast<net::Buttons>(1u << i);
        return b & kRaceButtons;
    }

    static void setLocalButtons(net::Buttons local) {
        for (int i = 0; i < 4; ++i) sharedState.buttonHeld[i] = (local >> i) & 1;
    }

    // Sounds follow the confirmed frames: a crash a rollback undid is never heard.
    void soundConfirmed() {
        net::RollbackSession* session = peer->session();
        if (!session) return;
        for (int f = soundedUpTo + 1; f <= session->confirmedFrame(); ++f) playHeldEffects(game.effectsOf(f));
        soundedUpTo = std::max(soundedUpTo, session->confirmedFrame());
    }

    // Frames a tick apart; unpaced, as fast as the peers take them: every frame sends each
    // peer a datagram per other seat, and a peer drops a sender's beyond 400 a second.
    // A machine ahead of the others lengthens its ticks a little, one behind shortens them
    // (at most a tenth, a frame off): the machines drift together rather than wait for each
    // other, and neither ends up doing most of the rolling back. The race's own tick stays.
    Clock::duration frameInterval() const {
        if (!opts.paced) return std::chrono::milliseconds(std::max(2, 3 * (peer->seats() - 1)));
        const double ahead = std::clamp(peer->framesAhead(), -1.0, 1.0);
        return std::chrono::microseconds(static_cast<long>(tickMs * 1000.0 * (1.0 + 0.1 * ahead)));
    }

    // The last frame of which every other seat's buttons are here.
    int remoteKnown() {
        net::RollbackSession* session = peer->session();
        int least = INT32_MAX;
        for (int s = 0; session && s < peer->seats(); ++s)
            if (s != localSeat) least = std::min(least, session->lastKnownFrame(s));
        return least;
    }

    void recordConfirmed() {
        net::RollbackSession* session = peer->session();
        if (!session || !recorder.isOpen() || recorder.stopped) return;
        const int seats = peer->seats();
        for (int f = recorder.frames; f <= session->confirmedFrame(); ++f) {
            net::SeatInputs inputs;
            for (int s = 0; s < seats; ++s)
                if (!session->knownInput(s, f, inputs.seat[s])) inputs.seat[s] = net::kSeatLeft;
            net::Checksum sum;
            const bool checked = (f + 1) % platform::CHECK_EVERY == 0;
            if (checked && !session->confirmedChecksum(f, sum)) {
                // Cannot happen while frames are taken as they are confirmed: stop rather
                // than write a replay that would not verify.
                recorder.stopped = true;
                platform::get().notice(("the replay stops at frame " + std::to_string(recorder.written) +
                                        ": the check of frame " + std::to_string(f + 1) + " is gone").c_str());
                return;
            }
            if (!recorder.frame(inputs, seats, static_cast<uint32_t>(f + 1) * tickMs, checked ? &sum : nullptr)) {
                platform::get().notice(("the replay stops at frame " + std::to_string(recorder.written) +
                                        ": a player left after it").c_str());
                return;
            }
        }
    }

    void finishRecording() {
        if (!recorder.isOpen()) return;
        recordConfirmed();
        // The race ended with every frame confirmed: its state now is that of the last
        // frame recorded, which the replay checks last.
        net::RollbackSession* session = peer->session();
        const bool complete = session && game.race && recorder.frames == session->currentFrame() &&
                              recorder.frames == session->confirmedFrame() + 1;
        const net::Checksum last = complete ? game.race->checksum() : net::Checksum{};
        recorder.finish(peer->seats(), complete ? &last : nullptr);
    }

    void report() {
        net::RollbackSession* session = peer->session();
        if (!session) return;
        const net::RollbackStats& s = session->stats();
        char line[320];
        std::snprintf(line, sizeof line,
                      "online: frames %d confirmed %d rollbacks %" PRIu64 " depth mean %.2f p99 %d max %d waits %" PRIu64
                      " holds %" PRIu64 " checksums %d sent %" PRIu64 " received %" PRIu64 " dropped %" PRIu64 " seconds %.1f"
                      " direct 0x%x",
                      session->currentFrame(), session->confirmedFrame() + 1, s.rollbacks, s.meanDepth(),
                      s.percentileDepth(0.99), s.maxDepth(), s.waits, peer->timeSyncHolds(), session->checksumsCompared(),
                      peer->bytesSent(), peer->bytesReceived(), peer->drops().total(),
                      std::chrono::duration<double>(Clock::now() - raceStart).count(), peer->directSeats());
        logPrintf("%s\n", line);
        if (platform::get().options().headless) platform::get().notice(line);
        const std::string links = "online: links: " + peer->linksText();
        logPrintf("%s\n", links.c_str());
        if (platform::get().options().headless) platform::get().notice(links.c_str());
    }

    OnlineOptions opts;
    bool window;
    int computers;
    int level;
    OnlineScreen screen;
    bool showingFailure = false;
    bool failurePictured = false;
    bool backToMenu = false;
    std::array<bool, 256> pressed{};   // keys pressed outside the race, by code
    Clock::time_point nextScreenAt;
    OptionsRecord savedOptions;
    int32_t savedPlayers = 1, savedOpponents = -1, savedLevel = 0;
    std::unique_ptr<net::EnetTransport> transport;
    LateRace game;
    std::unique_ptr<net::NetPeer> peer;
    ConfirmedRecorder recorder;
    bool recordingFailed = false;
    bool over = false;
    int exitCode = 0;
    int localSeat = 0;
    long framesRun = 0;
    int soundedUpTo = -1;
    bool waiting = false;
    int waitKnown = 0;
    Clock::time_point retryAt;
    uint32_t tickMs = 16;
    Clock::time_point raceStart;
    Clock::time_point nextDue;   // when the next frame may run, paced
};

std::unique_ptr<OnlineGame> online;

} // namespace

bool onlineShowsScreen() { return online && online->showsScreen(); }

void onlineDrawScreen() {
    if (online) online->drawScreen();
}

bool onlineTakesMessage(const platform::Message& msg) { return online && online->takesKey(msg); }

bool onlineOpen(const OnlineOptions& options, std::string& error) {
    online = std::make_unique<OnlineGame>(options);
    if (online->open(error)) return true;
    online.reset();
    return false;
}

bool onlineActive() { return online != nullptr; }

bool onlineRace() { return online && online->racing() && sharedState.inGame; }

bool onlineHoldsFrame() {
    if (online && online->wentBackToMenu()) {
        // The menu is the game again: the session is closed, its sockets with it.
        online->close();
        online.reset();
        return false;
    }
    return online && online->holdsFrame();
}

void onlineDrawRace() {
    if (sharedState.race) sharedState.race->drawViews();
}

void onlineLeave() {
    if (online) online->leave();
}

void onlineClose() {
    if (!online) return;
    online->close();
    online.reset();
}

int onlineExitCode() { return online ? online->code() : 0; }

bool parseJoinAddress(const std::string& text, std::string& host, uint16_t& port) {
    return net::splitHostPort(text, host, port);
}
