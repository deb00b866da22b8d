// The batch actions of vertex layouts, the property editor and the material tools.
#include <sstream>

#include <gtest/gtest.h>

#include "base/json.h"
#include "batch/batch.h"
#include "tools/tool_model.h"

namespace ms {
namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class LayoutActions : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFileBytes(path, test::ToolModel().Bytes()); }
    // Loads the tool model, runs `args`, and dumps the model.
    Outcome Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"replace", path});
        args.push_back("dump-model");
        std::ostringstream out, err;
        const int status = RunBatch(args, out, err);
        return {status, out.str(), err.str()};
    }
    Json Dump(const Outcome& r) { return Json::parse(r.out.substr(r.out.find("{\n  \"frames\""))); }

    test::TempDir dir;
    std::string path = dir.Path("tools.gmf");
};

TEST_F(LayoutActions, LayoutPrintsTheDecodedLayout) {
    std::ostringstream out, err;
    ASSERT_EQ(RunBatch({"layout", "0x100A", "layout", "14"}, out, err), 0) << err.str();
    const Json first = Json::parse(out.str().substr(0, out.str().find("}\n{") + 2));
    EXPECT_EQ(first["fvf"], 0x100A);
    EXPECT_EQ(first["valid"], true);
    EXPECT_EQ(first["stride"], 24);
    EXPECT_EQ(first["blendCount"], 2);
    EXPECT_EQ(first["textureCount"], 0);
    EXPECT_EQ(first["offsets"].dump(), R"({"X":0,"Y":4,"Z":8,"WEIGHT1":12,"WEIGHT2":16,"MATRIX_INDICES":20})");
    const Json second = Json::parse(out.str().substr(out.str().find("}\n{") + 2));
    EXPECT_EQ(second["valid"], false);
    EXPECT_TRUE(second["offsets"].empty());
    EXPECT_EQ(RunBatch({"layout", "0x"}, out, err), 1);
    EXPECT_EQ(RunBatch({"layout", "12abc"}, out, err), 1);
}

TEST_F(LayoutActions, ConvertAndSetVertices) {
    const Outcome r = Run({"convert-fvf", "Body", "0x1046", "set-vertex", "Body", "all", "MATRIX_INDICES", "0x03020100",
                           "set-vertex", "Body", "1", "X", "-2.5", "set-vertex", "Body", "2", "DIFFUSE", "4278190080"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json g = Dump(r)["geometries"][0];
    EXPECT_EQ(g["fvf"], 0x1046);
    EXPECT_EQ(g["stride"], 20);
    // Vertex 1 starts at byte 20: X = -2.5 (0xc0200000 little-endian), then Y Z, the indices, DIFFUSE.
    const std::string bytes = g["vertexData"];
    EXPECT_EQ(bytes.substr(2 * 12, 8), "00010203");
    EXPECT_EQ(bytes.substr(2 * 20, 8), "000020c0");
    EXPECT_EQ(bytes.substr(2 * (40 + 16), 8), "000000ff");
}

TEST_F(LayoutActions, MaterialActions) {
    const Outcome r = Run({"mesh-material", "Plain", "-2", "material-colour", "3", "specular", "0.25", "0.5", "1", "0",
                           "material-power", "2", "4.5", "material-texture", "1", "7", "1", "power-to-all", "6",
                           "material-power", "4", "9", "add-texture", "new.tga", "tolerance", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json m = Dump(r);
    EXPECT_EQ(m["meshNodes"][3]["material"], 1);
    EXPECT_EQ(m["materials"][3]["specular"], Json({0.25, 0.5, 1.0, 0.0}));
    EXPECT_EQ(m["materials"][2]["power"], 6.0);
    EXPECT_EQ(m["materials"][4]["power"], 9.0);
    EXPECT_EQ(m["materials"][1]["textures"][7], 1);
    EXPECT_EQ(m["textures"].size(), 3u);
    EXPECT_EQ(m["textures"][2]["name"], "new.tga");
    EXPECT_FLOAT_EQ(m["materialTolerance"].get<float>(), 0.05f);
}

TEST_F(LayoutActions, BadArgumentsAreRefusedAndChangeNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"convert-fvf", "Body", "0x00E"},       {"convert-fvf", "Nobody", "0x002"},
        {"convert-fvf", "Odd", "0x002"},        {"set-vertex", "Body", "3", "X", "1"},
        {"set-vertex", "Body", "0", "SPECULAR", "1"}, {"set-vertex", "Body", "0", "DIFFUSE", "-1"},
        {"set-vertex", "Body", "0", "X", "1.5x"}, {"set-vertex", "Body", "0", "SIZE", "1"},
        {"set-vertex", "Odd", "0", "X", "1"},   {"mesh-material", "Plain", "two"},
        {"material-colour", "5", "diffuse", "1", "1", "1", "1"},
        {"material-colour", "0", "red", "1", "1", "1", "1"}, {"material-power", "0", "x"},
        {"material-texture", "0", "8", "0"},    {"material-texture", "0", "0", "2"},
        {"power-to-all", ""},                   {"add-texture", std::string(100, 'a')},
        {"tolerance", "five"},                  {"tolerance", "nan"},
        {"material-power", "0", "inf"},         {"set-vertex", "Body", "0", "X", "-inf"},
    };
    const std::string before = Run({}).out;
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        std::vector<std::string> all = args;
        all.insert(all.begin(), "--keep-going");
        const Outcome r = Run(all);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(args[0] + " failed: "), std::string::npos) << r.err;
        EXPECT_EQ(r.out, before);
    }
}

}  // namespace
}  // namespace ms
