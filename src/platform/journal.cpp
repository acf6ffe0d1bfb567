#include "platform/journal.h"

#include <cerrno>
#include <string_view>

#include <cstdlib>
#include <sstream>

#include "platform/os.h"

namespace platform {

uint32_t keyCodeByName(const std::string& name) {
    static const std::map<std::string, uint32_t> names = {
        {"w", VK_W},         {"a", VK_A},           {"s", VK_S},         {"d", VK_D},
        {"q", VK_Q},         {"e", VK_E},           {"up", VK_UP},       {"down", VK_DOWN},
        {"left", VK_LEFT},   {"right", VK_RIGHT},   {"enter", VK_RETURN}, {"escape", VK_ESCAPE},
    };
    auto found = names.find(name);
    return found == names.end() ? 0 : found->second;
}

namespace {

// A script line is a few words; what a message repeats of a malformed one is bounded and
// shown without its control characters.
constexpr size_t MAX_SCRIPT_LINE = 200;
constexpr size_t ECHOED = 60;
// The frame counter's range, as for --frames.
constexpr long MAX_SCRIPT_FRAME = 1000000000L;

std::string echo(std::string_view line) {
    std::string shown;
    for (char c : line.substr(0, ECHOED)) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (line.size() > ECHOED) shown += "... (" + std::to_string(line.size()) + " characters)";
    return shown;
}

// "N:KEY": player N's key. The player's meaning of the key is the action it stands for, as
// a player's binding gives it: W and the cursor-up key are both up. Enter and Escape are
// everybody's and take no player.
bool playerKey(const std::string& word, uint32_t& code, intptr_t& lParam) {
    lParam = 0;
    std::string name = word;
    const size_t colon = word.find(':');
    int player = 0;
    if (colon != std::string::npos) {
        if (colon != 1 || word[0] < '1' || word[0] > '0' + MAX_PLAYERS) return false;
        player = word[0] - '0';
        name = word.substr(colon + 1);
    }
    code = keyCodeByName(name);
    if (code == 0) return false;
    if (player == 0) return true;
    static const std::map<uint32_t, uint32_t> meaning = {
        {VK_W, VK_UP},     {VK_UP, VK_UP},       {VK_S, VK_DOWN}, {VK_DOWN, VK_DOWN}, {VK_A, VK_LEFT},
        {VK_LEFT, VK_LEFT}, {VK_D, VK_RIGHT},     {VK_RIGHT, VK_RIGHT}, {VK_Q, VK_Q}, {VK_E, VK_E},
    };
    const auto found = meaning.find(code);
    if (found == meaning.end()) return false;
    lParam = keyOfPlayer(player, found->second);
    return true;
}

} // namespace

bool parseKeyScript(const std::string& text, KeyScript& out, std::string& error) {
    int lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t stop = text.find('\n', start);
        if (stop == std::string::npos) stop = text.size();
        std::string_view whole(text.data() + start, stop - start);
        start = stop + 1;
        ++lineNumber;
        auto malformed = [&](std::string_view line) {
            error = "key script line " + std::to_string(lineNumber) + " is malformed: \"" + echo(line) +
                    "\" (expected FRAME down|up [N:]KEY, FRAME from 1 to " + std::to_string(MAX_SCRIPT_FRAME) +
                    ", KEY one of w a s d q e up down left right enter escape, N: player N's key, N from 1 to " +
                    std::to_string(MAX_PLAYERS) + ", never on enter or escape)";
            return false;
        };
        const std::string_view line = whole.substr(0, whole.find('#'));
        if (line.size() > MAX_SCRIPT_LINE) return malformed(line);
        std::istringstream words{std::string(line)};
        std::string frameWord, action, key, extra;
        if (!(words >> frameWord)) continue;
        words >> action >> key;
        const bool extraWords = static_cast<bool>(words >> extra);
        char* end = nullptr;
        errno = 0;
        const long frame = std::strtol(frameWord.c_str(), &end, 10);
        uint32_t code = 0;
        intptr_t lParam = 0;
        if (errno != 0 || *end != '\0' || frame < 1 || frame > MAX_SCRIPT_FRAME || (action != "down" && action != "up") ||
            !playerKey(key, code, lParam) || extraWords)
            return malformed(line);
        out[frame].push_back({action == "down", code, lParam});
    }
    return true;
}

bool Journal::loadKeyScript(const std::string& path, std::string& error) {
    std::vector<uint8_t> bytes;
    // A script is text the tests write; a gigabyte of it is a mistake, not a script.
    const os::ReadStatus status = os::readWholeFile(path, size_t(1) << 30, bytes);
    if (status != os::ReadStatus::Ok) {
        error = "cannot read the key script " + path + " (" + os::readStatusText(status) + ")";
        return false;
    }
    KeyScript script;
    if (!parseKeyScript(std::string(bytes.begin(), bytes.end()), script, error)) return false;
    keys = std::move(script);
    return true;
}

uint32_t Journal::tick(uint32_t realTicks) {
    const uint32_t value = source ? source->nextTick() : peek(realTicks);
    if (listener) listener->tickRead(framesPresented + 1, value);
    return value;
}

void Journal::delivered(const Message& msg) {
    if (listener) listener->delivered(framesPresented + 1, msg);
}

void Journal::presented() {
    ++framesPresented;
    if (stepMs >= 0) virtualTicks += static_cast<uint32_t>(stepMs);
    if (source) source->presented(framesPresented - sourceStart);
    if (listener) listener->presented(framesPresented);
}

} // namespace platform
