// The raw meshes a model file yields, before they become fixed-point draw arrays.
#pragma once
#include <cstdint>
#include <vector>
#include "fixed.h"

struct MeshVertex {
    float x = 0, y = 0, z = 0; // already in the game's axes
};

struct TexVertex {
    float u = 0, v = 0; // already multiplied by the material's tiling
};

struct MeshFace {
    int32_t a = 0, b = 0, c = 0;    // into vertices
    int32_t ta = 0, tb = 0, tc = 0; // into texVertices
};

// Arrays exist once their count line has been read; elements no line fills stay zero.
struct MeshData {
    int32_t numVertex = 0;
    int32_t numFaces = 0;
    int32_t numTVertex = 0;
    std::vector<MeshVertex> vertices;
    std::vector<TexVertex> texVertices;
    std::vector<MeshFace> faces;
};

struct MeshObject {
    int32_t materialIndex = -1;
    uint8_t hasTexCoords = 0;
    MeshData* mesh = nullptr;           // owned
    Fixed* drawVertices = nullptr;      // owned: 9 per face
    Fixed* drawTexCoords = nullptr;     // owned: 6 per face, only with texture coordinates

    MeshObject();
    ~MeshObject();
    MeshObject(const MeshObject&) = delete;
    MeshObject& operator=(const MeshObject&) = delete;
};

// The mesh objects of one model file, as a loader fills them in; a Model is one.
struct MeshSet {
    int32_t objectCount = 0;
    std::vector<MeshObject*> objects; // owned by the Model
};
