// libFuzzer target for the replay reader. Any bytes are parsed; whatever is accepted is
// then played back through the journal's replay source frame by frame, so every index the
// reader handed out is used; a file read once must read the same again.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/replayfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::ReplayData replay;
    std::string error;
    if (platform::parseReplay(data, size, replay, error) != platform::ReplayStatus::Ok) {
        if (error.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    if (replay.frames.size() > size || replay.checks.size() > size) std::abort(); // bounded by the bytes
    platform::ReplayPlayer player(replay);
    uint64_t sum = 0;
    const std::function<void(platform::MessageType, uintptr_t)> take = [&sum](platform::MessageType type, uintptr_t w) {
        sum += type + w;
    };
    for (uint32_t tick : replay.setupTicks) sum += tick + player.nextTick();
    for (long frame = 1; frame <= player.frameCount() + 1; ++frame) {
        player.eventsFor(frame, take);
        if (frame <= player.frameCount()) {
            for (uint32_t i = 0; i < replay.frames[size_t(frame - 1)].tickCount; ++i) sum += player.nextTick();
            sum += player.plannedTick(frame);
            player.presented(frame);
        }
    }
    if (player.tickMismatch() != 0) std::abort(); // reading exactly what was recorded never mismatches
    platform::ReplayData again;
    if (platform::parseReplay(data, size, again, error) != platform::ReplayStatus::Ok ||
        again.frames.size() != replay.frames.size() || again.ticks != replay.ticks)
        std::abort();
    static volatile uint64_t sink;
    sink = sum;
    return 0;
}
