#include "net/enettransport.h"

#include <enet/enet.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "net/wire.h"

namespace net {

namespace {

int enetUsers = 0;

bool enetUp(std::string& error)
{
    if (enetUsers == 0 && enet_initialize() != 0) {
        error = "ENet could not start";
        return false;
    }
    enetUsers++;
    return true;
}

void enetDown()
{
    if (--enetUsers == 0)
        enet_deinitialize();
}

constexpr int kSlots = 8;

} // namespace

struct EnetTransport::Impl {
    ENetHost* host = nullptr;
    ENetPeer* peers[kSlots] = {};
    ENetPacket* held = nullptr;  // the packet the last poll handed out
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();

    ~Impl()
    {
        if (held)
            enet_packet_destroy(held);
        if (host) {
            for (ENetPeer* p : peers)
                if (p)
                    enet_peer_disconnect_now(p, 0);
            enet_host_destroy(host);
        }
        enetDown();
    }
    int slotOf(ENetPeer* p) const
    {
        for (int i = 0; i < kSlots; ++i)
            if (peers[i] == p)
                return i;
        return -1;
    }
    int take(ENetPeer* p)
    {
        int i = slotOf(p);
        if (i >= 0)
            return i;
        for (i = 0; i < kSlots; ++i)
            if (!peers[i]) {
                peers[i] = p;
                // ENet gives up on a connection whose reliable packets go unanswered for
                // 5 s; on a slow and lossy line (250 ms, 10 % loss) a run of losses reached
                // that once in nine minutes. The game drops a peer that goes silent itself
                // (2 s without a datagram), so ENet may wait longer for its acknowledgements.
                enet_peer_timeout(p, 0, kAckTimeoutMinMs, kAckTimeoutMaxMs);
                return i;
            }
        return -1;
    }
    static constexpr enet_uint32 kAckTimeoutMinMs = 15000;
    static constexpr enet_uint32 kAckTimeoutMaxMs = 60000;
};

EnetTransport::EnetTransport(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}
EnetTransport::~EnetTransport() = default;

std::unique_ptr<EnetTransport> EnetTransport::listen(const std::string& bindAddress, uint16_t port, int maxPeers,
                                                     std::string& error)
{
    if (!enetUp(error))
        return nullptr;
    auto impl = std::make_unique<Impl>();
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = port;
    if (!bindAddress.empty() && enet_address_set_host_ip(&address, bindAddress.c_str()) != 0) {
        error = "not an IPv4 address: " + bindAddress;
        return nullptr;
    }
    int slots = std::clamp(maxPeers + 1, 1, kSlots);
    impl->host = enet_host_create(&address, size_t(slots), kChannels, 0, 0);
    if (!impl->host) {
        error = "cannot listen on port " + std::to_string(port) + " (in use?)";
        return nullptr;
    }
    return std::unique_ptr<EnetTransport>(new EnetTransport(std::move(impl)));
}

std::unique_ptr<EnetTransport> EnetTransport::connect(const std::string& hostName, uint16_t port, uint16_t localPort,
                                                      std::string& error)
{
    if (!enetUp(error))
        return nullptr;
    auto impl = std::make_unique<Impl>();
    // Room for the host, the other joining machines and one stranger at a time.
    ENetAddress local{};
    local.host = ENET_HOST_ANY;
    local.port = localPort;
    impl->host = enet_host_create(&local, kSlots, kChannels, 0, 0);
    if (!impl->host) {
        error = localPort == 0 ? "cannot open a UDP socket" : "cannot take port " + std::to_string(localPort) + " (in use?)";
        return nullptr;
    }
    ENetAddress address{};
    if (enet_address_set_host(&address, hostName.c_str()) != 0) {
        error = "unknown host: " + hostName;
        return nullptr;
    }
    address.port = port;
    ENetPeer* peer = enet_host_connect(impl->host, &address, kChannels, 0);
    if (!peer) {
        error = "cannot connect to " + hostName;
        return nullptr;
    }
    impl->take(peer);
    return std::unique_ptr<EnetTransport>(new EnetTransport(std::move(impl)));
}

uint16_t EnetTransport::port() const
{
    if (!impl->host)
        return 0;
    // A host bound to port 0 learns the one the system gave it from the socket.
    ENetAddress bound{};
    if (enet_socket_get_address(impl->host->socket, &bound) == 0)
        return bound.port;
    return impl->host->address.port;
}

uint32_t EnetTransport::nowMs()
{
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - impl->epoch).count());
}

bool EnetTransport::send(int peer, Channel channel, const uint8_t* data, size_t length)
{
    if (peer < 0 || peer >= kSlots || !impl->peers[peer] || length > kMaxDatagram || int(channel) >= kChannels)
        return false;
    if (impl->peers[peer]->state != ENET_PEER_STATE_CONNECTED)
        return false;
    enet_uint32 flags = reliable(channel) ? ENET_PACKET_FLAG_RELIABLE : 0;
    ENetPacket* packet = enet_packet_create(data, length, flags);
    if (!packet)
        return false;
    if (enet_peer_send(impl->peers[peer], enet_uint8(channel), packet) != 0) {
        enet_packet_destroy(packet);
        return false;
    }
    return true;
}

bool EnetTransport::poll(TransportEvent& out)
{
    if (impl->held) {
        enet_packet_destroy(impl->held);
        impl->held = nullptr;
    }
    ENetEvent e;
    while (enet_host_service(impl->host, &e, 0) > 0) {
        switch (e.type) {
        case ENET_EVENT_TYPE_CONNECT: {
            int slot = impl->take(e.peer);
            if (slot < 0) {
                enet_peer_reset(e.peer);
                continue;
            }
            // ENet drops a share of the unreliable datagrams while the round trip runs above
            // its mean (its throttle), which on a jittery line is much of the time. Every
            // inputs message repeats what was not acknowledged and is tiny: a drop only
            // makes the buttons later. The throttle stays open (told once connected: the
            // command goes to the other end too).
            enet_peer_throttle_configure(e.peer, ENET_PEER_PACKET_THROTTLE_INTERVAL, ENET_PEER_PACKET_THROTTLE_SCALE, 0);
            out = {TransportEvent::Connected, slot, Channel::Session, nullptr, 0};
            return true;
        }
        case ENET_EVENT_TYPE_DISCONNECT: {
            int slot = impl->slotOf(e.peer);
            if (slot < 0)
                continue;
            impl->peers[slot] = nullptr;
            out = {TransportEvent::Disconnected, slot, Channel::Session, nullptr, 0};
            return true;
        }
        case ENET_EVENT_TYPE_RECEIVE: {
            int slot = impl->slotOf(e.peer);
            if (slot < 0 || e.channelID >= kChannels) {
                enet_packet_destroy(e.packet);
                continue;
            }
            impl->held = e.packet;
            out = {TransportEvent::Received, slot, Channel(e.channelID), e.packet->data, e.packet->dataLength};
            return true;
        }
        case ENET_EVENT_TYPE_NONE:
            break;
        }
    }
    return false;
}

void EnetTransport::disconnect(int peer)
{
    if (peer < 0 || peer >= kSlots || !impl->peers[peer])
        return;
    // Gracefully: what was queued (a refusal, a last message) still goes out.
    enet_peer_disconnect_later(impl->peers[peer], 0);
    impl->peers[peer] = nullptr;
}

void EnetTransport::flush() { enet_host_flush(impl->host); }

bool EnetTransport::peerAddress(int peer, Address& out)
{
    if (peer < 0 || peer >= kSlots || !impl->peers[peer])
        return false;
    out.ipv4 = impl->peers[peer]->address.host;
    out.port = impl->peers[peer]->address.port;
    return true;
}

int EnetTransport::dial(const Address& to)
{
    if (to.ipv4 == 0 || to.port == 0)
        return -1;
    ENetAddress address{};
    address.host = to.ipv4;
    address.port = to.port;
    ENetPeer* peer = enet_host_connect(impl->host, &address, kChannels, 0);
    if (!peer)
        return -1;
    int slot = impl->take(peer);
    if (slot < 0)
        enet_peer_reset(peer);
    return slot;
}

bool splitHostPort(const std::string& text, std::string& host, uint16_t& port)
{
    size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    if (host.empty())
        return false;
    if (colon == std::string::npos) {
        port = kDefaultPort;
        return true;
    }
    std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long value = std::strtol(digits.c_str(), nullptr, 10);
    if (value < 1 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

} // namespace net
