// A network inside one process, on a virtual clock: endpoints that connect, send on the
// two channels and hear each other after a latency with jitter, losing, reordering and
// duplicating datagrams as a seeded generator decides. The reliable channel behaves as
// ENet's: nothing is lost (a loss costs a resend a round trip later) and order is kept.
// The unreliable sequenced one too: a datagram older than one already delivered is
// dropped. Everything is bounded: a link holds at most kMaxInFlight datagrams.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/faults.h"
#include "net/transport.h"
#include "net/wire.h"

namespace net {

class SimNetwork {
public:
    static constexpr int kMaxEndpoints = 8;
    static constexpr size_t kMaxInFlight = 8192;
    static constexpr int kMaxPeersPerEndpoint = 4;

    explicit SimNetwork(uint64_t seed);
    ~SimNetwork();
    // Every link from now on has these faults.
    void setFaults(const LinkFaults& faults) { faults_ = faults; }
    // A new endpoint; the network owns it.
    Transport* addEndpoint();
    // Starts a connection from one endpoint to another; both hear Connected after the latency.
    // The listener sees the connection under the next peer number it has free; the
    // dialler's is returned (-1 when either has no room).
    int connect(Transport* from, Transport* to);
    // Connections from now on take this much longer to be made (a handshake that had to be
    // sent again and again).
    void setConnectDelay(uint32_t ms) { connectDelay = ms; }
    // From now on nothing passes between the two endpoints (a route that broke), either way.
    void cut(Transport* a, Transport* b);
    // An endpoint's address on this network (every endpoint has its own).
    static Address addressOf(int endpoint) { return {0x0100007Fu + (uint32_t(endpoint) << 24), 1}; }
    // Advances the virtual clock, delivering what falls due.
    void advance(uint32_t ms);
    uint32_t nowMs() const { return clock; }
    uint64_t datagramsSent() const { return sent; }
    uint64_t datagramsLost() const { return lost; }
    uint64_t bytesSent() const { return bytes; }

private:
    struct Endpoint;
    struct InFlight {
        uint32_t due;
        uint64_t order;      // tie-break: sending order
        int to, toPeer;
        TransportEvent::Kind kind;
        Channel channel;
        uint32_t sequence;
        uint16_t length;
        std::array<uint8_t, kMaxDatagram> data;
    };
    friend struct Endpoint;
    void queue(int from, int fromPeer, TransportEvent::Kind kind, Channel channel, const uint8_t* data, size_t length);

    LinkFaults faults_;
    FaultDice dice;
    uint32_t clock = 0;
    uint64_t orderCounter = 0;
    uint64_t sent = 0, lost = 0, bytes = 0;
    std::vector<std::unique_ptr<Endpoint>> endpoints;
    std::vector<InFlight> inFlight;
    std::vector<std::pair<int, int>> cuts;
    uint32_t connectDelay = 0;
};

} // namespace net
