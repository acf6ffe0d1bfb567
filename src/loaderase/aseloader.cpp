#include "loaderase/aseloader.h"

#include <cmath>
#include <string>
#include <vector>

#include "fixed.h"
#include "loaderase/asetext.h"
#include "log.h"
#include "materialmanager/materialmanager.h"
#include "loaderase/meshdata.h"
#include "platform/os.h"

using namespace ase;

namespace {

// "%f" into a field, which keeps its value when the conversion fails.
bool readFloatInto(TextReader& reader, float& field) {
    float value;
    if (!reader.readFloat(value)) return false;
    field = value;
    return true;
}

bool readIntInto(TextReader& reader, int32_t& field) {
    int32_t value;
    if (!reader.readInt(value)) return false;
    field = value;
    return true;
}

bool inRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

// The line readers of the object passes. A line whose index lies beyond its array is read
// all the same and dropped.

void readVertexLine(TextReader& reader, MeshData& mesh) {
    int32_t i = 0;
    readIntInto(reader, i);
    float x, y, z;
    const bool gotX = reader.readFloat(x);
    const bool gotY = gotX && reader.readFloat(y);
    const bool gotZ = gotY && reader.readFloat(z);
    if (!inRange(i, mesh.vertices.size())) return;
    MeshVertex& v = mesh.vertices[static_cast<size_t>(i)];
    // The file's Z axis points up: it becomes the game's y.
    if (gotX) v.x = x;
    if (gotZ) v.y = z;
    if (gotY) v.z = -y;
}

// Without a material the coordinates stay unscaled.
void readTexVertexLine(TextReader& reader, MeshObject& object, const Material* material) {
    MeshData& mesh = *object.mesh;
    int32_t i = 0;
    readIntInto(reader, i);
    float u, v;
    const bool gotU = reader.readFloat(u);
    const bool gotV = gotU && reader.readFloat(v);
    if (!inRange(i, mesh.texVertices.size())) return;
    TexVertex& t = mesh.texVertices[static_cast<size_t>(i)];
    const float uTiling = material ? material->uTiling : 1.0f;
    const float vTiling = material ? material->vTiling : 1.0f;
    if (gotU) t.u = u * uTiling;
    if (gotV) t.v = v * vTiling;
    object.hasTexCoords = 1;
}

// "%d:", then "\tA:\t%d B:\t%d C:\t%d" for a face or "%d %d %d" for a texture face,
// straight into the face so that values which do not convert leave it as it was.
void readFaceLine(TextReader& reader, std::vector<MeshFace>& faces, bool textureFace) {
    int32_t index = 0;
    if (readIntInto(reader, index)) reader.matchChar(':');
    MeshFace scratch;
    MeshFace& face = inRange(index, faces.size()) ? faces[static_cast<size_t>(index)] : scratch;
    int32_t* fields[3] = {&face.a, &face.b, &face.c};
    if (textureFace) {
        fields[0] = &face.ta, fields[1] = &face.tb, fields[2] = &face.tc;
        for (int32_t* field : fields) {
            if (!readIntInto(reader, *field)) return;
        }
        return;
    }
    static const char letters[3] = {'A', 'B', 'C'};
    for (int j = 0; j < 3; ++j) {
        reader.skipSpace();
        if (!reader.matchChar(letters[j]) || !reader.matchChar(':')) return;
        if (!readIntInto(reader, *fields[j])) return;
    }
}

// A tiling line inside an object sets its material's tiling; without a material it has
// nothing to set.
void readTilingLine(TextReader& reader, Material* material, bool u) {
    reader.skipSpace();
    float value;
    if (reader.readFloat(value) && material) (u ? material->uTiling : material->vTiling) = value;
}

void readMaterialRefLine(TextReader& reader, MeshObject& object, int32_t materialBase) {
    reader.skipSpace();
    float value;
    if (!reader.readFloat(value)) return;
    const double whole = std::trunc(static_cast<double>(value));
    const double sum = whole + materialBase;
    // A reference that names no possible index leaves the object without a material.
    if (std::isfinite(whole) && sum >= INT32_MIN && sum <= INT32_MAX) object.materialIndex = static_cast<int32_t>(sum);
}

// The two argument errors of a load, reported from their fixed places.
bool argumentsGiven(const char* name, const MeshSet* model) {
    if (!name) {
        setErrorLocation("src/loaderase", 31);
        reportError("invalid pointer");
        return false;
    }
    if (!model) {
        setErrorLocation("src/loaderase", 37);
        reportError("invalid 3DModel");
        return false;
    }
    return true;
}

// Decoding UTF-16 holds the file's bytes and their longer text at once: up to two and a
// half times the file.
bool decodingFits(const char* bytes, size_t size) {
    return !isUtf16(bytes, size) || size / 2 * 5 <= LoadBudget::LIMIT;
}

void refuseText(const char* name) {
    setErrorLocation("src/loaderase", __LINE__);
    reportError("%s refused: its text and the index over it would take more than %d MB, so the file is not loaded",
                name, LoadBudget::LIMIT_MB);
}

const Keyword objectKeywords[] = {KwMaterialRef, KwUTiling, KwVTiling, KwMeshVertex, KwMeshFace, KwMeshTVert, KwMeshTFace};

} // namespace

AseLoader::AseLoader(const char* fileName, MeshSet* model) : model(model) { load(fileName, model); }

AseLoader::~AseLoader() = default;

void AseLoader::load(const char* fileName, MeshSet* model) {
    if (argumentsGiven(fileName, model)) readFile(fullPath(fileName).c_str(), fileName, model);
}

void AseLoader::loadPath(const char* path, MeshSet* model) {
    if (argumentsGiven(path, model)) readFile(path, path, model);
}

// The file is copied whole, so another program shortening or rewriting it while the passes
// read cannot hurt them; special files are refused without waiting on them.
void AseLoader::readFile(const char* path, const char* shownName, MeshSet* model) {
    // A report while this file is read also names the path that was tried.
    setDataFileInQuestion(path);
    readWhole(path, shownName, model);
    setDataFileInQuestion(std::string());
}

void AseLoader::readWhole(const char* path, const char* shownName, MeshSet* model) {
    platform::os::FileBytes bytes;
    if (platform::os::readWholeFile(path, MAX_FILE_BYTES, bytes) != platform::os::ReadStatus::Ok) {
        setErrorLocation("src/loaderase", 46);
        reportError("File %s does not exists", shownName);
        return;
    }
    char* data = reinterpret_cast<char*>(bytes.data());
    if (!isUtf16(data, bytes.size())) {
        readDecoded(shownName, std::string_view(data, decodeInPlace(data, bytes.size())), model);
        return;
    }
    if (!decodingFits(data, bytes.size())) return refuseText(shownName);
    const std::string text = decodeText(data, bytes.size());
    bytes.clear();
    readDecoded(shownName, text, model);
}

void AseLoader::loadText(const char* name, const char* bytes, size_t size, MeshSet* model) {
    if (!model) {
        setErrorLocation("src/loaderase", 37);
        reportError("invalid 3DModel");
        return;
    }
    if (!needsDecoding(bytes, size)) return readDecoded(name, std::string_view(bytes, size), model);
    if (!decodingFits(bytes, size)) return refuseText(name ? name : "");
    readDecoded(name, decodeText(bytes, size), model);
}

void AseLoader::readDecoded(const char* name, std::string_view text, MeshSet* model) {
    // The same refusal as read makes for the text and its index, before the index is read.
    WordIndex index;
    if (text.size() > LoadBudget::LIMIT || !index.build(text, LoadBudget::LIMIT - text.size()))
        return refuseText(name ? name : "");
    PassEngine engine(text, index);
    read(name, engine, model);
}

void AseLoader::read(const char* name, PassEngine& engine, MeshSet* model) {
    if (!model) {
        setErrorLocation("src/loaderase", 37);
        reportError("invalid 3DModel");
        return;
    }
    this->model = model;
    fileName = name ? name : "";
    file = &engine;
    budget = LoadBudget();
    const size_t firstObject = model->objects.size();
    const int32_t objectCountBefore = model->objectCount;
    const int32_t firstMaterial = materialManager.mark();
    if (runPasses()) {
        for (const int32_t index : textureRequests) materialManager.loadTexture(index);
    } else {
        // As for a missing file: nothing of it stays.
        for (size_t i = firstObject; i < model->objects.size(); ++i) delete model->objects[i];
        model->objects.resize(firstObject);
        model->objects.shrink_to_fit();
        model->objectCount = objectCountBefore;
        if (materialManager.count() > firstMaterial) materialManager.dropSince(firstMaterial);
    }
    objectStarts = {};
    materialStarts = {};
    textureRequests = {};
    file = nullptr;
    fileName = "";
}

bool AseLoader::runPasses() {
    const size_t textBytes = file->text().size();
    const size_t indexLimit = textBytes < LoadBudget::LIMIT ? LoadBudget::LIMIT - textBytes : 0;
    if (!budget.take(uint64_t{textBytes} + file->indexBytes(indexLimit), 1)) {
        refuseText(fileName);
        return false;
    }
    materialBase = -1;
    if (!countObjects()) return false;

    int32_t materialCount = 0;
    if (!readMaterialCount(materialCount) || !findMaterials(materialCount)) return false;
    for (int32_t n = 1; n <= materialCount; ++n) {
        Material* material = new Material();
        materialBase = materialManager.add(material);
        // A material that the file does not have stays as created.
        if (static_cast<size_t>(n) <= materialStarts.size() && !readMaterial(n, *material)) return false;
    }
    materialBase = materialBase - materialCount + 1;

    // The order matters: the material reference must be known before the object's tiling
    // lines are applied to its material, and the tiling before the texture vertices scale.
    model->objects.reserve(model->objects.size() + objectStarts.size());
    for (int32_t n = 1; n <= static_cast<int32_t>(objectStarts.size()); ++n) {
        MeshObject* object = new MeshObject();
        model->objects.push_back(object);
        object->materialIndex = -1;
        if (!readMeshCounts(n, *object)) return false;
        for (const Keyword keyword : objectKeywords) {
            if (!readObjectKeyword(n, keyword, *object)) return false;
        }
        // Textures are made once the whole file is known to fit, so that a refused file
        // leaves none behind.
        if (object->hasTexCoords == 1) textureRequests.push_back(object->materialIndex);
    }
    return true;
}

// The model's objectCount: the "*GEOMOBJECT" words of the file, each the start of an
// object's range for seekObject.
bool AseLoader::countObjects() {
    Action actions[KwCount] = {};
    actions[KwGeomObject] = ActRead;
    bool fits = true;
    const bool within = file->run({}, actions, [&](Keyword, TextReader& reader) {
        fits = budget.take(1, LoadBudget::OBJECT_BYTES);
        if (fits) objectStarts.push_back({reader.position(), reader.atEof()});
        return fits;
    });
    if (!fits) return refuse("object", static_cast<long long>(objectStarts.size()) + 1);
    if (!within) return refuseReading();
    model->objectCount = static_cast<int32_t>(objectStarts.size());
    return true;
}

// The value after the first "*MATERIAL_COUNT"; 0 without one.
bool AseLoader::readMaterialCount(int32_t& count) {
    count = 0;
    Action actions[KwCount] = {};
    actions[KwMaterialCount] = ActRead;
    const bool within = file->run({}, actions, [&](Keyword, TextReader& reader) {
        readIntInto(reader, count);
        return false;
    });
    if (!within) return refuseReading();
    uint64_t largest = 0;
    return keepCount("*MATERIAL_COUNT", count, largest, LoadBudget::MATERIAL_BYTES);
}

// Where each of the first count materials starts, counted as readMaterial (n) counts them.
bool AseLoader::findMaterials(int32_t count) {
    if (count == 0) return true;
    Action actions[KwCount] = {};
    actions[KwMaterial] = ActRead;
    const bool within = file->run({}, actions, [&](Keyword, TextReader& reader) {
        materialStarts.push_back({reader.position(), reader.atEof()});
        return materialStarts.size() < static_cast<size_t>(count);
    });
    return within || refuseReading();
}

// From the n-th "*MATERIAL" to the next one or the end of the file; a later line
// overwrites an earlier one.
bool AseLoader::readMaterial(int32_t n, Material& material) {
    Action actions[KwCount] = {};
    actions[KwMaterial] = ActEnd;
    actions[KwMaterialDiffuse] = actions[KwBitmap] = actions[KwMaterialName] = ActRead;
    actions[KwUTiling] = actions[KwVTiling] = ActRead;
    const bool within = file->run(materialStarts[static_cast<size_t>(n - 1)], actions, [&](Keyword keyword, TextReader& reader) {
        switch (keyword) {
        case KwMaterialDiffuse:
            for (Fixed& component : material.diffuse) {
                float value;
                if (!reader.readFloat(value)) break;
                component = FloatToFixed(value);
            }
            break;
        case KwBitmap:
            reader.readQuoted(material.bitmap, sizeof material.bitmap);
            break;
        case KwMaterialName:
            reader.readQuoted(material.name, sizeof material.name);
            break;
        case KwUTiling:
            readFloatInto(reader, material.uTiling);
            break;
        case KwVTiling:
            readFloatInto(reader, material.vTiling);
            break;
        default:
            break;
        }
        return true;
    });
    return within || refuseReading();
}

// Each count sizes its array, zeroed; a count that would take the model past its budget
// refuses the file.
bool AseLoader::readMeshCounts(int32_t n, MeshObject& object) {
    Action actions[KwCount] = {};
    actions[KwGeomObject] = ActEnd;
    actions[KwNumVertex] = actions[KwNumFaces] = actions[KwNumTVertex] = ActRead;
    MeshData& mesh = *object.mesh;
    uint64_t vertices = 0, faces = 0, texVertices = 0; // the largest count of each so far
    bool fits = true;
    const bool within = file->run(seekObject(n), actions, [&](Keyword keyword, TextReader& reader) {
        if (keyword == KwNumVertex) {
            readIntInto(reader, mesh.numVertex);
            fits = keepCount("*MESH_NUMVERTEX", mesh.numVertex, vertices, LoadBudget::VERTEX_BYTES);
            if (fits) mesh.vertices.assign(static_cast<size_t>(mesh.numVertex), MeshVertex());
        } else if (keyword == KwNumFaces) {
            readIntInto(reader, mesh.numFaces);
            fits = keepCount("*MESH_NUMFACES", mesh.numFaces, faces, LoadBudget::FACE_BYTES);
            if (fits) mesh.faces.assign(static_cast<size_t>(mesh.numFaces), MeshFace());
        } else {
            readIntInto(reader, mesh.numTVertex);
            fits = keepCount("*MESH_NUMTVERTEX", mesh.numTVertex, texVertices, LoadBudget::TEX_VERTEX_BYTES);
            if (fits) mesh.texVertices.assign(static_cast<size_t>(mesh.numTVertex), TexVertex());
        }
        return fits;
    });
    if (!fits) return false;
    return within || refuseReading();
}

// The lines of one keyword in object n. The other object keywords are passed over without
// a line skip, so the words after them on their line are read as ordinary words.
bool AseLoader::readObjectKeyword(int32_t n, Keyword keyword, MeshObject& object) {
    Action actions[KwCount] = {};
    actions[KwGeomObject] = ActEnd;
    for (const Keyword other : objectKeywords) actions[other] = ActNoSkip;
    actions[keyword] = ActRead;
    MeshData& mesh = *object.mesh;
    const bool within = file->run(seekObject(n), actions, [&](Keyword, TextReader& reader) {
        Material* material = materialManager.at(object.materialIndex);
        switch (keyword) {
        case KwMaterialRef:
            readMaterialRefLine(reader, object, materialBase);
            return false; // the first reference of the object counts
        case KwUTiling:
        case KwVTiling:
            readTilingLine(reader, material, keyword == KwUTiling);
            return true;
        case KwMeshVertex:
            readVertexLine(reader, mesh);
            return true;
        case KwMeshTVert:
            readTexVertexLine(reader, object, material);
            return true;
        case KwMeshFace:
            readFaceLine(reader, mesh.faces, false);
            return true;
        case KwMeshTFace:
            readFaceLine(reader, mesh.faces, true);
            return true;
        default:
            return true;
        }
    });
    return within || refuseReading();
}

bool AseLoader::keepCount(const char* keyword, int32_t& count, uint64_t& largestCount, size_t elementBytes) {
    if (count < 0) {
        setErrorLocation("src/loaderase", __LINE__);
        reportError("%s %d in %s refused: a count is never negative", keyword, count, fileName);
        count = 0;
        return true;
    }
    return budget.takeArray(largestCount, count, elementBytes) || refuse(keyword, count);
}

bool AseLoader::refuse(const char* keyword, long long count) {
    setErrorLocation("src/loaderase", __LINE__);
    reportError("%s %lld in %s refused: the model would take more than %d MB, so the file is not loaded", keyword,
                count, fileName, LoadBudget::LIMIT_MB);
    return false;
}

bool AseLoader::refuseReading() {
    setErrorLocation("src/loaderase", __LINE__);
    reportError("%s refused: its passes would read its text more than %d times over, so the file is not loaded",
                fileName, static_cast<int>(PassEngine::READING_BOUND));
    return false;
}
