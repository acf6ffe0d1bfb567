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
