// The program-wide material table: every material of every model file read, addressed by
// its index; binds a material's texture only when it is not the bound one already.
#pragma once
#include <cstdint>
#include <vector>
#include "fixed.h"

constexpr int MATERIAL_TEXT_SIZE = 255;

struct Material {
    char name[MATERIAL_TEXT_SIZE] = {};
    char bitmap[MATERIAL_TEXT_SIZE] = {};
    Fixed diffuse[3] = {0, 0, 0};
    uint32_t texture = 0;
    float uTiling = 1.0f; // a material without tiling lines does not scale its coordinates
    float vTiling = 1.0f;
};

class MaterialManager {
public:
    ~MaterialManager();
    // Appends the material (the table owns it) and returns its index.
    int32_t add(Material* material);
    // Makes and fills the texture of the material; an index outside the table does nothing.
    void loadTexture(int32_t index);
    // Binds the material's texture unless it is bound already; an index outside the
    // table (-1: no material) does nothing.
    void bind(int32_t index);

    int32_t count() const { return static_cast<int32_t>(materials.size()); }
    Material* at(int32_t index) const;

    // Materials added after a mark can be dropped together, with their GL textures, so
    // that a race's models do not leave their materials behind.
    int32_t mark() const { return count(); }
    void dropSince(int32_t mark);

    // Without a GL context (tools, fuzzing) the table keeps its records but makes, binds
    // and deletes no textures.
    void setGlEnabled(bool enabled) { glEnabled = enabled; }
    bool isGlEnabled() const { return glEnabled; }

private:
    struct OwnedTexture {
        int32_t material;
        uint32_t name;
    };
    std::vector<Material*> materials;
    std::vector<OwnedTexture> textures; // every texture loadTexture made and kept
    bool glEnabled = true;
};

extern MaterialManager materialManager;
// The texture name the table's operations bound last; 0xFFFFFFFF: none.
extern uint32_t boundTexture;
