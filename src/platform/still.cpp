#include "platform/still.h"

#include <EGL/egl.h>

#include <cmath>

namespace platform {

namespace {

int nextPowerOfTwo(int v) {
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

GLfixed fx(float v) { return static_cast<GLfixed>(std::lround(v * 65536.0f)); }

} // namespace

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
    GLint previousTexture = 0, matrixMode = GL_MODELVIEW;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    GLfixed previousColour[4];
    glGetFixedv(GL_CURRENT_COLOR, previousColour);
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST), cull = glIsEnabled(GL_CULL_FACE),
                    tex = glIsEnabled(GL_TEXTURE_2D), scissor = glIsEnabled(GL_SCISSOR_TEST);
    const GLboolean colourArray = glIsEnabled(GL_COLOR_ARRAY), texArray = glIsEnabled(GL_TEXTURE_COORD_ARRAY),
                    vertexArray = glIsEnabled(GL_VERTEX_ARRAY);

    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, drawableW, drawableH);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrthox(0, drawableW << 16, 0, drawableH << 16, -(1 << 16), 1 << 16);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    const GLint filter = width == capturedW && height == capturedH ? GL_NEAREST : GL_LINEAR;
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glColor4x(0x10000, 0x10000, 0x10000, 0x10000);
    const float l = static_cast<float>(x), b = static_cast<float>(y);
    const float r = l + width, t = b + height;
    const GLfixed quad[12] = {fx(l), fx(b), fx(r), fx(b), fx(r), fx(t), fx(r), fx(t), fx(l), fx(t), fx(l), fx(b)};
    const float s = static_cast<float>(capturedW) / textureW, u = static_cast<float>(capturedH) / textureH;
    const GLfixed coords[12] = {0, 0, fx(s), 0, fx(s), fx(u), fx(s), fx(u), 0, fx(u), 0, 0};
    glVertexPointer(2, GL_FIXED, 0, quad);
    glTexCoordPointer(2, GL_FIXED, 0, coords);
    glDrawArrays(GL_TRIANGLES, 0, 6);

    if (!texArray) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (!vertexArray) glDisableClientState(GL_VERTEX_ARRAY);
    if (colourArray) glEnableClientState(GL_COLOR_ARRAY);
    glBindTexture(GL_TEXTURE_2D, previousTexture);
    if (!tex) glDisable(GL_TEXTURE_2D);
    if (depth) glEnable(GL_DEPTH_TEST);
    if (cull) glEnable(GL_CULL_FACE);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    glColor4x(previousColour[0], previousColour[1], previousColour[2], previousColour[3]);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(matrixMode);
    glViewport(x, y, width, height);
    return true;
}

} // namespace platform
