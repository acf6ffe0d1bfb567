// The game's data files, checked with decoders that have nothing to do with the program
// that wrote them: SDL_image for pictures, libvorbisfile and SDL_mixer for sounds, assimp
// and the game's own line formats for the models. Also: the generator writes the same
// bytes every time, and what is committed in data/ is what it writes.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <assimp/cimport.h>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string dataDir = std::string(PALVEX_SOURCE_DIR) + "/data/";

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator<(const Rgb& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

// A decoded picture, top row first.
struct Picture {
    int w = 0, h = 0;
    std::vector<Rgb> px;
    Rgb at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

bool decode(const std::string& name, Picture& out) {
    SDL_Surface* s = IMG_Load((dataDir + name).c_str());
    if (!s) return false;
    SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(s);
    if (!c) return false;
    out.w = c->w;
    out.h = c->h;
    out.px.clear();
    for (int y = 0; y < c->h; ++y)
        for (int x = 0; x < c->w; ++x) {
            const uint8_t* p = static_cast<const uint8_t*>(c->pixels) + y * c->pitch + 3 * x;
            out.px.push_back({p[0], p[1], p[2]});
        }
    SDL_FreeSurface(c);
    return true;
}

int brightness(Rgb c) { return c.r + c.g + c.b; }

const Rgb panel{6, 13, 28};

bool isPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

// ---------------------------------------------------------------- pictures

TEST(Pictures, EveryPictureDecodesWithItsSize) {
    const std::map<std::string, std::pair<int, int>> sizes = {
        {"zem0.gif", {128, 128}},    {"moto1.gif", {128, 128}},    {"moto2.gif", {128, 128}}, {"moto3.gif", {128, 128}},
        {"moto4.gif", {128, 128}},   {"backmenu.gif", {512, 512}}, {"start.gif", {512, 512}}, {"credits.gif", {512, 512}},
        {"mainmenu.gif", {128, 128}}, {"options.gif", {128, 128}}, {"pointer.gif", {32, 32}}, {"icon.gif", {64, 64}}};
    for (const auto& [name, size] : sizes) {
        Picture p;
        ASSERT_TRUE(decode(name, p)) << name << ": " << IMG_GetError();
        EXPECT_EQ(p.w, size.first) << name;
        EXPECT_EQ(p.h, size.second) << name;
        // GL ES takes only power-of-two textures.
        EXPECT_TRUE(isPowerOfTwo(p.w) && isPowerOfTwo(p.h)) << name;
        std::set<Rgb> colours(p.px.begin(), p.px.end());
        EXPECT_GT(colours.size(), 8u) << name << " looks like a flat fill";
    }
}

TEST(Pictures, BikeTexturesCarryTheBikeColours) {
    const Rgb colours[4] = {{255, 223, 0}, {255, 114, 0}, {226, 0, 138}, {0, 137, 210}};
    for (int i = 0; i < 4; ++i) {
        Picture p;
        std::string name = "moto" + std::to_string(i + 1) + ".gif";
        ASSERT_TRUE(decode(name, p));
        // The bike colour itself covers a good part, and the paint (the top-left 96 x 64 of
        // the atlas) is all shades of it: every strongly coloured texel there has its hue.
        std::map<Rgb, int> count;
        for (const Rgb& c : p.px) ++count[c];
        const Rgb& b = colours[i];
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x) {
                Rgb c = p.at(x, y);
                if (std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) < 60) continue;
                ASSERT_TRUE((c.r >= c.g) == (b.r >= b.g) && (c.g >= c.b) == (b.g >= b.b)) << name << " has " << c;
            }
        EXPECT_GT(count[colours[i]], p.w * p.h / 20) << name;
    }
}

TEST(Pictures, GroundTileIsDarkWithBrightCellLines) {
    Picture p;
    ASSERT_TRUE(decode("zem0.gif", p));
    long dark = 0;
    for (const Rgb& c : p.px)
        if (brightness(c) < 120) ++dark;
    EXPECT_GT(dark, static_cast<long>(p.px.size()) * 6 / 10);
    // The cell line runs along every edge, so neighbouring tiles join into a grid.
    for (int i = 8; i < p.w - 8; i += 8) {
        EXPECT_GT(p.at(i, 0).b, 200) << "top edge at " << i;
        EXPECT_GT(p.at(i, p.h - 1).b, 200) << "bottom edge at " << i;
        EXPECT_GT(p.at(0, i).b, 200) << "left edge at " << i;
        EXPECT_GT(p.at(p.w - 1, i).b, 200) << "right edge at " << i;
    }
    EXPECT_LT(brightness(p.at(p.w / 2 + 5, p.h / 2 + 5)), 120);
}

TEST(Pictures, PointerAndMenuPicturesSitOnThePanelOfTheBackground) {
    Picture back, pointer, mainMenu, options;
    ASSERT_TRUE(decode("backmenu.gif", back));
    ASSERT_TRUE(decode("pointer.gif", pointer));
    ASSERT_TRUE(decode("mainmenu.gif", mainMenu));
    ASSERT_TRUE(decode("options.gif", options));
    // Drawn opaque, so their borders must be the panel's exact colour.
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(pointer.at(i, 0), panel);
        EXPECT_EQ(pointer.at(i, 31), panel);
        EXPECT_EQ(pointer.at(0, i), panel);
        EXPECT_EQ(pointer.at(31, i), panel);
    }
    for (const Picture* p : {&mainMenu, &options})
        for (int i = 0; i < 128; ++i) {
            EXPECT_EQ(p->at(i, 0), panel);
            EXPECT_EQ(p->at(i, 127), panel);
            EXPECT_EQ(p->at(0, i), panel);
            EXPECT_EQ(p->at(127, i), panel);
        }
    // The background shows its bottom-left 240 x 292 block; on a 294-row screen with y up,
    // the pointer covers x 24.5..56.5 and heights 56.9..184.9, the pictures x 56.5..184.5.
    const double rowsPerScreenRow = 0x91EB / 65536.0 * 512 / 294;
    auto backAtScreen = [&](double x, double yUp) { return back.at(static_cast<int>(x), 511 - static_cast<int>(yUp * rowsPerScreenRow)); };
    for (double y = 54; y <= 188; y += 2)
        for (double x = 22; x <= 188; x += 2) EXPECT_EQ(backAtScreen(x, y), panel) << "screen " << x << ", " << y;
}

namespace {

// Rows (top first) of a 128-high picture that hold lettering.
std::vector<int> litRows(const Picture& p, int x0, int x1) {
    std::vector<int> rows;
    for (int y = 0; y < p.h; ++y)
        for (int x = x0; x < x1; ++x)
            if (brightness(p.at(x, y)) > 450) {
                rows.push_back(y);
                break;
            }
    return rows;
}

}  // namespace

TEST(Pictures, MainMenuLabelsStandInThePointerBands) {
    Picture p;
    ASSERT_TRUE(decode("mainmenu.gif", p));
    // The pointer is 32 high with its bottom 96, 64, 32, 0 above the picture's bottom.
    std::vector<int> rows = litRows(p, 0, 128);
    for (int band = 0; band < 4; ++band) {
        int top = band * 32, bottom = top + 31;
        int lit = 0;
        for (int y : rows)
            if (y >= top && y <= bottom) ++lit;
        EXPECT_GE(lit, 8) << "band " << band;
        // Lettering keeps clear of the band edges, so neighbouring labels never touch.
        for (int y : rows) EXPECT_FALSE(y == top || y == bottom) << "row " << y;
    }
}

TEST(Pictures, OptionLabelsLeaveRoomForTheValues) {
    Picture p;
    ASSERT_TRUE(decode("options.gif", p));
    // Values are written from about x 105 on: nothing but panel there.
    for (int y = 0; y < 128; ++y)
        for (int x = 101; x < 128; ++x) ASSERT_EQ(p.at(x, y), panel) << x << ", " << y;
    // Five labels centred 24 rows apart, the first on row 16.
    std::vector<int> rows = litRows(p, 0, 101);
    for (int k = 0; k < 5; ++k) {
        int centre = 16 + 24 * k;
        int lit = 0;
        for (int y : rows)
            if (std::abs(y - centre) <= 6) ++lit;
        EXPECT_GE(lit, 6) << "label " << k;
    }
    for (int y : rows) {
        int nearest = 16 + 24 * static_cast<int>(std::lround((y - 16) / 24.0));
        EXPECT_LE(std::abs(y - nearest), 9) << "lettering between two labels at row " << y;
    }
}

TEST(Pictures, FullScreenPicturesFillTheirVisibleCorner) {
    for (const char* name : {"backmenu.gif", "start.gif", "credits.gif"}) {
        Picture p;
        ASSERT_TRUE(decode(name, p));
        // Lettering and glow somewhere in the shown 240 x 292 block, in both halves.
        int brightTop = 0, brightBottom = 0;
        for (int y = 220; y < 512; ++y)
            for (int x = 0; x < 240; ++x)
                if (brightness(p.at(x, y)) > 600) (y < 366 ? brightTop : brightBottom)++;
        EXPECT_GT(brightTop, 50) << name;
        EXPECT_GT(brightBottom, 50) << name;
    }
}

// ---------------------------------------------------------------- sounds

namespace {

struct Sound {
    long rate = 0;
    int channels = 0;
    std::vector<float> samples;  // first channel
};

bool decodeOgg(const std::string& name, Sound& out) {
    OggVorbis_File vf;
    if (ov_fopen((dataDir + name).c_str(), &vf) != 0) return false;
    vorbis_info* vi = ov_info(&vf, -1);
    out.rate = vi->rate;
    out.channels = vi->channels;
    out.samples.clear();
    for (;;) {
        float** pcm = nullptr;
        int section = 0;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n < 0) {
            ov_clear(&vf);
            return false;
        }
        if (n == 0) break;
        out.samples.insert(out.samples.end(), pcm[0], pcm[0] + n);
    }
    ov_clear(&vf);
    return true;
}

double rms(const std::vector<float>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

double meanStep(const std::vector<float>& s) {
    double sum = 0;
    for (size_t i = 1; i < s.size(); ++i) sum += std::fabs(s[i] - s[i - 1]);
    return sum / double(s.size() - 1);
}

}  // namespace

TEST(Sounds, LoopsHaveTheirLengthAndJoinWithoutAClick) {
    const std::pair<const char*, size_t> loops[] = {{"game_recognizer.ogg", 3 * 44100}, {"game_engine.ogg", 44100}};
    for (const auto& [name, length] : loops) {
        Sound s;
        ASSERT_TRUE(decodeOgg(name, s)) << name;
        EXPECT_EQ(s.rate, 44100) << name;
        EXPECT_EQ(s.channels, 1) << name;
        ASSERT_EQ(s.samples.size(), length) << name;
        EXPECT_GT(rms(s.samples, 0, s.samples.size()), 0.05) << name << " is too quiet";
        // The last sample runs on into the first like any other pair of neighbours.
        double jump = std::fabs(s.samples.back() - s.samples.front());
        EXPECT_LT(jump, 4 * meanStep(s.samples) + 0.01) << name;
        // No fade at either end: both halves (each a whole number of pulses) are as loud.
        const size_t half = s.samples.size() / 2;
        double first = rms(s.samples, 0, half), second = rms(s.samples, half, 2 * half);
        EXPECT_NEAR(first / second, 1.0, 0.2) << name;
    }
}

TEST(Sounds, CrashIsABurstThatDiesAway) {
    Sound s;
    ASSERT_TRUE(decodeOgg("game_crash.ogg", s));
    EXPECT_EQ(s.rate, 44100);
    double seconds = double(s.samples.size()) / s.rate;
    EXPECT_GT(seconds, 0.8);
    EXPECT_LT(seconds, 1.5);
    const size_t ms = 441 / 10;
    double start = rms(s.samples, 0, 100 * ms);
    double end = rms(s.samples, s.samples.size() - 50 * ms, s.samples.size());
    EXPECT_GT(start, 0.1);
    EXPECT_LT(end, start / 20);
    float peak = 0;
    for (float v : s.samples) peak = std::max(peak, std::fabs(v));
    EXPECT_LE(peak, 1.0f);
}

TEST(Sounds, SdlMixerLoadsEverySound) {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024), 0) << Mix_GetError();
    const std::pair<const char*, double> sounds[] = {{"game_recognizer.ogg", 3.0}, {"game_engine.ogg", 1.0}, {"game_crash.ogg", 1.1}};
    for (const auto& [name, seconds] : sounds) {
        Mix_Chunk* chunk = Mix_LoadWAV((dataDir + name).c_str());
        ASSERT_NE(chunk, nullptr) << name << ": " << Mix_GetError();
        int freq = 0, channels = 0;
        Uint16 format = 0;
        Mix_QuerySpec(&freq, &format, &channels);
        double got = double(chunk->alen) / (SDL_AUDIO_BITSIZE(format) / 8) / channels / freq;
        EXPECT_NEAR(got, seconds, 0.02) << name;
        const int16_t* pcm = reinterpret_cast<const int16_t*>(chunk->abuf);
        int loud = 0;
        for (Uint32 i = 0; i < chunk->alen / 2; ++i)
            if (std::abs(pcm[i]) > 3000) ++loud;
        EXPECT_GT(loud, 1000) << name;
        Mix_FreeChunk(chunk);
    }
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// ---------------------------------------------------------------- models

namespace {

struct Vec {
    double x, y, z;
};

// The first geometry object of a file, read line by line with the game's own formats.
struct AseObject {
    int numVertex = -1, numFaces = -1, numTVertex = 0;
    std::vector<Vec> fileVertices;  // as written: X, Y, Z
    std::vector<std::array<int, 3>> faces;
    std::vector<std::array<int, 3>> tfaces;
    std::vector<std::pair<double, double>> tverts;
    std::string bitmap;
    double uTiling = 0, vTiling = 0;
    int objects = 0;
    int facesReadByGameFormat = 0;
    bool materialRefAfterMesh = false;
    size_t longestRest = 0;
};

bool readAse(const std::string& name, AseObject& o) {
    std::ifstream in(dataDir + name);
    if (!in) return false;
    std::string line;
    bool sawMesh = false;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string key;
        if (!(ls >> key)) continue;
        size_t at = line.find(key) + key.size();
        std::string rest = line.substr(at);
        o.longestRest = std::max(o.longestRest, rest.size());
        const char* r = rest.c_str();
        if (key == "*GEOMOBJECT") ++o.objects;
        if (key == "*BITMAP") o.bitmap = rest.substr(rest.find('"') + 1, rest.rfind('"') - rest.find('"') - 1);
        if (key == "*UVW_U_TILING") o.uTiling = std::atof(r);
        if (key == "*UVW_V_TILING") o.vTiling = std::atof(r);
        if (o.objects != 1) continue;
        int i, a, b, c;
        double x, y, z;
        if (key == "*MESH_NUMVERTEX") o.numVertex = std::atoi(r);
        if (key == "*MESH_NUMFACES") o.numFaces = std::atoi(r);
        if (key == "*MESH_NUMTVERTEX") o.numTVertex = std::atoi(r);
        if (key == "*MESH_VERTEX" && std::sscanf(r, "%d %lf %lf %lf", &i, &x, &y, &z) == 4) {
            o.fileVertices.push_back({x, y, z});
            sawMesh = true;
        }
        if (key == "*MESH_FACE") {
            // The game reads "%d:" and then "\tA:\t%d B:\t%d C:\t%d".
            int n = 0;
            if (std::sscanf(r, "%d:%n", &i, &n) == 1 && std::sscanf(r + n, "\tA:\t%d B:\t%d C:\t%d", &a, &b, &c) == 3) {
                ++o.facesReadByGameFormat;
                o.faces.push_back({a, b, c});
            }
        }
        if (key == "*MESH_TVERT" && std::sscanf(r, "%d %lf %lf", &i, &x, &y) == 3) o.tverts.push_back({x, y});
        if (key == "*MESH_TFACE" && std::sscanf(r, "%d %d %d %d", &i, &a, &b, &c) == 4) o.tfaces.push_back({a, b, c});
        if (key == "*MATERIAL_REF") o.materialRefAfterMesh = sawMesh;
    }
    return true;
}

// File (X, Y, Z) to the game's (X, Z, -Y).
Vec toGame(const Vec& v) { return {v.x, v.z, -v.y}; }

double signedVolume(const AseObject& o) {
    double v = 0;
    for (const auto& f : o.faces) {
        Vec a = toGame(o.fileVertices[f[0]]), b = toGame(o.fileVertices[f[1]]), c = toGame(o.fileVertices[f[2]]);
        v += (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x)) / 6.0;
    }
    return v;
}

void expectWellFormed(const std::string& name, const AseObject& o) {
    EXPECT_EQ(static_cast<int>(o.fileVertices.size()), o.numVertex) << name;
    EXPECT_EQ(static_cast<int>(o.faces.size()), o.numFaces) << name;
    EXPECT_EQ(o.facesReadByGameFormat, o.numFaces) << name << ": faces the game's reader would miss";
    EXPECT_EQ(static_cast<int>(o.tverts.size()), o.numTVertex) << name;
    EXPECT_EQ(o.tfaces.size(), o.faces.size()) << name;
    EXPECT_TRUE(o.materialRefAfterMesh) << name;
    // The game skips the rest of a line in one read of at most 99 characters.
    EXPECT_LT(o.longestRest, 99u) << name;
    for (const auto& f : o.faces)
        for (int k : f) ASSERT_TRUE(k >= 0 && k < o.numVertex) << name;
    for (const auto& f : o.tfaces)
        for (int k : f) ASSERT_TRUE(k >= 0 && k < o.numTVertex) << name;
}

}  // namespace

TEST(Models, ArenaFloorIsAFlatTexturedGrid) {
    AseObject o;
    ASSERT_TRUE(readAse("arena.ase", o));
    expectWellFormed("arena.ase", o);
    EXPECT_EQ(o.numVertex, 17 * 17);
    EXPECT_EQ(o.numFaces, 512);
    EXPECT_EQ(o.bitmap, "zem");
    EXPECT_GT(o.uTiling, 1.0);
    EXPECT_GT(o.vTiling, 1.0);
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const Vec& v : o.fileVertices) {
        EXPECT_EQ(v.z, 0.0);
        minX = std::min(minX, v.x);
        maxX = std::max(maxX, v.x);
        minY = std::min(minY, v.y);
        maxY = std::max(maxY, v.y);
    }
    EXPECT_EQ(minX, -maxX);
    EXPECT_EQ(minY, -maxY);
    EXPECT_NEAR(maxX - minX, 600, 50);
    EXPECT_NEAR(maxY - minY, 600, 50);
    // Every triangle faces the sky (game +Y) when wound counter-clockwise.
    for (const auto& f : o.faces) {
        Vec a = toGame(o.fileVertices[f[0]]), b = toGame(o.fileVertices[f[1]]), c = toGame(o.fileVertices[f[2]]);
        double ny = (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z);
        EXPECT_GT(ny, 0);
    }
}

TEST(Models, BikesAreClosedOutwardFacingAndRightSized) {
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "moto" + std::to_string(i) + ".ase";
        AseObject o;
        ASSERT_TRUE(readAse(name, o));
        expectWellFormed(name, o);
        EXPECT_EQ(o.bitmap, "moto" + std::to_string(i) + ".gif");
        EXPECT_GT(o.numFaces, 100) << name;
        EXPECT_GT(o.numTVertex, 0) << name;
        for (const auto& t : o.tverts) {
            EXPECT_TRUE(t.first >= 0 && t.first <= 1 && t.second >= 0 && t.second <= 1) << name;
        }
        // Every edge is met once in each direction: the surface is closed and consistently
        // wound, so the sign of the volume says which way all faces point.
        std::map<std::pair<int, int>, int> edges;
        for (const auto& f : o.faces)
            for (int k = 0; k < 3; ++k) ++edges[{f[k], f[(k + 1) % 3]}];
        for (const auto& [e, n] : edges) {
            EXPECT_EQ(n, 1) << name << " edge " << e.first << "-" << e.second;
            EXPECT_EQ(edges.count({e.second, e.first}), 1u) << name << " open edge " << e.first << "-" << e.second;
        }
        EXPECT_GT(signedVolume(o), 0) << name << " faces inward";

        Vec lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
        double frontSum = 0;
        int high = 0;
        for (const Vec& v : o.fileVertices) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            if (v.z > 5.2) {
                frontSum += v.y;
                ++high;
            }
        }
        EXPECT_EQ(lo.z, 0.0) << name << " must stand on the floor";
        EXPECT_GE(hi.y - lo.y, 10.0) << name;
        EXPECT_LE(hi.y - lo.y, 14.0) << name;
        EXPECT_GE(hi.z, 4.0) << name;
        EXPECT_LE(hi.z, 6.0) << name;
        EXPECT_LT(hi.x - lo.x, 4.0) << name;
        EXPECT_NEAR(lo.x, -hi.x, 0.5) << name << " is lopsided";
        // Handlebar and screen, the highest parts, are ahead of the middle: the bike faces +Y.
        ASSERT_GT(high, 0) << name;
        EXPECT_GT(frontSum / high, 1.0) << name;
    }
}

TEST(Models, AssimpReadsEveryModel) {
    for (const char* name : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"}) {
        AseObject mine;
        ASSERT_TRUE(readAse(name, mine));
        const aiScene* scene = aiImportFile((dataDir + name).c_str(), 0);
        ASSERT_NE(scene, nullptr) << name << ": " << aiGetErrorString();
        ASSERT_EQ(scene->mNumMeshes, 1u) << name;
        const aiMesh* mesh = scene->mMeshes[0];
        EXPECT_EQ(static_cast<int>(mesh->mNumFaces), mine.numFaces) << name;
        // Assimp gives every face corner its own vertex.
        EXPECT_EQ(static_cast<int>(mesh->mNumVertices), 3 * mine.numFaces) << name;
        EXPECT_TRUE(mesh->HasTextureCoords(0)) << name;
        ASSERT_LT(mesh->mMaterialIndex, scene->mNumMaterials);
        aiString path;
        ASSERT_EQ(aiGetMaterialTexture(scene->mMaterials[mesh->mMaterialIndex], aiTextureType_DIFFUSE, 0, &path), aiReturn_SUCCESS) << name;
        EXPECT_EQ(std::string(path.C_Str()), mine.bitmap) << name;
        aiReleaseImport(scene);
    }
}

// ---------------------------------------------------------------- the generator

namespace {

std::map<std::string, std::string> readAll(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        files[e.path().filename().string()] = s.str();
    }
    return files;
}

}  // namespace

TEST(Generator, WritesTheSameBytesEveryTimeAndMatchesTheCommittedData) {
    const fs::path base = fs::temp_directory_path() / ("palvex-assetgen-" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "a");
    fs::create_directories(base / "b");
    for (const char* sub : {"a", "b"}) {
        std::string cmd = std::string("\"") + ASSETGEN + "\" \"" + (base / sub).string() + "\"";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    auto a = readAll(base / "a"), b = readAll(base / "b");
    auto committed = readAll(dataDir);
    fs::remove_all(base);
    EXPECT_EQ(a.size(), 20u);
    for (const auto& [name, bytes] : a) {
        ASSERT_TRUE(b.count(name)) << name;
        EXPECT_TRUE(bytes == b[name]) << name << " differs between two runs";
        ASSERT_TRUE(committed.count(name)) << name << " is not in data/";
        EXPECT_TRUE(bytes == committed[name]) << "data/" << name << " is stale: run make assets";
    }
}
