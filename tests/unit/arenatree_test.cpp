// Building the arena quadtree from a model file.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "../../bench/arenagen.h"
#include "arenafile.h"

namespace {

void forEachLeaf(const TreeNode* node, const std::function<void(const TreeNode&, int)>& visit, int depth = 0) {
    if (!node) return;
    bool leaf = true;
    for (const TreeNode* child : node->children) {
        if (child) {
            leaf = false;
            forEachLeaf(child, visit, depth + 1);
        }
    }
    if (leaf) visit(*node, depth);
}

// The triangle counts of a node's four children, -1 for a missing one.
std::vector<int> childCounts(const TreeNode* node) {
    std::vector<int> out;
    for (const TreeNode* child : node->children) out.push_back(child ? child->triangleCount : -1);
    return out;
}

// Triangles k = 0 .. count - 1, each three file vertices; corner positions from a function.
std::string triangles(int count, const std::function<void(int, int, float&, float&)>& corner) {
    std::string vertices, faces;
    char line[160];
    for (int k = 0; k < count; ++k) {
        for (int j = 0; j < 3; ++j) {
            float x, z;
            corner(k, j, x, z);
            std::snprintf(line, sizeof line, "*MESH_VERTEX %d %.6f %.6f 0\n", 3 * k + j, x, -z);
            vertices += line;
        }
        std::snprintf(line, sizeof line, "*MESH_FACE %d: A: %d B: %d C: %d\n", k, 3 * k, 3 * k + 1, 3 * k + 2);
        faces += line;
    }
    return "*GEOMOBJECT {\n*MESH_NUMVERTEX " + std::to_string(3 * count) + "\n*MESH_NUMFACES " +
           std::to_string(count) + "\n" + vertices + faces + "}\n";
}

} // namespace

TEST(ArenaTreeBuild, EightByEightFloorSplitsOnceIntoFourLeaves) {
    ArenaFile arena(arenagen::floorAse(8, 8, -100.0f, -60.0f, 200.0f, 120.0f));
    const TreeNode* root = arena.tree->root;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->triangleCount, 128);
    EXPECT_EQ(root->vertices, nullptr);
    EXPECT_EQ(arena.tree->textured, 1);
    EXPECT_EQ(arena.tree->materialIndex, materialManager.count() - 1);
    // The root's rectangle: the extremes, each converted on its own.
    const Fixed bounds[4] = {FloatToFixed(-100.0f), FloatToFixed(-60.0f), FloatToFixed(200.0f), FloatToFixed(120.0f)};
    EXPECT_TRUE(std::equal(bounds, bounds + 4, root->bounds));
    const float expected[4][2] = {{-100, -60}, {0, -60}, {-100, 0}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        const TreeNode* child = root->children[i];
        ASSERT_NE(child, nullptr);
        const float childBounds[4] = {expected[i][0], expected[i][1], 100.0f, 60.0f};
        EXPECT_TRUE(std::equal(childBounds, childBounds + 4, child->floatBounds)) << i;
        EXPECT_EQ(child->triangleCount, 32) << i;
        EXPECT_EQ(childCounts(child), std::vector<int>(4, -1));
        ASSERT_NE(child->vertices, nullptr);
        for (int v = 0; v < 3 * 32; ++v) { // every corner lies in the quadrant
            const Fixed x = child->vertices[3 * v], z = child->vertices[3 * v + 2];
            ASSERT_TRUE(x >= child->bounds[0] && x <= child->bounds[0] + child->bounds[2]) << i << " " << v;
            ASSERT_TRUE(z >= child->bounds[1] && z <= child->bounds[1] + child->bounds[3]) << i << " " << v;
        }
    }
}

TEST(ArenaTreeBuild, CrossingTrianglesAreDroppedAndBorderTrianglesGoToBoth) {
    // 40 small triangles in the low-x, low-z quadrant of a 100 x 100 square, one that
    // crosses the middle line x = 50, and one lying within 0.001 of that line.
    auto corner = [](int k, int j, float& x, float& z) {
        if (k < 40) {
            x = 1.0f + static_cast<float>(k) + (j == 1 ? 0.5f : 0.0f);
            z = 1.0f + (j == 2 ? 0.5f : 0.0f);
        } else if (k == 40) {
            x = j == 0 ? 40.0f : 60.0f;
            z = 10.0f + static_cast<float>(j);
        } else if (k == 41) {
            x = 50.0f + (j == 1 ? 0.0005f : 0.0f);
            z = 20.0f + static_cast<float>(j);
        } else {
            x = j == 0 ? 0.0f : 100.0f; // stretches the rectangle to 100 x 100
            z = j == 2 ? 100.0f : 0.0f;
        }
    };
    ArenaFile arena(triangles(43, corner));
    const TreeNode* root = arena.tree->root;
    ASSERT_NE(root, nullptr);
    // The crossing triangle and the big one are in no quadrant; the border one is in two.
    ASSERT_EQ(childCounts(root), (std::vector<int>{41, 1, 0, 0}));
    EXPECT_NE(root->children[2]->vertices, nullptr); // an empty leaf still has its arrays
    EXPECT_EQ(arena.tree->textured, 0);
}

TEST(ArenaTreeBuild, TrianglesAboutOnePointStopSplitting) {
    // 100 thin triangles about one corner of the floor: no split parts them.
    auto corner = [](int k, int j, float& x, float& z) {
        if (k == 99) {
            x = j == 1 ? 64.0f : 0.0f;
            z = j == 2 ? 64.0f : 0.0f;
            return;
        }
        x = j == 0 ? 1.0f : 1.0f + 0.001f * static_cast<float>(k + j);
        z = j == 2 ? 1.002f : 1.0f;
    };
    ArenaFile arena(triangles(100, corner));
    int leaves = 0, total = 0;
    forEachLeaf(arena.tree->root, [&](const TreeNode& leaf, int depth) {
        ++leaves;
        total += leaf.triangleCount;
        EXPECT_LE(depth, ArenaTree::maxDepth);
        if (leaf.triangleCount > ArenaTree::leafLimit) {
            // An oversized leaf brings colours for all of its corners.
            ASSERT_NE(leaf.colours, nullptr);
            EXPECT_EQ(leaf.colours[4 * 30], arenaColours[0]);
            EXPECT_EQ(leaf.colours[4 * (3 * leaf.triangleCount - 1) + 3], FIXED_ONE);
        } else {
            EXPECT_EQ(leaf.colours, nullptr);
        }
    });
    EXPECT_GT(leaves, 1);
    EXPECT_EQ(total, 99);
}

TEST(ArenaTreeBuild, NoFloorMeansNoPlayingField) {
    EXPECT_EQ(ArenaFile("*MATERIAL_COUNT 0\n").tree->root, nullptr);
    EXPECT_EQ(ArenaFile("*GEOMOBJECT {\n*MESH_NUMVERTEX 3\n*MATERIAL_REF 0\n}\n").tree->root, nullptr);
    ase_testing::ensurePlatform();
    testing::internal::CaptureStderr();
    sharedState.appDir = "/nonexistent-palvex/";
    ArenaTree missing("arena.ase", nullptr);
    sharedState.appDir.clear();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("File arena.ase does not exists"), std::string::npos);
    EXPECT_EQ(missing.root, nullptr);
}

TEST(ArenaTreeBuild, ColoursRepeatTheFiveShadesTwoTrianglesEach) {
    const Fixed shades[5] = {0x4242, 0x6161, 0x8484, 0x9A9A, 0x7575};
    for (int corner : {0, 5, 6, 29, 30, 95}) EXPECT_EQ(arenaColours[4 * corner], shades[(corner % 30) / 6]) << corner;
    EXPECT_EQ(arenaColours[4 * 95 + 3], FIXED_ONE);
    EXPECT_EQ(arenaColours[2], 0x4949);
}

