// The font of the text overlay, found through fontconfig as the desktop finds any font:
// DejaVu Sans Bold (the face the score boxes were drawn in), else the bold sans face the
// system's configuration offers.
#pragma once
#include <string>

namespace platform {

// The font file, or empty when fontconfig knows of no usable font at all.
std::string findOverlayFont();

} // namespace platform
