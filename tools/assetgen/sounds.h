// The three sound effects, synthesised and written as Ogg Vorbis (44.1 kHz, mono).
#pragma once

#include <string>
#include <vector>

constexpr int sampleRate = 44100;

std::vector<float> recognizerSound();  // loop: low pulsing hum, 3 s
std::vector<float> engineSound();      // loop: engine drone, 1 s
std::vector<float> crashSound();       // one shot: noise burst with decay, about 1 s

// `serial` becomes the Ogg stream's serial number; with the same samples the file is the
// same byte for byte.
bool writeOgg(const std::string& path, const std::vector<float>& samples, int serial, const char* title);
