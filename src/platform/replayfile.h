// Replay files: what the journal saw of one game, from the start in the main menu to the
// return to it, so that the game plays back exactly on any machine (docs/replay-format.md).
// The writer appends as the game goes and never allocates per frame; the reader streams a
// file, however damaged or large, in bounded memory and says how far it can be trusted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace platform {

constexpr char REPLAY_MAGIC[8] = {'P', 'A', 'L', 'V', 'E', 'X', 'R', 'P'};
// 2 added the opponents' level; files of version 1 were all raced against level 0.
// 3 added the players and a race of several's computer bikes, and whose key an event is;
// files before it were all one player's.
constexpr uint16_t REPLAY_FORMAT_VERSION = 3;
constexpr const char* REPLAY_EXTENSION = ".pvxr";
// Seven groups of the race state are checked apart, so a difference can be named.
constexpr int CHECK_GROUPS = 7;
// A replay of a day's play is a few tens of megabytes; anything larger is not one.
constexpr size_t MAX_REPLAY_BYTES = size_t(256) << 20;
// Header texts: the version text and model file names.
constexpr size_t MAX_MODELS = 16;

struct ModelHash {
    std::string name;
    uint64_t hash = 0;
};

struct ReplayHeader {
    std::string gameVersion;
    uint8_t options[13] = {};  // the options record, as options.bin holds it
    uint8_t buttonsHeld[7] = {}; // buttons held when the race was set up
    std::vector<ModelHash> models;
    uint32_t setupTick = 0;    // the first tick the set-up read
    uint8_t aiLevel = 0;       // the opponents' driving level (format 2 on)
    uint8_t players = 1;         // human players, 1 to 4 (format 3 on; 1 before)
    uint8_t versusOpponents = 0; // a race of several players: its computer bikes (format 3 on)
};

struct ReplayCheck {
    uint32_t frame = 0;         // race frame after which it was taken (1 is the first)
    uint32_t groups[CHECK_GROUPS] = {};
};

struct ReplayEvent {
    MessageType type = MsgNone;
    uint32_t wParam = 0;
    int32_t lParam = 0; // whose key (keyOfPlayer); recorded from format 3 on
};

// What a replay may hold, bounded by what a game can make: a frame reads the clock once
// or twice and a key press is two events, so a frame with thousands of either is not a
// game's (a held key's autorepeat during a long pause stays far below). A check follows
// every CHECK_EVERY-th frame and the last one, so a forged stretch of frames is caught by
// the first check after it.
constexpr size_t MAX_EVENTS_PER_FRAME = 4096;
constexpr size_t MAX_TICKS_PER_FRAME = 4096;
constexpr size_t MAX_SETUP_TICKS = 64;
constexpr uint32_t CHECK_EVERY = 60;

enum class ReplayStatus { Ok, Unreadable, NotAReplay, NewerFormat, Damaged };

// Where a replay's bytes come from: a file, bytes in memory, later a connection.
class ReplaySource {
public:
    virtual ~ReplaySource() = default;
    // Up to `most` bytes into `into`: how many, 0 at the end; -1 when reading failed.
    virtual long read(uint8_t* into, size_t most) = 0;
};

class MemoryReplaySource : public ReplaySource {
public:
    MemoryReplaySource(const uint8_t* bytes, size_t size) : at(bytes), left(size) {}
    long read(uint8_t* into, size_t most) override;

private:
    const uint8_t* at;
    size_t left;
};

// A regular file, opened without waiting (a FIFO or device is refused) and read as it is
// played, never more than MAX_REPLAY_BYTES of it.
class FileReplaySource : public ReplaySource {
public:
    FileReplaySource() = default;
    ~FileReplaySource() override;
    FileReplaySource(const FileReplaySource&) = delete;
    FileReplaySource& operator=(const FileReplaySource&) = delete;
    bool open(const std::string& path, std::string& error);
    long read(uint8_t* into, size_t most) override;

private:
    int fd = -1;
    size_t total = 0;
};

// One step of a replay's body: the items up to and including a frame (or the end), with
// the checks taken after that frame.
struct ReplayStep {
    enum Kind {
        Frame, // a presented race frame: the events delivered and ticks read before it
        End,   // the game ended: the events that ended it and the last checks
        Cut,   // the file stops here without an end (a crash, a power cut)
    };
    Kind kind = Cut;
    std::vector<ReplayEvent> events;
    std::vector<uint32_t> ticks;
    std::vector<ReplayCheck> checks;
};

// Reads a replay front to back, a step at a time, holding only the step in memory: the
// header first (refused before any of the body is read), then the set-up's ticks, then
// frame after frame. Every version of the format is read here; see readHeader.
class ReplayReader {
public:
    explicit ReplayReader(ReplaySource& from);
    ReplayStatus readHeader(ReplayHeader& out, std::string& error);
    // The ticks the set-up read, up to the set-up-done item.
    ReplayStatus readSetup(std::vector<uint32_t>& ticks, std::string& error);
    // The next step; a cut inside an item reads as Cut after the last whole frame. Damage
    // is named with the frame after which it was found.
    ReplayStatus next(ReplayStep& step, std::string& error);
    // Race frames read so far.
    uint32_t frames() const { return frameCount; }
    uint16_t formatVersion() const { return version; }

private:
    bool fill();
    bool byte(uint8_t& out);
    bool peek(uint8_t& out);
    bool bytes(void* out, size_t n);
    bool u16(uint16_t& out);
    bool u32(uint32_t& out);
    bool u64(uint64_t& out);
    bool varint(uint64_t& out);
    bool text(std::string& out);
    ReplayStatus damaged(const std::string& what, std::string& error) const;
    bool possibleEvent(uint8_t type, uint64_t wParam, uint64_t lParam) const;
    // A tick item's value; false when it is out of a tick's range.
    bool tickValue(uint64_t delta, uint32_t& out);

    ReplaySource& source;
    std::vector<uint8_t> buffer;
    size_t at = 0, end = 0;
    bool failed = false; // the source failed to read (not the end of the data)
    bool finished = false;
    uint16_t version = 0;
    uint32_t frameCount = 0;
    uint32_t lastChecked = UINT32_MAX; // the frame of the last check read (none yet)
    uint32_t previousTick = 0;
    bool firstTick = true;
};

// The reader's answer, as one line.
const char* replayStatusText(ReplayStatus status);

// The 64-bit hash of a file's bytes (xxHash's XXH3), false when it cannot be read.
bool hashFile(const std::string& path, uint64_t& hash);
// A 32-bit hash of some bytes (xxHash's XXH32), for the checks of the race state.
uint32_t hashBytes(const void* data, size_t size);

// Appends a game as it is played. All memory is taken when the file is opened; items are
// buffered and written, with the data flushed to disk, at least once a second of game
// ticks, so a crash leaves a file that plays back to its last complete frame.
class ReplayWriter {
public:
    ReplayWriter();
    ~ReplayWriter();
    ReplayWriter(const ReplayWriter&) = delete;
    ReplayWriter& operator=(const ReplayWriter&) = delete;

    // Creates the file; an existing file or node of that name is never replaced.
    bool open(const std::string& path, const ReplayHeader& header, std::string& error);
    bool isOpen() const { return fd >= 0; }
    // Why the recording stopped when a write failed (a full disk, a size limit), once:
    // empty afterwards, and while nothing failed.
    std::string takeFailure() { return std::move(failure); }
    void event(const Message& msg);
    void tick(uint32_t value);
    // The set-up is over: what follows belongs to the race's frames.
    void setupDone();
    void frameEnd(uint32_t tickNow);
    void check(const ReplayCheck& check);
    // Writes the end marker, flushes and closes.
    void finish();
    // Flushes and closes without an end marker (as a crash would leave it; for tests).
    void abandon();

private:
    void put(uint8_t byte) { buffer[used++] = byte; }
    void putVarint(uint64_t value);
    void room(size_t bytes);
    void flush(bool toDisk);

    int fd = -1;
    std::string path;
    std::string failure;
    std::vector<uint8_t> buffer;
    size_t used = 0;
    uint32_t lastTick = 0;
    uint32_t lastFlushTick = 0;
    bool haveTick = false;
};

// The journal's recorder: while a game is being recorded, every delivered message, tick
// read and presented frame goes to the writer.
class ReplayRecorder : public JournalListener {
public:
    explicit ReplayRecorder(ReplayWriter& writer) : out(writer) {}
    // A new game: its first presented frame is the one in which it was set up.
    void begin() {
        settingUp = true;
        lastTick = 0;
    }
    void delivered(long frame, const Message& msg) override;
    void tickRead(long frame, uint32_t tick) override;
    void presented(long frame) override;

private:
    ReplayWriter& out;
    uint32_t lastTick = 0;
    bool settingUp = true; // until the frame in which the race was set up is presented
};

// Plays a replay back through the journal: the recorded events before each frame, the
// recorded ticks in the order the game read them. The reader is read one frame ahead (the
// next frame's first tick says when it is due); what it finds wrong stops the playback.
class ReplayPlayer : public JournalSource {
public:
    // The reader has read the header; the player reads the set-up and the rest.
    ReplayPlayer(ReplayReader& reader, const ReplayHeader& header) : reader(reader), lastTick(header.setupTick) {}
    // False (with the reader's message) when the set-up or the first step cannot be read.
    bool start(std::string& error);
    void eventsFor(long frame, const QueueEvent& queue) override;
    uint32_t nextTick() override;
    uint32_t currentTick() const override { return lastTick; }
    void presented(long frame) override;
    // The first tick recorded for the frame to come: when it is due in real time.
    uint32_t plannedTick(long frame) const override;

    // The first frame in which the game read other ticks than the recording holds (more,
    // fewer, or before the recording began), 0 while they agree.
    long tickMismatch() const { return firstMismatch; }
    // Race frames played so far.
    long framesPlayed() const { return played; }
    // The recording holds no more frames: the next step is its end (or where it was cut).
    bool atEnd() const { return step.kind != ReplayStep::Frame; }
    bool cut() const { return step.kind == ReplayStep::Cut; }
    // The recording holds events after its last frame (those that ended the game).
    bool endingEvents() const { return atEnd() && !step.events.empty(); }
    // The reader found damage (or could not read on): the playback cannot go on.
    bool damaged() const { return status != ReplayStatus::Ok; }
    const std::string& damage() const { return damageText; }
    // The recorded check of the race state after `frame` not yet taken, if any (the end's
    // checks count once the last frame is played).
    bool takeCheck(uint32_t frame, ReplayCheck& out);

private:
    void advance();

    ReplayReader& reader;
    std::vector<uint32_t> setupTicks;
    ReplayStep step;                  // the frame to come (or the end)
    std::vector<ReplayCheck> checks;  // taken after the frame last presented
    size_t nextSetupTick = 0;
    size_t nextStepTick = 0;
    bool inSetup = true;
    uint32_t lastTick = 0;
    uint32_t frameStep = 0;           // the last step between two frames' first ticks
    uint32_t lastRecordedTick = 0;    // the last tick of the steps played
    long played = 0;
    long firstMismatch = 0;
    ReplayStatus status = ReplayStatus::Ok;
    std::string damageText;
};

} // namespace platform
