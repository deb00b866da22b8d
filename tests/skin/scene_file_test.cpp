#include "skin/scene_file.h"

#include <functional>

#include <gtest/gtest.h>

#include "render/scene_json.h"
#include "scene_file_builder.h"
#include "skin/bones.h"
#include "skin/envelope.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::ReadFileBytes;
using test::SceneFileBuilder;
using test::SmallScene;
using test::TempDir;
using test::WriteFileBytes;

std::string Dump(const Scene& s) { return SceneToJson(s).dump(); }

// A Scene holding exactly the parts of `p`, as a writer would find them.
Scene SceneOf(const SmallScene& p) {
    Scene s;
    s.vertexPool = p.vertices;
    s.indexPool = p.indices;
    s.geometries = p.geometries;
    s.textureNames = p.names;
    s.textures.resize(p.names.size());
    s.materials = p.materials;
    s.programWords = p.words;
    for (const auto& [name, start] : p.entries) s.entryPoints.push_back({name, start});
    s.drawNodes = p.nodes;
    s.matrices = p.matrices;
    s.bones = p.bones;
    GrowBoneStates(s);
    return s;
}

class SceneFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        WriteFileBytes(dir.Path(name), bytes);
        return dir.Path(name);
    }
    Status Open(Scene& s, const std::vector<std::uint8_t>& bytes, SceneFileKind kind = SceneFileKind::kScene) {
        return OpenSceneFile(s, Write(kind == SceneFileKind::kSkin ? "in.skn" : "in.scn", bytes), kind);
    }
    TempDir dir;
};

TEST_F(SceneFileTest, AnEmptySceneIsTwentyNineBytesAsSceneAndAsSkin) {
    const std::vector<std::uint8_t> expected = SceneFileBuilder().End().bytes;
    ASSERT_EQ(expected.size(), 29u);
    for (SceneFileKind kind : {SceneFileKind::kScene, SceneFileKind::kSkin}) {
        ASSERT_TRUE(SaveSceneFile(Scene(), dir.Path("e"), kind));
        EXPECT_EQ(ReadFileBytes(dir.Path("e")), expected);
        Scene back;
        ASSERT_TRUE(OpenSceneFile(back, dir.Path("e"), kind));
        EXPECT_EQ(Dump(back), Dump(Scene()));
    }
}

TEST_F(SceneFileTest, WriterGivesEveryChunkByteForByteAndSkinFilesAddTheStates) {
    SmallScene parts;
    Scene s = SceneOf(parts);
    ASSERT_TRUE(SaveSceneFile(s, dir.Path("a.scn"), SceneFileKind::kScene));
    EXPECT_EQ(ReadFileBytes(dir.Path("a.scn")), parts.File().bytes);

    s.boneStates[1].envelope.dot1R1 = 0.25f;
    s.boneStates[1].poseAngles[2] = 0.5f;
    ASSERT_TRUE(SaveSceneFile(s, dir.Path("a.skn"), SceneFileKind::kSkin));
    EXPECT_EQ(ReadFileBytes(dir.Path("a.skn")), parts.File().States(s.boneStates).bytes);
}

TEST_F(SceneFileTest, ExtensionRuleOfOpenAndSave) {
    EXPECT_EQ(SceneFileKindOf("a/b.skn"), SceneFileKind::kSkin);
    EXPECT_EQ(SceneFileKindOf("b.SKN"), SceneFileKind::kSkin);
    EXPECT_EQ(SceneFileKindOf("b.xk"), SceneFileKind::kSkin);
    EXPECT_EQ(SceneFileKindOf("b.scn"), SceneFileKind::kScene);
    EXPECT_EQ(SceneFileKindOf("b.k"), SceneFileKind::kScene);
    EXPECT_EQ(SceneFileKindOf("dir.skn/b"), SceneFileKind::kScene);
}

TEST_F(SceneFileTest, SkinRoundTripKeepsEnvelopesAndPoseAndRecomputesWorlds) {
    Scene s = SceneOf(SmallScene());
    for (std::int32_t b = 0; b < 2; ++b) {
        SetDefaultEnvelope(s.boneStates[b].envelope, 3.0f + b);
        s.boneStates[b].envelope.falloff = -2;
        s.boneStates[b].length = 2.0f;
        s.boneStates[b].poseAngles[1] = 0.25f * (b + 1);
        SetPoseFromAngles(s, b);
    }
    s.matrices[3]._41 = 99.0f;  // a stale world matrix
    ASSERT_TRUE(SaveSceneFile(s, dir.Path("r.skn"), SceneFileKind::kSkin));
    UpdateAll(s);

    Scene back;
    ASSERT_TRUE(OpenSceneFile(back, dir.Path("r.skn"), SceneFileKind::kSkin));
    EXPECT_EQ(Dump(back), Dump(s));
    EXPECT_EQ(back.boneStates[1].envelope.falloff, -2);
    EXPECT_EQ(back.boneStates[1].poseAngles[1], 0.5f);
    EXPECT_EQ(back.matrices[3]._41, 0.0f);

    // A second copy joins the skeleton behind the first and keeps its stored envelopes.
    ASSERT_TRUE(OpenSceneFile(back, dir.Path("r.skn"), SceneFileKind::kSkin));
    EXPECT_EQ(back.bones[0].nextSibling, 2);
    EXPECT_EQ(back.bones[3].root, 2);
    EXPECT_EQ(back.boneStates[3].envelope.dot2[0], 4.0f);
    EXPECT_EQ(back.textureNames.size(), 2u);
}

TEST_F(SceneFileTest, SceneFileOpenedTwiceAppendsRebasedAndSharesTextureNames) {
    SmallScene parts;
    D3DXMatrixRotationZ(&parts.matrices[2], 1.0f);  // a stored pose is dropped on opening
    Scene s;
    ASSERT_TRUE(Open(s, parts.File().bytes));
    EXPECT_EQ(s.matrices[2]._12, 0.0f);
    EXPECT_EQ(s.boneStates[0].length, 2.0f);  // the child's x translation
    EXPECT_EQ(s.boneStates[1].length, 0.5f);
    EXPECT_EQ(s.boneStates[1].envelope.dot2[0], 0.5f);  // default envelopes
    EXPECT_EQ(s.boneStates[1].envelope.dot1R2, 0.1f);
    EXPECT_EQ(s.boneStates[1].origin[0], 2.0f);
    EXPECT_EQ(s.boneStates[1].origin[1], 1.0f);

    ASSERT_TRUE(Open(s, parts.File().bytes));
    ASSERT_TRUE(Open(s, parts.File().bytes));
    EXPECT_EQ(s.textureNames, (std::vector<std::string>{"skin.bmp", "walk.bmp"}));
    ASSERT_EQ(s.entryPoints.size(), 3u);
    EXPECT_EQ(s.entryPoints[1].name, "walk0");
    EXPECT_EQ(s.entryPoints[2].name, "walk1");
    EXPECT_EQ(s.entryPoints[2].start, 4u);
    EXPECT_EQ(s.materials[2].texture[0], 1);  // the first copy's walk.bmp
    EXPECT_EQ(s.materials[2].texture[1], -1);
    const GeometryRecord& g = s.geometries[2];
    EXPECT_EQ(g.vertexOffset, 72u);
    EXPECT_EQ(g.firstIndex, 6u);
    const DrawNode& n = s.drawNodes[1];
    EXPECT_EQ(n.nextDrawn, -1);
    EXPECT_EQ(n.geometry, 1);
    EXPECT_EQ(n.material, 1);
    EXPECT_EQ(n.program, 1);
    ASSERT_EQ(s.BoneCount(), 6);
    EXPECT_EQ(s.bones[0].nextSibling, 2);  // top bones linked behind the existing ones
    EXPECT_EQ(s.bones[2].nextSibling, 4);
    const BoneRecord& b = s.bones[2];
    EXPECT_EQ(b.firstChild, 3);
    EXPECT_EQ(b.root, 2);
    EXPECT_EQ(b.local, 9);
    EXPECT_EQ(b.inverseBind, 8);
    EXPECT_EQ(b.firstMeshNode, 1);
    EXPECT_EQ(b.firstShadowNode, -1);
    EXPECT_EQ(s.bones[5].root, 4);
    EXPECT_EQ(s.boneStates.size(), 6u);
}

TEST_F(SceneFileTest, ProgramNumbersAndReferencesAreRebased) {
    SmallScene parts;
    parts.entries.push_back({"idle", 1});
    parts.nodes = {{1, -1, 0, 0, 1, 10.0f}, {-1, 2, -1, -1, -4, 20.0f}, {-1, -1, -1, -1, -2, 0.0f}};
    Scene s;
    ASSERT_TRUE(Open(s, parts.File().bytes));
    ASSERT_TRUE(Open(s, parts.File().bytes));
    const DrawNode* n = &s.drawNodes[3];
    EXPECT_EQ(n[0].nextDrawn, 4);
    EXPECT_EQ(n[0].program, 3);
    EXPECT_EQ(n[1].program, -6);  // refers to entry 1 of the file, now entry 3
    EXPECT_EQ(n[1].geometry, -1);
    EXPECT_EQ(n[1].nextSkipped, 5);
    EXPECT_EQ(n[2].program, -2);
    EXPECT_EQ(s.entryPoints[3].name, "idle0");
    EXPECT_EQ(s.entryPoints[3].start, 3u);
}

TEST_F(SceneFileTest, ChunksInAnotherOrderAndUnknownChunksAreRead) {
    SmallScene parts;
    Scene ordered;
    ASSERT_TRUE(Open(ordered, parts.File().bytes));
    SceneFileBuilder b;
    b.Records(9, parts.bones).Records(8, parts.matrices);
    b.U32(77);  // an unknown chunk, skipped by its size
    b.U32(5);
    b.Put("xxxxx", 5);
    b.Records(7, parts.nodes).Entries(parts.entries).Records(5, parts.words).Names(parts.names);
    b.Records(4, parts.materials).Records(2, parts.geometries).Records(1, parts.indices).Records(0, parts.vertices);
    b.End();
    b.Put("trailing", 8);
    Scene shuffled;
    ASSERT_TRUE(Open(shuffled, b.bytes));
    EXPECT_EQ(Dump(shuffled), Dump(ordered));
}

TEST_F(SceneFileTest, MaterialsBeforeTheNamesKeepTheirTextureIndices) {
    SmallScene parts;
    Scene s;
    ASSERT_TRUE(Open(s, parts.File().bytes));
    parts.materials[0].texture[0] = 0;
    SceneFileBuilder b;
    b.Records(4, parts.materials).Names({"other.bmp", "skin.bmp"}).End();
    ASSERT_TRUE(Open(s, b.bytes));
    EXPECT_EQ(s.materials[1].texture[0], 0);
    EXPECT_EQ(s.textureNames, (std::vector<std::string>{"skin.bmp", "walk.bmp", "other.bmp"}));
}

TEST_F(SceneFileTest, AFileEndingWithoutItsEndChunkIsReadButASkinNeedsItsStates) {
    SmallScene parts;
    Scene s;
    ASSERT_TRUE(Open(s, parts.File(false).bytes));
    EXPECT_EQ(s.BoneCount(), 2);

    Scene skin;
    Status r = Open(skin, parts.File(false).bytes, SceneFileKind::kSkin);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message().find("bone states"), std::string::npos) << r.message();
    r = Open(skin, parts.File().bytes, SceneFileKind::kSkin);  // the end chunk, then nothing
    EXPECT_NE(r.message().find("bone states"), std::string::npos) << r.message();
    EXPECT_EQ(Dump(skin), Dump(Scene()));
}

TEST_F(SceneFileTest, SceneBonesWhoseRootsAreNoTopBonesAreTakenBackWhole) {
    SmallScene parts;
    Scene s;
    ASSERT_TRUE(Open(s, parts.File().bytes));
    const std::string before = Dump(s);
    SmallScene bad;
    bad.bones[1].root = 1;  // a child naming itself as root
    bad.names = {"new.bmp", "walk.bmp"};
    Status r = Open(s, bad.File().bytes);
    ASSERT_FALSE(r);
    EXPECT_NE(r.message().find("not added"), std::string::npos) << r.message();
    EXPECT_NE(r.message().find("(1)"), std::string::npos) << r.message();
    EXPECT_EQ(Dump(s), before);
    EXPECT_EQ(s.bones[0].nextSibling, -1);  // the link to the file's first bone is gone too

    // Into a scene without bones there is nothing to check against.
    Scene empty;
    ASSERT_TRUE(Open(empty, bad.File().bytes));
    EXPECT_EQ(empty.bones[1].root, 0);
}

TEST_F(SceneFileTest, BadFilesAreRejectedWithTheSceneUnchanged) {
    struct Row {
        const char* what;
        std::function<void(SmallScene&)> change;
        const char* message;
    };
    const Row rows[] = {
        {"node geometry", [](SmallScene& p) { p.nodes[0].geometry = 1; }, "geometry 1 is outside"},
        {"node material", [](SmallScene& p) { p.nodes[0].material = -4; }, "material -4"},
        {"node program", [](SmallScene& p) { p.nodes[0].program = 1; }, "program 1 names no entry"},
        {"node reference", [](SmallScene& p) { p.nodes[0].program = -4; }, "program -4"},
        {"node link", [](SmallScene& p) { p.nodes[0].nextSkipped = 3; }, "a link is outside"},
        {"node cycle", [](SmallScene& p) { p.nodes[0].nextDrawn = 0; }, "cycle"},
        {"vertex range", [](SmallScene& p) { p.geometries[0].vertexCount = 4; }, "vertex bytes"},
        {"index range", [](SmallScene& p) { p.geometries[0].firstIndex = 1; }, "indices from 1"},
        {"unindexed draw", [](SmallScene& p) { p.geometries[0] = {0, 0, 3, 2, 12, 2, 4, 0}; }, "draw 6 vertices"},
        {"texture mapping", [](SmallScene& p) { p.materials[0].texture[0] = 2; }, "texture 2 is not one of the 2"},
        {"negative texture", [](SmallScene& p) { p.materials[0].texture[0] = -3; }, "texture -3"},
        {"stage count", [](SmallScene& p) { p.materials[0].stageCount = 9; }, "stage count 9"},
        {"entry start", [](SmallScene& p) { p.entries[0].second = 2; }, "start word 2"},
        {"entry name", [](SmallScene& p) { p.entries[0].first = std::string("wa\0lk", 5); }, "NUL"},
        {"bone matrix", [](SmallScene& p) { p.bones[1].world = 8; }, "matrix 8"},
        {"bone without matrix", [](SmallScene& p) { p.bones[1].pose = -1; }, "matrix -1"},
        {"bone link", [](SmallScene& p) { p.bones[0].firstChild = 2; }, "bone 2 is outside"},
        {"bone root", [](SmallScene& p) { p.bones[1].root = -7; }, "bone -7"},
        {"bone node", [](SmallScene& p) { p.bones[1].firstShadowNode = 1; }, "draw node 1 is outside"},
        {"link to the head", [](SmallScene& p) { p.bones[1].firstChild = 0; }, "head of the top-bone chain"},
        {"linked twice", [](SmallScene& p) { p.bones[1].nextSibling = 1; }, "linked twice"},
    };
    Scene s;
    ASSERT_TRUE(Open(s, SmallScene().File().bytes));
    const std::string before = Dump(s);
    for (const Row& r : rows) {
        SmallScene parts;
        r.change(parts);
        Status result = Open(s, parts.File().bytes);
        EXPECT_FALSE(result) << r.what;
        EXPECT_NE(result.message().find(r.message), std::string::npos) << r.what << ": " << result.message();
        EXPECT_EQ(Dump(s), before) << r.what;
    }
}

TEST_F(SceneFileTest, BadBytesAreRejectedWithChunkAndOffset) {
    SmallScene parts;
    struct Row {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* message;
    };
    const std::vector<std::uint8_t> good = parts.File().bytes;
    std::vector<std::uint8_t> magic = good;
    magic[16] = 'X';
    SceneFileBuilder huge;
    huge.U32(0);
    huge.U32(4);
    huge.U32(1000000);  // a million vertex bytes in a short file
    SceneFileBuilder longName;
    longName.U32(3);
    longName.U32(8);
    longName.U32(1);
    longName.U32(5000);
    const Row rows[] = {
        {"magic", magic, "KORVENSTAHL_SCENE"},
        {"short", std::vector<std::uint8_t>(good.begin(), good.begin() + 19), "version"},
        {"count", huge.bytes, "chunk 0 (vertex data) at offset 21: 1000000 elements of 1 bytes do not fit"},
        {"name", longName.bytes, "chunk 3 (texture names) at offset 21, name 0 at offset 33: the name's length 5000"},
    };
    Scene s;
    ASSERT_TRUE(Open(s, parts.File().bytes));
    const std::string before = Dump(s);
    for (const Row& r : rows) {
        Status result = Open(s, r.bytes);
        EXPECT_NE(result.message().find(r.message), std::string::npos) << r.what << ": " << result.message();
        EXPECT_EQ(Dump(s), before) << r.what;
    }
    EXPECT_NE(OpenSceneFile(s, dir.Path("missing.scn"), SceneFileKind::kScene).message().find("missing.scn"),
              std::string::npos);
}

// Every prefix of a valid file is either refused with the Scene unchanged or read whole up to
// a chunk boundary.
TEST_F(SceneFileTest, EveryTruncatedPrefixLeavesTheSceneUnchangedOrIsReadToAChunkBoundary) {
    SmallScene parts;
    Scene s = SceneOf(parts);
    GrowBoneStates(s);
    for (std::int32_t b = 0; b < 2; ++b) SetDefaultEnvelope(s.boneStates[b].envelope, 1.0f);
    ASSERT_TRUE(SaveSceneFile(s, dir.Path("full.skn"), SceneFileKind::kSkin));
    const std::vector<std::uint8_t> full = ReadFileBytes(dir.Path("full.skn"));
    for (SceneFileKind kind : {SceneFileKind::kScene, SceneFileKind::kSkin}) {
        Scene target;
        ASSERT_TRUE(Open(target, parts.File().bytes));
        const std::string before = Dump(target);
        int accepted = 0;
        for (std::size_t n = 0; n < full.size(); ++n) {
            Scene copy;
            ASSERT_TRUE(Open(copy, parts.File().bytes));
            if (Open(copy, std::vector<std::uint8_t>(full.begin(), full.begin() + n), kind)) {
                ++accepted;
                continue;
            }
            EXPECT_EQ(Dump(copy), before) << "prefix of " << n << " bytes";
        }
        EXPECT_GT(accepted, 0);  // at least the prefixes that end between chunks
    }
}

TEST_F(SceneFileTest, AFailedSaveSaysWhyAndLeavesNothingBehind) {
    Scene s = SceneOf(SmallScene());
    std::filesystem::create_directory(dir.Path("taken.skn"));  // cannot be replaced by a file
    WriteFileBytes(dir.Path("taken.skn/inside"), {1, 2, 3});
    for (const char* target : {"taken.skn", "missing/x.skn"}) {
        Status r = SaveSceneFile(s, dir.Path(target), SceneFileKind::kSkin);
        EXPECT_FALSE(r) << target;
        EXPECT_NE(r.message().find(target), std::string::npos) << r.message();
    }
    EXPECT_EQ(ReadFileBytes(dir.Path("taken.skn/inside")), (std::vector<std::uint8_t>{1, 2, 3}));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.root())) ++entries;
    EXPECT_EQ(entries, 1);  // no temporary file is left beside the target
}

}  // namespace
}  // namespace ms
