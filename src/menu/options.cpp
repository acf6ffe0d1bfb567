#include "menu/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "log.h"
#include "sharedstate.h"

namespace {

void putInt32(uint8_t* out, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t getInt32(const uint8_t* in) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Makes the rename itself survive a power cut; a directory that cannot be opened for
// this (some file systems) does not make the save fail, the data is already on disk.
void syncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

void encodeOptions(const OptionsRecord& record, uint8_t (&bytes)[OPTIONS_FILE_SIZE]) {
    bytes[0] = record.soundOn;
    putInt32(bytes + 1, record.detail);
    putInt32(bytes + 5, record.opponentChoice);
    putInt32(bytes + 9, record.speed);
}

void decodeOptions(const uint8_t* bytes, size_t size, OptionsRecord& record) {
    if (size >= 1) record.soundOn = bytes[0];
    if (size >= 5) record.detail = getInt32(bytes + 1);
    if (size >= 9) record.opponentChoice = getInt32(bytes + 5);
    if (size >= 13) record.speed = getInt32(bytes + 9);
}

void clampOptions(OptionsRecord& record) {
    record.soundOn = record.soundOn ? 1 : 0;
    record.detail = std::clamp(record.detail, 0, 2);
    record.opponentChoice = std::clamp(record.opponentChoice, 0, 2);
    record.speed = std::clamp(record.speed, 0, 2);
}

bool readOptionsFile(const std::string& path, OptionsRecord& record) {
    if (path.empty()) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    uint8_t bytes[OPTIONS_FILE_SIZE];
    const size_t size = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    decodeOptions(bytes, size, record);
    clampOptions(record);
    return true;
}

bool writeOptionsFileAtomic(const std::string& path, const OptionsRecord& record) {
    if (path.empty() || path.back() == '/') return false;
    // One temporary name per process: two copies of the game saving at once never write
    // into each other's file, and the last rename wins with a whole record.
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    uint8_t bytes[OPTIONS_FILE_SIZE];
    encodeOptions(record, bytes);
    bool ok = writeAll(fd, bytes, sizeof bytes);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncDirectory(directoryOf(path));
    return true;
}

std::string optionsConfigDir(const char* xdgConfigHome, const char* home) {
    if (xdgConfigHome && xdgConfigHome[0] == '/') {
        std::string dir = xdgConfigHome;
        if (dir.back() != '/') dir += '/';
        return dir + "palvex/";
    }
    if (home && home[0]) {
        std::string dir = home;
        if (dir.back() != '/') dir += '/';
        return dir + ".config/palvex/";
    }
    return std::string();
}

OptionsPaths chooseOptionsPaths(const std::string& appDirFile, const std::string& configDir, bool appDirWritable) {
    OptionsPaths paths;
    const std::string configFile = configDir.empty() ? std::string() : configDir + OPTIONS_FILE_NAME;
    if (appDirWritable || configFile.empty()) {
        paths.load = appDirFile;
        paths.fallback = configFile;
        paths.save = appDirFile;
    } else {
        paths.load = configFile;
        paths.fallback = appDirFile;
        paths.save = configFile;
        paths.saveDir = configDir;
    }
    return paths;
}

OptionsPaths currentOptionsPaths() {
    // fullPath's buffer is replaced by its next call: keep a copy.
    const std::string appDirFile = fullPath(OPTIONS_FILE_NAME);
    const char* appDir = sharedState.appDir[0] ? sharedState.appDir : ".";
    const bool appDirWritable = !appDirFile.empty() && ::access(appDir, W_OK | X_OK) == 0;
    return chooseOptionsPaths(appDirFile, optionsConfigDir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")),
                              appDirWritable);
}

bool makeDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    std::string partial;
    size_t start = 0;
    while (start <= dir.size()) {
        size_t slash = dir.find('/', start);
        if (slash == std::string::npos) slash = dir.size();
        partial = dir.substr(0, slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        start = slash + 1;
    }
    struct stat info;
    return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
