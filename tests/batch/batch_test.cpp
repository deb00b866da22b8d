#include "batch/batch.h"
#include "batch/batch_runner.h"

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "../model/gmf_builder.h"
#include "../skin/scene_file_builder.h"
#include "base/json.h"
#include "platform/d3dx/d3dx8math.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::TempDir;

using test::Batch;
using test::Outcome;

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFileBytes(model, test::SmallModel().Bytes()); }
    TempDir dir;
    std::string model = dir.Path("m.gmf");
};

TEST_F(BatchTest, ReplaceSaveAndDumpRoundTrip) {
    Outcome r = Batch({"replace", model, "save", dir.Path("out.gmf"), "dump-model"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::ReadFileBytes(dir.Path("out.gmf")), test::ReadFileBytes(model));
    Json dump = Json::parse(r.out);
    ASSERT_EQ(dump["frames"].size(), 3u);
    EXPECT_EQ(dump["frames"][0]["name"], "Scene_Root");
    EXPECT_EQ(dump["frames"][1]["matrix"].size(), 16u);
    EXPECT_EQ(dump["rootTail"], 0);
    EXPECT_EQ(dump["meshNodes"][0]["geometry"], 0);
    EXPECT_EQ(dump["materials"][0]["diffuse"][1], 0.25f);
    EXPECT_EQ(dump["materials"][0]["textures"][0], 0);
    EXPECT_EQ(dump["textures"][0]["name"], "skin.bmp");
    EXPECT_EQ(dump["textures"][0]["loaded"], false);
    EXPECT_EQ(dump["geometries"][0]["fvf"], 0x112);
    EXPECT_EQ(dump["geometries"][0]["vertexData"].get<std::string>().substr(0, 6), "01080f");
    EXPECT_EQ(dump["geometries"][0]["indices"], Json({0, 1, 2}));
    EXPECT_EQ(dump["materialTolerance"], 0.001f);
}

TEST_F(BatchTest, FloatsReadBackExactlyAndNonFiniteBecomeStrings) {
    test::GmfBuilder b = test::SmallModel();
    b.frames[0].matrix[0] = 0.1f;
    b.frames[0].matrix[1] = std::numeric_limits<float>::quiet_NaN();
    b.frames[0].matrix[2] = -std::numeric_limits<float>::infinity();
    b.frames[0].matrix[3] = 3.4028235e38f;
    test::WriteFileBytes(model, b.Bytes());
    Outcome r = Batch({"replace", model, "dump-model", dir.Path("d.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string text(reinterpret_cast<const char*>(test::ReadFileBytes(dir.Path("d.json")).data()),
                     test::ReadFileBytes(dir.Path("d.json")).size());
    Json matrix = Json::parse(text)["frames"][0]["matrix"];
    EXPECT_EQ(matrix[0].get<float>(), 0.1f);
    EXPECT_EQ(matrix[1], "nan");
    EXPECT_EQ(matrix[2], "-inf");
    EXPECT_EQ(matrix[3].get<float>(), 3.4028235e38f);
    EXPECT_NE(text.find("0.1,"), std::string::npos);  // shortest form, not 0.10000000149
}

TEST_F(BatchTest, MergeClearAndExtensionRule) {
    Outcome r = Batch({"replace", model, "merge", model, "dump-model"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["frames"].size(), 6u);
    r = Batch({"merge", model, "clear", "dump-model"});
    EXPECT_EQ(Json::parse(r.out)["frames"].size(), 0u);
    // Any extension other than exactly x or X is read as GMF.
    std::filesystem::copy_file(model, dir.Path("m.GMF"));
    std::filesystem::copy_file(model, dir.Path("m.xx"));
    EXPECT_EQ(Batch({"replace", dir.Path("m.GMF"), "replace", dir.Path("m.xx")}).status, 0);
}

TEST_F(BatchTest, FailureStopsAndNamesActionFileAndReason) {
    Outcome r = Batch({"replace", model, "merge", dir.Path("none.gmf"), "dump-model"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("merge"), std::string::npos);
    EXPECT_NE(r.err.find("none.gmf"), std::string::npos);
    EXPECT_EQ(r.out, "");  // the dump never ran

    r = Batch({"--keep-going", "replace", model, "merge", dir.Path("none.gmf"), "dump-model"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Json::parse(r.out)["frames"].size(), 3u);  // the failed merge changed nothing
}

TEST_F(BatchTest, ARejectedReplaceKeepsTheModel) {
    std::vector<std::uint8_t> broken = test::SmallModel().Bytes();
    broken.resize(broken.size() - 3);
    test::WriteFileBytes(dir.Path("broken.gmf"), broken);
    Outcome r = Batch({"--keep-going", "replace", model, "replace", dir.Path("broken.gmf"), "dump-model"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("broken.gmf"), std::string::npos);
    EXPECT_EQ(Json::parse(r.out)["frames"].size(), 3u);
}

TEST_F(BatchTest, TexturesAreFoundBesideTheirFileAndMissingOnesNamed) {
    // The tool runs in the build folder; the model and its texture lie elsewhere.
    Outcome r = Batch({"replace", model, "dump-model"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: texture 'skin.bmp' named by " + model), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir.Path("skin.bmp")), std::string::npos) << r.err;
    std::filesystem::copy_file(std::string(std::getenv("MS_TEST_DATA")) + "/../../samples/cloth.bmp",
                               dir.Path("skin.bmp"));
    r = Batch({"replace", model, "merge", model, "dump-model"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Json::parse(r.out)["textures"][1]["loaded"], true);

    test::SmallScene parts;
    parts.names = {"skin.bmp", "gone.bmp"};
    test::WriteFileBytes(dir.Path("s.scn"), parts.File().bytes);
    r = Batch({"open-scene", dir.Path("s.scn"), "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["textures"][0]["loaded"], true);
    EXPECT_EQ(r.err.find("skin.bmp"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("texture 'gone.bmp' named by " + dir.Path("s.scn")), std::string::npos) << r.err;
}

TEST_F(BatchTest, ClearMeshesAndClearShadowTakeThePickedBonesChainOrEveryBones) {
    test::SmallScene parts;
    parts.nodes.push_back({-1, -1, 0, 0, -1, 50.0f});
    parts.bones[1].firstShadowNode = 1;
    test::WriteFileBytes(dir.Path("s.scn"), parts.File().bytes);
    // Bone 0's shadow chain is empty: nothing changes.
    Outcome r = Batch({"open-scene", dir.Path("s.scn"), "pick-bone", "0", "clear-shadow", "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["drawNodes"].size(), 2u);
    r = Batch({"open-scene", dir.Path("s.scn"), "clear-shadow", "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    Json dump = Json::parse(r.out);
    EXPECT_EQ(dump["drawNodes"].size(), 1u);
    EXPECT_EQ(dump["bones"][1]["firstShadowNode"], -1);
    EXPECT_EQ(dump["bones"][0]["firstMeshNode"], 0);
    EXPECT_EQ(dump["geometries"].size(), 1u);
    r = Batch({"open-scene", dir.Path("s.scn"), "clear-shadow", "clear-meshes", "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    dump = Json::parse(r.out);
    for (const char* empty : {"drawNodes", "geometries", "materials", "textures", "entryPoints"})
        EXPECT_TRUE(dump[empty].empty()) << empty;
    EXPECT_EQ(dump["bones"].size(), 2u);
}

TEST_F(BatchTest, UsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"frobnicate"}, {"replace"}, {"save"}, {"clear", "extra"}, {"--trace"}}) {
        Outcome r = Batch(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage"), std::string::npos);
    }
}

TEST_F(BatchTest, CommandLineOptionsAndArgumentsThatLookLikeWords) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.root());
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out;  // expected in standard output
        const char* err;  // expected in standard error
    };
    const Case cases[] = {
        {{"--help"}, 0, "usage: modelsmith-batch", ""},
        {{"clear", "-h", "frobnicate"}, 0, "actions:", ""},
        {{"--frob", "clear"}, 2, "", "unknown option '--frob'"},
        {{"--", "--keep-going"}, 2, "", "unknown action '--keep-going'"},
        {{"replace", model, "save", "clear", "clear"}, 0, "", ""},          // a file named clear
        {{"--", "replace", model, "save", "--out.gmf"}, 0, "", ""},         // a file named --out.gmf
        {{"display", "display", "on", "dump-model", "clear"}, 0, "{", ""},  // the dump goes to the output
    };
    for (const Case& c : cases) {
        Outcome r = Batch(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << c.args[0];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args[0] << " " << r.err;
    }
    EXPECT_EQ(test::ReadFileBytes("clear"), test::ReadFileBytes(model));
    EXPECT_EQ(test::ReadFileBytes("--out.gmf"), test::ReadFileBytes(model));
    std::filesystem::current_path(before);
}

TEST_F(BatchTest, OutputThatCannotBeWrittenFailsTheRun) {
    std::ostream broken(nullptr);
    std::ostringstream err;
    EXPECT_EQ(RunBatch({"replace", model, "dump-model"}, broken, err), 1);
    EXPECT_NE(err.str().find("cannot write the output"), std::string::npos) << err.str();
}

TEST_F(BatchTest, InputsThatAreNotRegularFilesAreRefusedAndNamed) {
    std::filesystem::create_directory(dir.Path("d.x"));
    ASSERT_EQ(::mkfifo(dir.Path("fifo.gmf").c_str(), 0600), 0);
    const std::vector<std::string> cases[] = {
        {"replace", dir.Path("d.x")},       {"merge", dir.root().string()},       {"info", dir.Path("fifo.gmf")},
        {"open-scene", dir.Path("d.x")},    {"load-skeleton", dir.Path("fifo.gmf")}, {"texture-to-png", dir.Path("d.x"), dir.Path("o.png")},
    };
    for (const std::vector<std::string>& args : cases) {
        Outcome r = Batch(args);
        EXPECT_EQ(r.status, 1) << args[0];
        const bool named = r.err.find("is a directory") != std::string::npos ||
                           r.err.find("is not a regular file") != std::string::npos;
        EXPECT_TRUE(named) << r.err;
    }
    // A texture named by a .x file that is a FIFO is not read: the model loads without it.
    test::WriteFileText(dir.Path("t.x"), "xof 0303txt 0032\nMaterial M { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { \"" +
                                            dir.Path("fifo.gmf") + "\"; } }\n");
    Outcome r = Batch({"replace", dir.Path("t.x"), "dump-model"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["textures"][0]["loaded"], false);
}

TEST_F(BatchTest, InfoSummarisesAModelFile) {
    Outcome r = Batch({"info", model});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frames: 3"), std::string::npos);
    EXPECT_NE(r.out.find("F : Scene_Root\n  F : Hips\n    M : Body\n  F : Legs2\n"), std::string::npos) << r.out;
}

TEST_F(BatchTest, InfoOfAVeryDeepChainIndentsUpToALimit) {
    test::WriteFileBytes(dir.Path("deep.gmf"), test::DeepChain(50000).Bytes());
    Outcome r = Batch({"info", dir.Path("deep.gmf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string indent(64, ' ');
    EXPECT_NE(r.out.find("\n" + indent + "F : F32\n" + indent + "<level 33> F : F33\n"), std::string::npos);
    EXPECT_NE(r.out.find(indent + "<level 50000> M : Tip\n"), std::string::npos);
    EXPECT_LT(r.out.size(), 5000000u);
}

std::vector<std::string> Keys(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.push_back(key);
    return keys;
}

using Names = std::vector<std::string>;

// Hip (at y = 1) with a child Knee 2 along x, which has a child Foot.
test::GmfBuilder Leg() {
    test::GmfBuilder b;
    b.frames = {test::Frame("Hip", -1, 0, -1, 1), test::Frame("Knee", -1, 0, -1, 2), test::Frame("Foot")};
    b.frames[0].matrix[13] = 1.0f;
    b.frames[1].matrix[12] = 2.0f;
    return b;
}

TEST_F(BatchTest, LoadSkeletonPicksAndDumpsTheSceneWithTheEditorsCamera) {
    test::WriteFileBytes(dir.Path("leg.gmf"), Leg().Bytes());
    Outcome r = Batch({"load-skeleton", dir.Path("leg.gmf"), "pick-bone", "1", "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    Json dump = Json::parse(r.out);
    EXPECT_EQ(Keys(dump), (Names{"bones", "boneStates", "matrices", "drawNodes", "geometries", "materials", "textures",
                                 "programWords", "entryPoints", "vertexData", "indices", "pickedBone", "camera"}));
    ASSERT_EQ(dump["bones"].size(), 2u);  // Foot has no children and gives no bone
    EXPECT_EQ(Keys(dump["bones"][1]), (Names{"nextSibling", "firstChild", "root", "local", "pose", "world",
                                             "inverseBind", "firstMeshNode", "firstShadowNode"}));
    EXPECT_EQ(dump["bones"][0]["firstChild"], 1);
    const Json& state = dump["boneStates"][1];
    EXPECT_EQ(Keys(state), (Names{"dot1", "dot2", "envelopeToBone", "boneToEnvelope", "dot1R1", "dot1R2", "dot2R1",
                                  "dot2R2", "falloff", "length", "origin", "originScreen", "end", "endScreen",
                                  "poseAngles"}));
    EXPECT_EQ(state["dot2"].size(), 3u);
    EXPECT_EQ(state["boneToEnvelope"].size(), 16u);
    EXPECT_EQ(state["length"], 0.5f);
    EXPECT_EQ(dump["matrices"].size(), 8u);
    EXPECT_EQ(dump["matrices"][0].size(), 16u);
    EXPECT_EQ(dump["pickedBone"], 1);
    EXPECT_EQ(Keys(dump["camera"]), (Names{"L", "AY", "AXZ", "target"}));

    // The bone's origin (2, 1, 0) seen by the start-up camera: eye at distance 5, 45 degrees up on
    // the -z side, perspective of pi/4 with aspect 1.33.
    D3DXVECTOR3 eye(0, 5 * std::sin(0.7854f), -5 * std::cos(0.7854f)), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view, projection, both;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1.33f, 0.1f, 1000.0f);
    D3DXMatrixMultiply(&both, &view, &projection);
    D3DXVECTOR3 origin(2, 1, 0), screen;
    D3DXVec3TransformCoord(&screen, &origin, &both);
    EXPECT_NEAR(state["originScreen"][0].get<float>(), screen.x, 1e-5f);
    EXPECT_NEAR(state["originScreen"][1].get<float>(), screen.y, 1e-5f);

    r = Batch({"load-skeleton", dir.Path("leg.gmf"), "all-frames", "dump-scene"});
    EXPECT_EQ(Json::parse(r.out)["bones"].size(), 3u);
}

TEST_F(BatchTest, SceneFilesRoundTripByTheirExtension) {
    test::WriteFileBytes(dir.Path("leg.gmf"), Leg().Bytes());
    Outcome r = Batch({"load-skeleton", dir.Path("leg.gmf"), "dump-scene", dir.Path("before.json"), "save-scene",
                       dir.Path("leg.SKN"), "save-scene", dir.Path("leg.scn"), "clear-scene", "dump-scene",
                       dir.Path("cleared.json"), "open-scene", dir.Path("leg.SKN"), "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto read = [&](const char* name) {
        std::vector<std::uint8_t> bytes = test::ReadFileBytes(dir.Path(name));
        return Json::parse(std::string(bytes.begin(), bytes.end()));
    };
    EXPECT_EQ(Json::parse(r.out), read("before.json"));
    EXPECT_TRUE(read("cleared.json")["bones"].empty());
    EXPECT_EQ(test::ReadFileBytes(dir.Path("leg.scn")).size() + 2 * 228,
              test::ReadFileBytes(dir.Path("leg.SKN")).size());
}

TEST_F(BatchTest, DumpSceneHoldsEveryRecordOfAnOpenedSceneFile) {
    test::WriteFileBytes(dir.Path("s.scn"), test::SmallScene().File().bytes);
    Outcome r = Batch({"open-scene", dir.Path("s.scn"), "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    Json dump = Json::parse(r.out);
    EXPECT_EQ(dump["drawNodes"][0], Json::parse(R"({"nextDrawn":-1,"nextSkipped":-1,"geometry":0,"material":0,
        "program":0,"threshold":100.0})"));
    EXPECT_EQ(dump["geometries"][0], Json::parse(R"({"vertexOffset":0,"firstIndex":0,"vertexCount":3,
        "primitiveCount":1,"stride":12,"fvf":2,"primitiveType":4,"indexed":1})"));
    EXPECT_EQ(Keys(dump["materials"][0]),
              (Names{"diffuse", "ambient", "specular", "emissive", "power", "textures", "stageCount"}));
    EXPECT_EQ(dump["materials"][0]["textures"][0], 1);
    EXPECT_EQ(dump["textures"][1], Json::parse(R"({"name":"walk.bmp","loaded":false})"));
    EXPECT_EQ(dump["programWords"], Json({1, 0}));
    EXPECT_EQ(dump["entryPoints"][0], Json::parse(R"({"name":"walk2","start":0})"));
    EXPECT_EQ(dump["vertexData"].get<std::string>().substr(0, 6), "01060b");
    EXPECT_EQ(dump["indices"], Json({0, 1, 2}));
}

TEST_F(BatchTest, NamesThatAreNotUtf8AreDumpedWithReplacementCharacters) {
    test::SmallScene parts;
    parts.names = {"sk\xffn.bmp", "walk.bmp"};
    test::WriteFileBytes(dir.Path("s.scn"), parts.File().bytes);
    Outcome r = Batch({"open-scene", dir.Path("s.scn"), "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["textures"][0]["name"], "sk\xef\xbf\xbdn.bmp");
}

TEST_F(BatchTest, SceneActionErrors) {
    test::WriteFileBytes(dir.Path("leg.gmf"), Leg().Bytes());
    std::vector<std::uint8_t> bad = test::SmallScene().File().bytes;
    bad[0] = 'X';
    test::WriteFileBytes(dir.Path("bad.scn"), bad);
    const struct {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {{"pick-bone", "0"}, "no bone 0: the scene has 0 bones"},
        {{"load-skeleton", dir.Path("leg.gmf"), "pick-bone", "2"}, "no bone 2"},
        {{"pick-bone", "1x"}, "'1x' is not a bone index"},
        {{"load-skeleton", dir.Path("leg.gmf"), "every"}, "unknown option 'every'"},
        {{"open-scene", dir.Path("bad.scn")}, "bad.scn: not a skin or scene file"},
        {{"save-scene", dir.Path("no/dir.skn")}, "no/dir.skn"},
    };
    for (const auto& row : rows) {
        Outcome r = Batch(row.args);
        EXPECT_EQ(r.status, 1) << row.message;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    Outcome r = Batch({"load-skeleton", dir.Path("leg.gmf"), "pick-bone", "1", "pick-bone", "-1", "dump-scene"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["pickedBone"], -1);
    EXPECT_EQ(Batch({"load-skeleton"}).status, 2);
}

}  // namespace
}  // namespace ms
