// Pictures in and out: a data file decoded to pixels, a picture written as PNG.
#include <SDL.h>
#include <SDL_image.h>

#include "platform/imagedecode.h"
#include "platform/platform.h"

namespace platform {

bool Platform::decodeImage(const char* path, Image& out) { return decodeImageFile(path, out); }

bool savePng(const std::string& path, const Image& image) {
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() < size_t(image.width) * image.height * 3) return false;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(image.rgb.data()), image.width,
                                                              image.height, 24, image.width * 3, SDL_PIXELFORMAT_RGB24);
    if (!surface) return false;
    const bool ok = IMG_SavePNG(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return ok;
}

} // namespace platform
