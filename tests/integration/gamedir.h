// A copy of the game in a directory of its own (run::installCopy: the binary and data/),
// and whatever a test writes beside it (pictures, samples, options.bin). The game reads
// and writes options.bin next to its executable, so every test gets a fresh copy and
// nothing a test saves reaches another test or the build directory. Runs are forked here
// rather than through the shell: some go as another user or under a file-size limit.
#pragma once
#include <gtest/gtest.h>

#include "runner.h"

#include <SDL.h>
#include <cmath>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace gamedir {

struct RunSettings {
    long frames = 5;
    std::string keys;                          // the key script
    std::vector<std::string> extraArgs;
    std::map<std::string, std::string> env;    // set for the run (XDG_CONFIG_HOME defaults to config)
    bool unprivileged = false;                 // run as "nobody" when the tests run as root
    long fileSizeLimit = -1;                   // RLIMIT_FSIZE for the run, bytes
    bool screenshot = true;
};

struct RunResult {
    int exitCode = -1;
    std::string errors;                 // what the game wrote to stderr
    std::vector<nlohmann::json> trace;  // one object per frame
};

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

class GameDir {
public:
    GameDir() : scratch("menu") {
        game = run::installCopy(scratch).parent_path().string() + "/";
        out = scratch.dir.string() + "/out/";
        config = scratch.dir.string() + "/config/";
        // Open to everyone: some runs go as "nobody".
        for (const std::string& dir : {out, config}) {
            ::mkdir(dir.c_str(), 0777);
            ::chmod(dir.c_str(), 0777);
        }
        ::chmod(scratch.dir.c_str(), 0755);
    }
    ~GameDir() { ::chmod(game.c_str(), 0755); }
    GameDir(const GameDir&) = delete;
    GameDir& operator=(const GameDir&) = delete;

    RunResult run(const RunSettings& settings) const {
        const std::string keysFile = out + "keys.txt";
        const std::string traceFile = out + "trace.jsonl";
        const std::string errorsFile = out + "stderr.txt";
        std::ofstream(keysFile) << settings.keys;
        ::unlink(traceFile.c_str());
        ::unlink(screenshotPath().c_str());

        std::vector<std::string> args = {game + "palvex", "--headless", "--frames", std::to_string(settings.frames),
                                         "--tick-ms", "16", "--keys", keysFile, "--trace", traceFile};
        if (settings.screenshot) {
            args.push_back("--screenshot");
            args.push_back(screenshotPath());
        }
        args.insert(args.end(), settings.extraArgs.begin(), settings.extraArgs.end());

        const pid_t child = fork();
        if (child == 0) {
            ::chdir(out.c_str());
            const int errorsFd = ::open(errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            ::dup2(errorsFd, 2);
            const int nullFd = ::open("/dev/null", O_WRONLY);
            ::dup2(nullFd, 1);
            ::unsetenv("SDL_AUDIODRIVER");
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            ::setenv("HOME", out.c_str(), 1);
            for (const auto& [name, value] : settings.env) ::setenv(name.c_str(), value.c_str(), 1);
            if (settings.unprivileged && ::geteuid() == 0) {
                const struct passwd* nobody = ::getpwnam("nobody");
                const uid_t uid = nobody ? nobody->pw_uid : 65534;
                const gid_t gid = nobody ? nobody->pw_gid : 65534;
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) _exit(120);
            }
            if (settings.fileSizeLimit >= 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlim_t limit = static_cast<rlim_t>(settings.fileSizeLimit);
                struct rlimit bytes = {limit, limit};
                ::setrlimit(RLIMIT_FSIZE, &bytes);
            }
            std::vector<char*> argv;
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            _exit(121);
        }
        RunResult result;
        int status = 0;
        ::waitpid(child, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::ifstream errors(errorsFile);
        result.errors.assign(std::istreambuf_iterator<char>(errors), {});
        std::ifstream trace(traceFile);
        std::string line;
        while (std::getline(trace, line)) {
            if (!line.empty()) result.trace.push_back(nlohmann::json::parse(line, nullptr, false));
        }
        return result;
    }

    std::string screenshotPath() const { return out + "shot.png"; }

    // The game directory as an installed game's: no one but root may write there, and the
    // run then goes as "nobody" (root writes anywhere, whatever the mode says).
    void makeGameDirReadOnly() const { ::chmod(game.c_str(), 0555); }

    run::Scratch scratch;
    std::string game, out, config;
};

// Pictures with known colours standing in for the game's menu pictures.
struct Colour {
    uint8_t r, g, b;
};
constexpr Colour OUTSIDE{248, 0, 248};      // texture area no screen should show
constexpr Colour BACKGROUND{0, 0, 248};
constexpr Colour TITLE{248, 252, 0};
constexpr Colour CREDITS{0, 252, 0};
constexpr Colour MAIN{248, 0, 0};
constexpr Colour MAIN_LEFT{0, 252, 248};    // column 0 of the main menu picture
constexpr Colour MAIN_RIGHT{248, 252, 248}; // column 127
constexpr Colour MAIN_TOP{0, 128, 0};       // rows 0 to 7 between them
constexpr Colour OPTIONS{128, 64, 0};
constexpr Colour POINTER{200, 200, 200};
constexpr Colour CLEAR{128, 128, 128};      // the frame's clear colour

inline void fill(SDL_Surface* surface, int x, int y, int w, int h, Colour c) {
    SDL_Rect rect{x, y, w, h};
    SDL_FillRect(surface, &rect, SDL_MapRGB(surface->format, c.r, c.g, c.b));
}

// Written as BMP under the .gif names; the image loader goes by content.
inline void writePicture(const std::string& path, int w, int h, void (*paint)(SDL_Surface*)) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
    ASSERT_NE(surface, nullptr);
    paint(surface);
    ASSERT_EQ(SDL_SaveBMP(surface, path.c_str()), 0);
    SDL_FreeSurface(surface);
}

// The full-screen pictures show the 240 x 294 lower-left corner of a 512 x 512 texture.
template <Colour C>
void paintScreen(SDL_Surface* s) {
    fill(s, 0, 0, 512, 512, OUTSIDE);
    fill(s, 0, 512 - 294, 240, 294, C);
}

inline void writeTestPictures(const std::string& dir) {
    writePicture(dir + "backmenu.gif", 512, 512, paintScreen<BACKGROUND>);
    writePicture(dir + "start.gif", 512, 512, paintScreen<TITLE>);
    writePicture(dir + "credits.gif", 512, 512, paintScreen<CREDITS>);
    writePicture(dir + "mainmenu.gif", 128, 128, [](SDL_Surface* s) {
        fill(s, 0, 0, 128, 128, MAIN);
        fill(s, 1, 0, 126, 8, MAIN_TOP);
        fill(s, 0, 0, 1, 128, MAIN_LEFT);
        fill(s, 127, 0, 1, 128, MAIN_RIGHT);
    });
    writePicture(dir + "options.gif", 128, 128, [](SDL_Surface* s) { fill(s, 0, 0, 128, 128, OPTIONS); });
    writePicture(dir + "pointer.gif", 32, 32, [](SDL_Surface* s) { fill(s, 0, 0, 32, 32, POINTER); });
}

// A short sine tone as a 16-bit mono WAV; the mixer tells WAV from Ogg by its content.
inline void writeToneWav(const std::string& path, int milliseconds) {
    const int rate = 22050;
    const int count = rate * milliseconds / 1000;
    std::vector<int16_t> samples(count);
    for (int i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(12000 * std::sin(i * 2 * M_PI * 440.0 / rate));
    SDL_RWops* file = SDL_RWFromFile(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const uint32_t dataSize = static_cast<uint32_t>(count) * 2;
    SDL_RWwrite(file, "RIFF", 1, 4);
    SDL_WriteLE32(file, 36 + dataSize);
    SDL_RWwrite(file, "WAVEfmt ", 1, 8);
    SDL_WriteLE32(file, 16);
    SDL_WriteLE16(file, 1); // PCM
    SDL_WriteLE16(file, 1); // mono
    SDL_WriteLE32(file, rate);
    SDL_WriteLE32(file, rate * 2);
    SDL_WriteLE16(file, 2);
    SDL_WriteLE16(file, 16);
    SDL_RWwrite(file, "data", 1, 4);
    SDL_WriteLE32(file, dataSize);
    SDL_RWwrite(file, samples.data(), 2, count);
    SDL_RWclose(file);
}

// A screenshot as RGB rows, top first.
class Shot {
public:
    explicit Shot(const std::string& path) { run::loadPng(path, picture); }
    bool valid() const { return picture.width > 0; }
    Colour at(int x, int y) const {
        const auto [r, g, b] = picture.at(x, y);
        return Colour{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
    }
    // Within what RGB 565 textures and their expansion back to 8 bits change.
    bool is(int x, int y, Colour c) const {
        const Colour p = at(x, y);
        return std::abs(p.r - c.r) <= 10 && std::abs(p.g - c.g) <= 10 && std::abs(p.b - c.b) <= 10;
    }
    run::Picture picture;
    const int& width = picture.width;
    const int& height = picture.height;
};

inline std::string describe(Colour c) {
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

} // namespace gamedir
