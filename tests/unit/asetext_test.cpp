// The loader's text reader against the C library's own stream functions: for each input,
// the same value, the same characters consumed and the same end-of-file indicator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>

#include "loaderase/asetext.h"

namespace {

template <class T>
void expectReadAsTheLibraryReads(const std::string& text, const char* format) {
    SCOPED_TRACE('"' + text + '"');
    std::string copy = text;
    FILE* f = text.empty() ? std::tmpfile() : fmemopen(copy.data(), copy.size(), "r");
    T library{}, ours{};
    const bool libraryRead = std::fscanf(f, format, &library) == 1;
    ase::TextReader reader(text.data(), text.size());
    bool read;
    if constexpr (std::is_same_v<T, float>) {
        read = reader.readFloat(ours);
    } else {
        read = reader.readInt(ours);
    }
    EXPECT_EQ(read, libraryRead);
    if (read && libraryRead) {
        EXPECT_TRUE(std::isnan(library) ? std::isnan(ours) : ours == library) << ours << " " << library;
        EXPECT_EQ(std::signbit(ours), std::signbit(library));
    }
    EXPECT_EQ(static_cast<long>(reader.position()), std::ftell(f));
    EXPECT_EQ(reader.atEof(), std::feof(f) != 0);
    std::fclose(f);
}

} // namespace

TEST(TextReaderNumbers, ReadAsTheLibraryReadsThem) {
    for (const char* text : {"1.5x", "-x", "1e+x", "100ergs", ".5", "-.e1", "infinity", "infx", "nan(123)", "0x1p3",
                             "0xg", "1.5e", "-0", "3.4e39", "1e-50", "nanx", "INF", "  \n 7", "-infinit", "0x1p",
                             "-52.4931\t-13.4349", "", "7e-46", "123456789012345678901234567890"})
        expectReadAsTheLibraryReads<float>(text, "%f");
    for (const char* text : {"12x", "-x", "+5", "2147483648", "-2147483649", "0x10", "08", "- 5", "", " \t", "+",
                             "9223372036854775808", "-9223372036854775809", "18446744073709551617"})
        expectReadAsTheLibraryReads<int32_t>(text, "%d");
}

// Plain decimals, the usual numbers of a model file, are converted without the library's
// conversion where their digits allow it; each must still come out as the library's float,
// at the edges of that shortcut too: 2^24 as a whole number, ten digits after the point,
// nineteen digits in all, and numbers just past each.
TEST(TextReaderNumbers, DecimalsReadAsTheLibraryReadsThem) {
    for (const char* text : {"16777216", "16777217", "1677721.7", "-16777.215", "0.0000000001", "1.0000000001",
                             "0.00000000001", "5.", "-0.0000", "0000000000000000001.5", "00000000000000000001.5",
                             "9999999999999999999", "1.9999999999", "0.1", "0.3", "-1.4013e", "8388609.5",
                             "16777215.", "4.5\t-7.25", "0.00000016777216", "123.4567x"})
        expectReadAsTheLibraryReads<float>(text, "%f");
    // Digits in every place around the point, from a fixed seed.
    uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int n = 0; n < 3000; ++n) {
        std::string text = next() % 4 == 0 ? "-" : "";
        const uint32_t whole = 1 + next() % 9, fraction = next() % 13;
        for (uint32_t i = 0; i < whole; ++i) text += static_cast<char>('0' + next() % 10);
        if (fraction > 0) text += '.';
        for (uint32_t i = 1; i < fraction; ++i) text += static_cast<char>('0' + next() % 10);
        expectReadAsTheLibraryReads<float>(text, "%f");
    }
}

// Inside a line, with white space before and more text after, numbers are read sixteen
// characters at a time where that many are left: every length of blank run and of digits,
// every following character and every distance from the end of the text.
TEST(TextReaderNumbers, NumbersInsideALineReadAsTheLibraryReadsThem) {
    const std::string blanks = " \t\n\v\f\r";
    const std::string after = " :x.\n-9e";
    uint32_t seed = 777;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int n = 0; n < 2000; ++n) {
        std::string text;
        for (uint32_t i = next() % 20; i > 0; --i) text += blanks[next() % blanks.size()];
        if (next() % 3 == 0) text += next() % 2 ? '-' : '+';
        for (uint32_t i = next() % 13; i > 0; --i) text += static_cast<char>('0' + next() % 10);
        if (next() % 3 == 0) text += '.';
        for (uint32_t i = next() % 4; i > 0; --i) text += static_cast<char>('0' + next() % 10);
        for (uint32_t i = next() % 20; i > 0; --i) text += after[next() % after.size()];
        expectReadAsTheLibraryReads<int32_t>(text, "%d");
        expectReadAsTheLibraryReads<float>(text, "%f");
    }
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
