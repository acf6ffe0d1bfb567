// libFuzzer target for the replay reader. Any bytes are read step by step; whatever is
// accepted is then played back through the journal's replay source frame by frame, as a
// game reads it; a file read once must read the same again. Run with -rss_limit_mb=128:
// the reader holds one step, whatever the file.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/replayfile.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint32_t>> frameTicks;
    std::string error;
    ReplayHeader header;
    std::vector<uint32_t> setup;
    bool refused = false; // a step after the frames handed out was refused
    {
        MemoryReplaySource source(data, size);
        ReplayReader reader(source);
        if (reader.readHeader(header, error) != ReplayStatus::Ok || reader.readSetup(setup, error) != ReplayStatus::Ok) {
            if (error.empty()) std::abort(); // a refusal always says why
            return 0;
        }
        if (header.models.empty()) std::abort();
        for (const ModelHash& m : header.models)
            if (m.name.find('/') != std::string::npos || m.name[0] == '.') std::abort();
        ReplayStep step;
        for (;;) {
            const ReplayStatus status = reader.next(step, error);
            if (status != ReplayStatus::Ok) {
                if (error.empty()) std::abort();
                refused = true;
                break;
            }
            if (step.events.size() > MAX_EVENTS_PER_FRAME || step.ticks.size() > MAX_TICKS_PER_FRAME ||
                step.checks.size() > 2)
                std::abort();
            if (step.kind != ReplayStep::Frame) break;
            frameTicks.push_back(step.ticks);
        }
        // Bounded by the bytes; a frame whose following items were refused is not handed out.
        if (frameTicks.size() > size || reader.frames() - frameTicks.size() > (refused ? 1u : 0u)) std::abort();
    }
    MemoryReplaySource source(data, size);
    ReplayReader reader(source);
    if (reader.readHeader(header, error) != ReplayStatus::Ok) std::abort(); // read the same again
    ReplayPlayer player(reader, header);
    if (!player.start(error)) {
        if (!refused || !frameTicks.empty()) std::abort(); // only a first step refused stops it
        return 0;
    }
    uint64_t sum = 0;
    const QueueEvent take = [&sum](MessageType type, uintptr_t w, intptr_t l) { sum += type + w + static_cast<uintptr_t>(l); };
    for (uint32_t tick : setup)
        if (player.nextTick() != tick) std::abort();
    for (long frame = 1; frame <= long(frameTicks.size()); ++frame) {
        player.eventsFor(frame, take);
        const std::vector<uint32_t>& ticks = frameTicks[size_t(frame - 1)];
        if (!ticks.empty() && player.plannedTick(frame) != ticks.front()) std::abort();
        for (uint32_t tick : ticks)
            if (player.nextTick() != tick) std::abort();
        player.presented(frame);
        ReplayCheck check;
        while (player.takeCheck(uint32_t(frame), check)) sum += check.groups[0];
    }
    if (player.tickMismatch() != 0 || player.framesPlayed() != long(frameTicks.size()) || !player.atEnd()) std::abort();
    static volatile uint64_t sink;
    sink = sum;
    return 0;
}
