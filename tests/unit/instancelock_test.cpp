// One copy per user and display: the lock in a private directory, never through a link,
// never left held by a killed game, and the call to the front through the socket.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/instancelock.h"

namespace fs = std::filesystem;
using platform::InstanceLock;
using State = platform::InstanceLock::State;

namespace {

class InstanceLocks : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/palvex-lock-XXXXXX";
        base = mkdtemp(pattern);
        std::string why;
        ASSERT_TRUE(platform::privateDirectory(base.c_str(), "/nonexistent", getuid(), dir, why)) << why;
    }
    void TearDown() override { fs::remove_all(base); }
    std::string base, dir;
};

} // namespace

TEST(SessionName, OneNamePerDisplayFitForAFileName) {
    using platform::sessionName;
    EXPECT_EQ(sessionName("wayland-1", ":0"), "wayland-wayland-1"); // Wayland wins
    EXPECT_EQ(sessionName("", ":0"), "x11-:0");
    EXPECT_EQ(sessionName(nullptr, ":0.0"), sessionName(nullptr, ":0")); // one server, two screens
    EXPECT_EQ(sessionName(nullptr, "host.example:10.1"), "x11-host.example:10");
    EXPECT_NE(sessionName(nullptr, ":1"), sessionName(nullptr, ":0"));
    EXPECT_EQ(sessionName(nullptr, nullptr), "nodisplay");
    // A path as the Wayland display: no slash reaches the file name.
    EXPECT_EQ(sessionName("/run/user/7/wayland-0", nullptr), "wayland-_run_user_7_wayland-0");
    // Long names keep their start and differ by the hash of the whole.
    const std::string a(200, 'a'), b = std::string(199, 'a') + "b";
    const std::string longA = sessionName(a.c_str(), nullptr), longB = sessionName(b.c_str(), nullptr);
    EXPECT_LE(longA.size(), 64u);
    EXPECT_EQ(longA.size(), longB.size());
    EXPECT_NE(longA, longB);
    EXPECT_EQ(longA.rfind("wayland-aaaa", 0), 0u);
}

TEST_F(InstanceLocks, PrivateDirectoryIsMadeClosedAndRefusedWhenNotOurs) {
    struct stat status {};
    ASSERT_EQ(lstat(dir.c_str(), &status), 0);
    EXPECT_EQ(dir, base + "/palvex");
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    std::string again, why;
    EXPECT_TRUE(platform::privateDirectory(base.c_str(), "/nonexistent", getuid(), again, why)) << why;

    // Without a runtime directory (or a relative one): the fallback parent, named by uid.
    std::string fallback;
    EXPECT_TRUE(platform::privateDirectory("relative", base, getuid(), fallback, why)) << why;
    EXPECT_EQ(fallback, base + "/palvex-" + std::to_string(getuid()));

    // Someone else's: a directory owned by another uid (seen from that uid's side), one
    // open to others, a symbolic link to a directory of ours.
    EXPECT_FALSE(platform::isPrivateDirectory(dir, getuid() + 1, why));
    EXPECT_NE(why.find("belongs to another user"), std::string::npos) << why;
    const std::string shared = base + "/palvex-" + std::to_string(getuid() + 7);
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    std::string planted;
    EXPECT_FALSE(platform::privateDirectory(nullptr, base, getuid() + 7, planted, why));
    EXPECT_FALSE(platform::isPrivateDirectory(shared, getuid(), why));
    EXPECT_NE(why.find("open to other users"), std::string::npos) << why;
    const std::string linkParent = base + "/linked";
    ASSERT_EQ(mkdir(linkParent.c_str(), 0700), 0);
    ASSERT_EQ(symlink(dir.c_str(), (linkParent + "/palvex").c_str()), 0);
    std::string viaLink;
    EXPECT_FALSE(platform::privateDirectory(linkParent.c_str(), "/nonexistent", getuid(), viaLink, why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
}

TEST_F(InstanceLocks, OneHolderPerDisplayAndALinkIsNeverFollowed) {
    InstanceLock first, second, otherDisplay;
    std::string why;
    EXPECT_EQ(first.acquire(dir, "x11-:0", getuid(), why), State::Ours) << why;
    EXPECT_EQ(second.acquire(dir, "x11-:0", getuid(), why), State::Held);
    EXPECT_EQ(otherDisplay.acquire(dir, "x11-:1", getuid(), why), State::Ours) << why;

    // A link planted where a lock would be: refused, and its target left alone.
    const std::string target = base + "/precious";
    std::ofstream(target) << "keep";
    ASSERT_EQ(symlink(target.c_str(), (dir + "/wayland-0.lock").c_str()), 0);
    InstanceLock linked;
    EXPECT_EQ(linked.acquire(dir, "wayland-0", getuid(), why), State::Unavailable);
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
    // Something not a file there (a directory): refused too, never waited on.
    ASSERT_EQ(mkdir((dir + "/odd.lock").c_str(), 0700), 0);
    InstanceLock odd;
    EXPECT_EQ(odd.acquire(dir, "odd", getuid(), why), State::Unavailable);
    // A file of ours seen as another user's is not taken.
    InstanceLock foreign;
    EXPECT_EQ(foreign.acquire(dir, "x11-:5", getuid() + 1, why), State::Unavailable);
}

TEST_F(InstanceLocks, AKilledHolderLeavesNoLockAndNoSocketInTheWay) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock held;
        std::string why;
        const bool ours = held.acquire(dir, "wayland-0", getuid(), why) == State::Ours &&
                          held.listen([](const std::string&) {}, why);
        const char byte = ours ? 1 : 0;
        if (write(ready[1], &byte, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    InstanceLock second;
    std::string why;
    EXPECT_EQ(second.acquire(dir, "wayland-0", getuid(), why), State::Held);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    // The dead game's socket file is still there; nobody answers it.
    EXPECT_TRUE(fs::exists(dir + "/wayland-0.sock"));
    EXPECT_FALSE(InstanceLock::askToRaise(dir + "/wayland-0.sock", "", 500));
    InstanceLock next;
    EXPECT_EQ(next.acquire(dir, "wayland-0", getuid(), why), State::Ours) << why;
    EXPECT_TRUE(next.listen([](const std::string&) {}, why)) << why;
    EXPECT_TRUE(InstanceLock::askToRaise(next.socketPath(), "", 2000));
}

TEST_F(InstanceLocks, ASecondCopyCallsTheFirstToTheFrontWithItsToken) {
    std::mutex seenMutex;
    std::vector<std::string> seen;
    {
        InstanceLock first;
        std::string why;
        ASSERT_EQ(first.acquire(dir, "wayland-1", getuid(), why), State::Ours) << why;
        ASSERT_TRUE(first.listen(
            [&](const std::string& token) {
                std::lock_guard<std::mutex> hold(seenMutex);
                seen.push_back(token);
            },
            why))
            << why;
        EXPECT_TRUE(InstanceLock::askToRaise(first.socketPath(), "launcher-token_42", 2000));
        EXPECT_TRUE(InstanceLock::askToRaise(first.socketPath(), "", 2000));
        // A token with blanks or control characters is not forwarded; the call still counts.
        EXPECT_TRUE(InstanceLock::askToRaise(first.socketPath(), "two words\n", 2000));
        // A caller that connects and says nothing holds the listener up a second at most.
        const int mute = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", first.socketPath().c_str());
        ASSERT_EQ(connect(mute, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_TRUE(InstanceLock::askToRaise(first.socketPath(), "after-the-mute-one", 3000));
        close(mute);
        // A caller that asks and hangs up at once: the answer goes nowhere, and neither
        // a SIGPIPE nor a stuck listener follows.
        const int hasty = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(connect(hasty, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(write(hasty, "raise hasty\n", 12), 12);
        close(hasty);
        EXPECT_TRUE(InstanceLock::askToRaise(first.socketPath(), "after-the-hasty-one", 3000));
    }
    // The first copy gone: its socket is gone with it.
    EXPECT_FALSE(fs::exists(dir + "/wayland-1.sock"));
    EXPECT_FALSE(InstanceLock::askToRaise(dir + "/wayland-1.sock", "", 500));
    const std::vector<std::string> expected = {"launcher-token_42", "", "", "after-the-mute-one", "hasty",
                                               "after-the-hasty-one"};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(InstanceLock::tokenIsSane(std::string(256, 't')));
    EXPECT_TRUE(InstanceLock::tokenIsSane(std::string(255, 't')));
}
