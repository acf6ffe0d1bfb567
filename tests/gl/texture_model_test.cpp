// GL calls of the image textures, the material table and model drawing, counted through
// the wrapped GL on a real headless context.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <GLES/glext.h>
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../unit/asetesting.h"
#include "../unit/testplatform.h"
#include "glwrap.h"
#include "imagetexture.h"
#include "log.h"
#include "sharedstate.h"

namespace {

// A directory of its own as the application directory while a test runs.
class AppDir {
public:
    explicit AppDir(const std::string& dir) {
        saved = sharedState.appDir;
        sharedState.appDir = dir;
    }
    ~AppDir() { sharedState.appDir = saved; }

private:
    std::string saved;
};

class GlTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testing_support::ensureGlContext());
        materialManager.setGlEnabled(true);
        mark = materialManager.mark();
        glwrap::reset();
    }
    void TearDown() override { materialManager.dropSince(mark); }
    int32_t mark = 0;
};

} // namespace

TEST_F(GlTest, PictureBecomesRgb565BottomRowFirst) {
    unsigned char pixels[8][3] = {{255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                                  {200, 100, 50},  {0, 0, 0},   {255, 255, 255}, {255, 0, 0}};
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels, 4, 2, 24, 12, SDL_PIXELFORMAT_RGB24);
    ASSERT_NE(surface, nullptr) << SDL_GetError();
    char pattern[] = "/tmp/palvex-gl-XXXXXX";
    const std::string tempDir = std::string(mkdtemp(pattern)) + "/";
    ASSERT_EQ(SDL_SaveBMP(surface, (tempDir + "pic.bmp").c_str()), 0) << SDL_GetError();
    SDL_FreeSurface(surface);
    AppDir dir(tempDir);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glwrap::reset();
    ASSERT_TRUE(loadImageTexture("pic.bmp", false));
    // A texture loaded without parameters keeps GL's own; an even width, the unpack alignment too.
    EXPECT_EQ(glwrap::count("glTexParameterx"), 0);
    EXPECT_EQ(glwrap::count("glPixelStorei"), 0);
    ASSERT_EQ(glwrap::count("glTexImage2D"), 1);
    EXPECT_EQ(glwrap::callsOf("glTexImage2D")[0].args[7], GL_UNSIGNED_SHORT_5_6_5);
    const std::vector<uint16_t> expected = {0xCB26, 0x0000, 0xFFFF, 0xF800, 0xFFFF, 0xF800, 0x07E0, 0x001F};
    EXPECT_EQ(glwrap::lastTexImage().texels, expected);
    glDeleteTextures(1, &name);

    glwrap::reset();
    EXPECT_FALSE(loadImageTexture("missing.bmp", true));
    EXPECT_EQ(glwrap::count("glTexImage2D"), 0);
    std::system(("rm -rf '" + tempDir + "'").c_str());
}

// Rows of 16-bit texels that are not a multiple of 4 bytes long: GL must read the packed
// rows, no byte past them (the sanitizer build watches the reads), and leave the alignment
// as it found it for the pictures after.
TEST_F(GlTest, OddWidthPicturesAreReadExactlyAsPacked) {
    char pattern[] = "/tmp/palvex-gl-XXXXXX";
    const std::string tempDir = std::string(mkdtemp(pattern)) + "/";
    AppDir dir(tempDir);
    auto colour = [](int x, int y, int c) { return uint8_t(c == 0 ? x * 7 : c == 1 ? y * 13 : (x + y) * 3); };
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{3, 3}, {255, 5}, {1, 4095}, {4095, 2}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
        ASSERT_NE(surface, nullptr) << SDL_GetError();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) static_cast<uint8_t*>(surface->pixels)[y * surface->pitch + x * 3 + c] = colour(x, y, c);
        ASSERT_EQ(SDL_SaveBMP(surface, (tempDir + "odd.bmp").c_str()), 0) << SDL_GetError();
        SDL_FreeSurface(surface);
        std::vector<uint16_t> expected;
        for (int row = 0; row < h; ++row) // bottom row first
            for (int x = 0; x < w; ++x)
                expected.push_back(packRgb565(colour(x, h - 1 - row, 0), colour(x, h - 1 - row, 1), colour(x, h - 1 - row, 2)));
        glwrap::reset();
        ASSERT_TRUE(loadImageTexture("odd.bmp", false));
        ASSERT_EQ(glwrap::count("glTexImage2D"), 1);
        EXPECT_EQ(glwrap::lastTexImage().bytesRead, size_t(w) * h * 2);
        EXPECT_TRUE(glwrap::lastTexImage().texels == expected);
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 4);
    }
    std::system(("rm -rf '" + tempDir + "'").c_str());
}

TEST_F(GlTest, GroundMaterialLoadsTheGroundPictureBindsOnceAndDropsItsTextures) {
    AppDir dir(std::string(PALVEX_SOURCE_DIR) + "/data/");
    platform::Image ground;
    ASSERT_TRUE(platform::get().decodeImage(fullPath("zem0.gif").c_str(), ground));
    Material* material = new Material();
    std::strcpy(material->bitmap, "zem");
    const int32_t index = materialManager.add(material);
    materialManager.loadTexture(index);
    ASSERT_EQ(glwrap::count("glTexImage2D"), 1);
    EXPECT_EQ(glwrap::lastTexImage().width, ground.width);
    EXPECT_EQ(glwrap::lastTexImage().height, ground.height);
    EXPECT_EQ(glwrap::callsOf("glTexParameterx").at(0).args[2], GL_NEAREST_MIPMAP_NEAREST);
    EXPECT_EQ(boundTexture, material->texture);
    glwrap::reset();
    boundTexture = 0xFFFFFFFF;
    for (int32_t i : {index, index, -1, index + 1}) materialManager.bind(i);
    EXPECT_EQ(glwrap::count("glBindTexture"), 1);
    materialManager.loadTexture(index); // two textured objects share it: two textures
    glwrap::reset();
    materialManager.dropSince(mark);
    EXPECT_EQ(materialManager.count(), mark);
    EXPECT_EQ(glwrap::count("glDeleteTextures"), 2);
    EXPECT_EQ(boundTexture, 0xFFFFFFFFu);
}

TEST_F(GlTest, TextureThatCannotLoadIsReportedAndDeleted) {
    AppDir dir(std::string(PALVEX_SOURCE_DIR) + "/data/");
    boundTexture = 12345;
    Material* material = new Material();
    std::strcpy(material->bitmap, "Zem"); // not the ground: an ordinary, missing file
    const int32_t index = materialManager.add(material);
    testing::internal::CaptureStderr();
    materialManager.loadTexture(index);
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text, "Error at 49 line, in src/materialmanager file: Couldn't load texture: Zem\n");
    ASSERT_EQ(glwrap::count("glDeleteTextures"), 1);
    EXPECT_EQ(static_cast<GLuint>(glwrap::callsOf("glDeleteTextures")[0].args[1]), material->texture);
    EXPECT_EQ(boundTexture, 12345u);
    materialManager.loadTexture(-1);
    materialManager.loadTexture(index + 1);
    EXPECT_EQ(glwrap::count("glGenTextures"), 1);
}

TEST_F(GlTest, ModelDrawsEachObjectWithItsClientState) {
    AppDir dir(std::string(PALVEX_SOURCE_DIR) + "/data/");
    Model model;
    ase_testing::loadInto(model, "*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*BITMAP \"zem\"\n}\n"
                                 "*GEOMOBJECT {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n*MESH_NUMTVERTEX 3\n"
                                 "*MESH_VERTEX 1 1 0 0\n*MESH_FACE 0: A: 0 B: 1 C: 2\n*MESH_TVERT 0 1 1 0\n"
                                 "*MATERIAL_REF 0\n}\n"
                                 "*GEOMOBJECT {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 2\n}\n"
                                 "*GEOMOBJECT {\n}\n");
    model.buildDrawArrays();
    ASSERT_EQ(model.objects.size(), 3u);
    glwrap::reset();
    boundTexture = 0xFFFFFFFF;
    model.draw();
    EXPECT_EQ(glwrap::sequence(),
              "glBindTexture glEnable glTexCoordPointer glEnableClientState glVertexPointer glEnableClientState "
              "glDrawArrays glDisableClientState glDisableClientState "
              "glDisable glVertexPointer glEnableClientState glDrawArrays glDisableClientState glDisableClientState "
              "glDisable glVertexPointer glEnableClientState glDrawArrays glDisableClientState glDisableClientState");
    EXPECT_EQ(glwrap::argsOf("glDrawArrays", 2), (std::vector<intptr_t>{3, 6, 0})); // no faces: nothing drawn

    // The flag decides, with coordinates or without.
    model.objects[1]->hasTexCoords = 1;
    model.objects[0]->hasTexCoords = 0;
    glwrap::reset();
    model.draw();
    EXPECT_EQ(glwrap::count("glTexCoordPointer"), 0);
    EXPECT_EQ(glwrap::count("glEnable"), 0);
}
