// The game's pictures: ground tile, bike textures, menu screens, pointer and icon.
#pragma once

#include "canvas.h"
#include "gifwrite.h"
#include "models.h"

// The menu's dark panel: the pointer and the two menu pictures are drawn opaque on top
// of the background picture, so all of them share this exact colour.
extern const Rgb8 panelColour;

// Size of the part of a full-screen picture that the menu shows (its bottom-left corner).
constexpr int screenW = 240, screenH = 292;

Canvas groundTile();
Canvas bikeTexture(const BikeColour& colour);
Canvas backgroundScreen();  // 240 x 292
Canvas titleScreen();       // 240 x 292
Canvas creditsScreen();     // 240 x 292
Canvas mainMenuPicture();   // 128 x 128
Canvas optionsPicture();    // 128 x 128
Canvas pointerPicture();    // 32 x 32
Canvas iconPicture();       // 64 x 64

// The icon drawn at n x n pixels, with the tile's coverage: outside the rounded tile the
// desktop's icons are transparent, where the window icon (a GIF) has black corners.
struct IconArt {
    Canvas picture;
    Mask shape;
};
IconArt iconArt(int n);

// Places a 240 x 292 screen in the bottom-left corner of a 512 x 512 texture; the hidden
// rest repeats the screen's edge so filtering never pulls in a foreign colour.
Canvas fullScreenTexture(const Canvas& screen);
