// The data files read with decoders unrelated to their generator (SDL_image, libvorbisfile,
// SDL_mixer; the models with the game's own line formats), and data/ is what the generator
// writes, the same bytes every time.
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include "../rgbpicture.h"

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
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
int brightness(Rgb c) { return c.r + c.g + c.b; }

// A decoded picture, top row first; empty when it does not decode.
struct Picture {
    explicit Picture(const std::string& name) { readRgbPicture(dataDir + name, w, h, px); }
    Rgb at(int x, int y) const { return px[size_t(y) * w + x]; }
    int w = 0, h = 0;
    std::vector<Rgb> px;
};

// Lettering (a bright texel left of x1) only in n label bands centred step rows apart from
// first, at most half from the centre, and some in every band.
void expectLabelBands(const Picture& p, int x1, double first, double step, int n, double half) {
    std::vector<int> perBand(n);
    for (int y = 0; y < p.h; ++y) {
        if (std::none_of(&p.px[y * p.w], &p.px[y * p.w + x1], [](Rgb c) { return brightness(c) > 450; })) continue;
        const long k = std::lround((y - first) / step);
        ASSERT_TRUE(k >= 0 && k < n && std::abs(y - first - k * step) <= half)
            << "lettering between labels at row " << y;
        ++perBand[k];
    }
    for (int k = 0; k < n; ++k) EXPECT_GE(perBand[k], 6) << "label " << k;
}

double rms(const std::vector<float>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

struct Vec {
    double x, y, z;
};

// The first geometry object of a file, read line by line with the game's own formats.
struct AseObject {
    int numVertex = -1, numFaces = -1, numTVertex = 0, objects = 0;
    std::vector<Vec> vertices; // as written
    std::vector<std::array<int, 3>> faces, tfaces;
    std::vector<std::pair<double, double>> tverts;
    std::string bitmap;
    bool materialRefAfterMesh = false;
    size_t longestRest = 0;

    explicit AseObject(const std::string& name) {
        std::ifstream in(dataDir + name);
        std::string line, key;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            if (!(ls >> key)) continue;
            const std::string rest = line.substr(line.find(key) + key.size());
            longestRest = std::max(longestRest, rest.size());
            const char* r = rest.c_str();
            if (key == "*GEOMOBJECT") ++objects;
            if (key == "*BITMAP") bitmap = rest.substr(rest.find('"') + 1, rest.rfind('"') - rest.find('"') - 1);
            if (objects != 1) continue;
            int i, a, b, c, n = 0;
            double x, y, z;
            if (key == "*MESH_NUMVERTEX") numVertex = std::atoi(r);
            if (key == "*MESH_NUMFACES") numFaces = std::atoi(r);
            if (key == "*MESH_NUMTVERTEX") numTVertex = std::atoi(r);
            if (key == "*MESH_VERTEX" && std::sscanf(r, "%d %lf %lf %lf", &i, &x, &y, &z) == 4)
                vertices.push_back({x, y, z});
            // The game reads "%d:" and then "\tA:\t%d B:\t%d C:\t%d".
            if (key == "*MESH_FACE" && std::sscanf(r, "%d:%n", &i, &n) == 1 &&
                std::sscanf(r + n, "\tA:\t%d B:\t%d C:\t%d", &a, &b, &c) == 3)
                faces.push_back({a, b, c});
            if (key == "*MESH_TVERT" && std::sscanf(r, "%d %lf %lf", &i, &x, &y) == 3) tverts.push_back({x, y});
            if (key == "*MESH_TFACE" && std::sscanf(r, "%d %d %d %d", &i, &a, &b, &c) == 4) tfaces.push_back({a, b, c});
            if (key == "*MATERIAL_REF") materialRefAfterMesh = !vertices.empty();
        }
    }
};

} // namespace

TEST(Pictures, EveryPictureDecodesSquarePowerOfTwoAndNotFlat) {
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(dataDir)) {
        if (entry.path().extension() != ".gif") continue;
        const std::string name = entry.path().filename().string();
        const Picture p(name);
        ASSERT_GT(p.w, 0) << name << ": " << IMG_GetError();
        EXPECT_TRUE(p.w == p.h && (p.w & (p.w - 1)) == 0) << name << " is " << p.w << " x " << p.h; // GL ES textures
        EXPECT_GT(std::set<Rgb>(p.px.begin(), p.px.end()).size(), 8u) << name << " looks like a flat fill";
        ++pictures;
    }
    EXPECT_EQ(pictures, 12);
}

TEST(Pictures, MenuPicturesSitOnThePanelAndLabelsStandWhereThePointerPoints) {
    // Drawn opaque, so their borders must be the panel's exact colour.
    const Rgb panel = Picture("pointer.gif").at(0, 0);
    for (const char* name : {"pointer.gif", "mainmenu.gif", "options.gif"}) {
        const Picture p(name);
        for (int i = 0; i < p.w; ++i)
            for (const auto& [x, y] : {std::pair{i, 0}, {i, p.h - 1}, {0, i}, {p.w - 1, i}})
                EXPECT_EQ(p.at(x, y), panel) << name << " at " << x << ", " << y;
    }
    // The background shows its bottom-left block; on a 294-row screen with y up the pointer
    // covers x 24.5..56.5 and heights 56.9..184.9, the pictures x 56.5..184.5.
    const Picture back("backmenu.gif");
    const double rowsPerScreenRow = 0x91EB / 65536.0 * 512 / 294;
    for (double y = 54; y <= 188; y += 2)
        for (double x = 22; x <= 188; x += 2)
            EXPECT_EQ(back.at(int(x), 511 - int(y * rowsPerScreenRow)), panel) << "screen " << x << ", " << y;

    // Main menu: the pointer's four 32-row bands, lettering clear of their edges so that
    // labels never touch. Options: five labels 24 rows apart from row 16, and only panel
    // from about x 101, where the values are written.
    expectLabelBands(Picture("mainmenu.gif"), 128, 15.5, 32, 4, 14.5);
    const Picture options("options.gif");
    expectLabelBands(options, 101, 16, 24, 5, 9);
    for (int y = 0; y < 128; ++y)
        for (int x = 101; x < 128; ++x) ASSERT_EQ(options.at(x, y), panel) << x << ", " << y;
}

TEST(Sounds, EverySoundDecodesBothWaysLoopsJoinAndTheCrashDiesAway) {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024), 0) << Mix_GetError();
    for (const std::string name : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg"}) {
        SCOPED_TRACE(name);
        // libvorbisfile: one channel, read to the end without error.
        OggVorbis_File vf;
        ASSERT_EQ(ov_fopen((dataDir + name).c_str(), &vf), 0);
        const long rate = ov_info(&vf, -1)->rate;
        EXPECT_EQ(ov_info(&vf, -1)->channels, 1);
        std::vector<float> s;
        float** pcm = nullptr;
        int section = 0;
        long n = 0;
        while ((n = ov_read_float(&vf, &pcm, 4096, &section)) > 0) s.insert(s.end(), pcm[0], pcm[0] + n);
        ov_clear(&vf);
        ASSERT_EQ(n, 0);

        // SDL_mixer, as the game loads it: as long as the other decoder says.
        Mix_Chunk* chunk = Mix_LoadWAV((dataDir + name).c_str());
        ASSERT_NE(chunk, nullptr) << Mix_GetError();
        int freq = 0, channels = 0;
        Uint16 format = 0;
        Mix_QuerySpec(&freq, &format, &channels);
        const double seconds = double(chunk->alen) / (SDL_AUDIO_BITSIZE(format) / 8) / channels / freq;
        EXPECT_NEAR(seconds, double(s.size()) / rate, 0.02);
        Mix_FreeChunk(chunk);

        if (name != "game_crash.ogg") {
            EXPECT_GT(rms(s, 0, s.size()), 0.05) << "too quiet";
            // The last sample runs on into the first like any other pair of neighbours.
            double meanStep = 0;
            for (size_t i = 1; i < s.size(); ++i) meanStep += std::fabs(s[i] - s[i - 1]) / double(s.size() - 1);
            EXPECT_LT(std::fabs(s.back() - s.front()), 4 * meanStep + 0.01);
            // No fade at either end: both halves are as loud.
            EXPECT_NEAR(rms(s, 0, s.size() / 2) / rms(s, s.size() / 2, s.size()), 1.0, 0.2);
        } else {
            // A burst that dies away: the last 50 ms far below the first 100, and no clipping.
            const size_t ms = rate / 1000;
            const double start = rms(s, 0, 100 * ms);
            EXPECT_GT(start, 0.1);
            EXPECT_LT(rms(s, s.size() - 50 * ms, s.size()), start / 20);
            for (float v : s) ASSERT_LE(std::fabs(v), 1.0f);
        }
    }
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

TEST(Models, EveryModelIsWellFormedForTheGamesReader) {
    for (const char* name : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"}) {
        SCOPED_TRACE(name);
        const AseObject o(name);
        EXPECT_EQ(int(o.vertices.size()), o.numVertex);
        EXPECT_EQ(int(o.faces.size()), o.numFaces) << "faces the game's reader would miss";
        EXPECT_EQ(int(o.tverts.size()), o.numTVertex);
        EXPECT_EQ(o.tfaces.size(), o.faces.size());
        EXPECT_TRUE(o.materialRefAfterMesh);
        EXPECT_LT(o.longestRest, 99u) << "the game skips a line's rest in one read of at most 99 characters";
        for (const auto& f : o.faces)
            for (int k : f) ASSERT_TRUE(k >= 0 && k < o.numVertex);
        for (const auto& f : o.tfaces)
            for (int k : f) ASSERT_TRUE(k >= 0 && k < o.numTVertex);
        EXPECT_EQ(o.objects, 1);
        EXPECT_TRUE(fs::exists(dataDir + o.bitmap) || fs::exists(dataDir + o.bitmap + "0.gif")) << o.bitmap;
    }
}

TEST(Models, BikesAreClosedOutwardFacingAndStandForwardOnTheFloor) {
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "moto" + std::to_string(i) + ".ase";
        SCOPED_TRACE(name);
        const AseObject o(name);
        EXPECT_EQ(o.bitmap, "moto" + std::to_string(i) + ".gif");
        for (const auto& [u, v] : o.tverts) EXPECT_TRUE(u >= 0 && u <= 1 && v >= 0 && v <= 1);
        // Every edge met once each way: closed and consistently wound, so the volume's sign (the
        // same in the game's axes, a rotation of the file's) says which way all faces point.
        std::map<std::pair<int, int>, int> edges;
        double volume = 0;
        for (const auto& f : o.faces) {
            for (int k = 0; k < 3; ++k) ++edges[{f[k], f[(k + 1) % 3]}];
            const Vec &a = o.vertices[f[0]], &b = o.vertices[f[1]], &c = o.vertices[f[2]];
            volume += a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
        }
        for (const auto& [e, n] : edges)
            EXPECT_TRUE(n == 1 && edges.count({e.second, e.first}) == 1) << "edge " << e.first << "-" << e.second;
        EXPECT_GT(volume, 0) << "faces inward";

        Vec lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
        for (const Vec& v : o.vertices) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
        EXPECT_EQ(lo.z, 0.0) << "must stand on the floor";
        // Handlebar and screen, the top tenth, are ahead of the middle: the bike faces +Y.
        double frontSum = 0;
        int high = 0;
        for (const Vec& v : o.vertices)
            if (v.z > 0.9 * hi.z) frontSum += v.y, ++high;
        EXPECT_GT(frontSum / high, (lo.y + hi.y) / 2 + 1.0);
    }
}

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
    EXPECT_TRUE(a == b) << "two runs differ";
    EXPECT_EQ(a.size(), committed.size()) << "data/ holds files the generator does not write";
    for (const auto& [name, bytes] : a)
        EXPECT_TRUE(bytes == committed[name]) << "data/" << name << " is stale: run make assets";
}
