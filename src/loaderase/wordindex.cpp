#include "loaderase/wordindex.h"

#include <algorithm>
#include <cstring>

#include "loaderase/asetext.h"

namespace ase {

namespace {

// Whether word is the keyword name; the length is known, so the compare is a few loads.
template <size_t N>
bool is(std::string_view word, const char (&name)[N]) {
    return std::memcmp(word.data(), name, N - 1) == 0;
}

// Follows the chain from the start of text: onWord (start) for each of its words,
// onKeyword (entry) for each keyword among them; either returning false stops the walk,
// and the walk then returns false.
template <class OnWord, class OnKeyword>
bool walkChain(std::string_view text, bool textHasNul, OnWord&& onWord, OnKeyword&& onKeyword) {
    TextReader reader(text.data(), text.size());
    const char* data = text.data();
    while (reader.skipSpaceBeforeConversion()) {
        const size_t start = reader.position();
        if (!onWord(start)) return false;
        const std::string_view word = reader.readRun();
        const Keyword keyword = classify(word, textHasNul);
        const size_t wordEnd = reader.position();
        const auto entry = [&](bool plain) {
            return WordIndex::Entry{static_cast<uint32_t>(start), static_cast<uint32_t>(word.size()), keyword, plain};
        };
        if (reader.atEof()) return keyword == KwOther || onKeyword(entry(false));
        reader.skipLine();
        if (keyword != KwOther) {
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
            if (!onKeyword(entry(plain))) return false;
        }
        if (reader.atEof()) break;
    }
    return true;
}

size_t chainMapBytes(size_t textSize) { return (textSize / 64 + 1) * sizeof(uint64_t); }

} // namespace

Keyword classify(std::string_view word, bool textHasNul) {
    if (word.empty() || word[0] != '*') return KwOther;
    if (textHasNul) {
        const void* nul = std::memchr(word.data(), '\0', word.size());
        if (nul) word = word.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - word.data()));
    }
    // Most words of a file are other keywords: the length and one character leave at most
    // one name to compare with.
    switch (word.size()) {
    case 7: return is(word, "*BITMAP") ? KwBitmap : KwOther;
    case 9: return is(word, "*MATERIAL") ? KwMaterial : KwOther;
    case 10: return is(word, "*MESH_FACE") ? KwMeshFace : KwOther;
    case 11:
        if (word[1] == 'G') return is(word, "*GEOMOBJECT") ? KwGeomObject : KwOther;
        if (word[7] == 'V') return is(word, "*MESH_TVERT") ? KwMeshTVert : KwOther;
        return is(word, "*MESH_TFACE") ? KwMeshTFace : KwOther;
    case 12: return is(word, "*MESH_VERTEX") ? KwMeshVertex : KwOther;
    case 13:
        if (word[1] == 'M') return is(word, "*MATERIAL_REF") ? KwMaterialRef : KwOther;
        if (word[5] == 'U') return is(word, "*UVW_U_TILING") ? KwUTiling : KwOther;
        return is(word, "*UVW_V_TILING") ? KwVTiling : KwOther;
    case 14:
        if (word[2] == 'A') return is(word, "*MATERIAL_NAME") ? KwMaterialName : KwOther;
        return is(word, "*MESH_NUMFACES") ? KwNumFaces : KwOther;
    case 15:
        if (word[2] == 'A') return is(word, "*MATERIAL_COUNT") ? KwMaterialCount : KwOther;
        return is(word, "*MESH_NUMVERTEX") ? KwNumVertex : KwOther;
    case 16: return is(word, "*MESH_NUMTVERTEX") ? KwNumTVertex : KwOther;
    case 17: return is(word, "*MATERIAL_DIFFUSE") ? KwMaterialDiffuse : KwOther;
    default: return KwOther;
    }
}

bool WordIndex::build(std::string_view text, size_t byteLimit) {
    entries.clear();
    chainWords.clear();
    hasNul = std::memchr(text.data(), '\0', text.size()) != nullptr;
    const size_t mapBytes = chainMapBytes(text.size());
    bool fits = mapBytes <= byteLimit;
    if (fits) {
        chainWords.assign(mapBytes / sizeof(uint64_t), 0);
        // The entries grow by half at a time and never past the limit, so that growing
        // them never holds much more than the limit allows.
        const size_t maxEntries = (byteLimit - mapBytes) / sizeof(Entry);
        entries.reserve(std::min(text.size() / 128 + 16, maxEntries));
        fits = walkChain(
            text, hasNul,
            [&](size_t start) {
                chainWords[start >> 6] |= uint64_t{1} << (start & 63);
                return true;
            },
            [&](const Entry& entry) {
                if (entries.size() >= maxEntries) return false;
                if (entries.size() == entries.capacity())
                    entries.reserve(std::min(maxEntries, entries.capacity() + entries.capacity() / 2 + 16));
                entries.push_back(entry);
                return true;
            });
    }
    if (!fits) {
        entries = {};
        chainWords = {};
        byteCount = byteLimit + 1;
        return false;
    }
    if (entries.capacity() - entries.size() > entries.size() / 8 + 64) entries.shrink_to_fit();
    byteCount = mapBytes + entries.size() * sizeof(Entry);
    return true;
}

size_t WordIndex::bytesFor(std::string_view text, size_t byteLimit) {
    size_t bytes = chainMapBytes(text.size());
    if (bytes > byteLimit) return byteLimit + 1;
    const bool hasNul = std::memchr(text.data(), '\0', text.size()) != nullptr;
    const bool fits = walkChain(
        text, hasNul, [](size_t) { return true; },
        [&](const Entry&) {
            bytes += sizeof(Entry);
            return bytes <= byteLimit;
        });
    return fits ? bytes : byteLimit + 1;
}

} // namespace ase
