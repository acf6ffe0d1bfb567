#include "loaderase/meshdata.h"

MeshObject::MeshObject() : mesh(new MeshData()) {}

MeshObject::~MeshObject() {
    delete mesh;
    delete[] drawVertices;
    delete[] drawTexCoords;
}
