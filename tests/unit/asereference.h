// A second reading of ASE text, written the plain way: every pass rewinds a C stream and
// reads it with fscanf and fgets, counting objects and materials from the top. It carries
// the same mends as the game's loader (negative counts refused, lines beyond a count
// dropped, failed conversions leaving fields alone, a file refused whole when it would
// pass the loader's budget or reading bound), so both must give the same model.
#pragma once
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "fixed.h"
#include "loaderase/aseloader.h"
#include "loaderase/asetext.h"
#include "loaderase/loadbudget.h"
#include "loaderase/passengine.h"
#include "loaderase/wordindex.h"
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
        const size_t firstObject = model.objects.size();
        const int32_t objectCountBefore = model.objectCount;
        const int32_t firstMaterial = materialManager.mark();
        if (!readAll()) {
            for (size_t i = firstObject; i < model.objects.size(); ++i) delete model.objects[i];
            model.objects.resize(firstObject);
            model.objectCount = objectCountBefore;
            materialManager.dropSince(firstMaterial);
        }
        std::fclose(file);
    }

private:
    // False when the file is refused.
    bool readAll() {
        const size_t indexLimit = text.size() < ase::LoadBudget::LIMIT ? ase::LoadBudget::LIMIT - text.size() : 0;
        if (!budget.take(uint64_t{text.size()} + ase::WordIndex::bytesFor(text, indexLimit), 1)) return false;
        materialBase = -1;
        int objectCount = 0;
        if (!countObjects(objectCount)) return false;
        model.objectCount = objectCount;
        int materialCount = readMaterialCount();
        if (!passFrom(0)) return false;
        if (materialCount < 0) materialCount = 0;
        if (!budget.take(static_cast<uint64_t>(materialCount), ase::LoadBudget::MATERIAL_BYTES)) return false;
        // The loader finds every material's start in one pass, which ends after the last
        // one wanted, or at the end when the file has fewer.
        bool allFound = materialCount > 0 && seek("*MATERIAL", materialCount);
        if (materialCount > 0 && !covered(0, allFound ? std::ftell(file) : long(text.size()))) return false;
        for (int n = 1; n <= materialCount; ++n) {
            Material* material = new Material();
            materialBase = materialManager.add(material);
            if (!readMaterial(n, *material)) return false;
        }
        materialBase = materialBase - materialCount + 1;
        for (int n = 1; n <= objectCount; ++n) {
            MeshObject* object = new MeshObject();
            model.objects.push_back(object);
            if (!readMeshCounts(n, *object->mesh)) return false;
            for (const char* keyword : {"*MATERIAL_REF", "*UVW_U_TILING", "*UVW_V_TILING", "*MESH_VERTEX",
                                        "*MESH_FACE", "*MESH_TVERT", "*MESH_TFACE"}) {
                if (!readObjectKeyword(n, keyword, *object)) return false;
            }
        }
        return true;
    }

    // The loader's passes together cover the text at most so many times over.
    bool covered(long from, long to) {
        const uint64_t span = static_cast<uint64_t>(to - from);
        if (span > readingLeft) return false;
        readingLeft -= span;
        return true;
    }
    // A pass that started at from and ends here.
    bool passFrom(long from) { return covered(from, std::feof(file) ? long(text.size()) : std::ftell(file)); }

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
    bool countObjects(int& found) {
        std::rewind(file);
        found = 0;
        while (readWord()) {
            if (std::strcmp(word, "*GEOMOBJECT") == 0) {
                if (!budget.take(1, ase::LoadBudget::OBJECT_BYTES)) return false;
                ++found;
            } else {
                skipLine();
            }
            if (std::feof(file)) break;
        }
        return passFrom(0);
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
    void readQuoted(char* field) {
        char value[255];
        if (std::fscanf(file, " \"%254s", value) != 1) return;
        std::fscanf(file, "%*[^ \t\n\v\f\r]");
        const size_t length = std::strlen(value);
        if (length > 0) value[length - 1] = '\0';
        std::strcpy(field, value);
    }
    bool readMaterial(int n, Material& material) {
        if (!seek("*MATERIAL", n)) return true;
        const long from = std::ftell(file);
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
        return passFrom(from);
    }
    template <class T>
    bool readCount(int& count, uint64_t& largest, std::vector<T>& array, size_t elementBytes) {
        std::fscanf(file, "%d", &count);
        if (count < 0) count = 0;
        if (!budget.takeArray(largest, count, elementBytes)) return false;
        array.assign(static_cast<size_t>(count), T());
        return true;
    }
    bool readMeshCounts(int n, MeshData& mesh) {
        if (!seek("*GEOMOBJECT", n)) return true;
        const long from = std::ftell(file);
        uint64_t vertices = 0, faces = 0, texVertices = 0;
        while (readWord()) {
            if (std::strcmp(word, "*GEOMOBJECT") == 0) break;
            bool fits = true;
            if (std::strcmp(word, "*MESH_NUMVERTEX") == 0) {
                fits = readCount(mesh.numVertex, vertices, mesh.vertices, ase::LoadBudget::VERTEX_BYTES);
            } else if (std::strcmp(word, "*MESH_NUMFACES") == 0) {
                fits = readCount(mesh.numFaces, faces, mesh.faces, ase::LoadBudget::FACE_BYTES);
            } else if (std::strcmp(word, "*MESH_NUMTVERTEX") == 0) {
                fits = readCount(mesh.numTVertex, texVertices, mesh.texVertices, ase::LoadBudget::TEX_VERTEX_BYTES);
            } else {
                skipLine();
            }
            if (!fits) return false;
            if (std::feof(file)) break;
        }
        return passFrom(from);
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
    bool readObjectKeyword(int n, const char* keyword, MeshObject& object) {
        if (!seek("*GEOMOBJECT", n)) return true;
        const long from = std::ftell(file);
        while (readWord()) {
            if (std::strcmp(word, "*GEOMOBJECT") == 0) break;
            if (isObjectKeyword(word)) {
                if (std::strcmp(word, keyword) == 0 && !readLine(keyword, object)) break;
            } else {
                skipLine();
            }
            if (std::feof(file)) break;
        }
        return passFrom(from);
    }

    std::string text;
    Model& model;
    FILE* file = nullptr;
    int materialBase = -1;
    char word[255] = {};
    ase::LoadBudget budget;
    uint64_t readingLeft = ase::PassEngine::READING_BOUND * text.size();
};

// The game's loader with every pass reading word by word, without the index: the reading
// the indexed one must agree with.
inline void loadWordByWord(AseLoader& loader, const char* name, const std::string& bytes, Model& model) {
    const std::string text = ase::decodeText(bytes.data(), bytes.size());
    ase::PassEngine engine(text);
    loader.read(name, engine, &model);
}

} // namespace reference
