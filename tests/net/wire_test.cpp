// The packet codec: every message survives the trip, and bytes from strangers are either
// one whole message or refused with a reason, never read past their end.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/wire.h"

using namespace net;

namespace {

std::vector<Message> everyKind()
{
    std::vector<Message> all;
    Message m;
    m.type = MessageType::Hello;
    m.hello.gameVersion.set("1.0.0");
    m.hello.playerName.set("Jana");
    m.hello.modelCount = 2;
    m.hello.models[0].name.set("arena.ase");
    m.hello.models[0].hash = 0x0123456789ABCDEFull;
    m.hello.models[1].name.set("moto1.ase");
    m.hello.models[1].hash = 42;
    m.hello.directPort = 40404;
    all.push_back(m);
    m = {};
    m.type = MessageType::Welcome;
    m.welcome.seat = 3;
    all.push_back(m);
    m = {};
    m.type = MessageType::Refuse;
    m.refuse.reason = RefuseReason::OtherModels;
    m.refuse.detail.set("moto3.ase");
    all.push_back(m);
    m = {};
    m.type = MessageType::Lobby;
    m.lobby.seatCount = 2;
    m.lobby.seats[0] = {SeatKind::Human, 0, 0, {}};
    m.lobby.seats[0].name.set("host");
    m.lobby.seats[1] = {SeatKind::Computer, 2, 95, {}};
    all.push_back(m);
    m = {};
    m.type = MessageType::Start;
    m.start.seats = 3;
    m.start.inputDelay = 2;
    m.start.tickMs = 16;
    m.start.computerBikes = 1;
    m.start.computerLevel = 2;
    for (int i = 0; i < kOptionsBytes; ++i)
        m.start.options[i] = uint8_t(i * 3);
    m.start.beginAtMs = 123456;
    all.push_back(m);
    m = {};
    m.type = MessageType::Inputs;
    m.inputs.seat = 1;
    m.inputs.firstFrame = 1000;
    m.inputs.count = kMaxInputsPerMessage;
    for (int i = 0; i < kMaxInputsPerMessage; ++i)
        m.inputs.buttons[i] = uint8_t(i & kButtonMask);
    m.inputs.senderFrame = 1070;
    m.inputs.ackCount = 3;
    m.inputs.ack[0] = 999;
    m.inputs.ack[1] = kNoFrame;
    m.inputs.ack[2] = 5;
    all.push_back(m);
    m = {};
    m.type = MessageType::Checksum;
    m.checksum.seat = 2;
    m.checksum.frame = 59;
    for (int g = 0; g < kCheckGroups; ++g)
        m.checksum.sum.group[g] = 0xA5A50000u + uint32_t(g);
    all.push_back(m);
    m = {};
    m.type = MessageType::Ping;
    m.ping.token = 123456;
    m.ping.clock = 654321;
    all.push_back(m);
    m.type = MessageType::Pong;
    all.push_back(m);
    m = {};
    m.type = MessageType::Leave;
    m.leave.seat = 2;
    m.leave.fromFrame = 777;
    all.push_back(m);
    m = {};
    m.type = MessageType::Peers;
    m.peers.count = 2;
    m.peers.peers[0] = {1, 0x0100007Fu, 40404, 0xFEDCBA9876543210ull};
    m.peers.peers[1] = {3, 0x0200A8C0u, 0, 7};
    all.push_back(m);
    m = {};
    m.type = MessageType::Link;
    m.link.seat = 2;
    m.link.token = 0x1122334455667788ull;
    all.push_back(m);
    return all;
}

std::vector<uint8_t> bytesOf(const Message& m)
{
    std::vector<uint8_t> out(kMaxDatagram);
    size_t n = encode(m, out.data(), out.size());
    out.resize(n);
    return out;
}

} // namespace

TEST(Wire, EveryMessageComesBackAsSent)
{
    for (const Message& m : everyKind()) {
        std::vector<uint8_t> bytes = bytesOf(m);
        ASSERT_GT(bytes.size(), 4u) << int(m.type);
        Message back;
        ASSERT_EQ(decode(bytes.data(), bytes.size(), back), DecodeResult::Ok) << int(m.type);
        EXPECT_EQ(bytesOf(back), bytes) << int(m.type);
        EXPECT_EQ(back.type, m.type);
    }
    Message m = everyKind()[5];
    Message back;
    std::vector<uint8_t> bytes = bytesOf(m);
    ASSERT_EQ(decode(bytes.data(), bytes.size(), back), DecodeResult::Ok);
    EXPECT_EQ(back.inputs.firstFrame, 1000u);
    EXPECT_EQ(back.inputs.buttons[63], 63);
    EXPECT_EQ(back.inputs.ack[1], kNoFrame);
    m = everyKind()[0];
    bytes = bytesOf(m);
    ASSERT_EQ(decode(bytes.data(), bytes.size(), back), DecodeResult::Ok);
    EXPECT_EQ(back.hello.models[0].hash, 0x0123456789ABCDEFull);
    EXPECT_EQ(back.hello.playerName.view(), "Jana");
}

TEST(Wire, EveryCutOfEveryMessageIsRefusedAsTruncated)
{
    for (const Message& m : everyKind()) {
        std::vector<uint8_t> bytes = bytesOf(m);
        for (size_t n = 4; n < bytes.size(); ++n) {
            // A copy of exactly n bytes, so that a read past the end shows under the sanitizers.
            std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(n));
            Message back;
            DecodeResult r = decode(cut.data(), cut.size(), back);
            EXPECT_TRUE(r == DecodeResult::Truncated || r == DecodeResult::BadField)
                << "type " << int(m.type) << " cut to " << n << ": " << decodeResultText(r);
        }
        std::vector<uint8_t> longer = bytes;
        longer.push_back(0);
        Message back;
        EXPECT_EQ(decode(longer.data(), longer.size(), back), DecodeResult::TrailingBytes);
    }
}

TEST(Wire, HeadersOfOtherProgramsVersionsAndSizesAreRefused)
{
    std::vector<uint8_t> ping = bytesOf(everyKind()[7]);
    Message back;
    EXPECT_EQ(decode(ping.data(), 0, back), DecodeResult::Empty);
    std::vector<uint8_t> huge(kMaxDatagram + 1, 0);
    std::memcpy(huge.data(), ping.data(), ping.size());
    EXPECT_EQ(decode(huge.data(), huge.size(), back), DecodeResult::Oversized);
    std::vector<uint8_t> other = ping;
    other[0] = 'Q';
    EXPECT_EQ(decode(other.data(), other.size(), back), DecodeResult::NotOurs);
    other = ping;
    other[2] = kProtocolVersion + 1;
    EXPECT_EQ(decode(other.data(), other.size(), back), DecodeResult::OtherVersion);
    other[2] = 0;
    EXPECT_EQ(decode(other.data(), other.size(), back), DecodeResult::OtherVersion);
    other = ping;
    for (uint8_t type : {uint8_t(0), uint8_t(kMessageTypes + 1), uint8_t(255)}) {
        other[3] = type;
        EXPECT_EQ(decode(other.data(), other.size(), back), DecodeResult::UnknownType);
    }
    EXPECT_EQ(decode(ping.data(), 3, back), DecodeResult::Truncated);
}

TEST(Wire, FieldsOutOfRangeAreRefusedBothWays)
{
    struct Case {
        const char* what;
        int kind;
        void (*spoil)(Message&);
    };
    const Case cases[] = {
        {"seat 4 of a welcome", 1, [](Message& m) { m.welcome.seat = kMaxSeats; }},
        {"unknown refusal", 2, [](Message& m) { m.refuse.reason = RefuseReason(9); }},
        {"five seats in a lobby", 3, [](Message& m) { m.lobby.seatCount = 5; }},
        {"no seat in a lobby", 3, [](Message& m) { m.lobby.seatCount = 0; }},
        {"a seat of an unknown kind", 3, [](Message& m) { m.lobby.seats[1].kind = SeatKind(7); }},
        {"a start of five seats", 4, [](Message& m) { m.start.seats = 5; }},
        {"an input delay of 5", 4, [](Message& m) { m.start.inputDelay = 5; }},
        {"a tick of 0 ms", 4, [](Message& m) { m.start.tickMs = 0; }},
        {"four seats and a computer bike", 4, [](Message& m) { m.start.seats = 4; }},
        {"a computer level past the last", 4, [](Message& m) { m.start.computerLevel = 4; }},
        {"buttons of seat 4", 5, [](Message& m) { m.inputs.seat = kMaxSeats; }},
        {"no buttons", 5, [](Message& m) { m.inputs.count = 0; }},
        {"an eighth button", 5, [](Message& m) { m.inputs.buttons[10] = 0x80; }},
        {"a frame near wrapping", 5, [](Message& m) { m.inputs.firstFrame = 0xFFFFFFF0u; }},
        {"acks of five seats", 5, [](Message& m) { m.inputs.ackCount = 5; }},
        {"a negative ack", 5, [](Message& m) { m.inputs.ack[2] = 0x80000000u; }},
        {"a checksum of seat 9", 6, [](Message& m) { m.checksum.seat = 9; }},
        {"a leave of seat 4", 9, [](Message& m) { m.leave.seat = kMaxSeats; }},
        {"seventeen model files", 0, [](Message& m) { m.hello.modelCount = 17; }},
        {"three other joining machines", 10, [](Message& m) { m.peers.count = 3; }},
        {"the host as a joining machine", 10, [](Message& m) { m.peers.peers[1].seat = 0; }},
        {"a link from the host's seat", 11, [](Message& m) { m.link.seat = 0; }},
        {"a link from seat 4", 11, [](Message& m) { m.link.seat = kMaxSeats; }},
    };
    std::vector<Message> all = everyKind();
    for (const Case& c : cases) {
        Message m = all[size_t(c.kind)];
        c.spoil(m);
        uint8_t out[kMaxDatagram];
        EXPECT_EQ(encode(m, out, sizeof out), 0u) << "sent: " << c.what;
    }
    // By hand, the byte after the header of a welcome is its seat.
    std::vector<uint8_t> welcome = bytesOf(all[1]);
    welcome[4] = 4;
    Message back;
    EXPECT_EQ(decode(welcome.data(), welcome.size(), back), DecodeResult::BadField);
    // An inputs message claiming 200 frames of buttons in a short datagram.
    std::vector<uint8_t> inputs = bytesOf(all[5]);
    inputs[4 + 1 + 4] = 200;
    EXPECT_EQ(decode(inputs.data(), inputs.size(), back), DecodeResult::BadField);
    inputs[4 + 1 + 4] = 65;
    EXPECT_EQ(decode(inputs.data(), inputs.size(), back), DecodeResult::BadField);
    // A text claiming 40 bytes.
    std::vector<uint8_t> refuse = bytesOf(all[2]);
    refuse[5] = 40;
    EXPECT_EQ(decode(refuse.data(), refuse.size(), back), DecodeResult::BadField);
    // A list of 200 other joining machines in a short datagram.
    std::vector<uint8_t> peers = bytesOf(all[10]);
    peers[4] = 200;
    EXPECT_EQ(decode(peers.data(), peers.size(), back), DecodeResult::BadField);
    // Too small an output buffer is a refusal, not an overrun.
    uint8_t small[20];
    EXPECT_EQ(encode(all[5], small, sizeof small), 0u);
}

TEST(Wire, RandomBytesNeverPassUnlessTheyAreAMessage)
{
    // Bytes after a valid header, of every length: what decodes must encode back the same.
    uint64_t x = 88172645463325252ull;
    int accepted = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        size_t n = 4 + size_t(trial / kMessageTypes % 40);
        std::vector<uint8_t> bytes(n);
        for (uint8_t& b : bytes) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            b = uint8_t(x);
        }
        bytes[0] = 'P';
        bytes[1] = 'X';
        bytes[2] = kProtocolVersion;
        bytes[3] = uint8_t(1 + trial % kMessageTypes);
        Message m;
        if (decode(bytes.data(), bytes.size(), m) == DecodeResult::Ok) {
            accepted++;
            EXPECT_EQ(bytesOf(m), bytes);
        }
    }
    EXPECT_GT(accepted, 0);  // pings and pongs of any token at least
}
