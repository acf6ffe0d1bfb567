// libFuzzer target for the picture path without GL: the bytes go to a file, the platform
// decodes it as the game does (giflib for GIF, libjpeg for JPEG, SDL_image for PNG and
// BMP, then RGB 24) and the pixels are packed to the 565 texels that would be uploaded. The
// sanitizers watch the decoders' reads and ours; the decoded size must be one the game
// accepts and every texel must come from the pixels.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "imagetexture.h"
#include "platform/imagedecode.h"
#include "platform/platform.h"

namespace {

const std::string& scratchFile() {
    static const std::string path = [] {
        char dir[] = "/tmp/palvex-image-fuzz-XXXXXX";
        const char* made = mkdtemp(dir);
        if (!made) std::abort();
        return std::string(made) + "/picture.gif";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        platform::Options options;
        options.headless = true;
        std::string error;
        if (platform::create(options, error) != platform::CreateResult::Ok) std::abort();
        return true;
    }();
    (void)ready;
    const std::string& path = scratchFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    platform::Image image;
    const bool decoded = platform::get().decodeImage(path.c_str(), image);
    unlink(path.c_str());
    if (!decoded) {
        if (image.width != 0 || image.height != 0 || !image.rgb.empty()) std::abort();
        return 0;
    }
    if (image.width <= 0 || image.height <= 0 || image.width > platform::MAX_IMAGE_SIDE ||
        image.height > platform::MAX_IMAGE_SIDE)
        std::abort();
    if (image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3) std::abort();

    std::vector<uint16_t> texels;
    convertToRgb565(image.rgb.data(), image.width, image.height, texels);
    if (texels.size() != static_cast<size_t>(image.width) * image.height) std::abort();
    // The first texel uploaded is the bottom row's first pixel.
    const uint8_t* bottom = &image.rgb[static_cast<size_t>(image.height - 1) * image.width * 3];
    if (texels[0] != packRgb565(bottom[0], bottom[1], bottom[2])) std::abort();
    return 0;
}
