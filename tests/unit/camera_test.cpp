#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <cmath>
#include <cstring>

#include "camera.h"
#include "glcontext.h"

namespace {

constexpr Fixed ONE = 0x10000;
constexpr Fixed fx(int whole) { return whole * ONE; }
constexpr Fixed HALF_PI = 102943;

struct ViewVectors {
    double f[3], s[3], u[3];
    GLfloat matrix[16];
};

// Applies the camera onto an identity modelview and reads back the rows it multiplied on.
ViewVectors appliedView(Camera& camera) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    camera.apply();
    ViewVectors v;
    glGetFloatv(GL_MODELVIEW_MATRIX, v.matrix);
    for (int i = 0; i < 3; ++i) {
        v.s[i] = v.matrix[4 * i];
        v.u[i] = v.matrix[4 * i + 1];
        v.f[i] = -v.matrix[4 * i + 2];
    }
    return v;
}

void expectThreeDecimals(const double (&got)[3], double x, double y, double z, const char* name) {
    EXPECT_NEAR(got[0], x, 0.0005) << name << ".x";
    EXPECT_NEAR(got[1], y, 0.0005) << name << ".y";
    EXPECT_NEAR(got[2], z, 0.0005) << name << ".z";
}

double length(const double (&v)[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

} // namespace

TEST(CameraMoveTest, LookAtStoresAllNine) {
    Camera camera;
    camera.lookAt(1, 2, 3, 4, 5, 6, 7, 8, 9);
    EXPECT_EQ(camera.eye.x, 1);
    EXPECT_EQ(camera.eye.z, 3);
    EXPECT_EQ(camera.centre.y, 5);
    EXPECT_EQ(camera.up.x, 7);
    EXPECT_EQ(camera.up.z, 9);
}

TEST(CameraMoveTest, FollowMovesEyeAndCentreAlongTheFloor) {
    Camera camera;
    camera.lookAt(fx(-5), fx(60), fx(210), 0, 0, fx(90), 0, ONE, 0);
    camera.follow({ONE, fx(5), 0}, fx(2));
    EXPECT_EQ(camera.eye.x, fx(-3));
    EXPECT_EQ(camera.eye.y, fx(60));
    EXPECT_EQ(camera.eye.z, fx(210));
    EXPECT_EQ(camera.centre.x, fx(2));
    EXPECT_EQ(camera.centre.y, 0);
    EXPECT_EQ(camera.centre.z, fx(90));
    camera.follow({0, 0, -ONE}, ONE / 2);
    EXPECT_EQ(camera.eye.z, fx(210) - ONE / 2);
    EXPECT_EQ(camera.centre.z, fx(90) - ONE / 2);
}

TEST(CameraMoveTest, OrbitByZeroShrinksTheOffset) {
    Camera camera;
    camera.lookAt(fx(13), fx(7), fx(-20), fx(3), 0, fx(-40), 0, ONE, 0);
    camera.orbit(0, 0, ONE, 0);
    EXPECT_EQ(camera.eye.x, fx(3) + FixedMul(65534, fx(10)));
    EXPECT_EQ(camera.eye.y, fx(7));
    EXPECT_EQ(camera.eye.z, fx(-40) + FixedMul(65534, fx(20)));
    const Fixed once = camera.eye.x;
    for (int i = 0; i < 100; ++i) camera.orbit(0, 0, ONE, 0);
    EXPECT_LT(camera.eye.x, once);
    EXPECT_GT(camera.eye.x - fx(3), fx(10) * 99 / 100);
}

TEST(CameraMoveTest, OrbitByQuarterTurn) {
    Camera camera;
    camera.lookAt(fx(4), fx(9), fx(15), fx(4), fx(1), fx(5), 0, ONE, 0);
    camera.orbit(HALF_PI, 0, ONE, 0);
    EXPECT_EQ(camera.eye.x, fx(4) + fx(10) - 20);
    EXPECT_EQ(camera.eye.y, fx(9));
    EXPECT_EQ(camera.eye.z, fx(5));
    EXPECT_EQ(camera.centre.x, fx(4));
    EXPECT_EQ(camera.centre.z, fx(5));
    // Four quarter turns bring the eye back behind the centre, a few raw units closer.
    for (int i = 0; i < 3; ++i) camera.orbit(HALF_PI, 0, ONE, 0);
    EXPECT_EQ(camera.eye.x, fx(4));
    EXPECT_LT(camera.eye.z, fx(15));
    EXPECT_GT(camera.eye.z, fx(15) - 100);
}

TEST(CameraMoveTest, OrbitAboutTheXAxis) {
    // The game only turns about the vertical, but the x and z rows of the rotation are
    // complete: a quarter turn about x keeps x and moves the height of the offset into z.
    Camera camera;
    camera.lookAt(fx(1), fx(3), fx(2), 0, 0, 0, 0, ONE, 0);
    camera.orbit(HALF_PI, ONE, 0, 0);
    EXPECT_EQ(camera.eye.x, fx(1));
    EXPECT_EQ(camera.eye.z, fx(3) - 6); // sine of a quarter turn is 65534
    EXPECT_EQ(camera.eye.y, fx(3));
}

TEST(CameraMoveTest, UpdateChangesNothing) {
    Camera camera;
    camera.lookAt(fx(-5), fx(60), fx(210), 0, 0, fx(90), 0, ONE, 0);
    Camera before = camera;
    camera.update();
    EXPECT_EQ(std::memcmp(&camera.eye, &before.eye, sizeof(Vec3) * 3), 0);
    EXPECT_EQ(std::memcmp(&camera.frustum, &before.frustum, sizeof(Frustum)), 0);
}

TEST(CameraApplyTest, RaceSetUpPlacement) {
    ASSERT_TRUE(ensureGlContext());
    Camera camera;
    camera.lookAt(fx(-5), fx(60), fx(210), 0, 0, fx(90), 0, ONE, 0);
    const ViewVectors v = appliedView(camera);
    expectThreeDecimals(v.f, 0.028, -0.331, -0.661, "f");
    expectThreeDecimals(v.s, 0.999, 0, 0.042, "s");
    expectThreeDecimals(v.u, 0.014, 0.662, -0.330, "u");
    EXPECT_NEAR(length(v.f), 0.74, 0.005); // the six-step square root makes it short
    // No translation in the view rows; the eye translation follows them.
    EXPECT_EQ(v.matrix[3], 0);
    EXPECT_EQ(v.matrix[7], 0);
    EXPECT_EQ(v.matrix[11], 0);
    EXPECT_EQ(v.matrix[15], 1);
    const double eye[3] = {-5, 60, 210};
    for (int r = 0; r < 3; ++r) {
        double expected = 0;
        for (int k = 0; k < 3; ++k) expected -= v.matrix[4 * k + r] * eye[k];
        EXPECT_NEAR(v.matrix[12 + r], expected, 1e-3) << r;
    }
    // The camera leaves the modelview selected.
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST(CameraApplyTest, PlacementAfterTheCrash) {
    ASSERT_TRUE(ensureGlContext());
    Camera camera;
    camera.lookAt(fx(20), fx(40), fx(160), 0, 0, 0, 0, ONE, 0);
    const ViewVectors v = appliedView(camera);
    expectThreeDecimals(v.f, -0.078, -0.156, -0.623, "f");
    expectThreeDecimals(v.s, 0.992, 0, -0.124, "s");
    expectThreeDecimals(v.u, -0.019, 0.628, -0.155, "u");
    EXPECT_LT(length(v.f), 0.7);
}

TEST(CameraApplyTest, EyeOnTheCentreGivesZeroRows) {
    ASSERT_TRUE(ensureGlContext());
    Camera camera;
    camera.lookAt(fx(3), fx(4), fx(5), fx(3), fx(4), fx(5), 0, ONE, 0);
    const ViewVectors v = appliedView(camera);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(v.matrix[i], 0) << i;
    EXPECT_EQ(v.matrix[15], 1);
    EXPECT_EQ(camera.eye.x, fx(3));
    EXPECT_EQ(camera.centre.z, fx(5));
    // Every plane degenerates to (0, 0, 0, 1.0), divided by the square root of 0.
    for (const Plane& plane : camera.frustum.planes) {
        EXPECT_EQ(plane.a, 0);
        EXPECT_EQ(plane.c, 0);
        EXPECT_EQ(plane.d, FixedDiv(ONE, 0x200));
    }
}
