// The passes of the ASE loader: each reads the text from a known place, word by word, and
// does one of four things with every keyword it meets, until its handler or an end keyword
// stops it or the text ends. Every word it does not act on has the rest of its line skipped.
//
// With a word index the passes jump along the index's chain wherever they stand on it and
// read for themselves only around the keywords they act on; without one they read every
// word, as the stream functions would. Both give the same result in every pass.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "loaderase/asetext.h"
#include "loaderase/wordindex.h"

namespace ase {

// What a pass does with a word of each keyword.
enum Action : uint8_t {
    ActSkip,   // skip the rest of the line
    ActNoSkip, // read nothing, skip nothing: the next word follows at once
    ActRead,   // the pass's own keyword: its handler reads the values
    ActEnd,    // the pass ends at this word
};

// Where a pass starts: a position with the stream's end-of-file indicator there.
struct Start {
    size_t position = 0;
    bool eof = false;
};

class PassEngine {
public:
    // Every pass reads every word: the plain reading, which the indexed one is checked against.
    explicit PassEngine(std::string_view text);
    // Passes follow index, which must have been built over text.
    PassEngine(std::string_view text, const WordIndex& index);

    std::string_view text() const { return content; }
    // What the index over the text takes; for the plain reading what it would take, so that
    // both readings refuse the same texts. byteLimit + 1 when that is more than byteLimit.
    size_t indexBytes(size_t byteLimit) const;

    // The passes of one load together may cover the text this many times. A file's own
    // passes cover it about twelve times at most: each object's eight passes its own range,
    // the counting and material passes the text once each. Only passes that run on past the
    // ranges the counting pass found (lines longer than a line skip, read out of step) go
    // further, and they could make a small file take hours.
    static constexpr uint64_t READING_BOUND = 16;

    // Runs one pass from start. handle (keyword, reader) reads the values of a keyword whose
    // action is ActRead and returns false to end the pass. False when the passes together
    // went past the reading bound: the pass stopped there.
    template <class Handler>
    bool run(Start start, const Action (&actions)[KwCount], Handler&& handle);

private:
    // Whether the pass from `from` to end keeps the passes within the reading bound.
    bool finish(size_t from, size_t end) {
        const uint64_t covered = end - from;
        if (covered > readingLeft) {
            readingLeft = 0;
            return false;
        }
        readingLeft -= covered;
        return true;
    }

    std::string_view content;
    const WordIndex* index = nullptr;
    bool textHasNul = false;
    uint64_t readingLeft = 0;
};

template <class Handler>
bool PassEngine::run(Start start, const Action (&actions)[KwCount], Handler&& handle) {
    TextReader reader(content.data(), content.size());
    reader.seek(start.position, start.eof);
    const size_t from = start.position;
    const size_t size = content.size();
    if (reader.atEof()) return finish(from, size);

    // Keywords whose entries can change this pass's course: its own and its end always,
    // those it passes over without skipping only where that is not plain.
    uint32_t alwaysStops = 0, stopsUnlessPlain = 0;
    for (int k = 1; k < KwCount; ++k) {
        if (actions[k] == ActRead || actions[k] == ActEnd) alwaysStops |= 1u << k;
        if (actions[k] == ActNoSkip) stopsUnlessPlain |= 1u << k;
    }
    const WordIndex::Entry* entries = index ? index->keywords().data() : nullptr;
    const size_t entryCount = index ? index->keywords().size() : 0;
    size_t cursor = 0; // the first entry at or after the reading position
    if (index) {
        cursor = static_cast<size_t>(
            std::lower_bound(entries, entries + entryCount, start.position,
                             [](const WordIndex::Entry& e, size_t pos) { return e.start < pos; }) -
            entries);
    }

    for (;;) {
        if (reader.position() - from > readingLeft) return finish(from, reader.position());
        if (!reader.skipSpaceBeforeConversion()) return finish(from, size);
        const size_t wordStart = reader.position();
        Keyword keyword;
        if (index && index->isChainWord(wordStart)) {
            // On the chain: every word up to the next keyword that matters to this pass is
            // read and skipped as the chain does it.
            while (cursor < entryCount && entries[cursor].start < wordStart) ++cursor;
            while (cursor < entryCount) {
                const WordIndex::Entry& e = entries[cursor];
                const uint32_t bit = 1u << e.keyword;
                if ((alwaysStops & bit) || ((stopsUnlessPlain & bit) && !e.plainNoSkip)) break;
                ++cursor;
            }
            if (cursor == entryCount) return finish(from, size); // the rest of the chain runs to the end
            const WordIndex::Entry& e = entries[cursor++];
            const size_t end = size_t{e.start} + e.length;
            reader.seek(end, end == size);
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
            if (!handle(keyword, reader)) return finish(from, reader.atEof() ? size : reader.position());
            break;
        case ActEnd:
            return finish(from, reader.atEof() ? size : reader.position());
        }
        if (reader.atEof()) return finish(from, size);
    }
}

} // namespace ase
