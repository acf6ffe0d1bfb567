// Where the keywords of a model file's text sit, found once so that the loader's passes
// need not read the whole text word by word again and again.
//
// Every pass reads words and skips the rest of the line after a word it does not act on.
// A reader that does that after every word, from the start of the text, meets one chain
// of words; the index keeps where that chain's words start and, for its keywords, what a
// pass needs to follow the chain past them. A pass that stands on a word of the chain
// behaves like the chain until the next keyword it acts on, so it can jump there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ase {

// The sixteen keywords the loader understands; every other word is KwOther.
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

// A word is compared as the stored wide string would be: up to its first NUL, which only a
// text holding one (textHasNul) needs to look for.
Keyword classify(std::string_view word, bool textHasNul);

class WordIndex {
public:
    struct Entry {
        uint32_t start; // where the keyword starts
        // The whole run of the word: longer than the keyword when a NUL ends the keyword.
        uint32_t length;
        Keyword keyword;
        // A pass that neither reads nor skips after this word reads the next word of the
        // line and skips from there: it arrives where the chain does.
        bool plainNoSkip;
    };

    // Indexes text; false, keeping nothing, when the index would take more than byteLimit
    // bytes (bytes() then says more than byteLimit).
    bool build(std::string_view text, size_t byteLimit);
    // What the index takes: its entries and the map of chain words.
    size_t bytes() const { return byteCount; }
    // What build would take for text, counted without keeping anything; byteLimit + 1 when
    // it is more than byteLimit.
    static size_t bytesFor(std::string_view text, size_t byteLimit);

    bool isChainWord(size_t position) const {
        return (chainWords[position >> 6] >> (position & 63)) & 1;
    }
    const std::vector<Entry>& keywords() const { return entries; }
    bool textHasNul() const { return hasNul; }

private:
    std::vector<Entry> entries;
    std::vector<uint64_t> chainWords; // one bit per character: a word of the chain starts there
    size_t byteCount = 0;
    bool hasNul = false;
};

} // namespace ase
