#include "log.h"

#include <cstdarg>
#include <cstring>
#include <unistd.h>

#include "platform/platform.h"
#include "sharedstate.h"

Log gameLog;

Log::Log() = default;

Log::~Log() { close(); }

void Log::open() {
    close();
    stream = std::fopen("log.txt", "w");
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

void setAppDirFrom(const char* executablePath) {
    size_t length = executablePath ? std::strlen(executablePath) : 0;
    while (length > 0 && executablePath[length - 1] != '\\' && executablePath[length - 1] != '/') --length;
    if (length >= APP_DIR_SIZE) length = 0; // a directory that cannot be held is not used
    std::memcpy(sharedState.appDir, executablePath, length);
    sharedState.appDir[length] = '\0';
    std::memcpy(sharedState.appDirNarrow, sharedState.appDir, length + 1);
    logPrintf("Setting working directory: chdir( %s )\n\n", sharedState.appDir);
}

void setAppDir() {
    char path[APP_DIR_SIZE];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    path[n > 0 ? n : 0] = '\0';
    setAppDirFrom(path);
}

namespace {
char* fullPathBuffer = nullptr;
const char* errorFile = "";
int errorLine = 0;
char errorCaption[256];
int errorCount = 0;
} // namespace

const char* fullPath(const char* fileName) {
    delete[] fullPathBuffer;
    fullPathBuffer = new char[APP_DIR_SIZE];
    const size_t dirLength = std::strlen(sharedState.appDir);
    const size_t nameLength = fileName ? std::strlen(fileName) : 0;
    if (dirLength + nameLength >= APP_DIR_SIZE) {
        fullPathBuffer[0] = '\0';
        return fullPathBuffer;
    }
    std::memcpy(fullPathBuffer, sharedState.appDir, dirLength);
    std::memcpy(fullPathBuffer + dirLength, fileName, nameLength);
    fullPathBuffer[dirLength + nameLength] = '\0';
    return fullPathBuffer;
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
    return platform::get().messageBox(errorCaption, message);
}
