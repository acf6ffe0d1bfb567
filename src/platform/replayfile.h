// Replay files: what the journal saw of one game, from the start in the main menu to the
// return to it, so that the game plays back exactly on any machine (docs/replay-format.md).
// The writer appends as the game goes and never allocates per frame; the reader takes a
// whole file, however damaged, and says how far it can be trusted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace platform {

constexpr char REPLAY_MAGIC[8] = {'P', 'A', 'L', 'V', 'E', 'X', 'R', 'P'};
// 2 added the opponents' level; files of version 1 were all raced against level 0.
constexpr uint16_t REPLAY_FORMAT_VERSION = 2;
constexpr const char* REPLAY_EXTENSION = ".pvxr";
// Seven groups of the race state are checked apart, so a difference can be named.
constexpr int CHECK_GROUPS = 7;
// A replay of a day's play is a few tens of megabytes; anything larger is not one.
constexpr size_t MAX_REPLAY_BYTES = size_t(256) << 20;

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
};

struct ReplayCheck {
    uint32_t frame = 0;         // race frame after which it was taken (1 is the first)
    uint32_t groups[CHECK_GROUPS] = {};
};

struct ReplayEvent {
    MessageType type = MsgNone;
    uint32_t wParam = 0;
};

// One rendered race frame: the events delivered before it, the ticks the game read up to
// its presentation (ranges into ReplayData's arrays).
struct ReplayFrame {
    uint32_t firstEvent = 0, eventCount = 0;
    uint32_t firstTick = 0, tickCount = 0;
};

struct ReplayData {
    ReplayHeader header;
    std::vector<uint32_t> setupTicks;
    std::vector<ReplayFrame> frames;
    std::vector<ReplayEvent> events;
    std::vector<uint32_t> ticks;
    std::vector<ReplayCheck> checks;
    // Events delivered after the last frame (the key release that left the race).
    uint32_t trailingFirstEvent = 0, trailingEventCount = 0;
    bool complete = false; // the end marker was found; otherwise the file was cut
};

enum class ReplayStatus { Ok, Unreadable, NotAReplay, NewerFormat, Damaged };

// Parses the bytes of a replay file. A file cut anywhere after its header reads as the
// frames it holds in full (complete stays false); anything else wrong is refused with a
// message naming what.
ReplayStatus parseReplay(const uint8_t* bytes, size_t size, ReplayData& out, std::string& error);
// Reads and parses a replay file (never blocking, never more than MAX_REPLAY_BYTES).
ReplayStatus readReplay(const std::string& path, ReplayData& out, std::string& error);

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

    bool open(const std::string& path, const ReplayHeader& header, std::string& error);
    bool isOpen() const { return fd >= 0; }
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
// recorded ticks in the order the game read them.
class ReplayPlayer : public JournalSource {
public:
    explicit ReplayPlayer(const ReplayData& data) : replay(data) {}
    void eventsFor(long frame, const std::function<void(MessageType, uintptr_t)>& queue) override;
    uint32_t nextTick() override;
    uint32_t currentTick() const override { return lastTick; }
    void presented(long frame) override;

    // The first frame in which the game read other ticks than the recording holds (more,
    // fewer, or before the recording began), 0 while they agree.
    long tickMismatch() const { return firstMismatch; }
    // The first tick recorded for the frame: when it is due in real time.
    uint32_t plannedTick(long frame) const override;
    long frameCount() const { return static_cast<long>(replay.frames.size()); }

private:
    const ReplayData& replay;
    size_t nextIndex = 0; // into the set-up ticks, then the frames' ticks
    uint32_t lastTick = 0;
    long firstMismatch = 0;
};

} // namespace platform
