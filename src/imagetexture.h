// Image files to GL textures: decoded by the platform (GIF, JPEG, PNG, BMP), packed to RGB 565 by
// truncation, rows bottom first, uploaded into the texture bound to GL_TEXTURE_2D.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/types.h"

// Fills the bound texture from the image file in the application directory. With
// setParameters, linear filtering, repeat wrapping and mipmap generation are set first.
// False, before any upload, when the file cannot be decoded.
bool loadImageTexture(const char* fileName, bool setParameters);
// The ground picture "zem0.gif", always with nearest-neighbour filtering.
bool loadGroundTexture();
// The upload alone, of a picture already decoded; the picture is let go before the upload.
// With groundMipmaps, mipmap generation is switched on first, as the ground's upload does.
// False, with no GL call, for a picture whose pixels do not match its size.
bool uploadImage(platform::Image image, bool groundMipmaps);

// The pixel conversion: 8-bit RGB rows top first in, RGB 565 texels bottom row first out.
uint16_t packRgb565(uint8_t red, uint8_t green, uint8_t blue);
void convertToRgb565(const uint8_t* rgbTopFirst, int width, int height, std::vector<uint16_t>& texels);
