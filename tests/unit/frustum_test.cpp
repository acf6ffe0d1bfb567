#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <algorithm>
#include <cmath>

#include "camera.h"
#include "fixed.h"
#include "frustum.h"
#include "glcontext.h"
#include "renderingcontext.h"

namespace {

constexpr Fixed ONE = 0x10000;
constexpr Fixed fx(int whole) { return whole * ONE; }

void loadIdentities() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void expectPlane(const Plane& p, Fixed a, Fixed b, Fixed c, Fixed d, const char* name) {
    EXPECT_EQ(p.a, a) << name;
    EXPECT_EQ(p.b, b) << name;
    EXPECT_EQ(p.c, c) << name;
    EXPECT_EQ(p.d, d) << name;
}

Frustum identityFrustum() {
    Frustum frustum;
    frustum.planes[0] = {ONE, 0, 0, ONE};
    frustum.planes[1] = {-ONE, 0, 0, ONE};
    frustum.planes[2] = {0, 0, ONE, ONE};
    frustum.planes[3] = {0, 0, -ONE, ONE};
    frustum.planes[4] = {0, -ONE, 0, ONE};
    frustum.planes[5] = {0, ONE, 0, ONE};
    return frustum;
}

} // namespace

TEST(FrustumMantissaTest, CombinesMantissaAndExponent) {
    EXPECT_EQ(combineMantissa(0xA000, 3), fx(5));
    EXPECT_EQ(combineMantissa(-0xA000, 3), fx(-5));
    EXPECT_EQ(combineMantissa(0x8000, 1), ONE);
    EXPECT_EQ(combineMantissa(0x12345, 0), 0x12345); // a GL that hands back plain 16.16
    EXPECT_EQ(combineMantissa(0x8000, -9), 0x40);
    EXPECT_EQ(combineMantissa(-0x8000, -9), -0x40);
    EXPECT_EQ(combineMantissa(0xFFFF, -40), 0);
    EXPECT_EQ(combineMantissa(-0xFFFF, -40), -1);
    EXPECT_EQ(combineMantissa(0xFFFF, 15), 0x7FFF8000);
    EXPECT_EQ(combineMantissa(0x8000, 16), INT32_MAX); // 32768.0 does not fit
    EXPECT_EQ(combineMantissa(-0x8000, 16), INT32_MIN);
    EXPECT_EQ(combineMantissa(-0xFFFF, 16), INT32_MIN);
    EXPECT_EQ(combineMantissa(0x8000, 200), INT32_MAX);
    EXPECT_EQ(combineMantissa(0, 200), 0);
}

TEST(FrustumClassifyTest, PointSide) {
    const Plane left = {ONE, 0, 0, ONE};
    EXPECT_EQ(Frustum::pointSide(left, {0, 0, 0}), 1);
    EXPECT_EQ(Frustum::pointSide(left, {-ONE, fx(9), fx(9)}), 0);
    EXPECT_EQ(Frustum::pointSide(left, {-ONE - 1, 0, 0}), -1);
    // Each product is truncated on its own: the three tiny products are -1 raw unit each.
    EXPECT_EQ(Frustum::pointSide({1, 1, 1, 2}, {-1, -1, -1}), -1);
    EXPECT_EQ(Frustum::pointSide({1, 1, 1, 3}, {-1, -1, -1}), 0);
    EXPECT_EQ(Frustum::pointSide({1, 1, 1, 4}, {-1, -1, -1}), 1);
}

TEST(FrustumClassifyTest, RectanglesAgainstTheUnitCube) {
    const Frustum frustum = identityFrustum();
    EXPECT_EQ(frustum.classifyRect(-ONE / 2, -ONE / 2, ONE, ONE), FrustumInside);
    EXPECT_EQ(frustum.classifyRect(fx(2), fx(2), ONE, ONE), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(0, 0, fx(2), fx(2)), FrustumIntersecting);
    EXPECT_EQ(frustum.classifyRect(fx(-3), fx(-3), fx(2), fx(2)), FrustumIntersecting); // reaches x = -1.0
    EXPECT_EQ(frustum.classifyRect(0, 0, 0, 0), FrustumInside);
    EXPECT_EQ(frustum.classifyRect(fx(-3), fx(-3), fx(2) - 1, fx(2) - 1), FrustumOutside);
    // Outside the view but not behind any single plane: reported as intersecting.
    EXPECT_EQ(frustum.classifyRect(fx(-3), fx(2), fx(5), fx(-5)), FrustumIntersecting);
    EXPECT_EQ(FrustumInside, 0);
    EXPECT_EQ(FrustumOutside, 1);
    EXPECT_EQ(FrustumIntersecting, 2);
}

TEST(FrustumClassifyTest, StopsAtTheFirstPlaneWithAllCornersBehind) {
    Frustum frustum = identityFrustum();
    // The near plane rejects the rectangle; a garbage far plane after it must not matter.
    frustum.planes[3] = {0, 0, 0, 0};
    EXPECT_EQ(frustum.classifyRect(0, fx(-5), ONE / 4, ONE / 4), FrustumOutside);
}

TEST(FrustumUpdateTest, IdentityMatricesGiveTheUnitCube) {
    ASSERT_TRUE(ensureGlContext());
    loadIdentities();
    glMatrixMode(GL_PROJECTION);
    Frustum frustum;
    frustum.update();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(frustum.matrix.m[i], (i % 5 == 0) ? ONE : 0) << i;
    expectPlane(frustum.planes[0], ONE, 0, 0, ONE, "left");
    expectPlane(frustum.planes[1], -ONE, 0, 0, ONE, "right");
    expectPlane(frustum.planes[2], 0, 0, ONE, ONE, "near");
    expectPlane(frustum.planes[3], 0, 0, -ONE, ONE, "far");
    expectPlane(frustum.planes[4], 0, -ONE, 0, ONE, "top");
    expectPlane(frustum.planes[5], 0, ONE, 0, ONE, "bottom");
    EXPECT_EQ(frustum.classifyRect(-ONE / 2, -ONE / 2, ONE, ONE), FrustumInside);
    EXPECT_EQ(frustum.classifyRect(fx(2), fx(2), ONE, ONE), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(0, 0, fx(2), fx(2)), FrustumIntersecting);
    EXPECT_EQ(frustum.classifyRect(fx(-3), fx(-3), fx(2), fx(2)), FrustumIntersecting);
    EXPECT_EQ(frustum.classifyRect(0, 0, 0, 0), FrustumInside);
}

TEST(FrustumUpdateTest, ReadsBackWholeValuesNotMantissas) {
    ASSERT_TRUE(ensureGlContext());
    loadIdentities();
    // Values well away from 1.0, where a GL that splits off exponents returns mantissas
    // that are not the 16.16 value.
    const Fixed loaded[16] = {fx(5), ONE * 3 / 4, 0, 0, 0, fx(2), ONE / 1024, 0,
                              fx(-3), 0, -ONE * 5 / 2, 0, fx(7), -(fx(300) + ONE / 4), fx(120), ONE};
    glLoadMatrixx(loaded);
    Frustum frustum;
    frustum.update();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(frustum.matrix.m[i], loaded[i]) << i;

    // And the product is projection x modelview, not the other way round.
    glMatrixMode(GL_PROJECTION);
    const Fixed scale[16] = {fx(2), 0, 0, 0, 0, fx(2), 0, 0, 0, 0, fx(2), 0, 0, 0, 0, ONE};
    glLoadMatrixx(scale);
    glMatrixMode(GL_MODELVIEW);
    frustum.update();
    EXPECT_EQ(frustum.matrix.m[12], fx(14));
    EXPECT_EQ(frustum.matrix.m[15], ONE);
    loadIdentities();
}

// The game's projection and the race's first camera placement: the planes read back
// must be the planes of the matrices that were set, worked out here in double.
TEST(FrustumUpdateTest, GameProjectionAndStartCamera) {
    ASSERT_TRUE(ensureGlContext());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    setPerspective(60.0f, 1.3333334f, 40.0f, 500.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Camera camera;
    camera.lookAt(fx(-5), fx(60), fx(210), 0, 0, fx(90), 0, ONE, 0);
    camera.apply();

    GLfloat p[16], m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    // The projection really is the game's: near 40, far 500, 60 degrees vertically.
    EXPECT_NEAR(p[5], 1.0 / std::tan(M_PI / 6), 1e-4);
    EXPECT_NEAR(p[0], p[5] / (4.0 / 3.0), 1e-4);
    EXPECT_NEAR(p[10], -(500.0 + 40.0) / 460.0, 1e-5);
    EXPECT_NEAR(p[14], -2.0 * 500.0 * 40.0 / 460.0, 1e-3);

    double pm[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += double(p[4 * k + r]) * m[4 * c + k];
            pm[4 * c + r] = sum;
        }
    const Frustum& frustum = camera.frustum;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(frustum.matrix.m[i] / 65536.0, pm[i], 1e-4 * std::max(1.0, std::fabs(pm[i]))) << i;

    const struct {
        int row;
        int sign;
    } rows[6] = {{0, 1}, {0, -1}, {2, 1}, {2, -1}, {1, -1}, {1, 1}}; // left, right, near, far, top, bottom
    for (int i = 0; i < 6; ++i) {
        double plane[4];
        for (int k = 0; k < 4; ++k) plane[k] = pm[4 * k + 3] + rows[i].sign * pm[4 * k + rows[i].row];
        const double length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        const Plane& got = frustum.planes[i];
        EXPECT_NEAR(got.a / 65536.0, plane[0] / length, 1e-3) << i;
        EXPECT_NEAR(got.b / 65536.0, plane[1] / length, 1e-3) << i;
        EXPECT_NEAR(got.c / 65536.0, plane[2] / length, 1e-3) << i;
        // The far plane is a difference of two nearly equal rows: its d keeps fewer bits.
        EXPECT_NEAR(got.d / 65536.0, plane[3] / length, 2.5e-3 * std::max(1.0, std::fabs(plane[3] / length))) << i;
    }

    // What the player sees: the point looked at is inside every plane, the floor behind
    // the eye and far beyond the far plane are culled, the whole arena straddles the view.
    for (const Plane& plane : frustum.planes) EXPECT_EQ(Frustum::pointSide(plane, {0, 0, fx(90)}), 1);
    EXPECT_EQ(frustum.classifyRect(fx(-2), fx(88), fx(4), fx(4)), FrustumInside);
    EXPECT_EQ(frustum.classifyRect(fx(-20), fx(260), fx(40), fx(40)), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(fx(-20), fx(-900), fx(40), fx(40)), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(fx(400), fx(0), fx(40), fx(40)), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(fx(-300), fx(-300), fx(600), fx(600)), FrustumIntersecting);
    loadIdentities();
}
