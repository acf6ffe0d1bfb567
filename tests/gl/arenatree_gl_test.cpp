// Drawing the arena tree: which nodes are classified against the view, skipped or drawn
// whole, counted through the wrapped GL and a wrapped Frustum::classifyRect.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../../bench/arenagen.h"
#include "../unit/asetesting.h"
#include "../unit/testplatform.h"
#include "arenatree.h"
#include "camera.h"
#include "glwrap.h"
#include "renderingcontext.h"
#include "sharedstate.h"

namespace {

struct Rect {
    Fixed x, z, width, depth;
    bool operator==(const Rect& o) const { return x == o.x && z == o.z && width == o.width && depth == o.depth; }
};
std::vector<Rect> classified;

constexpr Fixed ONE = FIXED_ONE;
constexpr Fixed fx(int whole) { return whole * ONE; }

} // namespace

extern "C" int32_t __real__ZNK7Frustum12classifyRectEiiii(const Frustum* self, Fixed x, Fixed z, Fixed w, Fixed d);
extern "C" int32_t __wrap__ZNK7Frustum12classifyRectEiiii(const Frustum* self, Fixed x, Fixed z, Fixed w, Fixed d) {
    classified.push_back({x, z, w, d});
    return __real__ZNK7Frustum12classifyRectEiiii(self, x, z, w, d);
}

namespace {

// An arena file in a directory of its own, built into a tree with the given camera.
class Arena {
public:
    Arena(const std::string& text, Camera* camera) {
        char pattern[] = "/tmp/palvex-arenagl-XXXXXX";
        dir = std::string(mkdtemp(pattern)) + "/";
        FILE* f = std::fopen((dir + "arena.ase").c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        std::strcpy(saved, sharedState.appDir);
        std::strcpy(sharedState.appDir, dir.c_str());
        materialManager.setGlEnabled(false); // no ground picture in this directory
        mark = materialManager.mark();
        tree = new ArenaTree("arena.ase", camera);
        materialManager.setGlEnabled(true);
    }
    ~Arena() {
        delete tree;
        materialManager.dropSince(mark);
        std::strcpy(sharedState.appDir, saved);
        std::remove((dir + "arena.ase").c_str());
        std::remove(dir.c_str());
    }
    ArenaTree* tree;

private:
    std::string dir;
    char saved[APP_DIR_SIZE];
    int32_t mark;
};

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
    Arena arena{arenagen::floorAse(8, 8), &camera};
    const Rect quadrant[4] = {{fx(-100), fx(-100), fx(100), fx(100)},
                              {0, fx(-100), fx(100), fx(100)},
                              {fx(-100), 0, fx(100), fx(100)},
                              {0, 0, fx(100), fx(100)}};
    const Rect whole = {fx(-100), fx(-100), fx(200), fx(200)};
};

} // namespace

TEST_F(ArenaDraw, OutsideNodesAreSkippedAndIntersectingOnesTestedFurther) {
    camera.eye = {fx(1000), fx(50), fx(1000)}; // over no node
    setPlanes(camera, {ONE, 0, 0, -ONE});      // x > 1: the low-x half is out of sight
    arena.tree->draw();
    EXPECT_EQ(classified, (std::vector<Rect>{whole, quadrant[0], quadrant[1], quadrant[2], quadrant[3]}));
    ASSERT_EQ(glwrap::count("glDrawArrays"), 2);
    const auto pointers = glwrap::callsOf("glVertexPointer");
    EXPECT_EQ(pointers[0].args[3], reinterpret_cast<intptr_t>(arena.tree->root->children[1]->vertices));
    EXPECT_EQ(pointers[1].args[3], reinterpret_cast<intptr_t>(arena.tree->root->children[3]->vertices));
    EXPECT_EQ(glwrap::callsOf("glDrawArrays")[0].args, (std::vector<intptr_t>{GL_TRIANGLES, 0, 96}));
}

TEST_F(ArenaDraw, InsideSubtreesAreDrawnWithoutFurtherTests) {
    camera.eye = {fx(1000), fx(50), fx(1000)};
    setPlanes(camera, everywhere);
    arena.tree->draw();
    EXPECT_EQ(classified, std::vector<Rect>{whole});
    EXPECT_EQ(glwrap::count("glDrawArrays"), 4);

    // Everything out of sight: not one leaf.
    glwrap::reset();
    classified.clear();
    setPlanes(camera, {-ONE, 0, 0, fx(-500)});
    arena.tree->draw();
    EXPECT_EQ(classified, std::vector<Rect>{whole});
    EXPECT_EQ(glwrap::count("glDrawArrays"), 0);
    EXPECT_EQ(glwrap::sequence(), "glPushMatrix glPopMatrix");
}

TEST_F(ArenaDraw, TheNodeUnderTheEyeIsNeverClassifiedButItsChildrenAre) {
    setPlanes(camera, everywhere);
    camera.eye = {fx(-50), fx(10), fx(-50)}; // strictly inside the root and quadrant 0
    arena.tree->draw();
    EXPECT_EQ(classified, (std::vector<Rect>{quadrant[1], quadrant[2], quadrant[3]}));
    EXPECT_EQ(glwrap::count("glDrawArrays"), 4);

    // On the border between quadrants 0 and 1 the eye is over neither.
    classified.clear();
    camera.eye = {0, fx(10), fx(-50)};
    arena.tree->draw();
    EXPECT_EQ(classified, (std::vector<Rect>{quadrant[0], quadrant[1], quadrant[2], quadrant[3]}));
    // On the root's own border it is not over the root either.
    classified.clear();
    camera.eye = {fx(-100), fx(10), fx(-50)};
    arena.tree->draw();
    EXPECT_EQ(classified, std::vector<Rect>{whole});
}

TEST_F(ArenaDraw, LeavesDrawTexturedOrInTheArenaColours) {
    setPlanes(camera, everywhere);
    camera.eye = {fx(1000), fx(50), fx(1000)};
    arena.tree->textured = 1;
    boundTexture = 0xFFFFFFFF;
    arena.tree->draw();
    const std::string leaf = " glVertexPointer glEnableClientState glEnable glTexCoordPointer glEnableClientState "
                             "glDrawArrays glDisableClientState glDisableClientState glDisableClientState";
    // The floor's material has a texture name of 0 that is not bound yet: one bind.
    EXPECT_EQ(glwrap::sequence(), "glBindTexture glPushMatrix" + leaf + leaf + leaf + leaf + " glPopMatrix");
    EXPECT_EQ(glwrap::count("glColorPointer"), 0);

    glwrap::reset();
    arena.tree->textured = 0;
    arena.tree->draw();
    EXPECT_EQ(glwrap::count("glTexCoordPointer"), 0);
    EXPECT_EQ(glwrap::count("glDisable"), 4);
    // Every leaf's colours start at the first shade.
    for (const glwrap::Call& call : glwrap::callsOf("glColorPointer")) {
        EXPECT_EQ(call.args[0], 4);
        EXPECT_EQ(call.args[1], GL_FIXED);
        EXPECT_EQ(call.args[3], reinterpret_cast<intptr_t>(arenaColours.data()));
    }
    const auto disabled = glwrap::callsOf("glDisableClientState");
    ASSERT_EQ(disabled.size(), 12u);
    EXPECT_EQ(disabled[0].args[0], GL_VERTEX_ARRAY);
    EXPECT_EQ(disabled[1].args[0], GL_TEXTURE_COORD_ARRAY);
    EXPECT_EQ(disabled[2].args[0], GL_COLOR_ARRAY);
}

TEST_F(ArenaDraw, GameArenaFromTheRaceStartCamera) {
    const std::string text = ase_testing::readFile(std::string(PALVEX_SOURCE_DIR) + "/data/arena.ase");
    Camera start;
    Arena game(text, &start);
    ASSERT_NE(game.tree->root, nullptr);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    setPerspective(60.0f, 4.0f / 3.0f, 40.0f, 500.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    start.lookAt(fx(-5), fx(60), fx(210), 0, 0, fx(90), 0, ONE, 0);
    start.apply();
    int leaves = 0;
    std::vector<const TreeNode*> stack = {game.tree->root};
    while (!stack.empty()) {
        const TreeNode* node = stack.back();
        stack.pop_back();
        if (node->vertices) ++leaves;
        for (const TreeNode* child : node->children) {
            if (child) stack.push_back(child);
        }
    }
    glwrap::reset();
    game.tree->draw();
    const int drawn = glwrap::count("glDrawArrays");
    // Part of the floor is behind the viewer: some leaves are culled, and some are drawn.
    EXPECT_GT(drawn, 0);
    EXPECT_LT(drawn, leaves);
    std::printf("race start camera: %d of %d leaves drawn\n", drawn, leaves);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
