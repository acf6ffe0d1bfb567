// The transport between machines: ENet over UDP, channel 0 reliable for the session,
// channel 1 unreliable and sequenced for buttons. ENet stays inside this module.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "net/transport.h"

namespace net {

// The port a host listens on when none is given.
constexpr uint16_t kDefaultPort = 28282;

class EnetTransport : public Transport {
public:
    // A host for up to maxPeers remote machines (one more connection is taken so that a
    // machine beyond them hears "full" rather than nothing). bindAddress "" listens on
    // every address; port 0 takes a free one (see port()).
    static std::unique_ptr<EnetTransport> listen(const std::string& bindAddress, uint16_t port, int maxPeers,
                                                 std::string& error);
    // A machine joining a host; the connection completes later (a Connected event). The
    // machine's own socket is bound to localPort (0: a free one, see port()), where the other
    // joining machines may dial it directly.
    static std::unique_ptr<EnetTransport> connect(const std::string& hostName, uint16_t port, uint16_t localPort,
                                                  std::string& error);
    ~EnetTransport() override;

    uint16_t port() const;
    uint32_t nowMs() override;
    bool send(int peer, Channel channel, const uint8_t* data, size_t length) override;
    bool poll(TransportEvent& out) override;
    void disconnect(int peer) override;
    void flush() override;
    bool peerAddress(int peer, Address& out) override;
    int dial(const Address& to) override;

private:
    struct Impl;
    explicit EnetTransport(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};

// "HOST" or "HOST:PORT" into its parts (ENet speaks IPv4 only); false when the port is
// not 1 to 65535 or the host is empty.
bool splitHostPort(const std::string& text, std::string& host, uint16_t& port);

} // namespace net
