// Writes a Canvas as an 8-bit RGBA PNG through SDL_image, for the desktop's icons.
#pragma once

#include <string>

#include "canvas.h"

// `opacity` is the picture's coverage: the canvas holds the colours as painted over black,
// so they are divided by it to give the PNG's unassociated alpha.
bool writePng(const std::string& path, const Canvas& picture, const Mask& opacity);
