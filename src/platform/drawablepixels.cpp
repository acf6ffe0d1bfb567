#include "platform/drawablepixels.h"

namespace platform {

DrawablePixels::DrawablePixels(int drawableW, int drawableH, int viewX, int viewY, int viewW, int viewH)
    : viewX(viewX), viewY(viewY), viewW(viewW), viewH(viewH) {
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    glGetFixedv(GL_CURRENT_COLOR, colour);
    depth = glIsEnabled(GL_DEPTH_TEST);
    cull = glIsEnabled(GL_CULL_FACE);
    textured = glIsEnabled(GL_TEXTURE_2D);
    scissor = glIsEnabled(GL_SCISSOR_TEST);
    colourArray = glIsEnabled(GL_COLOR_ARRAY);
    texArray = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
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
}

DrawablePixels::~DrawablePixels() {
    if (texArray) glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    else glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (!vertexArray) glDisableClientState(GL_VERTEX_ARRAY);
    if (colourArray) glEnableClientState(GL_COLOR_ARRAY);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (textured) glEnable(GL_TEXTURE_2D);
    else glDisable(GL_TEXTURE_2D);
    if (depth) glEnable(GL_DEPTH_TEST);
    if (cull) glEnable(GL_CULL_FACE);
    glColor4x(colour[0], colour[1], colour[2], colour[3]);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(matrixMode);
    glViewport(viewX, viewY, viewW, viewH);
    if (scissor) glEnable(GL_SCISSOR_TEST);
}

} // namespace platform
