#include "platform/overlay.h"

#include "platform/drawablepixels.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace platform {

namespace {

// Logical size of the overlay font, close to the device's system font.
constexpr int OVERLAY_POINT_SIZE = 11;

} // namespace

struct TextOverlay::Fonts {
    struct Entry {
        GLuint texture = 0;
        int texW = 0, texH = 0, w = 0, h = 0;
        int logicalW = 0, logicalH = 0; // measured once: SDL_ttf allocates while measuring
        uint64_t lastUse = 0;
    };
    TTF_Font* logicalFont = nullptr;
    TTF_Font* drawFont = nullptr;
    int drawSize = 0;
    std::map<std::tuple<std::string, uint32_t, uint32_t>, Entry> cache;
    uint64_t useCounter = 0;
    bool ttfStarted = false;
    std::string fontPath;

    explicit Fonts(const std::string& path) : fontPath(path) {
        if (TTF_WasInit() || TTF_Init() == 0) {
            ttfStarted = true;
            logicalFont = TTF_OpenFont(fontPath.c_str(), OVERLAY_POINT_SIZE);
        }
    }
    ~Fonts() {
        dropCache();
        if (logicalFont) TTF_CloseFont(logicalFont);
        if (drawFont) TTF_CloseFont(drawFont);
        if (ttfStarted) TTF_Quit();
    }
    void dropCache() {
        if (eglGetCurrentContext() != EGL_NO_CONTEXT) {
            for (auto& [key, entry] : cache) glDeleteTextures(1, &entry.texture);
        }
        cache.clear();
    }
    TTF_Font* fontFor(float scale) {
        const int size = std::max(1, static_cast<int>(std::lround(OVERLAY_POINT_SIZE * scale)));
        if (size != drawSize) {
            dropCache();
            if (drawFont) TTF_CloseFont(drawFont);
            drawFont = TTF_OpenFont(fontPath.c_str(), size);
            drawSize = size;
        }
        return drawFont;
    }
};

TextOverlay::TextOverlay(const std::string& fontPath) : fonts(std::make_unique<Fonts>(fontPath)) {}

bool TextOverlay::hasFont() const { return fonts->logicalFont != nullptr; }

TextOverlay::~TextOverlay() = default;

void TextOverlay::measure(const char* text, int& width, int& height) {
    width = height = 0;
    if (!fonts->logicalFont || !text) return;
    TTF_SizeUTF8(fonts->logicalFont, text[0] ? text : " ", &width, &height);
    if (!text[0]) width = 0;
}

void TextOverlay::draw(const Placement& at, int x, int y, const char* text, Rgb background, Rgb foreground) {
    if (!text || !text[0] || eglGetCurrentContext() == EGL_NO_CONTEXT) return;
    TTF_Font* font = fonts->fontFor(at.scale);
    if (!font) return;

    const uint32_t bg = (background.r << 16) | (background.g << 8) | background.b;
    const uint32_t fg = (foreground.r << 16) | (foreground.g << 8) | foreground.b;
    auto key = std::make_tuple(std::string(text), bg, fg);
    auto found = fonts->cache.find(key);
    if (found == fonts->cache.end()) {
        if (fonts->cache.size() >= 64) {
            auto oldest = std::min_element(fonts->cache.begin(), fonts->cache.end(),
                                           [](auto& a, auto& b) { return a.second.lastUse < b.second.lastUse; });
            glDeleteTextures(1, &oldest->second.texture);
            fonts->cache.erase(oldest);
        }
        SDL_Color fgc{foreground.r, foreground.g, foreground.b, 255};
        SDL_Color bgc{background.r, background.g, background.b, 255};
        SDL_Surface* rendered = TTF_RenderUTF8_Shaded(font, text, fgc, bgc);
        if (!rendered) return;
        SDL_Surface* rgba = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ABGR8888, 0);
        SDL_FreeSurface(rendered);
        if (!rgba) return;
        Fonts::Entry entry;
        measure(text, entry.logicalW, entry.logicalH);
        entry.w = rgba->w;
        entry.h = rgba->h;
        entry.texW = nextPowerOfTwo(rgba->w);
        entry.texH = nextPowerOfTwo(rgba->h);
        std::vector<uint8_t> pixels(static_cast<size_t>(entry.texW) * entry.texH * 4, 0);
        for (int row = 0; row < rgba->h; ++row) {
            std::memcpy(&pixels[static_cast<size_t>(row) * entry.texW * 4],
                        static_cast<uint8_t*>(rgba->pixels) + static_cast<size_t>(row) * rgba->pitch,
                        static_cast<size_t>(rgba->w) * 4);
        }
        SDL_FreeSurface(rgba);
        GLint previous = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        glGenTextures(1, &entry.texture);
        glBindTexture(GL_TEXTURE_2D, entry.texture);
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, entry.texW, entry.texH, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glBindTexture(GL_TEXTURE_2D, previous);
        found = fonts->cache.emplace(key, entry).first;
    }
    Fonts::Entry& entry = found->second;
    entry.lastUse = ++fonts->useCounter;
    const int logicalW = entry.logicalW, logicalH = entry.logicalH;

    // The box takes the measured logical size; the text inside is drawn at full resolution.
    // Hinted at the drawable's size the font comes out a little wider or shorter than the
    // logical one scaled: the box widens to hold the whole word ("three" lost its last
    // letter), and the word drops to the baseline the scaled logical font would give it
    // rather than hanging from the box's top.
    const float left = at.viewX + x * at.scale;
    const float top = at.viewY + at.viewH - y * at.scale;
    const float boxW = std::max(logicalW * at.scale, static_cast<float>(entry.w));
    const float boxH = logicalH * at.scale;
    const float drop =
        std::max(0.0f, std::round(TTF_FontAscent(fonts->logicalFont) * at.scale) - TTF_FontAscent(font));
    const float drawW = static_cast<float>(entry.w);
    const float drawH = std::max(0.0f, std::min(static_cast<float>(entry.h), boxH - drop));

    const DrawablePixels pixels(at.drawableW, at.drawableH, at.gameX, at.gameY, at.gameW, at.gameH);
    // Background box.
    glDisable(GL_TEXTURE_2D);
    glColor4x(background.r * 257, background.g * 257, background.b * 257, 0x10000);
    const GLfixed box[12] = {pixelFixed(left), pixelFixed(top), pixelFixed(left), pixelFixed(top - boxH),
                             pixelFixed(left + boxW), pixelFixed(top - boxH), pixelFixed(left + boxW), pixelFixed(top - boxH),
                             pixelFixed(left + boxW), pixelFixed(top), pixelFixed(left), pixelFixed(top)};
    glVertexPointer(2, GL_FIXED, 0, box);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    // Text.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, entry.texture);
    glColor4x(0x10000, 0x10000, 0x10000, 0x10000);
    const float l = std::round(left), t = std::round(top) - drop;
    const GLfixed quad[12] = {pixelFixed(l), pixelFixed(t), pixelFixed(l), pixelFixed(t - drawH),
                              pixelFixed(l + drawW), pixelFixed(t - drawH), pixelFixed(l + drawW), pixelFixed(t - drawH),
                              pixelFixed(l + drawW), pixelFixed(t), pixelFixed(l), pixelFixed(t)};
    const float s = drawW / entry.texW, u = drawH / entry.texH;
    const GLfixed coords[12] = {0, 0, 0, pixelFixed(u), pixelFixed(s), pixelFixed(u),
                                pixelFixed(s), pixelFixed(u), pixelFixed(s), 0, 0, 0};
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FIXED, 0, coords);
    glVertexPointer(2, GL_FIXED, 0, quad);
    glDrawArrays(GL_TRIANGLES, 0, 6);
}

} // namespace platform
