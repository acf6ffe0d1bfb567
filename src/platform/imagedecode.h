// Picture files to 24-bit pixels. The handheld's image loader read GIF, JPEG, PNG and BMP;
// those four are read here, from the file's bytes, whatever its name says:
// GIF with giflib (first picture of the file), the others with SDL_image's own loaders.
// Every size a file claims is checked before anything of that size is allocated.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace platform {

// Widest and tallest picture accepted, in pixels.
constexpr int MAX_IMAGE_SIDE = 8192;
// Files larger than this are not read at all.
constexpr size_t MAX_IMAGE_FILE_BYTES = 64u << 20;

// Decodes a picture held in memory. On failure `out` is empty and `why` (when given)
// says what was wrong, in a few words.
bool decodeImageBytes(const uint8_t* data, size_t size, Image& out, const char** why = nullptr);

} // namespace platform
