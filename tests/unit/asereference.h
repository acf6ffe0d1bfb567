// A second reading of ASE text, written the plain way: every pass rewinds a C stream and
// reads it with fscanf and fgets, counting objects and materials from the top. It carries
// the same mends as the game's loader (counts refused, lines beyond a count dropped,
// failed conversions leaving fields alone), so both must give the same model.
#pragma once
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "fixed.h"
#include "loaderase/aseloader.h"
#include "materialmanager/materialmanager.h"
#include "model.h"

namespace reference {

class Reader {
public:
    Reader(std::string text, Model& model) : text(std::move(text)), model(model) {}

    void load() {
        if (text.empty()) {
            file = std::tmpfile();
        } else {
            file = fmemopen(text.data(), text.size(), "r");
        }
        materialBase = -1;
        model.objectCount = countObjects();
        int materialCount = readMaterialCount();
        if (!countAllowed(materialCount, AseLoader::MAX_MATERIAL_COUNT)) materialCount = 0;
        for (int n = 1; n <= materialCount; ++n) {
            Material* material = new Material();
            materialBase = materialManager.add(material);
            readMaterial(n, *material);
        }
        materialBase = materialBase - materialCount + 1;
        for (int n = 1; n <= model.objectCount; ++n) {
            MeshObject* object = new MeshObject();
            model.objects.push_back(object);
            readMeshCounts(n, *object->mesh);
            for (const char* keyword : {"*MATERIAL_REF", "*UVW_U_TILING", "*UVW_V_TILING", "*MESH_VERTEX",
                                        "*MESH_FACE", "*MESH_TVERT", "*MESH_TFACE"}) {
                readObjectKeyword(n, keyword, *object);
            }
        }
        std::fclose(file);
    }

private:
    // "%s" into a buffer of 255: the first 254 characters are kept, the rest of the run read.
    bool readWord() {
        if (std::fscanf(file, "%254s", word) != 1) return false;
        std::fscanf(file, "%*[^ \t\n\v\f\r]");
        return true;
    }
    void skipLine() {
        char line[100];
        std::fgets(line, sizeof line, file);
    }
    bool seek(const char* keyword, int n) {
        std::rewind(file);
        int found = 0;
        while (readWord()) {
            if (std::strcmp(word, keyword) == 0) {
                if (++found == n) return true;
            } else {
                skipLine();
            }
            if (std::feof(file)) return false;
        }
        return false;
    }
    int countObjects() {
        std::rewind(file);
        int found = 0;
        while (readWord()) {
            if (std::strcmp(word, "*GEOMOBJECT") == 0) {
                ++found;
            } else {
                skipLine();
            }
            if (std::feof(file)) break;
        }
        return found;
    }
    int readMaterialCount() {
        std::rewind(file);
        int count = 0;
        while (readWord()) {
            if (std::strcmp(word, "*MATERIAL_COUNT") == 0) {
                std::fscanf(file, "%d", &count);
                break;
            }
            skipLine();
            if (std::feof(file)) break;
        }
        return count;
    }
    bool countAllowed(int count, int cap) {
        const long long limit = std::min<long long>(cap, static_cast<long long>(text.size()));
        return count >= 0 && count <= limit;
    }
    void readQuoted(char* field) {
        char value[255];
        if (std::fscanf(file, " \"%254s", value) != 1) return;
        std::fscanf(file, "%*[^ \t\n\v\f\r]");
        const size_t length = std::strlen(value);
        if (length > 0) value[length - 1] = '\0';
        std::strcpy(field, value);
    }
    void readMaterial(int n, Material& material) {
        if (!seek("*MATERIAL", n)) return;
        while (readWord()) {
            if (std::strcmp(word, "*MATERIAL") == 0) break;
            if (std::strcmp(word, "*MATERIAL_DIFFUSE") == 0) {
                float rgb[3];
                const int got = std::fscanf(file, " %f %f %f", &rgb[0], &rgb[1], &rgb[2]);
                for (int k = 0; k < got; ++k) material.diffuse[k] = FloatToFixed(rgb[k]);
            } else if (std::strcmp(word, "*BITMAP") == 0) {
                readQuoted(material.bitmap);
            } else if (std::strcmp(word, "*MATERIAL_NAME") == 0) {
                readQuoted(material.name);
            } else if (std::strcmp(word, "*UVW_U_TILING") == 0) {
                std::fscanf(file, " %f", &material.uTiling);
            } else if (std::strcmp(word, "*UVW_V_TILING") == 0) {
                std::fscanf(file, " %f", &material.vTiling);
            } else {
                skipLine();
            }
            if (std::feof(file)) break;
        }
    }
    template <class T>
    void readCount(int& count, std::vector<T>& array) {
        std::fscanf(file, "%d", &count);
        if (!countAllowed(count, AseLoader::MAX_MESH_COUNT)) count = 0;
        array.assign(static_cast<size_t>(count), T());
    }
    void readMeshCounts(int n, MeshData& mesh) {
        if (!seek("*GEOMOBJECT", n)) return;
        while (readWord()) {
            if (std::strcmp(word, "*GEOMOBJECT") == 0) break;
            if (std::strcmp(word, "*MESH_NUMVERTEX") == 0) {
                readCount(mesh.numVertex, mesh.vertices);
            } else if (std::strcmp(word, "*MESH_NUMFACES") == 0) {
                readCount(mesh.numFaces, mesh.faces);
            } else if (std::strcmp(word, "*MESH_NUMTVERTEX") == 0) {
                readCount(mesh.numTVertex, mesh.texVertices);
            } else {
                skipLine();
            }
            if (std::feof(file)) break;
        }
    }
    static bool isObjectKeyword(const char* w) {
        for (const char* k : {"*MATERIAL_REF", "*UVW_U_TILING", "*UVW_V_TILING", "*MESH_VERTEX", "*MESH_FACE",
                              "*MESH_TVERT", "*MESH_TFACE"}) {
            if (std::strcmp(w, k) == 0) return true;
        }
        return false;
    }
    // Returns false when the pass ends here.
    bool readLine(const char* keyword, MeshObject& object) {
        MeshData& mesh = *object.mesh;
        Material* material = materialManager.at(object.materialIndex);
        auto has = [](int index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; };
        if (std::strcmp(keyword, "*MATERIAL_REF") == 0) {
            float value;
            if (std::fscanf(file, " %f", &value) == 1) {
                const double sum = std::trunc(static_cast<double>(value)) + materialBase;
                if (std::isfinite(sum) && sum >= INT32_MIN && sum <= INT32_MAX) object.materialIndex = static_cast<int>(sum);
            }
            return false;
        }
        if (std::strcmp(keyword, "*UVW_U_TILING") == 0 || std::strcmp(keyword, "*UVW_V_TILING") == 0) {
            float value;
            if (std::fscanf(file, " %f", &value) == 1 && material) {
                (keyword[5] == 'U' ? material->uTiling : material->vTiling) = value;
            }
            return true;
        }
        int i = 0;
        if (std::strcmp(keyword, "*MESH_VERTEX") == 0) {
            std::fscanf(file, "%d", &i);
            float xyz[3];
            const int got = std::fscanf(file, "%f %f %f", &xyz[0], &xyz[1], &xyz[2]);
            if (has(i, mesh.vertices.size())) {
                MeshVertex& v = mesh.vertices[static_cast<size_t>(i)];
                if (got >= 1) v.x = xyz[0];
                if (got >= 3) v.y = xyz[2];
                if (got >= 2) v.z = -xyz[1];
            }
        } else if (std::strcmp(keyword, "*MESH_TVERT") == 0) {
            std::fscanf(file, "%d", &i);
            float uv[2];
            const int got = std::fscanf(file, "%f %f", &uv[0], &uv[1]);
            if (has(i, mesh.texVertices.size())) {
                TexVertex& t = mesh.texVertices[static_cast<size_t>(i)];
                if (got >= 1) t.u = uv[0] * (material ? material->uTiling : 1.0f);
                if (got >= 2) t.v = uv[1] * (material ? material->vTiling : 1.0f);
                object.hasTexCoords = 1;
            }
        } else {
            const bool textureFace = std::strcmp(keyword, "*MESH_TFACE") == 0;
            std::fscanf(file, "%d:", &i);
            int abc[3];
            const int got = textureFace ? std::fscanf(file, "%d %d %d", &abc[0], &abc[1], &abc[2])
                                        : std::fscanf(file, "\tA:\t%d B:\t%d C:\t%d", &abc[0], &abc[1], &abc[2]);
            if (has(i, mesh.faces.size())) {
                MeshFace& f = mesh.faces[static_cast<size_t>(i)];
                int* fields[3] = {&f.a, &f.b, &f.c};
                if (textureFace) fields[0] = &f.ta, fields[1] = &f.tb, fields[2] = &f.tc;
                for (int k = 0; k < got; ++k) *fields[k] = abc[k];
            }
        }
        return true;
    }
    void readObjectKeyword(int n, const char* keyword, MeshObject& object) {
        if (!seek("*GEOMOBJECT", n)) return;
        while (readWord()) {
            if (std::strcmp(word, "*GEOMOBJECT") == 0) break;
            if (isObjectKeyword(word)) {
                if (std::strcmp(word, keyword) == 0 && !readLine(keyword, object)) break;
            } else {
                skipLine();
            }
            if (std::feof(file)) break;
        }
    }

    std::string text;
    Model& model;
    FILE* file = nullptr;
    int materialBase = -1;
    char word[255] = {};
};

} // namespace reference
