// Writes a Canvas as a GIF through giflib. GIF holds at most 256 colours: pictures with
// more are reduced by median cut; colours listed in `exact` (and any colour that covers
// a large part of the picture) keep their exact value, so flat areas that must match
// between pictures stay identical.
#pragma once

#include <string>
#include <vector>

#include "canvas.h"

struct Rgb8 {
    unsigned char r, g, b;
};

bool writeGif(const std::string& path, const Canvas& picture, const std::vector<Rgb8>& exact = {});
