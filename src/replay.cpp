#include "replay.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

#include "aibike.h"
#include "bike.h"
#include "buttons.h"
#include "driver.h"
#include "lightwall.h"
#include "log.h"
#include "materialmanager/materialmanager.h"
#include "menu/options.h"
#include "platform/os.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"
#include "window.h"

namespace {

// The model files a race reads, in the order the header lists them.
const char* const raceModels[5] = {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"};
constexpr uint32_t CHECK_EVERY = 60;
const char* const groupNames[platform::CHECK_GROUPS] = {
    "positions", "directions", "headings", "wall quad counts", "opponent states", "scores", "camera yaw"};

ReplaySettings settings;

// Recording.
platform::ReplayWriter writer;
platform::ReplayRecorder recorder(writer);
std::string recordingPath;

// Playing back.
std::unique_ptr<platform::ReplayData> loaded;
std::unique_ptr<platform::ReplayPlayer> player;
bool playing = false;
size_t nextCheck = 0;
long firstDifference = 0; // race frame of the first check that differed
int differingGroup = -1;
bool differenceReported = false;

// The game in progress: whether the frame in which it was set up is still to be
// presented (it is a menu frame), and how many race frames have run since.
bool inGame = false;
bool setupFrame = false;
uint32_t raceFrames = 0;

// Collects one group's values without allocating; a race has at most four bikes and walls.
struct Hasher {
    int32_t values[64];
    size_t count = 0;
    void add(int32_t v) {
        if (count < 64) values[count++] = v;
    }
    uint32_t done() {
        const uint32_t h = platform::hashBytes(values, count * sizeof(int32_t));
        count = 0;
        return h;
    }
};

void note(const std::string& text) { platform::get().notice(text.c_str()); }

// The replays folder keeps the newest `keep` of the game's own recordings.
void pruneReplays(const std::string& dir) {
    std::vector<std::string> names = platform::os::listDirectory(dir);
    std::vector<std::string> ours;
    for (const std::string& name : names)
        if (name.rfind("palvex-", 0) == 0 && name.size() > 5 && name.ends_with(platform::REPLAY_EXTENSION))
            ours.push_back(name);
    if (ours.size() <= static_cast<size_t>(std::max(settings.keep, 0))) return;
    // The names carry the time: their order is the order the games were played in.
    std::sort(ours.begin(), ours.end());
    for (size_t i = 0; i + static_cast<size_t>(settings.keep) < ours.size(); ++i) platform::os::removeFile(dir + ours[i]);
}

// Games recorded so far in this run: with --record FILE the second is FILE-2 and so on.
int gamesRecorded = 0;

std::string newRecordingPath(std::string& dir) {
    if (!settings.recordFile.empty()) {
        dir.clear();
        ++gamesRecorded;
        std::string path = settings.recordFile;
        if (gamesRecorded > 1) {
            const size_t dot = path.rfind('.');
            const bool hasExtension = dot != std::string::npos && path.find('/', dot) == std::string::npos;
            const std::string suffix = "-" + std::to_string(gamesRecorded);
            path = hasExtension ? path.substr(0, dot) + suffix + path.substr(dot) : path + suffix;
        }
        platform::os::removeFile(path); // the files named on the command line are this run's
        return path;
    }
    if (!settings.recordGames || settings.keep <= 0) return std::string();
    const std::string data = platform::os::dataDir();
    if (data.empty()) return std::string();
    dir = data + "replays/";
    if (!platform::os::makeDirectories(dir)) {
        note("replays not recorded: cannot create " + dir);
        return std::string();
    }
    const std::string stem = dir + "palvex-" + platform::os::timestampForFileName();
    std::string path = stem + platform::REPLAY_EXTENSION;
    for (int n = 2; platform::os::exists(path) && n < 100; ++n)
        path = stem + "-" + std::to_string(n) + platform::REPLAY_EXTENSION;
    return path;
}

std::string replaysDir;

void startRecording() {
    recordingPath = newRecordingPath(replaysDir);
    if (recordingPath.empty()) return;
    platform::ReplayHeader header;
    header.gameVersion = PALVEX_VERSION;
    uint8_t bytes[OPTIONS_FILE_SIZE];
    encodeOptions(sharedState.options, bytes);
    std::copy(bytes, bytes + OPTIONS_FILE_SIZE, header.options);
    std::copy(sharedState.buttonHeld, sharedState.buttonHeld + ButtonCount, header.buttonsHeld);
    for (const char* model : raceModels) {
        platform::ModelHash entry{model, 0};
        platform::hashFile(fullPath(model), entry.hash); // a missing model hashes as 0
        header.models.push_back(entry);
    }
    header.setupTick = platform::get().currentTick();
    header.aiLevel = static_cast<uint8_t>(sharedState.aiLevel);
    std::string error;
    if (!writer.open(recordingPath, header, error)) {
        note("game not recorded: " + error);
        return;
    }
    recorder.begin();
    platform::get().journal().setListener(&recorder);
}

void compareCheck(const platform::ReplayCheck& recorded) {
    platform::ReplayCheck now;
    raceChecks(recorded.frame, now);
    if (firstDifference != 0) return;
    for (int group = 0; group < platform::CHECK_GROUPS; ++group) {
        if (now.groups[group] != recorded.groups[group]) {
            firstDifference = recorded.frame;
            differingGroup = group;
            return;
        }
    }
}

void checkpoint(uint32_t frame) {
    if (playing) {
        while (nextCheck < loaded->checks.size() && loaded->checks[nextCheck].frame == frame) compareCheck(loaded->checks[nextCheck++]);
    } else if (writer.isOpen()) {
        platform::ReplayCheck check;
        raceChecks(frame, check);
        writer.check(check);
    }
}

} // namespace

void configureReplays(const ReplaySettings& chosen) { settings = chosen; }

void raceChecks(uint32_t frame, platform::ReplayCheck& out) {
    out.frame = frame;
    const Race* race = sharedState.race;
    const PlayerBike* bikePlayer = race ? race->player : nullptr;
    Hasher h;
    const Bike* bikes[4] = {};
    size_t bikeCount = 0;
    if (bikePlayer) bikes[bikeCount++] = bikePlayer;
    if (race)
        for (const AiBike* bike : race->aiBikes)
            if (bike) bikes[bikeCount++] = bike;
    for (const Bike* b : std::span(bikes, bikeCount)) {
        h.add(b->position.x);
        h.add(b->position.y);
        h.add(b->position.z);
    }
    out.groups[0] = h.done();
    for (const Bike* b : std::span(bikes, bikeCount)) h.add(b->steering.direction);
    out.groups[1] = h.done();
    for (const Bike* b : std::span(bikes, bikeCount)) h.add(b->heading);
    out.groups[2] = h.done();
    for (const LightWall* wall : sharedState.wallRegistry) {
        h.add(wall ? wall->quadCount() : -1);
        h.add(wall ? static_cast<int32_t>(wall->wallState) : -1);
    }
    out.groups[3] = h.done();
    if (race)
        for (const AiBike* bike : race->aiBikes) {
            if (!bike) continue;
            h.add(bike->state);
            h.add(bike->started);
            h.add(bike->aimTimer);
            h.add(bike->hitWall);
        }
    out.groups[4] = h.done();
    for (int32_t score : sharedState.scores) h.add(score);
    h.add(sharedState.playerAlive);
    out.groups[5] = h.done();
    h.add(cameraYaw);
    h.add(cameraYawTarget);
    out.groups[6] = h.done();
}

const char* checkGroupName(int group) {
    return group >= 0 && group < platform::CHECK_GROUPS ? groupNames[group] : "?";
}

void replayGameBegins() {
    inGame = true;
    raceFrames = 0;
    // A rendered game is set up inside a menu frame; a playback sets it up between frames.
    setupFrame = !playing;
    if (!playing) startRecording();
}

void replayAfterFrame() {
    if (!inGame) return;
    if (setupFrame) {
        setupFrame = false;
        return;
    }
    ++raceFrames;
    if (raceFrames % CHECK_EVERY == 0) checkpoint(raceFrames);
    // A recording that ended without leaving the race (the window was closed, the game
    // stopped) plays back to its last frame.
    if (playing && raceFrames >= loaded->frames.size() && loaded->trailingEventCount == 0) {
        replayGameEnds();
        platform::get().postQuitMessage(playbackExitCode());
    }
}

void replayGameEnds() {
    if (!inGame) return;
    inGame = false;
    checkpoint(raceFrames);
    if (playing) {
        platform::get().postQuitMessage(playbackExitCode());
        return;
    }
    if (!writer.isOpen()) return;
    writer.finish();
    platform::get().journal().setListener(nullptr);
    if (!replaysDir.empty()) pruneReplays(replaysDir);
}

bool loadReplay(const std::string& path, std::string& error, int& exitCode) {
    exitCode = 2;
    loaded = std::make_unique<platform::ReplayData>();
    std::string why;
    if (platform::readReplay(path, *loaded, why) != platform::ReplayStatus::Ok) {
        error = "cannot play the replay " + path + ": " + why;
        return false;
    }
    const platform::ReplayHeader& header = loaded->header;
    if (header.gameVersion != PALVEX_VERSION) {
        error = "cannot play the replay " + path + ": it was made by Palvex " + header.gameVersion + ", this is " +
                PALVEX_VERSION;
        return false;
    }
    for (const platform::ModelHash& model : header.models) {
        uint64_t hash = 0;
        platform::hashFile(fullPath(model.name.c_str()), hash);
        if (hash != model.hash) {
            error = "cannot play the replay " + path + ": it was made with another " + model.name;
            return false;
        }
    }
    if (header.aiLevel >= LevelCount) {
        error = "cannot play the replay " + path + ": its opponents drive at level " + std::to_string(header.aiLevel) +
                ", which this Palvex does not have";
        return false;
    }
    OptionsRecord options;
    decodeOptions(header.options, sizeof header.options, options);
    clampOptions(options);
    sharedState.options = options;
    sharedState.aiLevel = header.aiLevel;
    if (!loaded->complete)
        note("the replay " + path + " was cut short: it plays to its last complete frame, " +
             std::to_string(loaded->frames.size()));
    exitCode = 0;
    return true;
}

namespace {

void beginPlayback() {
    player = std::make_unique<platform::ReplayPlayer>(*loaded);
    playing = true;
    nextCheck = 0;
    firstDifference = 0;
    std::copy(loaded->header.buttonsHeld, loaded->header.buttonsHeld + ButtonCount, sharedState.buttonHeld);
    platform::get().journal().setSource(player.get());
}

// Leaving the race while verifying: the end of the replay, without the menu's projection.
void leaveVerifiedRace() {
    replayGameEnds();
    sharedState.inGame = 0;
    sharedState.race->teardown();
}

} // namespace

void startPlayback(void (*enterGame)()) {
    beginPlayback();
    if (!sharedState.inGame) enterGame();
}

int playbackExitCode() {
    if (firstDifference == 0 && player && player->tickMismatch() != 0) {
        firstDifference = player->tickMismatch();
        differingGroup = -1;
    }
    if (firstDifference == 0) return 0;
    if (differenceReported) return EXIT_REPLAY_DIFFERS;
    differenceReported = true;
    if (differingGroup >= 0)
        note("the replay differs from frame " + std::to_string(firstDifference) + " on: " +
             checkGroupName(differingGroup));
    else
        note("the replay differs from frame " + std::to_string(firstDifference) + " on: the ticks the game read");
    return EXIT_REPLAY_DIFFERS;
}

int verifyReplay() {
    platform::Platform& system = platform::get();
    materialManager.setGlEnabled(false);
    system.createWindow("Plavex", "Palvex", windowProc, nullptr);
    setModeSwitch(leaveVerifiedRace);
    Race race;
    race.drawing = false;
    sharedState.race = &race;
    beginPlayback();
    sharedState.inGame = 1;
    replayGameBegins();
    race.setup();

    platform::Message msg;
    bool quit = false;
    while (!quit && sharedState.inGame) {
        while (system.peekMessage(msg, true)) {
            if (msg.message == platform::MsgQuit) {
                quit = true;
                break;
            }
            system.dispatchMessage(msg);
        }
        if (quit || !sharedState.inGame) break;
        if (raceFrames >= loaded->frames.size()) break;
        race.runFrame();
        clearButtonReleases();
        system.frameWithoutPresent();
        // The check of a frame is taken after it, like the recording's.
        ++raceFrames;
        if (raceFrames % CHECK_EVERY == 0) checkpoint(raceFrames);
    }
    if (inGame) {
        inGame = false;
        checkpoint(raceFrames);
    }
    if (sharedState.inGame) {
        sharedState.inGame = 0;
        race.teardown();
    }
    sharedState.race = nullptr;
    system.journal().setSource(nullptr);
    const int code = playbackExitCode();
    if (code == 0) {
        std::printf("palvex: the replay agrees: %u frames, %zu checks%s\n", raceFrames, loaded->checks.size(),
                    loaded->complete ? "" : " (the file was cut short; verified to its last complete frame)");
        std::fflush(stdout);
    }
    return code;
}
