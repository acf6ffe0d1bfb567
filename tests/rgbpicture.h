// A picture file decoded by SDL_image into RGB pixels, top row first: the tests' own
// reading of the data files and of screenshots, independent of the game's decoder.
#pragma once
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <string>
#include <vector>

// Pixel: an aggregate of three colour fields. Leaves width, height and pixels empty when
// the file does not decode.
template <class Pixel>
void readRgbPicture(const std::string& path, int& width, int& height, std::vector<Pixel>& pixels) {
    SDL_Surface* loaded = IMG_Load(path.c_str());
    SDL_Surface* rgb = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0) : nullptr;
    for (int y = 0; rgb && y < rgb->h; ++y)
        for (int x = 0; x < rgb->w; ++x) {
            const uint8_t* p = static_cast<const uint8_t*>(rgb->pixels) + y * rgb->pitch + 3 * x;
            pixels.push_back(Pixel{p[0], p[1], p[2]});
        }
    if (rgb) width = rgb->w, height = rgb->h;
    SDL_FreeSurface(rgb);
    SDL_FreeSurface(loaded);
}
