#include "gifwrite.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>

namespace {

struct Entry {
    uint32_t rgb;
    uint32_t count;
};

int channel(uint32_t rgb, int c) { return static_cast<int>((rgb >> (16 - 8 * c)) & 0xFF); }

struct Box {
    std::vector<Entry> entries;
    int longestAxis() const {
        int best = 0, bestRange = -1;
        for (int c = 0; c < 3; ++c) {
            int lo = 255, hi = 0;
            for (const Entry& e : entries) {
                lo = std::min(lo, channel(e.rgb, c));
                hi = std::max(hi, channel(e.rgb, c));
            }
            if (hi - lo > bestRange) {
                bestRange = hi - lo;
                best = c;
            }
        }
        return best;
    }
    // How much a split would help: spread of the box weighted by its pixel count.
    double priority() const {
        if (entries.size() < 2) return -1;
        double total = 0, mean[3] = {0, 0, 0};
        for (const Entry& e : entries) {
            total += e.count;
            for (int c = 0; c < 3; ++c) mean[c] += double(e.count) * channel(e.rgb, c);
        }
        for (double& m : mean) m /= total;
        double err = 0;
        for (const Entry& e : entries)
            for (int c = 0; c < 3; ++c) {
                double d = channel(e.rgb, c) - mean[c];
                err += e.count * d * d;
            }
        return err;
    }
    uint32_t average() const {
        double total = 0, sum[3] = {0, 0, 0};
        for (const Entry& e : entries) {
            total += e.count;
            for (int c = 0; c < 3; ++c) sum[c] += double(e.count) * channel(e.rgb, c);
        }
        uint32_t out = 0;
        for (int c = 0; c < 3; ++c) out = (out << 8) | static_cast<uint32_t>(std::lround(sum[c] / total));
        return out;
    }
};

std::vector<uint32_t> medianCut(std::vector<Entry> colours, size_t wanted) {
    std::vector<Box> boxes;
    boxes.push_back(Box{std::move(colours)});
    while (boxes.size() < wanted) {
        size_t pick = 0;
        double best = -1;
        for (size_t i = 0; i < boxes.size(); ++i) {
            double p = boxes[i].priority();
            if (p > best) {
                best = p;
                pick = i;
            }
        }
        if (best <= 0) break;
        Box& b = boxes[pick];
        int axis = b.longestAxis();
        std::stable_sort(b.entries.begin(), b.entries.end(),
                         [axis](const Entry& x, const Entry& y) { return channel(x.rgb, axis) < channel(y.rgb, axis); });
        uint64_t total = 0;
        for (const Entry& e : b.entries) total += e.count;
        uint64_t run = 0;
        size_t cut = 1;
        for (size_t i = 0; i + 1 < b.entries.size(); ++i) {
            run += b.entries[i].count;
            cut = i + 1;
            if (run * 2 >= total) break;
        }
        Box second{std::vector<Entry>(b.entries.begin() + static_cast<long>(cut), b.entries.end())};
        b.entries.resize(cut);
        boxes.push_back(std::move(second));
    }
    std::vector<uint32_t> palette;
    for (const Box& b : boxes) palette.push_back(b.average());
    return palette;
}

int distance2(uint32_t a, uint32_t b) {
    int d = 0;
    for (int c = 0; c < 3; ++c) {
        int k = channel(a, c) - channel(b, c);
        d += k * k;
    }
    return d;
}

}  // namespace

bool writeGif(const std::string& path, const Canvas& picture, const std::vector<Rgb8>& exact) {
    const int w = picture.width(), h = picture.height();
    std::vector<uint8_t> rgb = picture.toRgb8();
    const size_t pixels = static_cast<size_t>(w) * h;

    std::map<uint32_t, uint32_t> histogram;  // ordered, so the palette never depends on hashing
    for (size_t i = 0; i < pixels; ++i) ++histogram[(uint32_t(rgb[3 * i]) << 16) | (uint32_t(rgb[3 * i + 1]) << 8) | rgb[3 * i + 2]];

    std::vector<uint32_t> palette;
    if (histogram.size() <= 256) {
        for (const auto& [colour, count] : histogram) palette.push_back(colour);
    } else {
        for (const Rgb8& e : exact) palette.push_back((uint32_t(e.r) << 16) | (uint32_t(e.g) << 8) | e.b);
        std::vector<Entry> frequent;
        for (const auto& [colour, count] : histogram)
            if (count * 100 >= pixels) frequent.push_back({colour, count});
        std::stable_sort(frequent.begin(), frequent.end(), [](const Entry& a, const Entry& b) { return a.count > b.count; });
        for (size_t i = 0; i < frequent.size() && i < 32; ++i)
            if (std::find(palette.begin(), palette.end(), frequent[i].rgb) == palette.end()) palette.push_back(frequent[i].rgb);
        std::vector<Entry> rest;
        for (const auto& [colour, count] : histogram)
            if (std::find(palette.begin(), palette.end(), colour) == palette.end()) rest.push_back({colour, count});
        std::vector<uint32_t> cut = medianCut(std::move(rest), 256 - palette.size());
        palette.insert(palette.end(), cut.begin(), cut.end());
    }

    std::map<uint32_t, uint8_t> index;
    for (const auto& [colour, count] : histogram) {
        size_t best = 0;
        int bestD = 1 << 30;
        for (size_t p = 0; p < palette.size(); ++p) {
            int d = distance2(colour, palette[p]);
            if (d < bestD) {
                bestD = d;
                best = p;
            }
        }
        index[colour] = static_cast<uint8_t>(best);
    }

    int bits = 1;
    while ((1u << bits) < palette.size()) ++bits;
    std::vector<GifColorType> colours(size_t(1) << bits, GifColorType{0, 0, 0});
    for (size_t p = 0; p < palette.size(); ++p)
        colours[p] = GifColorType{static_cast<GifByteType>(channel(palette[p], 0)), static_cast<GifByteType>(channel(palette[p], 1)),
                                  static_cast<GifByteType>(channel(palette[p], 2))};
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());

    int error = 0;
    // Opened here rather than by giflib, which would create the file readable by its owner only.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    GifFileType* gif = fd >= 0 ? EGifOpenFileHandle(fd, &error) : nullptr;
    if (!gif) {
        if (fd >= 0) ::close(fd);
        std::fprintf(stderr, "assetgen: cannot write %s: %s\n", path.c_str(), GifErrorString(error));
        GifFreeMapObject(map);
        return false;
    }
    bool ok = EGifPutScreenDesc(gif, w, h, bits, 0, map) == GIF_OK && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = 0; ok && y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            size_t i = static_cast<size_t>(y) * w + x;
            row[static_cast<size_t>(x)] = index[(uint32_t(rgb[3 * i]) << 16) | (uint32_t(rgb[3 * i + 1]) << 8) | rgb[3 * i + 2]];
        }
        ok = EGifPutLine(gif, row.data(), w) == GIF_OK;
    }
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    GifFreeMapObject(map);
    if (!ok) std::fprintf(stderr, "assetgen: error while writing %s\n", path.c_str());
    return ok;
}
