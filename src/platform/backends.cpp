// The backend table: the options choose the desktop window or the headless bench.
#include "platform/headless/headlessplatform.h"
#include "platform/platform.h"
#include "platform/sdl/sdlplatform.h"

namespace platform {

namespace {
std::unique_ptr<Platform> instance;

template <typename Backend>
CreateResult start(const Options& options, std::string& error) {
    auto backend = std::make_unique<Backend>(options);
    if (!options.keysFile.empty() && !backend->journal().loadKeyScript(options.keysFile, error))
        return CreateResult::BadUsage;
    if (!backend->start(error)) return CreateResult::Failed;
    Platform::catchEndSignals();
    instance = std::move(backend);
    return CreateResult::Ok;
}
} // namespace

CreateResult create(const Options& options, std::string& error) {
    if (options.headless) return start<HeadlessPlatform>(options, error);
    return start<SdlPlatform>(options, error);
}

void destroy() { instance.reset(); }

Platform& get() { return *instance; }

bool exists() { return instance != nullptr; }

} // namespace platform
