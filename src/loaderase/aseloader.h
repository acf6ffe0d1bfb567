// Reads an ASE (ASCII scene export) file into a Model: its geometry objects with their
// vertices, faces and texture vertices, and its materials into the program-wide table.
//
// The file is read in passes, each looking for one thing from a known place: the object
// count, the material count, each material, and per object its counts and then its
// lines keyword by keyword. Every pass reads words and skips the rest of the line after
// a word it does not act on, so what a pass sees depends on the pass; the results are
// those of the stream functions reading the file that way.
//
// To avoid re-reading the file for every pass, the text is kept in memory and indexed
// once: the chain of words that a reader skipping every line meets, and where the
// keywords sit on it. A pass follows the chain while it behaves like that reader and
// reads for itself only around the keywords it acts on, then joins the chain again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "loaderase/modelloader.h"

class Model;
struct MeshObject;

namespace ase {
class TextReader;
struct WordIndex;
} // namespace ase

class AseLoader : public ModelLoader {
public:
    // No load: for loadPath and loadText.
    AseLoader() = default;
    // Reads fileName from the application directory into model before returning.
    AseLoader(const char* fileName, Model* model);
    ~AseLoader() override;
    AseLoader(const AseLoader&) = delete;
    AseLoader& operator=(const AseLoader&) = delete;

    void load(const char* fileName, Model* model) override;
    // The same reading for a path used as given; errors name the path.
    void loadPath(const char* path, Model* model);
    // The same reading for a file already in memory; errors name `name`.
    void loadText(const char* name, const char* bytes, size_t size, Model* model);

    // Counts above which a file is taken as damaged and the count refused: no array.
    static constexpr int32_t MAX_MESH_COUNT = 2000000;
    static constexpr int32_t MAX_MATERIAL_COUNT = 65536;

    // Reads every pass word by word from its start, without the index: slower, and kept
    // to check the indexed reading against.
    bool useIndex = true;

    Model* model = nullptr;
    int32_t materialBase = -1;

private:
    void readFile(const char* path, const char* shownName, Model* model);
    void runPasses(std::string_view text);

    const char* fileName = "";     // for error messages while a load runs
    ase::WordIndex* index = nullptr;
};
