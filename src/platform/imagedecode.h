// Picture files to 24-bit pixels. The handheld's image loader read GIF, JPEG, PNG and BMP;
// those four are read here, from the file's bytes, whatever its name says:
// GIF with giflib (first picture of the file), JPEG with libjpeg, PNG and BMP with
// SDL_image's own loaders. Every size a file claims is checked before anything of that
// size is allocated, so that no file, however made, costs more than a bounded amount of
// memory and time.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace platform {

// Widest and tallest picture accepted, in pixels: eight times the game's largest, and
// small enough that the pixels of one picture stay within a few tens of megabytes.
constexpr int MAX_IMAGE_SIDE = 4096;
// Files larger than this are not read at all: enough for a compressed picture of the
// largest size (an uncompressed 4096 by 4096 BMP is not taken).
constexpr size_t MAX_IMAGE_FILE_BYTES = 16u << 20;
// A progressive JPEG decodes every scan over the whole picture: a few hundred scans take
// seconds. Real encoders write about ten.
constexpr int MAX_JPEG_SCANS = 100;
// What libjpeg may take for its own buffers (a progressive picture keeps every
// coefficient of the picture until its last scan).
constexpr long MAX_JPEG_WORKING_BYTES = 64l << 20;

// Decodes a picture held in memory. On failure `out` is empty and `why` (when given)
// says what was wrong, in a few words.
bool decodeImageBytes(const uint8_t* data, size_t size, Image& out, const char** why = nullptr);
// The same for a file: only a regular file is read (a FIFO is refused at once, never
// waited for), and only up to MAX_IMAGE_FILE_BYTES.
bool decodeImageFile(const char* path, Image& out, const char** why = nullptr);

// A picture no larger than maxSide on either side, the aspect kept: `in` itself when it
// fits, otherwise each pixel the average of the block of pixels it covers.
void scaleImageToFit(const Image& in, int maxSide, Image& out);
// The window icon goes to the X server as one property of 4 bytes a pixel in one request;
// a 2048-pixel icon is past the largest request (16 MB) and the server refuses it.
constexpr int MAX_ICON_SIDE = 256;

} // namespace platform
