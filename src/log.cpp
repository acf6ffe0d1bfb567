#include "log.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"
#include "platform/platform.h"
#include "sharedstate.h"

Log gameLog;

Log::Log() = default;

Log::~Log() { close(); }

void Log::open() {
    close();
    const std::string here = platform::os::currentDirectory();
    if (sharedState.portable && !here.empty() && platform::os::sameDirectory(here, sharedState.appDir)) {
        where = "log.txt";
        stream = std::fopen(where.c_str(), "w");
        // A game folder the player cannot write to (unpacked read-only, on a CD) logs where
        // an installed game does.
        if (stream) return;
    }
    const std::string dir = platform::os::stateDir();
    if (dir.empty() || !platform::os::makeDirectories(dir)) {
        where.clear();
        return;
    }
    where = dir + "log.txt";
    stream = std::fopen(where.c_str(), "w");
    if (!stream) where.clear();
}

void Log::close() {
    if (stream) std::fclose(stream);
    stream = nullptr;
}

int Log::printf(const char* format, ...) {
    if (!stream) return -1;
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(stream, format, args);
    va_end(args);
    return written;
}

int logPrintf(const char* format, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return gameLog.printf("%s", buffer);
}

std::string installedDataDir(const std::string& appDir) {
    return appDir.empty() ? std::string() : appDir + "../share/palvex/";
}

void locateAppDirFrom(const char* executablePath) {
    size_t length = executablePath ? std::strlen(executablePath) : 0;
    while (length > 0 && executablePath[length - 1] != '\\' && executablePath[length - 1] != '/') --length;
    sharedState.appDir.assign(executablePath ? executablePath : "", length);
    // An installed game has its data in ../share/palvex; anywhere else the folder is the
    // game's own.
    sharedState.portable = !platform::os::isDirectory(installedDataDir(sharedState.appDir));
}

void setAppDirFrom(const char* executablePath) {
    locateAppDirFrom(executablePath);
    logPrintf("Setting working directory: chdir( %s )\n\n", sharedState.appDir.c_str());
}

void setAppDir() { setAppDirFrom(platform::os::executablePath().c_str()); }

void locateAppDir() { locateAppDirFrom(platform::os::executablePath().c_str()); }

namespace {
const char* errorFile = "";
int errorLine = 0;
char errorCaption[256];
int errorCount = 0;
std::string dataFileInQuestion;
} // namespace

void setDataFileInQuestion(const std::string& path) { dataFileInQuestion = path; }

std::string fullPath(const char* fileName) {
    const std::string name = fileName ? fileName : "";
    const std::string beside = sharedState.appDir + name;
    if (name.empty() || platform::os::exists(beside)) return beside;
    const std::string installed = installedDataDir(sharedState.appDir);
    if (!installed.empty() && platform::os::exists(installed + name)) return installed + name;
    if (const char* dataDir = std::getenv("PALVEX_DATA_DIR"); dataDir && dataDir[0]) {
        std::string dir = dataDir;
        if (dir.back() != '/') dir += '/';
        if (platform::os::exists(dir + name)) return dir + name;
    }
    return beside;
}

void setErrorLocation(const char* sourceFile, int line) {
    errorFile = sourceFile ? sourceFile : "";
    errorLine = line;
}

const char* lastErrorCaption() { return errorCaption; }

int reportedErrorCount() { return errorCount; }

int reportError(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::snprintf(errorCaption, sizeof errorCaption, "Error at %d line, in %s file", errorLine, errorFile);
    ++errorCount;
    platform::Platform& system = platform::get();
    if (!dataFileInQuestion.empty()) {
        const std::string note = "data file " + dataFileInQuestion +
                                 (platform::os::exists(dataFileInQuestion) ? ": damaged" : ": missing");
        dataFileInQuestion.clear();
        system.noteBesideBox(note.c_str());
    }
    return system.messageBox(errorCaption, message);
}
