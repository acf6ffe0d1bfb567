// Picture decoding from bytes: the game's GIFs against SDL_image, hand-made GIFs, the other
// accepted formats, and damaged or oversized files (refused before anything of the claimed
// size is allocated; the sanitizer build watches the reads).
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>
#include <gif_lib.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>

#include "platform/imagedecode.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A one-picture GIF written with giflib's encoder.
struct GifPlan {
    int screenW = 4, screenH = 4, background = 0;
    int left = 0, top = 0, width = 4, height = 4;
    bool interlace = false;
    int colours = 4; // global table size (power of two)
    std::vector<uint8_t> pixels; // width * height indices, rows top first
};

int appendBytes(GifFileType* gif, const GifByteType* data, int count) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + count);
    return count;
}

Bytes encodeGif(const GifPlan& plan) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendBytes, &error);
    EXPECT_NE(gif, nullptr);
    if (!gif) return out;
    std::vector<GifColorType> table(static_cast<size_t>(plan.colours));
    for (int i = 0; i < plan.colours; ++i)
        table[i] = {static_cast<GifByteType>(10 + i), static_cast<GifByteType>(100 + i), static_cast<GifByteType>(200 - i)};
    ColorMapObject* map = GifMakeMapObject(plan.colours, table.data());
    EXPECT_EQ(EGifPutScreenDesc(gif, plan.screenW, plan.screenH, 8, plan.background, map), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(gif, plan.left, plan.top, plan.width, plan.height, plan.interlace, nullptr), GIF_OK);
    // giflib writes rows in the order given; an interlaced picture wants them by pass.
    const int first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (plan.interlace ? 4 : 1); ++pass) {
        for (int row = plan.interlace ? first[pass] : 0; row < plan.height; row += plan.interlace ? step[pass] : 1)
            EXPECT_EQ(EGifPutLine(gif, const_cast<GifPixelType*>(&plan.pixels[row * plan.width]), plan.width), GIF_OK);
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
    return out;
}

// The colour encodeGif gives index i.
std::vector<uint8_t> colourOf(int i) {
    return {static_cast<uint8_t>(10 + i), static_cast<uint8_t>(100 + i), static_cast<uint8_t>(200 - i)};
}

std::vector<uint8_t> pixelAt(const platform::Image& image, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * image.width + x) * 3;
    return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

bool decode(const Bytes& bytes, platform::Image& image, const char** why = nullptr) {
    return platform::decodeImageBytes(bytes.data(), bytes.size(), image, why);
}

void expectRefused(const Bytes& bytes, const char* expectedWhy) {
    platform::Image image;
    const char* why = nullptr;
    EXPECT_FALSE(decode(bytes, image, &why));
    EXPECT_EQ(image.width + image.height, 0);
    EXPECT_TRUE(image.rgb.empty());
    EXPECT_STREQ(why, expectedWhy ? expectedWhy : why);
    EXPECT_NE(why, nullptr);
}

enum Format { Bmp, Png, Jpeg };
Bytes surfaceAs(SDL_Surface* surface, Format format) {
    Bytes out(1 << 16);
    SDL_RWops* rw = SDL_RWFromMem(out.data(), static_cast<int>(out.size()));
    EXPECT_EQ(format == Bmp   ? SDL_SaveBMP_RW(surface, rw, 0)
              : format == Png ? IMG_SavePNG_RW(surface, rw, 0)
                              : IMG_SaveJPG_RW(surface, rw, 0, 100),
              0);
    out.resize(static_cast<size_t>(SDL_RWtell(rw)));
    SDL_RWclose(rw);
    return out;
}

// A grey gradient as a progressive JPEG of `scans` scans: the DC scan, then one scan per AC
// coefficient, then refinements of the low bit, a coefficient at a time (at most 127).
// No scans: a baseline JPEG.
Bytes progressiveJpeg(int scans, int side = 16) {
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0}, 0, 0, 0, 0});
    for (int pass = 0; pass < 2; ++pass)
        for (int k = 1; k < 64 && int(script.size()) < scans; ++k) script.push_back({1, {0}, k, k, pass, 1 - pass});
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = info.image_height = side;
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (scans > 0) {
        info.scan_info = script.data();
        info.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) row[x] = static_cast<uint8_t>((x + y) * 255 / (2 * side - 2));
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

std::string scratchDir() {
    char pattern[] = "/tmp/palvex-pictures-XXXXXX";
    return std::string(mkdtemp(pattern)) + "/";
}

} // namespace

TEST(ImageDecode, GamePicturesDecodeAsSdlImageDecodesThem) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PALVEX_SOURCE_DIR "/data")) {
        const std::string path = entry.path();
        if (entry.path().extension() != ".gif") continue;
        SCOPED_TRACE(path);
        ++files;
        platform::Image ours;
        ASSERT_TRUE(decode(readFile(path), ours));
        SDL_Surface* loaded = IMG_Load(path.c_str());
        ASSERT_NE(loaded, nullptr);
        SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
        SDL_FreeSurface(loaded);
        ASSERT_NE(rgb, nullptr);
        ASSERT_EQ(ours.width, rgb->w);
        ASSERT_EQ(ours.height, rgb->h);
        int differing = 0;
        for (int y = 0; y < rgb->h; ++y)
            differing += std::memcmp(&ours.rgb[static_cast<size_t>(y) * rgb->w * 3],
                                     static_cast<uint8_t*>(rgb->pixels) + y * rgb->pitch, rgb->w * 3) != 0;
        EXPECT_EQ(differing, 0) << "rows that differ";
        SDL_FreeSurface(rgb);
    }
    EXPECT_GE(files, 12);
}

TEST(ImageDecode, GifLayout) {
    GifPlan plain;
    plain.screenW = plain.width = 5;
    plain.screenH = plain.height = 11; // every interlace pass has rows
    for (int i = 0; i < 55; ++i) plain.pixels.push_back(static_cast<uint8_t>((i * 7) % 4));
    platform::Image expected;
    ASSERT_TRUE(decode(encodeGif(plain), expected));
    ASSERT_EQ(expected.width, 5);
    ASSERT_EQ(expected.height, 11);
    EXPECT_EQ(pixelAt(expected, 0, 0), colourOf(0));
    EXPECT_EQ(pixelAt(expected, 3, 2), colourOf((13 * 7) % 4)); // row 2, column 3: index 13

    {
        SCOPED_TRACE("interlaced rows land where the plain ones do");
        GifPlan interlaced = plain;
        interlaced.interlace = true;
        platform::Image image;
        ASSERT_TRUE(decode(encodeGif(interlaced), image));
        EXPECT_EQ(image.rgb, expected.rgb);
    }
    {
        SCOPED_TRACE("a picture inside its screen, on the background colour");
        GifPlan inset;
        inset.screenW = 6, inset.screenH = 5, inset.background = 3;
        inset.left = 2, inset.top = 1, inset.width = 2, inset.height = 3;
        inset.pixels = {1, 2, 2, 1, 0, 0};
        platform::Image image;
        ASSERT_TRUE(decode(encodeGif(inset), image));
        ASSERT_EQ(image.width, 6);
        ASSERT_EQ(image.height, 5);
        EXPECT_EQ(pixelAt(image, 0, 0), colourOf(3));
        EXPECT_EQ(pixelAt(image, 3, 1), colourOf(2));
        EXPECT_EQ(pixelAt(image, 3, 3), colourOf(0));
        EXPECT_EQ(pixelAt(image, 2, 4), colourOf(3));
    }
    {
        SCOPED_TRACE("an index past the colour table is black");
        // Written with 8-bit codes and a 256-entry table, then the table cut to 2 entries.
        GifPlan shortTable;
        shortTable.colours = 256;
        shortTable.screenW = shortTable.width = 2, shortTable.screenH = shortTable.height = 1;
        shortTable.pixels = {1, 200};
        Bytes bytes = encodeGif(shortTable);
        ASSERT_EQ(bytes[10] & 0x87, 0x87);
        bytes[10] &= ~7;
        bytes.erase(bytes.begin() + 13 + 6, bytes.begin() + 13 + 768);
        platform::Image image;
        ASSERT_TRUE(decode(bytes, image));
        EXPECT_EQ(pixelAt(image, 0, 0), colourOf(1));
        EXPECT_EQ(pixelAt(image, 1, 0), (std::vector<uint8_t>{0, 0, 0}));
    }
}

TEST(ImageDecode, DamagedGifsAreRefused) {
    GifPlan plan;
    plan.pixels.assign(16, 1);
    const Bytes good = encodeGif(plan);
    ASSERT_EQ(good[25], 0x2C) << "the picture header follows the 4-colour table";
    // Cut in the header, the colour table, the pixel data.
    for (size_t cut : {size_t(4), size_t(20), good.size() - 4}) {
        SCOPED_TRACE(cut);
        expectRefused(Bytes(good.begin(), good.begin() + static_cast<long>(cut)), nullptr);
    }
    expectRefused({}, "empty file");
    // Absurd sizes, in the screen and in the picture header.
    auto withShort = [&](size_t at, uint16_t value) {
        Bytes b = good;
        b[at] = value & 0xFF;
        b[at + 1] = value >> 8;
        return b;
    };
    expectRefused(withShort(6, 65535), "GIF screen too large");
    expectRefused(withShort(25 + 5, 0), "GIF picture too large or empty");
    expectRefused(withShort(6, 4097), "GIF screen too large");
    expectRefused(withShort(25 + 1, 4094), "GIF picture too large"); // offset pushes it past the limit
    Bytes noTable = good;
    noTable[10] &= 0x7F; // drop the global table flag and the table itself
    noTable.erase(noTable.begin() + 13, noTable.begin() + 13 + 12);
    expectRefused(noTable, "GIF without a colour table");

    // Files the fuzzer found to make SDL_image 2.6 free a wild pointer or allocate gigabytes,
    // and hostile ones: odd widths, a thousand JPEG scans, a header past the size limit.
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PALVEX_SOURCE_DIR "/tests/data/damaged-pictures")) {
        SCOPED_TRACE(entry.path());
        ++seen;
        platform::Image image;
        if (decode(readFile(entry.path()), image)) {
            EXPECT_EQ(image.rgb.size(), static_cast<size_t>(image.width) * image.height * 3);
        } else {
            EXPECT_TRUE(image.rgb.empty());
        }
    }
    EXPECT_GE(seen, 3);
}

TEST(ImageDecode, OtherFormats) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 3, 2, 24, SDL_PIXELFORMAT_RGB24);
    ASSERT_NE(surface, nullptr);
    const uint8_t rows[2][9] = {{255, 0, 0, 0, 255, 0, 0, 0, 255}, {1, 2, 3, 40, 50, 60, 250, 251, 252}};
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch, rows[y], 9);
    const Bytes png = surfaceAs(surface, Png);
    const Bytes bmp = surfaceAs(surface, Bmp);
    SDL_FreeSurface(surface);
    // A flat 16 by 9 JPEG: lossy, but a flat colour comes back within a step or two, and
    // its frame header sits behind the JFIF and quantisation segments.
    SDL_Surface* flat = SDL_CreateRGBSurfaceWithFormat(0, 16, 9, 24, SDL_PIXELFORMAT_RGB24);
    ASSERT_NE(flat, nullptr);
    SDL_FillRect(flat, nullptr, SDL_MapRGB(flat->format, 200, 120, 40));
    const Bytes jpeg = surfaceAs(flat, Jpeg);
    SDL_FreeSurface(flat);
    platform::Image image;
    ASSERT_TRUE(decode(jpeg, image));
    ASSERT_EQ(image.width * 100 + image.height, 1609);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(image.rgb[(8 * 16 + 15) * 3 + c], (std::array<int, 3>{200, 120, 40}[c]), 3);
    for (const Bytes* file : {&png, &bmp}) {
        ASSERT_TRUE(decode(*file, image));
        ASSERT_EQ(image.width * 100 + image.height, 302);
        EXPECT_EQ(0, std::memcmp(image.rgb.data(), rows, sizeof rows));
    }

    // Sizes claimed in the headers are checked before decoding.
    Bytes hugePng = png;
    hugePng[16] = hugePng[17] = 0, hugePng[18] = hugePng[19] = 0xFF; // width 65535
    expectRefused(hugePng, "picture too large or empty");
    Bytes hugeBmp = bmp;
    hugeBmp[22] = 0x00, hugeBmp[23] = 0x00, hugeBmp[24] = 0x01; // height 65536
    expectRefused(hugeBmp, "picture too large or empty");
    // A JPEG whose frame header, after an application segment, claims 60000 by 60000.
    const Bytes hugeJpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x4A, 0x46, 0xFF, 0xC0, 0x00, 0x11, 0x08,
                            0xEA, 0x60, 0xEA, 0x60, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01};
    expectRefused(hugeJpeg, "picture too large or empty");
    // A well-formed header over damaged data: the decoder's own failure.
    expectRefused(Bytes(png.begin(), png.begin() + 40), "damaged picture");

    // What the handheld did not read is not read here either, whatever SDL_image knows.
    expectRefused({'P', '6', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 1, 2, 3}, "not a GIF, JPEG, PNG or BMP picture");
}

// libjpeg's work is bounded: a hundred scans are decoded, more are refused; damage that
// libjpeg would paper over is refused too, and no error ends the process.
TEST(ImageDecode, JpegScansAndDamage) {
    platform::Image image;
    const Bytes hundred = progressiveJpeg(100);
    ASSERT_TRUE(decode(hundred, image));
    ASSERT_EQ(image.width * 100 + image.height, 1616);
    EXPECT_NEAR(image.rgb[(15 * 16 + 15) * 3], 255, 4);
    EXPECT_NEAR(image.rgb[(8 * 16 + 7) * 3 + 1], 127, 4); // grey: every channel alike
    expectRefused(progressiveJpeg(101), "JPEG with too many scans");

    // Cut in its pixel data: libjpeg would make up the rest as grey, with a warning.
    const Bytes baseline = progressiveJpeg(0, 64);
    ASSERT_TRUE(decode(baseline, image));
    expectRefused(Bytes(baseline.begin(), baseline.begin() + baseline.size() * 3 / 4), "damaged JPEG");
    Bytes noComponents = hundred;
    for (size_t i = 2; i + 9 < noComponents.size(); ++i)
        if (noComponents[i] == 0xFF && noComponents[i + 1] == 0xC2) { // frame header: components to 0
            noComponents[i + 9] = 0;
            break;
        }
    expectRefused(noComponents, "damaged JPEG");
}

// Files are only read when they are regular and small enough; a FIFO never waits for a writer.
TEST(ImageDecode, OnlyRegularFilesOfBoundedSize) {
    const std::string dir = scratchDir();
    platform::Image image;
    const char* why = nullptr;
    std::ofstream(dir + "picture.jpg", std::ios::binary).write(reinterpret_cast<const char*>(progressiveJpeg(10).data()),
                                                              std::streamsize(progressiveJpeg(10).size()));
    EXPECT_TRUE(platform::decodeImageFile((dir + "picture.jpg").c_str(), image, &why)) << why;
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir + "zero").c_str()), 0);
    { std::ofstream(dir + "large"); }
    ASSERT_EQ(::truncate((dir + "large").c_str(), platform::MAX_IMAGE_FILE_BYTES + 1), 0);
    const auto start = std::chrono::steady_clock::now();
    for (const char* name : {"fifo", "zero", "large", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(platform::decodeImageFile((dir + name).c_str(), image, &why));
        EXPECT_TRUE(image.rgb.empty());
        EXPECT_STREQ(why, std::string(name) == "large"     ? "picture file too large"
                          : std::string(name) == "missing" ? "no such file"
                                                           : "not a regular file");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    std::filesystem::remove_all(dir);
}

TEST(ImageDecode, ScaleToFitKeepsAspectAndAveragesBlocks) {
    platform::Image in, out;
    in.width = 4, in.height = 2;
    in.rgb = {0, 0, 0, 10, 20, 30, 100, 100, 100, 200, 200, 200, // top row
              4, 8, 12, 6, 12, 18, 100, 100, 100, 0, 0, 0};
    platform::scaleImageToFit(in, 2, out);
    ASSERT_EQ(out.width * 100 + out.height, 201);
    EXPECT_EQ(out.rgb, (std::vector<uint8_t>{5, 10, 15, 100, 100, 100}));
    platform::scaleImageToFit(in, 4, out);
    EXPECT_EQ(out.rgb, in.rgb) << "a picture that fits is kept as it is";

    for (const auto& [w, h, wantW, wantH] : std::vector<std::array<int, 4>>{{2048, 2048, 256, 256}, {1000, 10, 256, 3},
                                                                            {3, 4000, 1, 256}}) {
        in.width = w, in.height = h;
        in.rgb.assign(size_t(w) * h * 3, 77);
        platform::scaleImageToFit(in, platform::MAX_ICON_SIDE, out);
        EXPECT_EQ(out.width * 10000 + out.height, wantW * 10000 + wantH) << w << " x " << h;
        EXPECT_EQ(out.rgb, std::vector<uint8_t>(size_t(wantW) * wantH * 3, 77));
    }
}
