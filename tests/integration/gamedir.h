// A fresh private copy of the game (binary, data/, and the options.bin it keeps beside itself),
// run headless by fork, some runs as another user or under a file-size limit; what runs leave.
#pragma once
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <nlohmann/json.hpp>
#include <pwd.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "rgbpicture.h"

namespace gamedir {

namespace fs = std::filesystem;

inline std::string readText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}
inline std::vector<uint8_t> readBytes(const std::string& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}
inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Steering reads the held state over frames; a tap is a press and release before one frame.
inline std::string hold(int frame, const std::string& key, int frames = 2) {
    return std::to_string(frame) + " down " + key + "\n" + std::to_string(frame + frames) + " up " + key + "\n";
}
inline std::string tap(int frame, const std::string& key) { return hold(frame, key, 0); }

struct RunSettings {
    long frames = 5;
    std::string keys = {};
    std::vector<std::string> extraArgs = {};
    std::map<std::string, std::string> env = {}; // XDG_CONFIG_HOME defaults to config/
    bool unprivileged = false;                   // as "nobody" when the tests run as root
    long fileSizeLimit = -1;                     // RLIMIT_FSIZE, bytes
    bool screenshot = true;
};

struct RunResult {
    int exitCode = -1;
    std::string out, errors;
    std::vector<nlohmann::json> trace; // one object per frame
    long maxRssKb = 0;                 // the run's peak resident memory
};

// Checks "frame[-last] field=value ...; ...", e.g. "4-8 screen=1 item=1"; values are JSON.
inline void expectTrace(const RunResult& result, const std::string& expected) {
    std::istringstream groups(expected);
    for (std::string group; std::getline(groups, group, ';');) {
        std::istringstream words(group);
        int first = 0, last = 0;
        words >> first;
        last = first;
        if (words.peek() == '-') words.ignore() >> last;
        for (std::string field; std::getline(words >> std::ws, field, '=');) {
            nlohmann::json want;
            words >> want;
            for (int f = first; f <= last; ++f) {
                const bool has = f <= int(result.trace.size()) && result.trace[f - 1].contains(field);
                EXPECT_EQ(has ? result.trace[f - 1][field] : nullptr, want) << "frame " << f << " " << field;
            }
        }
    }
}

class GameDir {
public:
    GameDir() {
        static int counter = 0;
        root = (fs::temp_directory_path() / ("palvex-" + std::to_string(getpid()) + "-" + std::to_string(counter++)))
                   .string() + "/";
        fs::remove_all(root);
        game = root + "app/", out = root + "out/", config = root + "config/", shot = out + "shot.png";
        fs::create_directories(game);
        fs::copy_file(PALVEX_BINARY, game + "palvex");
        if (fs::is_directory(PALVEX_SOURCE_DIR "/data")) fs::copy(PALVEX_SOURCE_DIR "/data", game);
        for (const std::string& dir : {out, config}) ::mkdir(dir.c_str(), 0777), ::chmod(dir.c_str(), 0777);
        ::chmod(root.c_str(), 0755);
    }
    ~GameDir() {
        ::chmod(game.c_str(), 0755);
        if (!std::getenv("PALVEX_KEEP_SCRATCH")) fs::remove_all(root);
    }

    // The usual run: key script, trace and screenshot, 16 ms a frame.
    RunResult run(const RunSettings& settings) const {
        std::vector<std::string> args = {"--headless", "--frames", std::to_string(settings.frames), "--tick-ms", "16",
                                         "--keys", "keys.txt", "--trace", "trace.jsonl"};
        if (settings.screenshot) args.insert(args.end(), {"--screenshot", shot});
        args.insert(args.end(), settings.extraArgs.begin(), settings.extraArgs.end());
        return runArgs(args, settings);
    }

    // Exactly these arguments, in out/ with settings.keys as keys.txt; trace.jsonl read back.
    RunResult runArgs(const std::vector<std::string>& args, const RunSettings& settings = {}) const {
        const std::string traceFile = out + "trace.jsonl", outFile = out + "stdout.txt", errFile = out + "stderr.txt";
        std::ofstream(out + "keys.txt") << settings.keys;
        ::unlink(traceFile.c_str());
        ::unlink(shot.c_str());
        const pid_t child = fork();
        if (child == 0) {
            ::chdir(out.c_str());
            ::dup2(::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 1);
            ::dup2(::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
            ::unsetenv("SDL_AUDIODRIVER");
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            ::setenv("HOME", out.c_str(), 1);
            for (const auto& [name, value] : settings.env) ::setenv(name.c_str(), value.c_str(), 1);
            if (settings.unprivileged && ::geteuid() == 0) {
                const struct passwd* nobody = ::getpwnam("nobody");
                if (::setgroups(0, nullptr) != 0 || ::setgid(nobody ? nobody->pw_gid : 65534) != 0 ||
                    ::setuid(nobody ? nobody->pw_uid : 65534) != 0)
                    _exit(120);
            }
            if (settings.fileSizeLimit >= 0) {
                // As a shell leaves it: the game itself must keep SIGXFSZ from killing it.
                std::signal(SIGXFSZ, SIG_DFL);
                const struct rlimit bytes = {rlim_t(settings.fileSizeLimit), rlim_t(settings.fileSizeLimit)};
                ::setrlimit(RLIMIT_FSIZE, &bytes);
            }
            const std::string binary = game + "palvex";
            std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            _exit(121);
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(child, &status, 0, &usage);
        RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readText(outFile),
                         readText(errFile), {}, usage.ru_maxrss};
        std::ifstream trace(traceFile);
        for (std::string line; std::getline(trace, line);)
            if (!line.empty()) result.trace.push_back(nlohmann::json::parse(line, nullptr, false));
        return result;
    }

    std::string root, game, out, config, shot;
};

struct Colour {
    uint8_t r, g, b;
    bool operator==(const Colour&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, Colour c) {
    return os << "(" << +c.r << ", " << +c.g << ", " << +c.b << ")";
}

// A screenshot as RGB rows, top first; empty when there is no readable picture.
struct Shot {
    explicit Shot(const std::string& path) { readRgbPicture(path, width, height, pixels); }
    bool valid() const { return width > 0; }
    Colour at(int x, int y) const { return pixels.at(size_t(y) * width + x); }
    // Within what RGB 565 textures and their expansion back to 8 bits change.
    ::testing::AssertionResult is(int x, int y, Colour c) const {
        const Colour p = at(x, y);
        if (std::abs(p.r - c.r) <= 10 && std::abs(p.g - c.g) <= 10 && std::abs(p.b - c.b) <= 10)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is " << p << ", not " << c;
    }
    int width = 0, height = 0;
    std::vector<Colour> pixels;
};

} // namespace gamedir
