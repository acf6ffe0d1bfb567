// Drawing over the drawable between two frames (the text overlay, the paused picture)
// leaves the game's GL state as it found it, whatever that state was.
#include <gtest/gtest.h>

#include <array>

#include "platform/drawablepixels.h"
#include "testplatform.h"

namespace {

struct GlState {
    GLint texture, matrixMode;
    std::array<GLint, 4> viewport;
    std::array<GLfixed, 4> colour;
    std::array<GLfixed, 16> projection, modelview;
    std::array<GLboolean, 7> enabled;
    bool operator==(const GlState& o) const {
        return texture == o.texture && matrixMode == o.matrixMode && viewport == o.viewport && colour == o.colour &&
               projection == o.projection && modelview == o.modelview && enabled == o.enabled;
    }
};

GlState readState() {
    GlState s{};
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    glGetIntegerv(GL_VIEWPORT, s.viewport.data());
    glGetFixedv(GL_CURRENT_COLOR, s.colour.data());
    glGetFixedv(GL_PROJECTION_MATRIX, s.projection.data());
    glGetFixedv(GL_MODELVIEW_MATRIX, s.modelview.data());
    const GLenum caps[7] = {GL_DEPTH_TEST, GL_CULL_FACE, GL_TEXTURE_2D, GL_SCISSOR_TEST,
                            GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_VERTEX_ARRAY};
    for (int i = 0; i < 7; ++i) s.enabled[i] = glIsEnabled(caps[i]);
    return s;
}

void setEnabled(GLenum cap, bool on, bool clientState) {
    if (clientState) on ? glEnableClientState(cap) : glDisableClientState(cap);
    else on ? glEnable(cap) : glDisable(cap);
}

} // namespace

TEST(DrawablePixels, PutsBackEveryStateItTouchesWhateverItWas) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    GLuint texture = 0;
    glGenTextures(1, &texture);
    // Two opposite starting states: each capability on in one and off in the other.
    for (int variant = 0; variant < 2; ++variant) {
        const bool on = variant == 0;
        glBindTexture(GL_TEXTURE_2D, on ? texture : 0);
        setEnabled(GL_DEPTH_TEST, on, false);
        setEnabled(GL_CULL_FACE, !on, false);
        setEnabled(GL_TEXTURE_2D, on, false);
        setEnabled(GL_SCISSOR_TEST, on, false);
        setEnabled(GL_COLOR_ARRAY, on, true);
        setEnabled(GL_TEXTURE_COORD_ARRAY, !on, true);
        setEnabled(GL_VERTEX_ARRAY, on, true);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glTranslatex(3 << 16, variant << 16, 0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatex(30 << 16, 0, 0, 1 << 16);
        glMatrixMode(on ? GL_MODELVIEW : GL_PROJECTION);
        glColor4x(0x8000, 0x4000, 0x2000 * (variant + 1), 0x10000);
        glViewport(5, 7, 200, 100);
        const GlState before = readState();
        {
            const platform::DrawablePixels pixels(240, 294, 5, 7, 200, 100);
            const GlState inside = readState();
            EXPECT_EQ(inside.viewport, (std::array<GLint, 4>{0, 0, 240, 294}));
            EXPECT_FALSE(inside.enabled[0] || inside.enabled[1] || inside.enabled[3]) << "depth, cull or scissor on";
            EXPECT_FALSE(inside.enabled[4]) << "colour array on";
            EXPECT_TRUE(inside.enabled[6]) << "vertex array off";
            EXPECT_EQ(inside.matrixMode, GL_MODELVIEW);
            EXPECT_EQ(inside.modelview[0], 0x10000) << "model-view not the identity";
            EXPECT_EQ(inside.modelview[4], 0);
            // What the overlay and the still picture do in between.
            glEnable(GL_TEXTURE_2D);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glBindTexture(GL_TEXTURE_2D, texture);
            glColor4x(0x10000, 0x10000, 0x10000, 0x10000);
        }
        EXPECT_TRUE(readState() == before) << "variant " << variant;
    }
    glDeleteTextures(1, &texture);
}
