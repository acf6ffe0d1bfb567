// The text of a model file as the loader reads it: the file's bytes made into 8-bit text
// once, and a reader over them that behaves like the C library's formatted input on a
// stream (word by word, numbers as "%d" and "%f" read them, the rest of a line skipped
// with a character limit), so a file is read the same here as by the stream functions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ase {

// What the stream functions' text mode would hand over: a UTF-8 byte-order mark is
// dropped, UTF-16 text (little or big endian, with its mark) becomes UTF-8, and every
// CR LF pair becomes LF.
std::string decodeText(const char* bytes, size_t size);

// White space as the C library's isspace sees it in the "C" locale.
inline bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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
    bool readWord(std::string_view& word);
    // Skips white space the way a conversion does; false (indicator set) at the end.
    bool skipSpaceBeforeConversion();
    // Reads the run of non-white characters that starts at the current position.
    std::string_view readRun();
    // The rest of the line: up to and including the next line feed, at most 99 characters.
    void skipLine();
    // White space in a format: any run, none included.
    void skipSpace();
    // An ordinary character of a format: consumed only when it matches.
    bool matchChar(char c);
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
