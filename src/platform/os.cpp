#include "platform/os.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::os {

namespace {

constexpr const char* GAME_FOLDER = "palvex/";
constexpr const char* TEMPORARY_MARK = ".tmp-";

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

// Makes the rename itself survive a power cut; a directory that cannot be opened for
// this (some file systems) does not make the save fail, the data is already on disk.
void syncDirectory(const std::string& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Follows a chain of symbolic links to the file they finally name (which need not exist
// yet). Gives up after as many links as the system itself would follow.
std::string resolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
        const std::string link(target.data(), static_cast<size_t>(n));
        path = link[0] == '/' ? link : directoryOf(path) + link;
    }
    return path;
}

// A temporary file is "<name>.tmp-<pid>"; it is stale once no process of that number runs.
void removeStaleTemporaries(const std::string& dir, const std::string& name) {
    DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!folder) return;
    const std::string prefix = name + TEMPORARY_MARK;
    while (const dirent* entry = ::readdir(folder)) {
        const char* entryName = entry->d_name;
        if (std::strncmp(entryName, prefix.c_str(), prefix.size()) != 0) continue;
        const char* digits = entryName + prefix.size();
        char* end = nullptr;
        errno = 0;
        const long pid = std::strtol(digits, &end, 10);
        if (!digits[0] || *end != '\0' || errno != 0 || pid <= 0 || pid > INT_MAX) continue;
        if (pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlink((dir + entryName).c_str());
    }
    ::closedir(folder);
}

} // namespace

std::string executablePath() {
    // readlink says nothing of the length it needed: grow until the answer fits.
    for (size_t size = 256; size <= (size_t(1) << 24); size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return std::string();
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    }
    return std::string();
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string xdgDir(const char* xdgValue, const char* home, const char* fallback) {
    if (xdgValue && xdgValue[0] == '/') {
        std::string dir = xdgValue;
        if (dir.back() != '/') dir += '/';
        return dir + GAME_FOLDER;
    }
    if (home && home[0]) {
        std::string dir = home;
        if (dir.back() != '/') dir += '/';
        return dir + fallback + GAME_FOLDER;
    }
    return std::string();
}

std::string configDir() { return xdgDir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), ".config/"); }
std::string stateDir() { return xdgDir(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"), ".local/state/"); }
std::string dataDir() { return xdgDir(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), ".local/share/"); }

bool makeDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    size_t start = 0;
    while (start <= dir.size()) {
        size_t slash = dir.find('/', start);
        if (slash == std::string::npos) slash = dir.size();
        const std::string partial = dir.substr(0, slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        start = slash + 1;
    }
    struct stat info;
    return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isWritableDirectory(const std::string& dir) {
    const char* place = dir.empty() ? "." : dir.c_str();
    struct stat info;
    return ::stat(place, &info) == 0 && S_ISDIR(info.st_mode) && ::access(place, W_OK | X_OK) == 0;
}

bool isRegularFile(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::string currentDirectory() {
    for (size_t size = 256; size <= (size_t(1) << 24); size *= 2) {
        std::vector<char> buffer(size);
        if (::getcwd(buffer.data(), buffer.size())) {
            std::string dir = buffer.data();
            if (dir.empty() || dir.back() != '/') dir += '/';
            return dir;
        }
        if (errno != ERANGE) return std::string();
    }
    return std::string();
}

bool sameDirectory(const std::string& a, const std::string& b) {
    struct stat first, second;
    return ::stat(a.empty() ? "." : a.c_str(), &first) == 0 && ::stat(b.empty() ? "." : b.c_str(), &second) == 0 &&
           S_ISDIR(first.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

namespace {

// Reads path into store, which offers data(), capacity() and grow (capacity, kept); the
// number of bytes read goes to got. The store is left as it is on failure: the caller
// clears it.
template <class Store>
ReadStatus readInto(const std::string& path, size_t maxBytes, Store& store, size_t& got) {
    got = 0;
    if (path.empty()) return ReadStatus::Missing;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return ReadStatus::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return ReadStatus::NotRegular;
    }
    if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes) {
        ::close(fd);
        return ReadStatus::TooLarge;
    }
    // The size is only a hint: the file may change under us. Read until the end, never
    // past the bound.
    ReadStatus status = store.grow(static_cast<size_t>(info.st_size) + 1, 0) ? ReadStatus::Ok : ReadStatus::Failed;
    while (status == ReadStatus::Ok) {
        if (got == store.capacity()) {
            if (store.capacity() > maxBytes) {
                status = ReadStatus::TooLarge;
                break;
            }
            if (!store.grow(std::min(maxBytes + 1, store.capacity() * 2), got)) {
                status = ReadStatus::Failed;
                break;
            }
        }
        const ssize_t n = ::read(fd, store.data() + got, store.capacity() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            status = ReadStatus::Failed;
            break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (status == ReadStatus::Ok && got > maxBytes) status = ReadStatus::TooLarge;
    return status;
}

struct VectorStore {
    std::vector<uint8_t>& bytes;
    uint8_t* data() { return bytes.data(); }
    size_t capacity() const { return bytes.size(); }
    bool grow(size_t capacity, size_t) {
        bytes.resize(capacity);
        return true;
    }
};

// Below this a file's memory comes from the heap, which reuses it; a mapping of its own
// pays off only when it can hold at least one whole huge page.
constexpr size_t MAPPED_FROM = size_t{4} << 20;
// The huge page of x86-64 and of arm64 with 4 kB pages; elsewhere an alignment that does
// no harm.
constexpr size_t HUGE_PAGE = size_t{2} << 20;

// Anonymous memory of at least bytes, its start on a huge page, marked for huge pages;
// null when the system has none. mappedLength is what to unmap.
uint8_t* mapForHugePages(size_t bytes, size_t& mappedLength) {
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const size_t page = pageSize > 0 ? static_cast<size_t>(pageSize) : 4096;
    if (bytes > SIZE_MAX - HUGE_PAGE - page) return nullptr;
    const size_t length = (bytes + page - 1) / page * page;
    // A huge page more than needed, so that the start can be aligned; the rest is given
    // back at once and never costs memory.
    void* area = ::mmap(nullptr, length + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const uintptr_t first = reinterpret_cast<uintptr_t>(area);
    const uintptr_t start = (first + HUGE_PAGE - 1) & ~uintptr_t{HUGE_PAGE - 1};
    if (start > first) ::munmap(area, start - first);
    const uintptr_t end = start + length;
    if (first + length + HUGE_PAGE > end) ::munmap(reinterpret_cast<void*>(end), first + length + HUGE_PAGE - end);
#ifdef MADV_HUGEPAGE
    // Only a hint: without huge pages the memory works as well, only more slowly.
    ::madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
#endif
    mappedLength = length;
    return reinterpret_cast<uint8_t*>(start);
}

} // namespace

ReadStatus readWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) {
    out.clear();
    VectorStore store{out};
    size_t got = 0;
    const ReadStatus status = readInto(path, maxBytes, store, got);
    if (status != ReadStatus::Ok) {
        out.clear();
        out.shrink_to_fit();
        return status;
    }
    out.resize(got);
    return ReadStatus::Ok;
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : bytes(other.bytes), length(other.length), room(other.room), mappedLength(other.mappedLength) {
    other.bytes = nullptr;
    other.length = other.room = other.mappedLength = 0;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        clear();
        bytes = other.bytes;
        length = other.length;
        room = other.room;
        mappedLength = other.mappedLength;
        other.bytes = nullptr;
        other.length = other.room = other.mappedLength = 0;
    }
    return *this;
}

void FileBytes::clear() {
    if (mappedLength) {
        ::munmap(bytes, mappedLength);
    } else {
        std::free(bytes);
    }
    bytes = nullptr;
    length = room = mappedLength = 0;
}

bool FileBytes::grow(size_t capacity, size_t kept) {
    size_t newMapped = 0;
    uint8_t* fresh = capacity >= MAPPED_FROM ? mapForHugePages(capacity, newMapped)
                                             : static_cast<uint8_t*>(std::malloc(capacity));
    if (!fresh) return false;
    if (kept) std::memcpy(fresh, bytes, kept);
    clear();
    bytes = fresh;
    room = capacity;
    mappedLength = newMapped;
    return true;
}

ReadStatus readWholeFile(const std::string& path, size_t maxBytes, FileBytes& out) {
    out.clear();
    struct Store {
        FileBytes& out;
        uint8_t* data() { return out.bytes; }
        size_t capacity() const { return out.room; }
        bool grow(size_t capacity, size_t kept) { return out.grow(capacity, kept); }
    } store{out};
    size_t got = 0;
    const ReadStatus status = readInto(path, maxBytes, store, got);
    if (status != ReadStatus::Ok) {
        out.clear();
        return status;
    }
    out.length = got;
    return ReadStatus::Ok;
}

const char* readStatusText(ReadStatus status) {
    switch (status) {
    case ReadStatus::Ok: return "read";
    case ReadStatus::Missing: return "no such file";
    case ReadStatus::NotRegular: return "not a regular file";
    case ReadStatus::TooLarge: return "too large";
    case ReadStatus::Failed: return "cannot be read";
    }
    return "cannot be read";
}

bool writeFileAtomic(const std::string& requested, const void* data, size_t size, std::string* errorText) {
    auto fail = [&](const std::string& why) {
        if (errorText) *errorText = why;
        return false;
    };
    if (requested.empty() || requested.back() == '/') return fail("no file name");
    const std::string path = resolveLinks(requested);
    const std::string dir = directoryOf(path);
    const std::string name = path.substr(dir.size());

    bool keepMode = false;
    mode_t mode = 0;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return fail("not a regular file");
        // The player made the file read-only: respect that, even where the process could
        // replace it anyway (root, or a writable directory).
        if ((info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) return fail("the file is read-only");
        keepMode = true;
        mode = info.st_mode & 07777;
    }
    removeStaleTemporaries(dir, name);

    // One temporary name per process: two copies of the game saving at once never write
    // into each other's file, and the last rename wins with a whole record.
    const std::string temporary = path + TEMPORARY_MARK + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return fail(std::string("cannot create ") + temporary + ": " + std::strerror(errno));
    bool ok = writeAll(fd, static_cast<const uint8_t*>(data), size);
    ok = ok && (!keepMode || ::fchmod(fd, mode) == 0);
    ok = ok && ::fsync(fd) == 0;
    int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        savedErrno = errno ? errno : savedErrno;
        ::unlink(temporary.c_str());
        return fail(std::string("cannot write ") + path + ": " + std::strerror(savedErrno));
    }
    syncDirectory(dir);
    return true;
}

std::vector<std::string> listDirectory(const std::string& dir) {
    std::vector<std::string> names;
    DIR* folder = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!folder) return names;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(folder);
    return names;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string timestampForFileName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

} // namespace platform::os
