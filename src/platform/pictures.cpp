// Pictures in and out: a data file decoded to pixels, a picture written as PNG.
#include <SDL.h>
#include <SDL_image.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/imagedecode.h"
#include "platform/os.h"
#include "platform/platform.h"

namespace platform {

bool Platform::decodeImage(const char* path, Image& out) { return decodeImageFile(path, out); }

namespace {

// SDL_image writes its PNG through an SDL_RWops; this one keeps the bytes, so that the file
// is written by one checked write and a full disk or a size limit is seen, not left as an
// empty file.
struct PngBytes {
    std::vector<uint8_t> bytes;
    size_t at = 0;
};

Sint64 pngSize(SDL_RWops* rw) { return Sint64(static_cast<PngBytes*>(rw->hidden.unknown.data1)->bytes.size()); }

Sint64 pngSeek(SDL_RWops* rw, Sint64 offset, int whence) {
    auto* png = static_cast<PngBytes*>(rw->hidden.unknown.data1);
    const Sint64 base = whence == RW_SEEK_SET ? 0 : whence == RW_SEEK_CUR ? Sint64(png->at) : Sint64(png->bytes.size());
    if (base + offset < 0) return -1;
    png->at = size_t(base + offset);
    return Sint64(png->at);
}

size_t pngWrite(SDL_RWops* rw, const void* data, size_t size, size_t count) {
    auto* png = static_cast<PngBytes*>(rw->hidden.unknown.data1);
    const size_t n = size * count;
    if (png->at + n > png->bytes.size()) png->bytes.resize(png->at + n);
    std::memcpy(png->bytes.data() + png->at, data, n);
    png->at += n;
    return count;
}

size_t pngRead(SDL_RWops*, void*, size_t, size_t) { return 0; }
int pngClose(SDL_RWops* rw) {
    SDL_FreeRW(rw);
    return 0;
}

} // namespace

bool savePng(const std::string& path, const Image& image, std::string* why) {
    auto fail = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() < size_t(image.width) * image.height * 3)
        return fail("no picture");
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(image.rgb.data()), image.width,
                                                              image.height, 24, image.width * 3, SDL_PIXELFORMAT_RGB24);
    if (!surface) return fail(SDL_GetError());
    PngBytes png;
    SDL_RWops* rw = SDL_AllocRW();
    bool encoded = false;
    if (rw) {
        rw->size = pngSize;
        rw->seek = pngSeek;
        rw->read = pngRead;
        rw->write = pngWrite;
        rw->close = pngClose;
        rw->hidden.unknown.data1 = &png;
        encoded = IMG_SavePNG_RW(surface, rw, 1) == 0;
    }
    SDL_FreeSurface(surface);
    if (!encoded || png.bytes.empty()) return fail("cannot encode the picture");
    // A file that was not there before and could not be written in full is taken away.
    const bool existed = os::exists(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) return fail(std::strerror(errno));
    const uint8_t* at = png.bytes.data();
    size_t left = png.bytes.size();
    int error = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        at += n;
        left -= size_t(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0) return true;
    if (!existed) ::unlink(path.c_str());
    return fail(std::strerror(error));
}

} // namespace platform
