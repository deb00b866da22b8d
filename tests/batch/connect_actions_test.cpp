// The batch actions of the merge tools, end to end through RunBatch.
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "../model/gmf_builder.h"
#include "base/json.h"
#include "batch/batch.h"
#include "batch/batch_runner.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::Batch;
using test::Outcome;

class ConnectActions : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFileBytes(model, test::SmallModel().Bytes()); }
    std::vector<std::string> Start(std::vector<std::string> more) {
        std::vector<std::string> args = {"replace", model, "load-skeleton", model, "all-frames", "pick-bone", "0"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    test::TempDir dir;
    std::string model = dir.Path("m.gmf");
};

TEST_F(ConnectActions, ConnectAtTheCurrentLevelsThresholdAndBlankLevels) {
    Outcome r = Batch(Start({"select-mesh", "Body", "level", "2", "distance", "7", "connect", "connect-shadow",
                             "level", "0", "connect-blank", "connect-blank", "connect-blank-shadow", "dump-scene"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const Json scene = Json::parse(r.out);
    ASSERT_EQ(scene["drawNodes"].size(), 4u);
    EXPECT_EQ(scene["drawNodes"][0]["threshold"], 49.0f);
    EXPECT_EQ(scene["drawNodes"][1]["threshold"], 49.0f);
    EXPECT_EQ(scene["drawNodes"][1]["material"], -1);
    // Level 0 (distance 1) comes before level 2: the blanks are the new heads, each added once.
    EXPECT_EQ(scene["drawNodes"][2]["threshold"], 1.0f);
    EXPECT_EQ(scene["drawNodes"][2]["nextSkipped"], 0);
    EXPECT_EQ(scene["drawNodes"][2]["geometry"], -1);
    EXPECT_EQ(scene["bones"][0]["firstMeshNode"], 2);
    EXPECT_EQ(scene["bones"][0]["firstShadowNode"], 3);
    EXPECT_EQ(scene["entryPoints"][0]["name"], "DropPrimitiveShadow");
}

TEST_F(ConnectActions, AMeshBecomesSkinnedOnceItsLayoutHasBlendIndices) {
    Outcome r = Batch(Start({"select-mesh", "Body", "connect", "convert-fvf", "Body", "0x1116", "connect",
                             "dump-scene"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const Json scene = Json::parse(r.out);
    ASSERT_EQ(scene["drawNodes"].size(), 2u);
    EXPECT_EQ(scene["drawNodes"][0]["program"], -1);
    EXPECT_EQ(scene["drawNodes"][1]["program"], 0);
    EXPECT_EQ(scene["geometries"][1]["fvf"], 0x1116);
    EXPECT_EQ(scene["entryPoints"][0]["name"], "BlendedMesh_1_0_0_S");
}

TEST_F(ConnectActions, RefusedActionsFailWithTheirReason) {
    struct Row {
        std::vector<std::string> args;
        const char* reason;
    };
    const Row rows[] = {
        {{"connect"}, "nothing is selected"},
        {{"level", "10"}, "0 to 9"},
        {{"level", "2x"}, "0 to 9"},
        {{"distance", "abc"}, "not a finite number"},
        {{"pick-bone", "-1", "connect-blank"}, "no bone is picked"},
        {{"select-frame", "Scene_Root", "clear-scene", "connect-shadow"}, "the scene has no bones"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0]);
        std::vector<std::string> args = Start(row.args);
        args.push_back("dump-scene");
        Outcome r = Batch(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(row.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // With --keep-going the rest of the batch runs on the unchanged scene.
    std::vector<std::string> args = Start({"connect", "dump-scene"});
    args.insert(args.begin(), "--keep-going");
    Outcome r = Batch(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Json::parse(r.out)["drawNodes"].empty());
}

TEST_F(ConnectActions, AConnectedMeshKeepsTheTextureFoundBesideItsModel) {
    // The tool runs in the build folder; the model and its texture lie elsewhere.
    std::filesystem::copy_file(std::string(std::getenv("MS_TEST_DATA")) + "/../../samples/cloth.bmp",
                               dir.Path("skin.bmp"));
    Outcome r = Batch(Start({"select-mesh", "Body", "connect", "dump-scene"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const Json scene = Json::parse(r.out);
    ASSERT_EQ(scene["textures"].size(), 1u);
    EXPECT_EQ(scene["textures"][0]["name"], "skin.bmp");
    EXPECT_EQ(scene["textures"][0]["loaded"], true);
}

}  // namespace
}  // namespace ms
