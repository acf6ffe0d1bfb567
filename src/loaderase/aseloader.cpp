#include "loaderase/aseloader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "fixed.h"
#include "loaderase/asetext.h"
#include "log.h"
#include "materialmanager/materialmanager.h"
#include "model.h"

namespace ase {

enum Keyword : uint8_t {
    KwOther,
    KwGeomObject,
    KwMaterialCount,
    KwMaterial,
    KwMaterialName,
    KwMaterialDiffuse,
    KwBitmap,
    KwUTiling,
    KwVTiling,
    KwNumVertex,
    KwNumFaces,
    KwNumTVertex,
    KwMaterialRef,
    KwMeshVertex,
    KwMeshFace,
    KwMeshTVert,
    KwMeshTFace,
    KwCount
};

namespace {

struct KeywordName {
    std::string_view text;
    Keyword keyword;
};

constexpr KeywordName keywordNames[] = {
    {"*GEOMOBJECT", KwGeomObject},     {"*MATERIAL_COUNT", KwMaterialCount},
    {"*MATERIAL", KwMaterial},         {"*MATERIAL_NAME", KwMaterialName},
    {"*MATERIAL_DIFFUSE", KwMaterialDiffuse}, {"*BITMAP", KwBitmap},
    {"*UVW_U_TILING", KwUTiling},      {"*UVW_V_TILING", KwVTiling},
    {"*MESH_NUMVERTEX", KwNumVertex},  {"*MESH_NUMFACES", KwNumFaces},
    {"*MESH_NUMTVERTEX", KwNumTVertex}, {"*MATERIAL_REF", KwMaterialRef},
    {"*MESH_VERTEX", KwMeshVertex},    {"*MESH_FACE", KwMeshFace},
    {"*MESH_TVERT", KwMeshTVert},      {"*MESH_TFACE", KwMeshTFace},
};

// A word is compared as the stored wide string would be: up to its first NUL.
Keyword classify(std::string_view word, bool textHasNul) {
    if (word.empty() || word[0] != '*') return KwOther;
    if (textHasNul) {
        const void* nul = std::memchr(word.data(), '\0', word.size());
        if (nul) word = word.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - word.data()));
    }
    // Most words of a file are other keywords: the length rules them out before any compare.
    constexpr uint32_t candidateLengths = (1u << 7) | (1u << 9) | (1u << 10) | (1u << 11) | (1u << 12) |
                                          (1u << 13) | (1u << 14) | (1u << 15) | (1u << 16) | (1u << 17);
    if (word.size() > 17 || !(candidateLengths & (1u << word.size()))) return KwOther;
    for (const KeywordName& name : keywordNames) {
        if (name.text.size() == word.size() && std::memcmp(name.text.data(), word.data(), word.size()) == 0) {
            return name.keyword;
        }
    }
    return KwOther;
}

} // namespace

// What a pass does with a word of each keyword.
enum Action : uint8_t {
    ActSkip,   // skip the rest of the line
    ActNoSkip, // read nothing, skip nothing: the next word follows at once
    ActRead,   // the pass's own keyword: its handler reads the values
    ActEnd,    // the pass ends at this word
};

// The chain: the words that a reader meets when it skips the line after every word,
// from the start of the text. Only its keywords are kept, each with the chain's next word,
// so every kept position is a place where a pass can join the chain.
struct WordIndex {
    static constexpr uint32_t NO_NEXT = 0xFFFFFFFF;
    struct Entry {
        uint32_t start; // where the keyword starts
        uint32_t next;  // where the chain's next word starts; NO_NEXT: the chain ends here
        // The whole run of the word: longer than the keyword when a NUL ends the keyword.
        uint32_t length;
        Keyword keyword;
        // A pass that neither reads nor skips after this word reads the next word of the
        // line and skips from there: it arrives where the chain does.
        bool plainNoSkip;
    };
    std::vector<Entry> entries;
    uint32_t firstStart = NO_NEXT; // the chain's first word
    bool textHasNul = false;

    void build(std::string_view text);
};

void WordIndex::build(std::string_view text) {
    textHasNul = std::memchr(text.data(), '\0', text.size()) != nullptr;
    TextReader reader(text.data(), text.size());
    const char* data = text.data();
    entries.reserve(text.size() / 256);
    bool lastWasKeyword = false;
    while (reader.skipSpaceBeforeConversion()) {
        const size_t start = reader.position();
        if (lastWasKeyword) entries.back().next = static_cast<uint32_t>(start);
        if (firstStart == NO_NEXT) firstStart = static_cast<uint32_t>(start);
        const std::string_view word = reader.readRun();
        const Keyword keyword = classify(word, textHasNul);
        lastWasKeyword = keyword != KwOther;
        const size_t wordEnd = reader.position();
        if (reader.atEof()) {
            if (lastWasKeyword) {
                entries.push_back({static_cast<uint32_t>(start), NO_NEXT, static_cast<uint32_t>(word.size()), keyword,
                                   false});
            }
            break;
        }
        reader.skipLine();
        if (lastWasKeyword) {
            bool plain = false;
            // Plain when the line skip reached the line feed and a further word of the
            // line, which no pass acts on, stands between the keyword and that line feed.
            const size_t after = reader.position();
            if (!reader.atEof() && after > wordEnd && data[after - 1] == '\n') {
                size_t p = wordEnd;
                while (p < after - 1 && isSpace(static_cast<unsigned char>(data[p]))) ++p;
                if (p < after - 1) {
                    size_t q = p;
                    while (!isSpace(static_cast<unsigned char>(data[q]))) ++q;
                    plain = classify(std::string_view(data + p, q - p), textHasNul) == KwOther;
                }
            }
            entries.push_back(
                {static_cast<uint32_t>(start), NO_NEXT, static_cast<uint32_t>(word.size()), keyword, plain});
        }
        if (reader.atEof()) break;
    }
}

namespace {

// One pass: where it starts, what it does with each keyword, and the handler that reads
// the values of its own keywords (returning false ends the pass).
template <class Handler>
void runPass(std::string_view text, const WordIndex* index, size_t startPos, bool startEof,
             const Action (&actions)[KwCount], Handler&& handle) {
    TextReader reader(text.data(), text.size());
    reader.seek(startPos, startEof);
    if (reader.atEof()) return;
    const bool textHasNul = index ? index->textHasNul : std::memchr(text.data(), '\0', text.size()) != nullptr;

    // Keywords whose entries can change this pass's course: its own and its end always,
    // those it passes over without skipping only where that is not plain.
    uint32_t alwaysStops = 0, stopsUnlessPlain = 0;
    for (int k = 1; k < KwCount; ++k) {
        if (actions[k] == ActRead || actions[k] == ActEnd) alwaysStops |= 1u << k;
        if (actions[k] == ActNoSkip) stopsUnlessPlain |= 1u << k;
    }
    const WordIndex::Entry* entries = index ? index->entries.data() : nullptr;
    const size_t entryCount = index ? index->entries.size() : 0;
    size_t cursor = 0; // the first entry at or after the reading position
    if (index) {
        cursor = static_cast<size_t>(
            std::lower_bound(index->entries.begin(), index->entries.end(), startPos,
                             [](const WordIndex::Entry& e, size_t pos) { return e.start < pos; }) -
            index->entries.begin());
    }

    for (;;) {
        if (!reader.skipSpaceBeforeConversion()) return;
        Keyword keyword;
        const size_t wordStart = reader.position();
        bool joined = false;
        if (index) {
            while (cursor < entryCount && entries[cursor].start < wordStart) ++cursor;
            joined = (cursor < entryCount && entries[cursor].start == wordStart) ||
                     (cursor > 0 && entries[cursor - 1].next == wordStart) || wordStart == index->firstStart;
        }
        if (joined) {
            // On the chain: every word up to the next keyword that matters to this pass is
            // read and skipped as the chain does it.
            while (cursor < entryCount) {
                const WordIndex::Entry& e = entries[cursor];
                const uint32_t bit = 1u << e.keyword;
                if ((alwaysStops & bit) || ((stopsUnlessPlain & bit) && !e.plainNoSkip)) break;
                ++cursor;
            }
            if (cursor == entryCount) return; // the rest of the chain runs to the end of the text
            const WordIndex::Entry& e = entries[cursor++];
            const size_t end = size_t{e.start} + e.length;
            reader.seek(end, end == text.size());
            keyword = e.keyword;
        } else {
            keyword = classify(reader.readRun(), textHasNul);
        }
        switch (actions[keyword]) {
        case ActSkip:
            reader.skipLine();
            break;
        case ActNoSkip:
            break;
        case ActRead:
            if (!handle(keyword, reader)) return;
            break;
        case ActEnd:
            return;
        }
        if (reader.atEof()) return;
    }
}

struct Start {
    size_t position;
    bool eof;
};

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

// "%d:", then "\tA:\t%d B:\t%d C:\t%d" for a face or "%d %d %d" for a texture face,
// straight into the face so that values which do not convert leave it as it was. A line
// whose index lies beyond the count is read all the same and dropped.
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


} // namespace
} // namespace ase

using namespace ase;

AseLoader::AseLoader(const char* fileName, Model* model) : model(model) { load(fileName, model); }

AseLoader::~AseLoader() = default;

namespace {
// The two argument errors of a load, reported from their fixed places.
bool argumentsGiven(const char* name, const Model* model) {
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
} // namespace

void AseLoader::load(const char* fileName, Model* model) {
    if (argumentsGiven(fileName, model)) readFile(fullPath(fileName).c_str(), fileName, model);
}

void AseLoader::loadPath(const char* path, Model* model) {
    if (!argumentsGiven(path, model)) return;
    readFile(path, path, model);
}

namespace {

// The bytes of a model file: read whole into one buffer, or mapped when the file is large,
// which spares copying it and touching fresh memory for all of it.
class FileBytes {
public:
    ~FileBytes() {
        if (mapping) munmap(mapping, size);
    }
    bool open(const char* path) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat info;
        bool ok = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
        size_t capacity = ok && S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) + 1 : 65536;
        // Positions are kept in 32 bits: no model of this game comes near that size.
        constexpr size_t largest = 0x7FFFFFFF;
        if (capacity > largest) ok = false;
        constexpr size_t mapFrom = 8 << 20;
        if (ok && S_ISREG(info.st_mode) && capacity > mapFrom) {
            void* p = mmap(nullptr, capacity - 1, PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                mapping = p;
                size = capacity - 1;
                ::close(fd);
                return true;
            }
        }
        if (ok) buffer.reset(new char[capacity]);
        while (ok) {
            if (size == capacity) {
                // The file grew, or tells no size: read on in a larger buffer.
                if (capacity > largest / 2) {
                    ok = false;
                    break;
                }
                std::unique_ptr<char[]> larger(new char[capacity * 2]);
                std::memcpy(larger.get(), buffer.get(), size);
                buffer = std::move(larger);
                capacity *= 2;
            }
            const ssize_t n = ::read(fd, buffer.get() + size, capacity - size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            size += static_cast<size_t>(n);
        }
        ::close(fd);
        return ok;
    }
    const char* data() const { return mapping ? static_cast<const char*>(mapping) : buffer.get(); }
    size_t size = 0;

private:
    std::unique_ptr<char[]> buffer;
    void* mapping = nullptr;
};

} // namespace

void AseLoader::readFile(const char* path, const char* shownName, Model* model) {
    FileBytes bytes;
    setDataFileInQuestion(path);
    if (!bytes.open(path)) {
        setErrorLocation("src/loaderase", 46);
        reportError("File %s does not exists", shownName);
        return;
    }
    loadText(shownName, bytes.data(), bytes.size, model);
    setDataFileInQuestion(std::string());
}

void AseLoader::loadText(const char* name, const char* bytes, size_t size, Model* model) {
    if (!model) {
        setErrorLocation("src/loaderase", 37);
        reportError("invalid 3DModel");
        return;
    }
    if (size > 0x7FFFFFFF) return;
    this->model = model;
    fileName = name ? name : "";
    if (needsDecoding(bytes, size)) {
        runPasses(decodeText(bytes, size));
    } else {
        runPasses(std::string_view(bytes, size));
    }
    fileName = "";
}

void AseLoader::runPasses(std::string_view text) {
    WordIndex wordIndex;
    if (useIndex) wordIndex.build(text);
    const WordIndex* idx = useIndex ? &wordIndex : nullptr;

    // A count is refused when no file could hold it: above the cap or above one element
    // per character of the text.
    auto refused = [&](const char* keyword, int32_t count, int32_t cap) {
        const int64_t limit = std::min<int64_t>(cap, static_cast<int64_t>(text.size()));
        if (count >= 0 && count <= limit) return false;
        setErrorLocation("src/loaderase", __LINE__);
        reportError("%s %d in %s refused: a count must lie between 0 and %lld", keyword, count, fileName,
                    static_cast<long long>(limit));
        return true;
    };

    materialBase = -1;

    // countObjects, which also finds where every object starts.
    std::vector<Start> objectStarts;
    {
        Action actions[KwCount] = {};
        actions[KwGeomObject] = ActRead;
        runPass(text, idx, 0, false, actions, [&](Keyword, TextReader& reader) {
            objectStarts.push_back({reader.position(), reader.atEof()});
            return true;
        });
    }
    model->objectCount = static_cast<int32_t>(objectStarts.size());

    // readMaterialCount
    int32_t materialCount = 0;
    {
        Action actions[KwCount] = {};
        actions[KwMaterialCount] = ActRead;
        runPass(text, idx, 0, false, actions, [&](Keyword, TextReader& reader) {
            readIntInto(reader, materialCount);
            return false;
        });
    }
    if (refused("*MATERIAL_COUNT", materialCount, MAX_MATERIAL_COUNT)) materialCount = 0;

    std::vector<Start> materialStarts;
    if (materialCount > 0) {
        Action actions[KwCount] = {};
        actions[KwMaterial] = ActRead;
        runPass(text, idx, 0, false, actions, [&](Keyword, TextReader& reader) {
            materialStarts.push_back({reader.position(), reader.atEof()});
            return materialStarts.size() < static_cast<size_t>(materialCount);
        });
    }

    for (int32_t n = 0; n < materialCount; ++n) {
        Material* material = new Material();
        materialBase = materialManager.add(material);
        // readMaterial: a material that the file does not have stays as created.
        if (static_cast<size_t>(n) >= materialStarts.size()) continue;
        Action actions[KwCount] = {};
        actions[KwMaterial] = ActEnd;
        actions[KwMaterialDiffuse] = actions[KwBitmap] = actions[KwMaterialName] = ActRead;
        actions[KwUTiling] = actions[KwVTiling] = ActRead;
        runPass(text, idx, materialStarts[n].position, materialStarts[n].eof, actions,
                [&](Keyword keyword, TextReader& reader) {
                    switch (keyword) {
                    case KwMaterialDiffuse: {
                        for (Fixed& component : material->diffuse) {
                            float value;
                            if (!reader.readFloat(value)) break;
                            component = FloatToFixed(value);
                        }
                        break;
                    }
                    case KwBitmap:
                        reader.readQuoted(material->bitmap, sizeof material->bitmap);
                        break;
                    case KwMaterialName:
                        reader.readQuoted(material->name, sizeof material->name);
                        break;
                    case KwUTiling:
                        readFloatInto(reader, material->uTiling);
                        break;
                    case KwVTiling:
                        readFloatInto(reader, material->vTiling);
                        break;
                    default:
                        break;
                    }
                    return true;
                });
    }
    materialBase = materialBase - materialCount + 1;

    static const Keyword objectKeywords[] = {KwMaterialRef, KwUTiling,  KwVTiling,  KwMeshVertex,
                                             KwMeshFace,    KwMeshTVert, KwMeshTFace};
    for (const Start& start : objectStarts) {
        MeshObject* object = new MeshObject();
        model->objects.push_back(object);
        object->materialIndex = -1;
        MeshData& mesh = *object->mesh;

        // readMeshCounts
        {
            Action actions[KwCount] = {};
            actions[KwGeomObject] = ActEnd;
            actions[KwNumVertex] = actions[KwNumFaces] = actions[KwNumTVertex] = ActRead;
            runPass(text, idx, start.position, start.eof, actions, [&](Keyword keyword, TextReader& reader) {
                if (keyword == KwNumVertex) {
                    readIntInto(reader, mesh.numVertex);
                    if (refused("*MESH_NUMVERTEX", mesh.numVertex, MAX_MESH_COUNT)) mesh.numVertex = 0;
                    mesh.vertices.assign(static_cast<size_t>(mesh.numVertex), MeshVertex());
                } else if (keyword == KwNumFaces) {
                    readIntInto(reader, mesh.numFaces);
                    if (refused("*MESH_NUMFACES", mesh.numFaces, MAX_MESH_COUNT)) mesh.numFaces = 0;
                    mesh.faces.assign(static_cast<size_t>(mesh.numFaces), MeshFace());
                } else {
                    readIntInto(reader, mesh.numTVertex);
                    if (refused("*MESH_NUMTVERTEX", mesh.numTVertex, MAX_MESH_COUNT)) mesh.numTVertex = 0;
                    mesh.texVertices.assign(static_cast<size_t>(mesh.numTVertex), TexVertex());
                }
                return true;
            });
        }

        for (const Keyword own : objectKeywords) {
            Action actions[KwCount] = {};
            actions[KwGeomObject] = ActEnd;
            for (const Keyword other : objectKeywords) actions[other] = ActNoSkip;
            actions[own] = ActRead;
            runPass(text, idx, start.position, start.eof, actions, [&](Keyword, TextReader& reader) {
                // The object's material, when the table has it; without one, tiling lines
                // have nothing to set and texture coordinates stay unscaled.
                Material* material = materialManager.at(object->materialIndex);
                switch (own) {
                case KwMaterialRef: {
                    reader.skipSpace();
                    float value;
                    if (reader.readFloat(value)) {
                        const double whole = std::trunc(static_cast<double>(value));
                        const double sum = whole + materialBase;
                        // A reference that names no possible index leaves the object
                        // without a material.
                        if (std::isfinite(whole) && sum >= INT32_MIN && sum <= INT32_MAX) {
                            object->materialIndex = static_cast<int32_t>(sum);
                        }
                    }
                    return false; // the first reference of the object counts
                }
                case KwUTiling:
                case KwVTiling: {
                    reader.skipSpace();
                    float value;
                    if (reader.readFloat(value) && material) (own == KwUTiling ? material->uTiling : material->vTiling) = value;
                    return true;
                }
                case KwMeshVertex: {
                    int32_t i = 0;
                    readIntInto(reader, i);
                    float x, y, z;
                    const bool gotX = reader.readFloat(x);
                    const bool gotY = gotX && reader.readFloat(y);
                    const bool gotZ = gotY && reader.readFloat(z);
                    if (inRange(i, mesh.vertices.size())) {
                        MeshVertex& v = mesh.vertices[static_cast<size_t>(i)];
                        // The file's Z axis points up: it becomes the game's y.
                        if (gotX) v.x = x;
                        if (gotZ) v.y = z;
                        if (gotY) v.z = -y;
                    }
                    return true;
                }
                case KwMeshTVert: {
                    int32_t i = 0;
                    readIntInto(reader, i);
                    float u, v;
                    const bool gotU = reader.readFloat(u);
                    const bool gotV = gotU && reader.readFloat(v);
                    if (inRange(i, mesh.texVertices.size())) {
                        TexVertex& t = mesh.texVertices[static_cast<size_t>(i)];
                        const float uTiling = material ? material->uTiling : 1.0f;
                        const float vTiling = material ? material->vTiling : 1.0f;
                        if (gotU) t.u = u * uTiling;
                        if (gotV) t.v = v * vTiling;
                        object->hasTexCoords = 1;
                    }
                    return true;
                }
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
        }
        if (object->hasTexCoords == 1) materialManager.loadTexture(object->materialIndex);
    }
}
