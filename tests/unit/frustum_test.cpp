// The view frustum: matrices read back from the GL, the six planes, and floor rectangles
// classified against them.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <algorithm>

#include "camera.h"
#include "frustum.h"
#include "testplatform.h"

namespace {

constexpr Fixed ONE = FIXED_ONE;

void loadIdentities() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Left, right, near, far, top, bottom of identity matrices: the unit cube.
const Plane unitCube[6] = {{ONE, 0, 0, ONE}, {-ONE, 0, 0, ONE}, {0, 0, ONE, ONE},
                           {0, 0, -ONE, ONE}, {0, -ONE, 0, ONE}, {0, ONE, 0, ONE}};

Frustum unitFrustum() {
    Frustum frustum;
    std::copy(unitCube, unitCube + 6, frustum.planes);
    return frustum;
}

} // namespace

TEST(FrustumMantissaTest, CombinesMantissaAndExponent) {
    const struct {
        int32_t mantissa, exponent;
        Fixed value;
    } cases[] = {{-0xA000, 3, F(-5)},
                 {0x12345, 0, 0x12345}, // a GL that hands back plain 16.16
                 {-0x8000, -9, -0x40},
                 {-0xFFFF, -40, -1},
                 {0xFFFF, 15, 0x7FFF8000},
                 {0x8000, 16, INT32_MAX}, // 32768.0 does not fit
                 {-0x8000, 200, INT32_MIN},
                 {0, 200, 0}};
    for (const auto& c : cases) EXPECT_EQ(combineMantissa(c.mantissa, c.exponent), c.value) << c.mantissa << " " << c.exponent;
}

TEST(FrustumClassifyTest, PointSide) {
    EXPECT_EQ(Frustum::pointSide(unitCube[0], {-ONE, F(9), F(9)}), 0);
    // Each product is truncated on its own: the three tiny products are -1 raw unit each.
    EXPECT_EQ(Frustum::pointSide({1, 1, 1, 2}, {-1, -1, -1}), -1);
    EXPECT_EQ(Frustum::pointSide({1, 1, 1, 3}, {-1, -1, -1}), 0);
    EXPECT_EQ(Frustum::pointSide({1, 1, 1, 4}, {-1, -1, -1}), 1);
}

TEST(FrustumClassifyTest, RectanglesAgainstTheUnitCube) {
    Frustum frustum = unitFrustum();
    EXPECT_EQ(frustum.classifyRect(-ONE / 2, -ONE / 2, ONE, ONE), FrustumInside);
    EXPECT_EQ(frustum.classifyRect(F(2), F(2), ONE, ONE), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(0, 0, F(2), F(2)), FrustumIntersecting);
    EXPECT_EQ(frustum.classifyRect(F(-3), F(-3), F(2), F(2)), FrustumIntersecting); // reaches x = -1.0
    EXPECT_EQ(frustum.classifyRect(F(-3), F(-3), F(2) - 1, F(2) - 1), FrustumOutside);
    // Outside the view but not behind any single plane: reported as intersecting.
    EXPECT_EQ(frustum.classifyRect(F(-3), F(2), F(5), F(-5)), FrustumIntersecting);
    // The near plane rejects the rectangle; a garbage far plane after it must not matter.
    frustum.planes[3] = {0, 0, 0, 0};
    EXPECT_EQ(frustum.classifyRect(0, F(-5), ONE / 4, ONE / 4), FrustumOutside);
}

TEST(FrustumUpdateTest, ReadsBackWholeValuesNotMantissas) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    loadIdentities();
    glMatrixMode(GL_PROJECTION);
    Frustum frustum;
    frustum.update();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(frustum.planes[i], unitCube[i]) << "identities give the unit cube " << i;

    // Values well away from 1.0, where a GL that splits off exponents returns mantissas
    // that are not the 16.16 value.
    const Fixed loaded[16] = {F(5), ONE * 3 / 4, 0, 0, 0, F(2), ONE / 1024, 0,
                              F(-3), 0, -ONE * 5 / 2, 0, F(7), -(F(300) + ONE / 4), F(120), ONE};
    glLoadMatrixx(loaded);
    frustum.update();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(frustum.matrix.m[i], loaded[i]) << i;

    // And the product is projection x modelview, not the other way round.
    glMatrixMode(GL_PROJECTION);
    const Fixed scale[16] = {F(2), 0, 0, 0, 0, F(2), 0, 0, 0, 0, F(2), 0, 0, 0, 0, ONE};
    glLoadMatrixx(scale);
    glMatrixMode(GL_MODELVIEW);
    frustum.update();
    EXPECT_EQ(frustum.matrix.m[12], F(14));
    EXPECT_EQ(frustum.matrix.m[15], ONE);
    loadIdentities();
}

// The game's projection and the race's first camera placement.
TEST(FrustumUpdateTest, GameProjectionAndStartCamera) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    loadIdentities();
    glMatrixMode(GL_PROJECTION);
    setPerspective(60.0f, 1.3333334f, 40.0f, 500.0f);
    glMatrixMode(GL_MODELVIEW);
    Camera camera;
    camera.lookAt(F(-5), F(60), F(210), 0, 0, F(90), 0, ONE, 0);
    camera.apply();

    const Frustum& frustum = camera.frustum;
    // What the player sees: the point looked at is inside every plane, the floor behind
    // the eye and far beyond the far plane are culled, the whole arena straddles the view.
    for (const Plane& plane : frustum.planes) EXPECT_EQ(Frustum::pointSide(plane, {0, 0, F(90)}), 1);
    EXPECT_EQ(frustum.classifyRect(F(-2), F(88), F(4), F(4)), FrustumInside);
    EXPECT_EQ(frustum.classifyRect(F(-20), F(260), F(40), F(40)), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(F(-20), F(-900), F(40), F(40)), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(F(400), F(0), F(40), F(40)), FrustumOutside);
    EXPECT_EQ(frustum.classifyRect(F(-300), F(-300), F(600), F(600)), FrustumIntersecting);
    loadIdentities();
}

// Boxes for culling wall blocks: only a box wholly behind one plane, by more than the
// margin, is out; a box across a plane, or out of sight only across a corner, is kept.
TEST(FrustumBoxTest, OnlyBoxesWhollyBehindOnePlaneAreOut) {
    const Frustum frustum = unitFrustum();
    const Fixed margin = Frustum::cullMargin;
    for (int plane = 0; plane < 6; ++plane) {
        // The axis the plane cuts and the side of the cube it bounds.
        const int axis = plane < 2 ? 0 : plane < 4 ? 2 : 1;
        const int side = (plane == 0 || plane == 2 || plane == 5) ? -1 : 1;
        auto box = [&](Fixed nearEdge, Fixed farEdge) {
            Vec3 low{-ONE / 2, -ONE / 2, -ONE / 2}, high{ONE / 2, ONE / 2, ONE / 2};
            Fixed* lo = axis == 0 ? &low.x : axis == 1 ? &low.y : &low.z;
            Fixed* hi = axis == 0 ? &high.x : axis == 1 ? &high.y : &high.z;
            // nearEdge and farEdge measured outward from the cube's face at side * 1.0.
            *lo = side > 0 ? ONE + nearEdge : -ONE - farEdge;
            *hi = side > 0 ? ONE + farEdge : -ONE - nearEdge;
            return frustum.boxOutside(low, high);
        };
        EXPECT_TRUE(box(margin + 1, F(5))) << "wholly beyond plane " << plane;
        EXPECT_TRUE(box(F(20000), F(30000))) << "far out, no wrap-around, plane " << plane;
        EXPECT_FALSE(box(margin, F(5))) << "within the margin of plane " << plane;
        EXPECT_FALSE(box(-ONE / 4, F(5))) << "across plane " << plane;
        EXPECT_FALSE(box(F(-30000), F(30000))) << "round the whole view, plane " << plane;
    }
    // Beyond the left and the top plane at once, but wholly behind neither: kept.
    EXPECT_FALSE(frustum.boxOutside({F(-3), F(-0.5), F(-0.5)}, {F(-0.5), F(3), F(0.5)}));
    EXPECT_FALSE(Frustum().boxOutside({F(100), F(100), F(100)}, {F(101), F(101), F(101)}))
        << "before the first update nothing is culled";
}
