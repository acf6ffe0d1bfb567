#include "platform/instancelock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

constexpr size_t MAX_SESSION_NAME = 64;
constexpr size_t MAX_TOKEN = 255;
constexpr size_t MAX_REQUEST = 8 + MAX_TOKEN + 1; // "raise " token "\n"

std::string fileSafe(const std::string& text) {
    std::string safe;
    for (char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == ':';
        safe += keep ? c : '_';
    }
    return safe;
}

// Waits until fd can be read (or written) or the time is up.
bool ready(int fd, short events, int timeoutMs) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const int n = poll(&entry, 1, timeoutMs);
        if (n > 0) return (entry.revents & (events | POLLHUP)) != 0;
        if (n == 0 || errno != EINTR) return false;
    }
}

bool fillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string why(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

} // namespace

std::string sessionName(const char* waylandDisplay, const char* x11Display) {
    std::string name;
    if (waylandDisplay && waylandDisplay[0]) {
        name = std::string("wayland-") + waylandDisplay;
    } else if (x11Display && x11Display[0]) {
        std::string display = x11Display;
        const size_t colon = display.rfind(':');
        const size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
        if (colon != std::string::npos && dot != std::string::npos) display.erase(dot);
        name = "x11-" + display;
    } else {
        return "nodisplay";
    }
    std::string safe = fileSafe(name);
    if (safe.size() <= MAX_SESSION_NAME) return safe;
    uint64_t hash = 14695981039346656037ull; // FNV-1a of the whole name
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char tail[20];
    std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
    return safe.substr(0, MAX_SESSION_NAME - std::strlen(tail)) + tail;
}

bool isPrivateDirectory(const std::string& dir, uid_t uid, std::string& whyNot) {
    struct stat status {};
    if (lstat(dir.c_str(), &status) != 0) {
        whyNot = why("cannot look at", dir);
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        whyNot = dir + " is a symbolic link";
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        whyNot = dir + " is not a directory";
        return false;
    }
    if (status.st_uid != uid) {
        whyNot = dir + " belongs to another user";
        return false;
    }
    if (status.st_mode & (S_IRWXG | S_IRWXO)) {
        whyNot = dir + " is open to other users";
        return false;
    }
    return true;
}

bool privateDirectory(const char* runtime, const std::string& fallbackParent, uid_t uid, std::string& dir,
                      std::string& whyNot) {
    if (runtime && runtime[0] == '/') dir = std::string(runtime) + "/palvex";
    else dir = fallbackParent + "/palvex-" + std::to_string(uid);
    // mkdir never follows a link of that name: it fails with EEXIST, and the check below
    // then finds the link.
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        whyNot = why("cannot create", dir);
        return false;
    }
    return isPrivateDirectory(dir, uid, whyNot);
}

InstanceLock::~InstanceLock() {
    if (listener.joinable()) {
        const char stop = 1;
        // An empty pipe always takes the byte.
        if (write(stopPipe[1], &stop, 1) < 0) std::perror("palvex: instance lock");
        listener.join();
    }
    for (int fd : stopPipe)
        if (fd >= 0) close(fd);
    if (listenFd >= 0) {
        close(listenFd);
        unlink(socket.c_str()); // only ever bound while the lock was ours
    }
    if (lockFd >= 0) close(lockFd); // the lock goes last: nobody else may bind meanwhile
}

InstanceLock::State InstanceLock::acquire(const std::string& dir, const std::string& session, uid_t uid,
                                          std::string& whyNot) {
    const std::string path = dir + "/" + session + ".lock";
    socket = dir + "/" + session + ".sock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        whyNot = why("cannot open the lock", path);
        return State::Unavailable;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != uid) {
        close(fd);
        whyNot = "the lock " + path + " is not a file of this user";
        return State::Unavailable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        whyNot = why("cannot take the lock", path);
        close(fd);
        return held ? State::Held : State::Unavailable;
    }
    lockFd = fd;
    return State::Ours;
}

bool InstanceLock::listen(RaiseRequest raise, std::string& whyNot) {
    sockaddr_un address;
    if (lockFd < 0 || !fillAddress(socket, address)) {
        whyNot = "no room for the socket's path " + socket;
        return false;
    }
    // Whatever is there was left by a copy that held the lock before us and died.
    unlink(socket.c_str());
    listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0 || bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd, 4) != 0 || pipe2(stopPipe, O_CLOEXEC) != 0) {
        whyNot = why("cannot listen on", socket);
        if (listenFd >= 0) close(listenFd);
        listenFd = -1;
        return false;
    }
    onRaise = std::move(raise);
    listener = std::thread([this] { serve(); });
    return true;
}

void InstanceLock::serve() {
    for (;;) {
        pollfd entries[2] = {{listenFd, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        if (poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (entries[1].revents) return;
        if (!(entries[0].revents & POLLIN)) continue;
        const int connection = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        answer(connection);
        close(connection);
    }
}

// One request, "raise TOKEN\n" or "raise\n", read within a second: a copy that connects
// and says nothing cannot hold the listener up for long.
void InstanceLock::answer(int connection) {
    std::string request;
    char buffer[128];
    while (request.find('\n') == std::string::npos && request.size() < MAX_REQUEST) {
        if (!ready(connection, POLLIN, 1000)) return;
        const ssize_t n = read(connection, buffer, sizeof buffer);
        if (n <= 0) return;
        request.append(buffer, static_cast<size_t>(n));
    }
    const size_t end = request.find('\n');
    if (end == std::string::npos) return;
    request.erase(end);
    std::string token;
    if (request.rfind("raise ", 0) == 0) token = request.substr(6);
    else if (request != "raise") return;
    if (!token.empty() && !tokenIsSane(token)) token.clear();
    onRaise(token);
    // MSG_NOSIGNAL: a caller that hung up before the answer must not end the game with SIGPIPE.
    static const char reply[] = "raised\n";
    if (ready(connection, POLLOUT, 1000)) send(connection, reply, sizeof reply - 1, MSG_NOSIGNAL);
}

bool InstanceLock::tokenIsSane(const std::string& token) {
    if (token.empty() || token.size() > MAX_TOKEN) return false;
    for (unsigned char c : token)
        if (c <= ' ' || c >= 127) return false;
    return true;
}

bool InstanceLock::askToRaise(const std::string& socketPath, const std::string& token, int timeoutMs) {
    sockaddr_un address;
    if (!fillAddress(socketPath, address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool raised = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = tokenIsSane(token) ? "raise " + token + "\n" : "raise\n";
        std::string reply;
        char buffer[16];
        if (ready(fd, POLLOUT, timeoutMs) && send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
            while (reply.find('\n') == std::string::npos && reply.size() < sizeof buffer && ready(fd, POLLIN, timeoutMs)) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n <= 0) break;
                reply.append(buffer, static_cast<size_t>(n));
            }
        }
        raised = reply == "raised\n";
    }
    close(fd);
    return raised;
}

} // namespace platform
