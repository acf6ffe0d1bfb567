// A floor of cols x rows squares, two triangles each, written as the exporter writes ASE
// files (material list, node, vertex, face, texture and normal lists), for benchmarks and
// tests that need an arena of a given size.
#pragma once
#include <cstdio>
#include <string>

namespace arenagen {

// The floor covers game x from x0 to x0 + width and z from z0 to z0 + depth, at y = 0.
inline std::string floorAse(int cols, int rows, float x0 = -100.0f, float z0 = -100.0f, float width = 200.0f,
                            float depth = 200.0f, const char* bitmap = "zem") {
    std::string out;
    out.reserve(static_cast<size_t>(cols) * rows * 420);
    char line[256];
    auto add = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        out += line;
    };
    const int vertexCount = (cols + 1) * (rows + 1);
    const int faceCount = 2 * cols * rows;
    add("*3DSMAX_ASCIIEXPORT\t200\n*COMMENT \"AsciiExport-Version  2,00 - generated floor\"\n");
    add("*SCENE {\n\t*SCENE_FILENAME \"floor.max\"\n\t*SCENE_FIRSTFRAME 0\n\t*SCENE_LASTFRAME 100\n}\n");
    add("*MATERIAL_LIST {\n\t*MATERIAL_COUNT 1\n\t*MATERIAL 0 {\n\t\t*MATERIAL_NAME \"Floor\"\n");
    add("\t\t*MATERIAL_CLASS \"Standard\"\n\t\t*MATERIAL_AMBIENT 0.5882\t0.5882\t0.5882\n");
    add("\t\t*MATERIAL_DIFFUSE 0.5882\t0.5882\t0.5882\n\t\t*MATERIAL_SHINE 0.1000\n");
    add("\t\t*MAP_DIFFUSE {\n\t\t\t*MAP_NAME \"Map #1\"\n\t\t\t*MAP_CLASS \"Bitmap\"\n\t\t\t*BITMAP \"%s\"\n", bitmap);
    add("\t\t\t*UVW_U_OFFSET 0.0000\n\t\t\t*UVW_V_OFFSET 0.0000\n\t\t\t*UVW_U_TILING 1.0000\n");
    add("\t\t\t*UVW_V_TILING 1.0000\n\t\t\t*BITMAP_FILTER Pyramidal\n\t\t}\n\t}\n}\n");
    add("*GEOMOBJECT {\n\t*NODE_NAME \"Floor\"\n\t*NODE_TM {\n\t\t*NODE_NAME \"Floor\"\n");
    add("\t\t*TM_ROW0 1.0000\t0.0000\t0.0000\n\t\t*TM_ROW1 0.0000\t1.0000\t0.0000\n");
    add("\t\t*TM_ROW2 0.0000\t0.0000\t1.0000\n\t\t*TM_ROW3 0.0000\t0.0000\t0.0000\n\t}\n");
    add("\t*MESH {\n\t\t*TIMEVALUE 0\n\t\t*MESH_NUMVERTEX %d\n\t\t*MESH_NUMFACES %d\n", vertexCount, faceCount);
    add("\t\t*MESH_VERTEX_LIST {\n");
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= cols; ++i) {
            const float x = x0 + width * static_cast<float>(i) / static_cast<float>(cols);
            const float z = z0 + depth * static_cast<float>(j) / static_cast<float>(rows);
            // The file's Y axis is the game's minus z.
            add("\t\t\t*MESH_VERTEX %5d\t%.4f\t%.4f\t0.0000\n", j * (cols + 1) + i, x, -z);
        }
    }
    add("\t\t}\n\t\t*MESH_FACE_LIST {\n");
    int face = 0;
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            const int v0 = j * (cols + 1) + i, v1 = v0 + 1, v2 = v0 + cols + 1, v3 = v2 + 1;
            add("\t\t\t*MESH_FACE %5d:    A: %5d B: %5d C: %5d AB:    1 BC:    1 CA:    0\t *MESH_SMOOTHING 1 \t"
                "*MESH_MTLID 0\n", face++, v0, v1, v3);
            add("\t\t\t*MESH_FACE %5d:    A: %5d B: %5d C: %5d AB:    1 BC:    1 CA:    0\t *MESH_SMOOTHING 1 \t"
                "*MESH_MTLID 0\n", face++, v3, v2, v0);
        }
    }
    add("\t\t}\n\t\t*MESH_NUMTVERTEX %d\n\t\t*MESH_TVERTLIST {\n", vertexCount);
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= cols; ++i) {
            add("\t\t\t*MESH_TVERT %d\t%.4f\t%.4f\t0.0000\n", j * (cols + 1) + i, static_cast<float>(i),
                static_cast<float>(j));
        }
    }
    add("\t\t}\n\t\t*MESH_NUMTVFACES %d\n\t\t*MESH_TFACELIST {\n", faceCount);
    face = 0;
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
            const int v0 = j * (cols + 1) + i, v1 = v0 + 1, v2 = v0 + cols + 1, v3 = v2 + 1;
            add("\t\t\t*MESH_TFACE %d\t%d\t%d\t%d\n", face++, v0, v1, v3);
            add("\t\t\t*MESH_TFACE %d\t%d\t%d\t%d\n", face++, v3, v2, v0);
        }
    }
    add("\t\t}\n\t\t*MESH_NORMALS {\n");
    face = 0;
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < 2 * cols; ++i) {
            add("\t\t\t*MESH_FACENORMAL %d\t0.0000\t0.0000\t1.0000\n", face++);
            for (int k = 0; k < 3; ++k) add("\t\t\t\t*MESH_VERTEXNORMAL %d\t0.0000\t0.0000\t1.0000\n", k);
        }
    }
    add("\t\t}\n\t}\n\t*PROP_MOTIONBLUR 0\n\t*PROP_CASTSHADOW 1\n\t*PROP_RECVSHADOW 1\n\t*MATERIAL_REF 0\n}\n");
    return out;
}

} // namespace arenagen
