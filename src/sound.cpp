#include "sound.h"

#include <cstring>

#include "log.h"
#include "platform/platform.h"
#include "sharedstate.h"

int soundReady = 0;

namespace {

platform::SampleHandle recognizerSample = nullptr;
platform::SampleHandle engineSample = nullptr;
platform::SampleHandle crashSample = nullptr;
char* pathBuffer = nullptr;
std::vector<std::string> calls;
bool recordingCalls = false;

const char* soundPath(const char* fileName) {
    delete[] pathBuffer;
    pathBuffer = new char[APP_DIR_SIZE];
    const size_t dirLength = std::strlen(sharedState.appDirNarrow);
    const size_t nameLength = std::strlen(fileName);
    if (dirLength + nameLength >= APP_DIR_SIZE) {
        pathBuffer[0] = '\0';
    } else {
        std::memcpy(pathBuffer, sharedState.appDirNarrow, dirLength);
        std::memcpy(pathBuffer + dirLength, fileName, nameLength + 1);
    }
    return pathBuffer;
}

const char* sampleName(platform::SampleHandle sample) {
    if (sample && sample == recognizerSample) return "recognizer";
    if (sample && sample == engineSample) return "engine";
    if (sample && sample == crashSample) return "crash";
    return "none";
}

void playSound(int channel, platform::SampleHandle sample) {
    if (recordingCalls) calls.push_back(std::string("play ") + (channel < 0 ? "free" : std::to_string(channel)) + " " + sampleName(sample));
    platform::get().playSound(channel, sample);
}

void stopSound(int channel) {
    if (recordingCalls) calls.push_back("stop " + std::to_string(channel));
    platform::get().stopSound(channel);
}

bool active() { return soundReady != 0 && sharedState.soundOn == 1; }

} // namespace

void soundStart() { soundStartFrom(nullptr); }

void soundStartFrom(const char* executablePath) {
    platform::Platform& system = platform::get();
    // Only a trace drains the list; without one it would grow for as long as the game runs.
    recordingCalls = !system.options().traceFile.empty();
    soundReady = system.soundInit(44100, 8) ? 1 : 0;
    if (soundReady) {
        if (executablePath) setAppDirFrom(executablePath);
        else setAppDir();
        recognizerSample = system.loadSample(soundPath("game_recognizer.ogg"), true);
        engineSample = system.loadSample(soundPath("game_engine.ogg"), true);
        crashSample = system.loadSample(soundPath("game_crash.ogg"), false);
    }
}

void soundClose() {
    if (soundReady) platform::get().soundClose();
    soundReady = 0;
    recognizerSample = engineSample = crashSample = nullptr;
    delete[] pathBuffer;
    pathBuffer = nullptr;
}

void playMenuLoop() {
    if (!active()) return;
    stopSound(1);
    playSound(0, recognizerSample);
}

void playEngine() {
    if (!active()) return;
    stopSound(0);
    playSound(1, engineSample);
}

void stopEngine() {
    if (!active()) return;
    stopSound(1);
}

void playCrash() {
    if (!active()) return;
    playSound(platform::CHANNEL_FREE, crashSample);
}

void stopAll() {
    stopSound(0);
    stopSound(1);
}

void recordSoundCalls(bool on) {
    recordingCalls = on;
    if (!on) calls.clear();
}

std::vector<std::string> takeSoundCalls() {
    std::vector<std::string> taken;
    taken.swap(calls);
    return taken;
}
