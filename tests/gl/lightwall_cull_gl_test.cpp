// Drawing a light wall for one view: the blocks out of the view's frustum are left out, and
// what reaches the picture is, byte for byte, what drawing the whole wall gives.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <cstdint>
#include <vector>

#include "../../bench/longwalls.h"
#include "../unit/testplatform.h"
#include "camera.h"
#include "glwrap.h"
#include "lightwall.h"
#include "renderingcontext.h"

namespace {

using platform::LOGICAL_HEIGHT;
using platform::LOGICAL_WIDTH;

// A long game's wall over the whole arena and beyond its sides, so that its blocks lie in
// view, out of it and across every plane of the views below.
LightWall& wanderingWall(int quads) {
    clearWallRegistry();
    LightWall& wall = *wallAt(createWall({0, 0, F(90)}, MinusZ, 1234));
    wander(&wall, 99, quads, 400);
    return wall;
}

// A fine zig-zag from x = -400 to 400 across the middle: blocks of about five units,
// many of them just inside or just outside a plane of the view.
LightWall& fineWall() {
    LightWall& wall = *wallAt(createWall({F(-400), 0, 0}, PlusX, 4321));
    Vec3 p{F(-400), 0, 0};
    for (int i = 0; p.x < F(400); ++i) {
        p.z = i % 2 ? 0 : FIXED_ONE;
        wall.turn(p, i % 2 ? PlusX : PlusZ);
        p.x += FIXED_ONE * 3 / 10;
        wall.turn(p, i % 2 ? MinusZ : PlusX);
    }
    wall.follow(p);
    return wall;
}

std::vector<uint8_t> readPicture(int width, int height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

int drawnVertices() {
    int total = 0;
    for (intptr_t count : glwrap::argsOf("glDrawArrays", 2)) total += static_cast<int>(count);
    return total;
}

class WallCulling : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        glShadeModel(GL_FLAT);
        glEnable(GL_DEPTH_TEST);
        glClearColorx(0x8000, 0x8000, 0x8000, 0);
    }
    void TearDown() override {
        clearWallRegistry();
        glViewport(0, 0, LOGICAL_WIDTH, LOGICAL_HEIGHT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    // One view of the given size in the corner of the pbuffer, the camera applied.
    void view(Camera& camera, int width, int height) {
        glViewport(0, 0, width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        setDrawablePerspective(width, height);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        camera.apply();
    }
};

} // namespace

TEST_F(WallCulling, CulledDrawPutsTheSamePixelsAsTheWholeWall) {
    LightWall& wall = wanderingWall(3000);
    LightWall& fine = fineWall();
    struct Placement {
        Vec3 eye, centre;
    };
    // The race's start view turned about the floor, views low over the floor where walls
    // pass beside and over the eye (near and top planes), and one from high above.
    const Placement placements[] = {
        {{F(-5), F(60), F(210)}, {0, 0, F(90)}},   {{F(210), F(60), F(5)}, {F(90), 0, 0}},
        {{F(5), F(60), F(-210)}, {0, 0, F(-90)}},  {{F(-210), F(60), F(-5)}, {F(-90), 0, 0}},
        {{F(30), F(8), F(40)}, {F(-60), F(5), F(-50)}}, {{F(-100), F(12), F(0)}, {F(60), F(12), F(30)}},
        {{0, F(400), F(1)}, {0, 0, 0}},
    };
    const int sizes[][2] = {{LOGICAL_WIDTH, LOGICAL_HEIGHT}, {LOGICAL_WIDTH / 2, LOGICAL_HEIGHT / 2}, {LOGICAL_WIDTH, 90}};
    int leftOut = 0;
    for (const Placement& placement : placements) {
        for (const auto& size : sizes) {
            Camera camera;
            camera.lookAt(placement.eye.x, placement.eye.y, placement.eye.z, placement.centre.x, placement.centre.y,
                          placement.centre.z, 0, FIXED_ONE, 0);
            view(camera, size[0], size[1]);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            wall.draw();
            fine.draw();
            const std::vector<uint8_t> whole = readPicture(size[0], size[1]);

            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glwrap::reset();
            wall.draw(camera.frustum);
            const int drawn = drawnVertices();
            fine.draw(camera.frustum);
            ASSERT_EQ(readPicture(size[0], size[1]), whole) << "eye " << placement.eye << " view " << size[0] << " x " << size[1];
            EXPECT_LE(drawn, wall.vertexCount);
            leftOut += drawn < wall.vertexCount;
            // Something of the wall is in every one of these views.
            EXPECT_NE(whole, std::vector<uint8_t>(whole.size(), 0)) << placement.eye;
        }
    }
    EXPECT_GE(leftOut, 18) << "most views leave blocks out";
}

// The calls: the same state as the whole wall's, one draw per run of neighbouring blocks
// in sight, and none at all for a wall wholly out of sight.
TEST_F(WallCulling, RunsOfBlocksInSightAreOneDrawEach) {
    clearWallRegistry();
    LightWall& wall = *wallAt(createWall({0, 0, 0}, PlusX, 0));
    // A U of unit quads: block 0 along x at z = 0, block 1 along z at x = 32, block 2
    // back along x at z = 32, and four quads of block 3 on from x = 0.
    Vec3 p{0, 0, 0};
    for (int k = 1; k < 100; ++k) {
        if (k <= 32) p.x += FIXED_ONE;
        else if (k <= 64) p.z += FIXED_ONE;
        else p.x -= FIXED_ONE;
        wall.turn(p, k < 32 ? PlusX : k < 64 ? PlusZ : MinusX);
    }
    wall.follow({p.x - FIXED_ONE, 0, p.z});
    Frustum frustum;
    for (Plane& plane : frustum.planes) plane = {0, 0, 0, FIXED_ONE};

    frustum.planes[0] = {-FIXED_ONE, 0, 0, F(30)}; // x < 30: all but block 1
    glwrap::reset();
    wall.draw(frustum);
    EXPECT_EQ(glwrap::argsOf("glDrawArrays", 1), (std::vector<intptr_t>{0, 64 * 6}));
    EXPECT_EQ(glwrap::argsOf("glDrawArrays", 2), (std::vector<intptr_t>{32 * 6, 36 * 6}));

    frustum.planes[0] = {0, 0, -FIXED_ONE, F(-40)}; // z < -40: nothing of this wall
    glwrap::reset();
    wall.draw(frustum);
    EXPECT_EQ(glwrap::sequence(), "glDisable glDisable glEnableClientState glEnableClientState glColorPointer "
                                  "glVertexPointer glDisableClientState glDisableClientState glEnable");

    LightWall::culling = false;
    glwrap::reset();
    wall.draw(frustum);
    LightWall::culling = true;
    EXPECT_EQ(glwrap::argsOf("glDrawArrays", 2), std::vector<intptr_t>{wall.vertexCount}) << "culling switched off";
}
