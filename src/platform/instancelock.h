// One copy of the game per user and display: a lock file and a Unix socket in a directory
// only the user can enter. The first copy holds the lock (flock, which the kernel lets go
// when the process dies however it dies, so a killed game never locks the next start out)
// and listens on the socket; a second copy finds the lock held, asks through the socket
// for the window to come to the front, forwarding the launcher's activation token, and
// ends. Neither X11 nor Wayland is involved, so it works on both.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <thread>

namespace platform {

// The name of the display or session the game runs on, fit for a file name: the Wayland
// display when one is named, else the X display without its screen number (":0" and
// ":0.0" are one server), else "nodisplay". At most 64 characters: a longer name keeps
// its start and a hash of the whole.
std::string sessionName(const char* waylandDisplay, const char* x11Display);

// The user's private directory for the lock: "RUNTIME/palvex" when runtime (the value of
// XDG_RUNTIME_DIR) is an absolute path, else "FALLBACK/palvex-UID". Created with mode
// 0700 where missing. Refused (false, why says what) unless it is a real directory, not a
// symbolic link, owned by uid and closed to everyone else.
bool privateDirectory(const char* runtime, const std::string& fallbackParent, uid_t uid, std::string& dir,
                      std::string& why);
// The same check for a directory that exists.
bool isPrivateDirectory(const std::string& dir, uid_t uid, std::string& why);

class InstanceLock {
public:
    enum class State { Ours, Held, Unavailable };
    // What the holder does when a second copy asks: called on the listening thread with
    // the forwarded activation token (empty when there was none).
    using RaiseRequest = std::function<void(const std::string& token)>;

    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // Takes "DIR/SESSION.lock" (never through a symbolic link, only a regular file of
    // ours). Unavailable: the lock could not be opened (why says why).
    State acquire(const std::string& dir, const std::string& session, uid_t uid, std::string& why);
    // Once the lock is ours: listens on "DIR/SESSION.sock" and calls raise for each request.
    bool listen(RaiseRequest raise, std::string& why);
    const std::string& socketPath() const { return socket; }

    // A second copy: asks the copy listening at socketPath to come to the front. True when
    // it said it did, within timeoutMs.
    static bool askToRaise(const std::string& socketPath, const std::string& token, int timeoutMs);
    // An activation token fit to forward: printable, no blanks, at most 255 characters.
    static bool tokenIsSane(const std::string& token);

private:
    void serve();
    void answer(int connection);

    int lockFd = -1;
    int listenFd = -1;
    int stopPipe[2] = {-1, -1};
    std::string socket;
    RaiseRequest onRaise;
    std::thread listener;
};

} // namespace platform
