#include "platform/headless/headlessplatform.h"

#include <EGL/eglext.h>
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

bool parseKeyScript(const std::string& text, std::map<long, std::vector<ScriptedKey>>& out, std::string& error) {
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

HeadlessPlatform::HeadlessPlatform(const Options& options) : Platform(options) {}

HeadlessPlatform::~HeadlessPlatform() { soundClose(); }

bool HeadlessPlatform::start(std::string& error) {
    if (!opts.keysFile.empty()) {
        std::ifstream in(opts.keysFile);
        if (!in) {
            error = "cannot read the key script " + opts.keysFile;
            return false;
        }
        std::stringstream text;
        text << in.rdbuf();
        if (!parseKeyScript(text.str(), script, error)) return false;
    }
    startTicks = SDL_GetTicks();
    return true;
}

void* HeadlessPlatform::createWindow(const char* className, const char* title, WindowProc proc) {
    windowProc = proc;
    window = this;
    windowOpen = true;
    if (windowProc) windowProc(window, MsgCreate, 0, 0);
    return window;
}

void HeadlessPlatform::destroyWindow() {
    if (!windowOpen) return;
    windowOpen = false;
    if (windowProc) windowProc(window, MsgDestroy, 0, 0);
}

bool HeadlessPlatform::peekMessage(Message& msg, bool remove) {
    // The scripted events of frame F reach the window procedure before frame F renders.
    const long nextFrame = presented + 1;
    if (queueEmpty() && injectedForFrame < nextFrame) {
        injectedForFrame = nextFrame;
        auto found = script.find(nextFrame);
        if (found != script.end()) {
            for (const ScriptedKey& key : found->second) queueMessage(key.down ? MsgKeyDown : MsgKeyUp, key.key);
        }
    }
    return takeQueued(msg, remove);
}

EGLDisplay HeadlessPlatform::eglDisplayForWindow() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

EGLSurface HeadlessPlatform::createSurface(EGLDisplay display, EGLConfig config) {
    const EGLint attributes[] = {EGL_WIDTH, LOGICAL_WIDTH, EGL_HEIGHT, LOGICAL_HEIGHT, EGL_NONE};
    return eglCreatePbufferSurface(display, config, attributes);
}

uint32_t HeadlessPlatform::tickCount() {
    if (opts.tickMs >= 0) return virtualTicks;
    return SDL_GetTicks() - startTicks;
}

int HeadlessPlatform::messageBox(const char* caption, const char* text) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return 1;
}

void HeadlessPlatform::present(EGLDisplay display, EGLSurface surface) {
    eglSwapBuffers(display, surface);
    if (opts.tickMs >= 0) virtualTicks += static_cast<uint32_t>(opts.tickMs);
}

void HeadlessPlatform::drawableSize(int& width, int& height) const {
    width = LOGICAL_WIDTH;
    height = LOGICAL_HEIGHT;
}

bool HeadlessPlatform::soundInit(int rate, int channels) {
    // SDL_AUDIODRIVER chosen by a test (for example "disk") gives real mixing;
    // --record-sound gives a device that only takes the calls; otherwise silence.
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (driver && driver[0]) return mixer.init(rate, channels);
    recording = opts.recordSound;
    return recording;
}

SampleHandle HeadlessPlatform::loadSample(const char* path, bool loop) {
    if (mixer.ready()) return mixer.load(path, loop);
    if (!recording || !path) return nullptr;
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (!file) return nullptr;
    SDL_RWclose(file);
    // A handle of its own for every sample, so the calls can name what they play.
    recordedSamples.push_back(std::make_unique<int>(static_cast<int>(recordedSamples.size())));
    return recordedSamples.back().get();
}

void HeadlessPlatform::playSound(int channel, SampleHandle sample) {
    if (mixer.ready()) mixer.play(channel, sample);
}

void HeadlessPlatform::stopSound(int channel) {
    if (mixer.ready()) mixer.stop(channel);
}

void HeadlessPlatform::soundClose() {
    mixer.close();
    recording = false;
    recordedSamples.clear();
}

} // namespace platform
