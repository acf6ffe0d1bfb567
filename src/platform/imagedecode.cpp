#include "platform/imagedecode.h"

#include <SDL.h>
#include <SDL_image.h>
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace platform {

namespace {

bool sideAcceptable(long side) { return side > 0 && side <= MAX_IMAGE_SIDE; }

bool refuse(const char*& why, const char* reason) {
    why = reason;
    return false;
}

// --- GIF -------------------------------------------------------------------------------
// giflib rather than SDL_image: SDL_image 2.6's GIF reader frees a wild pointer on some
// damaged files and sizes its surfaces from fields it has not checked.

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t at;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int count) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    if (count <= 0) return 0;
    const size_t n = std::min(static_cast<size_t>(count), reader->size - reader->at);
    std::memcpy(buffer, reader->data + reader->at, n);
    reader->at += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

// Moves past extensions to the first image descriptor and reads it.
bool findFirstPicture(GifFileType* gif, const char*& why) {
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) return refuse(why, "damaged GIF");
        if (record == TERMINATE_RECORD_TYPE) return refuse(why, "GIF without a picture");
        if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR) return refuse(why, "damaged GIF picture header");
            return true;
        }
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return refuse(why, "damaged GIF extension");
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return refuse(why, "damaged GIF extension");
        }
    }
}

const uint8_t BLACK[3] = {0, 0, 0};

const uint8_t* paletteColour(const ColorMapObject* map, int index) {
    if (!map || index < 0 || index >= map->ColorCount) return BLACK;
    return &map->Colors[index].Red; // Red, Green, Blue are consecutive bytes
}

// The first picture of the file, placed on the file's screen. A picture that reaches past
// the screen widens it; screen outside the picture takes the background colour. A pixel
// whose index lies past its colour table is black.
bool decodeGif(const uint8_t* data, size_t size, Image& out, const char*& why) {
    MemoryReader reader{data, size, 0};
    int error = 0;
    GifFile gif(DGifOpen(&reader, readFromMemory, &error));
    if (!gif) return refuse(why, "not a readable GIF");
    if (gif->SWidth > MAX_IMAGE_SIDE || gif->SHeight > MAX_IMAGE_SIDE) return refuse(why, "GIF screen too large");
    if (!findFirstPicture(gif.get(), why)) return false;

    const GifImageDesc frame = gif->Image;
    if (!sideAcceptable(frame.Width) || !sideAcceptable(frame.Height)) return refuse(why, "GIF picture too large or empty");
    const int width = std::max<int>(gif->SWidth, frame.Left + frame.Width);
    const int height = std::max<int>(gif->SHeight, frame.Top + frame.Height);
    if (width > MAX_IMAGE_SIDE || height > MAX_IMAGE_SIDE) return refuse(why, "GIF picture too large");
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours) return refuse(why, "GIF without a colour table");

    // Left uninitialised: the pages of a picture whose data breaks off early are never touched.
    std::unique_ptr<GifPixelType[]> indices(new (std::nothrow) GifPixelType[static_cast<size_t>(frame.Width) * frame.Height]);
    if (!indices) return refuse(why, "out of memory");
    auto readRow = [&](int row) {
        return DGifGetLine(gif.get(), &indices[static_cast<size_t>(row) * frame.Width], frame.Width) != GIF_ERROR;
    };
    if (frame.Interlace) {
        static const int firstRow[4] = {0, 4, 2, 1};
        static const int rowStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int row = firstRow[pass]; row < frame.Height; row += rowStep[pass])
                if (!readRow(row)) return refuse(why, "damaged GIF pixels");
    } else {
        for (int row = 0; row < frame.Height; ++row)
            if (!readRow(row)) return refuse(why, "damaged GIF pixels");
    }

    out.width = width;
    out.height = height;
    out.rgb.resize(static_cast<size_t>(width) * height * 3);
    const uint8_t* background = paletteColour(gif->SColorMap, gif->SBackGroundColor);
    for (size_t i = 0; i < out.rgb.size(); i += 3) std::memcpy(&out.rgb[i], background, 3);
    for (int row = 0; row < frame.Height; ++row) {
        uint8_t* dst = &out.rgb[(static_cast<size_t>(frame.Top + row) * width + frame.Left) * 3];
        const GifPixelType* src = &indices[static_cast<size_t>(row) * frame.Width];
        for (int x = 0; x < frame.Width; ++x, dst += 3) std::memcpy(dst, paletteColour(colours, src[x]), 3);
    }
    return true;
}

// --- PNG, JPEG, BMP --------------------------------------------------------------------
// The sizes are read from the header first, so that a file claiming 65535 by 65535 is
// refused before a decoder allocates for it.

uint32_t bigEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

uint32_t littleEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

bool isPng(const uint8_t* d, size_t n) { return n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0; }
bool isJpeg(const uint8_t* d, size_t n) { return n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF; }
bool isBmp(const uint8_t* d, size_t n) { return n >= 2 && d[0] == 'B' && d[1] == 'M'; }

bool pngSize(const uint8_t* d, size_t n, long& w, long& h) {
    if (n < 24 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
    w = bigEndian(d + 16, 4);
    h = bigEndian(d + 20, 4);
    return true;
}

// The frame header (SOFn) is found by walking the marker segments that come before it.
bool jpegSize(const uint8_t* d, size_t n, long& w, long& h) {
    size_t at = 2;
    while (at + 1 < n) {
        if (d[at] != 0xFF) return false;
        const uint8_t marker = d[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue; // no length
        if (marker == 0xD9 || marker == 0xDA) return false; // end or scan before any frame
        if (at + 2 > n) return false;
        const size_t length = bigEndian(d + at, 2);
        if (length < 2) return false;
        const bool frameHeader = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frameHeader) {
            if (at + 7 > n) return false;
            h = bigEndian(d + at + 3, 2);
            w = bigEndian(d + at + 5, 2);
            return true;
        }
        at += length;
    }
    return false;
}

bool bmpSize(const uint8_t* d, size_t n, long& w, long& h) {
    if (n < 26) return false;
    if (littleEndian(d + 14, 4) == 12) { // OS/2 core header: 16-bit sizes
        w = littleEndian(d + 18, 2);
        h = littleEndian(d + 20, 2);
    } else {
        w = static_cast<int32_t>(littleEndian(d + 18, 4));
        h = static_cast<int32_t>(littleEndian(d + 22, 4));
        if (h < 0 && h != INT32_MIN) h = -h; // negative: rows stored top first
    }
    return true;
}

struct SurfaceFree {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

bool copyRgb(SDL_Surface* loaded, Image& out, const char*& why) {
    if (!sideAcceptable(loaded->w) || !sideAcceptable(loaded->h)) return refuse(why, "picture too large or empty");
    Surface rgb(SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0));
    if (!rgb) return refuse(why, "picture could not be converted");
    out.width = rgb->w;
    out.height = rgb->h;
    out.rgb.resize(static_cast<size_t>(rgb->w) * rgb->h * 3);
    for (int row = 0; row < rgb->h; ++row) {
        std::memcpy(&out.rgb[static_cast<size_t>(row) * rgb->w * 3],
                    static_cast<uint8_t*>(rgb->pixels) + static_cast<size_t>(row) * rgb->pitch,
                    static_cast<size_t>(rgb->w) * 3);
    }
    return true;
}

bool decodeWithSdl(const uint8_t* data, size_t size, Image& out, const char*& why) {
    long w = 0, h = 0;
    SDL_Surface* (*loader)(SDL_RWops*) = nullptr;
    bool sized = false;
    if (isPng(data, size)) {
        sized = pngSize(data, size, w, h);
        loader = IMG_LoadPNG_RW;
    } else if (isJpeg(data, size)) {
        sized = jpegSize(data, size, w, h);
        loader = IMG_LoadJPG_RW;
    } else if (isBmp(data, size)) {
        sized = bmpSize(data, size, w, h);
        loader = IMG_LoadBMP_RW;
    } else {
        return refuse(why, "not a GIF, JPEG, PNG or BMP picture");
    }
    if (!sized) return refuse(why, "damaged picture header");
    if (!sideAcceptable(w) || !sideAcceptable(h)) return refuse(why, "picture too large or empty");
    if (size > static_cast<size_t>(INT32_MAX)) return refuse(why, "picture file too large");
    SDL_RWops* memory = SDL_RWFromConstMem(data, static_cast<int>(size));
    if (!memory) return refuse(why, "out of memory");
    Surface loaded(loader(memory));
    SDL_RWclose(memory);
    if (!loaded) return refuse(why, "damaged picture");
    return copyRgb(loaded.get(), out, why);
}

} // namespace

bool decodeImageBytes(const uint8_t* data, size_t size, Image& out, const char** why) {
    out = Image();
    const char* reason = nullptr;
    bool decoded = false;
    if (!data || size == 0)
        reason = "empty file";
    else if (size > MAX_IMAGE_FILE_BYTES)
        reason = "picture file too large";
    else {
        try {
            if (size >= 4 && std::memcmp(data, "GIF8", 4) == 0)
                decoded = decodeGif(data, size, out, reason);
            else
                decoded = decodeWithSdl(data, size, out, reason);
        } catch (const std::bad_alloc&) {
            reason = "out of memory";
            decoded = false;
        }
    }
    if (!decoded) out = Image();
    if (why) *why = decoded ? nullptr : reason;
    return decoded;
}

} // namespace platform
