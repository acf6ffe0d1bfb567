// libFuzzer target for the desktop's settings file. Any bytes are parsed as the file's
// text, then read back through a real file as the game reads it; whatever the text, the
// result is usable: every number within its range, the cursor keys, Return, Keypad Enter
// and Escape on their own actions, no key or button bound to two actions, at most a
// message a line plus one per binding set aside, each naming the file, and the file read
// from disk the same as the text.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include <SDL_gamecontroller.h>
#include <SDL_keycode.h>

#include "platform/settings.h"

namespace {

bool sameSettings(const platform::Settings& a, const platform::Settings& b) {
    return a.scale == b.scale && a.fullscreen == b.fullscreen && a.frameCap == b.frameCap &&
           a.quitOnFocusLoss == b.quitOnFocusLoss && a.replaysKept == b.replaysKept &&
           a.bindings.keys == b.bindings.keys && a.bindings.pad == b.bindings.pad;
}

// Each code on at most one action.
bool boundOnce(const std::array<std::vector<int32_t>, platform::ActionCount>& codes) {
    std::map<int32_t, int> owner;
    for (int action = 0; action < platform::ActionCount; ++action)
        for (int32_t code : codes[action])
            if (!owner.emplace(code, action).second && owner[code] != action) return false;
    return true;
}

bool hasKey(const platform::Settings& s, platform::Action action, int32_t key) {
    const auto& keys = s.bindings.keys[action];
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

const std::string& scratchFile() {
    static const std::string path = [] {
        char dir[] = "/tmp/palvex-settings-fuzz-XXXXXX";
        const char* made = mkdtemp(dir);
        if (!made) std::abort();
        return std::string(made) + "/palvex.ini";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string name = "fuzz.ini";
    std::vector<std::string> messages;
    const platform::Settings settings = platform::parseSettings(text, name, messages);

    if (settings.scale < 0 || settings.scale > 64) std::abort();
    if (settings.replaysKept < 0 || settings.replaysKept > 100000) std::abort();
    using platform::ActionBack, platform::ActionDown, platform::ActionLeft, platform::ActionRight,
        platform::ActionSelect, platform::ActionUp;
    if (!hasKey(settings, ActionUp, SDLK_UP) || !hasKey(settings, ActionDown, SDLK_DOWN) ||
        !hasKey(settings, ActionLeft, SDLK_LEFT) || !hasKey(settings, ActionRight, SDLK_RIGHT) ||
        !hasKey(settings, ActionSelect, SDLK_RETURN) || !hasKey(settings, ActionSelect, SDLK_KP_ENTER) ||
        !hasKey(settings, ActionBack, SDLK_ESCAPE))
        std::abort();
    if (!boundOnce(settings.bindings.keys) || !boundOnce(settings.bindings.pad)) std::abort();
    for (const auto& buttons : settings.bindings.pad)
        for (int32_t button : buttons)
            if (button < 0 || button >= SDL_CONTROLLER_BUTTON_MAX) std::abort();

    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    if (messages.size() > lines + 2 * platform::ActionCount) std::abort();
    for (const std::string& message : messages)
        if (message.compare(0, name.size() + 6, name + " line ") != 0) std::abort();

    // The same text from a file, as the game reads it.
    const std::string& path = scratchFile();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
        std::vector<std::string> fromFileMessages;
        const platform::Settings fromFile = platform::loadSettings(path, fromFileMessages);
        unlink(path.c_str());
        // loadSettings names the file by its path; only the number of messages compares.
        if (!sameSettings(fromFile, settings) || fromFileMessages.size() != messages.size()) std::abort();
    }
    return 0;
}
