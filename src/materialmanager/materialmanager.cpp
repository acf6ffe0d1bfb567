#include "materialmanager/materialmanager.h"

#include <GLES/gl.h>
#include <cstring>

#include "imagetexture.h"
#include "log.h"

MaterialManager materialManager;
uint32_t boundTexture = 0xFFFFFFFF;

MaterialManager::~MaterialManager() {
    // The GL context is gone by now: only the records are released.
    for (Material* material : materials) delete material;
}

int32_t MaterialManager::add(Material* material) {
    materials.push_back(material);
    return count() - 1;
}

Material* MaterialManager::at(int32_t index) const {
    if (index < 0 || index >= count()) return nullptr;
    return materials[static_cast<size_t>(index)];
}

void MaterialManager::loadTexture(int32_t index) {
    Material* material = at(index);
    if (!material || !glEnabled) return;
    GLuint name = 0;
    glGenTextures(1, &name);
    material->texture = name;
    glBindTexture(GL_TEXTURE_2D, material->texture);
    const bool loaded =
        std::strcmp(material->bitmap, "zem") == 0 ? loadGroundTexture() : loadImageTexture(material->bitmap, true);
    if (loaded) {
        boundTexture = material->texture;
        textures.push_back({index, name});
        return;
    }
    setErrorLocation("src/materialmanager", 49);
    reportError("Couldn't load texture: %s", material->bitmap);
    glDeleteTextures(1, &name);
}

void MaterialManager::bind(int32_t index) {
    const Material* material = at(index);
    if (!material || !glEnabled) return;
    if (material->texture == boundTexture) return;
    glBindTexture(GL_TEXTURE_2D, material->texture);
    boundTexture = material->texture;
}

void MaterialManager::dropSince(int32_t mark) {
    if (mark < 0) mark = 0;
    // Every texture made for a dropped material goes, also those of earlier loads of a
    // material that several textured objects share.
    size_t kept = 0;
    for (const OwnedTexture& texture : textures) {
        if (texture.material >= mark) {
            if (glEnabled) glDeleteTextures(1, &texture.name);
        } else {
            textures[kept++] = texture;
        }
    }
    textures.resize(kept);
    while (count() > mark) {
        delete materials.back();
        materials.pop_back();
    }
    boundTexture = 0xFFFFFFFF;
}
