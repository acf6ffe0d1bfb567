// asedump: prints what the game reads from ASE model files, one record per line.
//
// The loader runs as in the game, but without a GL context: the material table is told
// to make no textures (it keeps every other effect), so no window, pbuffer or image files
// are needed. Error reports go to stderr through the headless message box.
#include <cstdio>
#include <cstring>
#include <string>

#include "loaderase/aseloader.h"
#include "loaderase/modeldump.h"
#include "log.h"
#include "materialmanager/materialmanager.h"
#include "model.h"
#include "platform/platform.h"

namespace {

const char* usage =
    "Usage: asedump FILE...\n"
    "Reads each ASE model file as the game does and prints what it read:\n"
    "  file NAME\n"
    "  material INDEX name \"NAME\" bitmap \"BITMAP\" diffuse R G B utiling U vtiling V\n"
    "  object N material INDEX tex H vertices V faces F tvertices T\n"
    "  v I X Y Z\n"
    "  t I U V\n"
    "  f I A B C TA TB TC\n"
    "INDEX is the index in the program-wide material table (the first file's first\n"
    "material is 0; -1: none); diffuse is raw 16.16 fixed point; floats are printed\n"
    "with %.9g; N counts the objects of a file from 0; H is 1 when the object has\n"
    "texture coordinates. Vertices are in the game's axes (x, file Z, minus file Y),\n"
    "texture vertices already scaled by their material's tiling.\n"
    "Errors go to stderr with the game's message; the exit code is then 1.\n";

void dumpFile(const char* path) {
    const int32_t firstMaterial = materialManager.count();
    Model model;
    auto* loader = new AseLoader();
    model.loader = loader;
    loader->loadPath(path, &model);
    const std::string text = dumpModel(model, firstMaterial, materialManager.count());
    std::printf("file %s\n", path);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    platform::Options options;
    options.headless = true;
    std::string error;
    if (platform::create(options, error) != platform::CreateResult::Ok) {
        std::fprintf(stderr, "asedump: %s\n", error.c_str());
        return 2;
    }
    materialManager.setGlEnabled(false);
    for (int i = 1; i < argc; ++i) dumpFile(argv[i]);
    std::fflush(stdout);
    const int failed = reportedErrorCount() > 0 ? 1 : 0;
    platform::destroy();
    return failed;
}
