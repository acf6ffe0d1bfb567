// One machine's side of an online game: the lobby (hello, welcome or refusal, who sits
// where, pings), then the race (the rollback session fed with the other seats' buttons,
// checksums exchanged, silent peers dropped) over any transport. The host is seat 0: it
// seats the players, starts and ends the race, decides from which frame a player is gone,
// and passes each seat's buttons on to the others. Joining machines also link to each
// other directly when they can, so that their buttons take one trip rather than two; the
// host's copies still come, and carry on alone when a direct link cannot be made. Nothing
// here knows the race beyond RollbackGame.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/ratelog.h"
#include "net/session.h"
#include "net/transport.h"
#include "net/wire.h"

namespace net {

constexpr int kMaxRemotePeers = kMaxSeats - 1;
// Connections a machine keeps at most: the other machines, and a few strangers at a time.
constexpr int kMaxLinks = 8;

struct PeerConfig {
    bool host = false;
    std::string playerName;
    std::string gameVersion;
    // The model files and their hashes; a machine with other ones is refused, naming one.
    int modelCount = 0;
    ModelHash models[kMaxModels];
    // Host: the seats it gives at most, its own among them; a machine beyond them hears "full".
    int maxSeats = kMaxSeats;
    uint32_t silenceMs = 2000;      // a peer heard nothing from for this long is dropped
    uint32_t connectTimeoutMs = 5000;
    // A joining machine: the transport peer that is the host, and the port the other joining
    // machines may dial it on (0: they cannot, and the host passes their buttons on).
    int hostPeer = 0;
    uint16_t directPort = 0;
    uint32_t pingEveryMs = 250;
    bool timeSync = true;           // a machine ahead of the others holds a frame now and then
    // Called with the start's settings and this machine's seat just before the session is
    // made (the session sizes its snapshots by the game, which must then be set up).
    std::function<void(const StartMessage&, int localSeat)> beforeStart;
};

enum class PeerState : uint8_t {
    Connecting,   // a joining machine before the host's answer
    Lobby,
    Racing,
    Ended,        // the session ended normally
    Failed,       // refused, no answer, the host left or stopped answering, or a desync
};

// Why packets were dropped, for the statistics and the tests.
struct DropCounts {
    uint64_t undecodable = 0;    // malformed, oversized, other version, unknown type
    uint64_t foreignSeat = 0;    // buttons or checksums of a seat the sender does not own
    uint64_t unexpected = 0;     // a message that makes no sense now (a start twice, a hello mid-race)
    uint64_t flooded = 0;        // over the sender's rate (a flood of reliable ones drops the sender)
    uint64_t refusedInputs = 0;  // buttons the session would not take (a gap, too far ahead)
    uint64_t total() const { return undecodable + foreignSeat + unexpected + flooded + refusedInputs; }
};

class NetPeer {
public:
    NetPeer(Transport& transport, RollbackGame& game, const PeerConfig& config);
    ~NetPeer();

    // Handles everything that arrived, drops silent peers, sends pings and lobby news.
    void poll();

    // Host: begins the race with everyone in the lobby. False unless in the lobby.
    // Computer bikes beyond the seats left free are not seated.
    bool startRace(uint8_t inputDelay, uint16_t tickMs, const uint8_t (&options)[kOptionsBytes],
                   uint8_t computerBikes = 0, uint8_t computerLevel = 0);
    // Host: the session ends for everyone after the given frame's predecessor (frames
    // 0 to frame − 1 are played everywhere).
    bool endAt(int frame);
    // Leaving on purpose: the others hear it at once.
    void leave();
    // Host: the computer bikes chosen so far and their level. The lobby seats them where
    // the humans leave room, and the joining machines hear of a change at once.
    void setComputerBikes(int count, int level);

    // Starting: the race has been set up but its first frame is not due yet.
    enum class Step : uint8_t { Ran, Waiting, TimeSync, Starting, NotRacing };
    // Once per frame tick while racing: runs the next frame with the local buttons (or
    // waits) and sends the buttons the peers still lack.
    Step advanceFrame(Buttons local);

    PeerState state() const { return current; }
    const std::string& failure() const { return failureText; }
    int localSeat() const { return seat; }
    int seats() const { return start.seats; }
    const StartMessage& startInfo() const { return start; }
    const LobbyMessage& lobby() const { return lobbyState; }
    // The frame at which the session ends, or −1 while no end is set.
    int endFrame() const { return ending; }
    RollbackSession* session() { return rollback.get(); }
    const DropCounts& drops() const { return dropped; }
    uint64_t bytesSent() const { return sentBytes; }
    uint64_t bytesReceived() const { return receivedBytes; }
    uint64_t timeSyncHolds() const { return holds; }
    // How many frames this machine runs ahead of the slowest peer (negative: behind all of
    // them), smoothed: whoever paces the frames may run a little slower or faster.
    double framesAhead() const;
    // One line per connection: the seat, whether direct, the bytes sent and heard.
    std::string linksText() const;
    // Bytes sent to the seat over a direct link (0 without one).
    uint64_t directBytesSent(int seatNumber) const;
    uint32_t pingMs(int seatNumber) const;
    // A joining machine: the seats it hears directly (bit s: seat s), not through the host.
    uint32_t directSeats() const;
    // Host: the machines in the lobby that have been given a seat.
    int joinedPeers() const;

private:
    struct Remote {
        bool connected = false;
        bool welcomed = false;
        bool finished = false;   // has played every frame to the end and said so
        bool direct = false;     // a joining machine's link to another joining machine
        bool proven = false;     // direct: it showed the token of its seat
        int seat = -1;
        uint16_t directPort = 0; // host: where the other joining machines may dial it
        uint32_t connectedAt = 0;
        uint64_t sent = 0, heard = 0;  // bytes, both ways
        // Its clock less ours, from the pong with the shortest round trip (the surest).
        int64_t clockOffset = 0;
        uint32_t surestRtt = UINT32_MAX;
        uint32_t lastHeard = 0;
        uint32_t lastPing = 0;
        uint32_t rttMs = 0;
        Text name;
        std::array<int, kMaxSeats> acked{};   // the last frame of each seat the peer has
        double advantage = 0.0;               // our frame minus the peer's, smoothed
        // flood control: buckets of datagrams refilled at a steady rate, per channel
        double tokens[2] = {};  // the reliable channel's, the others'
        uint32_t tokensAt = 0;
    };

    void handle(int peer, Channel channel, const uint8_t* data, size_t length);
    void handleHost(int peer, Remote& r, const Message& m);
    void handleClient(Remote& r, const Message& m);
    void handleDirect(int peer, Remote& r, const Message& m);
    void checkLink(int peer, Remote& r, const LinkMessage& link);
    void sendLink(int peer, int toSeat);
    void dialPeers();
    bool speaksFor(int peer, const Remote& r) const;
    bool takeInputs(Remote& r, const InputsMessage& in);
    void onConnected(int peer);
    void onDisconnected(int peer, const char* why);
    void sendMessage(int peer, Channel channel, const Message& m);
    void broadcastLobby();
    void sendInputs(uint32_t seatMask);
    void sendSeat(int peer, const Remote& r, int s);
    void sendChecksums();
    void dropSeat(int peerSeat);
    void fail(const std::string& why);
    bool allowPacket(Remote& r, Channel channel, uint32_t now);
    void checkEnd();
    Remote* remoteOfSeat(int s);

    Transport& transport;
    RollbackGame& game;
    PeerConfig cfg;
    PeerState current;
    std::string failureText;
    int seat = 0;
    uint32_t startedAt = 0;
    uint32_t lastLobbyAt = 0;
    StartMessage start;
    LobbyMessage lobbyState;
    int lobbyComputers = 0;        // host: the computer bikes the lobby shows
    uint8_t lobbyComputerLevel = 0;
    int ending = -1;
    std::array<Remote, kMaxLinks> remotes{};   // by transport peer number
    // A joining machine: the others it may link to (from the host), links it dialled and
    // the Link messages that came before the host's list (checked once it is here).
    PeersMessage directPeers;
    bool havePeers = false;
    std::array<int, kMaxLinks> dialled{};     // by peer: the seat dialled there, or −1
    std::array<LinkMessage, kMaxLinks> earlyLinks{};
    // The host: every pair of joining machines' shared token.
    uint64_t pairToken[kMaxSeats][kMaxSeats] = {};
    uint64_t tokenState = 0;
    // The first frame runs at this time of the transport's clock.
    uint32_t beginAt = 0;
    bool begun = false;
    std::unique_ptr<RollbackSession> rollback;
    DropCounts dropped;
    RateLog dropLog;
    uint64_t sentBytes = 0, receivedBytes = 0, holds = 0;
    uint32_t relayPending = 0;     // seats whose new buttons the host has yet to pass on
    Message scratch;        // decoding target, reused
    Message outgoing;       // encoding source, reused
    uint8_t buffer[kMaxDatagram];
};

} // namespace net
