// Loading ASE text in tests without a GL context: the material table makes no textures,
// error reports go to stderr through the headless platform.
#pragma once
#include <fstream>
#include <sstream>
#include <string>

#include "asereference.h"
#include "loaderase/aseloader.h"
#include "loaderase/modeldump.h"
#include "materialmanager/materialmanager.h"
#include "model.h"
#include "platform/platform.h"

namespace ase_testing {

inline void ensurePlatform() {
    if (platform::exists()) return;
    platform::Options options;
    options.headless = true;
    options.tickMs = 0;
    std::string error;
    platform::create(options, error);
}

enum class Reading { Indexed, WordByWord };

// Loads text into model; the materials it adds stay in the table.
inline void loadInto(Model& model, const std::string& text, Reading reading = Reading::Indexed) {
    ensurePlatform();
    auto* loader = new AseLoader();
    delete model.loader;
    model.loader = loader;
    if (reading == Reading::WordByWord) {
        reference::loadWordByWord(*loader, "test.ase", text, model);
    } else {
        loader->loadText("test.ase", text.data(), text.size(), &model);
    }
}

// The dump of text as the loader reads it; the table is left as it was.
inline std::string dumpOf(const std::string& text, Reading reading = Reading::Indexed) {
    const bool gl = materialManager.isGlEnabled();
    materialManager.setGlEnabled(false);
    const int32_t mark = materialManager.mark();
    Model model;
    loadInto(model, text, reading);
    std::string dump = dumpModel(model, mark, materialManager.count());
    materialManager.dropSince(mark);
    materialManager.setGlEnabled(gl);
    return dump;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The shared corpus's ase/ folder; empty when configuring did not find the corpus.
inline std::string corpusDir() { return std::string(PALVEX_CORPUS).empty() ? "" : std::string(PALVEX_CORPUS) + "/ase/"; }

#define SKIP_WITHOUT_CORPUS() \
    if (ase_testing::corpusDir().empty()) GTEST_SKIP() << "the ASE corpus was not found when configuring"

} // namespace ase_testing
