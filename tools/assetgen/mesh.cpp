#include "mesh.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 normalized(V3 a) {
    float l = std::sqrt(dot(a, a));
    return l > 0 ? a * (1.0f / l) : a;
}

int Mesh::vertex(V3 p) {
    vertices.push_back(p);
    return static_cast<int>(vertices.size()) - 1;
}

int Mesh::texVertex(UV t) {
    texVertices.push_back(t);
    return static_cast<int>(texVertices.size()) - 1;
}

double Mesh::signedVolume() const {
    double v = 0;
    for (const Tri& f : faces) {
        V3 a = vertices[f.a], b = vertices[f.b], c = vertices[f.c];
        v += dot(a, cross(b, c)) / 6.0;
    }
    return v;
}

namespace {

// The exporter prints four decimals and never a negative zero.
std::string num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(v));
    if (std::string(buf) == "-0.0000") return "0.0000";
    return buf;
}

void put(std::string& out, const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    out += buf;
}

void putMaterial(std::string& out, int index, const AseMaterial& m) {
    const float* d = m.diffuse;
    put(out, "\t*MATERIAL %d {\n", index);
    put(out, "\t\t*MATERIAL_NAME \"%s\"\n", m.name.c_str());
    out += "\t\t*MATERIAL_CLASS \"Standard\"\n";
    put(out, "\t\t*MATERIAL_AMBIENT %s\t%s\t%s\n", num(d[0] * 0.3f).c_str(), num(d[1] * 0.3f).c_str(), num(d[2] * 0.3f).c_str());
    put(out, "\t\t*MATERIAL_DIFFUSE %s\t%s\t%s\n", num(d[0]).c_str(), num(d[1]).c_str(), num(d[2]).c_str());
    out += "\t\t*MATERIAL_SPECULAR 0.9000\t0.9000\t0.9000\n"
           "\t\t*MATERIAL_SHINE 0.1000\n"
           "\t\t*MATERIAL_SHINESTRENGTH 0.0000\n"
           "\t\t*MATERIAL_TRANSPARENCY 0.0000\n"
           "\t\t*MATERIAL_WIRESIZE 1.0000\n"
           "\t\t*MATERIAL_SHADING Blinn\n"
           "\t\t*MATERIAL_XP_FALLOFF 0.0000\n"
           "\t\t*MATERIAL_SELFILLUM 0.0000\n"
           "\t\t*MATERIAL_FALLOFF In\n"
           "\t\t*MATERIAL_XP_TYPE Filter\n";
    if (!m.bitmap.empty()) {
        out += "\t\t*MAP_DIFFUSE {\n"
               "\t\t\t*MAP_NAME \"Map #1\"\n"
               "\t\t\t*MAP_CLASS \"Bitmap\"\n"
               "\t\t\t*MAP_SUBNO 1\n"
               "\t\t\t*MAP_AMOUNT 1.0000\n";
        put(out, "\t\t\t*BITMAP \"%s\"\n", m.bitmap.c_str());
        out += "\t\t\t*MAP_TYPE Screen\n"
               "\t\t\t*UVW_U_OFFSET 0.0000\n"
               "\t\t\t*UVW_V_OFFSET 0.0000\n";
        put(out, "\t\t\t*UVW_U_TILING %s\n", num(m.uTiling).c_str());
        put(out, "\t\t\t*UVW_V_TILING %s\n", num(m.vTiling).c_str());
        out += "\t\t\t*UVW_ANGLE 0.0000\n"
               "\t\t\t*UVW_BLUR 1.0000\n"
               "\t\t\t*UVW_BLUR_OFFSET 0.0000\n"
               "\t\t\t*UVW_NOUSE_AMT 1.0000\n"
               "\t\t\t*UVW_NOISE_SIZE 1.0000\n"
               "\t\t\t*UVW_NOISE_LEVEL 1\n"
               "\t\t\t*UVW_NOISE_PHASE 0.0000\n"
               "\t\t\t*BITMAP_FILTER Pyramidal\n"
               "\t\t}\n";
    }
    out += "\t}\n";
}

void putObject(std::string& out, const Mesh& m) {
    put(out, "*GEOMOBJECT {\n\t*NODE_NAME \"%s\"\n", m.name.c_str());
    put(out, "\t*NODE_TM {\n\t\t*NODE_NAME \"%s\"\n", m.name.c_str());
    out += "\t\t*INHERIT_POS 0 0 0\n"
           "\t\t*INHERIT_ROT 0 0 0\n"
           "\t\t*INHERIT_SCL 0 0 0\n"
           "\t\t*TM_ROW0 1.0000\t0.0000\t0.0000\n"
           "\t\t*TM_ROW1 0.0000\t1.0000\t0.0000\n"
           "\t\t*TM_ROW2 0.0000\t0.0000\t1.0000\n"
           "\t\t*TM_ROW3 0.0000\t0.0000\t0.0000\n"
           "\t\t*TM_POS 0.0000\t0.0000\t0.0000\n"
           "\t\t*TM_ROTAXIS 0.0000\t0.0000\t0.0000\n"
           "\t\t*TM_ROTANGLE 0.0000\n"
           "\t\t*TM_SCALE 1.0000\t1.0000\t1.0000\n"
           "\t\t*TM_SCALEAXIS 0.0000\t0.0000\t0.0000\n"
           "\t\t*TM_SCALEAXISANG 0.0000\n"
           "\t}\n";
    out += "\t*MESH {\n\t\t*TIMEVALUE 0\n";
    put(out, "\t\t*MESH_NUMVERTEX %zu\n", m.vertices.size());
    put(out, "\t\t*MESH_NUMFACES %zu\n", m.faces.size());
    out += "\t\t*MESH_VERTEX_LIST {\n";
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const V3& v = m.vertices[i];
        put(out, "\t\t\t*MESH_VERTEX %4zu\t%s\t%s\t%s\n", i, num(v.x).c_str(), num(v.y).c_str(), num(v.z).c_str());
    }
    out += "\t\t}\n\t\t*MESH_FACE_LIST {\n";
    for (size_t i = 0; i < m.faces.size(); ++i) {
        const Tri& f = m.faces[i];
        put(out, "\t\t\t*MESH_FACE %4zu:    A: %4d B: %4d C: %4d AB:    1 BC:    1 CA:    1\t *MESH_SMOOTHING 1 \t*MESH_MTLID 0\n", i,
            f.a, f.b, f.c);
    }
    out += "\t\t}\n";
    if (!m.texVertices.empty()) {
        put(out, "\t\t*MESH_NUMTVERTEX %zu\n\t\t*MESH_TVERTLIST {\n", m.texVertices.size());
        for (size_t i = 0; i < m.texVertices.size(); ++i)
            put(out, "\t\t\t*MESH_TVERT %zu\t%s\t%s\t0.0000\n", i, num(m.texVertices[i].u).c_str(), num(m.texVertices[i].v).c_str());
        out += "\t\t}\n";
        put(out, "\t\t*MESH_NUMTVFACES %zu\n\t\t*MESH_TFACELIST {\n", m.faces.size());
        for (size_t i = 0; i < m.faces.size(); ++i) put(out, "\t\t\t*MESH_TFACE %zu\t%d\t%d\t%d\n", i, m.faces[i].ta, m.faces[i].tb, m.faces[i].tc);
        out += "\t\t}\n";
    }
    out += "\t\t*MESH_NUMCVERTEX 0\n\t\t*MESH_NORMALS {\n";
    for (size_t i = 0; i < m.faces.size(); ++i) {
        const Tri& f = m.faces[i];
        V3 n = normalized(cross(m.vertices[f.b] - m.vertices[f.a], m.vertices[f.c] - m.vertices[f.a]));
        std::string nx = num(n.x), ny = num(n.y), nz = num(n.z);
        put(out, "\t\t\t*MESH_FACENORMAL %zu\t%s\t%s\t%s\n", i, nx.c_str(), ny.c_str(), nz.c_str());
        for (int corner : {f.a, f.b, f.c}) put(out, "\t\t\t\t*MESH_VERTEXNORMAL %d\t%s\t%s\t%s\n", corner, nx.c_str(), ny.c_str(), nz.c_str());
    }
    out += "\t\t}\n\t}\n"
           "\t*PROP_MOTIONBLUR 0\n"
           "\t*PROP_CASTSHADOW 1\n"
           "\t*PROP_RECVSHADOW 1\n";
    put(out, "\t*MATERIAL_REF %d\n}\n", m.materialRef);
}

}  // namespace

std::string aseText(const AseScene& scene) {
    std::string out;
    out += "*3DSMAX_ASCIIEXPORT\t200\n";
    out += "*COMMENT \"AsciiExport Version  2,00 - written by the Palvex asset generator\"\n";
    put(out, "*SCENE {\n\t*SCENE_FILENAME \"%s\"\n", scene.sceneName.c_str());
    out += "\t*SCENE_FIRSTFRAME 0\n"
           "\t*SCENE_LASTFRAME 100\n"
           "\t*SCENE_FRAMESPEED 30\n"
           "\t*SCENE_TICKSPERFRAME 160\n"
           "\t*SCENE_BACKGROUND_STATIC 0.0000\t0.0000\t0.0000\n"
           "\t*SCENE_AMBIENT_STATIC 0.0000\t0.0000\t0.0000\n"
           "}\n";
    put(out, "*MATERIAL_LIST {\n\t*MATERIAL_COUNT %zu\n", scene.materials.size());
    for (size_t i = 0; i < scene.materials.size(); ++i) putMaterial(out, static_cast<int>(i), scene.materials[i]);
    out += "}\n";
    for (const Mesh& m : scene.objects) putObject(out, m);
    return out;
}
