// The messages peers exchange, and their bytes. Every datagram starts with the magic "PX",
// the protocol version and the message type; integers are little-endian of fixed width,
// texts one length byte and that many bytes. The decoder takes bytes from strangers: it
// reads nothing past the end, accepts no field out of its range, and fills fixed-size
// records only (no allocation), so any datagram is either one whole message or dropped
// with a reason.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/rollbackgame.h"

namespace net {

constexpr uint8_t kProtocolVersion = 2;
// The largest datagram sent or accepted: under the usual path MTU, so never fragmented.
constexpr size_t kMaxDatagram = 1200;
constexpr size_t kMaxText = 32;
constexpr int kMaxModels = 16;
// Frames of buttons one inputs message may carry: every frame not yet acknowledged, which
// the prediction window and the input delay keep far below this.
constexpr int kMaxInputsPerMessage = 64;
constexpr int kOptionsBytes = 13;
constexpr uint32_t kNoFrame = 0xFFFFFFFFu;
constexpr uint8_t kMaxComputerLevel = 3;

enum class MessageType : uint8_t {
    Hello = 1,     // joining: game version, model files, player name
    Welcome,       // joined: the seat given
    Refuse,        // not joined, and why
    Lobby,         // who is in which seat, with their ping
    Start,         // the race begins
    Inputs,        // a seat's buttons, and what the sender has received
    Checksum,      // a seat's check hashes of a confirmed frame
    Ping,
    Pong,
    Leave,         // a player leaves (from the host: a seat left, from which frame)
    Peers,         // from the host before the start: where the other joining machines are
    Link,          // between two joining machines: the seat of the one speaking, and its proof
};
constexpr int kMessageTypes = 12;

enum class RefuseReason : uint8_t {
    Refused = 1,       // the host does not take players now (the race has begun)
    Full,
    OtherVersion,      // detail: the host's version
    OtherModels,       // detail: the first model file that differs
};
const char* refuseReasonText(RefuseReason reason);

struct Text {
    char bytes[kMaxText] = {};
    uint8_t length = 0;
    void set(std::string_view text);  // cut at kMaxText bytes
    std::string_view view() const { return {bytes, length}; }
    bool operator==(const Text& o) const { return view() == o.view(); }
};

struct ModelHash {
    Text name;
    uint64_t hash = 0;
};

struct HelloMessage {
    Text gameVersion;
    uint8_t modelCount = 0;
    ModelHash models[kMaxModels];
    Text playerName;
    uint16_t directPort = 0;  // where the other joining machines may dial it; 0: they cannot
};

struct WelcomeMessage {
    uint8_t seat = 0;
};

struct RefuseMessage {
    RefuseReason reason = RefuseReason::Refused;
    Text detail;
};

enum class SeatKind : uint8_t { Empty = 0, Human = 1, Computer = 2 };

struct LobbySeat {
    SeatKind kind = SeatKind::Empty;
    uint8_t level = 0;     // a computer bike's level
    uint16_t pingMs = 0;
    Text name;
};

struct LobbyMessage {
    uint8_t seatCount = 0;   // 1 to kMaxSeats
    LobbySeat seats[kMaxSeats];
};

struct StartMessage {
    uint8_t seats = 0;       // 1 to kMaxSeats
    uint8_t inputDelay = 0;  // frames, 0 to 4
    uint16_t tickMs = 0;     // the race's fixed tick, 1 to 1000
    uint8_t options[kOptionsBytes] = {};  // the options record everyone races with
    uint8_t computerBikes = 0;  // computer bikes beside the seats; seats + computer bikes <= 4
    uint8_t computerLevel = 0;  // how they drive, 0 to kMaxComputerLevel (the game's levels)
    // When the race's first frame runs, by the host's clock: a joining machine knows how
    // the host's clock stands to its own from the pings, so all begin together.
    uint32_t beginAtMs = 0;
};

// A joining machine the receiver may talk to directly: its address as the host sees it,
// the port it said it takes direct links on, and the token that pair of machines shares
// (each pair its own, so a machine can prove to another only its own seat).
struct DirectPeer {
    uint8_t seat = 0;
    uint32_t ipv4 = 0;
    uint16_t port = 0;
    uint64_t token = 0;
};

struct PeersMessage {
    uint8_t count = 0;   // 0 to kMaxSeats − 2
    DirectPeer peers[kMaxSeats - 2];
};

struct LinkMessage {
    uint8_t seat = 0;     // the sender's seat, 1 to kMaxSeats − 1
    uint64_t token = 0;   // the pair's token
};

struct InputsMessage {
    uint8_t seat = 0;
    uint32_t firstFrame = 0;
    uint8_t count = 0;                        // 1 to kMaxInputsPerMessage
    Buttons buttons[kMaxInputsPerMessage] = {};
    uint32_t senderFrame = 0;                 // the frame the sender runs next
    uint8_t ackCount = 0;                     // 0 to kMaxSeats
    uint32_t ack[kMaxSeats] = {};             // per seat, the last frame received, or kNoFrame
};

struct ChecksumMessage {
    uint8_t seat = 0;
    uint32_t frame = 0;
    Checksum sum;
};

struct PingMessage {
    uint32_t token = 0;   // the pinging machine's clock, echoed back
    uint32_t clock = 0;   // the sender's clock when it sent this
};

struct LeaveMessage {
    uint8_t seat = 0;
    uint32_t fromFrame = kNoFrame;  // the first frame the seat is gone, or kNoFrame before the race
};

struct Message {
    MessageType type = MessageType::Ping;
    HelloMessage hello;
    WelcomeMessage welcome;
    RefuseMessage refuse;
    LobbyMessage lobby;
    StartMessage start;
    InputsMessage inputs;
    ChecksumMessage checksum;
    PingMessage ping;  // Ping and Pong
    LeaveMessage leave;
    PeersMessage peers;
    LinkMessage link;
};

enum class DecodeResult : uint8_t {
    Ok,
    Empty,
    Oversized,
    NotOurs,          // no magic
    OtherVersion,
    UnknownType,
    Truncated,
    BadField,         // a count, seat, reason, text length or value out of range
    TrailingBytes,
};
const char* decodeResultText(DecodeResult result);

// The bytes of a message into out (at least kMaxDatagram); 0 when it does not fit or a
// field is out of range (a message this machine must not send).
size_t encode(const Message& message, uint8_t* out, size_t capacity);
DecodeResult decode(const uint8_t* bytes, size_t length, Message& out);

} // namespace net
