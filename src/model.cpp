#include "model.h"

#include <GLES/gl.h>

#include "loaderase/aseloader.h"
#include "materialmanager/materialmanager.h"

// A corner whose index names no element of its array is drawn at the zero vertex.
const MeshVertex& meshVertexAt(const MeshData& mesh, int32_t index) {
    static const MeshVertex zero;
    if (index < 0 || static_cast<size_t>(index) >= mesh.vertices.size()) return zero;
    return mesh.vertices[static_cast<size_t>(index)];
}

const TexVertex& meshTexVertexAt(const MeshData& mesh, int32_t index) {
    static const TexVertex zero;
    if (index < 0 || static_cast<size_t>(index) >= mesh.texVertices.size()) return zero;
    return mesh.texVertices[static_cast<size_t>(index)];
}

// Shared with the arena tree, whose leaves are filled the same way.
void fillDrawArrays(const MeshData& mesh, Fixed* vertices, Fixed* texCoords) {
    const size_t faceCount = mesh.faces.size();
    for (size_t k = 0; k < faceCount; ++k) {
        // Triangles are drawn in the reverse of the file's order.
        const MeshFace& face = mesh.faces[faceCount - 1 - k];
        const int32_t corners[3] = {face.a, face.b, face.c};
        const int32_t texCorners[3] = {face.ta, face.tb, face.tc};
        for (int j = 0; j < 3; ++j) {
            const MeshVertex& v = meshVertexAt(mesh, corners[j]);
            Fixed* out = vertices + 9 * k + 3 * j;
            out[0] = FloatToFixed(v.x);
            out[1] = FloatToFixed(v.y);
            out[2] = FloatToFixed(v.z);
            if (texCoords) {
                const TexVertex& t = meshTexVertexAt(mesh, texCorners[j]);
                texCoords[6 * k + 2 * j] = FloatToFixed(t.u);
                texCoords[6 * k + 2 * j + 1] = FloatToFixed(t.v);
            }
        }
    }
}

Model::Model() = default;

Model::~Model() {
    clear();
    delete loader;
}

void Model::loadFile(const char* fileName) {
    delete loader;
    loader = new AseLoader(fileName, this);
    buildDrawArrays();
}

void Model::buildDrawArrays() {
    for (MeshObject* object : objects) {
        const MeshData& mesh = *object->mesh;
        delete[] object->drawVertices;
        delete[] object->drawTexCoords;
        object->drawVertices = new Fixed[9 * mesh.faces.size()];
        object->drawTexCoords = object->hasTexCoords == 1 ? new Fixed[6 * mesh.faces.size()] : nullptr;
        fillDrawArrays(mesh, object->drawVertices, object->drawTexCoords);
    }
}

void Model::draw() {
    for (MeshObject* object : objects) drawObject(*object);
}

void Model::drawObject(MeshObject& object) {
    materialManager.bind(object.materialIndex);
    // The race may ask for texturing on an object that was built without coordinates:
    // it is drawn untextured then.
    if (object.hasTexCoords == 1 && object.drawTexCoords) {
        glEnable(GL_TEXTURE_2D);
        glTexCoordPointer(2, GL_FIXED, 0, object.drawTexCoords);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glVertexPointer(3, GL_FIXED, 0, object.drawVertices);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDrawArrays(GL_TRIANGLES, 0, object.drawVertices ? 3 * static_cast<GLsizei>(object.mesh->faces.size()) : 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void Model::clear() {
    for (MeshObject* object : objects) delete object;
    objects.clear();
    objects.shrink_to_fit();
}
