// The rollback session of one machine: its own seat's buttons apply after an input delay,
// the other seats' buttons are predicted (the last ones known, held) until they arrive;
// a prediction that turns out wrong loads the state saved before that frame and runs the
// game forward again. Everything it keeps is in rings sized once, so a frame allocates
// nothing. The session knows no transport: whoever owns it feeds it the other seats'
// buttons and checksums and sends what it produces.
#pragma once
#include <array>
#include <cstdint>

#include "net/rollbackgame.h"

namespace net {

// How many frames of states, buttons and checksums the rings hold; more than the
// prediction window plus the largest input delay plus the frames a peer may send ahead.
constexpr int kRingFrames = 32;
constexpr int kMaxInputDelay = 4;
constexpr int kMaxPredictionWindow = 8;
// A seat whose player has left: set in its buttons from the frame it left, on every
// machine alike, so the race can hand the bike to the autopilot in the same frame.
constexpr Buttons kSeatLeft = 0x80;

struct SessionConfig {
    int seats = 2;               // 1 to kMaxSeats
    int localSeat = 0;
    int inputDelay = 2;          // 0 to kMaxInputDelay frames
    int predictionWindow = kMaxPredictionWindow;  // 1 to kMaxPredictionWindow
    int checksumInterval = 60;   // confirmed frames between two checksum exchanges
};
bool validConfig(const SessionConfig& config);

// How deep the rollbacks went: one count per rollback, by the number of frames run again.
struct RollbackStats {
    uint64_t framesRun = 0;          // frames advanced (not counting those run again)
    uint64_t framesResimulated = 0;
    uint64_t rollbacks = 0;
    uint64_t waits = 0;              // advances refused because a peer was too far behind
    std::array<uint64_t, kRingFrames + 1> depth{};  // depth[d]: rollbacks of d frames

    double meanDepth() const;
    // The smallest depth at or under which the given fraction of rollbacks lie (0 without any).
    int percentileDepth(double fraction) const;
    int maxDepth() const;
    void add(const RollbackStats& other);
};

struct Desync {
    int frame = -1;        // the frame whose state differs (0 is the first frame run)
    int seat = -1;         // the seat that sent the other checksum
    uint32_t groups = 0;   // bit g: check group g differs
};

class RollbackSession {
public:
    // Frames 0 to inputDelay − 1 of the local seat hold no buttons.
    RollbackSession(RollbackGame& game, const SessionConfig& config);

    // Runs the next frame with the local seat's buttons of now (applied inputDelay frames
    // later). First runs again whatever a late arrival proved mispredicted. False when a
    // peer is a whole prediction window behind: the frame is not run, the buttons are not
    // taken, and the wait is counted.
    bool advance(Buttons local);
    // Runs again what late arrivals proved mispredicted, without a new frame: for the end
    // of a session, when no frame follows.
    void settle();

    // The buttons of another seat for one frame, as that seat's machine sent them. Frames
    // arrive in order per seat; one already known is ignored (true), one past a gap or
    // too far ahead of this machine is refused (false), as is the local seat or a seat
    // that left. Buttons beyond the seven and the left flag are refused too.
    bool addRemoteInput(int seat, int frame, Buttons buttons);
    // The seat's player has left: from fromFrame on, every frame of that seat holds
    // kSeatLeft. Buttons of the seat already received for those frames (from the player's
    // own machine, which the host may not have heard) are forgotten and the frames run
    // again; a frame already confirmed cannot be taken back (false).
    bool seatLeaves(int seat, int fromFrame);
    // Frames of the seat after lastFrame are not final here even once their buttons are:
    // whoever decides from which frame a player is gone has not seen them yet. For a
    // joining machine that hears another one directly, lastFrame is what the host has.
    void limitConfirmation(int seat, int lastFrame);

    // The frame advance runs next (frames 0 to currentFrame − 1 have run).
    int currentFrame() const { return frame; }
    // The last frame whose every seat's buttons are known and whose state was computed with
    // them, so nothing will roll it back; −1 before any. Sounds and effects follow it.
    int confirmedFrame() const { return confirmed; }
    // The last frame of the seat's buttons known here without a gap (−1: none yet).
    int lastKnownFrame(int seat) const { return known[seat]; }
    // A known frame of a seat's buttons (for sending the local seat's); false when the
    // rings no longer or not yet hold it.
    bool knownInput(int seat, int frame, Buttons& out) const;
    const SessionConfig& config() const { return cfg; }

    // Checksums of confirmed frames every checksumInterval frames, to send to the peers.
    bool takeChecksumToSend(int& frame, Checksum& out);
    // A peer's checksum of a frame; compared now or once this machine confirms the frame.
    // False when it cannot be one (not a checksum frame, or too far from this machine's).
    bool addRemoteChecksum(int seat, int frame, const Checksum& sum);
    // This machine's checksum of a confirmed checksum frame, while the slots still hold it
    // (the last few checksum frames): what a recording of the confirmed frames checks.
    bool confirmedChecksum(int frame, Checksum& out) const;
    bool desynced() const { return firstDesync.frame >= 0; }
    const Desync& desync() const { return firstDesync; }
    int checksumsCompared() const { return compared; }

    const RollbackStats& stats() const { return statistics; }

private:
    struct FrameSlot {
        Snapshot before;             // the state before this frame ran
        SeatInputs used;             // the buttons it ran with, predicted or known
        Checksum after;              // the state after it, on checksum frames
        bool hasSum = false;
        int frame = -1;
    };
    struct InputSlot {
        Buttons buttons = 0;
        int frame = -1;
    };
    struct ChecksumSlot {
        Checksum sum;
        int frame = -1;
    };

    Buttons inputFor(int seat, int at) const;
    void runFrame(int at, bool save);
    void rollBack();
    void updateConfirmed();
    void publishChecksum(int at, const Checksum& sum);
    void compare(int seat, int at, const Checksum& ours, const Checksum& theirs);
    bool isChecksumFrame(int at) const { return (at + 1) % cfg.checksumInterval == 0; }
    int minRemoteKnown() const;
    int minRemoteFinal() const;

    RollbackGame& game;
    SessionConfig cfg;
    int frame = 0;
    int confirmed = -1;
    int firstWrong = -1;             // the earliest frame run with a wrong prediction
    std::array<int, kMaxSeats> known{};
    std::array<int, kMaxSeats> finalUpTo{};  // see limitConfirmation
    std::array<std::array<InputSlot, kRingFrames>, kMaxSeats> inputs{};
    std::array<int, kMaxSeats> leftFrom{};
    std::array<FrameSlot, kRingFrames> frames{};

    // Checksums: this machine's of recent checksum frames, peers' waiting for ours, and
    // ours waiting to be sent.
    static constexpr int kChecksumSlots = 8;
    std::array<ChecksumSlot, kChecksumSlots> localSums{};
    std::array<std::array<ChecksumSlot, kChecksumSlots>, kMaxSeats> remoteSums{};
    std::array<ChecksumSlot, kChecksumSlots> outbox{};
    int outboxHead = 0;
    int outboxCount = 0;
    int compared = 0;
    Desync firstDesync;

    RollbackStats statistics;
};

// Runs a game frame by frame and, after each frame, loads the state of `distance` frames
// before and runs them again with the same buttons, comparing the checksums: a game whose
// save, load or advance is not exact shows here, without any network.
class SyncTest {
public:
    SyncTest(RollbackGame& game, int distance);
    // One frame; false from the first mismatch on (see mismatch()).
    bool advance(const SeatInputs& inputs);
    int currentFrame() const { return frame; }
    const Desync& mismatch() const { return first; }
    uint64_t framesChecked() const { return checked; }

private:
    struct Slot {
        Snapshot before;
        SeatInputs inputs;
        Checksum after;
    };
    RollbackGame& game;
    int distance;
    int frame = 0;
    uint64_t checked = 0;
    Desync first;
    std::array<Slot, kRingFrames> slots{};
};

} // namespace net
