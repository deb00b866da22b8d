#include "skin/skeleton_loader.h"

#include <gtest/gtest.h>

#include "../model/gmf_builder.h"
#include "render/scene_json.h"
#include "skin/camera.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::Frame;
using test::GmfBuilder;
using test::TempDir;

FrameRecord At(FrameRecord f, float x, float y) {
    f.matrix[12] = x;
    f.matrix[13] = y;
    return f;
}

// Hip -> Knee -> Foot, and Hip's sibling Tail without children.
GmfBuilder Leg() {
    GmfBuilder b;
    b.frames = {At(Frame("Hip", -1, 0, 3, 1), 0, 1), At(Frame("Knee", -1, 0, -1, 2), 2, 0), At(Frame("Foot"), 3, 0),
                At(Frame("Tail"), 0, -1)};
    return b;
}

class SkeletonLoaderTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const GmfBuilder& b) {
        test::WriteFileBytes(dir.Path(name), b.Bytes());
        return dir.Path(name);
    }
    TempDir dir;
};

TEST_F(SkeletonLoaderTest, FramesWithChildrenBecomeBonesOrEveryFrameDoes) {
    const std::string path = Write("leg.gmf", Leg());
    const struct {
        bool everyFrame;
        int bones;
        std::vector<float> lengths;
    } rows[] = {{false, 2, {2.0f, 0.5f}}, {true, 4, {2.0f, 3.0f, 0.5f, 0.5f}}};
    for (const auto& r : rows) {
        Scene s;
        ASSERT_TRUE(LoadSkeleton(s, path, r.everyFrame));
        ASSERT_EQ(s.BoneCount(), r.bones);
        ASSERT_EQ(s.boneStates.size(), s.bones.size());
        for (std::size_t b = 0; b < r.lengths.size(); ++b) {
            const BoneState& st = s.boneStates[b];
            EXPECT_EQ(st.length, r.lengths[b]) << b;
            EXPECT_EQ(st.envelope.dot2[0], r.lengths[b]) << b;  // default envelopes
            EXPECT_EQ(st.envelope.dot1R2, 0.2f * r.lengths[b]) << b;
            EXPECT_EQ(st.envelope.falloff, 3);
        }
        EXPECT_EQ(s.bones[0].firstChild, 1);
        EXPECT_EQ(s.boneStates[1].origin[0], 2.0f);
        EXPECT_EQ(s.boneStates[1].origin[1], 1.0f);
        EXPECT_EQ(s.bones[1].root, 0);
    }
    Scene every;
    ASSERT_TRUE(LoadSkeleton(every, path, true));
    EXPECT_EQ(every.bones[0].nextSibling, 3);  // Tail follows Hip at the top
    EXPECT_EQ(every.bones[3].root, 3);
}

TEST_F(SkeletonLoaderTest, ChildrenComeInChainOrderAndTheFirstAddedGivesTheLength) {
    GmfBuilder b;
    b.frames = {Frame("P", -1, 0, -1, 1), At(Frame("C1", -1, 0, 2, 3), 1, 0), At(Frame("C2"), 2, 0),
                At(Frame("G"), 4, 0)};
    Scene s;
    ASSERT_TRUE(LoadSkeleton(s, Write("p.gmf", b), true));
    ASSERT_EQ(s.BoneCount(), 4);
    // Depth first: P, C1, G, C2; each child went to the head of its parent's chain.
    EXPECT_EQ(s.matrices[s.bones[2].local]._41, 4.0f);
    EXPECT_EQ(s.bones[0].firstChild, 3);
    EXPECT_EQ(s.bones[3].nextSibling, 1);
    EXPECT_EQ(s.boneStates[0].length, 1.0f);
}

TEST_F(SkeletonLoaderTest, SceneRootGivesNoBoneAndASecondLoadJoinsTheTopChain) {
    Scene s;
    StartView(s);
    const std::string small = Write("small.gmf", test::SmallModel());
    ASSERT_TRUE(LoadSkeleton(s, small, false));
    EXPECT_EQ(s.BoneCount(), 0);  // Hips and Legs2 have no children
    ASSERT_TRUE(LoadSkeleton(s, small, true));
    ASSERT_EQ(s.BoneCount(), 2);
    EXPECT_EQ(s.bones[0].nextSibling, 1);
    ASSERT_TRUE(LoadSkeleton(s, Write("leg.gmf", Leg()), false));
    ASSERT_EQ(s.BoneCount(), 4);
    EXPECT_EQ(s.bones[1].nextSibling, 2);
    EXPECT_EQ(s.bones[3].root, 2);
    EXPECT_NE(s.boneStates[3].originScreen[1], 0.0f);  // projected with the start-up camera
}

TEST_F(SkeletonLoaderTest, TheLastCharacterChoosesTheReaderAndFailuresChangeNothing) {
    Scene s;
    ASSERT_TRUE(LoadSkeleton(s, Write("leg.gm", Leg()), true));
    ASSERT_EQ(s.BoneCount(), 4);
    const std::string before = SceneToJson(s).dump();
    (void)LoadSkeleton(s, Write("leg.gmx", Leg()), true);  // read as a .x file, which has no frames
    EXPECT_EQ(SceneToJson(s).dump(), before);
    const std::string missing = dir.Path("missing.gmf");
    Status r = LoadSkeleton(s, missing, true);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message().find(missing), std::string::npos) << r.message();
    EXPECT_EQ(SceneToJson(s).dump(), before);
}

}  // namespace
}  // namespace ms
