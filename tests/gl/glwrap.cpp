#include "glwrap.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

namespace glwrap {
namespace {
std::vector<Call> recorded;
TexImage texImage;
} // namespace

template <class... Args>
void record(const char* name, Args... args) {
    recorded.push_back({name, {static_cast<intptr_t>(args)...}});
}

void reset() {
    recorded.clear();
    texImage = TexImage();
}

int count(const std::string& name) { return static_cast<int>(callsOf(name).size()); }

std::vector<Call> callsOf(const std::string& name) {
    std::vector<Call> out;
    for (const Call& call : recorded) if (call.name == name) out.push_back(call);
    return out;
}

std::vector<intptr_t> argsOf(const std::string& name, size_t n) {
    std::vector<intptr_t> out;
    for (const Call& call : callsOf(name)) out.push_back(n < call.args.size() ? call.args[n] : -1);
    return out;
}

std::string sequence() {
    std::string out;
    for (const Call& call : recorded) out += (out.empty() ? "" : " ") + call.name;
    return out;
}

const TexImage& lastTexImage() { return texImage; }

void keepTexImage(GLsizei width, GLsizei height, GLenum type, const void* pixels) {
    if (type != GL_UNSIGNED_SHORT_5_6_5 || !pixels || width <= 0 || height <= 0) return;
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    const size_t row = static_cast<size_t>(width) * 2, stride = (row + alignment - 1) / alignment * alignment;
    const auto* texels = static_cast<const uint16_t*>(pixels);
    texImage.width = width;
    texImage.height = height;
    texImage.bytesRead = stride * (height - 1) + row;
    // Copied only when GL reads the packed buffer and no more.
    if (texImage.bytesRead == row * height) texImage.texels.assign(texels, texels + static_cast<size_t>(width) * height);
    else texImage.texels.clear();
}

} // namespace glwrap

// Each wrapper records its name and its arguments, then calls the real GL.
#define PARAMS(...) __VA_ARGS__
#define WRAP(name, params, ...)                                                                                        \
    void __real_##name(params);                                                                                        \
    void __wrap_##name(params) {                                                                                       \
        glwrap::record(#name __VA_OPT__(, ) __VA_ARGS__);                                                              \
        __real_##name(__VA_ARGS__);                                                                                    \
    }

extern "C" {
WRAP(glBindTexture, PARAMS(GLenum target, GLuint texture), target, texture)
WRAP(glTexParameterx, PARAMS(GLenum target, GLenum pname, GLfixed param), target, pname, param)
WRAP(glDrawArrays, PARAMS(GLenum mode, GLint first, GLsizei count), mode, first, count)
WRAP(glEnable, GLenum cap, cap)
WRAP(glDisable, GLenum cap, cap)
WRAP(glEnableClientState, GLenum array, array)
WRAP(glDisableClientState, GLenum array, array)
WRAP(glPushMatrix, void)
WRAP(glPopMatrix, void)
WRAP(glPixelStorei, PARAMS(GLenum pname, GLint param), pname, param)

// Array pointers are recorded as addresses.
#define WRAP_POINTER(name)                                                                                             \
    void __real_##name(GLint size, GLenum type, GLsizei stride, const void* pointer);                                  \
    void __wrap_##name(GLint size, GLenum type, GLsizei stride, const void* pointer) {                                 \
        glwrap::record(#name, size, type, stride, reinterpret_cast<intptr_t>(pointer));                                                   \
        __real_##name(size, type, stride, pointer);                                                                    \
    }
WRAP_POINTER(glVertexPointer)
WRAP_POINTER(glTexCoordPointer)
WRAP_POINTER(glColorPointer)

// The first texture name: a generated one once it is made, a deleted one before it goes.
// The texels of a 5-6-5 upload are kept.
void __real_glGenTextures(GLsizei n, GLuint* textures);
void __wrap_glGenTextures(GLsizei n, GLuint* textures) {
    __real_glGenTextures(n, textures);
    glwrap::record("glGenTextures", n, n > 0 ? textures[0] : 0);
}
void __real_glDeleteTextures(GLsizei n, const GLuint* textures);
void __wrap_glDeleteTextures(GLsizei n, const GLuint* textures) {
    glwrap::record("glDeleteTextures", n, n > 0 ? textures[0] : 0);
    __real_glDeleteTextures(n, textures);
}
void __real_glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                         GLenum format, GLenum type, const void* pixels);
void __wrap_glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                         GLenum format, GLenum type, const void* pixels) {
    glwrap::record("glTexImage2D", target, level, internalformat, width, height, border, format, type);
    glwrap::keepTexImage(width, height, type, pixels);
    __real_glTexImage2D(target, level, internalformat, width, height, border, format, type, pixels);
}
}
