// The camera: following the bike, orbiting about the centre, and the view it applies.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <cmath>

#include "camera.h"
#include "testplatform.h"

namespace {

constexpr Fixed ONE = FIXED_ONE;
constexpr Fixed HALF_PI = 102943;

// The modelview the camera leaves on identity matrices, with its side, up and forward rows.
struct View {
    explicit View(Camera& camera) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        camera.apply();
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
    }
    void expectRows(std::initializer_list<double> s, std::initializer_list<double> u, std::initializer_list<double> f) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(m[4 * i], s.begin()[i], 0.0005) << "s " << i;
            EXPECT_NEAR(m[4 * i + 1], u.begin()[i], 0.0005) << "u " << i;
            EXPECT_NEAR(-m[4 * i + 2], f.begin()[i], 0.0005) << "f " << i;
        }
    }
    GLfloat m[16];
};

} // namespace

TEST(CameraMoveTest, FollowMovesEyeAndCentreAlongTheFloor) {
    Camera camera;
    camera.lookAt(F(-5), F(60), F(210), 0, 0, F(90), 0, ONE, 0);
    camera.follow({ONE, F(5), 0}, F(2));
    EXPECT_EQ(camera.eye, (Vec3{F(-3), F(60), F(210)}));
    EXPECT_EQ(camera.centre, (Vec3{F(2), 0, F(90)}));
    camera.follow({0, 0, -ONE}, ONE / 2);
    EXPECT_EQ(camera.eye.z, F(209.5));
    EXPECT_EQ(camera.centre.z, F(89.5));
}

TEST(CameraMoveTest, OrbitByZeroShrinksTheOffsetAndByAQuarterTurnsIt) {
    Camera camera;
    camera.lookAt(F(13), F(7), F(-20), F(3), 0, F(-40), 0, ONE, 0);
    camera.orbit(0, 0, ONE, 0);
    EXPECT_EQ(camera.eye, (Vec3{F(3) + FixedMul(65534, F(10)), F(7), F(-40) + FixedMul(65534, F(20))}));
    camera.lookAt(F(4), F(9), F(15), F(4), F(1), F(5), 0, ONE, 0);
    camera.orbit(HALF_PI, 0, ONE, 0);
    EXPECT_EQ(camera.eye, (Vec3{F(14) - 20, F(9), F(5)}));
    EXPECT_EQ(camera.centre, (Vec3{F(4), F(1), F(5)}));
}

TEST(CameraApplyTest, RaceSetUpPlacement) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    Camera camera;
    camera.lookAt(F(-5), F(60), F(210), 0, 0, F(90), 0, ONE, 0);
    View v(camera);
    v.expectRows({0.999, 0, 0.042}, {0.014, 0.662, -0.330}, {0.028, -0.331, -0.661});
    EXPECT_NEAR(std::hypot(v.m[2], v.m[6], v.m[10]), 0.74, 0.005); // the six-step square root makes it short
    const double eye[3] = {-5, 60, 210};
    for (int r = 0; r < 3; ++r) {
        EXPECT_NEAR(v.m[12 + r], -(v.m[r] * eye[0] + v.m[4 + r] * eye[1] + v.m[8 + r] * eye[2]), 1e-3) << r;
    }

    // After the player's crash the camera looks at the arena's centre.
    camera.lookAt(F(20), F(40), F(160), 0, 0, 0, 0, ONE, 0);
    View(camera).expectRows({0.992, 0, -0.124}, {-0.019, 0.628, -0.155}, {-0.078, -0.156, -0.623});
}

TEST(CameraApplyTest, EyeOnTheCentreGivesZeroRows) {
    ASSERT_TRUE(testing_support::ensureGlContext());
    Camera camera;
    camera.lookAt(F(3), F(4), F(5), F(3), F(4), F(5), 0, ONE, 0);
    View v(camera);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(v.m[i], 0) << i;
    EXPECT_EQ(v.m[15], 1);
    // Every plane degenerates to (0, 0, 0, 1.0), divided by the square root of 0.
    for (const Plane& plane : camera.frustum.planes) EXPECT_EQ(plane, (Plane{0, 0, 0, FixedDiv(ONE, 0x200)}));
}
