// What one model file may make the loader hold: its text, the index over it, and every
// object, material and array its counts ask for, the draw arrays the model builds from
// the faces included. Counted as the counts are read, before anything is made, so that a
// file asking for too much is refused before it costs anything.
#pragma once
#include <cstddef>
#include <cstdint>

#include "fixed.h"
#include "loaderase/meshdata.h"
#include "materialmanager/materialmanager.h"

namespace ase {

class LoadBudget {
public:
    static constexpr int LIMIT_MB = 64;
    static constexpr size_t LIMIT = size_t{LIMIT_MB} << 20;

    // What a heap block costs besides its bytes, and the least one costs at all.
    static constexpr size_t BLOCK_OVERHEAD = 16;
    static constexpr size_t SMALLEST_BLOCK = 32;
    // An object: its record and mesh, the two draw arrays the model makes for it even
    // without faces, its place in the model's list and where it starts in the text.
    static constexpr size_t OBJECT_BYTES = sizeof(MeshObject) + sizeof(MeshData) + 2 * BLOCK_OVERHEAD +
                                           2 * SMALLEST_BLOCK + sizeof(MeshObject*) + 2 * sizeof(size_t);
    // A material: its record, its place in the table (which doubles as it grows) and where
    // it starts in the text.
    static constexpr size_t MATERIAL_BYTES =
        sizeof(Material) + BLOCK_OVERHEAD + 2 * sizeof(Material*) + 2 * sizeof(size_t);
    static constexpr size_t VERTEX_BYTES = sizeof(MeshVertex);
    static constexpr size_t TEX_VERTEX_BYTES = sizeof(TexVertex);
    // A face is also nine vertex and six texture coordinates in the draw arrays.
    static constexpr size_t FACE_BYTES = sizeof(MeshFace) + 15 * sizeof(Fixed);

    // Takes count items of itemBytes each; false, taking nothing, when that passes the limit.
    bool take(uint64_t count, size_t itemBytes) {
        if (count > (LIMIT - held) / itemBytes) return false;
        held += static_cast<size_t>(count) * itemBytes;
        return true;
    }
    // For an array sized by a count (not negative): an array keeps its storage when a
    // later count is smaller, so only growth beyond the largest count so far is new.
    bool takeArray(uint64_t& largestCount, int32_t count, size_t elementBytes) {
        const uint64_t wanted = static_cast<uint64_t>(count);
        if (wanted <= largestCount) return true;
        if (!take(wanted - largestCount, elementBytes)) return false;
        largestCount = wanted;
        return true;
    }
    size_t left() const { return LIMIT - held; }

private:
    size_t held = 0;
};

} // namespace ase
