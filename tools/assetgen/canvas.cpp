#include "canvas.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

Colour rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

Colour mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour scale(Colour c, float k) { return {c.r * k, c.g * k, c.b * k}; }

static float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// ---- Mask ----

Mask::Mask(int width, int height) : w(width), h(height), values(static_cast<size_t>(width) * height, 0.0f) {}

float Mask::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return 0.0f;
    return values[static_cast<size_t>(y) * w + x];
}

void Mask::blur(int radius, int passes) {
    if (radius <= 0) return;
    std::vector<float> tmp(values.size());
    const float norm = 1.0f / (2 * radius + 1);
    for (int p = 0; p < passes; ++p) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += at(x + k, y);
                tmp[static_cast<size_t>(y) * w + x] = s * norm;
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) {
                    int yy = y + k;
                    if (yy >= 0 && yy < h) s += tmp[static_cast<size_t>(yy) * w + x];
                }
                values[static_cast<size_t>(y) * w + x] = s * norm;
            }
    }
}

void Mask::grow(float gain) {
    for (float& v : values) v = clamp01(v * gain);
}

// ---- Canvas ----

Canvas::Canvas(int width, int height, Colour fill) : w(width), h(height), px(static_cast<size_t>(width) * height, fill) {}

Colour Canvas::get(int x, int y) const {
    x = std::clamp(x, 0, w - 1);
    y = std::clamp(y, 0, h - 1);
    return px[static_cast<size_t>(y) * w + x];
}

void Canvas::set(int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    px[static_cast<size_t>(y) * w + x] = c;
}

void Canvas::blend(int x, int y, Colour c, float alpha) {
    if (x < 0 || y < 0 || x >= w || y >= h || alpha <= 0) return;
    Colour& d = px[static_cast<size_t>(y) * w + x];
    d = mix(d, c, clamp01(alpha));
}

void Canvas::add(int x, int y, Colour c, float amount) {
    if (x < 0 || y < 0 || x >= w || y >= h || amount <= 0) return;
    Colour& d = px[static_cast<size_t>(y) * w + x];
    d.r += c.r * amount;
    d.g += c.g * amount;
    d.b += c.b * amount;
}

void Canvas::fillRect(float x0, float y0, float x1, float y1, Colour c, float alpha) {
    // Partial coverage at the borders keeps edges that fall between pixels soft.
    int ix0 = static_cast<int>(std::floor(x0)), ix1 = static_cast<int>(std::ceil(x1));
    int iy0 = static_cast<int>(std::floor(y0)), iy1 = static_cast<int>(std::ceil(y1));
    for (int y = iy0; y < iy1; ++y) {
        float cy = std::min<float>(y + 1, y1) - std::max<float>(y, y0);
        for (int x = ix0; x < ix1; ++x) {
            float cx = std::min<float>(x + 1, x1) - std::max<float>(x, x0);
            blend(x, y, c, alpha * clamp01(cx) * clamp01(cy));
        }
    }
}

void Canvas::verticalGradient(float y0, float y1, Colour top, Colour bottom) {
    for (int y = 0; y < h; ++y) {
        float t = clamp01((y + 0.5f - y0) / (y1 - y0));
        Colour c = mix(top, bottom, t);
        for (int x = 0; x < w; ++x) set(x, y, c);
    }
}

static float segmentDistance(float px_, float py, float x0, float y0, float x1, float y1) {
    float dx = x1 - x0, dy = y1 - y0;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((px_ - x0) * dx + (py - y0) * dy) / len2 : 0.0f;
    t = clamp01(t);
    float ex = x0 + t * dx - px_, ey = y0 + t * dy - py;
    return std::sqrt(ex * ex + ey * ey);
}

void Canvas::line(float x0, float y0, float x1, float y1, float width, Colour c, float alpha) {
    float r = width * 0.5f;
    int minX = static_cast<int>(std::floor(std::min(x0, x1) - r - 1)), maxX = static_cast<int>(std::ceil(std::max(x0, x1) + r + 1));
    int minY = static_cast<int>(std::floor(std::min(y0, y1) - r - 1)), maxY = static_cast<int>(std::ceil(std::max(y0, y1) + r + 1));
    for (int y = std::max(minY, 0); y <= std::min(maxY, h - 1); ++y)
        for (int x = std::max(minX, 0); x <= std::min(maxX, w - 1); ++x) {
            float d = segmentDistance(x + 0.5f, y + 0.5f, x0, y0, x1, y1);
            float cov = clamp01(r + 0.5f - d);
            if (cov > 0) blend(x, y, c, alpha * cov);
        }
}

void Canvas::glowLine(float x0, float y0, float x1, float y1, float radius, Colour c, float amount) {
    int minX = static_cast<int>(std::floor(std::min(x0, x1) - radius)), maxX = static_cast<int>(std::ceil(std::max(x0, x1) + radius));
    int minY = static_cast<int>(std::floor(std::min(y0, y1) - radius)), maxY = static_cast<int>(std::ceil(std::max(y0, y1) + radius));
    for (int y = std::max(minY, 0); y <= std::min(maxY, h - 1); ++y)
        for (int x = std::max(minX, 0); x <= std::min(maxX, w - 1); ++x) {
            float d = segmentDistance(x + 0.5f, y + 0.5f, x0, y0, x1, y1) / radius;
            if (d < 1) {
                float f = (1 - d) * (1 - d);
                add(x, y, c, amount * f);
            }
        }
}

void Canvas::glowDisc(float cx, float cy, float radius, Colour c, float amount) { glowLine(cx, cy, cx, cy, radius, c, amount); }

void Canvas::disc(float cx, float cy, float radius, Colour c, float alpha) {
    for (int y = std::max(0, static_cast<int>(cy - radius - 1)); y <= std::min(h - 1, static_cast<int>(cy + radius + 1)); ++y)
        for (int x = std::max(0, static_cast<int>(cx - radius - 1)); x <= std::min(w - 1, static_cast<int>(cx + radius + 1)); ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            blend(x, y, c, alpha * clamp01(radius + 0.5f - d));
        }
}

void Canvas::ring(float cx, float cy, float radius, float width, Colour c, float alpha) {
    float r = radius + width;
    for (int y = std::max(0, static_cast<int>(cy - r - 1)); y <= std::min(h - 1, static_cast<int>(cy + r + 1)); ++y)
        for (int x = std::max(0, static_cast<int>(cx - r - 1)); x <= std::min(w - 1, static_cast<int>(cx + r + 1)); ++x) {
            float d = std::fabs(std::hypot(x + 0.5f - cx, y + 0.5f - cy) - radius);
            blend(x, y, c, alpha * clamp01(width * 0.5f + 0.5f - d));
        }
}

void Canvas::polygon(const std::vector<float>& xy, Colour c, float alpha) {
    // Even-odd fill sampled 4 x 4 times per pixel.
    const size_t n = xy.size() / 2;
    if (n < 3) return;
    float minY = xy[1], maxY = xy[1], minX = xy[0], maxX = xy[0];
    for (size_t i = 0; i < n; ++i) {
        minX = std::min(minX, xy[2 * i]);
        maxX = std::max(maxX, xy[2 * i]);
        minY = std::min(minY, xy[2 * i + 1]);
        maxY = std::max(maxY, xy[2 * i + 1]);
    }
    const int S = 4;
    int x0 = std::max(0, static_cast<int>(std::floor(minX))), x1 = std::min(w - 1, static_cast<int>(std::ceil(maxX)));
    int y0 = std::max(0, static_cast<int>(std::floor(minY))), y1 = std::min(h - 1, static_cast<int>(std::ceil(maxY)));
    std::vector<float> cover(static_cast<size_t>(x1 - x0 + 1), 0.0f);
    for (int y = y0; y <= y1; ++y) {
        std::fill(cover.begin(), cover.end(), 0.0f);
        for (int sy = 0; sy < S; ++sy) {
            float py = y + (sy + 0.5f) / S;
            std::vector<float> xs;
            for (size_t i = 0; i < n; ++i) {
                float ax = xy[2 * i], ay = xy[2 * i + 1];
                float bx = xy[2 * ((i + 1) % n)], by = xy[2 * ((i + 1) % n) + 1];
                if ((ay <= py && by > py) || (by <= py && ay > py)) xs.push_back(ax + (py - ay) / (by - ay) * (bx - ax));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t k = 0; k + 1 < xs.size(); k += 2)
                for (int x = x0; x <= x1; ++x)
                    for (int sx = 0; sx < S; ++sx) {
                        float pxs = x + (sx + 0.5f) / S;
                        if (pxs >= xs[k] && pxs < xs[k + 1]) cover[static_cast<size_t>(x - x0)] += 1.0f / (S * S);
                    }
        }
        for (int x = x0; x <= x1; ++x) blend(x, y, c, alpha * cover[static_cast<size_t>(x - x0)]);
    }
}

void Canvas::paintMask(const Mask& m, int dx, int dy, Colour c, float alpha) {
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x) blend(x + dx, y + dy, c, alpha * m.at(x, y));
}

void Canvas::addMask(const Mask& m, int dx, int dy, Colour c, float amount) {
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x) add(x + dx, y + dy, c, amount * m.at(x, y));
}

void Canvas::paste(const Canvas& src, int dx, int dy) {
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) set(x + dx, y + dy, src.get(x, y));
}

std::vector<uint8_t> Canvas::toRgb8() const {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < px.size(); ++i) {
        out[3 * i + 0] = static_cast<uint8_t>(std::lround(clamp01(px[i].r) * 255.0f));
        out[3 * i + 1] = static_cast<uint8_t>(std::lround(clamp01(px[i].g) * 255.0f));
        out[3 * i + 2] = static_cast<uint8_t>(std::lround(clamp01(px[i].b) * 255.0f));
    }
    return out;
}

// ---- PNG ----

bool writePng(const std::string& path, const Canvas& picture, const Mask& opacity) {
    const int w = picture.width(), h = picture.height();
    std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface(
        SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32), SDL_FreeSurface);
    if (!surface) {
        std::fprintf(stderr, "assetgen: %s: %s\n", path.c_str(), SDL_GetError());
        return false;
    }
    auto byte = [](float v) { return static_cast<Uint8>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    for (int y = 0; y < h; ++y) {
        Uint8* row = static_cast<Uint8*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
        for (int x = 0; x < w; ++x) {
            const float a = std::clamp(opacity.at(x, y), 0.0f, 1.0f);
            const Colour c = a > 0 ? scale(picture.get(x, y), 1.0f / a) : Colour{};
            Uint8* p = row + 4 * x;
            p[0] = byte(c.r);
            p[1] = byte(c.g);
            p[2] = byte(c.b);
            p[3] = byte(a);
        }
    }
    if (IMG_SavePNG(surface.get(), path.c_str()) != 0) {
        std::fprintf(stderr, "assetgen: cannot write %s: %s\n", path.c_str(), IMG_GetError());
        return false;
    }
    return true;
}

// ---- Lettering ----

bool Lettering::start() {
    if (TTF_Init() != 0) {
        std::fprintf(stderr, "assetgen: SDL_ttf: %s\n", TTF_GetError());
        return false;
    }
    return true;
}

void Lettering::stop() { TTF_Quit(); }

std::string Lettering::fontPath(const char* name) { return std::string("/usr/share/fonts/truetype/dejavu/") + name; }

Lettering::Text Lettering::render(const std::string& fontFile, int pointSize, const std::string& text, int pad, bool hinted) {
    TTF_Font* font = TTF_OpenFont(fontFile.c_str(), pointSize);
    if (!font) {
        std::fprintf(stderr, "assetgen: cannot open font %s: %s\n", fontFile.c_str(), TTF_GetError());
        return {Mask(1, 1), 0};
    }
    TTF_SetFontHinting(font, hinted ? TTF_HINTING_NORMAL : TTF_HINTING_NONE);
    SDL_Color white{255, 255, 255, 255};
    SDL_Surface* s = TTF_RenderUTF8_Blended(font, text.c_str(), white);
    const int ascent = TTF_FontAscent(font);
    TTF_CloseFont(font);
    if (!s) return {Mask(1, 1), 0};
    SDL_Surface* conv = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(s);
    if (!conv) return {Mask(1, 1), 0};
    // Trim the font's line box down to the inked rows so callers can place glyphs exactly.
    int top = conv->h, bottom = -1;
    auto alphaAt = [&](int x, int y) {
        const uint8_t* row = static_cast<const uint8_t*>(conv->pixels) + static_cast<size_t>(y) * conv->pitch;
        return row[4 * x + 3];
    };
    for (int y = 0; y < conv->h; ++y)
        for (int x = 0; x < conv->w; ++x)
            if (alphaAt(x, y)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (bottom < top) {
        top = 0;
        bottom = 0;
    }
    Mask m(conv->w + 2 * pad, bottom - top + 1 + 2 * pad);
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < conv->w; ++x) m.ref(x + pad, y - top + pad) = alphaAt(x, y) / 255.0f;
    SDL_FreeSurface(conv);
    return {m, ascent - top + pad};
}
