#include "net/wire.h"

#include <algorithm>
#include <cstring>

namespace net {

namespace {

constexpr uint8_t kMagic0 = 'P';
constexpr uint8_t kMagic1 = 'X';
constexpr size_t kHeaderBytes = 4;

class Writer {
public:
    Writer(uint8_t* out, size_t capacity) : out(out), capacity(capacity) {}
    void u8(uint8_t v) { bytes(&v, 1); }
    void u16(uint16_t v) { uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)}; bytes(b, 2); }
    void u32(uint32_t v) { uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; bytes(b, 4); }
    void u64(uint64_t v) { u32(uint32_t(v)); u32(uint32_t(v >> 32)); }
    void text(const Text& t) { u8(t.length); bytes(t.bytes, t.length); }
    void bytes(const void* p, size_t n)
    {
        if (n > capacity - used) {
            overflow = true;
            return;
        }
        std::memcpy(out + used, p, n);
        used += n;
    }
    size_t finish() const { return overflow ? 0 : used; }

private:
    uint8_t* out;
    size_t capacity;
    size_t used = 0;
    bool overflow = false;
};

// Reads past the end never happen: a short read sets `truncated` and yields zeros.
class Reader {
public:
    Reader(const uint8_t* in, size_t length) : in(in), length(length) {}
    uint8_t u8() { uint8_t v = 0; bytes(&v, 1); return v; }
    uint16_t u16() { uint8_t b[2] = {}; bytes(b, 2); return uint16_t(b[0] | b[1] << 8); }
    uint32_t u32()
    {
        uint8_t b[4] = {};
        bytes(b, 4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    uint64_t u64() { uint64_t lo = u32(); return lo | uint64_t(u32()) << 32; }
    void text(Text& t)
    {
        uint8_t n = u8();
        if (n > kMaxText) {
            bad = true;
            return;
        }
        t.length = n;
        bytes(t.bytes, n);
    }
    void bytes(void* p, size_t n)
    {
        if (n > length - at) {
            truncated = true;
            at = length;
            return;
        }
        std::memcpy(p, in + at, n);
        at += n;
    }
    bool truncated = false;
    bool bad = false;
    bool atEnd() const { return at == length; }

private:
    const uint8_t* in;
    size_t length;
    size_t at = 0;
};

bool validText(const Text& t) { return t.length <= kMaxText; }

// What a message must hold to be sent or accepted.
bool valid(const Message& m)
{
    switch (m.type) {
    case MessageType::Hello:
        if (m.hello.modelCount > kMaxModels || !validText(m.hello.gameVersion) || !validText(m.hello.playerName))
            return false;
        for (int i = 0; i < m.hello.modelCount; ++i)
            if (!validText(m.hello.models[i].name))
                return false;
        return true;
    case MessageType::Welcome:
        return m.welcome.seat < kMaxSeats;
    case MessageType::Refuse:
        return m.refuse.reason >= RefuseReason::Refused && m.refuse.reason <= RefuseReason::OtherModels
            && validText(m.refuse.detail);
    case MessageType::Lobby:
        if (m.lobby.seatCount < 1 || m.lobby.seatCount > kMaxSeats)
            return false;
        for (int i = 0; i < m.lobby.seatCount; ++i)
            if (uint8_t(m.lobby.seats[i].kind) > uint8_t(SeatKind::Computer) || !validText(m.lobby.seats[i].name))
                return false;
        return true;
    case MessageType::Start:
        return m.start.seats >= 1 && m.start.seats <= kMaxSeats && m.start.inputDelay <= 4
            && m.start.tickMs >= 1 && m.start.tickMs <= 1000 && m.start.seats + m.start.computerBikes <= kMaxSeats
            && m.start.computerLevel <= kMaxComputerLevel;
    case MessageType::Inputs: {
        const InputsMessage& in = m.inputs;
        if (in.seat >= kMaxSeats || in.count < 1 || in.count > kMaxInputsPerMessage || in.ackCount > kMaxSeats)
            return false;
        // Frame numbers stay far from wrapping: a day of racing is five million frames.
        if (in.firstFrame > 0x7FFFFFFFu - kMaxInputsPerMessage || in.senderFrame > 0x7FFFFFFFu)
            return false;
        for (int i = 0; i < in.count; ++i)
            if ((in.buttons[i] & ~kButtonMask) != 0)
                return false;
        for (int i = 0; i < in.ackCount; ++i)
            if (in.ack[i] != kNoFrame && in.ack[i] > 0x7FFFFFFFu)
                return false;
        return true;
    }
    case MessageType::Checksum:
        return m.checksum.seat < kMaxSeats && m.checksum.frame <= 0x7FFFFFFFu;
    case MessageType::Ping:
    case MessageType::Pong:
        return true;
    case MessageType::Leave:
        return m.leave.seat < kMaxSeats && (m.leave.fromFrame == kNoFrame || m.leave.fromFrame <= 0x7FFFFFFFu);
    case MessageType::Peers:
        if (m.peers.count > kMaxSeats - 2)
            return false;
        for (int i = 0; i < m.peers.count; ++i)
            if (m.peers.peers[i].seat < 1 || m.peers.peers[i].seat >= kMaxSeats)
                return false;
        return true;
    case MessageType::Link:
        return m.link.seat >= 1 && m.link.seat < kMaxSeats;
    }
    return false;
}

} // namespace

void Text::set(std::string_view text)
{
    length = uint8_t(std::min(text.size(), kMaxText));
    std::memcpy(bytes, text.data(), length);
}

const char* refuseReasonText(RefuseReason reason)
{
    switch (reason) {
    case RefuseReason::Refused: return "refused";
    case RefuseReason::Full: return "full";
    case RefuseReason::OtherVersion: return "another version";
    case RefuseReason::OtherModels: return "other model files";
    }
    return "refused";
}

const char* decodeResultText(DecodeResult result)
{
    switch (result) {
    case DecodeResult::Ok: return "ok";
    case DecodeResult::Empty: return "empty";
    case DecodeResult::Oversized: return "oversized";
    case DecodeResult::NotOurs: return "not a Palvex packet";
    case DecodeResult::OtherVersion: return "another protocol version";
    case DecodeResult::UnknownType: return "unknown message type";
    case DecodeResult::Truncated: return "truncated";
    case DecodeResult::BadField: return "field out of range";
    case DecodeResult::TrailingBytes: return "bytes after the message";
    }
    return "?";
}

size_t encode(const Message& m, uint8_t* out, size_t capacity)
{
    if (!valid(m))
        return 0;
    Writer w(out, std::min(capacity, kMaxDatagram));
    w.u8(kMagic0);
    w.u8(kMagic1);
    w.u8(kProtocolVersion);
    w.u8(uint8_t(m.type));
    switch (m.type) {
    case MessageType::Hello:
        w.text(m.hello.gameVersion);
        w.u8(m.hello.modelCount);
        for (int i = 0; i < m.hello.modelCount; ++i) {
            w.text(m.hello.models[i].name);
            w.u64(m.hello.models[i].hash);
        }
        w.text(m.hello.playerName);
        w.u16(m.hello.directPort);
        break;
    case MessageType::Welcome:
        w.u8(m.welcome.seat);
        break;
    case MessageType::Refuse:
        w.u8(uint8_t(m.refuse.reason));
        w.text(m.refuse.detail);
        break;
    case MessageType::Lobby:
        w.u8(m.lobby.seatCount);
        for (int i = 0; i < m.lobby.seatCount; ++i) {
            const LobbySeat& s = m.lobby.seats[i];
            w.u8(uint8_t(s.kind));
            w.u8(s.level);
            w.u16(s.pingMs);
            w.text(s.name);
        }
        break;
    case MessageType::Start:
        w.u8(m.start.seats);
        w.u8(m.start.inputDelay);
        w.u16(m.start.tickMs);
        w.bytes(m.start.options, kOptionsBytes);
        w.u8(m.start.computerBikes);
        w.u8(m.start.computerLevel);
        w.u32(m.start.beginAtMs);
        break;
    case MessageType::Inputs:
        w.u8(m.inputs.seat);
        w.u32(m.inputs.firstFrame);
        w.u8(m.inputs.count);
        w.bytes(m.inputs.buttons, m.inputs.count);
        w.u32(m.inputs.senderFrame);
        w.u8(m.inputs.ackCount);
        for (int i = 0; i < m.inputs.ackCount; ++i)
            w.u32(m.inputs.ack[i]);
        break;
    case MessageType::Checksum:
        w.u8(m.checksum.seat);
        w.u32(m.checksum.frame);
        for (uint32_t g : m.checksum.sum.group)
            w.u32(g);
        break;
    case MessageType::Ping:
    case MessageType::Pong:
        w.u32(m.ping.token);
        w.u32(m.ping.clock);
        break;
    case MessageType::Leave:
        w.u8(m.leave.seat);
        w.u32(m.leave.fromFrame);
        break;
    case MessageType::Peers:
        w.u8(m.peers.count);
        for (int i = 0; i < m.peers.count; ++i) {
            const DirectPeer& p = m.peers.peers[i];
            w.u8(p.seat);
            w.u32(p.ipv4);
            w.u16(p.port);
            w.u64(p.token);
        }
        break;
    case MessageType::Link:
        w.u8(m.link.seat);
        w.u64(m.link.token);
        break;
    }
    return w.finish();
}

DecodeResult decode(const uint8_t* bytes, size_t length, Message& m)
{
    if (length == 0)
        return DecodeResult::Empty;
    if (length > kMaxDatagram)
        return DecodeResult::Oversized;
    if (length < 2 || bytes[0] != kMagic0 || bytes[1] != kMagic1)
        return DecodeResult::NotOurs;
    if (length < kHeaderBytes)
        return DecodeResult::Truncated;
    if (bytes[2] != kProtocolVersion)
        return DecodeResult::OtherVersion;
    if (bytes[3] < 1 || bytes[3] > kMessageTypes)
        return DecodeResult::UnknownType;
    m.type = MessageType(bytes[3]);
    Reader r(bytes + kHeaderBytes, length - kHeaderBytes);
    switch (m.type) {
    case MessageType::Hello:
        r.text(m.hello.gameVersion);
        m.hello.modelCount = r.u8();
        if (m.hello.modelCount > kMaxModels)
            return DecodeResult::BadField;
        for (int i = 0; i < m.hello.modelCount && !r.truncated && !r.bad; ++i) {
            r.text(m.hello.models[i].name);
            m.hello.models[i].hash = r.u64();
        }
        r.text(m.hello.playerName);
        m.hello.directPort = r.u16();
        break;
    case MessageType::Welcome:
        m.welcome.seat = r.u8();
        break;
    case MessageType::Refuse:
        m.refuse.reason = RefuseReason(r.u8());
        r.text(m.refuse.detail);
        break;
    case MessageType::Lobby:
        m.lobby.seatCount = r.u8();
        if (m.lobby.seatCount > kMaxSeats)
            return DecodeResult::BadField;
        for (int i = 0; i < m.lobby.seatCount && !r.truncated && !r.bad; ++i) {
            LobbySeat& s = m.lobby.seats[i];
            s.kind = SeatKind(r.u8());
            s.level = r.u8();
            s.pingMs = r.u16();
            r.text(s.name);
        }
        break;
    case MessageType::Start:
        m.start.seats = r.u8();
        m.start.inputDelay = r.u8();
        m.start.tickMs = r.u16();
        r.bytes(m.start.options, kOptionsBytes);
        m.start.computerBikes = r.u8();
        m.start.computerLevel = r.u8();
        m.start.beginAtMs = r.u32();
        break;
    case MessageType::Inputs:
        m.inputs.seat = r.u8();
        m.inputs.firstFrame = r.u32();
        m.inputs.count = r.u8();
        if (m.inputs.count > kMaxInputsPerMessage)
            return DecodeResult::BadField;
        r.bytes(m.inputs.buttons, m.inputs.count);
        m.inputs.senderFrame = r.u32();
        m.inputs.ackCount = r.u8();
        if (m.inputs.ackCount > kMaxSeats)
            return DecodeResult::BadField;
        for (int i = 0; i < m.inputs.ackCount; ++i)
            m.inputs.ack[i] = r.u32();
        break;
    case MessageType::Checksum:
        m.checksum.seat = r.u8();
        m.checksum.frame = r.u32();
        for (uint32_t& g : m.checksum.sum.group)
            g = r.u32();
        break;
    case MessageType::Ping:
    case MessageType::Pong:
        m.ping.token = r.u32();
        m.ping.clock = r.u32();
        break;
    case MessageType::Leave:
        m.leave.seat = r.u8();
        m.leave.fromFrame = r.u32();
        break;
    case MessageType::Peers:
        m.peers.count = r.u8();
        if (m.peers.count > kMaxSeats - 2)
            return DecodeResult::BadField;
        for (int i = 0; i < m.peers.count; ++i) {
            DirectPeer& p = m.peers.peers[i];
            p.seat = r.u8();
            p.ipv4 = r.u32();
            p.port = r.u16();
            p.token = r.u64();
        }
        break;
    case MessageType::Link:
        m.link.seat = r.u8();
        m.link.token = r.u64();
        break;
    }
    if (r.bad)
        return DecodeResult::BadField;
    if (r.truncated)
        return DecodeResult::Truncated;
    if (!r.atEnd())
        return DecodeResult::TrailingBytes;
    return valid(m) ? DecodeResult::Ok : DecodeResult::BadField;
}

} // namespace net
