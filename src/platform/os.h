// What the game needs of the operating system, in one place: the executable's path, the
// XDG places, directories, whole-file reads and atomic writes. Everything here works for
// paths of any length and never blocks on a special file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::os {

// The running executable's path, however long; empty when the system cannot say.
std::string executablePath();
// The prefix of path up to and including its last '/' (empty when it has none).
std::string directoryOf(const std::string& path);

// The game's folder in each XDG place, ending in '/': "$XDG_CONFIG_HOME/palvex/" (only an
// absolute value counts), else "$HOME/.config/palvex/"; likewise the state
// ("~/.local/state") and data ("~/.local/share") places. Empty without HOME.
std::string configDir();
std::string stateDir();
std::string dataDir();
// The same rule for one variable, for tests: xdgValue first, else home + fallback.
std::string xdgDir(const char* xdgValue, const char* home, const char* fallback);

// Creates dir and its missing parents (mode 0700 for new ones); true when it is a directory.
bool makeDirectories(const std::string& dir);
// True when dir exists and this process may create files in it.
bool isWritableDirectory(const std::string& dir);
// True for an existing regular file (after following symbolic links).
bool isRegularFile(const std::string& path);
bool isDirectory(const std::string& path);
// True when anything of that name exists (a dangling link does not).
bool exists(const std::string& path);
// The current working directory ending in '/', however long; empty when unknown.
std::string currentDirectory();
// True when both name the same directory (the same device and inode).
bool sameDirectory(const std::string& a, const std::string& b);

enum class ReadStatus {
    Ok,
    Missing,     // no such file
    NotRegular,  // a directory, FIFO, device or socket: never opened for reading
    TooLarge,    // more than the bound the caller gave
    Failed,      // any other error
};

// Reads the whole file into memory. The open never blocks (a FIFO is refused, not waited
// for), the file must be regular, and at most maxBytes are ever read: a file that grows
// past the bound while it is read is refused like one that was too large from the start.
// What is read is a copy, so another program shortening or rewriting the file afterwards
// cannot hurt the reader.
ReadStatus readWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out);

// A file's bytes in memory that is neither zeroed by the reader nor shared with the file.
// A large file gets a mapping of its own in huge pages where the system grants them: the
// first touch of every fresh 4 kB page is a fault, a clear and its accounting, and for a
// file of tens of MB those cost several times the read itself.
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    ~FileBytes() { clear(); }

    uint8_t* data() { return bytes; }
    const uint8_t* data() const { return bytes; }
    size_t size() const { return length; }
    bool empty() const { return length == 0; }
    // Gives the memory back.
    void clear();

private:
    friend ReadStatus readWholeFile(const std::string& path, size_t maxBytes, FileBytes& out);
    // Room for capacity bytes, the first `kept` of the old room copied over; false, with
    // the old room kept, when the system has no memory for it.
    bool grow(size_t capacity, size_t kept);

    uint8_t* bytes = nullptr;
    size_t length = 0;
    size_t room = 0;
    size_t mappedLength = 0; // 0 for memory from the heap
};

// The same read into a FileBytes, for files large enough that their memory costs count.
ReadStatus readWholeFile(const std::string& path, size_t maxBytes, FileBytes& out);
const char* readStatusText(ReadStatus status);

// Replaces path with the bytes through a temporary file in the same directory, flushed to
// disk before it is renamed over the target, so the old file stays whole until the new one
// is. A symbolic link is followed: its target is replaced in the target's own directory. A
// target that is not writable (mode 444, say) is respected: nothing is replaced and the
// write fails. Temporary files this game left behind (a save that was killed) are removed.
// On failure errorText says why.
bool writeFileAtomic(const std::string& path, const void* data, size_t size, std::string* errorText = nullptr);

// The names in a directory (not "." and ".."); empty when it cannot be read.
std::vector<std::string> listDirectory(const std::string& dir);
bool removeFile(const std::string& path);

// "YYYYMMDD-HHMMSS" of the local time now, for file names.
std::string timestampForFileName();

} // namespace platform::os
