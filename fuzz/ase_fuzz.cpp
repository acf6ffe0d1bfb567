// libFuzzer target for the ASE loader. Every input is read three ways: with the word
// index, pass by pass without it, and by the plain fscanf reading of the tests; the three
// must give the same model, and the sanitizers watch every read and write. The model's
// draw arrays are built too, so face corners beyond the arrays are exercised.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/unit/asereference.h"
#include "loaderase/aseloader.h"
#include "loaderase/asetext.h"
#include "loaderase/modeldump.h"
#include "materialmanager/materialmanager.h"
#include "model.h"
#include "platform/platform.h"

namespace {

std::string readWith(const uint8_t* data, size_t size, int way) {
    const int32_t mark = materialManager.mark();
    std::string dump;
    {
        Model model;
        if (way < 2) {
            auto* loader = new AseLoader();
            model.loader = loader;
            if (way == 0) {
                loader->loadText("fuzz.ase", reinterpret_cast<const char*>(data), size, &model);
            } else {
                reference::loadWordByWord(*loader, "fuzz.ase", std::string(reinterpret_cast<const char*>(data), size), model);
            }
            model.buildDrawArrays();
        } else {
            reference::Reader(ase::decodeText(reinterpret_cast<const char*>(data), size), model).load();
        }
        dump = dumpModel(model, mark, materialManager.count());
    }
    materialManager.dropSince(mark);
    return dump;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        platform::Options options;
        options.headless = true; // error reports go to stderr
        std::string error;
        platform::create(options, error);
        materialManager.setGlEnabled(false);
        return true;
    }();
    (void)ready;
    const std::string indexed = readWith(data, size, 0);
    if (indexed != readWith(data, size, 1) || indexed != readWith(data, size, 2)) {
        std::fprintf(stderr, "the three readings of this input differ\n");
        std::abort();
    }
    return 0;
}
