// The loader's text reader against the C library's own stream functions: for each input,
// the same value, the same characters consumed and the same end-of-file indicator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "loaderase/asetext.h"

namespace {

struct Outcome {
    bool converted = false;
    double value = 0;
    long consumed = 0;
    bool eof = false;
    bool operator==(const Outcome& o) const {
        const bool sameValue = std::isnan(value) ? std::isnan(o.value) && std::signbit(value) == std::signbit(o.value)
                                                 : value == o.value && std::signbit(value) == std::signbit(o.value);
        return converted == o.converted && (!converted || sameValue) && consumed == o.consumed && eof == o.eof;
    }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{converted " << o.converted << " value " << o.value << " consumed " << o.consumed << " eof "
               << o.eof << "}";
}

// A stream holding text: in memory, or a temporary file for the empty text.
FILE* openText(std::string& text) {
    if (!text.empty()) return fmemopen(text.data(), text.size(), "r");
    return std::tmpfile();
}

// Runs one fscanf on a stream holding text.
template <class T>
Outcome libraryScan(const std::string& text, const char* format) {
    Outcome out;
    std::string copy = text;
    FILE* f = openText(copy);
    T value{};
    const int n = std::fscanf(f, format, &value);
    out.converted = n == 1;
    out.value = static_cast<double>(value);
    out.consumed = std::ftell(f);
    out.eof = std::feof(f) != 0;
    std::fclose(f);
    return out;
}

// Runs the reader's readFloat or readInt on text.
template <class T>
Outcome readerScan(const std::string& text) {
    ase::TextReader reader(text.data(), text.size());
    T value = 0;
    Outcome out;
    if constexpr (std::is_same_v<T, float>) {
        out.converted = reader.readFloat(value);
    } else {
        out.converted = reader.readInt(value);
    }
    out.value = value;
    out.consumed = static_cast<long>(reader.position());
    out.eof = reader.atEof();
    return out;
}

} // namespace

TEST(TextReaderNumbers, FloatsReadAsTheLibraryReadsThem) {
    const char* cases[] = {"1.5x", "-x", "1e+x", "100ergs", ".5", "-.e1", "infinity", "infx", "nan(123)", "0x1p3",
                           "0xg", "1.5e", "-0", "3.4e39", "1e-50", "nanx", "INF", "  \n 7", "-infinit", "0x1p",
                           "-52.4931\t-13.4349", "", "7e-46", "123456789012345678901234567890"};
    for (const char* text : cases) EXPECT_EQ(readerScan<float>(text), libraryScan<float>(text, "%f")) << '"' << text << '"';
}

TEST(TextReaderNumbers, IntegersReadAsTheLibraryReadsThem) {
    const char* cases[] = {"12x", "-x", "+5", "2147483648", "-2147483649", "0x10", "08", "- 5", "", " \t", "+",
                           "9223372036854775808", "-9223372036854775809", "18446744073709551617"};
    for (const char* text : cases) EXPECT_EQ(readerScan<int32_t>(text), libraryScan<int>(text, "%d")) << '"' << text << '"';
}

TEST(TextReaderWords, QuotedWordLosesItsLastCharacter) {
    // The names the loader reads are checked with its materials; here what is left alone.
    for (const std::string text : {"Wood", "\""}) {
        char name[255] = "kept";
        ase::TextReader reader(text.data(), text.size());
        reader.readQuoted(name, sizeof name);
        EXPECT_STREQ(name, "kept") << text;
    }
    // A name longer than the buffer is read to its end.
    const std::string longName = "\"" + std::string(400, 'n') + "\"";
    ase::TextReader reader(longName.data(), longName.size());
    char name[255];
    EXPECT_TRUE(reader.readQuoted(name, sizeof name));
    EXPECT_EQ(std::strlen(name), 253u);
    EXPECT_EQ(reader.position(), longName.size());
}

TEST(TextDecoding, ByteOrderMarksAndLineEnds) {
    EXPECT_EQ(ase::decodeText("\xEF\xBB\xBF*A\r\nB", 8), "*A\nB");
    const char le[] = "\xFF\xFE*\0A\0\r\0\n\0\xAB\x30";
    EXPECT_EQ(ase::decodeText(le, sizeof le - 1), "*A\n\xE3\x82\xAB");
    const char be[] = "\xFE\xFF\0*\0A\xD8\x3D\xDE\x00";
    EXPECT_EQ(ase::decodeText(be, sizeof be - 1), "*A\xF0\x9F\x98\x80");
    // A lone half of a surrogate pair and an odd last byte do not break the text.
    const char broken[] = "\xFF\xFE\x00\xD8*\0Z";
    EXPECT_EQ(ase::decodeText(broken, sizeof broken - 1), "\xEF\xBF\xBD*");
    EXPECT_EQ(ase::decodeText("a\rb\r", 4), "a\rb\r");
}
