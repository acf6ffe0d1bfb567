#include "loaderase/modeldump.h"

#include <cstdarg>
#include <cstdio>

#include "materialmanager/materialmanager.h"
#include "model.h"

namespace {

void append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void append(std::string& out, const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) out.append(line, static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1);
}

} // namespace

std::string dumpModel(const Model& model, int32_t firstMaterial, int32_t endMaterial) {
    std::string out;
    for (int32_t i = firstMaterial; i < endMaterial; ++i) {
        const Material* m = materialManager.at(i);
        if (!m) continue;
        append(out, "material %d name \"%s\" bitmap \"%s\" diffuse %d %d %d utiling %.9g vtiling %.9g\n", i, m->name,
               m->bitmap, m->diffuse[0], m->diffuse[1], m->diffuse[2], m->uTiling, m->vTiling);
    }
    for (size_t n = 0; n < model.objects.size(); ++n) {
        const MeshObject& object = *model.objects[n];
        const MeshData& mesh = *object.mesh;
        append(out, "object %zu material %d tex %d vertices %d faces %d tvertices %d\n", n, object.materialIndex,
               object.hasTexCoords, mesh.numVertex, mesh.numFaces, mesh.numTVertex);
        for (size_t i = 0; i < mesh.vertices.size(); ++i) {
            const MeshVertex& v = mesh.vertices[i];
            append(out, "v %zu %.9g %.9g %.9g\n", i, v.x, v.y, v.z);
        }
        for (size_t i = 0; i < mesh.texVertices.size(); ++i) {
            const TexVertex& t = mesh.texVertices[i];
            append(out, "t %zu %.9g %.9g\n", i, t.u, t.v);
        }
        for (size_t i = 0; i < mesh.faces.size(); ++i) {
            const MeshFace& f = mesh.faces[i];
            append(out, "f %zu %d %d %d %d %d %d\n", i, f.a, f.b, f.c, f.ta, f.tb, f.tc);
        }
    }
    return out;
}
