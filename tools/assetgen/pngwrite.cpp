#include "pngwrite.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

bool writePng(const std::string& path, const Canvas& picture, const Mask& opacity) {
    const int w = picture.width(), h = picture.height();
    std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface(
        SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32), SDL_FreeSurface);
    if (!surface) {
        std::fprintf(stderr, "assetgen: %s: %s\n", path.c_str(), SDL_GetError());
        return false;
    }
    auto byte = [](float v) { return static_cast<Uint8>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    for (int y = 0; y < h; ++y) {
        Uint8* row = static_cast<Uint8*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
        for (int x = 0; x < w; ++x) {
            const float a = std::clamp(opacity.at(x, y), 0.0f, 1.0f);
            const Colour c = a > 0 ? scale(picture.get(x, y), 1.0f / a) : Colour{};
            Uint8* p = row + 4 * x;
            p[0] = byte(c.r);
            p[1] = byte(c.g);
            p[2] = byte(c.b);
            p[3] = byte(a);
        }
    }
    if (IMG_SavePNG(surface.get(), path.c_str()) != 0) {
        std::fprintf(stderr, "assetgen: cannot write %s: %s\n", path.c_str(), IMG_GetError());
        return false;
    }
    return true;
}
