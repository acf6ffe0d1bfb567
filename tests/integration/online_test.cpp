// Online races between real processes on 127.0.0.1: headless machines that host and join,
// play their key scripts, record, and end together; machines that leave, a host that
// leaves, and joins that are refused or never answered.
#include "integration/gamedir.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <random>
#include <regex>
#include <thread>

using namespace gamedir;

namespace {

// One machine: a game of its own, run in the background.
class Machine {
public:
    Machine() = default;
    ~Machine() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    void start(const std::vector<std::string>& args, const std::string& keys = "") {
        std::ofstream(dir.out + "keys.txt") << keys;
        pid = fork();
        if (pid == 0) {
            ::chdir(dir.out.c_str());
            ::dup2(::open((dir.out + "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 1);
            ::dup2(::open((dir.out + "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
            ::setenv("XDG_CONFIG_HOME", dir.config.c_str(), 1);
            ::setenv("HOME", dir.out.c_str(), 1);
            const std::string binary = dir.game + "palvex";
            std::vector<std::string> all = {"--headless", "--keys", "keys.txt", "--trace",
                                            "trace.jsonl", "--record", "game.pvxr"};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
            for (const std::string& arg : all) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            _exit(121);
        }
    }

    // The port a host said it listens on, waited for up to a few seconds.
    std::string port() const {
        static const std::regex said("hosting on port ([0-9]+)");
        for (int i = 0; i < 500; ++i) {
            std::smatch m;
            const std::string text = errors();
            if (std::regex_search(text, m, said)) return m[1];
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "0";
    }

    // The exit code, once the run ends; a run still going after the limit is killed (-9).
    int finish(int seconds = 60) {
        for (int i = 0; i < seconds * 100; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
        return -9;
    }

    std::string errors() const { return readText(dir.out + "stderr.txt"); }
    std::vector<nlohmann::json> trace() const {
        std::vector<nlohmann::json> lines;
        std::ifstream in(dir.out + "trace.jsonl");
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) lines.push_back(nlohmann::json::parse(line, nullptr, false));
        return lines;
    }
    std::string replay() const { return dir.out + "game.pvxr"; }
    RunResult verify() const { return dir.runArgs({"--verify", "--replay", replay()}); }

    GameDir dir;
    pid_t pid = -1;
};

// A host for `players` machines and the machines joining it, each with its key script and
// arguments of its own (the host's after its usual ones).
struct Session {
    Session(int players, long frames, const std::vector<std::string>& keys,
            const std::vector<std::vector<std::string>>& extra = {}) : machines(size_t(players)) {
        for (size_t m = 0; m < machines.size(); ++m) {
            std::vector<std::string> args;
            // The host's tick is every machine's: the others run on their real clocks until the start.
            if (m == 0)
                args = {"--host", "0", "--players", std::to_string(players), "--frames", std::to_string(frames),
                        "--tick-ms", "16"};
            else args = {"--join", "127.0.0.1:" + port};
            args.push_back("--no-frame-cap");
            if (m < extra.size()) args.insert(args.end(), extra[m].begin(), extra[m].end());
            machines[m].start(args, m < keys.size() ? keys[m] : "");
            if (m == 0) port = machines[0].port();
        }
    }
    std::string port;
    std::vector<Machine> machines;
};

} // namespace

TEST(Online, TwoMachinesRaceTheSameRaceAndEndTogether) {
    // The host's first press starts the race; then each player turns their own bike: the
    // host right at frame 70, the guest left at 100.
    Session session(2, 240, {hold(30, "right") + hold(70, "right"), hold(100, "left")},
                    {{}, {"--screenshot", "shot.png"}});
    for (Machine& m : session.machines) EXPECT_EQ(m.finish(), 0) << m.errors();
    // The guest's screen is player 2's view alone, named in player 2's orange.
    const Shot shot(session.machines[1].dir.out + "shot.png");
    ASSERT_TRUE(shot.valid());
    EXPECT_TRUE(shot.is(4, 4, {255, 114, 0}));
    EXPECT_FALSE(shot.is(4, 150, {255, 114, 0})) << "no second view's label halfway down";
    const auto host = session.machines[0].trace(), guest = session.machines[1].trace();
    // Key-script frames are each machine's own frames, and every machine plays them all.
    ASSERT_EQ(host.size(), 240u);
    ASSERT_EQ(guest.size(), 240u);
    // A trace shows each frame as the machine drew it, the other players' buttons maybe
    // predicted; the replays (the confirmed frames) are what must agree.
    // Whoever turned, it shows on both: each bike's wall has a second quad somewhere.
    for (const auto* trace : {&host, &guest})
        for (int player = 0; player < 2; ++player) {
            int most = 0;
            for (const auto& frame : *trace) most = std::max(most, frame["players"][player]["wallQuads"].get<int>());
            EXPECT_GE(most, 2) << "player " << player + 1 << " turned";
        }
    // A player's keys move their own bike only: the host's turn left the guest's alone.
    EXPECT_EQ(guest[95]["players"][1]["wallQuads"], 1);
    // Every machine recorded the same race, byte for byte.
    EXPECT_TRUE(readBytes(session.machines[0].replay()) == readBytes(session.machines[1].replay()));
    EXPECT_NE(session.machines[0].errors().find("this machine is player 1"), std::string::npos);
    EXPECT_NE(session.machines[1].errors().find("this machine is player 2"), std::string::npos);
}

TEST(Online, ThreeMachinesAndComputerBikesRecordOneRace) {
    Session session(3, 180, {hold(20, "left"), hold(40, "right"), hold(60, "left")}, {{"--opponents", "1"}});
    for (Machine& m : session.machines) EXPECT_EQ(m.finish(), 0) << m.errors();
    const auto host = session.machines[0].trace();
    ASSERT_EQ(host.size(), 180u);
    EXPECT_EQ(host.back()["players"].size(), 3u);
    EXPECT_EQ(host.back()["opponentCount"], 1);
    const std::vector<uint8_t> recorded = readBytes(session.machines[0].replay());
    EXPECT_GT(recorded.size(), 100u);
    for (size_t m = 1; m < 3; ++m) {
        EXPECT_EQ(session.machines[m].trace().size(), 180u) << "machine " << m;
        EXPECT_TRUE(readBytes(session.machines[m].replay()) == recorded) << "machine " << m;
    }
    // The two joining machines sent each other their buttons directly, every frame.
    for (size_t m = 1; m < 3; ++m) {
        const std::string errors = session.machines[m].errors();
        // Seats go in the order the machines got in, which may not be the order they started.
        const bool second = errors.find("this machine is player 2") != std::string::npos;
        const std::string other = second ? "2" : "1";
        EXPECT_NE(errors.find("linked directly with seat " + other), std::string::npos) << errors;
        const std::string sent = "seat " + other + " direct sent ";
        const size_t at = errors.find(sent);
        ASSERT_NE(at, std::string::npos) << errors;
        EXPECT_GT(std::stol(errors.substr(at + sent.size())), 180L * 20) << errors;
    }
}

TEST(Online, AMachineThatLeavesCrashesOutAndTheOthersPlayOn) {
    // The third machine leaves after its 90th frame (a joining machine's --frames).
    Session session(3, 240, {hold(10, "left"), hold(12, "right")}, {{}, {}, {"--frames", "90"}});
    for (Machine& m : session.machines) EXPECT_EQ(m.finish(), 0) << m.errors();
    const auto host = session.machines[0].trace(), stays = session.machines[1].trace();
    ASSERT_EQ(host.size(), 240u);
    ASSERT_EQ(stays.size(), 240u);
    EXPECT_EQ(session.machines[2].trace().size(), 90u);
    // Its bike (the machines take their seats in the order they come) crashed out on the
    // machines that stayed, and stays out (but for the frame in which a round starts
    // again, when it crashes anew).
    std::smatch seat;
    const std::string said = session.machines[2].errors();
    ASSERT_TRUE(std::regex_search(said, seat, std::regex("this machine is player ([23])"))) << said;
    const int gone = std::stoi(seat[1]) - 1;
    for (const auto* trace : {&host, &stays}) {
        int out = 0;
        for (size_t f = trace->size() - 20; f < trace->size(); ++f) out += (*trace)[f]["players"][gone]["alive"] == 0;
        EXPECT_GE(out, 18);
    }
    // Their replays agree, and end where the player left: no key says that.
    EXPECT_TRUE(readBytes(session.machines[0].replay()) == readBytes(session.machines[1].replay()));
    EXPECT_NE(session.machines[0].errors().find("a player left after it"), std::string::npos);
}

// Whether a replay keeps whose each key is (format 3 on): a race of several players needs it
// to play back.
bool namesThePlayers(const std::string& replay) {
    const std::vector<uint8_t> bytes = readBytes(replay);
    return bytes.size() > 10 && (bytes[8] | bytes[9] << 8) >= 3;
}

TEST(Online, EveryMachinesReplayVerifies) {
    // A race played to its end: every replay checks the last frame too.
    Session whole(2, 250, {hold(30, "right") + hold(70, "right"), hold(100, "left")});
    for (Machine& m : whole.machines) EXPECT_EQ(m.finish(), 0) << m.errors();
    if (!namesThePlayers(whole.machines[0].replay())) GTEST_SKIP() << "this game's replays keep one player's keys only";
    for (const Machine& m : whole.machines) {
        const RunResult verified = m.verify();
        EXPECT_EQ(verified.exitCode, 0) << verified.errors;
        EXPECT_NE((verified.out + verified.errors).find("the replay agrees: 250 frames, 5 checks"), std::string::npos)
            << verified.out << verified.errors;
    }
    // A race someone left: the replays of those who stayed end at the last check before
    // the leaving; the leaving machine's at the last frame it had confirmed.
    Session left(3, 200, {hold(10, "left") + hold(40, "right")}, {{}, {}, {"--frames", "130"}});
    for (Machine& m : left.machines) EXPECT_EQ(m.finish(), 0) << m.errors();
    for (const Machine& m : left.machines) {
        const RunResult verified = m.verify();
        EXPECT_EQ(verified.exitCode, 0) << verified.errors;
        if (&m == &left.machines[2]) continue;
        EXPECT_NE((verified.out + verified.errors).find("the replay agrees: 120 frames, 2 checks"), std::string::npos)
            << verified.out << verified.errors;
    }
}

TEST(Online, AFloodOfStrangersDatagramsAtTheHostLeavesTheGameAsItWas) {
    Session session(2, 400, {hold(30, "right") + hold(70, "right"), hold(100, "left")});
    // Random datagrams of random lengths at the host's port from another socket, as fast
    // as they go, until the game ends (at most 200 000 of them).
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::thread flood([&] {
        const int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(std::stoi(session.port)));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::mt19937 random(28);
        uint8_t bytes[1400];
        for (long n = 0; n < 200000 && !stop; ++n) {
            const size_t length = 1 + random() % sizeof bytes;
            for (size_t i = 0; i < length; ++i) bytes[i] = uint8_t(random());
            if (::sendto(sock, bytes, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0) ++sent;
            if (n % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::close(sock);
    });
    int codes[2];
    for (size_t m = 0; m < 2; ++m) codes[m] = session.machines[m].finish();
    stop = true;
    flood.join();
    EXPECT_GT(sent.load(), 1000);
    for (size_t m = 0; m < 2; ++m) EXPECT_EQ(codes[m], 0) << session.machines[m].errors();
    EXPECT_EQ(session.machines[0].trace().size(), 400u);
    EXPECT_TRUE(readBytes(session.machines[0].replay()) == readBytes(session.machines[1].replay()));
    if (!namesThePlayers(session.machines[0].replay())) return;  // verified in EveryMachinesReplayVerifies's way
    const RunResult verified = session.machines[0].verify();
    EXPECT_EQ(verified.exitCode, 0) << verified.errors;
}

TEST(Online, EveryMachineHearsTheConfirmedRacesSounds) {
    // The host's options (sound on) are every machine's; each records its sound calls.
    Machine host, guest;
    writeBytes(host.dir.game + "options.bin", {1, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0});
    writeBytes(host.dir.out + "keys.txt", {});
    host.start({"--host", "0", "--players", "2", "--frames", "400", "--tick-ms", "16", "--no-frame-cap", "--record-sound"},
               hold(30, "right"));
    guest.start({"--join", "127.0.0.1:" + host.port(), "--no-frame-cap", "--record-sound"});
    EXPECT_EQ(host.finish(), 0) << host.errors();
    EXPECT_EQ(guest.finish(), 0) << guest.errors();
    // The race's sounds, from the bikes' setting off (the set-up's own come before).
    auto calls = [](const Machine& m) {
        std::vector<std::string> all;
        for (const auto& frame : m.trace())
            for (const auto& call : frame["sound"])
                if (!all.empty() || call == "play 1 engine") all.push_back(call.get<std::string>());
        return all;
    };
    const std::vector<std::string> heard = calls(host);
    // The bikes set off (the engine) and crash into the arena's edge within 400 frames.
    ASSERT_FALSE(heard.empty());
    EXPECT_NE(std::find(heard.begin(), heard.end(), "play free crash"), heard.end());
    EXPECT_EQ(calls(guest), heard);
}

TEST(Online, TheHostLeavingEndsTheGameForTheOthersWithAMessage) {
    // The host leaves with Escape at its frame 60; its own run ends normally.
    Session session(2, 600, {tap(60, "escape")});
    EXPECT_EQ(session.machines[0].finish(), 0) << session.machines[0].errors();
    EXPECT_EQ(session.machines[1].finish(), 4) << session.machines[1].errors();
    EXPECT_NE(session.machines[1].errors().find("online game ended: the host left"), std::string::npos)
        << session.machines[1].errors();
    EXPECT_LT(session.machines[1].trace().size(), 600u);
}

TEST(Online, JoiningIsRefusedWithTheReasonNamed) {
    // Other model files: the guest's moto3.ase is not the host's.
    {
        Machine host, guest;
        host.start({"--host", "0", "--players", "2", "--frames", "60"});
        std::ofstream(guest.dir.game + "moto3.ase", std::ios::app) << "\n";
        guest.start({"--join", "127.0.0.1:" + host.port(), "--screenshot", "shot.png"});
        EXPECT_EQ(guest.finish(), 4);
        EXPECT_NE(guest.errors().find("other model files (moto3.ase)"), std::string::npos) << guest.errors();
        // The reason is on the screen too: a yellow line and a white one over the dark.
        const Shot shot(guest.dir.out + "shot.png");
        ASSERT_TRUE(shot.valid());
        EXPECT_TRUE(shot.is(2, 2, {16, 16, 32}));
        EXPECT_TRUE(shot.is(shot.width - 3, shot.height - 3, {16, 16, 32}));
        int yellow = 0, white = 0;
        for (const Colour& c : shot.pixels) {
            yellow += c.r > 200 && c.g > 180 && c.b < 80;
            white += c.r > 200 && c.g > 200 && c.b > 200;
        }
        EXPECT_GT(yellow, 100) << "the reason is drawn";
        EXPECT_GT(white, 50) << "the key to press is drawn";
        ::kill(host.pid, SIGTERM);
        host.finish();
    }
    // A third machine for a race of two: whichever of the two joining machines comes
    // second hears "full" while the host still sits in its lobby, "refused" once the race
    // has begun; the other plays.
    {
        Session session(2, 300, {});
        Machine late;
        late.start({"--join", "127.0.0.1:" + session.port, "--no-frame-cap"});
        EXPECT_EQ(session.machines[0].finish(), 0) << session.machines[0].errors();
        const int codes[2] = {session.machines[1].finish(), late.finish()};
        const std::string said[2] = {session.machines[1].errors(), late.errors()};
        const int refusedOne = codes[0] == 4 ? 0 : 1;
        EXPECT_EQ(codes[refusedOne], 4) << said[refusedOne];
        EXPECT_EQ(codes[1 - refusedOne], 0) << said[1 - refusedOne];
        static const std::regex refused("the host refused: (full|refused)");
        EXPECT_TRUE(std::regex_search(said[refusedOne], refused)) << said[refusedOne];
        EXPECT_EQ(session.machines[0].trace().back()["players"].size(), 2u);
    }
}

TEST(Online, NoAnswerFromTheHostEndsTheJoinWithAMessage) {
    Machine guest;
    // A port nobody listens on (the relay's and the tests' ports are taken at random).
    guest.start({"--join", "127.0.0.1:9"});
    EXPECT_EQ(guest.finish(), 4);
    EXPECT_NE(guest.errors().find("no answer from the host"), std::string::npos) << guest.errors();
}

TEST(Online, TheCommandLineSaysWhatAnOnlineRaceNeeds) {
    GameDir dir;
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--host", "--headless"}, "--host needs --players N (2 to 4)"},
        {{"--host", "70000", "--players", "2"}, "a port from 0 to 65535, not '70000'"},
        {{"--join", "host:0", "--headless"}, "HOST or HOST:PORT (a port from 1 to 65535), not 'host:0'"},
        {{"--join", ":28282", "--headless"}, "HOST or HOST:PORT"},
        {{"--host", "--join", "here", "--players", "2"}, "a machine hosts or joins"},
        {{"--join", "here", "--players", "3"}, "the host chooses the players"},
        {{"--host", "--players", "2", "--input-delay", "5"}, "0 to 4, not '5'"},
        {{"--join", "here", "--direct-port", "70000"}, "a port from 0 to 65535, not '70000'"},
        {{"--host", "--players", "2", "--public-port", "4000"}, "--direct-port and --public-port go with --join"},
        {{"--join", "here", "--replay", "x.pvxr"}, "a replay is not played online"},
    };
    for (const auto& c : cases) {
        const RunResult result = dir.runArgs(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.says;
        EXPECT_NE(result.errors.find(c.says), std::string::npos) << result.errors;
    }
}
