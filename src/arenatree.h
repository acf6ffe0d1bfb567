// The arena floor as a quadtree over the x-z plane: whole regions out of sight are skipped
// when drawing, and the root's rectangle is the playing field.
#pragma once
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

    ~TreeNode();
};

class ArenaTree {
public:
    ArenaTree(const char* fileName, Camera* camera);
    ~ArenaTree();
    ArenaTree(const ArenaTree&) = delete;
    ArenaTree& operator=(const ArenaTree&) = delete;

    void draw();

    Camera* camera = nullptr;
    int32_t materialIndex = -1;
    TreeNode* root = nullptr;
    uint8_t textured = 0;

    static constexpr int32_t leafLimit = 32;
};
