#include "testbench/trace.h"

#include <cerrno>
#include <cstring>

#include "menu/menu.h"
#include "platform/platform.h"
#include "race.h"
#include "sharedstate.h"
#include "testbench/biketrace.h"

Trace::~Trace() {
    if (file) std::fclose(file);
}

bool Trace::open(const std::string& path) {
    this->path = path;
    file = std::fopen(path.c_str(), "w");
    return file != nullptr;
}

nlohmann::json Trace::frameState(long frame, SoundCallRecorder* sounds) {
    const SharedState& s = sharedState;
    nlohmann::json j;
    j["frame"] = frame;
    j["tick"] = platform::get().currentTick();
    j["inGame"] = s.inGame;
    j["anyKeySeen"] = s.anyKeySeen;
    j["buttonHeld"] = std::vector<int>(s.buttonHeld, s.buttonHeld + ButtonCount);
    j["buttonReleased"] = std::vector<int>(s.buttonReleased, s.buttonReleased + ButtonCount);
    j["scores"] = std::vector<int>(s.scores, s.scores + 4);
    j["playerAlive"] = s.playerAlive;
    j["raceStarted"] = s.raceStarted;
    j["frameTime"] = s.frameTime;
    j["frameStep"] = s.frameStep;
    j["soundOn"] = s.options.soundOn;
    j["detail"] = s.options.detail;
    j["opponentChoice"] = s.options.opponentChoice;
    j["speed"] = s.options.speed;
    j["screenWidth"] = s.screenWidth;
    j["screenHeight"] = s.screenHeight;
    if (const Menu* menu = s.menu) {
        j["screen"] = menu->screen;
        j["item"] = menu->item;
    }
    // Only once a race of several players is chosen, or being chosen: the one-player
    // game's traces stay as they were.
    if (s.players != 1 || s.versusOpponents != -1 || (s.menu && s.menu->screen == ScreenPlayers))
        j["versus"] = {{"players", s.players},
                       {"opponents", computerBikes(s.players, s.versusOpponents, s.options.opponentChoice)},
                       {"level", s.aiLevel}};
    if (const Race* race = s.race; race && race->player) {
        traceBikes(j, race->player, race->aiBikes, 3);
        if (race->humans > 1) tracePlayers(j, race->seats, race->humans, s.scores);
        j["opponentCount"] = race->opponentCount;
        j["scoredOpponents"] = race->scoredCount;
        if (race->killer != Race::NO_CRASH_THIS_FRAME) j["killer"] = race->killer;
    }
    j["sound"] = sounds ? sounds->take() : std::vector<std::string>();
    return j;
}

void Trace::writeFrame(long frame) {
    if (!file) return;
    const std::string line = frameState(frame, &sounds).dump();
    if (std::fputs(line.c_str(), file) < 0 || std::fputc('\n', file) == EOF || std::fflush(file) != 0) {
        writeError = errno ? errno : EIO;
        std::fclose(file);
        file = nullptr;
    }
}

bool Trace::close(std::string& error) {
    if (file && std::fclose(file) != 0 && writeError == 0) writeError = errno ? errno : EIO;
    file = nullptr;
    if (writeError == 0) return true;
    error = "could not write the trace " + path + ": " + std::strerror(writeError);
    return false;
}
