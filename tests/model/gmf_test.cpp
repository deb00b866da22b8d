#include <cstring>
#include <unistd.h>

#include <gtest/gtest.h>

#include "gmf_builder.h"
#include "model/model.h"
#include "model/model_json.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::Frame;
using test::GmfBuilder;
using test::Node;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Dump(const Model& m) { return ModelToJson(m).dump(); }

TEST(Gmf, EmptyModelIsTwentyZeroBytesAndReadsBackEmpty) {
    TempDir dir;
    Model m;
    ASSERT_TRUE(m.SaveGmf(dir.Path("e.gmf")));
    EXPECT_EQ(ReadFileBytes(dir.Path("e.gmf")), std::vector<std::uint8_t>(20, 0));
    Model back;
    ASSERT_TRUE(back.LoadGmf(dir.Path("e.gmf")));
    EXPECT_EQ(Dump(back), Dump(Model()));
}

TEST(Gmf, LoadThenSaveGivesTheSameBytes) {
    TempDir dir;
    GmfBuilder b = test::SmallModel();
    b.frames[1].name[20] = 'Z';  // bytes after the NUL are kept as they are
    b.frames[2].firstMeshNode = 1;  // an empty run may start at the node count
    b.geometries.push_back({4, 2, 12, 0x2, 5, {0, 1, 2, 3}});
    b.geometries.push_back({2, 0, 16, 0x42, 1, {}});
    const std::vector<std::uint8_t> bytes = b.Bytes();
    WriteFileBytes(dir.Path("in.gmf"), bytes);
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("in.gmf")));
    ASSERT_TRUE(m.SaveGmf(dir.Path("out.gmf")));
    EXPECT_EQ(ReadFileBytes(dir.Path("out.gmf")), bytes);
    ASSERT_EQ(m.GeometryCount(), 3);
    EXPECT_EQ(m.Geometry(1)->indices.size(), 4u);  // a strip of 2 triangles carries 2P + 4 bytes
}

TEST(Gmf, MergingTheSameFileTwiceLinksAndRebasesTheSecondCopy) {
    TempDir dir;
    WriteFileBytes(dir.Path("m.gmf"), test::SmallModel().Bytes());
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("m.gmf")));
    EXPECT_EQ(m.RootTail(), 0);
    ASSERT_TRUE(m.LoadGmf(dir.Path("m.gmf")));
    ASSERT_EQ(m.FrameCount(), 6);
    EXPECT_STREQ(m.FrameName(3), "Scene_Root0");
    EXPECT_STREQ(m.FrameName(4), "Hips0");
    EXPECT_STREQ(m.FrameName(5), "Legs0");
    EXPECT_EQ(m.FrameNextSibling(0), 3);  // the old top-level chain continues into the new one
    EXPECT_EQ(m.RootTail(), 3);
    EXPECT_EQ(m.FrameFirstChild(3), 4);
    EXPECT_EQ(m.FrameNextSibling(4), 5);
    EXPECT_EQ(m.FrameFirstMeshNode(4), 1);
    EXPECT_STREQ(m.MeshNodeName(1), "Body0");
    EXPECT_EQ(m.MeshNodeGeometry(1), 1);
    EXPECT_EQ(m.MeshNodeMaterial(1), 1);
    EXPECT_EQ(m.GetMaterial(1).texture[0], 1);
    EXPECT_EQ(m.GetMaterial(1).texture[1], -1);
    EXPECT_EQ(m.TextureCount(), 2);
}

TEST(Gmf, NameUniquenessRule) {
    struct Case {
        std::vector<const char*> existing;
        const char* incoming;
        const char* expected;
    };
    const std::string long31(31, 'q');
    const Case cases[] = {
        {{"Box12"}, "Box12", "Box0"},
        {{"Box12", "Box0"}, "Box12", "Box1"},
        {{"Box"}, "Box7", "Box7"},  // already unique: kept, digits included
        {{"Leg2"}, "Leg2", "Leg0"},
        {{"a"}, "", "frame"},
        {{"frame"}, "", "frame0"},
        {{"12"}, "12", "0"},
        {{long31.c_str()}, long31.c_str(), "qqqqqqqqqqqqqqqqqqqqqqqqqqqqqq0"},  // the counter stays in the field
    };
    for (const Case& c : cases) {
        TempDir dir;
        GmfBuilder first, second;
        for (std::size_t i = 0; i < c.existing.size(); ++i)
            first.frames.push_back(Frame(c.existing[i], -1, 0, i + 1 < c.existing.size() ? int(i) + 1 : -1));
        second.frames = {Frame(c.incoming)};
        WriteFileBytes(dir.Path("a.gmf"), first.Bytes());
        WriteFileBytes(dir.Path("b.gmf"), second.Bytes());
        Model m;
        ASSERT_TRUE(m.LoadGmf(dir.Path("a.gmf")));
        ASSERT_TRUE(m.LoadGmf(dir.Path("b.gmf")));
        EXPECT_STREQ(m.FrameName(m.FrameCount() - 1), c.expected) << c.incoming;
    }
}

// Every frame named alike, merged into a Model that holds the same file: the new names count
// up from 0 past the ones taken. Quick only when a merge does not compare every pair of names.
TEST(Gmf, MergingManyLikeNamedFramesNumbersThemInOrder) {
    TempDir dir;
    GmfBuilder b;
    const std::int32_t n = 20000;
    for (std::int32_t i = 0; i < n; ++i) b.frames.push_back(Frame(i == 5 ? "Bone3" : "Bone", -1, 0, i + 1 < n ? i + 1 : -1));
    WriteFileBytes(dir.Path("a.gmf"), b.Bytes());
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("a.gmf")));
    ASSERT_TRUE(m.LoadGmf(dir.Path("a.gmf")));
    ASSERT_EQ(m.FrameCount(), 2 * n);
    EXPECT_STREQ(m.FrameName(n), "Bone0");
    EXPECT_STREQ(m.FrameName(n + 2), "Bone2");
    EXPECT_STREQ(m.FrameName(n + 3), "Bone4");  // Bone3 is taken by the first copy
    EXPECT_STREQ(m.FrameName(n + 5), "Bone6");
    EXPECT_STREQ(m.FrameName(2 * n - 1), "Bone20000");
}

TEST(Gmf, LoadingIntoAnEmptyModelKeepsDuplicateAndEmptyNames) {
    TempDir dir;
    GmfBuilder b;
    b.frames = {Frame("Arm", -1, 0, 1), Frame("Arm", -1, 0, 2), Frame("")};
    b.nodes = {Node("", 0, -1), Node("", 0, -1)};
    b.geometries = {test::GeometryBlock{}};
    WriteFileBytes(dir.Path("m.gmf"), b.Bytes());
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("m.gmf")));
    EXPECT_STREQ(m.FrameName(1), "Arm");
    EXPECT_STREQ(m.FrameName(2), "");
    EXPECT_STREQ(m.MeshNodeName(1), "");
    EXPECT_EQ(m.MeshNodeMaterial(0), -1);
    // Merged again, the empty mesh-node names become "frame", then "frame0".
    ASSERT_TRUE(m.LoadGmf(dir.Path("m.gmf")));
    EXPECT_STREQ(m.MeshNodeName(2), "frame");
    EXPECT_STREQ(m.MeshNodeName(3), "frame0");
    EXPECT_STREQ(m.FrameName(5), "frame");
}

// A corrupt file: what to change in the fixture, and a word the error must contain.
struct Corruption {
    const char* what;
    void (*change)(GmfBuilder&);
    const char* expected;
};

const Corruption kCorruptions[] = {
    {"frame link out of range", [](GmfBuilder& b) { b.frames[1].nextSibling = 3; }, "frame 1"},
    {"frame link negative", [](GmfBuilder& b) { b.frames[0].firstChild = -2; }, "frame 0"},
    {"frame cycle", [](GmfBuilder& b) { b.frames[2].nextSibling = 1; }, "linked twice"},
    {"frame loop apart from the root", [](GmfBuilder& b) { b.frames[0].firstChild = -1; b.frames[1].nextSibling = 2; b.frames[2].nextSibling = 1; }, "cycle"},
    {"link to frame 0", [](GmfBuilder& b) { b.frames[2].firstChild = 0; }, "frame 0"},
    {"mesh-node run outside", [](GmfBuilder& b) { b.frames[1].meshNodeCount = 2; }, "mesh-node run"},
    {"first mesh node out of range", [](GmfBuilder& b) { b.frames[1].firstMeshNode = 1; }, "first mesh node"},
    {"empty run beyond the node count", [](GmfBuilder& b) { b.frames[2].firstMeshNode = 2; }, "first mesh node"},
    {"run without a first node", [](GmfBuilder& b) { b.frames[2].meshNodeCount = 1; }, "mesh-node run"},
    {"unterminated frame name", [](GmfBuilder& b) { std::memset(b.frames[2].name, 'a', kNameSize); }, "terminated"},
    {"node geometry -1", [](GmfBuilder& b) { b.nodes[0].geometry = -1; }, "geometry"},
    {"node material out of range", [](GmfBuilder& b) { b.nodes[0].material = 1; }, "material"},
    {"material texture out of range", [](GmfBuilder& b) { b.materials[0].texture[7] = 1; }, "texture"},
    {"stage count 9", [](GmfBuilder& b) { b.materials[0].stageCount = 9; }, "stage count"},
    {"unterminated texture name", [](GmfBuilder& b) { b.textures[0] = std::string(120, 't'); }, "terminated"},
    {"index beyond the vertices", [](GmfBuilder& b) { b.geometries[0].indices = {0, 1, 3}; }, "index 2"},
    {"too few indices", [](GmfBuilder& b) { b.geometries[0].primitiveCount = 2; }, "too few"},
    {"vertex bytes short of count x stride", [](GmfBuilder& b) { b.geometries[0].vb = 95; }, "vertex byte count"},
    {"vertex bytes beyond the file", [](GmfBuilder& b) { b.geometries[0].vb = 1 << 30; }, "exceeds the file"},
    {"negative vertex bytes", [](GmfBuilder& b) { b.geometries[0].vb = -5; }, "vertex byte count"},
    {"odd index bytes", [](GmfBuilder& b) { b.geometries[0].ib = 5; }, "index byte count"},
    {"index bytes beyond the file", [](GmfBuilder& b) { b.geometries[0].ib = 1 << 30; }, "exceeds the file"},
    {"unknown primitive type", [](GmfBuilder& b) { b.geometries[0].primitiveType = 7; }, "primitive type"},
    {"negative primitive count", [](GmfBuilder& b) { b.geometries[0].primitiveCount = -1; }, "primitive"},
    {"huge vertex count", [](GmfBuilder& b) { b.geometries[0].vertexCount = 0x7fffffff; }, "vertex byte count"},
};

class GmfRejects : public ::testing::Test {
protected:
    // A Model that already holds the fixture, so that a rejected merge could show damage.
    void SetUp() override {
        WriteFileBytes(dir.Path("base.gmf"), test::SmallModel().Bytes());
        ASSERT_TRUE(model.LoadGmf(dir.Path("base.gmf")));
        before = Dump(model);
    }
    void ExpectRejected(const std::vector<std::uint8_t>& bytes, const char* expected, const std::string& label) {
        WriteFileBytes(dir.Path("bad.gmf"), bytes);
        Status s = model.LoadGmf(dir.Path("bad.gmf"));
        EXPECT_FALSE(s) << label;
        if (expected) {
            EXPECT_NE(s.message().find(expected), std::string::npos) << label << ": " << s.message();
        }
        EXPECT_EQ(Dump(model), before) << label;
    }
    TempDir dir;
    Model model;
    std::string before;
};

TEST_F(GmfRejects, CorruptFilesChangeNothing) {
    for (const Corruption& c : kCorruptions) {
        GmfBuilder b = test::SmallModel();
        c.change(b);
        ExpectRejected(b.Bytes(), c.expected, c.what);
    }
}

TEST_F(GmfRejects, BadCountsInTheHeader) {
    std::vector<std::uint8_t> bytes = test::SmallModel().Bytes();
    for (int field = 0; field < 5; ++field) {
        std::vector<std::uint8_t> bad = bytes;
        std::int32_t huge = field % 2 ? -3 : 0x10000000;
        std::memcpy(bad.data() + 4 * field, &huge, 4);
        ExpectRejected(bad, nullptr, "header field " + std::to_string(field));
    }
}

TEST_F(GmfRejects, BytesBeyondWhatTheHeaderDescribes) {
    std::vector<std::uint8_t> longer = test::SmallModel().Bytes();
    longer.push_back(0);
    ExpectRejected(longer, "not a GMF file: 1 bytes follow", "one byte more");
    ExpectRejected(std::vector<std::uint8_t>(4096, 0), "not a GMF file: 4076 bytes follow", "a file of zeros");
}

TEST_F(GmfRejects, EveryTruncatedPrefix) {
    const std::vector<std::uint8_t> bytes = test::SmallModel().Bytes();
    for (std::size_t n = 0; n < bytes.size(); ++n)
        ExpectRejected(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + n), nullptr,
                       "prefix " + std::to_string(n));
}

TEST_F(GmfRejects, MissingFileIsReportedWithItsPath) {
    Status s = model.LoadGmf(dir.Path("none.gmf"));
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("none.gmf"), std::string::npos);
    EXPECT_EQ(Dump(model), before);
}

TEST(Gmf, FailedSaveKeepsTheOldFile) {
    TempDir dir;
    WriteFileBytes(dir.Path("m.gmf"), test::SmallModel().Bytes());
    Model m;
    ASSERT_TRUE(m.LoadGmf(dir.Path("m.gmf")));
    Status s = m.SaveGmf(dir.Path("missing-dir/out.gmf"));
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("missing-dir/out.gmf"), std::string::npos);
    std::filesystem::create_directory(dir.Path("ro"));
    WriteFileBytes(dir.Path("ro/out.gmf"), {1, 2, 3});
    std::filesystem::permissions(dir.Path("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::geteuid() != 0) {  // root may write anywhere
        EXPECT_FALSE(m.SaveGmf(dir.Path("ro/out.gmf")));
        EXPECT_EQ(ReadFileBytes(dir.Path("ro/out.gmf")), (std::vector<std::uint8_t>{1, 2, 3}));
    }
    std::filesystem::permissions(dir.Path("ro"), std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace ms
