// Draws the game's data files for a person to look at: a contact sheet of every picture
// (with mock-ups of the menu screens as the menu composes them) and renders of the
// models as the game shows them (unlit, textured or flat, back faces culled).
//   assetpreview DATA_DIRECTORY OUTPUT_DIRECTORY
// writes OUTPUT_DIRECTORY/contact-sheet.png and OUTPUT_DIRECTORY/models.png.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // 0xRRGGBB, top row first
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)]; }
    void set(int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<size_t>(y) * w + x] = c;
    }
};

Image makeImage(int w, int h, uint32_t fill) { return Image{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, fill)}; }

bool loadImage(const std::string& path, Image& out) {
    SDL_Surface* s = IMG_Load(path.c_str());
    if (!s) {
        std::fprintf(stderr, "assetpreview: cannot load %s: %s\n", path.c_str(), IMG_GetError());
        return false;
    }
    SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0);
    SDL_FreeSurface(s);
    if (!c) return false;
    out = makeImage(c->w, c->h, 0);
    for (int y = 0; y < c->h; ++y)
        for (int x = 0; x < c->w; ++x)
            out.px[static_cast<size_t>(y) * c->w + x] = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(c->pixels) + y * c->pitch)[x] & 0xFFFFFF;
    SDL_FreeSurface(c);
    return true;
}

// The game uploads textures as RGB 565; show pictures the way they will look.
uint32_t as565(uint32_t c) {
    uint32_t r = (c >> 16) & 0xF8, g = (c >> 8) & 0xFC, b = c & 0xF8;
    return (r | r >> 5) << 16 | (g | g >> 6) << 8 | (b | b >> 5);
}

void blit(Image& dst, const Image& src, int sx, int sy, int w, int h, int dx, int dy, int zoom = 1) {
    for (int y = 0; y < h * zoom; ++y)
        for (int x = 0; x < w * zoom; ++x) dst.set(dx + x, dy + y, src.at(sx + x / zoom, sy + y / zoom));
}

bool savePng(const std::string& path, const Image& img) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, img.w, img.h, 32, SDL_PIXELFORMAT_RGB888);
    if (!s) return false;
    for (int y = 0; y < img.h; ++y) std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, &img.px[static_cast<size_t>(y) * img.w], img.w * 4u);
    bool ok = IMG_SavePNG(s, path.c_str()) == 0;
    SDL_FreeSurface(s);
    return ok;
}

TTF_Font* labelFont = nullptr;
TTF_Font* gdiFont = nullptr;

void label(Image& img, TTF_Font* font, const std::string& text, int x, int y, uint32_t colour, uint32_t background = 0xFFFFFFFF) {
    SDL_Color c{static_cast<Uint8>(colour >> 16), static_cast<Uint8>(colour >> 8), static_cast<Uint8>(colour), 255};
    SDL_Surface* s = TTF_RenderUTF8_Blended(font, text.c_str(), c);
    if (!s) return;
    SDL_Surface* conv = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(s);
    for (int yy = 0; yy < conv->h; ++yy)
        for (int xx = 0; xx < conv->w; ++xx) {
            const uint8_t* p = static_cast<const uint8_t*>(conv->pixels) + yy * conv->pitch + 4 * xx;
            uint32_t under = background != 0xFFFFFFFF ? background : img.at(x + xx, y + yy);
            if (x + xx < 0 || y + yy < 0 || x + xx >= img.w || y + yy >= img.h) continue;
            float a = p[3] / 255.0f;
            auto ch = [&](int shift, int v) { return static_cast<uint32_t>(((under >> shift) & 0xFF) * (1 - a) + v * a); };
            img.set(x + xx, y + yy, ch(16, p[0]) << 16 | ch(8, p[1]) << 8 | ch(0, p[2]));
        }
    SDL_FreeSurface(conv);
}

// ---------------------------------------------------------------- menu mock-ups

// The 240 x 294 screen with y up, drawn like the menu: a full-screen picture shows its
// texture up to s = 0.46875, t = 0.57; menu pictures sit at (56.5, 56.9).
Image screenFrom(const Image& full) {
    Image s = makeImage(240, 294, 0);
    const double T = 0x91EB / 65536.0;
    for (int y = 0; y < 294; ++y)
        for (int x = 0; x < 240; ++x) {
            double t = (293 - y + 0.5) / 294.0 * T;  // screen row y (top first) to texture t
            int row = 511 - static_cast<int>(t * 512);
            s.set(x, y, as565(full.at(x, row)));
        }
    return s;
}

void drawAt(Image& screen, const Image& pic, double left, double bottom) {
    // Lower-left corner in screen pixels with y up.
    int x0 = static_cast<int>(std::lround(left)), y0 = 294 - static_cast<int>(std::lround(bottom)) - pic.h;
    for (int y = 0; y < pic.h; ++y)
        for (int x = 0; x < pic.w; ++x) screen.set(x0 + x, y0 + y, as565(pic.at(x, y)));
}

void gdiText(Image& screen, const std::string& s, int x, int top) { label(screen, gdiFont, s, x, top, 0xFFFFFF, 0x000000); }

// ---------------------------------------------------------------- models

struct Vec {
    double x = 0, y = 0, z = 0;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(Vec a, double k) { return {a.x * k, a.y * k, a.z * k}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec unit(Vec a) { return a * (1.0 / std::sqrt(dot(a, a))); }

struct Model {
    std::vector<Vec> v;
    std::vector<std::pair<double, double>> t;
    struct Face {
        int a, b, c, ta = 0, tb = 0, tc = 0;
    };
    std::vector<Face> f;
    std::string bitmap;
    double uTiling = 1, vTiling = 1;
};

// Reads the first geometry object the way the game does: the file's (X, Y, Z) become
// (X, Z, -Y), faces come from "%d:" and "A: %d B: %d C: %d".
bool loadAse(const std::string& path, Model& m) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    char line[512];
    int objects = 0;
    while (std::fgets(line, sizeof line, f)) {
        char key[64];
        if (std::sscanf(line, " %63s", key) != 1) continue;
        std::string k = key;
        const char* rest = std::strstr(line, key) + k.size();
        if (k == "*GEOMOBJECT") ++objects;
        if (k == "*BITMAP") {
            char name[256];
            if (std::sscanf(rest, " \"%255[^\"]\"", name) == 1) m.bitmap = name;
        }
        if (k == "*UVW_U_TILING") std::sscanf(rest, "%lf", &m.uTiling);
        if (k == "*UVW_V_TILING") std::sscanf(rest, "%lf", &m.vTiling);
        if (objects != 1) continue;
        int i, a, b, c;
        double x, y, z;
        if (k == "*MESH_VERTEX" && std::sscanf(rest, "%d %lf %lf %lf", &i, &x, &y, &z) == 4) {
            if (i >= static_cast<int>(m.v.size())) m.v.resize(static_cast<size_t>(i) + 1);
            m.v[static_cast<size_t>(i)] = {x, z, -y};
        } else if (k == "*MESH_FACE" && std::sscanf(rest, "%d:\tA:\t%d B:\t%d C:\t%d", &i, &a, &b, &c) == 4) {
            if (i >= static_cast<int>(m.f.size())) m.f.resize(static_cast<size_t>(i) + 1);
            m.f[static_cast<size_t>(i)].a = a;
            m.f[static_cast<size_t>(i)].b = b;
            m.f[static_cast<size_t>(i)].c = c;
        } else if (k == "*MESH_TVERT" && std::sscanf(rest, "%d %lf %lf", &i, &x, &y) == 3) {
            if (i >= static_cast<int>(m.t.size())) m.t.resize(static_cast<size_t>(i) + 1);
            m.t[static_cast<size_t>(i)] = {x, y};
        } else if (k == "*MESH_TFACE" && std::sscanf(rest, "%d %d %d %d", &i, &a, &b, &c) == 4) {
            if (i >= static_cast<int>(m.f.size())) m.f.resize(static_cast<size_t>(i) + 1);
            m.f[static_cast<size_t>(i)].ta = a;
            m.f[static_cast<size_t>(i)].tb = b;
            m.f[static_cast<size_t>(i)].tc = c;
        }
    }
    std::fclose(f);
    for (auto& tv : m.t) tv = {tv.first * m.uTiling, tv.second * m.vTiling};
    return !m.f.empty();
}

struct Camera {
    Vec eye, centre, up{0, 1, 0};
    double fovY = 60, aspect = 4.0 / 3.0, nearZ = 1, farZ = 1000;
    double squash = 1.0;  // the game's view vectors come out shorter than unit length
};

struct Target {
    Image colour;
    std::vector<double> depth;
    int x0, y0, w, h;  // viewport inside `colour`
};

Target makeTarget(int w, int h, uint32_t bg) {
    Target t{makeImage(w, h, bg), std::vector<double>(static_cast<size_t>(w) * h, 1e30), 0, 0, w, h};
    return t;
}

struct Pose {
    Vec position;
    double headingDegrees = 0;  // about +Y, as the bikes are drawn
};

// Draws a model: textured (nearest texel, repeat) or in a flat colour, back faces culled
// with counter-clockwise fronts as the game sets them.
void render(Target& target, const Camera& cam, const Model& m, const Pose& pose, const Image* tex, uint32_t flat) {
    Vec f = unit(cam.centre - cam.eye);
    Vec s = unit(cross(f, cam.up));
    Vec u = cross(s, f);
    f = f * cam.squash;
    u = u * cam.squash;
    const double cy = 1.0 / std::tan(cam.fovY * M_PI / 360.0), cx = cy / cam.aspect;
    const double hr = pose.headingDegrees * M_PI / 180.0, ch = std::cos(hr), sh = std::sin(hr);
    auto project = [&](Vec p, double& sx, double& sy, double& w) {
        Vec r{ch * p.x + sh * p.z, p.y, -sh * p.x + ch * p.z};
        Vec world = r + pose.position;
        Vec d = world - cam.eye;
        double ex = dot(d, s), ey = dot(d, u), ez = -dot(d, f);
        w = -ez;  // distance in front of the eye
        sx = target.x0 + (ex * cx / w * 0.5 + 0.5) * target.w;
        sy = target.y0 + (0.5 - ey * cy / w * 0.5) * target.h;
    };
    for (const auto& face : m.f) {
        int idx[3] = {face.a, face.b, face.c}, tdx[3] = {face.ta, face.tb, face.tc};
        double X[3], Y[3], W[3];
        bool bad = false;
        for (int k = 0; k < 3; ++k) {
            project(m.v[static_cast<size_t>(idx[k])], X[k], Y[k], W[k]);
            if (W[k] < cam.nearZ || W[k] > cam.farZ) bad = true;
        }
        if (bad) continue;
        // Screen y grows downwards here, so counter-clockwise on screen has negative area.
        double area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
        if (area >= 0) continue;
        int minX = std::max(target.x0, static_cast<int>(std::floor(std::min({X[0], X[1], X[2]}))));
        int maxX = std::min(target.x0 + target.w - 1, static_cast<int>(std::ceil(std::max({X[0], X[1], X[2]}))));
        int minY = std::max(target.y0, static_cast<int>(std::floor(std::min({Y[0], Y[1], Y[2]}))));
        int maxY = std::min(target.y0 + target.h - 1, static_cast<int>(std::ceil(std::max({Y[0], Y[1], Y[2]}))));
        for (int py = minY; py <= maxY; ++py)
            for (int px = minX; px <= maxX; ++px) {
                double qx = px + 0.5, qy = py + 0.5;
                double b0 = ((X[1] - qx) * (Y[2] - qy) - (X[2] - qx) * (Y[1] - qy)) / area;
                double b1 = ((X[2] - qx) * (Y[0] - qy) - (X[0] - qx) * (Y[2] - qy)) / area;
                double b2 = 1 - b0 - b1;
                if (b0 < 0 || b1 < 0 || b2 < 0) continue;
                double iw = b0 / W[0] + b1 / W[1] + b2 / W[2];
                double depth = 1.0 / iw;
                size_t di = static_cast<size_t>(py) * target.colour.w + px;
                if (depth >= target.depth[di]) continue;
                target.depth[di] = depth;
                uint32_t c = flat;
                if (tex && !m.t.empty()) {
                    double tu = 0, tv = 0;
                    for (int k = 0; k < 3; ++k) {
                        double bk = (k == 0 ? b0 : k == 1 ? b1 : b2) / W[k];
                        tu += bk * m.t[static_cast<size_t>(tdx[k])].first;
                        tv += bk * m.t[static_cast<size_t>(tdx[k])].second;
                    }
                    tu /= iw;
                    tv /= iw;
                    double fu = tu - std::floor(tu), fv = tv - std::floor(tv);
                    int ix = std::min(tex->w - 1, static_cast<int>(fu * tex->w));
                    int iy = std::min(tex->h - 1, static_cast<int>((1.0 - fv) * tex->h));
                    c = as565(tex->at(ix, iy));
                }
                target.colour.set(px, py, c);
            }
    }
}

// ---------------------------------------------------------------- sounds

// Decodes with SDL_mixer, as the game does, into mono 16-bit samples at 44.1 kHz.
bool loadSound(const std::string& path, std::vector<float>& out) {
    Mix_Chunk* chunk = Mix_LoadWAV(path.c_str());
    if (!chunk) {
        std::fprintf(stderr, "assetpreview: cannot load %s: %s\n", path.c_str(), Mix_GetError());
        return false;
    }
    const int16_t* p = reinterpret_cast<const int16_t*>(chunk->abuf);
    out.assign(p, p + chunk->alen / 2);
    for (float& v : out) v /= 32768.0f;
    Mix_FreeChunk(chunk);
    return true;
}

// Waveform above, spectrogram (0 to 5.5 kHz, log magnitude) below.
void drawSound(Image& img, const std::vector<float>& s, int x0, int y0, int w, int h) {
    const int wave = h / 3;
    for (int x = 0; x < w; ++x) {
        size_t a = s.size() * x / w, b = s.size() * (x + 1) / w;
        float lo = 0, hi = 0;
        for (size_t i = a; i < b; ++i) {
            lo = std::min(lo, s[i]);
            hi = std::max(hi, s[i]);
        }
        int ya = y0 + wave / 2 - static_cast<int>(hi * wave / 2), yb = y0 + wave / 2 - static_cast<int>(lo * wave / 2);
        for (int y = ya; y <= yb; ++y) img.set(x0 + x, y, 0x50C8FF);
        img.set(x0 + x, y0 + wave / 2, 0x305070);
    }
    const int n = 1024, bins = h - wave - 4, top = y0 + wave + 4;
    for (int x = 0; x < w; ++x) {
        size_t start = (s.size() - n) * x / w;
        for (int k = 0; k < bins; ++k) {
            double f = 5500.0 * (bins - 1 - k) / bins, re = 0, im = 0;
            for (int i = 0; i < n; ++i) {
                double win = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
                double ph = 2 * M_PI * f * i / 44100.0;
                re += s[start + i] * win * std::cos(ph);
                im += s[start + i] * win * std::sin(ph);
            }
            double db = 20 * std::log10(std::sqrt(re * re + im * im) / n + 1e-9);
            double t = std::clamp((db + 90) / 70, 0.0, 1.0);
            uint32_t r = static_cast<uint32_t>(255 * std::clamp(t * 2 - 1, 0.0, 1.0)), g = static_cast<uint32_t>(255 * t * t),
                     b = static_cast<uint32_t>(255 * std::clamp(t * 3, 0.0, 1.0) * (1 - t * 0.5));
            img.set(x0 + x, top + k, r << 16 | g << 8 | b);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: assetpreview DATA_DIRECTORY OUTPUT_DIRECTORY [CLOSE_UP_PNG]\n");
        return 2;
    }
    std::string data = std::string(argv[1]) + "/", out = std::string(argv[2]) + "/";
    if (TTF_Init() != 0) return 1;
    labelFont = TTF_OpenFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 12);
    gdiFont = TTF_OpenFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 11);
    if (!labelFont || !gdiFont) return 1;

    const char* names[] = {"start.gif", "backmenu.gif", "credits.gif", "mainmenu.gif", "options.gif", "pointer.gif", "icon.gif",
                           "zem0.gif",  "moto1.gif",    "moto2.gif",   "moto3.gif",    "moto4.gif"};
    std::vector<Image> pics;
    for (const char* n : names) {
        Image img;
        if (!loadImage(data + n, img)) return 1;
        pics.push_back(img);
    }

    // ---- contact sheet: the four menu screens as composed, then every picture.
    Image sheet = makeImage(1040, 1500, 0x202228);
    int soundsY = 0;
    {
        Image title = screenFrom(pics[0]);
        Image mainScreen = screenFrom(pics[1]);
        drawAt(mainScreen, pics[3], 56.5, 56.9);
        drawAt(mainScreen, pics[5], 56.5 - 32, 56.9 + 96 - 32);  // pointer on item 1
        Image optionsScreen = screenFrom(pics[1]);
        drawAt(optionsScreen, pics[4], 56.5, 56.9);
        drawAt(optionsScreen, pics[5], 56.5 - 32, 56.9 + 96 - 24 * 2);  // pointer on item 2
        gdiText(optionsScreen, "three", 162, 117);
        gdiText(optionsScreen, "medium", 162, 141);
        gdiText(optionsScreen, "high", 162, 165);
        gdiText(optionsScreen, "on", 162, 188);
        Image creditsScreen = screenFrom(pics[2]);
        const Image* screens[] = {&title, &mainScreen, &optionsScreen, &creditsScreen};
        const char* captions[] = {"title (start.gif)", "main menu", "options", "credits (credits.gif)"};
        for (int i = 0; i < 4; ++i) {
            int x = 20 + i * 255;
            label(sheet, labelFont, captions[i], x, 8, 0xD0D8E0);
            blit(sheet, *screens[i], 0, 0, 240, 294, x, 28);
        }
        if (argc == 4) {
            // The screens at three times their size, for a close look at the lettering.
            Image big = makeImage(4 * 730, 3 * 294, 0x202228);
            for (int i = 0; i < 4; ++i) blit(big, *screens[i], 0, 0, 240, 294, i * 730, 0, 3);
            savePng(argv[3], big);
        }
        // Every picture file as it is (512 x 512 ones halved).
        int x = 20, y = 350;
        int rowH = 0;
        for (size_t i = 0; i < pics.size(); ++i) {
            const Image& p = pics[i];
            int zoom = p.w <= 64 ? 2 : 1;
            int w = p.w >= 512 ? 256 : p.w * zoom, h = p.h >= 512 ? 256 : p.h * zoom;
            if (x + w > 1030) {
                x = 20;
                y += rowH + 30;
                rowH = 0;
            }
            char cap[64];
            std::snprintf(cap, sizeof cap, "%s %dx%d", names[i], p.w, p.h);
            label(sheet, labelFont, cap, x, y, 0xD0D8E0);
            if (p.w >= 512) {
                for (int yy = 0; yy < 256; ++yy)
                    for (int xx = 0; xx < 256; ++xx) sheet.set(x + xx, y + 20 + yy, p.at(xx * 2, yy * 2));
            } else {
                blit(sheet, p, 0, 0, p.w, p.h, x, y + 20, zoom);
            }
            x += std::max(w, 150) + 20;
            rowH = std::max(rowH, h + 20);
        }
        // The ground tile repeated 3 x 3.
        label(sheet, labelFont, "zem0.gif tiled", x, y, 0xD0D8E0);
        for (int yy = 0; yy < 192; ++yy)
            for (int xx = 0; xx < 192; ++xx) sheet.set(x + xx, y + 20 + yy, pics[7].at((xx * 2) % 128, (yy * 2) % 128));
        soundsY = y + 20 + 192 + 24;
    }
    // The three sounds: waveform and spectrogram, decoded as the game decodes them.
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(44100, AUDIO_S16SYS, 1, 1024) != 0) return 1;
    const char* sounds[] = {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg"};
    for (int i = 0; i < 3; ++i) {
        std::vector<float> samples;
        if (!loadSound(data + sounds[i], samples)) return 1;
        int x = 20, y = soundsY + i * 88;
        char cap[96];
        std::snprintf(cap, sizeof cap, "%s  %.2f s  (0 - 5.5 kHz)", sounds[i], samples.size() / 44100.0);
        label(sheet, labelFont, cap, x, y, 0xD0D8E0);
        drawSound(sheet, samples, x, y + 18, 1000, 66);
    }
    Mix_CloseAudio();
    sheet.h = soundsY + 3 * 88 + 4;
    sheet.px.resize(static_cast<size_t>(sheet.w) * sheet.h);
    if (!savePng(out + "contact-sheet.png", sheet)) return 1;

    // ---- models
    Model arena, bikes[4];
    if (!loadAse(data + "arena.ase", arena)) return 1;
    for (int i = 0; i < 4; ++i)
        if (!loadAse(data + "moto" + std::to_string(i + 1) + ".ase", bikes[i])) return 1;
    const uint32_t bikeFlat[4] = {0xFFDF00, 0xFF7200, 0xE2008A, 0x0089D2};

    Image sheetM = makeImage(1000, 1010, 0x202228);
    const int cellW = 240, cellH = 170;
    for (int i = 0; i < 4; ++i) {
        const Image& tex = pics[8 + i];
        struct ViewSpec {
            Vec eye;
            bool textured;
            const char* caption;
        } views[4] = {{{-14, 8, -14}, true, "front left"},
                      {{22, 4, 0}, true, "right side"},
                      {{12, 9, 14}, true, "rear right"},
                      {{-14, 8, -14}, false, "low detail (flat colour)"}};
        for (int v = 0; v < 4; ++v) {
            Target t = makeTarget(cellW, cellH, 0x0A1020);
            Camera cam;
            cam.eye = views[v].eye;
            cam.centre = {0, 2.8, 0};
            cam.fovY = 28;
            cam.aspect = double(cellW) / cellH;
            render(t, cam, bikes[i], Pose{}, views[v].textured ? &tex : nullptr, bikeFlat[i]);
            int x = 10 + v * (cellW + 8), y = 10 + i * (cellH + 24);
            char cap[64];
            std::snprintf(cap, sizeof cap, "moto%d.ase  %s  (%zu faces)", i + 1, views[v].caption, bikes[i].f.size());
            label(sheetM, labelFont, cap, x, y, 0xD0D8E0);
            blit(sheetM, t.colour, 0, 0, cellW, cellH, x, y + 18);
        }
    }
    // The race as the game starts it: arena and four bikes seen from the start placement,
    // with the game's projection (60 degrees, 4/3, near 40, far 500) on its 240 x 294 screen.
    {
        Image groundTex = pics[7];
        int y = 10 + 4 * (cellH + 24);
        const Vec starts[4] = {{0, 0, 90}, {0, 0, -90}, {-90, 0, 0}, {90, 0, 0}};
        Camera cam;
        cam.eye = {-5, 60, 210};
        cam.centre = {0, 0, 90};
        cam.fovY = 60;
        cam.aspect = 4.0 / 3.0;
        cam.nearZ = 40;
        cam.farZ = 500;
        cam.squash = 0.74;
        for (int pass = 0; pass < 2; ++pass) {
            Target t = makeTarget(240, 294, 0x000000);
            render(t, cam, arena, Pose{}, &groundTex, 0x444449);
            for (int i = 0; i < 4; ++i) render(t, cam, bikes[i], Pose{starts[i], 0}, pass == 0 ? &pics[8 + i] : nullptr, bikeFlat[i]);
            int x = 10 + pass * 250;
            label(sheetM, labelFont, pass == 0 ? "race start, high detail" : "race start, bikes at low detail", x, y, 0xD0D8E0);
            blit(sheetM, t.colour, 0, 0, 240, 294, x, y + 18);
        }
        // A close look at the floor near the player's bike.
        Target t = makeTarget(470, 294, 0x000000);
        Camera near;
        near.eye = {-20, 14, 120};
        near.centre = {0, 2, 90};
        near.fovY = 45;
        near.aspect = 470.0 / 294;
        render(t, near, arena, Pose{}, &groundTex, 0x444449);
        for (int i = 0; i < 4; ++i) render(t, near, bikes[i], Pose{starts[i], i == 0 ? 0.0 : 90.0 * i}, &pics[8 + i], bikeFlat[i]);
        label(sheetM, labelFont, "close to the player's bike", 510, y, 0xD0D8E0);
        blit(sheetM, t.colour, 0, 0, 470, 294, 510, y + 18);
    }
    if (!savePng(out + "models.png", sheetM)) return 1;
    if (argc == 4) {
        // The player's bike large, for a close look at the texture mapping.
        Target t = makeTarget(900, 560, 0x0A1020);
        Camera cam;
        cam.eye = {-13, 7, -10};
        cam.centre = {0, 2.8, 0};
        cam.fovY = 30;
        cam.aspect = 900.0 / 560;
        render(t, cam, bikes[0], Pose{}, &pics[8], 0);
        savePng(std::string(argv[3]) + ".bike.png", t.colour);
    }
    TTF_CloseFont(labelFont);
    TTF_CloseFont(gdiFont);
    TTF_Quit();
    return 0;
}
