// Counting wrappers around GL entry points. The test program is linked with
// -Wl,--wrap=NAME for every name in wrapped.txt, so the game's own calls land here,
// are recorded, and go on to the real GL.
#pragma once
#include <GLES/gl.h>
#include <cstdint>
#include <string>
#include <vector>

namespace glwrap {

struct Call {
    std::string name;
    std::vector<intptr_t> args; // integers and enums as given; pointers as addresses
};

// Forgets the calls recorded so far.
void reset();
int count(const std::string& name);
// The calls of one name, in order.
std::vector<Call> callsOf(const std::string& name);
// Argument n of every call of one name, in order.
std::vector<intptr_t> argsOf(const std::string& name, size_t n);
// The names of the calls in order, joined by single blanks, for sequence checks.
std::string sequence();

// The last glTexImage2D with GL_UNSIGNED_SHORT_5_6_5 data: how many bytes GL reads from
// the pointer under the unpack alignment of the moment, and the texels when it reads them
// packed (width * height of them), as the game stores them.
struct TexImage {
    int width = 0;
    int height = 0;
    size_t bytesRead = 0;
    std::vector<uint16_t> texels;
};
const TexImage& lastTexImage();

} // namespace glwrap
