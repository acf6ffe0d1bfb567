// The game's loader against assimp's ASE importer (no post-processing) on every corpus
// file and the game's own models: per object the same faces, and assimp's unshared
// corners three per face. Files that assimp cannot read as the game does (its importer
// does not take UTF-16 text) are left out, and at least ten files must agree.
#include <gtest/gtest.h>

#include <assimp/cimport.h>
#include <assimp/scene.h>
#include <dirent.h>
#include <string>
#include <vector>

#include "../unit/asetesting.h"

namespace {

std::vector<std::string> modelFiles() {
    std::vector<std::string> paths;
    for (const std::string& dir : {ase_testing::corpusDir(), std::string(PALVEX_SOURCE_DIR) + "/data/"}) {
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* entry = readdir(d)) {
                const std::string name = entry->d_name;
                if (name.size() > 4 && (name.substr(name.size() - 4) == ".ase" || name.substr(name.size() - 4) == ".ASE")) {
                    paths.push_back(dir + name);
                }
            }
            closedir(d);
        }
    }
    return paths;
}

} // namespace

TEST(AssimpAgreement, FacesPerObject) {
    ase_testing::ensurePlatform();
    materialManager.setGlEnabled(false);
    int compared = 0;
    for (const std::string& path : modelFiles()) {
        const int32_t mark = materialManager.mark();
        Model model;
        auto* loader = new AseLoader();
        model.loader = loader;
        loader->loadPath(path.c_str(), &model);
        std::vector<const MeshObject*> withFaces;
        for (const MeshObject* object : model.objects) {
            if (object->mesh->numFaces > 0) withFaces.push_back(object);
        }
        const aiScene* scene = aiImportFile(path.c_str(), 0);
        const bool utf16 = path.find("UTF16") != std::string::npos;
        if (scene && !utf16) {
            ASSERT_EQ(scene->mNumMeshes, withFaces.size()) << path;
            for (size_t i = 0; i < withFaces.size(); ++i) {
                const aiMesh& mesh = *scene->mMeshes[i];
                const MeshData& ours = *withFaces[i]->mesh;
                EXPECT_EQ(mesh.mNumFaces, static_cast<unsigned>(ours.numFaces)) << path << " object " << i;
                EXPECT_EQ(mesh.mNumVertices, 3u * static_cast<unsigned>(ours.numFaces)) << path << " object " << i;
                for (const MeshFace& face : ours.faces) {
                    for (const int32_t corner : {face.a, face.b, face.c}) {
                        EXPECT_LT(static_cast<uint32_t>(corner), static_cast<uint32_t>(ours.numVertex)) << path;
                    }
                }
            }
            ++compared;
        }
        aiReleaseImport(scene);
        materialManager.dropSince(mark);
    }
    materialManager.setGlEnabled(true);
    EXPECT_GE(compared, 10);
}
