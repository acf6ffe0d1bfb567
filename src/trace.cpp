#include "trace.h"

#include "menu/menu.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"
#include "sound.h"

Trace::~Trace() {
    if (file) std::fclose(file);
}

bool Trace::open(const std::string& path) {
    file = std::fopen(path.c_str(), "w");
    return file != nullptr;
}

nlohmann::json Trace::frameState(long frame) {
    const SharedState& s = sharedState;
    nlohmann::json j;
    j["frame"] = frame;
    j["tick"] = platform::get().tickCount();
    j["inGame"] = s.inGame;
    j["anyKeySeen"] = s.anyKeySeen;
    j["buttonHeld"] = std::vector<int>(s.buttonHeld, s.buttonHeld + ButtonCount);
    j["buttonReleased"] = std::vector<int>(s.buttonReleased, s.buttonReleased + ButtonCount);
    j["scores"] = std::vector<int>(s.scores, s.scores + 4);
    j["playerAlive"] = s.playerAlive;
    j["raceStarted"] = s.raceStarted;
    j["frameTime"] = s.frameTime;
    j["frameStep"] = s.frameStep;
    j["soundOn"] = s.soundOn;
    j["detail"] = s.detail;
    j["opponentChoice"] = s.opponentChoice;
    j["speed"] = s.speed;
    j["screenWidth"] = s.screenWidth;
    j["screenHeight"] = s.screenHeight;
    if (s.menu) s.menu->traceFields(j);
    if (s.race) s.race->traceFields(j);
    j["sound"] = takeSoundCalls();
    return j;
}

void Trace::writeFrame(long frame) {
    if (!file) return;
    const std::string line = frameState(frame).dump();
    std::fputs(line.c_str(), file);
    std::fputc('\n', file);
    std::fflush(file);
}
