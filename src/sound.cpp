#include "sound.h"

#include "log.h"
#include "sharedstate.h"

int soundReady = 0;
SoundSamples soundSamples;

namespace {

bool effectsHeld = false;
uint8_t effectsAskedWhileHeld = 0;

bool active() { return soundReady != 0 && sharedState.options.soundOn == 1 && !effectsHeld; }

} // namespace

void soundStart() {
    platform::Platform& system = platform::get();
    soundReady = system.soundInit(44100, 8) ? 1 : 0;
    if (soundReady) {
        setAppDir();
        soundSamples.recognizer = system.loadSample(fullPath("game_recognizer.ogg").c_str(), true);
        soundSamples.engine = system.loadSample(fullPath("game_engine.ogg").c_str(), true);
        soundSamples.crash = system.loadSample(fullPath("game_crash.ogg").c_str(), false);
    }
}

void holdEffects(bool held) { effectsHeld = held; }

uint8_t takeHeldEffects() {
    const uint8_t asked = effectsAskedWhileHeld;
    effectsAskedWhileHeld = 0;
    return asked;
}

void playHeldEffects(uint8_t effects) {
    if (effects & EffectEngineStop) stopEngine();
    if (effects & EffectMenuLoop) playMenuLoop();
    if (effects & EffectEngine) playEngine();
    if (effects & EffectCrash) playCrash();
}

void soundClose() {
    if (soundReady) platform::get().soundClose();
    soundReady = 0;
    soundSamples = SoundSamples();
}

void playMenuLoop() {
    if (effectsHeld) effectsAskedWhileHeld |= EffectMenuLoop;
    if (!active()) return;
    platform::get().stopSound(1);
    platform::get().playSound(0, soundSamples.recognizer);
}

void playEngine() {
    if (effectsHeld) effectsAskedWhileHeld |= EffectEngine;
    if (!active()) return;
    platform::get().stopSound(0);
    platform::get().playSound(1, soundSamples.engine);
}

void stopEngine() {
    if (effectsHeld) effectsAskedWhileHeld |= EffectEngineStop;
    if (!active()) return;
    platform::get().stopSound(1);
}

void playCrash() {
    if (effectsHeld) effectsAskedWhileHeld |= EffectCrash;
    if (!active()) return;
    platform::get().playSound(platform::CHANNEL_FREE, soundSamples.crash);
}

void stopAll() {
    platform::get().stopSound(0);
    platform::get().stopSound(1);
}

void pauseSound(bool on) {
    if (soundReady) platform::get().pauseSound(on);
}
