#include "imagetexture.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <utility>

#include "log.h"
#include "platform/platform.h"

namespace {

bool decodeAndUpload(const char* fileName, bool groundMipmaps) {
    platform::Image image;
    const std::string path = fullPath(fileName);
    if (!platform::get().decodeImage(path.c_str(), image)) {
        setDataFileInQuestion(path);
        return false;
    }
    return uploadImage(std::move(image), groundMipmaps);
}

} // namespace

bool uploadImage(platform::Image image, bool groundMipmaps) {
    const int width = image.width, height = image.height;
    if (width <= 0 || height <= 0 || image.rgb.size() != static_cast<size_t>(width) * height * 3) return false;
    if (groundMipmaps) glTexParameterx(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    std::vector<uint16_t> texels;
    convertToRgb565(image.rgb.data(), width, height, texels);
    image = platform::Image(); // the largest pictures are not held three times over
    // The texel rows are packed without gaps, but GL takes rows as starting on 4-byte
    // boundaries unless told otherwise: a picture of odd width would be read past its end.
    // Only those pictures change the setting, and only for their own upload.
    const bool oddRows = width % 2 != 0;
    if (oddRows) glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, texels.data());
    if (oddRows) glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return true;
}

uint16_t packRgb565(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
}

void convertToRgb565(const uint8_t* rgbTopFirst, int width, int height, std::vector<uint16_t>& texels) {
    texels.assign(static_cast<size_t>(width) * height, 0);
    for (int row = 0; row < height; ++row) {
        // Texel row 0 is the bottom of the picture: texture coordinate t = 0.
        const uint8_t* src = rgbTopFirst + static_cast<size_t>(height - 1 - row) * width * 3;
        uint16_t* dst = &texels[static_cast<size_t>(row) * width];
        for (int col = 0; col < width; ++col) dst[col] = packRgb565(src[col * 3], src[col * 3 + 1], src[col * 3 + 2]);
    }
}

bool loadImageTexture(const char* fileName, bool setParameters) {
    if (setParameters) {
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameterx(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    }
    return decodeAndUpload(fileName, false);
}

bool loadGroundTexture() {
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    return decodeAndUpload("zem0.gif", true);
}
