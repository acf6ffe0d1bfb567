#include "platform/replayfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

#include "platform/os.h"

namespace platform {

namespace {

enum Item : uint8_t {
    ItemEvent = 1,
    ItemTick = 2,
    ItemFrame = 3,
    ItemCheck = 4,
    ItemEnd = 5,
    ItemSetupDone = 6,
};

constexpr size_t WRITER_BUFFER = 64 * 1024;
constexpr uint32_t FLUSH_EVERY_MS = 1000;
constexpr size_t MAX_MODELS = 16;

uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

// Reads the bytes of a replay front to back; every read is bounded by what is left.
class Cursor {
public:
    Cursor(const uint8_t* bytes, size_t size) : at(bytes), end(bytes + size) {}
    bool empty() const { return at == end; }
    bool byte(uint8_t& out) {
        if (at == end) return false;
        out = *at++;
        return true;
    }
    bool bytes(void* out, size_t n) {
        if (static_cast<size_t>(end - at) < n) return false;
        std::memcpy(out, at, n);
        at += n;
        return true;
    }
    bool u16(uint16_t& out) {
        uint8_t b[2];
        if (!bytes(b, 2)) return false;
        out = static_cast<uint16_t>(b[0] | b[1] << 8);
        return true;
    }
    bool u32(uint32_t& out) {
        uint8_t b[4];
        if (!bytes(b, 4)) return false;
        out = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    bool u64(uint64_t& out) {
        uint32_t low, high;
        if (!u32(low) || !u32(high)) return false;
        out = uint64_t(high) << 32 | low;
        return true;
    }
    bool varint(uint64_t& out) {
        out = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            uint8_t b;
            if (!byte(b)) return false;
            out |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool text(std::string& out) {
        uint8_t length;
        if (!byte(length) || static_cast<size_t>(end - at) < length) return false;
        out.assign(reinterpret_cast<const char*>(at), length);
        at += length;
        return true;
    }

private:
    const uint8_t* at;
    const uint8_t* end;
};

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

ReplayStatus parseReplay(const uint8_t* bytes, size_t size, ReplayData& out, std::string& error) {
    out = ReplayData();
    Cursor in(bytes, size);
    char magic[8];
    if (!in.bytes(magic, sizeof magic) || std::memcmp(magic, REPLAY_MAGIC, sizeof magic) != 0) {
        error = "not a Palvex replay";
        return ReplayStatus::NotAReplay;
    }
    uint16_t version = 0;
    if (!in.u16(version)) {
        error = "the header is cut short";
        return ReplayStatus::Damaged;
    }
    if (version > REPLAY_FORMAT_VERSION) {
        error = "made by a newer Palvex (replay format " + std::to_string(version) + "; this one reads " +
                std::to_string(REPLAY_FORMAT_VERSION) + ")";
        return ReplayStatus::NewerFormat;
    }
    if (version == 0) {
        error = "replay format 0 does not exist";
        return ReplayStatus::Damaged;
    }
    ReplayHeader& header = out.header;
    uint8_t modelCount = 0;
    bool ok = in.text(header.gameVersion) && in.bytes(header.options, sizeof header.options) &&
              in.bytes(header.buttonsHeld, sizeof header.buttonsHeld) && in.byte(modelCount);
    if (ok && modelCount > MAX_MODELS) {
        error = "the header names " + std::to_string(modelCount) + " model files";
        return ReplayStatus::Damaged;
    }
    for (uint8_t i = 0; ok && i < modelCount; ++i) {
        ModelHash model;
        ok = in.text(model.name) && in.u64(model.hash);
        header.models.push_back(model);
    }
    ok = ok && in.u32(header.setupTick);
    if (ok && version >= 2) ok = in.byte(header.aiLevel);
    if (!ok) {
        error = "the header is cut short";
        return ReplayStatus::Damaged;
    }

    // The items. A cut inside an item, or before the end marker, leaves the frames read so
    // far; anything that cannot be an item is damage.
    bool setupDone = false;
    uint32_t previousTick = 0;
    bool firstTick = true;
    ReplayFrame current;
    current.firstEvent = 0;
    current.firstTick = 0;
    auto damaged = [&](const std::string& what) {
        error = what + " after frame " + std::to_string(out.frames.size());
        return ReplayStatus::Damaged;
    };
    for (;;) {
        uint8_t item;
        if (!in.byte(item)) break;
        if (item == ItemEnd) {
            if (!setupDone) return damaged("an end before the race was set up");
            out.complete = true;
            break;
        }
        if (item == ItemEvent) {
            uint8_t type;
            uint64_t wParam;
            if (!in.byte(type) || !in.varint(wParam)) break;
            if (type == MsgNone || type >= MsgQuit || wParam > UINT32_MAX) return damaged("an impossible event");
            if (!setupDone) return damaged("an event during the set-up");
            out.events.push_back({static_cast<MessageType>(type), static_cast<uint32_t>(wParam)});
            ++current.eventCount;
        } else if (item == ItemTick) {
            uint64_t delta;
            if (!in.varint(delta)) break;
            // A step of more than a 32-bit tick can hold is refused before it is added: a
            // varint step reaches 2^63, and the sum would overflow.
            const int64_t step = unzigzag(delta);
            if (step < -int64_t(UINT32_MAX) || step > int64_t(UINT32_MAX)) return damaged("a tick out of range");
            const int64_t value = (firstTick ? 0 : int64_t(previousTick)) + step;
            if (value < 0 || value > int64_t(UINT32_MAX)) return damaged("a tick out of range");
            previousTick = static_cast<uint32_t>(value);
            firstTick = false;
            if (!setupDone) {
                out.setupTicks.push_back(previousTick);
            } else {
                out.ticks.push_back(previousTick);
                ++current.tickCount;
            }
        } else if (item == ItemSetupDone) {
            if (setupDone) return damaged("a second set-up");
            setupDone = true;
        } else if (item == ItemFrame) {
            if (!setupDone) return damaged("a frame before the set-up was done");
            out.frames.push_back(current);
            current = ReplayFrame();
            current.firstEvent = static_cast<uint32_t>(out.events.size());
            current.firstTick = static_cast<uint32_t>(out.ticks.size());
        } else if (item == ItemCheck) {
            uint64_t frame;
            ReplayCheck check;
            bool read = in.varint(frame);
            for (uint32_t& group : check.groups) read = read && in.u32(group);
            if (!read) break;
            if (frame != out.frames.size() || frame == 0) return damaged("a check of the wrong frame");
            check.frame = static_cast<uint32_t>(frame);
            out.checks.push_back(check);
        } else {
            return damaged("an unknown item " + std::to_string(item));
        }
        if (!setupDone && out.setupTicks.size() > 64) return damaged("a set-up of too many ticks");
    }
    // What followed the last complete frame: the events that ended the game (their ticks,
    // if any, belong to no frame).
    out.trailingFirstEvent = current.firstEvent;
    out.trailingEventCount = current.eventCount;
    if (!setupDone) {
        error = "the file ends before the race was set up";
        return ReplayStatus::Damaged;
    }
    return ReplayStatus::Ok;
}

ReplayStatus readReplay(const std::string& path, ReplayData& out, std::string& error) {
    std::vector<uint8_t> bytes;
    const os::ReadStatus status = os::readWholeFile(path, MAX_REPLAY_BYTES, bytes);
    if (status != os::ReadStatus::Ok) {
        error = std::string("cannot read it (") + os::readStatusText(status) + ")";
        return ReplayStatus::Unreadable;
    }
    return parseReplay(bytes.data(), bytes.size(), out, error);
}

bool hashFile(const std::string& path, uint64_t& hash) {
    std::vector<uint8_t> bytes;
    if (os::readWholeFile(path, size_t(256) << 20, bytes) != os::ReadStatus::Ok) return false;
    hash = XXH3_64bits(bytes.data(), bytes.size());
    return true;
}

uint32_t hashBytes(const void* data, size_t size) { return XXH32(data, size, 0); }

ReplayWriter::ReplayWriter() : buffer(WRITER_BUFFER) {}

ReplayWriter::~ReplayWriter() { abandon(); }

bool ReplayWriter::open(const std::string& path, const ReplayHeader& header, std::string& error) {
    abandon();
    std::vector<uint8_t> head(REPLAY_MAGIC, REPLAY_MAGIC + sizeof REPLAY_MAGIC);
    head.push_back(REPLAY_FORMAT_VERSION & 0xFF);
    head.push_back(REPLAY_FORMAT_VERSION >> 8);
    auto text = [&head](const std::string& s) {
        const size_t n = std::min<size_t>(s.size(), 255);
        head.push_back(static_cast<uint8_t>(n));
        head.insert(head.end(), s.begin(), s.begin() + static_cast<long>(n));
    };
    text(header.gameVersion);
    head.insert(head.end(), header.options, header.options + sizeof header.options);
    head.insert(head.end(), header.buttonsHeld, header.buttonsHeld + sizeof header.buttonsHeld);
    head.push_back(static_cast<uint8_t>(std::min(header.models.size(), MAX_MODELS)));
    for (size_t i = 0; i < header.models.size() && i < MAX_MODELS; ++i) {
        text(header.models[i].name);
        putU32(head, static_cast<uint32_t>(header.models[i].hash));
        putU32(head, static_cast<uint32_t>(header.models[i].hash >> 32));
    }
    putU32(head, header.setupTick);
    head.push_back(header.aiLevel);

    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        error = std::string("cannot create ") + path + ": " + std::strerror(errno);
        return false;
    }
    if (!writeAll(fd, head.data(), head.size())) {
        error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        ::close(fd);
        fd = -1;
        return false;
    }
    used = 0;
    haveTick = false;
    lastTick = 0;
    lastFlushTick = header.setupTick;
    return true;
}

void ReplayWriter::putVarint(uint64_t value) {
    while (value >= 0x80) {
        put(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    put(static_cast<uint8_t>(value));
}

void ReplayWriter::room(size_t bytes) {
    if (used + bytes > buffer.size()) flush(false);
}

void ReplayWriter::flush(bool toDisk) {
    if (fd < 0) return;
    if (used > 0 && !writeAll(fd, buffer.data(), used)) {
        // A full disk ends the recording, not the game.
        ::close(fd);
        fd = -1;
    }
    used = 0;
    if (toDisk && fd >= 0) ::fdatasync(fd);
}

void ReplayWriter::event(const Message& msg) {
    if (fd < 0) return;
    room(16);
    put(ItemEvent);
    put(static_cast<uint8_t>(msg.message));
    putVarint(static_cast<uint32_t>(msg.wParam));
}

void ReplayWriter::tick(uint32_t value) {
    if (fd < 0) return;
    room(16);
    put(ItemTick);
    putVarint(zigzag(static_cast<int64_t>(value) - (haveTick ? static_cast<int64_t>(lastTick) : 0)));
    lastTick = value;
    haveTick = true;
}

void ReplayWriter::frameEnd(uint32_t tickNow) {
    if (fd < 0) return;
    room(1);
    put(ItemFrame);
    if (tickNow - lastFlushTick >= FLUSH_EVERY_MS) {
        flush(true);
        lastFlushTick = tickNow;
    }
}

void ReplayWriter::setupDone() {
    if (fd < 0) return;
    room(1);
    put(ItemSetupDone);
}

void ReplayWriter::check(const ReplayCheck& c) {
    if (fd < 0) return;
    room(16 + 4 * CHECK_GROUPS);
    put(ItemCheck);
    putVarint(c.frame);
    for (uint32_t group : c.groups)
        for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(group >> (8 * i)));
}

void ReplayWriter::finish() {
    if (fd < 0) return;
    room(1);
    put(ItemEnd);
    flush(true);
    ::close(fd);
    fd = -1;
}

void ReplayWriter::abandon() {
    if (fd < 0) return;
    flush(true);
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void ReplayRecorder::delivered(long frame, const Message& msg) { out.event(msg); }

void ReplayRecorder::tickRead(long frame, uint32_t tick) {
    lastTick = tick;
    out.tick(tick);
}

void ReplayRecorder::presented(long frame) {
    if (settingUp) {
        settingUp = false;
        out.setupDone();
        return;
    }
    out.frameEnd(lastTick);
}

void ReplayPlayer::eventsFor(long frame, const std::function<void(MessageType, uintptr_t)>& queue) {
    uint32_t first = 0, count = 0;
    if (frame >= 1 && frame <= frameCount()) {
        first = replay.frames[static_cast<size_t>(frame - 1)].firstEvent;
        count = replay.frames[static_cast<size_t>(frame - 1)].eventCount;
    } else if (frame == frameCount() + 1) {
        first = replay.trailingFirstEvent;
        count = replay.trailingEventCount;
    }
    for (uint32_t i = first; i < first + count && i < replay.events.size(); ++i)
        queue(replay.events[i].type, replay.events[i].wParam);
}

uint32_t ReplayPlayer::nextTick() {
    const size_t setup = replay.setupTicks.size();
    if (nextIndex < setup) {
        lastTick = replay.setupTicks[nextIndex];
    } else if (nextIndex - setup < replay.ticks.size()) {
        lastTick = replay.ticks[nextIndex - setup];
    }
    // Past the end the last tick stands; presented() notices the extra read.
    ++nextIndex;
    return lastTick;
}

void ReplayPlayer::presented(long frame) {
    if (frame < 1 || frame > frameCount()) return;
    const ReplayFrame& f = replay.frames[static_cast<size_t>(frame - 1)];
    const size_t expected = replay.setupTicks.size() + f.firstTick + f.tickCount;
    if (nextIndex != expected && firstMismatch == 0) firstMismatch = frame;
    nextIndex = expected;
    // Between frames the clock reads what the next frame will: as a live game's does.
    // After the last frame, one more frame's step.
    if (frame < frameCount()) lastTick = plannedTick(frame + 1);
    else if (frame > 1) lastTick = plannedTick(frame) + (plannedTick(frame) - plannedTick(frame - 1));
}

uint32_t ReplayPlayer::plannedTick(long frame) const {
    if (frame < 1 || frame > frameCount()) return lastTick;
    const ReplayFrame& f = replay.frames[static_cast<size_t>(frame - 1)];
    if (f.tickCount > 0) return replay.ticks[f.firstTick];
    return f.firstTick > 0 ? replay.ticks[f.firstTick - 1] : replay.header.setupTick;
}

} // namespace platform
