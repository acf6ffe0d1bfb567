// Drawing over the whole drawable in its own pixels, between two of the game's frames: the
// text overlay's boxes and the paused picture. The game's next frame relies on its GL state,
// so whatever this changes is put back when it ends.
#pragma once
#include <GLES/gl.h>

#include <cmath>

namespace platform {

// GL ES 1 textures are a power of two a side: the smallest that holds v.
inline int nextPowerOfTwo(int v) {
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

// A drawable pixel coordinate in 16.16, rounded.
inline GLfixed pixelFixed(float v) { return static_cast<GLfixed>(std::lround(v * 65536.0f)); }

class DrawablePixels {
public:
    // From here on: a viewport and a projection of drawableW x drawableH pixels (origin at
    // the bottom left), an identity model-view, no depth test, no culling, no scissor,
    // vertex arrays on and colour arrays off. At the end the viewport is the game's view
    // rectangle (viewX, viewY, viewW, viewH) again.
    DrawablePixels(int drawableW, int drawableH, int viewX, int viewY, int viewW, int viewH);
    ~DrawablePixels();
    DrawablePixels(const DrawablePixels&) = delete;
    DrawablePixels& operator=(const DrawablePixels&) = delete;

private:
    GLint texture = 0, matrixMode = GL_MODELVIEW;
    GLfixed colour[4] = {};
    GLboolean depth, cull, textured, scissor, colourArray, texArray, vertexArray;
    int viewX, viewY, viewW, viewH;
};

} // namespace platform
