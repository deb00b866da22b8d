#include "model/model_files.h"

#include <gtest/gtest.h>

#include "gmf_builder.h"
#include "model/model_tree.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::Frame;
using test::Node;
using test::TempDir;

std::string Describe(const std::vector<ModelTreeItem>& items) {
    std::string text;
    for (const ModelTreeItem& i : items)
        text += std::string(2 * i.depth, ' ') + i.label + " #" + std::to_string(i.index) + "\n";
    return text;
}

// Root (mesh A) with children Arm (meshes B, C; child Hand) and Leg; mesh nodes D and E belong
// to no frame; Hand's name is longer than a label shows.
test::GmfBuilder NestedModel() {
    test::GmfBuilder b;
    b.frames = {Frame("Root", 0, 1, -1, 1), Frame("Arm", 1, 2, 3, 2),
                Frame("Hand_with_a_name_of_thirty_one!", -1, 0, -1, -1), Frame("Leg")};
    b.nodes = {Node("A", 0, -1), Node("B", 0, -1), Node("C", 0, -1), Node("D", 0, -1), Node("E", 0, -1)};
    b.geometries = {test::GeometryBlock{}};
    return b;
}

TEST(ModelTree, FramesCarryTheirMeshesThenTheirChildrenAndLooseMeshesFollow) {
    TempDir dir;
    test::WriteFileBytes(dir.Path("m.gmf"), NestedModel().Bytes());
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("m.gmf")));
    EXPECT_EQ(Describe(BuildModelTree(m)),
              "F : Root #0\n"
              "  M : A #0\n"
              "  F : Arm #1\n"
              "    M : B #1\n"
              "    M : C #2\n"
              "    F : Hand_with_a_name_of_thirty_one #2\n"
              "  F : Leg #3\n"
              "M : D #3\n"
              "M : E #4\n");
    EXPECT_EQ(BuildModelTree(m)[5].kind, TreeKind::kFrame);
    EXPECT_EQ(BuildModelTree(m)[4].kind, TreeKind::kMeshNode);
    EXPECT_TRUE(BuildModelTree(Model()).empty());
}

TEST(ModelTree, AChainOfFiftyThousandOnlyChildrenNeedsNoRecursion) {
    test::GmfBuilder b;
    const int depth = 50000;
    for (int f = 0; f < depth; ++f) b.frames.push_back(Frame("F", -1, 0, -1, f + 1 < depth ? f + 1 : -1));
    TempDir dir;
    test::WriteFileBytes(dir.Path("deep.gmf"), b.Bytes());
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("deep.gmf")));
    std::vector<ModelTreeItem> items = BuildModelTree(m);
    ASSERT_EQ(items.size(), static_cast<std::size_t>(depth));
    EXPECT_EQ(items.back().depth, depth - 1);
    EXPECT_EQ(items.back().index, depth - 1);
}

TEST(ReplaceModel, TakesTheNewFileOnlyWhenItLoaded) {
    TempDir dir;
    test::WriteFileBytes(dir.Path("small.gmf"), test::SmallModel().Bytes());
    test::WriteFileBytes(dir.Path("nested.gmf"), NestedModel().Bytes());
    std::vector<std::uint8_t> broken = NestedModel().Bytes();
    broken.resize(broken.size() - 1);
    test::WriteFileBytes(dir.Path("broken.gmf"), broken);
    Model m;
    m.SetMaterialTolerance(0.5f);
    ASSERT_TRUE(ReplaceModel(m, dir.Path("small.gmf")));
    EXPECT_EQ(m.FrameCount(), 3);
    for (const std::string bad : {"broken.gmf", "missing.gmf"}) {
        Status s = ReplaceModel(m, dir.Path(bad));
        EXPECT_FALSE(s);
        EXPECT_NE(s.message().find(bad), std::string::npos) << s.message();
        EXPECT_EQ(m.FrameCount(), 3);
        EXPECT_STREQ(m.FrameName(1), "Hips");
    }
    // A load stopped through its progress report is a failed load too.
    int reports = 0;
    EXPECT_FALSE(ReplaceModel(m, dir.Path("nested.gmf"), [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_LE(done, total);
        ++reports;
        return false;
    }));
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(m.FrameCount(), 3);
    ASSERT_TRUE(ReplaceModel(m, dir.Path("nested.gmf")));
    EXPECT_EQ(m.FrameCount(), 4);
    EXPECT_EQ(m.TextureCount(), 0);
    EXPECT_FLOAT_EQ(m.MaterialTolerance(), 0.5f);
}

TEST(ReplaceModel, AStoppedXLoadChangesNothing) {
    TempDir dir;
    std::string text = "xof 0302txt 0032\nMesh m {\n200000;\n";
    for (int v = 0; v < 200000; ++v) text += "1.0;2.0;3.0;,\n";
    text += "1;\n3;0,1,2;;\nMeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } }\n}\n";
    test::WriteFileText(dir.Path("big.x"), text);
    Model m;
    std::uint64_t last = 0;
    ASSERT_TRUE(ReplaceModel(m, dir.Path("big.x"), [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_GE(done, last);
        EXPECT_LE(done, total);
        last = done;
        return true;
    }));
    EXPECT_GT(last, 0u);
    EXPECT_EQ(m.MeshNodeCount(), 1);
    Status s = ReplaceModel(m, dir.Path("big.x"), [](std::uint64_t, std::uint64_t) { return false; });
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("cancelled"), std::string::npos);
    EXPECT_EQ(m.MeshNodeCount(), 1);
}

TEST(TextureFilePath, RelativeNamesLieBesideTheirFile) {
    EXPECT_EQ(TextureFilePath("/art/hero/hero.x", "skin.png"), "/art/hero/skin.png");
    EXPECT_EQ(TextureFilePath("assets/hero.gmf", "maps/skin.png"), "assets/maps/skin.png");
    EXPECT_EQ(TextureFilePath("hero.x", "skin.png"), "skin.png");
    EXPECT_EQ(TextureFilePath("/art/hero.x", "/shared/skin.png"), "/shared/skin.png");
    EXPECT_EQ(TextureFilePath("/art/hero.x", ""), "");
}

}  // namespace
}  // namespace ms
