// Reads an ASE (ASCII scene export) file into a Model: its geometry objects with their
// vertices, faces and texture vertices, and its materials into the program-wide table.
//
// The file is read in passes, each looking for one thing from a known place: the object
// count, the material count, each material, and per object its counts and then its
// lines keyword by keyword. Every pass reads words and skips the rest of the line after
// a word it does not act on, so what a pass sees depends on the pass; the results are
// those of the stream functions reading the file that way. The text is kept in memory
// and indexed once, so that the passes need not read all of it each time (passengine.h).
//
// Whatever a file says, the loader holds at most 64 MB for it (loadbudget.h) and its
// passes read the text at most sixteen times over: a file that would need more is refused
// as a whole with one message, and the model stays as empty as for a missing file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "loaderase/loadbudget.h"
#include "loaderase/modelloader.h"
#include "loaderase/passengine.h"
#include "loaderase/wordindex.h"

struct MeshSet;
struct Material;
struct MeshObject;

class AseLoader : public ModelLoader {
public:
    // No load: for loadPath and loadText.
    AseLoader() = default;
    // Reads fileName from the application directory into model before returning.
    AseLoader(const char* fileName, MeshSet* model);
    ~AseLoader() override;
    AseLoader(const AseLoader&) = delete;
    AseLoader& operator=(const AseLoader&) = delete;

    void load(const char* fileName, MeshSet* model) override;
    // The same reading for a path used as given; errors name the path.
    void loadPath(const char* path, MeshSet* model);
    // The same reading for a file already in memory; errors name `name`.
    void loadText(const char* name, const char* bytes, size_t size, MeshSet* model);
    // The passes over text already decoded, read through engine: what loadText does once
    // it has decoded and indexed the text.
    void read(const char* name, ase::PassEngine& engine, MeshSet* model);

    // A larger file could never fit the budget: it is not read at all.
    static constexpr size_t MAX_FILE_BYTES = ase::LoadBudget::LIMIT;

    MeshSet* model = nullptr;
    int32_t materialBase = -1;

private:
    void readFile(const char* path, const char* shownName, MeshSet* model);
    void readWhole(const char* path, const char* shownName, MeshSet* model);
    void readDecoded(const char* name, std::string_view text, MeshSet* model);

    // The passes in their order; each returns false when the file is refused.
    bool runPasses();
    bool countObjects();
    bool readMaterialCount(int32_t& count);
    bool findMaterials(int32_t count);
    bool readMaterial(int32_t n, Material& material);
    bool readMeshCounts(int32_t n, MeshObject& object);
    bool readObjectKeyword(int32_t n, ase::Keyword keyword, MeshObject& object);
    ase::Start seekObject(int32_t n) const { return objectStarts[static_cast<size_t>(n - 1)]; }

    // False when the count is refused and the file with it; a negative count becomes 0.
    bool keepCount(const char* keyword, int32_t& count, uint64_t& largestCount, size_t elementBytes);
    bool refuse(const char* keyword, long long count);
    bool refuseReading();

    ase::PassEngine* file = nullptr; // the text being read, while a load runs
    const char* fileName = "";       // for error messages while a load runs
    ase::LoadBudget budget;
    std::vector<ase::Start> objectStarts;   // where each object's range begins
    std::vector<ase::Start> materialStarts; // where each material's range begins
    std::vector<int32_t> textureRequests;   // materials to texture once the file is known to fit
};
