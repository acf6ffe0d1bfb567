#include "loaderase/asetext.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>

namespace ase {

namespace {

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

std::string utf16ToUtf8(const unsigned char* bytes, size_t size, bool bigEndian) {
    std::string out;
    out.reserve(size / 2);
    auto unit = [&](size_t i) -> uint32_t {
        return bigEndian ? (uint32_t{bytes[i]} << 8) | bytes[i + 1] : (uint32_t{bytes[i + 1]} << 8) | bytes[i];
    };
    const size_t units = size / 2; // an odd last byte is no character
    for (size_t i = 0; i < units; ++i) {
        uint32_t code = unit(2 * i);
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units) {
            const uint32_t low = unit(2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                code = 0xFFFD;
            }
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD; // a lone half of a pair
        }
        appendUtf8(out, code);
    }
    return out;
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isHexDigit(int c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int lower(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// The C library's own conversion in the "C" locale, for the values from_chars refuses
// (overflow to infinity, underflow to zero).
float strtofC(const char* begin, const char* end) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    std::string copy(begin, end);
    return strtof_l(copy.c_str(), nullptr, cLocale);
}

} // namespace

bool isUtf16(const char* bytes, size_t size) {
    const auto* u = reinterpret_cast<const unsigned char*>(bytes);
    return size >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF));
}

bool needsDecoding(const char* bytes, size_t size) {
    const auto* u = reinterpret_cast<const unsigned char*>(bytes);
    if (isUtf16(bytes, size)) return true;
    if (size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) return true;
    return std::memchr(bytes, '\r', size) != nullptr;
}

namespace {

// Text mode hands a CR LF pair over as a single line feed.
size_t collapseLineEnds(char* bytes, size_t size) {
    const char* cr = static_cast<const char*>(std::memchr(bytes, '\r', size));
    if (!cr) return size;
    size_t out = static_cast<size_t>(cr - bytes);
    for (size_t in = out; in < size; ++in) {
        if (bytes[in] == '\r' && in + 1 < size && bytes[in + 1] == '\n') continue;
        bytes[out++] = bytes[in];
    }
    return out;
}

} // namespace

size_t decodeInPlace(char* bytes, size_t size) {
    const auto* u = reinterpret_cast<const unsigned char*>(bytes);
    if (size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
        std::memmove(bytes, bytes + 3, size - 3);
        size -= 3;
    }
    return collapseLineEnds(bytes, size);
}

std::string decodeText(const char* bytes, size_t size) {
    if (!isUtf16(bytes, size)) {
        std::string text(bytes, size);
        text.resize(decodeInPlace(text.data(), text.size()));
        return text;
    }
    const auto* u = reinterpret_cast<const unsigned char*>(bytes);
    std::string text = utf16ToUtf8(u + 2, size - 2, u[0] == 0xFE);
    text.resize(collapseLineEnds(text.data(), text.size()));
    return text;
}

bool TextReader::readInt(int32_t& value) {
    if (!skipSpaceBeforeConversion()) return false;
    // The usual case, a few digits: read straight from the text.
    {
        const size_t start = pos;
        size_t p = pos;
        const bool negative = text[p] == '-';
        if (negative) ++p;
        size_t digitsEnd = p;
        while (digitsEnd < size && digitsEnd - p < 9 && isDigit(text[digitsEnd])) ++digitsEnd;
        if (digitsEnd > p && (digitsEnd == size || !isDigit(text[digitsEnd]))) {
            int32_t magnitude = 0;
            for (size_t i = p; i < digitsEnd; ++i) magnitude = magnitude * 10 + (text[i] - '0');
            value = negative ? -magnitude : magnitude;
            pos = digitsEnd;
            if (pos == size) eof = true; // the character after the number was looked for
            return true;
        }
        pos = start;
    }
    int c = inchar();
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        c = inchar();
    }
    // Accumulated as strtol does into a 64-bit long: saturated at its limits.
    uint64_t magnitude = 0;
    bool saturated = false;
    int digits = 0;
    while (c >= 0 && isDigit(c)) {
        ++digits;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (!saturated) {
            if (magnitude > (UINT64_MAX - digit) / 10) {
                saturated = true;
            } else {
                magnitude = magnitude * 10 + digit;
            }
        }
        c = inchar();
    }
    ungetc(c);
    if (digits == 0) return false;
    const uint64_t limit = negative ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
    if (saturated || magnitude > limit) magnitude = limit;
    const uint64_t asLong = negative ? (0 - magnitude) : magnitude;
    // The long is stored into an int: its low 32 bits.
    value = static_cast<int32_t>(static_cast<uint32_t>(asLong));
    return true;
}

bool convertFloat(const char* begin, const char* end, float& value) {
    const char* p = begin;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        float magnitude = 0.0f;
        auto result = std::from_chars(p + 2, end, magnitude, std::chars_format::hex);
        if (result.ec == std::errc::result_out_of_range) {
            value = strtofC(begin, end);
            return true;
        }
        // Without a hexadecimal digit only the leading 0 converts.
        if (result.ec != std::errc()) magnitude = 0.0f;
        value = negative ? -magnitude : magnitude;
        return true;
    }
    float magnitude = 0.0f;
    auto result = std::from_chars(p, end, magnitude, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = strtofC(begin, end);
        return true;
    }
    if (result.ec != std::errc()) return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

bool TextReader::readFloat(float& value) {
    if (!skipSpaceBeforeConversion()) return false;
    const size_t start = pos;
    // The usual case, digits with a point and no exponent: what the full reading below
    // consumes too, converted at once.
    {
        size_t p = pos;
        const bool negative = text[p] == '-';
        if (negative) ++p;
        const size_t digits = p;
        // The digits as one integer, the point left out, while they fit in 64 bits.
        uint64_t mantissa = 0;
        while (p < size && isDigit(text[p])) mantissa = mantissa * 10 + static_cast<uint64_t>(text[p++] - '0');
        const bool hexPrefix = p == digits + 1 && text[digits] == '0' && p < size && lower(text[p]) == 'x';
        if (p > digits && !hexPrefix) {
            size_t fractionDigits = 0;
            const bool point = p < size && text[p] == '.';
            if (point) {
                const size_t fraction = ++p;
                while (p < size && isDigit(text[p])) mantissa = mantissa * 10 + static_cast<uint64_t>(text[p++] - '0');
                fractionDigits = p - fraction;
            }
            if (p == size || (lower(text[p]) != 'e' && text[p] != '.')) {
                // A whole number of at most 24 bits over a power of ten of at most 10 (5^10
                // is below 2^24) are both exact floats, and one division rounds their
                // quotient once, to the nearest float: the number the library gives.
                static const float powersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
                if (p - digits - point <= 19 && mantissa <= (uint64_t{1} << 24) &&
                    fractionDigits <= 10) {
                    const float magnitude = static_cast<float>(mantissa) / powersOfTen[fractionDigits];
                    value = negative ? -magnitude : magnitude;
                    pos = p;
                    if (pos == size) eof = true;
                    return true;
                }
                float result;
                const auto converted = std::from_chars(text + start, text + p, result);
                if (converted.ec == std::errc() && converted.ptr == text + p) {
                    value = result;
                    pos = p;
                    if (pos == size) eof = true;
                    return true;
                }
            }
        }
    }
    int c = inchar();
    bool gotSign = false;
    bool negative = false;
    if (c == '-' || c == '+') {
        gotSign = true;
        negative = c == '-';
        c = inchar();
        if (c < 0) return false;
    }
    // "nan" and "inf"/"infinity": a wrong letter fails the conversion and stays read.
    if (lower(c) == 'n') {
        for (const char expected : {'a', 'n'}) {
            c = inchar();
            if (c < 0 || lower(c) != expected) return false;
        }
        value = std::copysign(std::numeric_limits<float>::quiet_NaN(), negative ? -1.0f : 1.0f);
        return true;
    }
    if (lower(c) == 'i') {
        for (const char expected : {'n', 'f'}) {
            c = inchar();
            if (c < 0 || lower(c) != expected) return false;
        }
        c = inchar();
        if (c >= 0) {
            if (lower(c) == 'i') {
                for (const char expected : {'n', 'i', 't', 'y'}) {
                    c = inchar();
                    if (c < 0 || lower(c) != expected) return false;
                }
            } else {
                ungetc(c);
            }
        }
        value = negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
        return true;
    }
    int exponentChar = 'e';
    bool hex = false;
    bool gotDigit = false;
    bool gotDot = false;
    bool gotExponent = false;
    int lastAdded = c;
    if (c == '0') {
        c = inchar();
        if (c >= 0 && lower(c) == 'x') {
            hex = true;
            exponentChar = 'p';
            lastAdded = c;
            c = inchar();
        } else {
            gotDigit = true;
        }
    }
    while (c >= 0) {
        if (isDigit(c) || (!gotExponent && hex && isHexDigit(c))) {
            gotDigit = true;
        } else if (gotExponent && lower(lastAdded) == exponentChar && (c == '-' || c == '+')) {
        } else if (gotDigit && !gotExponent && lower(c) == exponentChar) {
            gotExponent = gotDot = true;
        } else if (!gotDot && c == '.') {
            gotDot = true;
        } else {
            ungetc(c);
            break;
        }
        lastAdded = c;
        c = inchar();
    }
    const size_t length = pos - start;
    if (length == static_cast<size_t>(gotSign) || (hex && length == 2 + static_cast<size_t>(gotSign))) return false;
    return convertFloat(text + start, text + pos, value);
}

bool TextReader::readQuoted(char* out, size_t capacity) {
    skipSpace();
    if (!matchChar('"')) return false;
    if (!skipSpaceBeforeConversion()) return false;
    const std::string_view run = readRun();
    size_t n = run.size();
    if (n > WORD_LIMIT) n = WORD_LIMIT;
    if (n > capacity - 1) n = capacity - 1;
    std::memcpy(out, run.data(), n);
    out[n] = '\0';
    // The text ends at its first NUL, as the stored wide string would.
    const size_t length = std::strlen(out);
    if (length > 0) out[length - 1] = '\0';
    return true;
}

} // namespace ase
