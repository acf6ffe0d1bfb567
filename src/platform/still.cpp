#include "platform/still.h"

#include "platform/drawablepixels.h"

#include <EGL/egl.h>

#include <cmath>

namespace platform {

StillPicture::~StillPicture() {
    if (texture && eglGetCurrentContext() != EGL_NO_CONTEXT) glDeleteTextures(1, &texture);
}

void StillPicture::capture(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    // GL ES 1 textures are a power of two a side; the picture takes the lower left part.
    const int w = nextPowerOfTwo(width), h = nextPowerOfTwo(height);
    if (!texture) glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (w != textureW || h != textureH) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        textureW = w;
        textureH = h;
    }
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, y, width, height);
    capturedW = width;
    capturedH = height;
    glBindTexture(GL_TEXTURE_2D, previous);
}

bool StillPicture::draw(int x, int y, int width, int height, int drawableW, int drawableH) {
    if (!texture || capturedW <= 0) return false;
    const DrawablePixels pixels(drawableW, drawableH, x, y, width, height);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    const GLint filter = width == capturedW && height == capturedH ? GL_NEAREST : GL_LINEAR;
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glColor4x(0x10000, 0x10000, 0x10000, 0x10000);
    const float l = static_cast<float>(x), b = static_cast<float>(y);
    const float r = l + width, t = b + height;
    const GLfixed quad[12] = {pixelFixed(l), pixelFixed(b), pixelFixed(r), pixelFixed(b), pixelFixed(r), pixelFixed(t),
                              pixelFixed(r), pixelFixed(t), pixelFixed(l), pixelFixed(t), pixelFixed(l), pixelFixed(b)};
    const float s = static_cast<float>(capturedW) / textureW, u = static_cast<float>(capturedH) / textureH;
    const GLfixed coords[12] = {0, 0, pixelFixed(s), 0, pixelFixed(s), pixelFixed(u),
                                pixelFixed(s), pixelFixed(u), 0, pixelFixed(u), 0, 0};
    glVertexPointer(2, GL_FIXED, 0, quad);
    glTexCoordPointer(2, GL_FIXED, 0, coords);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    return true;
}

} // namespace platform
