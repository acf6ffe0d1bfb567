// The arena floor and the four bikes.
#pragma once

#include "mesh.h"

struct BikeColour {
    int r, g, b;
};

// The colours the game gives the player and its three opponents.
extern const BikeColour bikeColours[4];

AseScene arenaScene();
// index 1..4: "moto1.ase" .. "moto4.ase", textured with "moto<index>.gif".
AseScene bikeScene(int index);

// The bike texture is an atlas; these are its regions in pixels (128 x 128, top row 0).
// The texture painter and the mesh builder share them.
namespace atlas {
constexpr int size = 128;
struct Rect {
    int x, y, w, h;
};
// Three shades (lit from above, side, underside) of each surface, left to right.
constexpr Rect paint[3] = {{0, 0, 32, 64}, {32, 0, 32, 64}, {64, 0, 32, 64}};
constexpr Rect dark[3] = {{0, 64, 32, 32}, {32, 64, 32, 32}, {64, 64, 32, 32}};
constexpr Rect metal[3] = {{0, 96, 32, 32}, {32, 96, 32, 32}, {64, 96, 32, 32}};
constexpr Rect wheel = {96, 0, 32, 32};
constexpr Rect headlight = {96, 32, 16, 16};
constexpr Rect taillight = {112, 32, 16, 16};
constexpr Rect glow = {96, 48, 32, 16};
constexpr Rect glass = {96, 64, 32, 32};
// Heights (file Z) that the paint bands are laid out for: the top row of a paint
// block shows paintTop, its bottom row paintBottom.
constexpr float paintTop = 5.6f, paintBottom = 1.0f;
}  // namespace atlas
