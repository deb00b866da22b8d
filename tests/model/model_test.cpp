#include "model/model.h"

#include <cstring>

#include <gtest/gtest.h>

#include "gmf_builder.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::TempDir;

// A Model holding the small fixture file.
struct LoadedModel {
    LoadedModel() {
        test::WriteFileBytes(dir.Path("m.gmf"), test::SmallModel().Bytes());
        EXPECT_TRUE(model.LoadGmf(dir.Path("m.gmf")));
    }
    TempDir dir;
    Model model;
};

TEST(Model, ConstructionGivesAnEmptyModelWithTheTemplateTable) {
    Model m;
    EXPECT_EQ(m.FrameCount() + m.MeshNodeCount() + m.GeometryCount() + m.MaterialCount() + m.TextureCount(), 0);
    EXPECT_EQ(m.RootTail(), -1);
    EXPECT_FLOAT_EQ(m.MaterialTolerance(), 0.001f);
    EXPECT_STREQ(m.TemplateTable[0], "Header");
    EXPECT_STREQ(m.TemplateTable[18], "Mesh");
    EXPECT_STREQ(m.TemplateTable[20], "Frame");
    EXPECT_STREQ(m.TemplateTable[29], "VertexDuplicationIndices");
    EXPECT_STREQ(m.TemplateTable[32], "Header");
}

TEST(Model, AccessorsAnswerOutOfRangeIndicesSafely) {
    LoadedModel l;
    const Model& m = l.model;
    for (std::int32_t bad : {-1, 3, 1000}) {
        EXPECT_EQ(m.FrameFirstMeshNode(bad), -1);
        EXPECT_EQ(m.FrameMeshNodeCount(bad), 0);
        EXPECT_EQ(m.FrameNextSibling(bad), -1);
        EXPECT_EQ(m.FrameFirstChild(bad), -1);
        EXPECT_EQ(m.FrameName(bad), nullptr);
        EXPECT_STREQ(m.GetFrame(bad).name, "Scene_Root");
    }
    EXPECT_EQ(m.MeshNodeGeometry(1), -1);
    EXPECT_EQ(m.MeshNodeMaterial(-2), -1);
    EXPECT_EQ(m.MeshNodeName(1), nullptr);
    EXPECT_STREQ(m.GetMeshNode(1).name, "Body");
    EXPECT_EQ(m.Geometry(1), nullptr);
    EXPECT_STREQ(m.GetMaterial(5).name, "Skin");
    EXPECT_EQ(m.TextureName(1), nullptr);
    EXPECT_EQ(m.Texture(1), nullptr);

    Model empty;
    EXPECT_EQ(empty.GetFrame(0).firstChild, 0);  // zeroes, not a read outside the array
    EXPECT_EQ(empty.GetMaterial(0).stageCount, 0);
}

TEST(Model, SettersChangeOnlyRecordsInRange) {
    LoadedModel l;
    MeshNode n = test::Node("Renamed", 0, -1);
    EXPECT_EQ(l.model.SetMeshNode(1, n), -1);
    EXPECT_STREQ(l.model.MeshNodeName(0), "Body");
    EXPECT_EQ(l.model.SetMeshNode(0, n), 0);
    EXPECT_STREQ(l.model.MeshNodeName(0), "Renamed");
    MaterialRecord mat = test::Material("Steel");
    EXPECT_EQ(l.model.SetMaterial(-1, mat), -1);
    EXPECT_EQ(l.model.SetMaterial(0, mat), 0);
    EXPECT_STREQ(l.model.GetMaterial(0).name, "Steel");
}

TEST(Model, ClearThenResetEmptiesEverythingAndKeepsTheTolerance) {
    LoadedModel l;
    l.model.SetMaterialTolerance(0.5f);
    l.model.Clear();
    l.model.Reset();
    EXPECT_EQ(l.model.FrameCount() + l.model.MeshNodeCount() + l.model.GeometryCount() + l.model.MaterialCount() +
                  l.model.TextureCount(),
              0);
    EXPECT_EQ(l.model.RootTail(), -1);
    EXPECT_FLOAT_EQ(l.model.MaterialTolerance(), 0.5f);
    l.model.Clear();  // a second Clear frees nothing and does not fail
    EXPECT_EQ(l.model.FrameCount(), 0);
}

TEST(Model, TextureThatCannotBeLoadedKeepsItsNameAndIndex) {
    Model m;
    std::string longName(150, 'n');
    EXPECT_EQ(m.AddTexture("missing.bmp"), 0);
    EXPECT_EQ(m.AddTexture(longName.c_str()), 1);
    EXPECT_EQ(m.TextureCount(), 2);
    EXPECT_STREQ(m.TextureName(0), "missing.bmp");
    EXPECT_EQ(m.Texture(0), nullptr);
    EXPECT_EQ(std::strlen(m.TextureName(1)), 99u);
}

TEST(Model, FindReturnsTheFirstExactMatch) {
    TempDir dir;
    test::GmfBuilder b;
    b.frames = {test::Frame("Arm", -1, 0, 1), test::Frame("Arm", -1, 0, 2), test::Frame("arm")};
    test::WriteFileBytes(dir.Path("m.gmf"), b.Bytes());
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("m.gmf")));
    EXPECT_EQ(m.FindFrame("Arm"), 0);
    EXPECT_EQ(m.FindFrame("arm"), 2);
    EXPECT_EQ(m.FindFrame("ARM"), -1);
    EXPECT_EQ(m.FindMeshNode("Arm"), -1);
}

TEST(Model, CopyNameCutsToTheField) {
    char field[kNameSize];
    std::memset(field, 'x', sizeof field);
    CopyName(field, sizeof field, std::string(40, 'a').c_str());
    EXPECT_EQ(std::strlen(field), 31u);
    CopyName(field, sizeof field, "ab");
    EXPECT_STREQ(field, "ab");
    EXPECT_EQ(field[31], 0);
}

TEST(Model, IndexCountsByPrimitiveType) {
    const std::int64_t expected[] = {-1, 5, 10, 6, 15, 7, 7, -1};
    for (int type = 0; type <= 7; ++type) EXPECT_EQ(IndexCount(type, 5), expected[type]) << type;
    EXPECT_EQ(IndexCount(4, -1), -1);
}

}  // namespace
}  // namespace ms
