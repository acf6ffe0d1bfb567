// Turning loaded meshes into fixed-point draw arrays.
#include <gtest/gtest.h>

#include "asetesting.h"

using namespace ase_testing;

namespace {

struct Built {
    explicit Built(const std::string& text) {
        materialManager.setGlEnabled(false);
        mark = materialManager.mark();
        loadInto(model, text);
        model.buildDrawArrays();
    }
    ~Built() {
        materialManager.dropSince(mark);
        materialManager.setGlEnabled(true);
    }
    Model model;
    int32_t mark;
};

} // namespace

TEST(ModelArrays, FacesAreDrawnLastFirstWithTruncatedCoordinates) {
    Built b("*GEOMOBJECT {\n*MESH_NUMVERTEX 4\n*MESH_NUMFACES 3\n*MESH_NUMTVERTEX 2\n"
            "*MESH_VERTEX 0 -0.5 0 0\n*MESH_VERTEX 1 1.99999 0 0\n*MESH_VERTEX 2 0 0 1\n*MESH_VERTEX 3 0 -2 0\n"
            "*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 1 B: 2 C: 3\n*MESH_FACE 2: A: 3 B: 0 C: 1\n"
            "*MESH_TVERT 0 0.25 0.5\n*MESH_TVERT 1 1 1\n*MESH_TFACE 0 0 1 0\n*MESH_TFACE 2 1 1 0\n}\n");
    const MeshObject& object = *b.model.objects.at(0);
    ASSERT_NE(object.drawVertices, nullptr);
    ASSERT_NE(object.drawTexCoords, nullptr);
    const Fixed* v = object.drawVertices;
    // Triangle 0 is face 2 (corners 3, 0, 1), triangle 2 is face 0 (corners 0, 1, 2).
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[2], 2 * 65536); // file Y -2 is the game's z 2
    EXPECT_EQ(v[3], -32768);
    EXPECT_EQ(v[6], 131071); // 1.99999 is one raw unit below 2.0
    EXPECT_EQ(v[18], -32768);
    EXPECT_EQ(v[24 + 1], 65536); // face 0's corner 2: file Z 1 is the game's y 1
    const Fixed* t = object.drawTexCoords;
    EXPECT_EQ(t[0], 65536); // face 2, texture corner 1
    EXPECT_EQ(t[4], 16384); // face 2, texture corner 0
    EXPECT_EQ(t[5], 32768);
    EXPECT_EQ(t[6], 16384); // face 1 had no texture-face line: texture vertex 0
    EXPECT_EQ(t[6], t[8]);
}

TEST(ModelArrays, CornersOutsideTheArraysAreTheZeroVertex) {
    Built b("*GEOMOBJECT {\n*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n*MESH_NUMTVERTEX 1\n"
            "*MESH_VERTEX 0 5 5 5\n*MESH_FACE 0: A: 0 B: 7 C: -3\n*MESH_TVERT 0 1 1\n*MESH_TFACE 0 0 9 -1\n}\n");
    const MeshObject& object = *b.model.objects.at(0);
    EXPECT_EQ(object.drawVertices[0], 5 * 65536);
    for (int i = 3; i < 9; ++i) EXPECT_EQ(object.drawVertices[i], 0) << i;
    EXPECT_EQ(object.drawTexCoords[0], 65536);
    for (int i = 2; i < 6; ++i) EXPECT_EQ(object.drawTexCoords[i], 0) << i;
}

TEST(ModelArrays, ObjectsWithoutCoordinatesOrFacesAndClear) {
    Built b("*GEOMOBJECT {\n*MESH_NUMVERTEX 3\n}\n*GEOMOBJECT {\n*MESH_NUMFACES 2\n}\n");
    ASSERT_EQ(b.model.objects.size(), 2u);
    EXPECT_EQ(b.model.objects[0]->drawTexCoords, nullptr);
    EXPECT_NE(b.model.objects[0]->drawVertices, nullptr);
    EXPECT_EQ(b.model.objects[1]->drawVertices[17], 0);
    b.model.clear();
    EXPECT_TRUE(b.model.objects.empty());
    EXPECT_EQ(b.model.objectCount, 2);
}

TEST(ModelArrays, GameModelsLoad) {
    materialManager.setGlEnabled(false);
    const int32_t mark = materialManager.mark();
    for (const char* name : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"}) {
        Model model;
        auto* loader = new AseLoader();
        model.loader = loader;
        loader->loadPath((std::string(PALVEX_SOURCE_DIR) + "/data/" + name).c_str(), &model);
        model.buildDrawArrays();
        ASSERT_EQ(model.objects.size(), 1u) << name;
        const MeshObject& object = *model.objects[0];
        EXPECT_GT(object.mesh->numFaces, 0) << name;
        EXPECT_EQ(object.hasTexCoords, 1) << name;
        EXPECT_GE(object.materialIndex, mark) << name;
        // Every corner of every face names a vertex of the file.
        for (const MeshFace& f : object.mesh->faces) {
            for (int32_t corner : {f.a, f.b, f.c}) ASSERT_LT(static_cast<uint32_t>(corner), static_cast<uint32_t>(object.mesh->numVertex)) << name;
            for (int32_t corner : {f.ta, f.tb, f.tc}) ASSERT_LT(static_cast<uint32_t>(corner), static_cast<uint32_t>(object.mesh->numTVertex)) << name;
        }
    }
    materialManager.dropSince(mark);
    materialManager.setGlEnabled(true);
}
