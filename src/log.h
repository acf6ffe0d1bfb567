// The text log, the application directory and the error report.
#pragma once
#include <cstdio>

class Log {
public:
    Log();
    ~Log();
    // Opens "log.txt" (the bare name) afresh; a log that cannot be opened is skipped.
    void open();
    void close();
    int printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool isOpen() const { return stream != nullptr; }

private:
    FILE* stream = nullptr;
};

extern Log gameLog;

int logPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Works out appDir from the running executable's path and logs it.
void setAppDir();
// The testable core of setAppDir: the directory is the prefix up to and including the
// last '/' or '\\'. A path without any separator gives an empty directory.
void setAppDirFrom(const char* executablePath);

// appDir followed by fileName, in a buffer that the next call replaces. A result that
// would not fit in 1024 characters is refused: the empty string, which opens nothing.
const char* fullPath(const char* fileName);

void setErrorLocation(const char* sourceFile, int line);
// Shows "Error at %d line, in %s file" over the formatted message and returns when the
// box is closed; the caller goes on.
int reportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The caption built from the last error location (for tests and the headless box).
const char* lastErrorCaption();
// How many error reports the program has shown (for tools that end with a failure code).
int reportedErrorCount();
