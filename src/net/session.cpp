#include "net/session.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace net {

bool validConfig(const SessionConfig& c)
{
    return c.seats >= 1 && c.seats <= kMaxSeats && c.localSeat >= 0 && c.localSeat < c.seats
        && c.inputDelay >= 0 && c.inputDelay <= kMaxInputDelay && c.predictionWindow >= 1
        && c.predictionWindow <= kMaxPredictionWindow && c.checksumInterval >= 1;
}

double RollbackStats::meanDepth() const
{
    if (rollbacks == 0)
        return 0.0;
    uint64_t sum = 0;
    for (size_t d = 0; d < depth.size(); ++d)
        sum += d * depth[d];
    return double(sum) / double(rollbacks);
}

int RollbackStats::percentileDepth(double fraction) const
{
    if (rollbacks == 0)
        return 0;
    uint64_t wanted = uint64_t(std::ceil(fraction * double(rollbacks)));
    wanted = std::clamp<uint64_t>(wanted, 1, rollbacks);
    uint64_t seen = 0;
    for (size_t d = 0; d < depth.size(); ++d) {
        seen += depth[d];
        if (seen >= wanted)
            return int(d);
    }
    return int(depth.size() - 1);
}

int RollbackStats::maxDepth() const
{
    for (size_t d = depth.size(); d-- > 0;)
        if (depth[d] != 0)
            return int(d);
    return 0;
}

void RollbackStats::add(const RollbackStats& o)
{
    framesRun += o.framesRun;
    framesResimulated += o.framesResimulated;
    rollbacks += o.rollbacks;
    waits += o.waits;
    for (size_t d = 0; d < depth.size(); ++d)
        depth[d] += o.depth[d];
}

RollbackSession::RollbackSession(RollbackGame& game, const SessionConfig& config)
    : game(game), cfg(config)
{
    if (!validConfig(cfg))
        cfg = SessionConfig{};
    known.fill(-1);
    finalUpTo.fill(INT_MAX);
    leftFrom.fill(INT_MAX);
    for (FrameSlot& slot : frames)
        slot.before.reserve(game.snapshotBytes());
    // The local seat's first frames pass before its first buttons can apply.
    for (int f = 0; f < cfg.inputDelay; ++f)
        inputs[cfg.localSeat][f % kRingFrames] = {0, f};
    known[cfg.localSeat] = cfg.inputDelay - 1;
}

Buttons RollbackSession::inputFor(int seat, int at) const
{
    if (at >= leftFrom[seat])
        return kSeatLeft;
    if (at <= known[seat]) {
        const InputSlot& slot = inputs[seat][at % kRingFrames];
        if (slot.frame == at)
            return slot.buttons;
    }
    // Not here yet: the buttons last known are still held.
    if (known[seat] >= 0)
        return inputs[seat][known[seat] % kRingFrames].buttons;
    return 0;
}

bool RollbackSession::knownInput(int seat, int at, Buttons& out) const
{
    if (seat < 0 || seat >= cfg.seats || at < 0 || at > known[seat])
        return false;
    const InputSlot& slot = inputs[seat][at % kRingFrames];
    if (slot.frame != at)
        return false;
    out = slot.buttons;
    return true;
}

int RollbackSession::minRemoteKnown() const
{
    int least = INT_MAX;
    for (int s = 0; s < cfg.seats; ++s) {
        if (s == cfg.localSeat)
            continue;
        // A seat that left is known for ever once its last frames before leaving are.
        if (leftFrom[s] != INT_MAX && known[s] >= leftFrom[s] - 1)
            continue;
        least = std::min(least, known[s]);
    }
    return least;
}

int RollbackSession::minRemoteFinal() const
{
    int least = INT_MAX;
    for (int s = 0; s < cfg.seats; ++s)
        if (s != cfg.localSeat && leftFrom[s] == INT_MAX)
            least = std::min(least, finalUpTo[s]);
    return least;
}

void RollbackSession::runFrame(int at, bool save)
{
    FrameSlot& slot = frames[at % kRingFrames];
    if (save)
        game.saveState(slot.before);
    slot.frame = at;
    for (int s = 0; s < kMaxSeats; ++s)
        slot.used.seat[s] = s < cfg.seats ? inputFor(s, at) : 0;
    game.advanceFrame(slot.used);
    slot.hasSum = isChecksumFrame(at);
    if (slot.hasSum)
        slot.after = game.checksum();
}

void RollbackSession::rollBack()
{
    if (firstWrong < 0)
        return;
    int from = firstWrong;
    firstWrong = -1;
    const FrameSlot& start = frames[from % kRingFrames];
    if (start.frame != from)
        return;  // cannot happen while the window holds: the slot is kept until confirmed
    start.before.rewind();
    game.loadState(start.before);
    for (int at = from; at < frame; ++at)
        runFrame(at, at != from);
    int depth = frame - from;
    statistics.rollbacks++;
    statistics.framesResimulated += uint64_t(depth);
    statistics.depth[std::min(depth, kRingFrames)]++;
}

void RollbackSession::updateConfirmed()
{
    int least = std::min({minRemoteKnown(), minRemoteFinal(), known[cfg.localSeat]});
    int now = std::min(least, frame - 1);
    if (firstWrong >= 0)
        now = std::min(now, firstWrong - 1);
    for (int at = confirmed + 1; at <= now; ++at) {
        const FrameSlot& slot = frames[at % kRingFrames];
        if (slot.frame == at && slot.hasSum)
            publishChecksum(at, slot.after);
    }
    confirmed = std::max(confirmed, now);
}

void RollbackSession::settle()
{
    rollBack();
    updateConfirmed();
}

bool RollbackSession::advance(Buttons local)
{
    rollBack();
    updateConfirmed();
    int least = minRemoteKnown();
    if (least != INT_MAX && frame - least > cfg.predictionWindow) {
        statistics.waits++;
        return false;
    }
    int at = frame + cfg.inputDelay;
    inputs[cfg.localSeat][at % kRingFrames] = {Buttons(local & kButtonMask), at};
    known[cfg.localSeat] = at;
    runFrame(frame, true);
    frame++;
    statistics.framesRun++;
    updateConfirmed();
    return true;
}

bool RollbackSession::addRemoteInput(int seat, int at, Buttons buttons)
{
    if (seat < 0 || seat >= cfg.seats || seat == cfg.localSeat || at < 0)
        return false;
    if ((buttons & ~kButtonMask) != 0 || at >= leftFrom[seat])
        return false;
    if (at <= known[seat])
        return true;  // already here: a repeat of an unacknowledged frame
    if (at != known[seat] + 1)
        return false;
    // The ring slot it takes must no longer be needed by a rollback.
    if (at >= frame + kRingFrames - kMaxPredictionWindow - 2)
        return false;
    inputs[seat][at % kRingFrames] = {buttons, at};
    known[seat] = at;
    if (at < frame) {
        const FrameSlot& slot = frames[at % kRingFrames];
        if (slot.frame == at && slot.used.seat[seat] != buttons)
            firstWrong = firstWrong < 0 ? at : std::min(firstWrong, at);
    }
    updateConfirmed();
    return true;
}

bool RollbackSession::seatLeaves(int seat, int fromFrame)
{
    if (seat < 0 || seat >= cfg.seats || seat == cfg.localSeat || leftFrom[seat] != INT_MAX)
        return false;
    if (fromFrame <= confirmed || fromFrame < 0)
        return false;
    leftFrom[seat] = fromFrame;
    // Buttons this machine has beyond the host's never were, for anyone.
    known[seat] = std::min(known[seat], fromFrame - 1);
    if (fromFrame < frame)
        firstWrong = firstWrong < 0 ? fromFrame : std::min(firstWrong, fromFrame);
    updateConfirmed();
    return true;
}

void RollbackSession::limitConfirmation(int seat, int lastFrame)
{
    if (seat >= 0 && seat < cfg.seats && seat != cfg.localSeat)
        finalUpTo[seat] = finalUpTo[seat] == INT_MAX ? lastFrame : std::max(finalUpTo[seat], lastFrame);
    updateConfirmed();
}

bool RollbackSession::confirmedChecksum(int at, Checksum& out) const
{
    if (at < 0 || at > confirmed || !isChecksumFrame(at))
        return false;
    const ChecksumSlot& slot = localSums[(at / cfg.checksumInterval) % kChecksumSlots];
    if (slot.frame != at)
        return false;
    out = slot.sum;
    return true;
}

void RollbackSession::publishChecksum(int at, const Checksum& sum)
{
    int slot = (at / cfg.checksumInterval) % kChecksumSlots;
    localSums[slot] = {sum, at};
    outbox[(outboxHead + outboxCount) % kChecksumSlots] = {sum, at};
    if (outboxCount < kChecksumSlots)
        outboxCount++;
    else
        outboxHead = (outboxHead + 1) % kChecksumSlots;  // the oldest was never taken
    for (int s = 0; s < cfg.seats; ++s) {
        ChecksumSlot& theirs = remoteSums[s][slot];
        if (theirs.frame == at) {
            compare(s, at, sum, theirs.sum);
            theirs.frame = -1;
        }
    }
}

void RollbackSession::compare(int seat, int at, const Checksum& ours, const Checksum& theirs)
{
    compared++;
    uint32_t groups = ours.differingGroups(theirs);
    if (groups != 0 && firstDesync.frame < 0)
        firstDesync = {at, seat, groups};
}

bool RollbackSession::takeChecksumToSend(int& at, Checksum& out)
{
    if (outboxCount == 0)
        return false;
    at = outbox[outboxHead].frame;
    out = outbox[outboxHead].sum;
    outboxHead = (outboxHead + 1) % kChecksumSlots;
    outboxCount--;
    return true;
}

bool RollbackSession::addRemoteChecksum(int seat, int at, const Checksum& sum)
{
    if (seat < 0 || seat >= cfg.seats || seat == cfg.localSeat || at < 0 || !isChecksumFrame(at))
        return false;
    // Only frames the slots can tell apart: a few exchanges either side of this machine's.
    int reach = cfg.checksumInterval * (kChecksumSlots / 2);
    if (at > confirmed + reach || at < confirmed - reach)
        return false;
    int slot = (at / cfg.checksumInterval) % kChecksumSlots;
    if (localSums[slot].frame == at) {
        compare(seat, at, localSums[slot].sum, sum);
        return true;
    }
    if (at <= confirmed)
        return false;  // ours of that frame is gone: too old to compare
    remoteSums[seat][slot] = {sum, at};
    return true;
}

SyncTest::SyncTest(RollbackGame& game, int distance)
    : game(game), distance(std::clamp(distance, 1, kRingFrames - 1))
{
    for (Slot& slot : slots)
        slot.before.reserve(game.snapshotBytes());
}

bool SyncTest::advance(const SeatInputs& in)
{
    if (first.frame >= 0)
        return false;
    Slot& slot = slots[frame % kRingFrames];
    game.saveState(slot.before);
    slot.inputs = in;
    game.advanceFrame(in);
    slot.after = game.checksum();
    frame++;
    int from = frame - distance;
    if (from < 0)
        return true;
    const Slot& start = slots[from % kRingFrames];
    start.before.rewind();
    game.loadState(start.before);
    for (int at = from; at < frame; ++at) {
        const Slot& again = slots[at % kRingFrames];
        game.advanceFrame(again.inputs);
        Checksum sum = game.checksum();
        checked++;
        if (!(sum == again.after)) {
            first = {at, -1, sum.differingGroups(again.after)};
            return false;
        }
    }
    return true;
}

} // namespace net
