// The arena floor as a quadtree over the x-z plane: whole regions out of sight are skipped
// when drawing, and the root's rectangle is the playing field.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include "fixed.h"

class Camera;
struct MeshData;

struct TreeNode {
    TreeNode* children[4] = {nullptr, nullptr, nullptr, nullptr};
    float floatBounds[4] = {0, 0, 0, 0}; // x, z, width, depth
    Fixed bounds[4] = {0, 0, 0, 0};      // FloatToFixed of floatBounds
    Fixed* vertices = nullptr;           // leaf: 9 per triangle
    Fixed* texCoords = nullptr;          // leaf with texture coordinates: 6 per triangle
    int32_t triangleCount = 0;
    // Only a leaf that the depth bound left with more triangles than leafLimit: its own
    // untextured corner colours, since arenaColours covers leafLimit triangles.
    Fixed* colours = nullptr;

    TreeNode() = default;
    ~TreeNode();
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;
};

class ArenaTree {
public:
    ArenaTree(const char* fileName, Camera* camera);
    ~ArenaTree();
    ArenaTree(const ArenaTree&) = delete;
    ArenaTree& operator=(const ArenaTree&) = delete;

    // Culled against the tree's own camera (none: everything is drawn).
    void draw();
    // Culled against the eye and frustum of any view's camera, after its apply.
    void draw(const Camera& view);

    Camera* camera = nullptr;
    int32_t materialIndex = -1;
    // Null when the file gives no geometry object with faces: there is no playing field,
    // so every position counts as outside it.
    TreeNode* root = nullptr;
    uint8_t textured = 0;

    static constexpr int32_t leafLimit = 32;
    // Splitting stops here even above leafLimit, and where a quadrant keeps every
    // triangle of its node (many triangles about one point): no level would part them.
    static constexpr int32_t maxDepth = 12;

    // Builds from a mesh already in memory (as build does with the file's first object).
    void buildRoot(const MeshData& mesh, bool withTex);

private:
    void build(const char* fileName);
    void split(TreeNode* node, const MeshData& mesh, int32_t limit, bool withTex, int32_t depth, size_t parentCount);
    void drawFrom(const Camera* view);
    void drawNode(const TreeNode* node, bool test, const Camera* view);
};

// The untextured corner colours: five shades of two triangles each, repeating over the
// 96 corners of a full leaf.
extern const std::array<Fixed, 96 * 4> arenaColours;
