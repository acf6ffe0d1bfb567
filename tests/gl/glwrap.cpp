#include "glwrap.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

namespace glwrap {
namespace {
std::vector<Call> recorded;
TexImage texImage;

template <class... Args>
void record(const char* name, Args... args) {
    recorded.push_back({name, {static_cast<intptr_t>(args)...}});
}
} // namespace

const std::vector<Call>& calls() { return recorded; }

void reset() {
    recorded.clear();
    texImage = TexImage();
}

int count(const std::string& name) {
    int n = 0;
    for (const Call& call : recorded) n += call.name == name;
    return n;
}

std::vector<Call> callsOf(const std::string& name) {
    std::vector<Call> out;
    for (const Call& call : recorded) {
        if (call.name == name) out.push_back(call);
    }
    return out;
}

std::string sequence() {
    std::string out;
    for (const Call& call : recorded) {
        if (!out.empty()) out += ' ';
        out += call.name;
    }
    return out;
}

const TexImage& lastTexImage() { return texImage; }

} // namespace glwrap

using glwrap::record;

extern "C" {
void __real_glBindTexture(GLenum target, GLuint texture);
void __real_glGenTextures(GLsizei n, GLuint* textures);
void __real_glDeleteTextures(GLsizei n, const GLuint* textures);
void __real_glTexParameterx(GLenum target, GLenum pname, GLfixed param);
void __real_glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                         GLenum format, GLenum type, const void* pixels);
void __real_glDrawArrays(GLenum mode, GLint first, GLsizei count);
void __real_glEnable(GLenum cap);
void __real_glDisable(GLenum cap);
void __real_glEnableClientState(GLenum array);
void __real_glDisableClientState(GLenum array);
void __real_glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void __real_glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void __real_glColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void __real_glPushMatrix();
void __real_glPopMatrix();

void __wrap_glBindTexture(GLenum target, GLuint texture) {
    record("glBindTexture", target, texture);
    __real_glBindTexture(target, texture);
}
void __wrap_glGenTextures(GLsizei n, GLuint* textures) {
    __real_glGenTextures(n, textures);
    record("glGenTextures", n, n > 0 ? textures[0] : 0);
}
void __wrap_glDeleteTextures(GLsizei n, const GLuint* textures) {
    record("glDeleteTextures", n, n > 0 ? textures[0] : 0);
    __real_glDeleteTextures(n, textures);
}
void __wrap_glTexParameterx(GLenum target, GLenum pname, GLfixed param) {
    record("glTexParameterx", target, pname, param);
    __real_glTexParameterx(target, pname, param);
}
void __wrap_glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                         GLenum format, GLenum type, const void* pixels) {
    record("glTexImage2D", target, level, internalformat, width, height, border, format, type);
    if (type == GL_UNSIGNED_SHORT_5_6_5 && pixels && width > 0 && height > 0) {
        const auto* texels = static_cast<const uint16_t*>(pixels);
        glwrap::texImage.width = width;
        glwrap::texImage.height = height;
        glwrap::texImage.texels.assign(texels, texels + static_cast<size_t>(width) * height);
    }
    __real_glTexImage2D(target, level, internalformat, width, height, border, format, type, pixels);
}
void __wrap_glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    record("glDrawArrays", mode, first, count);
    __real_glDrawArrays(mode, first, count);
}
void __wrap_glEnable(GLenum cap) {
    record("glEnable", cap);
    __real_glEnable(cap);
}
void __wrap_glDisable(GLenum cap) {
    record("glDisable", cap);
    __real_glDisable(cap);
}
void __wrap_glEnableClientState(GLenum array) {
    record("glEnableClientState", array);
    __real_glEnableClientState(array);
}
void __wrap_glDisableClientState(GLenum array) {
    record("glDisableClientState", array);
    __real_glDisableClientState(array);
}
void __wrap_glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    record("glVertexPointer", size, type, stride, reinterpret_cast<intptr_t>(pointer));
    __real_glVertexPointer(size, type, stride, pointer);
}
void __wrap_glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    record("glTexCoordPointer", size, type, stride, reinterpret_cast<intptr_t>(pointer));
    __real_glTexCoordPointer(size, type, stride, pointer);
}
void __wrap_glColorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    record("glColorPointer", size, type, stride, reinterpret_cast<intptr_t>(pointer));
    __real_glColorPointer(size, type, stride, pointer);
}
void __wrap_glPushMatrix() {
    record("glPushMatrix");
    __real_glPushMatrix();
}
void __wrap_glPopMatrix() {
    record("glPopMatrix");
    __real_glPopMatrix();
}
}
