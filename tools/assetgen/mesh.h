// Triangle meshes and their ASE text, written in the layout of the 3ds Max ASCII exporter
// that the game's model reader expects.
#pragma once

#include <string>
#include <vector>

struct V3 {
    float x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b);
V3 operator-(V3 a, V3 b);
V3 operator*(V3 a, float k);
V3 cross(V3 a, V3 b);
float dot(V3 a, V3 b);
V3 normalized(V3 a);

struct UV {
    float u = 0, v = 0;
};

struct Tri {
    int a, b, c;     // vertex indices
    int ta, tb, tc;  // texture vertex indices
};

struct Mesh {
    std::string name;
    std::vector<V3> vertices;
    std::vector<UV> texVertices;
    std::vector<Tri> faces;
    int materialRef = 0;

    int vertex(V3 p);
    int texVertex(UV t);
    // Signed volume enclosed by the triangles (positive when they face outward).
    double signedVolume() const;
};

struct AseMaterial {
    std::string name;
    float diffuse[3] = {0.6f, 0.6f, 0.6f};
    std::string bitmap;  // empty: no texture map
    float uTiling = 1.0f, vTiling = 1.0f;
};

struct AseScene {
    std::string sceneName;
    std::vector<AseMaterial> materials;
    std::vector<Mesh> objects;
};

std::string aseText(const AseScene& scene);
