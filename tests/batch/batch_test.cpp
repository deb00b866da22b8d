#include "batch/batch.h"

#include <sstream>

#include <gtest/gtest.h>

#include "../model/gmf_builder.h"
#include "base/json.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::TempDir;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome Batch(std::vector<std::string> args) {
    std::ostringstream out, err;
    int status = RunBatch(args, out, err);
    return {status, out.str(), err.str()};
}

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

TEST_F(BatchTest, UsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"frobnicate"}, {"replace"}, {"save", "dump-model"}, {"clear", "extra"}}) {
        Outcome r = Batch(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage"), std::string::npos);
    }
}

TEST_F(BatchTest, InfoSummarisesAModelFile) {
    Outcome r = Batch({"info", model});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frames: 3"), std::string::npos);
    EXPECT_NE(r.out.find("F : Scene_Root\n  F : Hips\n    M : Body\n  F : Legs2\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace ms
