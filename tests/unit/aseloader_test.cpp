// The ASE loader: what each keyword stores, the pass quirks, the mended faults, and the
// corpus files read against a plain fscanf reading of the same text.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "../../bench/arenagen.h"
#include "asereference.h"
#include "loaderase/asetext.h"
#include "asetesting.h"
#include "log.h"
#include "sharedstate.h"

using namespace ase_testing;

namespace {

std::string object(const std::string& body) { return "*GEOMOBJECT {\n" + body + "}\n"; }

// The model and materials of text, dropped after.
struct Loaded {
    explicit Loaded(const std::string& text) {
        materialManager.setGlEnabled(false);
        mark = materialManager.mark();
        loadInto(model, text);
    }
    ~Loaded() {
        materialManager.dropSince(mark);
        materialManager.setGlEnabled(true);
    }
    MeshObject& at(size_t n) { return *model.objects.at(n); }
    Material& material(int32_t n) { return *materialManager.at(mark + n); }
    Model model;
    int32_t mark;
};

// The dump of the file at path as the loader reads it from disk.
std::string fileDump(const std::string& path) {
    ensurePlatform();
    materialManager.setGlEnabled(false);
    const int32_t mark = materialManager.mark();
    Model model;
    auto* loader = new AseLoader();
    model.loader = loader;
    loader->loadPath(path.c_str(), &model);
    std::string dump = dumpModel(model, mark, materialManager.count());
    materialManager.dropSince(mark);
    materialManager.setGlEnabled(true);
    return dump;
}

std::string referenceDump(const std::string& bytes) {
    materialManager.setGlEnabled(false);
    const int32_t mark = materialManager.mark();
    Model model;
    reference::Reader(ase::decodeText(bytes.data(), bytes.size()), model).load();
    std::string dump = dumpModel(model, mark, materialManager.count());
    materialManager.dropSince(mark);
    materialManager.setGlEnabled(true);
    return dump;
}

// Whether the dump of text has each of the lines: whole lines, or the ends of lines for
// those given with a leading blank.
testing::AssertionResult dumpHas(const std::string& text, std::initializer_list<std::string> lines) {
    const std::string dump = "\n" + dumpOf(text);
    for (const std::string& line : lines) {
        if (dump.find((line[0] == ' ' ? "" : "\n") + line + "\n") == std::string::npos)
            return testing::AssertionFailure() << "no line \"" << line << "\" in" << dump;
    }
    return testing::AssertionSuccess();
}

} // namespace

TEST(AseKeywords, VertexFaceAndTextureLines) {
    // Vertices turn the axes; elements that no line fills are zero.
    EXPECT_TRUE(dumpHas(object("*MESH_NUMVERTEX 5\n*MESH_VERTEX 3\t1.0\t2.0\t3.0\n"), {"v 3 1 3 -2", "v 4 0 0 0"}));
    EXPECT_TRUE(dumpHas(object("*MESH_NUMFACES 1\n*MESH_FACE    0:    A:    4 B:    5 C:    6 AB:    1 BC:    1 CA:    "
                               "0\t *MESH_SMOOTHING 2 \t*MESH_MTLID 1\n*MESH_TFACE 0\t7\t8\t9\n"),
                        {"f 0 4 5 6 7 8 9"}));
    // Texture vertices take the tiling of the object's material, set in the material or,
    // before the vertices scale, by tiling lines inside the object.
    EXPECT_TRUE(dumpHas("*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*UVW_U_TILING 4.0\n*UVW_V_TILING 2.0\n}\n" +
                            object("*MESH_NUMTVERTEX 1\n*MESH_TVERT 0\t0.5\t0.25\t0.0\n*MATERIAL_REF 0\n"),
                        {"t 0 2 0.5", " tex 1 vertices 0 faces 0 tvertices 1"}));
    EXPECT_TRUE(dumpHas("*MATERIAL_COUNT 1\n*MATERIAL 0 {\n}\n" +
                            object("*MATERIAL_REF 0\n*MESH_NUMTVERTEX 1\n*MESH_TVERT 0 1 1\n*UVW_U_TILING 3\n"),
                        {"t 0 3 1", " utiling 3 vtiling 1"}));
}

TEST(AseKeywords, MaterialIndicesCountFromTheFilesFirstMaterial) {
    materialManager.setGlEnabled(false);
    const int32_t mark = materialManager.mark();
    for (int i = 0; i < 3; ++i) materialManager.add(new Material());
    {
        Model model;
        loadInto(model, "*MATERIAL_COUNT 2\n*MATERIAL 0 {\n}\n*MATERIAL 1 {\n}\n" + object("*MATERIAL_REF 1\n"));
        EXPECT_EQ(materialManager.count(), mark + 5);
        EXPECT_EQ(model.objects.at(0)->materialIndex, mark + 4);
        // Without materials of its own a reference names the table's index as it stands.
        Model bare;
        loadInto(bare, object("*MATERIAL_REF 2\n") + object("*MATERIAL_REF 1.9\n*MATERIAL_REF 0\n") + object(""));
        EXPECT_EQ(bare.objects.at(0)->materialIndex, 2);
        EXPECT_EQ(bare.objects.at(1)->materialIndex, 1); // truncated; the first reference counts
        EXPECT_EQ(bare.objects.at(2)->materialIndex, -1);
    }
    materialManager.dropSince(mark);
    materialManager.setGlEnabled(true);
}

TEST(AseKeywords, MaterialFields) {
    EXPECT_TRUE(dumpHas("*MATERIAL_COUNT 3\n"
                        "*MATERIAL 0 {\n*MATERIAL_NAME \"Wood\"\n*MATERIAL_DIFFUSE 0.5\t1.0\t0.0\n*BITMAP \"zem\"\n}\n"
                        "*MATERIAL 1 {\n*MATERIAL_NAME \"\"\n*MAP_DIFFUSE {\n*BITMAP \"a.gif\"\n*UVW_U_TILING 2\n}\n"
                        "*SUBMATERIAL 0 {\n*BITMAP \"b.gif\"\n}\n}\n"
                        "*MATERIAL 2 {\n*MATERIAL_NAME \"02 - Default\"\n}\n",
                        {// no tiling lines: no scaling; the last bitmap of the range; a name cut at the
                         // blank and its last character dropped
                         " name \"Wood\" bitmap \"zem\" diffuse 32768 65536 0 utiling 1 vtiling 1",
                         " name \"\" bitmap \"b.gif\" diffuse 0 0 0 utiling 2 vtiling 1",
                         " name \"0\" bitmap \"\" diffuse 0 0 0 utiling 1 vtiling 1"}));
}

TEST(AsePasses, WordsBeyondTheLineLimitAreReadAsWords) {
    // 99 characters of the line are skipped; what follows is read as words, each of
    // which skips the rest of its line again.
    const std::string text = "*COMMENT " + std::string(97, '.') + " *GEOMOBJECT\n" + // 99 skipped: counted
                             "*COMMENT " + std::string(96, '.') + " *GEOMOBJECT\n" + // "GEOMOBJECT" read
                             "*COMMENT " + std::string(120, '.') + " *GEOMOBJECT\n" + object("");
    Loaded l(text);
    EXPECT_EQ(l.model.objectCount, 2);
    // Only where a word is read: a keyword after another word of its line is skipped.
    Loaded hidden("*NODE *GEOMOBJECT {\n}\n");
    EXPECT_EQ(hidden.model.objectCount, 0);
}

TEST(AsePasses, ObjectKeywordsOfOtherPassesDoNotSkipTheirLineAndObjectsEndAtTheNext) {
    // In the vertex pass "*MESH_FACE" reads nothing and skips nothing, so the next word,
    // the second keyword of the line, is seen.
    EXPECT_TRUE(dumpHas(object("*MESH_NUMVERTEX 2\n*MESH_NUMFACES 1\n*MESH_FACE *MESH_VERTEX 1 5 6 7\n"), {"v 1 5 7 -6"}));
    // The texture-vertex line's third value is a word of its own, its line then skipped.
    EXPECT_TRUE(dumpHas(object("*MESH_NUMTVERTEX 2\n*MESH_TVERT 0 0.5 0.5 *MESH_TVERT 1 9 9\n*MESH_TVERT 1 0.25 0.75\n"),
                        {"t 1 0.25 0.75"}));
    // An object ends at the next object keyword; a line without its count has no array to go to.
    EXPECT_EQ(dumpOf(object("*MESH_NUMVERTEX 1\n") + "*GEOMOBJECT\n*MESH_VERTEX 0 1 2 3\n"),
              "object 0 material -1 tex 0 vertices 1 faces 0 tvertices 0\nv 0 0 0 0\n"
              "object 1 material -1 tex 0 vertices 0 faces 0 tvertices 0\n");
}

TEST(AseFaults, IndicesBeyondTheCountsAndLinesWithoutCountOrMaterialAreDropped) {
    EXPECT_EQ(dumpOf(object("*MESH_NUMVERTEX 1\n*MESH_NUMFACES 1\n*MESH_NUMTVERTEX 1\n"
                            "*MESH_VERTEX 1 1 1 1\n*MESH_VERTEX -1 1 1 1\n*MESH_FACE 5: A: 1 B: 1 C: 1\n"
                            "*MESH_TFACE 9 1 1 1\n*MESH_TVERT 1 1 1 1\n*MESH_TVERT 2147483647 1 1\n")),
              "object 0 material -1 tex 0 vertices 1 faces 1 tvertices 1\nv 0 0 0 0\nt 0 0 0\nf 0 0 0 0 0 0 0\n");
    // Without a material texture coordinates are not scaled.
    EXPECT_EQ(dumpOf(object("*MESH_VERTEX 0 1 2 3\n*MESH_FACE 0: A: 1 B: 2 C: 3\n*UVW_U_TILING 5\n"
                            "*MESH_NUMTVERTEX 1\n*MESH_TVERT 0 0.5 0.5\n")),
              "object 0 material -1 tex 1 vertices 0 faces 0 tvertices 1\nt 0 0.5 0.5\n");
}

TEST(AseFaults, NegativeCountsAreRefusedWithAMessageAndTheFileReadOn) {
    testing::internal::CaptureStderr();
    Loaded l(object("*MESH_NUMFACES -5\n*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 1 2 3\n") + "*MATERIAL_COUNT -5\n");
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(l.at(0).mesh->numFaces, 0);
    EXPECT_EQ(l.at(0).mesh->vertices.at(0).x, 1.0f);
    EXPECT_EQ(materialManager.count(), l.mark);
    EXPECT_NE(messages.find("*MESH_NUMFACES -5 in test.ase refused"), std::string::npos) << messages;
    EXPECT_NE(messages.find("*MATERIAL_COUNT -5 in test.ase refused"), std::string::npos);
    EXPECT_NE(messages.find("in src/loaderase file"), std::string::npos);
}

TEST(AseBudget, CountsAreKeptHoweverShortTheText) {
    materialManager.setGlEnabled(false);
    const int32_t before = materialManager.mark();
    materialManager.add(new Material()); // another file's, so that this file's first is not 0
    {
        // 96 bytes declaring 200 materials: those it does not describe stay at their defaults.
        Loaded l("*MATERIAL_COUNT 200\n*MATERIAL\n*BITMAP \"a.gif\"\n*GEOMOBJECT\n*MATERIAL_REF 1\n*MESH_NUMVERTEX 40000\n");
        ASSERT_EQ(materialManager.count(), l.mark + 200);
        EXPECT_EQ(l.at(0).materialIndex, l.mark + 1);
        EXPECT_STREQ(l.material(0).bitmap, "a.gif");
        EXPECT_STREQ(l.material(1).bitmap, "");
        EXPECT_EQ(l.material(199).uTiling, 1.0f);
        EXPECT_EQ(l.at(0).mesh->vertices.size(), 40000u);
    }
    materialManager.dropSince(before);
    materialManager.setGlEnabled(true);
}

namespace {

// Whether loading text gave one report containing `part` and left nothing behind, and the
// plain readings agree.
testing::AssertionResult refusedWhole(const std::string& text, const std::string& part) {
    testing::internal::CaptureStderr();
    bool empty;
    int32_t materialsLeft;
    {
        Loaded l(text);
        empty = l.model.objects.empty() && l.model.objectCount == 0;
        materialsLeft = materialManager.count() - l.mark;
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    if (!empty || materialsLeft != 0) return testing::AssertionFailure() << "the model or the table kept part of it";
    const size_t reports = std::count(messages.begin(), messages.end(), '\n');
    if (reports != 1 || messages.find(part) == std::string::npos)
        return testing::AssertionFailure() << "not one report with \"" << part << "\":\n" << messages;
    testing::internal::CaptureStderr();
    const bool plainEmpty = dumpOf(text, Reading::WordByWord).empty() && referenceDump(text).empty();
    testing::internal::GetCapturedStderr();
    if (!plainEmpty) return testing::AssertionFailure() << "the plain readings kept part of it";
    return testing::AssertionSuccess();
}

} // namespace

TEST(AseBudget, AFileThatWouldPassItIsRefusedWholeWithOneMessage) {
    // 18 kB declaring two hundred objects of two million vertices, faces and texture
    // vertices each: many gigabytes, refused at the first face count.
    std::string text = "*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*BITMAP \"a.gif\"\n}\n";
    for (int n = 0; n < 200; ++n)
        text += object("*MESH_NUMVERTEX 2000000\n*MESH_NUMFACES 2000000\n*MESH_NUMTVERTEX 2000000\n*MESH_TVERT 0 1 1\n");
    EXPECT_TRUE(refusedWhole(text, "*MESH_NUMFACES 2000000 in test.ase refused: the model would take more than 64 MB"));
    // The text and its index count too: 27 MB of keywords would need another 40 MB of index.
    std::string keywords = "*MATERIAL_COUNT 1\n*MATERIAL\n";
    for (int n = 0; n < 3400000; ++n) keywords += "*BITMAP\n";
    EXPECT_TRUE(refusedWhole(keywords, "test.ase refused: its text and the index over it would take more than 64 MB"));
    // Arrays within the budget are kept however large: 38 MB of them.
    Loaded fits(object("*MESH_NUMVERTEX 400000\n*MESH_NUMFACES 400000\n*MESH_FACE 399999: A: 1 B: 2 C: 3\n"));
    EXPECT_EQ(fits.at(0).mesh->faces.at(399999).c, 3);
}

TEST(AseBudget, PassesOutOfStepWithTheObjectsAreRefusedBeforeTheyReadForHours) {
    // One long line where the counting pass meets every object and the object passes,
    // two characters out of step after a *MESH_FACE, meet none: each would read on to the
    // end, and a few megabytes of such a line would take hours.
    std::string text(200 * 400, ' ');
    for (size_t i = 0; i < text.size(); i += 2) text[i] = 'a';
    size_t p = 0;
    for (int step = 0, placed = 0; placed < 200 && p + 200 < text.size(); ++step) {
        while (text[p] == ' ') ++p;
        if (step % 3 == 0) {
            const std::string token = "*GEOMOBJECT *MESH_FACE a ";
            p += p % 2;
            text.replace(p, token.size(), token);
            ++placed;
            p += token.size() - 3 + 99; // after *MESH_FACE the line skip
        } else {
            while (text[p] != ' ') ++p;
            p += 99;
        }
    }
    EXPECT_TRUE(refusedWhole(text, "test.ase refused: its passes would read its text more than 16 times over"));
}

TEST(AseFaults, LongWordsAndNamesAreCutAndNulEndsAKeyword) {
    const std::string longWord(5000, 'w');
    Loaded l("*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*MATERIAL_NAME \"" + longWord + "\"\n*BITMAP \"" + longWord +
             "\n}\n" + longWord + "\n" + object("*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 " + longWord + "\n"));
    EXPECT_EQ(std::strlen(l.material(0).name), 253u);
    EXPECT_EQ(std::strlen(l.material(0).bitmap), 253u);
    EXPECT_EQ(l.model.objectCount, 1);
    // A keyword word compares up to a NUL, but the whole run is read: the values follow it.
    const std::string text = "*GEOMOBJECT\n*MESH_NUMVERTEX 1\n*MESH_VERTEX" + std::string(1, '\0') +
                             std::string(300, 'x') + "\t0\t9\t8\t7\n";
    EXPECT_TRUE(dumpHas(text, {"v 0 9 7 -8"}));
}

TEST(AseErrors, MissingFileAndMissingArguments) {
    ensurePlatform();
    sharedState.appDir = "/nonexistent-palvex-dir/";
    Model model;
    testing::internal::CaptureStderr();
    model.loadFile("moto3.ase");
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text, "Error at 46 line, in src/loaderase file: File moto3.ase does not exists\n");
    EXPECT_STREQ(lastErrorCaption(), "Error at 46 line, in src/loaderase file");
    EXPECT_TRUE(model.objects.empty());
    testing::internal::CaptureStderr();
    AseLoader loader;
    loader.load(nullptr, &model);
    loader.load("moto1.ase", nullptr);
    text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text,
              "Error at 31 line, in src/loaderase file: invalid pointer\n"
              "Error at 37 line, in src/loaderase file: invalid 3DModel\n");
    sharedState.appDir.clear();
}

TEST(AseErrors, FifosAndDirectoriesAreRefusedWithoutWaiting) {
    ensurePlatform();
    char pattern[] = "/tmp/palvex-ase-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    const std::string fifo = dir + "moto3.ase";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir + "moto4.ase").c_str(), 0700), 0);
    sharedState.appDir = dir;
    Model model, directory;
    testing::internal::CaptureStderr();
    auto loading = std::async(std::launch::async, [&] { model.loadFile("moto3.ase"); });
    if (loading.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
        // A writer lets the blocked open go on, so that the test fails rather than hangs.
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ADD_FAILURE() << "the load waited for a writer on the FIFO";
    }
    loading.get();
    directory.loadFile("moto4.ase");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error at 46 line, in src/loaderase file: File moto3.ase does not exists\n"
              "Error at 46 line, in src/loaderase file: File moto4.ase does not exists\n");
    EXPECT_TRUE(model.objects.empty());
    sharedState.appDir.clear();
    std::filesystem::remove_all(dir);
}

TEST(AseFiles, EveryCorpusFileReadsAsThePlainReadingDoes) {
    SKIP_WITHOUT_CORPUS();
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpusDir())) {
        const std::string name = entry.path(), extension = entry.path().extension();
        if (extension != ".ase" && extension != ".ASE") continue;
        ++files;
        const std::string bytes = readFile(name);
        const std::string indexed = dumpOf(bytes);
        EXPECT_EQ(indexed, dumpOf(bytes, Reading::WordByWord)) << name;
        EXPECT_EQ(indexed, referenceDump(bytes)) << name;
        EXPECT_NE(indexed.find("object 0 "), std::string::npos) << name;
    }
    EXPECT_GE(files, 10);
}

TEST(AseFiles, Utf16FilesReadLikeTheirEightBitText) {
    SKIP_WITHOUT_CORPUS();
    const std::string utf8 = readFile(corpusDir() + "ThreeCubesGreen.ASE");
    const std::string le = readFile(corpusDir() + "ThreeCubesGreen_UTF16LE.ASE");
    const std::string be = readFile(corpusDir() + "ThreeCubesGreen_UTF16BE.ASE");
    ASSERT_FALSE(utf8.empty());
    EXPECT_EQ(dumpOf(le), dumpOf(utf8));
    // The big-endian copy renames two materials in katakana, which arrive as UTF-8.
    EXPECT_NE(dumpOf(be).find("name \"\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A" "1\""), std::string::npos);
}

TEST(AseFiles, FilesFromDiskLoadAsTheirTextAtEverySize) {
    char pattern[] = "/tmp/palvex-ase-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + name, std::ios::binary) << text;
        return dir + name;
    };
    // A floor of 6 MB, held in a mapping of its own, and its copy with CR LF line ends,
    // which are mended where they stand.
    const std::string floor = arenagen::floorAse(250, 30);
    ASSERT_GT(floor.size(), size_t{5} << 20);
    std::string crlf;
    for (const char c : floor) crlf += c == '\n' ? "\r\n" : std::string(1, c);
    const std::string dump = dumpOf(floor);
    EXPECT_NE(dump.find("f 14999 "), std::string::npos);
    EXPECT_EQ(fileDump(write("floor.ase", floor)), dump);
    EXPECT_EQ(fileDump(write("floor-crlf.ase", crlf)), dump);
    EXPECT_EQ(fileDump(write("small.ase", object("*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 1 2 3\n"))),
              dumpOf(object("*MESH_NUMVERTEX 1\n*MESH_VERTEX 0 1 2 3\n")));
    std::filesystem::remove_all(dir);
    if (ase_testing::corpusDir().empty()) return;
    for (const char* name : {"MotionCaptureROM.ase", "ThreeCubesGreen_UTF16LE.ASE"})
        EXPECT_EQ(fileDump(corpusDir() + name), dumpOf(readFile(corpusDir() + name))) << name;
}
