// An arena tree built from model text: the text is written as "arena.ase" into a directory
// of its own, which is the application directory while the tree is built. The directory
// has no ground picture, so the materials are made without textures.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "arenatree.h"
#include "asetesting.h"
#include "sharedstate.h"

class ArenaFile {
public:
    explicit ArenaFile(const std::string& text, Camera* camera = nullptr) {
        char pattern[] = "/tmp/palvex-arena-XXXXXX";
        const std::string dir = std::string(mkdtemp(pattern)) + "/";
        FILE* f = std::fopen((dir + "arena.ase").c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        const std::string saved = sharedState.appDir;
        sharedState.appDir = dir;
        ase_testing::ensurePlatform();
        const bool gl = materialManager.isGlEnabled();
        materialManager.setGlEnabled(false);
        mark = materialManager.mark();
        tree = new ArenaTree("arena.ase", camera);
        materialManager.setGlEnabled(gl);
        sharedState.appDir = saved;
        std::remove((dir + "arena.ase").c_str());
        rmdir(dir.c_str());
    }
    ~ArenaFile() {
        delete tree;
        materialManager.dropSince(mark);
    }
    ArenaTree* tree = nullptr;

private:
    int32_t mark = 0;
};
