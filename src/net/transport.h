// What a session needs of the network: connections to a few peers, datagrams on two
// channels, events. ENet provides it between machines; the simulated link provides it
// inside one process with a virtual clock, for tests that must not depend on a real network.
#pragma once
#include <cstddef>
#include <cstdint>

namespace net {

// Channel 0 is reliable and ordered; the others unreliable and sequenced, each on its own:
// a datagram older than one already delivered on its channel is dropped, so every seat's
// buttons have a channel of their own and one seat's never push another's out.
enum class Channel : uint8_t {
    Session = 0,  // lobby, start, checksums, leaving
    Ping = 1,     // pings and pongs
    Inputs = 2,   // seat s's buttons and acknowledgements go on Inputs + s
};
constexpr int kChannels = 2 + 4;  // session, ping, and one for each of the four seats
constexpr Channel inputsChannel(int seat) { return Channel(int(Channel::Inputs) + seat); }
constexpr bool reliable(Channel c) { return c == Channel::Session; }

// Where a machine is reached: an IPv4 address as ENet keeps it (network byte order) and a
// port; {0, 0} is nowhere.
struct Address {
    uint32_t ipv4 = 0;
    uint16_t port = 0;
};

struct TransportEvent {
    enum Kind : uint8_t { Connected, Disconnected, Received } kind = Received;
    int peer = -1;
    Channel channel = Channel::Session;
    const uint8_t* data = nullptr;  // valid until the next poll
    size_t length = 0;
};

class Transport {
public:
    virtual ~Transport() = default;
    // Milliseconds of the transport's clock (the real one, or the simulation's).
    virtual uint32_t nowMs() = 0;
    // Queues a datagram; false when the peer is not connected or the datagram too large.
    virtual bool send(int peer, Channel channel, const uint8_t* data, size_t length) = 0;
    // The next event if one is waiting; never blocks.
    virtual bool poll(TransportEvent& out) = 0;
    // Ends a connection; the peer hears of it (if it still listens).
    virtual void disconnect(int peer) = 0;
    // Pushes out what was queued.
    virtual void flush() = 0;
    // Where a connected peer's datagrams come from; false for no such peer.
    virtual bool peerAddress(int peer, Address& out) = 0;
    // Starts a connection to another machine (a joining machine dialling another one);
    // Connected follows under the peer number returned, or Disconnected if nobody answers.
    // −1 when there is no room.
    virtual int dial(const Address& to) = 0;
};

} // namespace net
