// Runs the real game binary headless in a scratch directory and reads what it left:
// exit code, standard error, the JSON Lines trace and the screenshot.
#pragma once
#include <SDL.h>
#include <SDL_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace run {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<nlohmann::json> trace;
};

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A scratch directory that is removed again, unless PALVEX_KEEP_SCRATCH is set.
class Scratch {
public:
    explicit Scratch(const std::string& name) {
        static int counter = 0;
        dir = std::filesystem::temp_directory_path() /
              ("palvex-" + name + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~Scratch() {
        if (!std::getenv("PALVEX_KEEP_SCRATCH")) std::filesystem::remove_all(dir);
    }
    std::filesystem::path path(const std::string& name) const { return dir / name; }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream(dir / name, std::ios::binary) << content;
    }
    std::filesystem::path dir;
};

// A private copy of the game (binary and data) so that files beside it can be changed.
inline std::filesystem::path installCopy(const Scratch& scratch) {
    const std::filesystem::path app = scratch.dir / "app";
    std::filesystem::create_directories(app);
    const std::filesystem::path bin = PALVEX_BINARY;
    std::filesystem::copy_file(bin, app / "palvex");
    const std::filesystem::path data = std::string(PALVEX_SOURCE_DIR) + "/data";
    if (std::filesystem::is_directory(data))
        for (const auto& entry : std::filesystem::directory_iterator(data))
            std::filesystem::copy_file(entry.path(), app / entry.path().filename());
    return app / "palvex";
}

// Runs `binary args` with the scratch directory as working directory.
inline Result game(const Scratch& scratch, const std::string& args, const std::string& binary = PALVEX_BINARY,
                   const std::string& env = "") {
    Result result;
    const std::string outFile = (scratch.dir / "stdout.txt").string();
    const std::string errFile = (scratch.dir / "stderr.txt").string();
    const std::string command = "cd " + shellQuote(scratch.dir.string()) + " && " + env + " " + shellQuote(binary) +
                                " " + args + " >" + shellQuote(outFile) + " 2>" + shellQuote(errFile);
    const int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(outFile);
    result.err = slurp(errFile);
    std::ifstream trace(scratch.dir / "trace.jsonl");
    std::string line;
    while (std::getline(trace, line)) result.trace.push_back(nlohmann::json::parse(line));
    return result;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::array<int, 3> at(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

inline bool loadPng(const std::filesystem::path& path, Picture& out) {
    SDL_Surface* loaded = IMG_Load(path.string().c_str());
    if (!loaded) return false;
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(loaded);
    if (!rgb) return false;
    out.width = rgb->w;
    out.height = rgb->h;
    out.rgb.resize(static_cast<size_t>(rgb->w) * rgb->h * 3);
    for (int row = 0; row < rgb->h; ++row)
        std::memcpy(&out.rgb[static_cast<size_t>(row) * rgb->w * 3],
                    static_cast<uint8_t*>(rgb->pixels) + static_cast<size_t>(row) * rgb->pitch, rgb->w * 3);
    SDL_FreeSurface(rgb);
    return true;
}

} // namespace run
