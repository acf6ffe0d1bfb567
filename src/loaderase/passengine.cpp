#include "loaderase/passengine.h"

#include <cstring>

namespace ase {

PassEngine::PassEngine(std::string_view text)
    : content(text), textHasNul(std::memchr(text.data(), '\0', text.size()) != nullptr),
      readingLeft(READING_BOUND * text.size()) {}

PassEngine::PassEngine(std::string_view text, const WordIndex& index)
    : content(text), index(&index), textHasNul(index.textHasNul()), readingLeft(READING_BOUND * text.size()) {}

size_t PassEngine::indexBytes(size_t byteLimit) const {
    if (!index) return WordIndex::bytesFor(content, byteLimit);
    return index->bytes() > byteLimit ? byteLimit + 1 : index->bytes();
}

} // namespace ase
