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
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string dataDir = std::string(PALVEX_SOURCE_DIR) + "/data/";

struct Rgb {
    int r, g, b;
    auto operator<=>(const Rgb&) const = default;
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
    SDL_Surface* c = s ? SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB24, 0) : nullptr;
    SDL_FreeSurface(s);
    if (!c) return false;
    out = {c->w, c->h, {}};
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

// Rows (top first) that hold lettering between columns x0 and x1.
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

// ---------------------------------------------------------------- pictures

TEST(Pictures, EveryPictureDecodesWithItsSize) {
    const std::map<std::string, int> sizes = {{"zem0.gif", 128},    {"moto1.gif", 128},   {"moto2.gif", 128},
                                              {"moto3.gif", 128},   {"moto4.gif", 128},   {"backmenu.gif", 512},
                                              {"start.gif", 512},   {"credits.gif", 512}, {"mainmenu.gif", 128},
                                              {"options.gif", 128}, {"pointer.gif", 32},  {"icon.gif", 64}};
    for (const auto& [name, size] : sizes) {
        Picture p;
        ASSERT_TRUE(decode(name, p)) << name << ": " << IMG_GetError();
        // Square powers of two: GL ES takes only power-of-two textures.
        EXPECT_EQ(p.w, size) << name;
        EXPECT_EQ(p.h, size) << name;
        EXPECT_GT(std::set<Rgb>(p.px.begin(), p.px.end()).size(), 8u) << name << " looks like a flat fill";
    }
}

TEST(Pictures, BikeTexturesCarryTheBikeColours) {
    const Rgb colours[4] = {{255, 223, 0}, {255, 114, 0}, {226, 0, 138}, {0, 137, 210}};
    for (int i = 0; i < 4; ++i) {
        const std::string name = "moto" + std::to_string(i + 1) + ".gif";
        Picture p;
        ASSERT_TRUE(decode(name, p));
        // The bike colour itself covers a good part, and the paint (the top-left 96 x 64 of
        // the atlas) is all shades of it: every strongly coloured texel there has its hue.
        const Rgb& b = colours[i];
        EXPECT_GT(std::count(p.px.begin(), p.px.end(), b), p.w * p.h / 20) << name;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x) {
                const Rgb c = p.at(x, y);
                if (std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) < 60) continue;
                ASSERT_TRUE((c.r >= c.g) == (b.r >= b.g) && (c.g >= c.b) == (b.g >= b.b)) << name << " has " << c;
            }
    }
}

TEST(Pictures, GroundTileIsDarkWithBrightCellLines) {
    Picture p;
    ASSERT_TRUE(decode("zem0.gif", p));
    EXPECT_GT(std::count_if(p.px.begin(), p.px.end(), [](Rgb c) { return brightness(c) < 120; }), p.w * p.h * 6 / 10);
    // The cell line runs along every edge, so neighbouring tiles join into a grid.
    for (int i = 8; i < p.w - 8; i += 8)
        for (const Rgb edge : {p.at(i, 0), p.at(i, p.h - 1), p.at(0, i), p.at(p.w - 1, i)})
            EXPECT_GT(edge.b, 200) << "edge texel " << i;
    EXPECT_LT(brightness(p.at(p.w / 2 + 5, p.h / 2 + 5)), 120);
}

TEST(Pictures, PointerAndMenuPicturesSitOnThePanelOfTheBackground) {
    // Drawn opaque, so their borders must be the panel's exact colour.
    for (const char* name : {"pointer.gif", "mainmenu.gif", "options.gif"}) {
        Picture p;
        ASSERT_TRUE(decode(name, p));
        for (int i = 0; i < p.w; ++i)
            for (const auto& [x, y] : {std::pair{i, 0}, {i, p.h - 1}, {0, i}, {p.w - 1, i}})
                EXPECT_EQ(p.at(x, y), panel) << name << " at " << x << ", " << y;
    }
    // The background shows its bottom-left 240 x 292 block; on a 294-row screen with y up,
    // the pointer covers x 24.5..56.5 and heights 56.9..184.9, the pictures x 56.5..184.5.
    Picture back;
    ASSERT_TRUE(decode("backmenu.gif", back));
    const double rowsPerScreenRow = 0x91EB / 65536.0 * 512 / 294;
    for (double y = 54; y <= 188; y += 2)
        for (double x = 22; x <= 188; x += 2)
            EXPECT_EQ(back.at(static_cast<int>(x), 511 - static_cast<int>(y * rowsPerScreenRow)), panel)
                << "screen " << x << ", " << y;
}

TEST(Pictures, MainMenuLabelsStandInThePointerBands) {
    Picture p;
    ASSERT_TRUE(decode("mainmenu.gif", p));
    // The pointer is 32 high with its bottom 96, 64, 32, 0 above the picture's bottom.
    const std::vector<int> rows = litRows(p, 0, 128);
    for (int band = 0; band < 4; ++band) {
        const int top = band * 32, bottom = top + 31;
        EXPECT_GE(std::count_if(rows.begin(), rows.end(), [&](int y) { return y >= top && y <= bottom; }), 8)
            << "band " << band;
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
    // Five labels centred 24 rows apart, the first on row 16, and nothing between them.
    const std::vector<int> rows = litRows(p, 0, 101);
    for (int k = 0; k < 5; ++k)
        EXPECT_GE(std::count_if(rows.begin(), rows.end(), [&](int y) { return std::abs(y - 16 - 24 * k) <= 6; }), 6)
            << "label " << k;
    for (int y : rows)
        EXPECT_LE(std::abs(y - 16 - 24 * static_cast<int>(std::lround((y - 16) / 24.0))), 9)
            << "lettering between two labels at row " << y;
}

TEST(Pictures, FullScreenPicturesFillTheirVisibleCorner) {
    for (const char* name : {"backmenu.gif", "start.gif", "credits.gif"}) {
        Picture p;
        ASSERT_TRUE(decode(name, p));
        // Lettering and glow somewhere in the shown 240 x 292 block, in both halves.
        int bright[2] = {0, 0};
        for (int y = 220; y < 512; ++y)
            for (int x = 0; x < 240; ++x) bright[y >= 366] += brightness(p.at(x, y)) > 600;
        EXPECT_GT(bright[0], 50) << name;
        EXPECT_GT(bright[1], 50) << name;
    }
}

// ---------------------------------------------------------------- sounds

namespace {

// The first channel of an Ogg Vorbis file, with its rate and channel count.
bool decodeOgg(const std::string& name, long& rate, int& channels, std::vector<float>& samples) {
    OggVorbis_File vf;
    if (ov_fopen((dataDir + name).c_str(), &vf) != 0) return false;
    rate = ov_info(&vf, -1)->rate;
    channels = ov_info(&vf, -1)->channels;
    samples.clear();
    long n = 0;
    float** pcm = nullptr;
    int section = 0;
    while ((n = ov_read_float(&vf, &pcm, 4096, &section)) > 0) samples.insert(samples.end(), pcm[0], pcm[0] + n);
    ov_clear(&vf);
    return n == 0;
}

double rms(const std::vector<float>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

}  // namespace

TEST(Sounds, EverySoundDecodesBothWaysLoopsJoinAndTheCrashDiesAway) {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024), 0) << Mix_GetError();
    const std::tuple<const char*, double, bool> sounds[] = {
        {"game_recognizer.ogg", 3.0, true}, {"game_engine.ogg", 1.0, true}, {"game_crash.ogg", 1.1, false}};
    for (const auto& [name, seconds, loop] : sounds) {
        SCOPED_TRACE(name);
        // SDL_mixer, as the game loads them: the length, and no near-silence.
        Mix_Chunk* chunk = Mix_LoadWAV((dataDir + name).c_str());
        ASSERT_NE(chunk, nullptr) << Mix_GetError();
        int freq = 0, channels = 0;
        Uint16 format = 0;
        Mix_QuerySpec(&freq, &format, &channels);
        EXPECT_NEAR(double(chunk->alen) / (SDL_AUDIO_BITSIZE(format) / 8) / channels / freq, seconds, 0.02);
        const int16_t* pcm = reinterpret_cast<const int16_t*>(chunk->abuf);
        EXPECT_GT(std::count_if(pcm, pcm + chunk->alen / 2, [](int16_t v) { return std::abs(v) > 3000; }), 1000);
        Mix_FreeChunk(chunk);

        long rate = 0;
        int fileChannels = 0;
        std::vector<float> s;
        ASSERT_TRUE(decodeOgg(name, rate, fileChannels, s));
        EXPECT_EQ(rate, 44100);
        EXPECT_EQ(fileChannels, 1);
        if (loop) {
            ASSERT_EQ(s.size(), static_cast<size_t>(seconds * 44100));
            EXPECT_GT(rms(s, 0, s.size()), 0.05) << "too quiet";
            // The last sample runs on into the first like any other pair of neighbours.
            double meanStep = 0;
            for (size_t i = 1; i < s.size(); ++i) meanStep += std::fabs(s[i] - s[i - 1]) / double(s.size() - 1);
            EXPECT_LT(std::fabs(s.back() - s.front()), 4 * meanStep + 0.01);
            // No fade at either end: both halves (each a whole number of pulses) are as loud.
            const size_t half = s.size() / 2;
            EXPECT_NEAR(rms(s, 0, half) / rms(s, half, 2 * half), 1.0, 0.2);
        } else {
            // A burst that dies away: the last 50 ms far below the first 100, and no clipping.
            const size_t ms = 44;
            const double start = rms(s, 0, 100 * ms);
            EXPECT_GT(start, 0.1);
            EXPECT_LT(rms(s, s.size() - 50 * ms, s.size()), start / 20);
            for (float v : s) ASSERT_LE(std::fabs(v), 1.0f);
        }
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
    std::vector<std::array<int, 3>> faces, tfaces; // faces: those the game's own format reads
    std::vector<std::pair<double, double>> tverts;
    std::string bitmap;
    double uTiling = 0, vTiling = 0;
    int objects = 0;
    bool materialRefAfterMesh = false;
    size_t longestRest = 0;
};

bool readAse(const std::string& name, AseObject& o) {
    std::ifstream in(dataDir + name);
    if (!in) return false;
    std::string line, key;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        if (!(ls >> key)) continue;
        const std::string rest = line.substr(line.find(key) + key.size());
        o.longestRest = std::max(o.longestRest, rest.size());
        const char* r = rest.c_str();
        if (key == "*GEOMOBJECT") ++o.objects;
        if (key == "*BITMAP") o.bitmap = rest.substr(rest.find('"') + 1, rest.rfind('"') - rest.find('"') - 1);
        if (key == "*UVW_U_TILING") o.uTiling = std::atof(r);
        if (key == "*UVW_V_TILING") o.vTiling = std::atof(r);
        if (o.objects != 1) continue;
        int i, a, b, c, n = 0;
        double x, y, z;
        if (key == "*MESH_NUMVERTEX") o.numVertex = std::atoi(r);
        if (key == "*MESH_NUMFACES") o.numFaces = std::atoi(r);
        if (key == "*MESH_NUMTVERTEX") o.numTVertex = std::atoi(r);
        if (key == "*MESH_VERTEX" && std::sscanf(r, "%d %lf %lf %lf", &i, &x, &y, &z) == 4) o.fileVertices.push_back({x, y, z});
        // The game reads "%d:" and then "\tA:\t%d B:\t%d C:\t%d".
        if (key == "*MESH_FACE" && std::sscanf(r, "%d:%n", &i, &n) == 1 &&
            std::sscanf(r + n, "\tA:\t%d B:\t%d C:\t%d", &a, &b, &c) == 3)
            o.faces.push_back({a, b, c});
        if (key == "*MESH_TVERT" && std::sscanf(r, "%d %lf %lf", &i, &x, &y) == 3) o.tverts.push_back({x, y});
        if (key == "*MESH_TFACE" && std::sscanf(r, "%d %d %d %d", &i, &a, &b, &c) == 4) o.tfaces.push_back({a, b, c});
        if (key == "*MATERIAL_REF") o.materialRefAfterMesh = !o.fileVertices.empty();
    }
    return true;
}

// File (X, Y, Z) to the game's (X, Z, -Y).
Vec toGame(const Vec& v) { return {v.x, v.z, -v.y}; }

}  // namespace

TEST(Models, EveryModelIsWellFormedAndAssimpReadsItAlike) {
    for (const char* name : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"}) {
        SCOPED_TRACE(name);
        AseObject o;
        ASSERT_TRUE(readAse(name, o));
        EXPECT_EQ(static_cast<int>(o.fileVertices.size()), o.numVertex);
        EXPECT_EQ(static_cast<int>(o.faces.size()), o.numFaces) << "faces the game's reader would miss";
        EXPECT_EQ(static_cast<int>(o.tverts.size()), o.numTVertex);
        EXPECT_EQ(o.tfaces.size(), o.faces.size());
        EXPECT_TRUE(o.materialRefAfterMesh);
        // The game skips the rest of a line in one read of at most 99 characters.
        EXPECT_LT(o.longestRest, 99u);
        for (const auto& f : o.faces)
            for (int k : f) ASSERT_TRUE(k >= 0 && k < o.numVertex);
        for (const auto& f : o.tfaces)
            for (int k : f) ASSERT_TRUE(k >= 0 && k < o.numTVertex);

        const aiScene* scene = aiImportFile((dataDir + name).c_str(), 0);
        ASSERT_NE(scene, nullptr) << aiGetErrorString();
        ASSERT_EQ(scene->mNumMeshes, 1u);
        const aiMesh* mesh = scene->mMeshes[0];
        EXPECT_EQ(static_cast<int>(mesh->mNumFaces), o.numFaces);
        EXPECT_TRUE(mesh->HasTextureCoords(0));
        ASSERT_LT(mesh->mMaterialIndex, scene->mNumMaterials);
        aiString path;
        EXPECT_EQ(aiGetMaterialTexture(scene->mMaterials[mesh->mMaterialIndex], aiTextureType_DIFFUSE, 0, &path),
                  aiReturn_SUCCESS);
        EXPECT_EQ(std::string(path.C_Str()), o.bitmap);
        aiReleaseImport(scene);
    }
}

TEST(Models, ArenaFloorIsAFlatTexturedGrid) {
    AseObject o;
    ASSERT_TRUE(readAse("arena.ase", o));
    EXPECT_EQ(o.numVertex, 17 * 17);
    EXPECT_EQ(o.numFaces, 512);
    EXPECT_EQ(o.bitmap, "zem");
    EXPECT_GT(o.uTiling, 1.0);
    EXPECT_GT(o.vTiling, 1.0);
    Vec lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    for (const Vec& v : o.fileVertices) {
        EXPECT_EQ(v.z, 0.0);
        lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), 0};
        hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), 0};
    }
    EXPECT_EQ(lo.x, -hi.x);
    EXPECT_EQ(lo.y, -hi.y);
    EXPECT_NEAR(hi.x - lo.x, 600, 50);
    EXPECT_NEAR(hi.y - lo.y, 600, 50);
    // Every triangle faces the sky (game +Y) when wound counter-clockwise.
    for (const auto& f : o.faces) {
        const Vec a = toGame(o.fileVertices[f[0]]), b = toGame(o.fileVertices[f[1]]), c = toGame(o.fileVertices[f[2]]);
        EXPECT_GT((b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z), 0);
    }
}

TEST(Models, BikesAreClosedOutwardFacingAndRightSized) {
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "moto" + std::to_string(i) + ".ase";
        SCOPED_TRACE(name);
        AseObject o;
        ASSERT_TRUE(readAse(name, o));
        EXPECT_EQ(o.bitmap, "moto" + std::to_string(i) + ".gif");
        EXPECT_GT(o.numFaces, 100);
        EXPECT_GT(o.numTVertex, 0);
        for (const auto& [u, v] : o.tverts) EXPECT_TRUE(u >= 0 && u <= 1 && v >= 0 && v <= 1);
        // Every edge is met once in each direction: the surface is closed and consistently
        // wound, so the sign of the volume says which way all faces point.
        std::map<std::pair<int, int>, int> edges;
        double volume = 0;
        for (const auto& f : o.faces) {
            for (int k = 0; k < 3; ++k) ++edges[{f[k], f[(k + 1) % 3]}];
            const Vec a = toGame(o.fileVertices[f[0]]), b = toGame(o.fileVertices[f[1]]), c = toGame(o.fileVertices[f[2]]);
            volume += a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
        }
        for (const auto& [e, n] : edges) {
            EXPECT_EQ(n, 1) << "edge " << e.first << "-" << e.second;
            EXPECT_EQ(edges.count({e.second, e.first}), 1u) << "open edge " << e.first << "-" << e.second;
        }
        EXPECT_GT(volume, 0) << "faces inward";

        Vec lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
        double frontSum = 0;
        int high = 0;
        for (const Vec& v : o.fileVertices) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            if (v.z > 5.2) frontSum += v.y, ++high;
        }
        EXPECT_EQ(lo.z, 0.0) << "must stand on the floor";
        EXPECT_GE(hi.y - lo.y, 10.0);
        EXPECT_LE(hi.y - lo.y, 14.0);
        EXPECT_GE(hi.z, 4.0);
        EXPECT_LE(hi.z, 6.0);
        EXPECT_LT(hi.x - lo.x, 4.0);
        EXPECT_NEAR(lo.x, -hi.x, 0.5) << "lopsided";
        // Handlebar and screen, the highest parts, are ahead of the middle: the bike faces +Y.
        ASSERT_GT(high, 0);
        EXPECT_GT(frontSum / high, 1.0);
    }
}

// ---------------------------------------------------------------- the generator

TEST(Generator, WritesTheSameBytesEveryTimeAndMatchesTheCommittedData) {
    auto readAll = [](const fs::path& dir) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir)) {
            std::ostringstream s;
            s << std::ifstream(e.path(), std::ios::binary).rdbuf();
            files[e.path().filename().string()] = s.str();
        }
        return files;
    };
    const fs::path base = fs::temp_directory_path() / ("palvex-assetgen-" + std::to_string(::getpid()));
    fs::remove_all(base);
    for (const char* sub : {"a", "b"}) {
        fs::create_directories(base / sub);
        const std::string cmd = std::string("\"") + ASSETGEN + "\" \"" + (base / sub).string() + "\"";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    auto a = readAll(base / "a"), b = readAll(base / "b"), committed = readAll(dataDir);
    fs::remove_all(base);
    EXPECT_EQ(a.size(), 20u);
    for (const auto& [name, bytes] : a) {
        EXPECT_TRUE(bytes == b[name]) << name << " differs between two runs";
        EXPECT_TRUE(bytes == committed[name]) << "data/" << name << " is stale or missing: run make assets";
    }
}
