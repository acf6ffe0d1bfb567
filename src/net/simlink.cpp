#include "net/simlink.h"

#include <algorithm>
#include <cstring>

namespace net {

struct SimNetwork::Endpoint : Transport {
    struct PeerLink {
        bool used = false;
        bool connected = false;
        int remote = -1;        // endpoint index
        int remotePeer = -1;    // our number at the remote
        uint32_t reliableDue = 0;       // keeps the reliable channel in order
        uint32_t sequenceOut[kChannels] = {};
        uint32_t lastSequenceIn[kChannels] = {};
    };
    static constexpr size_t kMaxQueued = 4096;

    SimNetwork& network;
    int index;
    std::array<PeerLink, kMaxPeersPerEndpoint> peers{};
    std::vector<InFlight> arrived;  // delivered, waiting for poll
    size_t readAt = 0;
    InFlight current{};            // what the last poll handed out

    Endpoint(SimNetwork& network, int index) : network(network), index(index) { arrived.reserve(kMaxQueued); }

    uint32_t nowMs() override { return network.clock; }

    bool send(int peer, Channel channel, const uint8_t* data, size_t length) override
    {
        if (peer < 0 || peer >= kMaxPeersPerEndpoint || !peers[size_t(peer)].connected || length > kMaxDatagram
            || int(channel) >= kChannels)
            return false;
        network.queue(index, peer, TransportEvent::Received, channel, data, length);
        return true;
    }

    bool poll(TransportEvent& out) override
    {
        if (readAt >= arrived.size()) {
            arrived.clear();
            readAt = 0;
            return false;
        }
        current = arrived[readAt++];
        out.kind = current.kind;
        out.peer = current.toPeer;
        out.channel = current.channel;
        out.data = current.data.data();
        out.length = current.length;
        return true;
    }

    void disconnect(int peer) override
    {
        if (peer < 0 || peer >= kMaxPeersPerEndpoint || !peers[size_t(peer)].used)
            return;
        if (peers[size_t(peer)].connected)
            network.queue(index, peer, TransportEvent::Disconnected, Channel::Session, nullptr, 0);
        peers[size_t(peer)] = PeerLink{};
    }

    void flush() override {}

    bool peerAddress(int peer, Address& out) override
    {
        if (peer < 0 || peer >= kMaxPeersPerEndpoint || !peers[size_t(peer)].used)
            return false;
        out = addressOf(peers[size_t(peer)].remote);
        return true;
    }

    int dial(const Address& to) override
    {
        for (const auto& e : network.endpoints)
            if (e.get() != this && addressOf(e->index).ipv4 == to.ipv4 && addressOf(e->index).port == to.port)
                return network.connect(this, e.get());
        return -1;  // nobody there: a real network would time the attempt out
    }

    int freePeer() const
    {
        for (int p = 0; p < kMaxPeersPerEndpoint; ++p)
            if (!peers[size_t(p)].used)
                return p;
        return -1;
    }
};

SimNetwork::SimNetwork(uint64_t seed) : dice(seed) { inFlight.reserve(kMaxInFlight); }
SimNetwork::~SimNetwork() = default;

Transport* SimNetwork::addEndpoint()
{
    if (endpoints.size() >= kMaxEndpoints)
        return nullptr;
    endpoints.push_back(std::make_unique<Endpoint>(*this, int(endpoints.size())));
    return endpoints.back().get();
}

int SimNetwork::connect(Transport* from, Transport* to)
{
    auto* a = static_cast<Endpoint*>(from);
    auto* b = static_cast<Endpoint*>(to);
    int pa = a->freePeer(), pb = b->freePeer();
    if (pa < 0 || pb < 0 || a == b)
        return -1;
    a->peers[size_t(pa)] = {true, false, b->index, pb};
    b->peers[size_t(pb)] = {true, false, a->index, pa};
    // The listener hears the connection after one trip, the dialler after the answer's.
    queue(a->index, pa, TransportEvent::Connected, Channel::Session, nullptr, 0);
    a->peers[size_t(pa)].reliableDue = clock + 2 * faults_.latencyMs + connectDelay;
    InFlight answer{};
    answer.due = clock + 2 * faults_.latencyMs + connectDelay;
    answer.order = orderCounter++;
    answer.to = a->index;
    answer.toPeer = pa;
    answer.kind = TransportEvent::Connected;
    inFlight.push_back(answer);
    return pa;
}

void SimNetwork::cut(Transport* a, Transport* b)
{
    cuts.emplace_back(static_cast<Endpoint*>(a)->index, static_cast<Endpoint*>(b)->index);
}

void SimNetwork::queue(int from, int fromPeer, TransportEvent::Kind kind, Channel channel, const uint8_t* data, size_t length)
{
    Endpoint::PeerLink& link = endpoints[size_t(from)]->peers[size_t(fromPeer)];
    for (const auto& [a, b] : cuts)
        if ((a == from && b == link.remote) || (b == from && a == link.remote)) {
            lost++;
            return;
        }
    auto delay = [&] { return dice.delayMs(faults_); };
    auto put = [&](uint32_t due, uint32_t sequence) {
        if (inFlight.size() >= kMaxInFlight) {
            lost++;  // a full queue drops, as a router's does
            return;
        }
        InFlight p{};
        p.due = due;
        p.order = orderCounter++;
        p.to = link.remote;
        p.toPeer = link.remotePeer;
        p.kind = kind;
        p.channel = channel;
        p.sequence = sequence;
        p.length = uint16_t(length);
        if (length != 0)
            std::memcpy(p.data.data(), data, length);
        inFlight.push_back(p);
    };
    if (kind == TransportEvent::Received) {
        sent++;
        bytes += length;
    }
    if (kind != TransportEvent::Received || reliable(channel)) {
        uint32_t due = clock + delay() + (kind == TransportEvent::Connected ? connectDelay : 0);
        // A reliable datagram that is lost arrives anyway, a resend later.
        if (kind == TransportEvent::Received)
            for (int tries = 0; tries < 8 && dice.chance(faults_.loss); ++tries)
                due += 2 * faults_.latencyMs + 20;
        due = std::max(due, link.reliableDue);
        link.reliableDue = due;
        put(due, 0);
        return;
    }
    if (dice.chance(faults_.loss)) {
        lost++;
        return;
    }
    uint32_t sequence = ++link.sequenceOut[int(channel)];
    uint32_t due = clock + delay();
    if (dice.chance(faults_.reorder))
        due += FaultDice::reorderDelayMs(faults_);
    put(due, sequence);
    if (dice.chance(faults_.duplicate))
        put(clock + delay(), sequence);
}

void SimNetwork::advance(uint32_t ms)
{
    clock += ms;
    auto firstLate = std::partition(inFlight.begin(), inFlight.end(), [&](const InFlight& p) { return p.due <= clock; });
    std::sort(inFlight.begin(), firstLate, [](const InFlight& x, const InFlight& y) {
        return x.due != y.due ? x.due < y.due : x.order < y.order;
    });
    for (auto it = inFlight.begin(); it != firstLate; ++it) {
        Endpoint& to = *endpoints[size_t(it->to)];
        Endpoint::PeerLink& link = to.peers[size_t(it->toPeer)];
        if (!link.used)
            continue;  // that end hung up
        if (it->kind == TransportEvent::Connected)
            link.connected = true;
        else if (!link.connected)
            continue;
        if (it->kind == TransportEvent::Received && !reliable(it->channel)) {
            uint32_t& last = link.lastSequenceIn[int(it->channel)];
            if (it->sequence <= last)
                continue;  // older than one delivered: sequenced channels drop it
            last = it->sequence;
        }
        if (it->kind == TransportEvent::Disconnected)
            link = Endpoint::PeerLink{};
        if (to.arrived.size() < Endpoint::kMaxQueued)
            to.arrived.push_back(*it);
    }
    inFlight.erase(inFlight.begin(), firstLate);
}

} // namespace net
