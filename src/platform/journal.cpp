#include "platform/journal.h"

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

bool parseKeyScript(const std::string& text, KeyScript& out, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string frameWord, action, key, extra;
        if (!(words >> frameWord)) continue;
        words >> action >> key;
        const bool extraWords = static_cast<bool>(words >> extra);
        char* end = nullptr;
        const long frame = std::strtol(frameWord.c_str(), &end, 10);
        const uint32_t code = keyCodeByName(key);
        if (*end != '\0' || frame < 1 || (action != "down" && action != "up") || code == 0 || extraWords) {
            error = "key script line " + std::to_string(lineNumber) + " is malformed: \"" + line +
                    "\" (expected FRAME down|up KEY, KEY one of w a s d q e up down left right enter escape)";
            return false;
        }
        out[frame].push_back({action == "down", code});
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
