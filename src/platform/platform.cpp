#include "platform/platform.h"

#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "platform/headless/headlessplatform.h"
#include "platform/imagedecode.h"
#include "platform/sdl/sdlplatform.h"

namespace platform {

namespace {
std::unique_ptr<Platform> instance;

int nextPowerOfTwo(int v) {
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

// Logical size of the overlay font, close to the device's system font.
constexpr int OVERLAY_POINT_SIZE = 11;
} // namespace

// Text over the picture. The device drew GDI text after the swap; here the text is
// rendered with SDL_ttf at the drawable's real resolution and composited into the back
// buffer before the swap, which gives the same visible result.
struct Platform::Overlay {
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

    Overlay() {
        if (TTF_WasInit() || TTF_Init() == 0) {
            ttfStarted = true;
            logicalFont = TTF_OpenFont(PALVEX_FONT, OVERLAY_POINT_SIZE);
        }
    }
    ~Overlay() {
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
            drawFont = TTF_OpenFont(PALVEX_FONT, size);
            drawSize = size;
        }
        return drawFont;
    }
};

Platform::Platform(const Options& options) : opts(options), overlay(std::make_unique<Overlay>()) {}

Platform::~Platform() = default;

intptr_t Platform::dispatchMessage(const Message& msg) {
    if (!windowProc || msg.message == MsgQuit) return 0;
    return windowProc(msg.window, msg.message, msg.wParam, msg.lParam);
}

void Platform::postQuitMessage(int exitCode) { queueMessage(MsgQuit, static_cast<uintptr_t>(exitCode)); }

void Platform::postMessage(const Message& msg) { queue.push_back(msg); }

void Platform::queueMessage(MessageType type, uintptr_t wParam) {
    Message msg;
    msg.window = window;
    msg.message = type;
    msg.wParam = wParam;
    msg.time = tickCount();
    queue.push_back(msg);
}

bool Platform::takeQueued(Message& msg, bool remove) {
    if (queue.empty()) return false;
    msg = queue.front();
    if (remove) queue.erase(queue.begin());
    return true;
}

void Platform::clientRect(int& width, int& height) const {
    width = LOGICAL_WIDTH;
    height = LOGICAL_HEIGHT;
}

void Platform::viewport(int& x, int& y, int& width, int& height) const {
    x = viewX;
    y = viewY;
    width = viewW;
    height = viewH;
}

void Platform::beginPaint() {
    int dw = 0, dh = 0;
    drawableSize(dw, dh);
    if (dw <= 0 || dh <= 0) {
        dw = LOGICAL_WIDTH;
        dh = LOGICAL_HEIGHT;
    }
    // The largest scale that fits, whole-numbered in a window sized for it, with the
    // rest of the drawable left black (letterboxing) in fullscreen.
    const float fit = std::min(static_cast<float>(dw) / LOGICAL_WIDTH, static_cast<float>(dh) / LOGICAL_HEIGHT);
    scale = fit >= 1.0f ? std::floor(fit * 1000.0f) / 1000.0f : fit;
    viewW = static_cast<int>(std::lround(LOGICAL_WIDTH * scale));
    viewH = static_cast<int>(std::lround(LOGICAL_HEIGHT * scale));
    viewX = (dw - viewW) / 2;
    viewY = (dh - viewH) / 2;
    if (viewW != dw || viewH != dh) {
        glDisable(GL_SCISSOR_TEST);
        glClearColorx(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glViewport(viewX, viewY, viewW, viewH);
    glScissor(viewX, viewY, viewW, viewH);
    glEnable(GL_SCISSOR_TEST);
}

void Platform::swapBuffers(EGLDisplay display, EGLSurface surface) {
    swapPending = true;
    pendingDisplay = display;
    pendingSurface = surface;
}

void Platform::endPaint() {
    if (!swapPending) return;
    swapPending = false;
    if (!opts.screenshotFile.empty()) {
        lastFrameW = viewW;
        lastFrameH = viewH;
        std::vector<uint8_t> rgba(static_cast<size_t>(viewW) * viewH * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(viewX, viewY, viewW, viewH, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        lastFrame.resize(static_cast<size_t>(viewW) * viewH * 3);
        for (int row = 0; row < viewH; ++row) {
            const uint8_t* src = &rgba[static_cast<size_t>(viewH - 1 - row) * viewW * 4];
            uint8_t* dst = &lastFrame[static_cast<size_t>(row) * viewW * 3];
            for (int col = 0; col < viewW; ++col) {
                dst[col * 3 + 0] = src[col * 4 + 0];
                dst[col * 3 + 1] = src[col * 4 + 1];
                dst[col * 3 + 2] = src[col * 4 + 2];
            }
        }
    }
    present(pendingDisplay, pendingSurface);
    ++presented;
}

void Platform::measureText(const char* text, int& width, int& height) {
    width = height = 0;
    if (!overlay->logicalFont || !text) return;
    TTF_SizeUTF8(overlay->logicalFont, text[0] ? text : " ", &width, &height);
    if (!text[0]) width = 0;
}

void Platform::drawText(int x, int y, const char* text, Rgb background, Rgb foreground) {
    if (!text || !text[0] || eglGetCurrentContext() == EGL_NO_CONTEXT) return;
    TTF_Font* font = overlay->fontFor(scale);
    if (!font) return;

    const uint32_t bg = (background.r << 16) | (background.g << 8) | background.b;
    const uint32_t fg = (foreground.r << 16) | (foreground.g << 8) | foreground.b;
    auto key = std::make_tuple(std::string(text), bg, fg);
    auto found = overlay->cache.find(key);
    if (found == overlay->cache.end()) {
        if (overlay->cache.size() >= 64) {
            auto oldest = std::min_element(overlay->cache.begin(), overlay->cache.end(),
                                           [](auto& a, auto& b) { return a.second.lastUse < b.second.lastUse; });
            glDeleteTextures(1, &oldest->second.texture);
            overlay->cache.erase(oldest);
        }
        SDL_Color fgc{foreground.r, foreground.g, foreground.b, 255};
        SDL_Color bgc{background.r, background.g, background.b, 255};
        SDL_Surface* rendered = TTF_RenderUTF8_Shaded(font, text, fgc, bgc);
        if (!rendered) return;
        SDL_Surface* rgba = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ABGR8888, 0);
        SDL_FreeSurface(rendered);
        if (!rgba) return;
        Overlay::Entry entry;
        measureText(text, entry.logicalW, entry.logicalH);
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
        found = overlay->cache.emplace(key, entry).first;
    }
    Overlay::Entry& entry = found->second;
    entry.lastUse = ++overlay->useCounter;
    const int logicalW = entry.logicalW, logicalH = entry.logicalH;

    // The box takes the measured logical size; the text inside is drawn at full resolution.
    const float left = viewX + x * scale;
    const float top = viewY + viewH - y * scale;
    const float boxW = logicalW * scale, boxH = logicalH * scale;
    const float drawW = std::min(static_cast<float>(entry.w), boxW);
    const float drawH = std::min(static_cast<float>(entry.h), boxH);

    // Save what the game's next frame relies on.
    GLint previousTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    GLfixed previousColour[4];
    glGetFixedv(GL_CURRENT_COLOR, previousColour);
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST), cull = glIsEnabled(GL_CULL_FACE),
                    tex = glIsEnabled(GL_TEXTURE_2D), scissor = glIsEnabled(GL_SCISSOR_TEST);
    const GLboolean colourArray = glIsEnabled(GL_COLOR_ARRAY), texArray = glIsEnabled(GL_TEXTURE_COORD_ARRAY),
                    vertexArray = glIsEnabled(GL_VERTEX_ARRAY);
    GLint matrixMode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);

    int dw = 0, dh = 0;
    drawableSize(dw, dh);
    if (dw <= 0 || dh <= 0) {
        dw = LOGICAL_WIDTH;
        dh = LOGICAL_HEIGHT;
    }
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, dw, dh);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrthox(0, dw << 16, 0, dh << 16, -(1 << 16), 1 << 16);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);

    auto fx = [](float v) { return static_cast<GLfixed>(std::lround(v * 65536.0f)); };
    // Background box.
    glDisable(GL_TEXTURE_2D);
    glColor4x(background.r * 257, background.g * 257, background.b * 257, 0x10000);
    const GLfixed box[12] = {fx(left), fx(top), fx(left), fx(top - boxH), fx(left + boxW), fx(top - boxH),
                             fx(left + boxW), fx(top - boxH), fx(left + boxW), fx(top), fx(left), fx(top)};
    glVertexPointer(2, GL_FIXED, 0, box);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    // Text.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, entry.texture);
    glColor4x(0x10000, 0x10000, 0x10000, 0x10000);
    const float l = std::round(left), t = std::round(top);
    const GLfixed quad[12] = {fx(l), fx(t), fx(l), fx(t - drawH), fx(l + drawW), fx(t - drawH),
                              fx(l + drawW), fx(t - drawH), fx(l + drawW), fx(t), fx(l), fx(t)};
    const float s = drawW / entry.texW, u = drawH / entry.texH;
    const GLfixed coords[12] = {0, 0, 0, fx(u), fx(s), fx(u), fx(s), fx(u), fx(s), 0, 0, 0};
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FIXED, 0, coords);
    glVertexPointer(2, GL_FIXED, 0, quad);
    glDrawArrays(GL_TRIANGLES, 0, 6);

    // Restore.
    if (!texArray) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (!vertexArray) glDisableClientState(GL_VERTEX_ARRAY);
    if (colourArray) glEnableClientState(GL_COLOR_ARRAY);
    glBindTexture(GL_TEXTURE_2D, previousTexture);
    if (!tex) glDisable(GL_TEXTURE_2D);
    if (depth) glEnable(GL_DEPTH_TEST);
    if (cull) glEnable(GL_CULL_FACE);
    glColor4x(previousColour[0], previousColour[1], previousColour[2], previousColour[3]);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(matrixMode);
    glViewport(viewX, viewY, viewW, viewH);
    if (scissor) glEnable(GL_SCISSOR_TEST);
}

bool Platform::decodeImage(const char* path, Image& out) {
    out = Image();
    if (!path || !path[0]) return false;
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (!file) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[16384];
    size_t got;
    while ((got = SDL_RWread(file, chunk, 1, sizeof chunk)) > 0 && bytes.size() <= MAX_IMAGE_FILE_BYTES)
        bytes.insert(bytes.end(), chunk, chunk + got);
    SDL_RWclose(file);
    return decodeImageBytes(bytes.data(), bytes.size(), out);
}

bool Platform::saveScreenshot(const std::string& path) {
    if (lastFrame.empty()) return false;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(lastFrame.data(), lastFrameW, lastFrameH, 24,
                                                              lastFrameW * 3, SDL_PIXELFORMAT_RGB24);
    if (!surface) return false;
    const bool ok = IMG_SavePNG(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return ok;
}

bool create(const Options& options, std::string& error) {
    if (options.headless) {
        auto headless = std::make_unique<HeadlessPlatform>(options);
        if (!headless->start(error)) return false;
        instance = std::move(headless);
    } else {
        auto desktop = std::make_unique<SdlPlatform>(options);
        if (!desktop->start(error)) return false;
        instance = std::move(desktop);
    }
    return true;
}

void destroy() { instance.reset(); }

Platform& get() { return *instance; }

bool exists() { return instance != nullptr; }

} // namespace platform
