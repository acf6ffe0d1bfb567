// Reading ASE files: the game's loader against assimp's importer (no post-processing) on
// a real motion-capture file and on generated arenas of 50,000 and 100,000 faces, the
// second showing whether the time grows in proportion to the file. Both read from disk;
// the loader runs without GL, so no textures are made. (An arena of 200,000 faces is a
// 77 MB file, more than the loader holds for one model.)
#include <benchmark/benchmark.h>

#include <assimp/cimport.h>
#include <assimp/scene.h>

#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

#include "../bench/arenagen.h"
#include "loaderase/aseloader.h"
#include "materialmanager/materialmanager.h"
#include "model.h"
#include "platform/platform.h"

namespace {

const std::string motionCapture = PALVEX_CORPUS "/ase/MotionCaptureROM.ase"; // missing: skipped

std::string arenaFile(int faces) {
    static std::map<int, std::string> paths;
    auto found = paths.find(faces);
    if (found != paths.end()) return found->second;
    const std::string path = std::string(PALVEX_BINARY_DIR) + "/bench_arena_" + std::to_string(faces) + ".ase";
    const int cols = 250;
    const int rows = faces / (2 * cols);
    const std::string text = arenagen::floorAse(cols, rows);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    paths[faces] = path;
    return path;
}

size_t fileSize(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size > 0 ? static_cast<size_t>(size) : 0;
}

void loadWithAseLoader(benchmark::State& state, const std::string& path) {
    if (!platform::exists()) {
        platform::Options options;
        options.headless = true;
        std::string error;
        platform::create(options, error);
    }
    materialManager.setGlEnabled(false);
    if (fileSize(path) == 0) {
        state.SkipWithError(("missing " + path).c_str());
        return;
    }
    int64_t faces = 0;
    for (auto _ : state) {
        const int32_t mark = materialManager.mark();
        Model model;
        auto* loader = new AseLoader();
        model.loader = loader;
        loader->loadPath(path.c_str(), &model);
        faces = 0;
        for (const MeshObject* object : model.objects) faces += object->mesh->numFaces;
        benchmark::DoNotOptimize(faces);
        materialManager.dropSince(mark);
        if (faces == 0) {
            state.SkipWithError(("the loader refused " + path).c_str());
            return;
        }
    }
    state.counters["faces"] = static_cast<double>(faces);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fileSize(path)));
}

void loadWithAssimp(benchmark::State& state, const std::string& path) {
    if (fileSize(path) == 0) {
        state.SkipWithError(("missing " + path).c_str());
        return;
    }
    int64_t faces = 0;
    for (auto _ : state) {
        const aiScene* scene = aiImportFile(path.c_str(), 0);
        faces = 0;
        if (scene) {
            for (unsigned m = 0; m < scene->mNumMeshes; ++m) faces += scene->mMeshes[m]->mNumFaces;
        }
        benchmark::DoNotOptimize(faces);
        aiReleaseImport(scene);
    }
    state.counters["faces"] = static_cast<double>(faces);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fileSize(path)));
}

void BM_AseLoader_MotionCapture(benchmark::State& state) { loadWithAseLoader(state, motionCapture); }
void BM_Assimp_MotionCapture(benchmark::State& state) { loadWithAssimp(state, motionCapture); }
void BM_AseLoader_Arena50k(benchmark::State& state) { loadWithAseLoader(state, arenaFile(50000)); }
void BM_Assimp_Arena50k(benchmark::State& state) { loadWithAssimp(state, arenaFile(50000)); }
void BM_AseLoader_Arena100k(benchmark::State& state) { loadWithAseLoader(state, arenaFile(100000)); }
void BM_Assimp_Arena100k(benchmark::State& state) { loadWithAssimp(state, arenaFile(100000)); }

BENCHMARK(BM_AseLoader_MotionCapture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Assimp_MotionCapture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AseLoader_Arena50k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Assimp_Arena50k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AseLoader_Arena100k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Assimp_Arena100k)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's time per iteration so that the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto time = [&](const char* name) {
        for (const auto& [key, value] : reporter.times) {
            if (key.rfind(name, 0) == 0) return value;
        }
        return 0.0;
    };
    for (const char* file : {"MotionCapture", "Arena50k", "Arena100k"}) {
        const double ours = time((std::string("BM_AseLoader_") + file).c_str());
        const double theirs = time((std::string("BM_Assimp_") + file).c_str());
        if (ours > 0 && theirs > 0) std::printf("%-14s assimp / AseLoader = %.2fx\n", file, theirs / ours);
    }
    const double t50 = time("BM_AseLoader_Arena50k"), t100 = time("BM_AseLoader_Arena100k");
    const double s50 = static_cast<double>(fileSize(arenaFile(50000)));
    const double s100 = static_cast<double>(fileSize(arenaFile(100000)));
    if (t50 > 0 && t100 > 0) {
        std::printf("AseLoader 100k / 50k: file %.2fx, time %.2fx\n", s100 / s50, t100 / t50);
    }
    benchmark::Shutdown();
    return 0;
}
