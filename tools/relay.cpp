// palvex-relay: a UDP relay that puts a bad network between two programs on one machine.
// Datagrams from any client to the listen port go on to the target port from a socket of
// that client's own, and the answers come back the same way; each way they are delayed,
// jittered, lost, reordered and duplicated as the options and the seed say. It listens on
// 127.0.0.1 only, holds at most a bounded number of clients and datagrams, and stops by
// itself after --timeout seconds (or --idle seconds without a datagram).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <string>
#include <vector>

#include "net/faults.h"

namespace {

constexpr size_t kMaxClients = 8;
constexpr size_t kMaxQueued = 65536;
constexpr size_t kMaxDatagram = 65536;

struct Options {
    int listenPort = 0;
    int targetPort = 0;
    net::LinkFaults faults;
    uint64_t seed = 1;
    int timeoutS = 60;
    int idleS = 0;
};

struct Client {
    sockaddr_in address{};
    int upstream = -1;  // our socket towards the target for this client
};

struct Pending {
    uint64_t due;
    uint64_t order;
    int socket;
    sockaddr_in to;
    std::vector<uint8_t> data;
    bool operator>(const Pending& o) const { return due != o.due ? due > o.due : order > o.order; }
};

uint64_t nowMs()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool number(const char* text, double low, double high, double& out)
{
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= low && out <= high;
}

int usage(const char* why)
{
    std::fprintf(stderr,
                 "palvex-relay: %s\n"
                 "usage: palvex-relay --listen PORT --target PORT [--rtt MS] [--jitter MS] [--loss PCT]\n"
                 "                    [--reorder PCT] [--duplicate PCT] [--seed N] [--timeout S] [--idle S]\n"
                 "Relays UDP on 127.0.0.1; the faults apply each way (the latency is half the round trip).\n",
                 why);
    return 2;
}

int udpSocket(int port)
{
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    if (s < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        if (i + 1 >= argc)
            return usage(("missing value of " + opt).c_str());
        double v = 0;
        const char* arg = argv[++i];
        if (opt == "--listen" && number(arg, 0, 65535, v))
            o.listenPort = int(v);
        else if (opt == "--target" && number(arg, 1, 65535, v))
            o.targetPort = int(v);
        else if (opt == "--rtt" && number(arg, 0, 10000, v))
            o.faults.latencyMs = uint32_t(v / 2);
        else if (opt == "--jitter" && number(arg, 0, 5000, v))
            o.faults.jitterMs = uint32_t(v);
        else if (opt == "--loss" && number(arg, 0, 100, v))
            o.faults.loss = v / 100.0;
        else if (opt == "--reorder" && number(arg, 0, 100, v))
            o.faults.reorder = v / 100.0;
        else if (opt == "--duplicate" && number(arg, 0, 100, v))
            o.faults.duplicate = v / 100.0;
        else if (opt == "--seed" && number(arg, 0, 1e15, v))
            o.seed = uint64_t(v);
        else if (opt == "--timeout" && number(arg, 1, 86400, v))
            o.timeoutS = int(v);
        else if (opt == "--idle" && number(arg, 0, 86400, v))
            o.idleS = int(v);
        else
            return usage(("bad option or value: " + opt + " " + arg).c_str());
    }
    if (o.targetPort == 0)
        return usage("--target is required");

    int listener = udpSocket(o.listenPort);
    if (listener < 0) {
        std::fprintf(stderr, "palvex-relay: cannot listen on 127.0.0.1:%d: %s\n", o.listenPort, std::strerror(errno));
        return 1;
    }
    sockaddr_in bound{};
    socklen_t boundLength = sizeof bound;
    getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    std::printf("listening on %d\n", ntohs(bound.sin_port));
    std::fflush(stdout);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(uint16_t(o.targetPort));

    net::FaultDice dice(o.seed);
    std::vector<Client> clients;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> queue;
    uint64_t order = 0, relayed = 0, dropped = 0;
    uint64_t started = nowMs(), lastDatagram = started;
    std::vector<uint8_t> buffer(kMaxDatagram);

    auto schedule = [&](int socket, const sockaddr_in& to, const uint8_t* data, size_t n) {
        if (dice.chance(o.faults.loss)) {
            dropped++;
            return;
        }
        int copies = dice.chance(o.faults.duplicate) ? 2 : 1;
        for (int c = 0; c < copies; ++c) {
            if (queue.size() >= kMaxQueued) {
                dropped++;
                return;
            }
            uint64_t due = nowMs() + dice.delayMs(o.faults);
            if (dice.chance(o.faults.reorder))
                due += net::FaultDice::reorderDelayMs(o.faults);
            queue.push({due, order++, socket, to, std::vector<uint8_t>(data, data + n)});
        }
    };

    for (;;) {
        uint64_t now = nowMs();
        if (now - started >= uint64_t(o.timeoutS) * 1000)
            break;
        if (o.idleS > 0 && now - lastDatagram >= uint64_t(o.idleS) * 1000)
            break;
        while (!queue.empty() && queue.top().due <= now) {
            const Pending& p = queue.top();
            sendto(p.socket, p.data.data(), p.data.size(), 0, reinterpret_cast<const sockaddr*>(&p.to), sizeof p.to);
            relayed++;
            queue.pop();
        }
        std::vector<pollfd> fds;
        fds.push_back({listener, POLLIN, 0});
        for (const Client& c : clients)
            fds.push_back({c.upstream, POLLIN, 0});
        int wait = 50;
        if (!queue.empty())
            wait = int(std::min<uint64_t>(50, queue.top().due > now ? queue.top().due - now : 0));
        if (poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR)
            break;
        // From clients: on to the target through the client's own socket.
        for (;;) {
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            ssize_t n = recvfrom(listener, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fl);
            if (n < 0)
                break;
            lastDatagram = nowMs();
            auto it = std::find_if(clients.begin(), clients.end(), [&](const Client& c) {
                return c.address.sin_addr.s_addr == from.sin_addr.s_addr && c.address.sin_port == from.sin_port;
            });
            if (it == clients.end()) {
                if (clients.size() >= kMaxClients) {
                    dropped++;
                    continue;
                }
                int s = udpSocket(0);
                if (s < 0)
                    continue;
                clients.push_back({from, s});
                it = clients.end() - 1;
            }
            schedule(it->upstream, target, buffer.data(), size_t(n));
        }
        // From the target: back to the client the socket stands for.
        for (const Client& c : clients) {
            for (;;) {
                ssize_t n = recv(c.upstream, buffer.data(), buffer.size(), 0);
                if (n < 0)
                    break;
                lastDatagram = nowMs();
                schedule(listener, c.address, buffer.data(), size_t(n));
            }
        }
    }
    std::printf("relayed %llu datagrams, dropped %llu, %zu clients\n", static_cast<unsigned long long>(relayed),
                static_cast<unsigned long long>(dropped), clients.size());
    for (const Client& c : clients)
        close(c.upstream);
    close(listener);
    return 0;
}
