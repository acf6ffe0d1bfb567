#include "arenatree.h"

#include <GLES/gl.h>
#include <array>
#include <cstdint>

#include "camera.h"
#include "materialmanager/materialmanager.h"
#include "model.h"

namespace {

// The five shades, each component c given as c * 257; a shade covers six corners.
constexpr Fixed shades[5][3] = {
    {0x4242, 0x4444, 0x4949}, {0x6161, 0x6464, 0x6C6C}, {0x8484, 0x8888, 0x9494},
    {0x9A9A, 0x9F9F, 0xACAC}, {0x7575, 0x7979, 0x8181},
};

// Corners beyond the 30th start the five shades over again.
constexpr const Fixed* shadeOfCorner(int32_t n) { return shades[(n % 30) / 6]; }

void colourCorners(Fixed* out, int32_t corners) {
    for (int32_t n = 0; n < corners; ++n) {
        out[4 * n] = shadeOfCorner(n)[0];
        out[4 * n + 1] = shadeOfCorner(n)[1];
        out[4 * n + 2] = shadeOfCorner(n)[2];
        out[4 * n + 3] = FIXED_ONE;
    }
}

constexpr std::array<Fixed, 96 * 4> makeArenaColours() {
    std::array<Fixed, 96 * 4> colours{};
    for (int32_t n = 0; n < 96; ++n) {
        for (int k = 0; k < 3; ++k) colours[static_cast<size_t>(4 * n + k)] = shadeOfCorner(n)[k];
        colours[static_cast<size_t>(4 * n + 3)] = FIXED_ONE;
    }
    return colours;
}

bool contains(float x, float z, float width, float depth, const MeshVertex& p) {
    return x <= p.x && p.x <= x + width && z <= p.z && p.z <= z + depth;
}

} // namespace

constinit const std::array<Fixed, 96 * 4> arenaColours = makeArenaColours();

TreeNode::~TreeNode() {
    for (TreeNode*& child : children) {
        delete child;
        child = nullptr;
    }
    delete[] vertices;
    delete[] texCoords;
    delete[] colours;
}

ArenaTree::ArenaTree(const char* fileName, Camera* camera) {
    build(fileName);
    this->camera = camera;
}

ArenaTree::~ArenaTree() { delete root; }

void ArenaTree::build(const char* fileName) {
    Model* model = new Model();
    model->loadFile(fileName);
    // Only the first geometry object is the floor; a file without one, or an object
    // without faces, leaves no playing field (root null).
    if (!model->objects.empty()) {
        const MeshObject& first = *model->objects[0];
        materialIndex = first.materialIndex;
        if (!first.mesh->faces.empty()) buildRoot(*first.mesh, first.hasTexCoords == 1);
    }
    model->clear();
    delete model;
}

void ArenaTree::buildRoot(const MeshData& mesh, bool withTex) {
    delete root;
    root = new TreeNode();
    float minX = 3.4028235e38f, minZ = 3.4028235e38f;
    float maxX = -3.4028235e38f, maxZ = -3.4028235e38f;
    for (const MeshFace& face : mesh.faces) {
        for (const int32_t corner : {face.a, face.b, face.c}) {
            const MeshVertex& p = meshVertexAt(mesh, corner);
            if (p.x < minX) minX = p.x;
            if (p.x > maxX) maxX = p.x;
            if (p.z < minZ) minZ = p.z;
            if (p.z > maxZ) maxZ = p.z;
        }
    }
    const float bounds[4] = {minX, minZ, maxX - minX, maxZ - minZ};
    for (int i = 0; i < 4; ++i) {
        root->floatBounds[i] = bounds[i];
        root->bounds[i] = FloatToFixed(bounds[i]);
    }
    root->triangleCount = static_cast<int32_t>(mesh.faces.size());
    textured = withTex ? 1 : 0;
    split(root, mesh, leafLimit, withTex, 0, SIZE_MAX);
}

void ArenaTree::split(TreeNode* node, const MeshData& mesh, int32_t limit, bool withTex, int32_t depth,
                      size_t parentCount) {
    const size_t faceCount = mesh.faces.size();
    const bool splits = faceCount > static_cast<size_t>(limit) && depth < maxDepth && faceCount < parentCount;
    if (splits) {
        const float x = node->floatBounds[0], z = node->floatBounds[1];
        const float hw = node->floatBounds[2] * 0.5f, hd = node->floatBounds[3] * 0.5f;
        const float xMid = x + hw;
        const float xAgain = xMid - hw; // x unless rounding intervenes
        const float childBounds[4][4] = {
            {x, z, hw, hd}, {xMid, z, hw, hd}, {xAgain, z + hd, hw, hd}, {xAgain + hw, z + hd, hw, hd}};
        for (int i = 0; i < 4; ++i) {
            TreeNode* child = new TreeNode();
            for (int k = 0; k < 4; ++k) {
                child->floatBounds[k] = childBounds[i][k];
                child->bounds[k] = FloatToFixed(childBounds[i][k]);
            }
            node->children[i] = child;
        }
        for (int i = 0; i < 4; ++i) {
            TreeNode* child = node->children[i];
            const float cx = child->floatBounds[0], cz = child->floatBounds[1];
            const float cw = child->floatBounds[2], cd = child->floatBounds[3];
            // The rectangle grown by 0.001 on every side: corners on the border between two
            // children go to both.
            const float gx = cx - 0.001f, gz = cz - 0.001f, gw = cw + 0.002f, gd = cd + 0.002f;
            MeshData childMesh;
            for (const MeshFace& face : mesh.faces) {
                const MeshVertex& a = meshVertexAt(mesh, face.a);
                const MeshVertex& b = meshVertexAt(mesh, face.b);
                const MeshVertex& c = meshVertexAt(mesh, face.c);
                const bool inside = (contains(cx, cz, cw, cd, a) && contains(cx, cz, cw, cd, b) &&
                                     contains(cx, cz, cw, cd, c)) ||
                                    (contains(gx, gz, gw, gd, a) && contains(gx, gz, gw, gd, b) &&
                                     contains(gx, gz, gw, gd, c));
                if (!inside) continue;
                const int32_t k = static_cast<int32_t>(childMesh.faces.size());
                childMesh.vertices.push_back(a);
                childMesh.vertices.push_back(b);
                childMesh.vertices.push_back(c);
                if (withTex) {
                    childMesh.texVertices.push_back(meshTexVertexAt(mesh, face.ta));
                    childMesh.texVertices.push_back(meshTexVertexAt(mesh, face.tb));
                    childMesh.texVertices.push_back(meshTexVertexAt(mesh, face.tc));
                }
                MeshFace taken;
                taken.a = taken.ta = 3 * k;
                taken.b = taken.tb = 3 * k + 1;
                taken.c = taken.tc = 3 * k + 2;
                childMesh.faces.push_back(taken);
            }
            childMesh.numFaces = static_cast<int32_t>(childMesh.faces.size());
            childMesh.numVertex = static_cast<int32_t>(childMesh.vertices.size());
            childMesh.numTVertex = static_cast<int32_t>(childMesh.texVertices.size());
            child->triangleCount = childMesh.numFaces;
            split(child, childMesh, limit, withTex, depth + 1, faceCount);
        }
        return;
    }
    node->triangleCount = static_cast<int32_t>(faceCount);
    node->vertices = new Fixed[9 * faceCount];
    node->texCoords = withTex ? new Fixed[6 * faceCount] : nullptr;
    fillDrawArrays(mesh, node->vertices, node->texCoords);
    if (faceCount > static_cast<size_t>(leafLimit)) {
        node->colours = new Fixed[4 * 3 * faceCount];
        colourCorners(node->colours, static_cast<int32_t>(3 * faceCount));
    }
}

void ArenaTree::draw() { drawFrom(camera); }

void ArenaTree::draw(const Camera& view) { drawFrom(&view); }

void ArenaTree::drawFrom(const Camera* view) {
    materialManager.bind(materialIndex);
    glPushMatrix();
    if (root) drawNode(root, true, view);
    glPopMatrix();
}

void ArenaTree::drawNode(const TreeNode* node, bool test, const Camera* view) {
    if (test && view) {
        const Fixed* b = node->bounds;
        const Vec3& eye = view->eye;
        const bool eyeOver = b[0] < eye.x && eye.x < FixedAdd(b[0], b[2]) && b[1] < eye.z &&
                             eye.z < FixedAdd(b[1], b[3]);
        // The node under the eye is never classified: its rectangle reaches behind the
        // viewer, where a plane test says little.
        if (!eyeOver) {
            const int32_t result = view->frustum.classifyRect(b[0], b[1], b[2], b[3]);
            if (result == FrustumOutside) return;
            if (result == FrustumInside) test = false;
        }
    }
    for (const TreeNode* child : node->children) {
        if (child) drawNode(child, test, view);
    }
    if (!node->vertices) return;
    glVertexPointer(3, GL_FIXED, 0, node->vertices);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (node->texCoords && textured == 1) {
        glEnable(GL_TEXTURE_2D);
        glTexCoordPointer(2, GL_FIXED, 0, node->texCoords);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    } else {
        glDisable(GL_TEXTURE_2D);
        // Every leaf starts the colours afresh: its first two triangles take the first shade.
        glColorPointer(4, GL_FIXED, 0, node->colours ? node->colours : arenaColours.data());
        glEnableClientState(GL_COLOR_ARRAY);
    }
    glDrawArrays(GL_TRIANGLES, 0, 3 * node->triangleCount);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}
