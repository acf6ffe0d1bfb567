// Drawing the arena tree: which nodes are classified against the view, skipped or drawn
// whole, counted through the wrapped GL and a wrapped Frustum::classifyRect.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <vector>

#include "../../bench/arenagen.h"
#include "../unit/arenafile.h"
#include "../unit/testplatform.h"
#include "camera.h"
#include "glwrap.h"

namespace {

struct Rect {
    Fixed x, z, width, depth;
    bool operator==(const Rect& o) const { return x == o.x && z == o.z && width == o.width && depth == o.depth; }
};
std::vector<Rect> classified;

constexpr Fixed ONE = FIXED_ONE;

} // namespace

extern "C" int32_t __real__ZNK7Frustum12classifyRectEiiii(const Frustum* self, Fixed x, Fixed z, Fixed w, Fixed d);
extern "C" int32_t __wrap__ZNK7Frustum12classifyRectEiiii(const Frustum* self, Fixed x, Fixed z, Fixed w, Fixed d) {
    classified.push_back({x, z, w, d});
    return __real__ZNK7Frustum12classifyRectEiiii(self, x, z, w, d);
}

namespace {

const Plane everywhere = {0, 0, 0, ONE};

void setPlanes(Camera& camera, const Plane& first) {
    camera.frustum.planes[0] = first;
    for (int i = 1; i < 6; ++i) camera.frustum.planes[i] = everywhere;
}

class ArenaDraw : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        glwrap::reset();
        classified.clear();
    }
    // The 8 x 8 floor from -100 to 100 in x and z: four leaves of 32 triangles.
    Camera camera;
    ArenaFile arena{arenagen::floorAse(8, 8), &camera};
    const Rect quadrant[4] = {{F(-100), F(-100), F(100), F(100)},
                              {0, F(-100), F(100), F(100)},
                              {F(-100), 0, F(100), F(100)},
                              {0, 0, F(100), F(100)}};
    const Rect whole = {F(-100), F(-100), F(200), F(200)};
};

} // namespace

TEST_F(ArenaDraw, OutsideNodesAreSkippedAndIntersectingOnesTestedFurther) {
    camera.eye = {F(1000), F(50), F(1000)}; // over no node
    setPlanes(camera, {ONE, 0, 0, -ONE});      // x > 1: the low-x half is out of sight
    arena.tree->draw();
    EXPECT_EQ(classified, (std::vector<Rect>{whole, quadrant[0], quadrant[1], quadrant[2], quadrant[3]}));
    EXPECT_EQ(glwrap::argsOf("glVertexPointer", 3),
              (std::vector<intptr_t>{reinterpret_cast<intptr_t>(arena.tree->root->children[1]->vertices),
                                     reinterpret_cast<intptr_t>(arena.tree->root->children[3]->vertices)}));
}

TEST_F(ArenaDraw, InsideSubtreesAreDrawnWithoutFurtherTests) {
    camera.eye = {F(1000), F(50), F(1000)};
    setPlanes(camera, everywhere);
    arena.tree->draw();
    EXPECT_EQ(classified, std::vector<Rect>{whole});
    EXPECT_EQ(glwrap::count("glDrawArrays"), 4);

    // Everything out of sight: not one leaf.
    glwrap::reset();
    classified.clear();
    setPlanes(camera, {-ONE, 0, 0, F(-500)});
    arena.tree->draw();
    EXPECT_EQ(classified, std::vector<Rect>{whole});
    EXPECT_EQ(glwrap::count("glDrawArrays"), 0);
    EXPECT_EQ(glwrap::sequence(), "glPushMatrix glPopMatrix");
}

TEST_F(ArenaDraw, TheNodeUnderTheEyeIsNeverClassifiedButItsChildrenAre) {
    setPlanes(camera, everywhere);
    camera.eye = {F(-50), F(10), F(-50)}; // strictly inside the root and quadrant 0
    arena.tree->draw();
    EXPECT_EQ(classified, (std::vector<Rect>{quadrant[1], quadrant[2], quadrant[3]}));
    EXPECT_EQ(glwrap::count("glDrawArrays"), 4);

    // On the border between quadrants 0 and 1 the eye is over neither.
    classified.clear();
    camera.eye = {0, F(10), F(-50)};
    arena.tree->draw();
    EXPECT_EQ(classified, (std::vector<Rect>{quadrant[0], quadrant[1], quadrant[2], quadrant[3]}));
}

// Each view draws the arena with its own camera: the tree's camera has no say.
TEST_F(ArenaDraw, AnyViewsCameraCullsItsOwnDraw) {
    camera.eye = {F(1000), F(50), F(1000)};
    setPlanes(camera, {-ONE, 0, 0, F(-500)}); // the tree's camera sees nothing
    Camera other;
    other.eye = {F(-50), F(10), F(-50)};
    setPlanes(other, {ONE, 0, 0, -ONE}); // x > 1, from over quadrant 0
    arena.tree->draw(other);
    EXPECT_EQ(classified, (std::vector<Rect>{quadrant[1], quadrant[2], quadrant[3]}));
    EXPECT_EQ(glwrap::argsOf("glVertexPointer", 3),
              (std::vector<intptr_t>{reinterpret_cast<intptr_t>(arena.tree->root->children[0]->vertices),
                                     reinterpret_cast<intptr_t>(arena.tree->root->children[1]->vertices),
                                     reinterpret_cast<intptr_t>(arena.tree->root->children[3]->vertices)}));
}
