// libFuzzer target for the picture path as far as the GL: the bytes go to a file, the
// platform decodes it as the game does (giflib for GIF, libjpeg for JPEG, SDL_image for PNG
// and BMP, then RGB 24), the pixels are packed to 565 texels and uploaded through the
// game's own upload into one texture of a GLES 1 context on the headless pbuffer, mipmaps
// generated as for the game's materials. The sanitizers watch the decoders' reads, ours,
// and Mesa's copy of the texels (an upload reading past the texel buffer shows as a
// heap-buffer-overflow); the decoded size must be one the game accepts, every texel must
// come from the pixels, and the GL must take the upload without an error.
#include <EGL/egl.h>
#include <GLES/gl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "imagetexture.h"
#include "platform/imagedecode.h"
#include "platform/platform.h"
#include "renderingcontext.h"

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
        if (!initRenderingContext(nullptr)) std::abort();
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        // What loadImageTexture sets for a material: every upload also builds the mipmaps.
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameterx(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
        return glGetError() == GL_NO_ERROR;
    }();
    if (!ready) std::abort();
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
    texels = {};

    // Into the one texture, replacing the last input's.
    if (!uploadImage(std::move(image), false)) std::abort();
    if (glGetError() != GL_NO_ERROR) std::abort();
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    if (alignment != 4) std::abort(); // the next picture is read with GL's own setting
    return 0;
}
