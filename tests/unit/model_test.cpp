// Turning loaded meshes into fixed-point draw arrays.
#include <gtest/gtest.h>

#include <vector>

#include "asetesting.h"

using namespace ase_testing;
using Row = std::vector<Fixed>;

namespace {

// A model loaded from text with its draw arrays built; its materials are dropped after.
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
    Row vertices(size_t n) const { return Row(object(n).drawVertices, object(n).drawVertices + 9 * faces(n)); }
    Row texCoords(size_t n) const { return Row(object(n).drawTexCoords, object(n).drawTexCoords + 6 * faces(n)); }
    const MeshObject& object(size_t n) const { return *model.objects.at(n); }
    size_t faces(size_t n) const { return object(n).mesh->faces.size(); }
    Model model;
    int32_t mark;
};

} // namespace

TEST(ModelArrays, FacesAreDrawnLastFirstWithTruncatedCoordinates) {
    Built b("*GEOMOBJECT {\n*MESH_NUMVERTEX 4\n*MESH_NUMFACES 3\n*MESH_NUMTVERTEX 2\n"
            "*MESH_VERTEX 0 -0.5 0 0\n*MESH_VERTEX 1 1.99999 0 0\n*MESH_VERTEX 2 0 0 1\n*MESH_VERTEX 3 0 -2 0\n"
            "*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_FACE 1: A: 1 B: 2 C: 3\n*MESH_FACE 2: A: 3 B: 0 C: 1\n"
            "*MESH_TVERT 0 0.25 0.5\n*MESH_TVERT 1 1 1\n*MESH_TFACE 0 0 1 0\n*MESH_TFACE 2 1 1 0\n}\n");
    ASSERT_NE(b.object(0).drawTexCoords, nullptr);
    // The game's (x, y, z) is the file's (x, z, -y); 1.99999 is one raw unit below 2.0.
    const Row v0 = {-32768, 0, 0}, v1 = {131071, 0, 0}, v2 = {0, 65536, 0}, v3 = {0, 0, 131072};
    // Face 2 (corners 3, 0, 1) first, face 0 (corners 0, 1, 2) last.
    Row vertices;
    for (const Row& v : {v3, v0, v1, v1, v2, v3, v0, v1, v2}) vertices.insert(vertices.end(), v.begin(), v.end());
    EXPECT_EQ(b.vertices(0), vertices);
    // Face 1 had no texture-face line: texture vertex 0 at every corner.
    const Fixed t0u = 16384, t0v = 32768, t1 = 65536;
    EXPECT_EQ(b.texCoords(0), (Row{t1, t1, t1, t1, t0u, t0v, t0u, t0v, t0u, t0v, t0u, t0v, t0u, t0v, t1, t1, t0u, t0v}));
}

TEST(ModelArrays, CornersOutsideTheArraysAreTheZeroVertex) {
    Built b("*GEOMOBJECT {\n*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n*MESH_NUMTVERTEX 1\n"
            "*MESH_VERTEX 0 5 5 5\n*MESH_FACE 0: A: 0 B: 7 C: -3\n*MESH_TVERT 0 1 1\n*MESH_TFACE 0 0 9 -1\n}\n");
    EXPECT_EQ(b.vertices(0), (Row{5 * 65536, 5 * 65536, -5 * 65536, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(b.texCoords(0), (Row{65536, 65536, 0, 0, 0, 0}));
}

TEST(ModelArrays, ObjectsWithoutCoordinatesOrFacesAndClear) {
    Built b("*GEOMOBJECT {\n*MESH_NUMVERTEX 3\n}\n*GEOMOBJECT {\n*MESH_NUMFACES 2\n}\n");
    ASSERT_EQ(b.model.objects.size(), 2u);
    EXPECT_EQ(b.object(0).drawTexCoords, nullptr);
    EXPECT_NE(b.object(0).drawVertices, nullptr);
    EXPECT_EQ(b.vertices(1), Row(18, 0));
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
        const auto within = [](int32_t corner, int32_t count) { return corner >= 0 && corner < count; };
        for (const MeshFace& f : object.mesh->faces) {
            ASSERT_TRUE(within(f.a, object.mesh->numVertex) && within(f.b, object.mesh->numVertex) &&
                        within(f.c, object.mesh->numVertex)) << name;
            ASSERT_TRUE(within(f.ta, object.mesh->numTVertex) && within(f.tb, object.mesh->numTVertex) &&
                        within(f.tc, object.mesh->numTVertex)) << name;
        }
    }
    materialManager.dropSince(mark);
    materialManager.setGlEnabled(true);
}
