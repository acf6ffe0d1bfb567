// The plain values the platform hands the game: colours, decoded pictures, sample handles,
// the logical screen's size.
#pragma once
#include <cstdint>
#include <vector>

namespace platform {

struct Rgb {
    uint8_t r, g, b;
};

// A decoded picture: 8-bit red, green, blue per pixel, rows top first, no padding.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

using SampleHandle = void*;
constexpr int CHANNEL_FREE = -1;

// The logical screen: the device's client area.
constexpr int LOGICAL_WIDTH = 240;
constexpr int LOGICAL_HEIGHT = 294;

} // namespace platform
