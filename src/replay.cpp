#include "replay.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <span>
#include <sys/stat.h>
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
#include "net/session.h"
#include "race.h"
#include "racechecks.h"
#include "racerollback.h"
#include "sharedstate.h"
#include "window.h"

namespace {

// The model files a race reads, in the order the header lists them.
const char* const raceModels[5] = {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"};
using platform::CHECK_EVERY;
ReplaySettings settings;

// Recording.
platform::ReplayWriter writer;
platform::ReplayRecorder recorder(writer);
std::string recordingPath;

// Playing back.
std::unique_ptr<platform::FileReplaySource> replaySource;
std::unique_ptr<platform::ReplayReader> reader;
platform::ReplayHeader loadedHeader;
std::string loadedPath;
std::unique_ptr<platform::ReplayPlayer> player;
bool playing = false;
bool playbackOver = false;
size_t checksCompared = 0;
long lastCheckedFrame = -1; // race frame of the last check compared
long firstDifference = 0; // race frame of the first check that differed
int differingGroup = -1;
std::string differenceText; // what differed, when it is not a group of the race state
bool verdictGiven = false;
int verdictCode = 0;

// The game in progress: whether the frame in which it was set up is still to be
// presented (it is a menu frame), and how many race frames have run since.
bool inGame = false;
bool setupFrame = false;
uint32_t raceFrames = 0;

// Collects one group's values without allocating; a race has at most four bikes and walls.

void note(const std::string& text) { platform::get().notice(text.c_str()); }

// The game's own recordings: "palvex-" and the date and time (YYYYMMDD-HHMMSS), maybe a
// "-N" of two digits for a second game in the same second, and the extension. A file the
// player named otherwise (or renamed) is the player's, however it begins.
bool ownRecordingName(const std::string& name) {
    const std::string prefix = "palvex-";
    const std::string ext = platform::REPLAY_EXTENSION;
    if (name.size() < prefix.size() + 15 + ext.size() || name.rfind(prefix, 0) != 0 || !name.ends_with(ext))
        return false;
    const std::string stamp = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
    auto digits = [&stamp](size_t from, size_t count) {
        return std::all_of(stamp.begin() + long(from), stamp.begin() + long(from + count),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(0, 8) || stamp[8] != '-' || !digits(9, 6)) return false;
    if (stamp.size() == 15) return true;
    return stamp.size() >= 17 && stamp.size() <= 18 && stamp[15] == '-' && digits(16, stamp.size() - 16);
}

// The replays folder keeps the `keep` newest of the game's own recordings, by the time
// they were written. The one just made always stays: a clock once set ahead must not turn
// every new game into the oldest. Only regular files are ever removed.
} // namespace

void pruneRecordings(const std::string& dir, const std::string& justMade, int keep) {
    struct Recording {
        std::string name;
        int64_t written;
    };
    std::vector<Recording> ours;
    for (const std::string& name : platform::os::listDirectory(dir)) {
        if (!ownRecordingName(name) || dir + name == justMade) continue;
        struct stat info;
        if (::lstat((dir + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        ours.push_back({name, int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec});
    }
    const size_t others = static_cast<size_t>(std::max(keep - 1, 0));
    if (ours.size() <= others) return;
    std::sort(ours.begin(), ours.end(), [](const Recording& a, const Recording& b) {
        return a.written != b.written ? a.written < b.written : a.name < b.name;
    });
    for (size_t i = 0; i + others < ours.size(); ++i) platform::os::removeFile(dir + ours[i].name);
}

namespace {

// Games recorded so far in this run: with --record FILE the second is FILE-2 and so on.
int gamesRecorded = 0;
// A game of this run that was to be recorded is not, or not in full.
bool recordingFailed = false;

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
// The game about to begin records itself.
bool nextGameRecordedElsewhere = false;

void reportRecordingFailure() {
    const std::string failure = writer.takeFailure();
    if (failure.empty()) return;
    recordingFailed = true;
    note("the recording stopped: " + failure + "; the file holds the game to there");
}

void startRecording() {
    std::string error;
    if (!openNewRecording(writer, recordingPath, error)) {
        if (error.empty()) return;
        recordingFailed = true;
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
    ++checksCompared;
    lastCheckedFrame = recorded.frame;
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
        platform::ReplayCheck recorded;
        while (player->takeCheck(frame, recorded)) compareCheck(recorded);
    } else if (writer.isOpen()) {
        platform::ReplayCheck check;
        raceChecks(frame, check);
        writer.check(check);
        reportRecordingFailure();
    }
}

// The game and the recording parted in a way no check names: it is a difference all the same.
void differs(long frame, const std::string& what) {
    if (firstDifference != 0) return;
    firstDifference = frame;
    differingGroup = -1;
    differenceText = what;
}

// Whether the playback has met what ends it: a difference, damage, or its end.
bool playbackStops() {
    if (!player) return true;
    const long mismatch = player->tickMismatch();
    if (mismatch != 0)
        differs(mismatch, mismatch > player->framesPlayed() ? "the game went on after the recording's last frame"
                                                            : "the ticks the game read");
    return firstDifference != 0 || player->damaged();
}

} // namespace

platform::ReplayHeader replayHeaderOfNextRace() {
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
    int32_t humans = 1, opponents = 0;
    nextRaceMakeUp(humans, opponents);
    header.players = static_cast<uint8_t>(humans);
    // A one-player race's opponents are the options record's, unless the command line
    // chose another count.
    const bool chosen = humans > 1 || sharedState.versusOpponents >= 1;
    header.versusOpponents = static_cast<uint8_t>(chosen ? opponents : 0);
    return header;
}

void configureReplays(const ReplaySettings& chosen) { settings = chosen; }

bool openNewRecording(platform::ReplayWriter& into, std::string& path, std::string& error) {
    error.clear();
    // Two copies of the game sharing the replays folder can pick one name in the same
    // second (both windows of an online race start at once): the later takes the next.
    for (int attempt = 0; attempt < 3; ++attempt) {
        path = newRecordingPath(replaysDir);
        if (path.empty()) return false;
        if (into.open(path, replayHeaderOfNextRace(), error)) return true;
        if (replaysDir.empty() || !platform::os::exists(path)) break;
    }
    path.clear();
    return false;
}

void recordingFinished(const std::string& path) {
    if (!replaysDir.empty() && path.rfind(replaysDir, 0) == 0) pruneRecordings(replaysDir, path, settings.keep);
}

void replayNextGameRecordedElsewhere() { nextGameRecordedElsewhere = true; }

void replayGameBegins() {
    inGame = true;
    raceFrames = 0;
    // A rendered game is set up inside a menu frame; a playback sets it up between frames.
    setupFrame = !playing;
    if (!playing && !nextGameRecordedElsewhere) startRecording();
    nextGameRecordedElsewhere = false;
}

void replayAfterFrame() {
    if (!inGame) return;
    if (setupFrame) {
        setupFrame = false;
        return;
    }
    ++raceFrames;
    if (raceFrames % CHECK_EVERY == 0) checkpoint(raceFrames);
    if (!playing) {
        reportRecordingFailure();
        return;
    }
    if (playbackStops()) {
        endPlayback();
        return;
    }
}

bool replayBeforeFrame() {
    if (!playing || !inGame) return true;
    if (!player->atEnd()) return true;
    // The recording has no more frames: its game ended here, whether or not its last
    // events left the race (the window was closed, the game stopped).
    replayGameEnds();
    return false;
}

void replayGameEnds() {
    if (!inGame) return;
    inGame = false;
    checkpoint(raceFrames);
    if (playing) {
        // The game left the race while the recording goes on: they differ.
        if (!player->atEnd() && !player->damaged())
            differs(raceFrames, "the game ended there, the recording goes on");
        endPlayback();
        return;
    }
    if (!writer.isOpen()) return;
    writer.finish();
    reportRecordingFailure();
    platform::get().journal().setListener(nullptr);
    recordingFinished(recordingPath);
}

void replayRunEnds() {
    if (!inGame) return;
    if (!playing || playbackOver) {
        replayGameEnds();
        return;
    }
    // The viewer stopped the playback (Escape, the window closed): nothing to judge.
    inGame = false;
    playbackOver = true;
    note("the playback of " + loadedPath + " was stopped after frame " + std::to_string(raceFrames) +
         ": not verified");
}

bool replayHeldByPause() {
    if (!playing || !inGame) return false;
    // A live game renders no frame while paused; the recording's next frame was made after
    // the pause ended, and the events that end it come with that frame.
    if (!player->atEnd()) differs(raceFrames, "the game was paused there, the recording goes on");
    endPlayback();
    return true;
}

bool recordingIncomplete() { return recordingFailed; }

namespace {

// The version text is plain printable text (the reader sees to it); still, only so much.
std::string quoted(const std::string& text) {
    return "'" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) + "'";
}

bool isRaceModel(const std::string& name) {
    return std::any_of(std::begin(raceModels), std::end(raceModels), [&name](const char* m) { return name == m; });
}

} // namespace

bool loadReplay(const std::string& path, std::string& error, int& exitCode) {
    exitCode = 2;
    loadedPath = path;
    replaySource = std::make_unique<platform::FileReplaySource>();
    reader = std::make_unique<platform::ReplayReader>(*replaySource);
    std::string why;
    if (!replaySource->open(path, why) || reader->readHeader(loadedHeader, why) != platform::ReplayStatus::Ok) {
        error = "cannot play the replay " + path + ": " + why;
        return false;
    }
    const platform::ReplayHeader& header = loadedHeader;
    if (header.gameVersion != PALVEX_VERSION) {
        error = "cannot play the replay " + path + ": it was made by Palvex " + quoted(header.gameVersion) + ", this is " +
                PALVEX_VERSION;
        return false;
    }
    for (const platform::ModelHash& model : header.models) {
        if (!isRaceModel(model.name)) {
            error = "cannot play the replay " + path + ": it names " + quoted(model.name) + ", not one of the game's models";
            return false;
        }
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
    player = std::make_unique<platform::ReplayPlayer>(*reader, header);
    if (!player->start(why)) {
        error = "cannot play the replay " + path + ": " + why;
        return false;
    }
    OptionsRecord options;
    decodeOptions(header.options, sizeof header.options, options);
    clampOptions(options);
    sharedState.options = options;
    sharedState.aiLevel = header.aiLevel;
    // Older recordings name no players: one, against the options' opponents.
    const bool seated = header.players > 1 || header.versusOpponents > 0;
    sharedState.players = header.players;
    sharedState.versusOpponents = seated ? header.versusOpponents : -1;
    exitCode = 0;
    return true;
}

namespace {

void beginPlayback() {
    playing = true;
    playbackOver = false;
    checksCompared = 0;
    lastCheckedFrame = -1;
    firstDifference = 0;
    differenceText.clear();
    std::copy(loadedHeader.buttonsHeld, loadedHeader.buttonsHeld + ButtonCount, sharedState.buttonHeld);
    platform::get().journal().setSource(player.get());
}

// Leaving the race while verifying: the end of the replay, without the menu's projection.
void leaveVerifiedRace() {
    replayGameEnds();
    sharedState.inGame = 0;
    sharedState.race->teardown();
}

} // namespace

void endPlayback() {
    if (playbackOver) return;
    playbackOver = true;
    platform::get().postQuitMessage(playbackExitCode());
}

void startPlayback(void (*enterGame)()) {
    beginPlayback();
    if (!sharedState.inGame) enterGame();
}

int playbackExitCode() {
    if (verdictGiven) return verdictCode;
    if (!player) return 0;
    playbackStops();
    verdictGiven = true;
    const std::string name = "the replay " + loadedPath;
    if (firstDifference != 0) {
        verdictCode = EXIT_REPLAY_DIFFERS;
        note(name + " differs from frame " + std::to_string(firstDifference) + " on: " +
             (differingGroup >= 0 ? std::string(checkGroupName(differingGroup)) : differenceText));
    } else if (player->damaged()) {
        verdictCode = 2;
        note("cannot play " + name + " on: " + player->damage());
    } else if (lastCheckedFrame < 0) {
        // Nothing was compared: nothing can be said of it.
        verdictCode = 2;
        note(name + " cannot be verified: it was cut short after frame " + std::to_string(player->framesPlayed()) +
             ", before its first check");
    } else if (player->cut()) {
        verdictCode = 0;
        std::printf("palvex: the replay agrees to frame %ld, its last check (%zu %s); the file was cut short "
                    "after frame %ld, and the frames after the last check are not verified\n",
                    lastCheckedFrame, checksCompared, checksCompared == 1 ? "check" : "checks", player->framesPlayed());
    } else {
        verdictCode = 0;
        std::printf("palvex: the replay agrees: %ld frames, %zu %s\n", player->framesPlayed(), checksCompared,
                    checksCompared == 1 ? "check" : "checks");
    }
    std::fflush(stdout);
    return verdictCode;
}

namespace {

// A frame run again after a rollback came out otherwise than the first time.
void syncMismatch(const net::SyncTest& sync, int distance) {
    std::string groups;
    for (int group = 0; group < platform::CHECK_GROUPS; ++group)
        if (sync.mismatch().groups & (1u << group))
            groups += (groups.empty() ? "" : ", ") + std::string(checkGroupName(group));
    differs(sync.mismatch().frame + 1, groups + " (run again after a rollback of " + std::to_string(distance) +
                                           (distance == 1 ? " frame)" : " frames)"));
}

} // namespace

int verifyReplay(int syncDistance) {
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
    // Set up after the race, so that its snapshots are sized for the race's walls.
    RaceRollback rollback(race, 0);
    std::unique_ptr<net::SyncTest> sync;
    if (syncDistance > 0) sync = std::make_unique<net::SyncTest>(rollback, syncDistance);

    platform::Message msg;
    bool quit = false;
    while (!quit && sharedState.inGame && !playbackOver) {
        while (system.peekMessage(msg, true)) {
            if (msg.message == platform::MsgQuit) {
                quit = true;
                break;
            }
            system.dispatchMessage(msg);
        }
        if (quit || !sharedState.inGame || playbackOver) break;
        if (!replayBeforeFrame()) break;
        // A paused game renders nothing, the recording has a frame: they differ.
        if (sharedState.paused && replayHeldByPause()) break;
        if (sync) {
            net::SeatInputs inputs;
            for (int seat = 0; seat < net::kMaxSeats; ++seat) inputs.seat[seat] = RaceRollback::heldButtons(seat);
            if (!sync->advance(inputs) || rollback.loadFailures() > 0) {
                syncMismatch(*sync, syncDistance);
                break;
            }
        } else {
            race.runFrame();
        }
        clearButtonReleases();
        system.frameWithoutPresent();
        // The check of a frame is taken after it, like the recording's.
        replayAfterFrame();
    }
    replayGameEnds();
    if (sharedState.inGame) {
        sharedState.inGame = 0;
        race.teardown();
    }
    sharedState.race = nullptr;
    system.journal().setSource(nullptr);
    const int verdict = playbackExitCode();
    if (sync && verdict == 0) {
        std::printf("palvex: the sync test agrees: %d frames, each followed by a rollback of %d %s (%llu frames "
                    "run again)\n",
                    sync->currentFrame(), syncDistance, syncDistance == 1 ? "frame" : "frames",
                    static_cast<unsigned long long>(sync->framesChecked()));
        std::fflush(stdout);
    }
    return verdict;
}
