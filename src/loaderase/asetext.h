// The text of a model file as the loader reads it: the file's bytes made into 8-bit text
// once, and a reader over them that behaves like the C library's formatted input on a
// stream (word by word, numbers as "%d" and "%f" read them, the rest of a line skipped
// with a character limit), so a file is read the same here as by the stream functions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ase {

// What the stream functions' text mode would hand over: a UTF-8 byte-order mark is
// dropped, UTF-16 text (little or big endian, with its mark) becomes UTF-8, and every
// CR LF pair becomes LF.
std::string decodeText(const char* bytes, size_t size);
// UTF-16 text, by its byte-order mark: the only text that decoding makes longer.
bool isUtf16(const char* bytes, size_t size);
// The decoding of text that is not UTF-16, done where it stands; returns its new size.
size_t decodeInPlace(char* bytes, size_t size);

// White space as the C library's isspace sees it in the "C" locale.
inline bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The first white-space character in [p, end), or end.
inline const char* findSpace(const char* p, const char* end) {
#ifdef __SSE2__
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i four = _mm_set1_epi8(4);
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Tab to carriage return are 9 to 13: four or less above the tab, unsigned.
        const __m128i fromTab = _mm_sub_epi8(bytes, tab);
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(fromTab, four), fromTab);
        const int mask = _mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(bytes, blank)));
        if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < end && !isSpace(static_cast<unsigned char>(*p))) ++p;
    return p;
}

// The first line feed in [p, end), or null.
inline const char* findLineFeed(const char* p, const char* end) {
#ifdef __SSE2__
    const __m128i lineFeed = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lineFeed));
        if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < end && *p != '\n') ++p;
    return p < end ? p : nullptr;
}

// Whether the text must be converted before it is read as it stands: byte-order marks
// and CR LF pairs.
bool needsDecoding(const char* bytes, size_t size);

// The longest word a buffer of 255 characters holds; longer words are cut to this.
constexpr size_t WORD_LIMIT = 254;
// A line skip reads at most 99 characters (a buffer of 100 with its terminator).
constexpr size_t LINE_SKIP_LIMIT = 99;

// A read position with the stream's end-of-file indicator: set when a read tries to go
// beyond the last character, and then kept.
class TextReader {
public:
    TextReader(const char* text, size_t size) : text(text), size(size) {}

    void seek(size_t position, bool atEof) {
        pos = position;
        eof = atEof;
    }
    size_t position() const { return pos; }
    bool atEof() const { return eof; }
    size_t length() const { return size; }
    const char* data() const { return text; }

    // "%s": skips white space and reads the following run of other characters. False,
    // with the indicator set, when nothing but white space is left.
    bool readWord(std::string_view& word) {
        if (!skipSpaceBeforeConversion()) return false;
        word = readRun();
        return true;
    }
    // Skips white space the way a conversion does; false (indicator set) at the end.
    bool skipSpaceBeforeConversion() {
        skipSpace();
        if (pos == size) {
            eof = true;
            return false;
        }
        return true;
    }
    // Reads the run of non-white characters that starts at the current position.
    std::string_view readRun() {
        const size_t start = pos;
        pos = static_cast<size_t>(findSpace(text + pos, text + size) - text);
        if (pos == size) eof = true; // the character after the word was looked for
        return std::string_view(text + start, pos - start);
    }
    // The rest of the line: up to and including the next line feed, at most 99 characters.
    void skipLine() {
        if (pos >= size) {
            eof = true;
            return;
        }
        const size_t limit = size - pos < LINE_SKIP_LIMIT ? size - pos : LINE_SKIP_LIMIT;
        const char* lineFeed = findLineFeed(text + pos, text + pos + limit);
        if (lineFeed) {
            pos = static_cast<size_t>(lineFeed - text) + 1;
            return;
        }
        pos += limit;
        // Fewer characters than the limit were left: the read ran into the end of the file.
        if (limit < LINE_SKIP_LIMIT) eof = true;
    }
    // White space in a format: any run, none included.
    void skipSpace() {
        while (pos < size && isSpace(static_cast<unsigned char>(text[pos]))) ++pos;
    }
    // An ordinary character of a format: consumed only when it matches.
    bool matchChar(char expected) {
        const int c = inchar();
        if (c < 0) return false;
        if (c != static_cast<unsigned char>(expected)) {
            ungetc(c);
            return false;
        }
        return true;
    }
    // "%d": sign and decimal digits; the value as the C library stores a long in an int.
    bool readInt(int32_t& value);
    // "%f": sign, then digits with a point and exponent, hexadecimal with "0x" and a
    // binary exponent, "inf", "infinity" or "nan"; consumes what the C library consumes,
    // also when the conversion fails.
    bool readFloat(float& value);
    // The quoted word " \"%s": the word after the opening quotation mark, cut to 254
    // characters, stored into out (capacity at least 255) with its last character, the
    // closing quotation mark, removed. On failure out keeps what it held.
    bool readQuoted(char* out, size_t capacity);

private:
    int inchar() {
        if (pos < size) return static_cast<unsigned char>(text[pos++]);
        eof = true;
        return -1;
    }
    void ungetc(int c) {
        if (c >= 0) --pos;
    }

    const char* text;
    size_t size;
    size_t pos = 0;
    bool eof = false;
};

// Converts the characters that "%f" consumed into the float the C library stores; false
// when they hold no number.
bool convertFloat(const char* begin, const char* end, float& value);

} // namespace ase
