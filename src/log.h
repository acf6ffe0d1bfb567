// The text log, the application directory, where data files are found, and the error report.
#pragma once
#include <cstdio>
#include <string>

class Log {
public:
    Log();
    ~Log();
    // Opens the log afresh: "log.txt" (the bare name) when the current directory is the
    // game's own folder, as the design had it; otherwise "log.txt" in the user's state
    // directory, so a game started from a desktop menu never replaces ~/log.txt. A log
    // that cannot be opened is skipped.
    void open();
    void close();
    int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool isOpen() const { return stream != nullptr; }
    const std::string& path() const { return where; }

private:
    FILE* stream = nullptr;
    std::string where;
};

extern Log gameLog;

int logPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Works out appDir from the running executable's path (of any length) and whether the
// game runs from its own folder, and logs the directory.
void setAppDir();
// The same without the log line: main needs the directory before the log is opened.
void locateAppDir();
void locateAppDirFrom(const char* executablePath);
// The testable core of setAppDir: the directory is the prefix up to and including the
// last '/' or '\\'. A path without any separator gives an empty directory.
void setAppDirFrom(const char* executablePath);

// Where a data file is: beside the executable (the design's place, and the build tree's),
// else in the installed data directory (../share/palvex beside the executable's folder),
// else in $PALVEX_DATA_DIR. When none holds it, the place beside the executable, so a
// message names the first place looked at.
std::string fullPath(const char* fileName);
// The installed data directory for an application directory: "<appDir>../share/palvex/".
std::string installedDataDir(const std::string& appDir);

// The full path of the data file a load is reading, or just failed to read. The next error
// report names it beside its message box, which shows the design's text alone; an empty
// path forgets it.
void setDataFileInQuestion(const std::string& path);

void setErrorLocation(const char* sourceFile, int line);
// Shows "Error at %d line, in %s file" over the formatted message and returns when the
// box is closed; the caller goes on.
int reportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The caption built from the last error location (for tests and the headless box).
const char* lastErrorCaption();
// How many error reports the program has shown (for tools that end with a failure code).
int reportedErrorCount();
