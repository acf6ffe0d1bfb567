#include "platform/replayfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
    ItemPlayerEvent = 7, // an event with an lParam (format 3 on)
};

constexpr size_t WRITER_BUFFER = 64 * 1024;
constexpr uint32_t FLUSH_EVERY_MS = 1000;
constexpr size_t READER_BUFFER = 64 * 1024;

uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

long MemoryReplaySource::read(uint8_t* into, size_t most) {
    const size_t n = std::min(most, left);
    std::memcpy(into, at, n);
    at += n;
    left -= n;
    return static_cast<long>(n);
}

FileReplaySource::~FileReplaySource() {
    if (fd >= 0) ::close(fd);
}

bool FileReplaySource::open(const std::string& path, std::string& error) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer for ever.
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::string("cannot read it (") + (errno == ENOENT ? "no such file" : std::strerror(errno)) + ")";
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot read it (not a regular file)";
        ::close(fd);
        fd = -1;
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > MAX_REPLAY_BYTES) {
        error = "cannot read it (larger than " + std::to_string(MAX_REPLAY_BYTES >> 20) + " MB)";
        ::close(fd);
        fd = -1;
        return false;
    }
    total = 0;
    return true;
}

long FileReplaySource::read(uint8_t* into, size_t most) {
    if (fd < 0) return -1;
    // A file that grows while it is played stops at the bound like one that was too large.
    most = std::min(most, MAX_REPLAY_BYTES - total);
    if (most == 0) return 0;
    for (;;) {
        const ssize_t n = ::read(fd, into, most);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        total += static_cast<size_t>(n);
        return static_cast<long>(n);
    }
}

const char* replayStatusText(ReplayStatus status) {
    switch (status) {
    case ReplayStatus::Ok: return "ok";
    case ReplayStatus::Unreadable: return "unreadable";
    case ReplayStatus::NotAReplay: return "not a replay";
    case ReplayStatus::NewerFormat: return "a newer format";
    case ReplayStatus::Damaged: return "damaged";
    }
    return "?";
}

ReplayReader::ReplayReader(ReplaySource& from) : source(from), buffer(READER_BUFFER) {}

bool ReplayReader::fill() {
    if (at < end) return true;
    if (finished) return false;
    at = end = 0;
    const long n = source.read(buffer.data(), buffer.size());
    if (n <= 0) {
        finished = true;
        failed = n < 0;
        return false;
    }
    end = static_cast<size_t>(n);
    return true;
}

bool ReplayReader::byte(uint8_t& out) {
    if (!fill()) return false;
    out = buffer[at++];
    return true;
}

bool ReplayReader::peek(uint8_t& out) {
    if (!fill()) return false;
    out = buffer[at];
    return true;
}

bool ReplayReader::bytes(void* out, size_t n) {
    auto* to = static_cast<uint8_t*>(out);
    while (n > 0) {
        if (!fill()) return false;
        const size_t part = std::min(n, end - at);
        std::memcpy(to, buffer.data() + at, part);
        at += part;
        to += part;
        n -= part;
    }
    return true;
}

bool ReplayReader::u16(uint16_t& out) {
    uint8_t b[2];
    if (!bytes(b, 2)) return false;
    out = static_cast<uint16_t>(b[0] | b[1] << 8);
    return true;
}

bool ReplayReader::u32(uint32_t& out) {
    uint8_t b[4];
    if (!bytes(b, 4)) return false;
    out = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool ReplayReader::u64(uint64_t& out) {
    uint32_t low, high;
    if (!u32(low) || !u32(high)) return false;
    out = uint64_t(high) << 32 | low;
    return true;
}

bool ReplayReader::varint(uint64_t& out) {
    out = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        uint8_t b;
        if (!byte(b)) return false;
        out |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

bool ReplayReader::text(std::string& out) {
    uint8_t length;
    if (!byte(length)) return false;
    out.resize(length);
    return bytes(out.data(), length);
}

ReplayStatus ReplayReader::damaged(const std::string& what, std::string& error) const {
    error = what + " after frame " + std::to_string(frameCount);
    return ReplayStatus::Damaged;
}

// What the window procedure can have been given: the messages of its format's time, a
// gamepad message naming a player, an lParam naming a player's key in 16 bits.
bool ReplayReader::possibleEvent(uint8_t type, uint64_t wParam, uint64_t lParam) const {
    if (type == MsgNone || type == MsgQuit || wParam > UINT32_MAX) return false;
    if (type > (version >= 3 ? MsgGamepadRemoved : MsgQuit)) return false;
    if ((type == MsgGamepadAdded || type == MsgGamepadRemoved) && (wParam < 1 || wParam > MAX_PLAYERS || lParam != 0))
        return false;
    return lParam <= 0xFFFF && playerOfKey(static_cast<intptr_t>(lParam)) <= MAX_PLAYERS;
}

bool ReplayReader::tickValue(uint64_t delta, uint32_t& out) {
    // A step of more than a 32-bit tick can hold is refused before it is added: a varint
    // step reaches 2^63, and the sum would overflow.
    const int64_t step = unzigzag(delta);
    if (step < -int64_t(UINT32_MAX) || step > int64_t(UINT32_MAX)) return false;
    const int64_t value = (firstTick ? 0 : int64_t(previousTick)) + step;
    if (value < 0 || value > int64_t(UINT32_MAX)) return false;
    previousTick = static_cast<uint32_t>(value);
    firstTick = false;
    out = previousTick;
    return true;
}

// The one place where format versions differ. Version 1 is the whole header below; a
// later version adds its fields after the set-up tick under `version >= N`, and every
// older version still reads.
ReplayStatus ReplayReader::readHeader(ReplayHeader& header, std::string& error) {
    header = ReplayHeader();
    char magic[8];
    if (!bytes(magic, sizeof magic) || std::memcmp(magic, REPLAY_MAGIC, sizeof magic) != 0) {
        error = failed ? "cannot read it (a read error)" : "not a Palvex replay";
        return failed ? ReplayStatus::Unreadable : ReplayStatus::NotAReplay;
    }
    if (!u16(version)) {
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
    uint8_t modelCount = 0;
    if (!text(header.gameVersion) || !bytes(header.options, sizeof header.options) ||
        !bytes(header.buttonsHeld, sizeof header.buttonsHeld) || !byte(modelCount)) {
        error = "the header is cut short";
        return ReplayStatus::Damaged;
    }
    // Texts from a file reach the terminal and the file system: plain printable ASCII
    // only, and a model is a file name of the game's folder, never a path.
    if (!std::all_of(header.gameVersion.begin(), header.gameVersion.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        error = "the version text holds other than printable characters";
        return ReplayStatus::Damaged;
    }
    for (uint8_t held : header.buttonsHeld) {
        if (held > 1) {
            error = "a held button of " + std::to_string(held) + " (0 or 1 are the choices)";
            return ReplayStatus::Damaged;
        }
    }
    if (modelCount == 0 || modelCount > MAX_MODELS) {
        error = "the header names " + std::to_string(modelCount) + " model files (1 to " + std::to_string(MAX_MODELS) + ")";
        return ReplayStatus::Damaged;
    }
    for (uint8_t i = 0; i < modelCount; ++i) {
        ModelHash model;
        if (!text(model.name) || !u64(model.hash)) {
            error = "the header is cut short";
            return ReplayStatus::Damaged;
        }
        const bool plain = !model.name.empty() && model.name[0] != '.' &&
                           std::all_of(model.name.begin(), model.name.end(), [](char c) {
                               return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
                           });
        if (!plain) {
            error = "a model that is not a plain file name";
            return ReplayStatus::Damaged;
        }
        header.models.push_back(model);
    }
    if (!u32(header.setupTick) || (version >= 2 && !byte(header.aiLevel)) ||
        (version >= 3 && (!byte(header.players) || !byte(header.versusOpponents)))) {
        error = "the header is cut short";
        return ReplayStatus::Damaged;
    }
    if (header.players < 1 || header.players > MAX_PLAYERS) {
        error = "a race of " + std::to_string(header.players) + " players (1 to " + std::to_string(MAX_PLAYERS) + ")";
        return ReplayStatus::Damaged;
    }
    if (header.players + header.versusOpponents > MAX_PLAYERS) {
        error = "a race of " + std::to_string(header.players) + " players and " +
                std::to_string(header.versusOpponents) + " computer bikes (at most " + std::to_string(MAX_PLAYERS) +
                " bikes in all)";
        return ReplayStatus::Damaged;
    }
    return ReplayStatus::Ok;
}

ReplayStatus ReplayReader::readSetup(std::vector<uint32_t>& ticks, std::string& error) {
    ticks.clear();
    for (;;) {
        uint8_t item;
        uint64_t delta;
        if (!byte(item)) break;
        if (item == ItemSetupDone) return ReplayStatus::Ok;
        if (item != ItemTick) {
            const bool known = item >= ItemEvent && item <= (version >= 3 ? ItemPlayerEvent : ItemSetupDone);
            return damaged(known ? "an item other than a tick during the set-up" : "an unknown item " + std::to_string(item), error);
        }
        if (!varint(delta)) break;
        uint32_t value;
        if (!tickValue(delta, value)) return damaged("a tick out of range", error);
        if (ticks.size() >= MAX_SETUP_TICKS) return damaged("a set-up of too many ticks", error);
        ticks.push_back(value);
    }
    if (failed) {
        error = "cannot read it (a read error)";
        return ReplayStatus::Unreadable;
    }
    error = "the file ends before the race was set up";
    return ReplayStatus::Damaged;
}

ReplayStatus ReplayReader::next(ReplayStep& step, std::string& error) {
    step.events.clear();
    step.ticks.clear();
    step.checks.clear();
    step.kind = ReplayStep::Cut;
    // A check: the frame it names must be the last one read, and a frame has one or two
    // (the sixtieth's and the end's).
    auto readCheck = [this, &step](ReplayStatus& status, std::string& error) -> bool {
        uint64_t frame;
        ReplayCheck check;
        bool read = varint(frame);
        for (uint32_t& group : check.groups) read = read && u32(group);
        if (!read) return false;
        if (frame != frameCount) {
            status = damaged("a check of frame " + std::to_string(frame), error);
            return false;
        }
        if (step.checks.size() >= 2) {
            status = damaged("a third check of one frame", error);
            return false;
        }
        check.frame = static_cast<uint32_t>(frame);
        step.checks.push_back(check);
        lastChecked = frameCount;
        return true;
    };
    ReplayStatus status = ReplayStatus::Ok;
    for (;;) {
        uint8_t item;
        if (!byte(item)) break;
        if (item == ItemEvent || (item == ItemPlayerEvent && version >= 3)) {
            uint8_t type;
            uint64_t wParam, lParam = 0;
            if (!byte(type) || !varint(wParam) || (item == ItemPlayerEvent && !varint(lParam))) break;
            if (!possibleEvent(type, wParam, lParam)) return damaged("an impossible event", error);
            if (step.events.size() >= MAX_EVENTS_PER_FRAME) return damaged("too many events before one frame", error);
            step.events.push_back(
                {static_cast<MessageType>(type), static_cast<uint32_t>(wParam), static_cast<int32_t>(lParam)});
        } else if (item == ItemTick) {
            uint64_t delta;
            uint32_t value;
            if (!varint(delta)) break;
            if (!tickValue(delta, value)) return damaged("a tick out of range", error);
            if (step.ticks.size() >= MAX_TICKS_PER_FRAME) return damaged("too many ticks in one frame", error);
            step.ticks.push_back(value);
        } else if (item == ItemFrame) {
            ++frameCount;
            // The checks taken after this frame come next; a cut among them leaves the frame.
            uint8_t following;
            while (peek(following) && following == ItemCheck) {
                ++at;
                if (!readCheck(status, error)) {
                    if (status != ReplayStatus::Ok) return status;
                    finished = true; // cut inside the check: nothing more is read
                    break;
                }
            }
            if (frameCount % CHECK_EVERY == 0 && lastChecked != frameCount && peek(following))
                return damaged("no check", error);
            step.kind = ReplayStep::Frame;
            return ReplayStatus::Ok;
        } else if (item == ItemCheck) {
            if (!readCheck(status, error)) {
                if (status != ReplayStatus::Ok) return status;
                break;
            }
        } else if (item == ItemEnd) {
            if (lastChecked != frameCount) return damaged("an end without a check of the last frame", error);
            step.kind = ReplayStep::End;
            finished = true;
            return ReplayStatus::Ok;
        } else if (item == ItemSetupDone) {
            return damaged("a second set-up", error);
        } else {
            return damaged("an unknown item " + std::to_string(item), error);
        }
    }
    if (failed) {
        error = "cannot read on (a read error) after frame " + std::to_string(frameCount);
        return ReplayStatus::Unreadable;
    }
    // Cut: what followed the last whole frame is not played.
    step.events.clear();
    step.ticks.clear();
    step.checks.clear();
    step.kind = ReplayStep::Cut;
    return ReplayStatus::Ok;
}

bool hashFile(const std::string& path, uint64_t& hash) {
    FileReplaySource file; // the same care: regular files only, never waited on, bounded
    std::string error;
    if (!file.open(path, error)) return false;
    XXH3_state_t* state = XXH3_createState();
    if (!state) return false;
    XXH3_64bits_reset(state);
    std::vector<uint8_t> chunk(READER_BUFFER);
    long n;
    while ((n = file.read(chunk.data(), chunk.size())) > 0) XXH3_64bits_update(state, chunk.data(), static_cast<size_t>(n));
    hash = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return n == 0;
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
    head.push_back(header.players);
    head.push_back(header.versusOpponents);

    // O_EXCL: a file, link or device node of that name is the player's, never replaced.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        error = "cannot create " + path + ": " +
                (errno == EEXIST ? std::string("it exists, and the game replaces no file") : std::strerror(errno));
        return false;
    }
    if (!writeAll(fd, head.data(), head.size())) {
        error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        ::close(fd);
        fd = -1;
        return false;
    }
    this->path = path;
    failure.clear();
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
        // A full disk ends the recording, not the game; the file keeps the frames written.
        failure = "cannot write " + path + ": " + std::strerror(errno);
        ::close(fd);
        fd = -1;
    }
    used = 0;
    if (toDisk && fd >= 0 && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        failure = "cannot write " + path + ": " + std::strerror(errno);
        ::close(fd);
        fd = -1;
    }
}

void ReplayWriter::event(const Message& msg) {
    if (fd < 0) return;
    room(16);
    // A one-player game's events keep the shorter item; lParam is a player's key, 16 bits.
    put(msg.lParam ? ItemPlayerEvent : ItemEvent);
    put(static_cast<uint8_t>(msg.message));
    putVarint(static_cast<uint32_t>(msg.wParam));
    if (msg.lParam) putVarint(static_cast<uint64_t>(msg.lParam) & 0xFFFF);
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
    if (fd >= 0 && ::close(fd) != 0) failure = "cannot write " + path + ": " + std::strerror(errno);
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

bool ReplayPlayer::start(std::string& error) {
    ReplayStatus read = reader.readSetup(setupTicks, error);
    if (read != ReplayStatus::Ok) return false;
    lastRecordedTick = setupTicks.empty() ? lastTick : setupTicks.back();
    advance();
    if (damaged()) {
        error = damageText;
        return false;
    }
    return true;
}

void ReplayPlayer::advance() {
    status = reader.next(step, damageText);
    if (status != ReplayStatus::Ok) step.kind = ReplayStep::Cut;
    nextStepTick = 0;
}

void ReplayPlayer::eventsFor(long frame, const QueueEvent& queue) {
    if (frame != played + 1) return;
    for (const ReplayEvent& event : step.events) queue(event.type, event.wParam, event.lParam);
}

uint32_t ReplayPlayer::nextTick() {
    if (nextSetupTick < setupTicks.size()) {
        lastTick = setupTicks[nextSetupTick++];
    } else {
        if (step.kind == ReplayStep::Frame && nextStepTick < step.ticks.size()) lastTick = step.ticks[nextStepTick];
        // Past the frame's ticks the last one stands; presented() notices the extra read.
        ++nextStepTick;
    }
    return lastTick;
}

void ReplayPlayer::presented(long frame) {
    if (frame != played + 1) return;
    const bool recorded = step.kind == ReplayStep::Frame;
    if (firstMismatch == 0 &&
        (!recorded || nextSetupTick != setupTicks.size() || nextStepTick != step.ticks.size()))
        firstMismatch = frame;
    if (!recorded) return; // the game went on past the recording: nothing more to hand out
    ++played;
    nextSetupTick = setupTicks.size();
    const uint32_t due = plannedTick(frame);
    if (!step.ticks.empty()) lastRecordedTick = step.ticks.back();
    checks.swap(step.checks);
    advance();
    // Between frames the clock reads what the next frame will: as a live game's does.
    // After the last frame, one more frame's step.
    const uint32_t following = plannedTick(frame + 1);
    if (step.kind == ReplayStep::Frame) {
        frameStep = following - due;
        lastTick = following;
    } else {
        lastTick = due + frameStep;
    }
}

uint32_t ReplayPlayer::plannedTick(long frame) const {
    if (frame != played + 1 || step.kind != ReplayStep::Frame) return lastTick;
    return step.ticks.empty() ? lastRecordedTick : step.ticks.front();
}

bool ReplayPlayer::takeCheck(uint32_t frame, ReplayCheck& out) {
    for (std::vector<ReplayCheck>* from : {&checks, &step.checks}) {
        if (from == &step.checks && !atEnd()) break;
        for (auto it = from->begin(); it != from->end(); ++it) {
            if (it->frame != frame) continue;
            out = *it;
            from->erase(it);
            return true;
        }
    }
    return false;
}

} // namespace platform
