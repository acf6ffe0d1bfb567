#include "net/peer.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <random>

namespace net {

namespace {

// A peer may send this many datagrams a second, with bursts as large: at 60 frames a
// second a host sends each machine one datagram per other seat and frame, plus pings, on
// the unreliable channel; the reliable one carries a few messages a second. Datagrams over
// the rate are dropped on the unreliable channel; on the reliable one, where ENet would
// not send them again, the sender is dropped instead.
constexpr double kPacketsPerSecond[2] = {100.0, 400.0};
constexpr double kBurst[2] = {100.0, 200.0};
constexpr uint32_t kLobbyEveryMs = 1000;

// A token no one can guess: from the system's random source, stirred (splitmix64).
uint64_t nextToken(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

NetPeer::NetPeer(Transport& transport, RollbackGame& game, const PeerConfig& config)
    : transport(transport), game(game), cfg(config), current(config.host ? PeerState::Lobby : PeerState::Connecting)
{
    startedAt = transport.nowMs();
    seat = 0;
    lobbyState.seatCount = 1;
    lobbyState.seats[0].kind = SeatKind::Human;
    lobbyState.seats[0].name.set(cfg.playerName);
    dialled.fill(-1);
    if (cfg.host) {
        std::random_device device;
        tokenState = (uint64_t(device()) << 32) ^ device();
    }
}

NetPeer::~NetPeer() = default;

uint32_t NetPeer::directSeats() const
{
    uint32_t seats = 0;
    for (const Remote& r : remotes)
        if (r.connected && r.direct && r.proven)
            seats |= 1u << r.seat;
    return seats;
}

double NetPeer::framesAhead() const
{
    double ahead = 0.0;
    bool any = false;
    for (int p = 0; p < kMaxLinks; ++p)
        if (speaksFor(p, remotes[size_t(p)])) {
            ahead = any ? std::max(ahead, remotes[size_t(p)].advantage) : remotes[size_t(p)].advantage;
            any = true;
        }
    return ahead;
}

// The machines whose word counts for this one: for the host every seated player, for a
// joining machine the host and the joining machines that proved their seats.
bool NetPeer::speaksFor(int peer, const Remote& r) const
{
    if (!r.connected)
        return false;
    if (cfg.host)
        return r.welcomed;
    return peer == cfg.hostPeer || (r.direct && r.proven);
}

uint32_t NetPeer::pingMs(int seatNumber) const
{
    for (const Remote& r : remotes)
        if (r.connected && r.seat == seatNumber)
            return r.rttMs;
    return 0;
}

int NetPeer::joinedPeers() const
{
    int n = 0;
    for (const Remote& r : remotes)
        if (r.connected && r.welcomed)
            n++;
    return n;
}

NetPeer::Remote* NetPeer::remoteOfSeat(int s)
{
    for (Remote& r : remotes)
        if (r.connected && r.seat == s && (!r.direct || r.proven))
            return &r;
    return nullptr;
}

void NetPeer::fail(const std::string& why)
{
    if (current == PeerState::Failed || current == PeerState::Ended)
        return;
    current = PeerState::Failed;
    failureText = why;
    logLine("network: %s", why.c_str());
    // A host that stops (a desync) stops the session for everyone rather than leave them
    // waiting for its buttons.
    if (cfg.host) {
        outgoing = Message{};
        outgoing.type = MessageType::Leave;
        outgoing.leave.seat = 0;
        outgoing.leave.fromFrame = kNoFrame;
        for (int p = 0; p < kMaxLinks; ++p)
            if (remotes[size_t(p)].connected && remotes[size_t(p)].welcomed)
                sendMessage(p, Channel::Session, outgoing);
        transport.flush();
    }
}

void NetPeer::sendMessage(int peer, Channel channel, const Message& m)
{
    size_t n = encode(m, buffer, sizeof buffer);
    if (n != 0 && transport.send(peer, channel, buffer, n)) {
        sentBytes += n;
        remotes[size_t(peer)].sent += n;
    }
}

uint64_t NetPeer::directBytesSent(int seatNumber) const
{
    for (const Remote& r : remotes)
        if (r.connected && r.direct && r.proven && r.seat == seatNumber)
            return r.sent;
    return 0;
}

std::string NetPeer::linksText() const
{
    std::string text;
    for (int p = 0; p < kMaxLinks; ++p) {
        const Remote& r = remotes[size_t(p)];
        if (!r.connected)
            continue;
        char line[128];
        std::snprintf(line, sizeof line, "%sseat %d%s sent %" PRIu64 " heard %" PRIu64, text.empty() ? "" : ", ", r.seat,
                      r.direct ? (r.proven ? " direct" : " unproven") : "", r.sent, r.heard);
        text += line;
    }
    return text;
}

bool NetPeer::allowPacket(Remote& r, Channel channel, uint32_t now)
{
    for (int c = 0; c < 2; ++c)
        r.tokens[c] = std::min(kBurst[c], r.tokens[c] + double(now - r.tokensAt) * kPacketsPerSecond[c] / 1000.0);
    r.tokensAt = now;
    double& tokens = r.tokens[reliable(channel) ? 0 : 1];
    if (tokens < 1.0)
        return false;
    tokens -= 1.0;
    return true;
}

void NetPeer::onConnected(int peer)
{
    if (peer < 0 || peer >= kMaxLinks)
        return;
    Remote& r = remotes[size_t(peer)];
    r = Remote{};
    r.connected = true;
    r.lastHeard = r.tokensAt = transport.nowMs();
    r.lastPing = r.lastHeard - cfg.pingEveryMs;  // the first ping at once: the lobby shows it
    r.tokens[0] = kBurst[0];
    r.tokens[1] = kBurst[1];
    r.acked.fill(-1);
    r.connectedAt = r.lastHeard;
    earlyLinks[size_t(peer)] = LinkMessage{};
    if (!cfg.host && peer != cfg.hostPeer) {
        // Another joining machine: each side shows its seat's token before a button counts.
        r.direct = true;
        if (dialled[size_t(peer)] >= 0)
            sendLink(peer, dialled[size_t(peer)]);
        return;
    }
    if (!cfg.host) {
        r.seat = 0;
        outgoing = Message{};
        outgoing.type = MessageType::Hello;
        outgoing.hello.gameVersion.set(cfg.gameVersion);
        outgoing.hello.playerName.set(cfg.playerName);
        outgoing.hello.modelCount = uint8_t(std::clamp(cfg.modelCount, 0, kMaxModels));
        for (int i = 0; i < outgoing.hello.modelCount; ++i)
            outgoing.hello.models[i] = cfg.models[i];
        outgoing.hello.directPort = cfg.directPort;
        sendMessage(peer, Channel::Session, outgoing);
    }
}

void NetPeer::onDisconnected(int peer, const char* why)
{
    if (peer < 0 || peer >= kMaxLinks)
        return;
    earlyLinks[size_t(peer)] = LinkMessage{};
    if (!remotes[size_t(peer)].connected) {
        dialled[size_t(peer)] = -1;  // a dial nobody answered
        return;
    }
    Remote& r = remotes[size_t(peer)];
    int leftSeat = r.seat;
    bool welcomed = r.welcomed && !r.finished;
    r.connected = false;
    transport.disconnect(peer);
    dialled[size_t(peer)] = -1;
    if (!cfg.host && r.direct) {
        // The host still passes that seat's buttons on.
        if (r.proven)
            logLine("network: the direct link with seat %d closed (%s)", leftSeat, why);
        return;
    }
    if (!cfg.host) {
        if (current == PeerState::Connecting)
            fail("no answer from the host");
        else if (current == PeerState::Lobby || current == PeerState::Racing)
            fail(std::string("the host left (") + why + ")");
        return;
    }
    if (!welcomed)
        return;
    logLine("network: seat %d left (%s)", leftSeat, why);
    if (current == PeerState::Lobby) {
        broadcastLobby();
    } else if (current == PeerState::Racing) {
        dropSeat(leftSeat);
    }
}

// The host decides from which frame a seat is gone: the first frame of it that the host
// lacks. Every other machine is told, and still gets every frame before that from the host.
void NetPeer::dropSeat(int leftSeat)
{
    if (!rollback || leftSeat <= 0 || leftSeat >= start.seats)
        return;
    int from = rollback->lastKnownFrame(leftSeat) + 1;
    if (!rollback->seatLeaves(leftSeat, from))
        return;
    outgoing = Message{};
    outgoing.type = MessageType::Leave;
    outgoing.leave.seat = uint8_t(leftSeat);
    outgoing.leave.fromFrame = uint32_t(from);
    for (int p = 0; p < kMaxLinks; ++p)
        if (remotes[size_t(p)].connected && remotes[size_t(p)].welcomed)
            sendMessage(p, Channel::Session, outgoing);
}

void NetPeer::broadcastLobby()
{
    lobbyState = LobbyMessage{};
    lobbyState.seatCount = 1;
    lobbyState.seats[0].kind = SeatKind::Human;
    lobbyState.seats[0].name.set(cfg.playerName);
    for (const Remote& r : remotes) {
        if (!r.connected || !r.welcomed || r.seat < 0 || r.seat >= kMaxSeats)
            continue;
        LobbySeat& s = lobbyState.seats[r.seat];
        s.kind = SeatKind::Human;
        s.name = r.name;
        s.pingMs = uint16_t(std::min<uint32_t>(r.rttMs, 0xFFFF));
        lobbyState.seatCount = uint8_t(std::max<int>(lobbyState.seatCount, r.seat + 1));
    }
    // The computer bikes sit where the humans leave room, as the host's own lobby shows
    // them; a human who joins later takes a seat from them.
    int computers = lobbyComputers;
    for (int s = 1; s < kMaxSeats && computers > 0; ++s) {
        LobbySeat& free = lobbyState.seats[s];
        if (free.kind != SeatKind::Empty)
            continue;
        free.kind = SeatKind::Computer;
        free.level = lobbyComputerLevel;
        lobbyState.seatCount = uint8_t(std::max<int>(lobbyState.seatCount, s + 1));
        computers--;
    }
    outgoing = Message{};
    outgoing.type = MessageType::Lobby;
    outgoing.lobby = lobbyState;
    for (int p = 0; p < kMaxLinks; ++p)
        if (remotes[size_t(p)].connected && remotes[size_t(p)].welcomed)
            sendMessage(p, Channel::Session, outgoing);
    lastLobbyAt = transport.nowMs();
}

void NetPeer::setComputerBikes(int count, int level)
{
    count = std::clamp(count, 0, kMaxSeats - 1);
    const uint8_t clampedLevel = uint8_t(std::clamp(level, 0, int(kMaxComputerLevel)));
    if (!cfg.host || (count == lobbyComputers && clampedLevel == lobbyComputerLevel))
        return;
    lobbyComputers = count;
    lobbyComputerLevel = clampedLevel;
    if (current == PeerState::Lobby)
        broadcastLobby();
}

void NetPeer::poll()
{
    TransportEvent e;
    uint32_t now = transport.nowMs();
    while (transport.poll(e)) {
        if (e.kind == TransportEvent::Connected)
            onConnected(e.peer);
        else if (e.kind == TransportEvent::Disconnected)
            onDisconnected(e.peer, "disconnected");
        else
            handle(e.peer, e.channel, e.data, e.length);
    }
    if (relayPending != 0 && current == PeerState::Racing) {
        sendInputs(relayPending);
        relayPending = 0;
    }
    now = transport.nowMs();
    if (current == PeerState::Connecting && now - startedAt > cfg.connectTimeoutMs)
        fail("no answer from the host");
    for (int p = 0; p < kMaxLinks; ++p) {
        Remote& r = remotes[size_t(p)];
        if (!r.connected)
            continue;
        if (now - r.lastHeard > cfg.silenceMs) {
            onDisconnected(p, "silent for 2 s");
            continue;
        }
        if (r.direct && !r.proven && now - r.connectedAt > cfg.connectTimeoutMs) {
            onDisconnected(p, "never showed its seat");
            continue;
        }
        if (now - r.lastPing >= cfg.pingEveryMs) {
            r.lastPing = now;
            outgoing = Message{};
            outgoing.type = MessageType::Ping;
            outgoing.ping.token = now;
            outgoing.ping.clock = now;
            sendMessage(p, Channel::Ping, outgoing);
        }
    }
    if (cfg.host && current == PeerState::Lobby && now - lastLobbyAt >= kLobbyEveryMs)
        broadcastLobby();
    // Checksums confirmed by buttons that just arrived go out even when ours differ: the
    // peers must see the difference too.
    if (current == PeerState::Racing)
        sendChecksums();
    if (rollback && rollback->desynced() && current == PeerState::Racing) {
        const Desync& d = rollback->desync();
        char text[96];
        std::snprintf(text, sizeof text, "desync at frame %d with seat %d (groups 0x%02x)", d.frame + 1, d.seat,
                      unsigned(d.groups));
        fail(text);
    }
    checkEnd();
    transport.flush();
}

void NetPeer::handle(int peer, Channel channel, const uint8_t* data, size_t length)
{
    if (peer < 0 || peer >= kMaxLinks || !remotes[size_t(peer)].connected || int(channel) >= kChannels)
        return;
    Remote& r = remotes[size_t(peer)];
    uint32_t now = transport.nowMs();
    receivedBytes += length;
    r.heard += length;
    if (!allowPacket(r, channel, now)) {
        dropped.flooded++;
        if (reliable(channel)) {
            logLine("network: peer %d floods the session channel, dropped", peer);
            onDisconnected(peer, "flooding");
        } else {
            dropLog.line(now, "network: peer %d sends too fast, datagram dropped", peer);
        }
        return;
    }
    DecodeResult result = decode(data, length, scratch);
    if (result != DecodeResult::Ok) {
        dropped.undecodable++;
        dropLog.line(now, "network: datagram of %zu bytes from peer %d dropped: %s", length, peer,
                     decodeResultText(result));
        return;
    }
    r.lastHeard = now;
    const Message& m = scratch;
    if (m.type == MessageType::Ping) {
        outgoing = Message{};
        outgoing.type = MessageType::Pong;
        outgoing.ping.token = m.ping.token;
        outgoing.ping.clock = now;
        sendMessage(peer, Channel::Ping, outgoing);
        return;
    }
    if (m.type == MessageType::Pong) {
        uint32_t rtt = now - m.ping.token;
        if (rtt <= 10000) {  // a made-up token would give nonsense
            r.rttMs = r.rttMs == 0 ? rtt : (r.rttMs * 7 + rtt) / 8;
            // The pong left the peer about half a round trip ago.
            if (rtt <= r.surestRtt) {
                r.surestRtt = rtt;
                r.clockOffset = int64_t(m.ping.clock) + rtt / 2 - int64_t(now);
            }
        }
        return;
    }
    if (cfg.host)
        handleHost(peer, r, m);
    else if (r.direct)
        handleDirect(peer, r, m);
    else
        handleClient(r, m);
}

void NetPeer::sendLink(int peer, int toSeat)
{
    const DirectPeer* entry = nullptr;
    for (int i = 0; i < directPeers.count; ++i)
        if (directPeers.peers[i].seat == toSeat)
            entry = &directPeers.peers[i];
    if (!entry)
        return;
    outgoing = Message{};
    outgoing.type = MessageType::Link;
    outgoing.link.seat = uint8_t(seat);
    outgoing.link.token = entry->token;
    sendMessage(peer, Channel::Session, outgoing);
}

// A joining machine says which seat it is; the token the host gave this pair proves it.
void NetPeer::checkLink(int peer, Remote& r, const LinkMessage& link)
{
    const DirectPeer* entry = nullptr;
    for (int i = 0; i < directPeers.count; ++i)
        if (directPeers.peers[i].seat == link.seat)
            entry = &directPeers.peers[i];
    bool taken = remoteOfSeat(link.seat) != nullptr;
    bool dialledOther = dialled[size_t(peer)] >= 0 && dialled[size_t(peer)] != link.seat;
    if (!entry || entry->token != link.token || taken || link.seat == seat || dialledOther) {
        dropped.foreignSeat++;
        logLine("network: a machine claiming seat %d over a direct link was refused", int(link.seat));
        onDisconnected(peer, "refused");
        return;
    }
    r.seat = link.seat;
    r.proven = true;
    logLine("network: linked directly with seat %d", r.seat);
    if (dialled[size_t(peer)] < 0)
        sendLink(peer, r.seat);  // the answer: this machine's own proof
}

void NetPeer::handleDirect(int peer, Remote& r, const Message& m)
{
    uint32_t now = transport.nowMs();
    switch (m.type) {
    case MessageType::Link:
        if (r.proven || earlyLinks[size_t(peer)].seat != 0) {
            dropped.unexpected++;
            return;
        }
        if (!havePeers) {
            earlyLinks[size_t(peer)] = m.link;  // the host's list is on its way
            return;
        }
        checkLink(peer, r, m.link);
        return;
    case MessageType::Inputs:
        // The machine this one dialled may send buttons as soon as it has checked our link
        // message; its own may come after them (another channel): those are not a fault.
        if (!r.proven && dialled[size_t(peer)] >= 0 && current == PeerState::Racing)
            return;
        if (!r.proven || current != PeerState::Racing || !rollback) {
            dropped.unexpected++;
            return;
        }
        if (m.inputs.seat != r.seat) {
            dropped.foreignSeat++;
            dropLog.line(now, "network: seat %d sent buttons of seat %d, dropped", r.seat, int(m.inputs.seat));
            return;
        }
        takeInputs(r, m.inputs);
        return;
    default:
        // Everything else is the host's to say.
        dropped.unexpected++;
        return;
    }
}

// Each joining machine dials those with a lower seat; the later machine's dial meets an
// earlier one that already listens.
void NetPeer::dialPeers()
{
    for (int i = 0; i < directPeers.count; ++i) {
        const DirectPeer& d = directPeers.peers[i];
        if (d.seat >= seat || d.port == 0 || remoteOfSeat(d.seat))
            continue;
        int p = transport.dial(Address{d.ipv4, d.port});
        if (p >= 0 && p < kMaxLinks)
            dialled[size_t(p)] = d.seat;
        else if (p >= 0)
            transport.disconnect(p);
    }
}

// A seat's buttons from a peer allowed to send them, the peer's acknowledgements, and how
// far ahead of the peer this machine runs. True when frames new to this machine came.
bool NetPeer::takeInputs(Remote& r, const InputsMessage& in)
{
    int knownBefore = rollback->lastKnownFrame(in.seat);
    for (int i = 0; i < in.count; ++i)
        if (!rollback->addRemoteInput(in.seat, int(in.firstFrame) + i, in.buttons[i])) {
            dropped.refusedInputs++;
            break;
        }
    for (int s = 0; s < std::min<int>(in.ackCount, start.seats); ++s)
        if (in.ack[s] != kNoFrame)
            r.acked[size_t(s)] = std::max(r.acked[size_t(s)], int(in.ack[s]));
    // What the host holds of the other joining machines' buttons is final here: what only
    // came directly may still be cut by a leaving the host decides.
    if (!cfg.host && !r.direct)
        for (int s = 1; s < start.seats; ++s)
            if (s != seat)
                rollback->limitConfirmation(s, s < in.ackCount && in.ack[s] != kNoFrame ? int(in.ack[s]) : -1);
    if (start.tickMs != 0) {
        double remoteNow = double(in.senderFrame) + double(r.rttMs) / 2.0 / start.tickMs;
        r.advantage = r.advantage * 0.9 + (rollback->currentFrame() - remoteNow) * 0.1;
    }
    return rollback->lastKnownFrame(in.seat) > knownBefore;
}

void NetPeer::handleHost(int peer, Remote& r, const Message& m)
{
    uint32_t now = transport.nowMs();
    switch (m.type) {
    case MessageType::Hello: {
        if (r.welcomed) {
            dropped.unexpected++;
            return;
        }
        outgoing = Message{};
        outgoing.type = MessageType::Refuse;
        int taken = 1;
        for (const Remote& o : remotes)
            taken += (o.connected && o.welcomed) ? 1 : 0;
        bool refuse = true;
        if (current != PeerState::Lobby) {
            outgoing.refuse.reason = RefuseReason::Refused;
        } else if (m.hello.gameVersion.view() != cfg.gameVersion) {
            outgoing.refuse.reason = RefuseReason::OtherVersion;
            outgoing.refuse.detail.set(cfg.gameVersion);
        } else if (taken >= std::clamp(cfg.maxSeats, 1, kMaxSeats)) {
            outgoing.refuse.reason = RefuseReason::Full;
        } else {
            // Every model file of the host, with the same bytes; the first that differs is named.
            for (int i = 0; i < cfg.modelCount && outgoing.refuse.detail.length == 0; ++i) {
                bool same = false;
                for (int j = 0; j < m.hello.modelCount; ++j)
                    if (m.hello.models[j].name == cfg.models[i].name)
                        same = m.hello.models[j].hash == cfg.models[i].hash;
                if (!same)
                    outgoing.refuse.detail = cfg.models[i].name;
            }
            outgoing.refuse.reason = RefuseReason::OtherModels;
            refuse = outgoing.refuse.detail.length != 0;
        }
        if (refuse) {
            logLine("network: refused a player: %s", refuseReasonText(outgoing.refuse.reason));
            sendMessage(peer, Channel::Session, outgoing);
            transport.flush();
            // The refusal goes out before the connection ends (ENet sends queued reliable
            // data before it disconnects gracefully).
            transport.disconnect(peer);
            r.connected = false;
            return;
        }
        // The lowest free seat.
        int free = 1;
        for (; free < kMaxSeats; ++free)
            if (!remoteOfSeat(free) || remoteOfSeat(free) == &r)
                break;
        r.seat = free;
        r.welcomed = true;
        r.name = m.hello.playerName;
        r.directPort = m.hello.directPort;
        outgoing = Message{};
        outgoing.type = MessageType::Welcome;
        outgoing.welcome.seat = uint8_t(free);
        sendMessage(peer, Channel::Session, outgoing);
        broadcastLobby();
        return;
    }
    case MessageType::Inputs: {
        if (!r.welcomed || current != PeerState::Racing || !rollback) {
            dropped.unexpected++;
            return;
        }
        const InputsMessage& in = m.inputs;
        if (in.seat != r.seat) {
            dropped.foreignSeat++;
            dropLog.line(now, "network: seat %d sent buttons of seat %d, dropped", r.seat, int(in.seat));
            return;
        }
        // New buttons go on to the other machines now, not at this machine's next frame.
        if (takeInputs(r, in))
            relayPending |= 1u << r.seat;
        return;
    }
    case MessageType::Checksum:
        if (!r.welcomed || !rollback) {
            dropped.unexpected++;
            return;
        }
        if (m.checksum.seat != r.seat) {
            dropped.foreignSeat++;
            return;
        }
        rollback->addRemoteChecksum(r.seat, int(m.checksum.frame), m.checksum.sum);
        return;
    case MessageType::Leave:
        if (m.leave.seat != r.seat) {
            dropped.foreignSeat++;
            return;
        }
        if (ending >= 0 && m.leave.fromFrame == uint32_t(ending)) {
            r.finished = true;  // played to the end: nothing more to send it
            return;
        }
        onDisconnected(peer, "left");
        return;
    default:
        dropped.unexpected++;
        return;
    }
}

void NetPeer::handleClient(Remote& r, const Message& m)
{
    uint32_t now = transport.nowMs();
    switch (m.type) {
    case MessageType::Welcome:
        if (current != PeerState::Connecting && current != PeerState::Lobby) {
            dropped.unexpected++;
            return;
        }
        if (m.welcome.seat == 0) {
            dropped.foreignSeat++;  // seat 0 is the host's
            return;
        }
        seat = m.welcome.seat;
        current = PeerState::Lobby;
        return;
    case MessageType::Refuse: {
        if (current != PeerState::Connecting) {
            dropped.unexpected++;
            return;
        }
        std::string why = std::string("the host refused: ") + refuseReasonText(m.refuse.reason);
        if (m.refuse.detail.length != 0)
            why += std::string(" (") + std::string(m.refuse.detail.view()) + ")";
        fail(why);
        return;
    }
    case MessageType::Lobby:
        if (current != PeerState::Lobby) {
            dropped.unexpected++;
            return;
        }
        lobbyState = m.lobby;
        return;
    case MessageType::Peers:
        if (current != PeerState::Lobby) {
            dropped.unexpected++;
            return;
        }
        directPeers = m.peers;
        havePeers = true;
        for (int p = 0; p < kMaxLinks; ++p) {
            Remote& o = remotes[size_t(p)];
            if (o.connected && o.direct && !o.proven && earlyLinks[size_t(p)].seat != 0)
                checkLink(p, o, earlyLinks[size_t(p)]);
        }
        return;
    case MessageType::Start: {
        if (current != PeerState::Lobby || m.start.seats <= seat) {
            dropped.unexpected++;
            return;
        }
        start = m.start;
        if (cfg.beforeStart)
            cfg.beforeStart(start, seat);
        SessionConfig c;
        c.seats = start.seats;
        c.localSeat = seat;
        c.inputDelay = start.inputDelay;
        rollback = std::make_unique<RollbackSession>(game, c);
        current = PeerState::Racing;
        // The host's time of the first frame, on this machine's clock (at once if that has
        // passed: a start ENet had to send again; the time sync then catches up).
        beginAt = r.surestRtt == UINT32_MAX ? now : uint32_t(int64_t(start.beginAtMs) - r.clockOffset);
        if (int32_t(beginAt - now) < 0 || int32_t(beginAt - now) > 5000)
            beginAt = now;
        dialPeers();
        return;
    }
    case MessageType::Inputs: {
        if (current != PeerState::Racing || !rollback) {
            dropped.unexpected++;
            return;
        }
        const InputsMessage& in = m.inputs;
        // The host passes on every seat's buttons but this machine's own.
        if (in.seat == seat || in.seat >= start.seats) {
            dropped.foreignSeat++;
            dropLog.line(now, "network: the host sent buttons of seat %d, dropped", int(in.seat));
            return;
        }
        takeInputs(r, in);
        return;
    }
    case MessageType::Checksum:
        if (!rollback || m.checksum.seat != 0) {
            dropped.foreignSeat++;
            return;
        }
        rollback->addRemoteChecksum(0, int(m.checksum.frame), m.checksum.sum);
        return;
    case MessageType::Leave:
        if (m.leave.seat == 0) {
            if (m.leave.fromFrame == kNoFrame) {
                fail("the host left");
            } else if (ending < 0) {
                ending = int(m.leave.fromFrame);
                if (current == PeerState::Lobby)
                    current = PeerState::Ended;
            }
            return;
        }
        if (!rollback || m.leave.seat == seat || m.leave.fromFrame == kNoFrame) {
            dropped.unexpected++;
            return;
        }
        if (!rollback->seatLeaves(m.leave.seat, int(m.leave.fromFrame)))
            dropped.unexpected++;
        for (int p = 0; p < kMaxLinks; ++p)
            if (remotes[size_t(p)].connected && remotes[size_t(p)].direct && remotes[size_t(p)].seat == m.leave.seat)
                onDisconnected(p, "the player left");
        return;
    default:
        dropped.unexpected++;
        return;
    }
}

bool NetPeer::startRace(uint8_t inputDelay, uint16_t tickMs, const uint8_t (&options)[kOptionsBytes],
                        uint8_t computerBikes, uint8_t computerLevel)
{
    if (!cfg.host || current != PeerState::Lobby)
        return false;
    // Seats without a gap, in the order taken: a player who left the lobby leaves none.
    int next = 1;
    for (int s = 1; s < kMaxSeats; ++s)
        for (Remote& r : remotes)
            if (r.connected && r.welcomed && r.seat == s)
                r.seat = next++;
    start = StartMessage{};
    start.seats = uint8_t(next);
    start.inputDelay = uint8_t(std::min<int>(inputDelay, kMaxInputDelay));
    start.tickMs = std::clamp<uint16_t>(tickMs, 1, 1000);
    std::memcpy(start.options, options, kOptionsBytes);
    start.computerBikes = uint8_t(std::min<int>(computerBikes, kMaxSeats - next));
    start.computerLevel = std::min(computerLevel, kMaxComputerLevel);
    // Every machine begins the first frame at once: the start must reach the slowest, once
    // again if ENet has to send it twice, and each must have set its race up (a quarter
    // second is plenty on a slow machine).
    uint32_t slowest = 0;
    for (const Remote& r : remotes)
        if (r.connected && r.welcomed)
            slowest = std::max(slowest, r.rttMs);
    start.beginAtMs = transport.nowMs() + std::clamp<uint32_t>(2 * slowest + 250, 250, 3000);
    for (int i = 1; i < kMaxSeats; ++i)
        for (int j = i + 1; j < kMaxSeats; ++j)
            pairToken[i][j] = pairToken[j][i] = nextToken(tokenState);
    for (int p = 0; p < kMaxLinks; ++p) {
        Remote& r = remotes[size_t(p)];
        if (!r.connected || !r.welcomed)
            continue;
        outgoing = Message{};
        outgoing.type = MessageType::Welcome;
        outgoing.welcome.seat = uint8_t(r.seat);
        sendMessage(p, Channel::Session, outgoing);
        // Where the other joining machines are, as this one sees them, and each pair's token.
        outgoing = Message{};
        outgoing.type = MessageType::Peers;
        for (int q = 0; q < kMaxLinks; ++q) {
            const Remote& o = remotes[size_t(q)];
            Address at;
            if (q == p || !o.connected || !o.welcomed || !transport.peerAddress(q, at))
                continue;
            DirectPeer& d = outgoing.peers.peers[outgoing.peers.count++];
            d.seat = uint8_t(o.seat);
            d.ipv4 = at.ipv4;
            d.port = o.directPort;
            d.token = pairToken[r.seat][o.seat];
        }
        sendMessage(p, Channel::Session, outgoing);
        outgoing = Message{};
        outgoing.type = MessageType::Start;
        outgoing.start = start;
        sendMessage(p, Channel::Session, outgoing);
    }
    if (cfg.beforeStart)
        cfg.beforeStart(start, 0);
    SessionConfig c;
    c.seats = start.seats;
    c.localSeat = 0;
    c.inputDelay = start.inputDelay;
    rollback = std::make_unique<RollbackSession>(game, c);
    current = PeerState::Racing;
    beginAt = start.beginAtMs;
    transport.flush();
    return true;
}

bool NetPeer::endAt(int frame)
{
    if (!cfg.host || frame < 0 || ending >= 0)
        return false;
    ending = frame;
    outgoing = Message{};
    outgoing.type = MessageType::Leave;
    outgoing.leave.seat = 0;
    outgoing.leave.fromFrame = uint32_t(frame);
    for (int p = 0; p < kMaxLinks; ++p)
        if (remotes[size_t(p)].connected && remotes[size_t(p)].welcomed)
            sendMessage(p, Channel::Session, outgoing);
    if (current == PeerState::Lobby)
        current = PeerState::Ended;
    return true;
}

void NetPeer::leave()
{
    outgoing = Message{};
    outgoing.type = MessageType::Leave;
    outgoing.leave.seat = uint8_t(seat);
    outgoing.leave.fromFrame = kNoFrame;
    for (int p = 0; p < kMaxLinks; ++p)
        if (remotes[size_t(p)].connected) {
            if (!remotes[size_t(p)].direct)
                sendMessage(p, Channel::Session, outgoing);
            remotes[size_t(p)].connected = false;
        }
    transport.flush();
    for (int p = 0; p < kMaxLinks; ++p)
        transport.disconnect(p);
    if (current != PeerState::Failed)
        current = PeerState::Ended;
}

// The end is reached when this machine has confirmed every frame before the end. A
// joining machine then tells the host (reliably), and the host ends once every machine
// still there has told it so: until then it passes the last buttons on.
void NetPeer::checkEnd()
{
    if (current != PeerState::Racing || ending < 0 || !rollback)
        return;
    rollback->settle();
    if (rollback->confirmedFrame() < ending - 1 || rollback->currentFrame() < ending)
        return;
    if (cfg.host) {
        for (const Remote& r : remotes)
            if (r.connected && r.welcomed && !r.finished)
                return;
    } else {
        outgoing = Message{};
        outgoing.type = MessageType::Leave;
        outgoing.leave.seat = uint8_t(seat);
        outgoing.leave.fromFrame = uint32_t(ending);
        if (remotes[size_t(cfg.hostPeer)].connected)
            sendMessage(cfg.hostPeer, Channel::Session, outgoing);
        transport.flush();
    }
    current = PeerState::Ended;
}

// The buttons of one seat the peer lacks (every frame after the last it acknowledged), with
// this machine's acknowledgements of every seat.
void NetPeer::sendSeat(int p, const Remote& r, int s)
{
    int last = rollback->lastKnownFrame(s);
    if (ending >= 0)
        last = std::min(last, ending - 1 + kMaxInputDelay);
    if (last < 0)
        return;
    // From the first frame the peer lacks, as far back as the session still holds: a peer
    // that has acknowledged nothing for longer (a direct link made late, a long stall) gets
    // the frames there are, and has the older ones from the host or had them already.
    int first = std::max({r.acked[size_t(s)] + 1, last - kMaxInputsPerMessage + 1, last - kRingFrames + 1});
    first = std::min(first, last);  // nothing new: repeat the last, for the acknowledgements
    outgoing.type = MessageType::Inputs;
    InputsMessage& in = outgoing.inputs;
    in.seat = uint8_t(s);
    in.firstFrame = uint32_t(first);
    in.count = 0;
    for (int f = first; f <= last; ++f) {
        Buttons b = 0;
        if (!rollback->knownInput(s, f, b))
            break;
        in.buttons[in.count++] = b & kButtonMask;
    }
    if (in.count == 0)
        return;
    in.senderFrame = uint32_t(rollback->currentFrame());
    in.ackCount = uint8_t(start.seats);
    for (int a = 0; a < start.seats; ++a) {
        int k = rollback->lastKnownFrame(a);
        in.ack[a] = k < 0 ? kNoFrame : uint32_t(k);
    }
    sendMessage(p, inputsChannel(s), outgoing);
}

// A joining machine sends its own seat only; the host every seat but the receiver's.
void NetPeer::sendInputs(uint32_t seatMask)
{
    if (!rollback)
        return;
    for (int p = 0; p < kMaxLinks; ++p) {
        const Remote& r = remotes[size_t(p)];
        if (!speaksFor(p, r))
            continue;
        for (int s = 0; s < start.seats; ++s)
            if ((seatMask & (1u << s)) != 0 && (cfg.host ? s != r.seat : s == seat))
                sendSeat(p, r, s);
    }
}

void NetPeer::sendChecksums()
{
    int frame;
    Checksum sum;
    while (rollback && rollback->takeChecksumToSend(frame, sum)) {
        outgoing = Message{};
        outgoing.type = MessageType::Checksum;
        outgoing.checksum.seat = uint8_t(seat);
        outgoing.checksum.frame = uint32_t(frame);
        outgoing.checksum.sum = sum;
        for (int p = 0; p < kMaxLinks; ++p)
            if (speaksFor(p, remotes[size_t(p)]) && !remotes[size_t(p)].direct)
                sendMessage(p, Channel::Session, outgoing);
    }
}

NetPeer::Step NetPeer::advanceFrame(Buttons local)
{
    if (current != PeerState::Racing || !rollback)
        return Step::NotRacing;
    if (!begun) {
        if (int32_t(transport.nowMs() - beginAt) < 0)
            return Step::Starting;
        begun = true;
    }
    Step step = Step::NotRacing;
    if (ending < 0 || rollback->currentFrame() < ending) {
        // Ahead of the slowest peer by more than a frame: hold one, so that both sides
        // predict about as far and neither does all the rolling back.
        if (cfg.timeSync && framesAhead() > 1.0) {
            holds++;
            for (Remote& r : remotes)
                r.advantage -= 1.0;
            step = Step::TimeSync;
        } else {
            step = rollback->advance(local) ? Step::Ran : Step::Waiting;
        }
    }
    sendInputs(0xF);
    sendChecksums();
    checkEnd();
    transport.flush();
    return step;
}

} // namespace net
