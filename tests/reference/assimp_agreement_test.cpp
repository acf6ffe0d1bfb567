// The game's loader against assimp's ASE importer (no post-processing) on every corpus file
// and the game's own models: per object the same faces, assimp's corners unshared, three a
// face. Files assimp cannot read as the game does (UTF-16 text) are left out.
#include <gtest/gtest.h>

#include <assimp/cimport.h>
#include <assimp/scene.h>
#include <filesystem>

#include "../unit/asetesting.h"

TEST(AssimpAgreement, FacesPerObject) {
    ase_testing::ensurePlatform();
    materialManager.setGlEnabled(false);
    int compared = 0;
    for (const std::string& dir : {ase_testing::corpusDir(), std::string(PALVEX_SOURCE_DIR) + "/data/"}) {
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string path = entry.path().string();
            if (entry.path().extension() != ".ase" && entry.path().extension() != ".ASE") continue;
            const int32_t mark = materialManager.mark();
            Model model;
            model.loader = new AseLoader();
            static_cast<AseLoader*>(model.loader)->loadPath(path.c_str(), &model);
            std::vector<const MeshData*> withFaces;
            for (const MeshObject* object : model.objects)
                if (object->mesh->numFaces > 0) withFaces.push_back(object->mesh);
            const aiScene* scene = aiImportFile(path.c_str(), 0);
            if (scene && path.find("UTF16") == std::string::npos) {
                ASSERT_EQ(scene->mNumMeshes, withFaces.size()) << path;
                for (size_t i = 0; i < withFaces.size(); ++i) {
                    const MeshData& ours = *withFaces[i];
                    EXPECT_EQ(scene->mMeshes[i]->mNumFaces, unsigned(ours.numFaces)) << path << " object " << i;
                    EXPECT_EQ(scene->mMeshes[i]->mNumVertices, 3u * ours.numFaces) << path << " object " << i;
                    for (const MeshFace& face : ours.faces)
                        for (const int32_t corner : {face.a, face.b, face.c})
                            EXPECT_LT(static_cast<uint32_t>(corner), static_cast<uint32_t>(ours.numVertex)) << path;
                }
                ++compared;
            }
            aiReleaseImport(scene);
            materialManager.dropSince(mark);
        }
    }
    materialManager.setGlEnabled(true);
    EXPECT_GE(compared, ase_testing::corpusDir().empty() ? 5 : 15);
}
