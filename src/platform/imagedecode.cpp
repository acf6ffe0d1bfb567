#include "platform/imagedecode.h"

#include <SDL.h>
#include <SDL_image.h>
#include <gif_lib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/os.h"

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

// --- Sizes in headers -----------------------------------------------------------------
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

// --- JPEG ------------------------------------------------------------------------------
// libjpeg itself rather than SDL_image, which gives no way to bound the work: a
// progressive file of a thousand scans kept the game on a black window for most of a
// minute. libjpeg's own advice for untrusted files is followed: its warnings (corrupt data
// it would otherwise paper over) are errors, and a progress monitor stops the decoding
// past a number of scans. An error leaves libjpeg through longjmp, never through exit().

struct JpegSession {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf escape;
    const char* why;
};

[[noreturn]] void jpegFail(j_common_ptr common, const char* why) {
    auto* session = static_cast<JpegSession*>(common->client_data);
    session->why = why;
    std::longjmp(session->escape, 1);
}

// Past the working memory allowed, libjpeg asks for a temporary file, which it has none of.
[[noreturn]] void jpegError(j_common_ptr common) {
    const int code = common->err->msg_code;
    jpegFail(common, code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE ? "JPEG needs too much memory"
                                                                                 : "damaged JPEG");
}

// Level -1 is a warning; the others are trace messages, which are not shown.
void jpegMessage(j_common_ptr common, int level) {
    if (level < 0) jpegFail(common, "damaged JPEG");
}

void jpegQuiet(j_common_ptr) {}

void jpegScanLimit(j_common_ptr common) {
    if (reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > MAX_JPEG_SCANS)
        jpegFail(common, "JPEG with too many scans");
}

// Every object whose destruction longjmp would skip lives outside this function.
bool runJpeg(JpegSession& session, const uint8_t* data, size_t size, Image& out) {
    jpeg_decompress_struct& info = session.info;
    if (setjmp(session.escape)) return false;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (!sideAcceptable(info.image_width) || !sideAcceptable(info.image_height))
        jpegFail(reinterpret_cast<j_common_ptr>(&info), "picture too large or empty");
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) jpegFail(reinterpret_cast<j_common_ptr>(&info), "JPEG colours not supported");
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &out.rgb[static_cast<size_t>(info.output_scanline) * out.width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

bool decodeJpeg(const uint8_t* data, size_t size, Image& out, const char*& why) {
    JpegSession session{};
    session.info.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = jpegError;
    session.errors.emit_message = jpegMessage;
    session.errors.output_message = jpegQuiet;
    session.why = "damaged JPEG";
    session.info.client_data = &session;
    jpeg_create_decompress(&session.info);
    session.info.mem->max_memory_to_use = MAX_JPEG_WORKING_BYTES;
    session.progress.progress_monitor = jpegScanLimit;
    session.info.progress = &session.progress;
    struct Destroy {
        jpeg_decompress_struct* info;
        ~Destroy() { jpeg_destroy_decompress(info); }
    } destroy{&session.info};
    if (runJpeg(session, data, size, out)) return true;
    return refuse(why, session.why);
}

// --- PNG, BMP --------------------------------------------------------------------------

struct SurfaceFree {
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

// The loaded surface is copied straight into the picture's own pixels, without a converted
// surface in between: a picture of the largest size is then held twice, not three times.
bool copyRgb(SDL_Surface* loaded, Image& out, const char*& why) {
    if (!sideAcceptable(loaded->w) || !sideAcceptable(loaded->h)) return refuse(why, "picture too large or empty");
    std::vector<uint8_t> rgb(static_cast<size_t>(loaded->w) * loaded->h * 3);
    Surface target(SDL_CreateRGBSurfaceWithFormatFrom(rgb.data(), loaded->w, loaded->h, 24, loaded->w * 3,
                                                      SDL_PIXELFORMAT_RGB24));
    if (!target) return refuse(why, "picture could not be converted");
    // A plain copy of every pixel, as a conversion of the surface would make it: no
    // blending with what the target holds, no transparent colour left out.
    SDL_SetSurfaceBlendMode(loaded, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(loaded, SDL_FALSE, 0);
    if (SDL_BlitSurface(loaded, nullptr, target.get(), nullptr) != 0) return refuse(why, "picture could not be converted");
    out.width = loaded->w;
    out.height = loaded->h;
    out.rgb = std::move(rgb);
    return true;
}

bool decodeSized(const uint8_t* data, size_t size, Image& out, const char*& why) {
    long w = 0, h = 0;
    SDL_Surface* (*loader)(SDL_RWops*) = nullptr;
    bool sized = false;
    const bool jpeg = isJpeg(data, size);
    if (isPng(data, size)) {
        sized = pngSize(data, size, w, h);
        loader = IMG_LoadPNG_RW;
    } else if (jpeg) {
        sized = jpegSize(data, size, w, h);
    } else if (isBmp(data, size)) {
        sized = bmpSize(data, size, w, h);
        loader = IMG_LoadBMP_RW;
    } else {
        return refuse(why, "not a GIF, JPEG, PNG or BMP picture");
    }
    if (!sized) return refuse(why, "damaged picture header");
    if (!sideAcceptable(w) || !sideAcceptable(h)) return refuse(why, "picture too large or empty");
    if (size > static_cast<size_t>(INT32_MAX)) return refuse(why, "picture file too large");
    if (jpeg) return decodeJpeg(data, size, out, why);
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
                decoded = decodeSized(data, size, out, reason);
        } catch (const std::bad_alloc&) {
            reason = "out of memory";
            decoded = false;
        }
    }
    if (!decoded) out = Image();
    if (why) *why = decoded ? nullptr : reason;
    return decoded;
}

bool decodeImageFile(const char* path, Image& out, const char** why) {
    out = Image();
    std::vector<uint8_t> bytes;
    const os::ReadStatus status = os::readWholeFile(path ? path : "", MAX_IMAGE_FILE_BYTES, bytes);
    if (status != os::ReadStatus::Ok) {
        if (why) *why = status == os::ReadStatus::TooLarge ? "picture file too large" : os::readStatusText(status);
        return false;
    }
    return decodeImageBytes(bytes.data(), bytes.size(), out, why);
}

void scaleImageToFit(const Image& in, int maxSide, Image& out) {
    const int longest = std::max(in.width, in.height);
    if (longest <= maxSide || maxSide <= 0 || in.rgb.size() != static_cast<size_t>(in.width) * in.height * 3) {
        out = in;
        return;
    }
    // Rounded to the nearest pixel, never below one: a 1000 by 3 picture becomes 256 by 1.
    auto scaled = [&](int side) { return std::max(1, static_cast<int>((int64_t(side) * maxSide + longest / 2) / longest)); };
    Image result;
    result.width = scaled(in.width);
    result.height = scaled(in.height);
    result.rgb.resize(static_cast<size_t>(result.width) * result.height * 3);
    // Output pixel x covers the input columns from x * w / W up to (x + 1) * w / W, at least one.
    auto span = [](int at, int outSide, int inSide, int& first, int& last) {
        first = static_cast<int>(int64_t(at) * inSide / outSide);
        last = std::max(first + 1, static_cast<int>(int64_t(at + 1) * inSide / outSide));
    };
    for (int y = 0; y < result.height; ++y) {
        int top, bottom;
        span(y, result.height, in.height, top, bottom);
        for (int x = 0; x < result.width; ++x) {
            int left, right;
            span(x, result.width, in.width, left, right);
            uint64_t sum[3] = {0, 0, 0};
            for (int sy = top; sy < bottom; ++sy) {
                const uint8_t* p = &in.rgb[(static_cast<size_t>(sy) * in.width + left) * 3];
                for (int sx = left; sx < right; ++sx, p += 3)
                    for (int c = 0; c < 3; ++c) sum[c] += p[c];
            }
            const uint64_t count = uint64_t(bottom - top) * (right - left);
            uint8_t* d = &result.rgb[(static_cast<size_t>(y) * result.width + x) * 3];
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    out = std::move(result);
}

} // namespace platform
