#include "skin/bones.h"

#include <cmath>

#include <gtest/gtest.h>

#include "skin/envelope.h"

namespace ms {
namespace {

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR((&a._11)[i], (&b._11)[i], tolerance) << "element " << i;
}

// root (0) at (1, 0, 0) with children added in the order A (1) at x = 2, B (2) at x = 3; A has a
// child C (3) at x = 4; a second top bone D (4).
Scene SmallSkeleton() {
    Scene s;
    AddBone(s, -1, Translation(1, 0, 0));
    AddBone(s, 0, Translation(2, 0, 0));
    AddBone(s, 0, Translation(3, 0, 0));
    AddBone(s, 1, Translation(4, 0, 0));
    AddBone(s, -1, Translation(0, 5, 0));
    GrowBoneStates(s);
    SetUpHierarchy(s, 0, kDefaultBoneLength);
    return s;
}

TEST(Bones, AddBoneLinksChildrenAtTheHeadAndTopBonesAtTheEnd) {
    Scene s = SmallSkeleton();
    ASSERT_EQ(s.BoneCount(), 5);
    ASSERT_EQ(s.matrices.size(), 20u);
    EXPECT_EQ(s.bones[0].firstChild, 2);  // B, added last, heads the chain
    EXPECT_EQ(s.bones[2].nextSibling, 1);
    EXPECT_EQ(s.bones[1].nextSibling, -1);
    EXPECT_EQ(s.bones[0].nextSibling, 4);
    const BoneRecord& c = s.bones[3];
    // Matrices in the order inverse bind, local, pose, world.
    EXPECT_EQ(c.inverseBind, 12);
    EXPECT_EQ(c.local, 13);
    EXPECT_EQ(c.pose, 14);
    EXPECT_EQ(c.world, 15);
    EXPECT_EQ(c.firstMeshNode, -1);
    EXPECT_EQ(c.firstShadowNode, -1);
    ExpectMatrixNear(s.matrices[c.pose], Identity());
}

TEST(Bones, SetUpHierarchyGivesRootsWorldsInverseBindsAndLengths) {
    Scene s = SmallSkeleton();
    struct Row {
        std::int32_t bone, root;
        float worldX, worldY, length;
    };
    const Row rows[] = {
        {0, 0, 1, 0, 2.0f},  // the last child of the chain, A, was added first
        {1, 0, 3, 0, 4.0f},
        {2, 0, 4, 0, 0.5f},  // no children: the default length
        {3, 0, 7, 0, 0.5f},
        {4, 4, 0, 5, 0.5f},
    };
    for (const Row& r : rows) {
        const BoneRecord& b = s.bones[r.bone];
        EXPECT_EQ(b.root, r.root) << r.bone;
        EXPECT_EQ(s.matrices[b.world]._41, r.worldX) << r.bone;
        EXPECT_EQ(s.matrices[b.world]._42, r.worldY) << r.bone;
        EXPECT_EQ(s.boneStates[r.bone].length, r.length) << r.bone;
        D3DXMATRIX product;
        D3DXMatrixMultiply(&product, &s.matrices[b.world], &s.matrices[b.inverseBind]);
        ExpectMatrixNear(product, Identity());
    }
}

TEST(Bones, UpdatePoseAppliesPoseBeforeLocalAndMovesTheChildren) {
    Scene s = SmallSkeleton();
    s.boneStates[1].poseAngles[2] = 1.5707964f;  // A turns a quarter about z
    SetPoseFromAngles(s, 1);
    UpdateAll(s);
    const BoneState& a = s.boneStates[1];
    EXPECT_FLOAT_EQ(a.origin[0], 3.0f);
    EXPECT_NEAR(a.end[0], 3.0f, 1e-5f);  // its x axis now points along +y, length 4
    EXPECT_NEAR(a.end[1], 4.0f, 1e-5f);
    const BoneState& c = s.boneStates[3];
    EXPECT_NEAR(c.origin[0], 3.0f, 1e-5f);  // C hangs 4 along A's turned x axis
    EXPECT_NEAR(c.origin[1], 4.0f, 1e-5f);
    EXPECT_FLOAT_EQ(s.boneStates[4].origin[1], 5.0f);  // the second tree is reached through the chain
}

TEST(Bones, ZeroingOneAngleKeepsTheOtherTwo) {
    for (int axis = 0; axis < 3; ++axis) {
        Scene s = SmallSkeleton();
        const float angles[3] = {0.3f, 0.5f, 0.7f};
        for (int k = 0; k < 3; ++k) s.boneStates[3].poseAngles[k] = angles[k];
        s.pickedBone = 3;
        ZeroPickedAngle(s, axis);
        D3DXMATRIX x, y, z, expected;
        D3DXMatrixRotationX(&x, axis == 0 ? 0.0f : angles[0]);
        D3DXMatrixRotationY(&y, axis == 1 ? 0.0f : angles[1]);
        D3DXMatrixRotationZ(&z, axis == 2 ? 0.0f : angles[2]);
        D3DXMatrixMultiply(&expected, &x, &y);
        D3DXMatrixMultiply(&expected, &expected, &z);
        ExpectMatrixNear(s.matrices[s.bones[3].pose], expected);
        EXPECT_EQ(s.boneStates[3].poseAngles[axis], 0.0f);
    }
}

TEST(Bones, ProjectionDividesByWAndKeepsThePositionWhereWIsZero) {
    Scene s = SmallSkeleton();
    D3DXMatrixIdentity(&s.view);
    D3DXMatrixIdentity(&s.projection);
    s.projection._34 = 1.0f;  // w' = z
    s.projection._44 = 0.0f;
    s.boneStates[4].originScreen[0] = 7.0f;
    s.boneStates[4].originScreen[1] = 8.0f;
    UpdateAll(s);  // origin (0, 5, 0), end (0.5, 5, 0)
    s.boneStates[4].end[2] = 2.0f;  // the origin stays in the plane z = 0
    ProjectBones(s);
    EXPECT_EQ(s.boneStates[4].originScreen[0], 7.0f);
    EXPECT_EQ(s.boneStates[4].originScreen[1], 8.0f);
    EXPECT_EQ(s.boneStates[4].endScreen[0], 0.25f);  // (0.5, 5) / 2
    EXPECT_EQ(s.boneStates[4].endScreen[1], 2.5f);

    // A w so small that the division overflows keeps the previous position too.
    s.boneStates[4].end[2] = 1e-39f;
    ProjectBones(s);
    EXPECT_EQ(s.boneStates[4].endScreen[0], 0.25f);
    EXPECT_EQ(s.boneStates[4].endScreen[1], 2.5f);
}

TEST(Bones, ResetClearsThePoseAndRebuildsTheEnvelopeMatrices) {
    Scene s = SmallSkeleton();
    for (std::int32_t b = 0; b < s.BoneCount(); ++b) {
        s.boneStates[b].poseAngles[1] = 0.4f;
        SetPoseFromAngles(s, b);
        s.boneStates[b].envelope.dot2[2] = 2.0f;
    }
    s.pickedBone = 2;
    ResetPickedBone(s);
    EXPECT_EQ(s.boneStates[2].poseAngles[1], 0.0f);
    ExpectMatrixNear(s.matrices[s.bones[2].pose], Identity());
    // Dot 1 at the origin, Dot 2 on +z: the look-at is the identity.
    ExpectMatrixNear(s.boneStates[2].envelope.boneToEnvelope, Identity());
    EXPECT_EQ(s.boneStates[1].poseAngles[1], 0.4f);

    ResetSkeleton(s);
    for (std::int32_t b = 0; b < s.BoneCount(); ++b) EXPECT_EQ(s.boneStates[b].poseAngles[1], 0.0f);
    Scene empty;
    ResetSkeleton(empty);  // nothing to reset
    EXPECT_EQ(empty.BoneCount(), 0);
}

TEST(Bones, IndicesOutsideTheBonesAndNoPickChangeNothing) {
    Scene s = SmallSkeleton();
    s.boneStates[0].poseAngles[0] = 0.2f;
    const std::vector<D3DXMATRIX> before = s.matrices;
    ResetBone(s, 5);
    ResetBone(s, -1);
    SetPoseFromAngles(s, 99);
    ZeroPickedAngle(s, 0);
    ResetPickedBone(s);
    TranslateDrag(s, DragAxis::kX, 10, 10);
    RotateDrag(s, DragAxis::kX, 10, 10);
    EXPECT_EQ(s.boneStates[0].poseAngles[0], 0.2f);
    for (std::size_t m = 0; m < before.size(); ++m) ExpectMatrixNear(s.matrices[m], before[m], 0.0f);
    SelectBone(s, 9);
    EXPECT_EQ(s.pickedBone, -1);
}

TEST(Bones, TranslateDragMovesThePickedBonesWholeTree) {
    Scene s = SmallSkeleton();
    s.pickedBone = 3;
    TranslateDrag(s, DragAxis::kXY, 290, -220);  // 290 pixels right, 220 up
    const D3DXMATRIX& rootLocal = s.matrices[s.bones[0].local];
    EXPECT_NEAR(rootLocal._41, 2.0f, 1e-5f);
    EXPECT_NEAR(rootLocal._42, 1.0f, 1e-5f);
    EXPECT_NEAR(s.boneStates[3].origin[0], 8.0f, 1e-5f);
    EXPECT_NEAR(s.boneStates[3].origin[1], 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(s.matrices[s.bones[3].local]._41, 4.0f);  // the picked bone itself is not moved alone

    const struct {
        DragAxis axis;
        float x, y, z;
    } rows[] = {{DragAxis::kX, 1, 0, 0}, {DragAxis::kY, 0, 1, 0},  {DragAxis::kZ, 0, 0, 1},
                {DragAxis::kYZ, 0, 1, 1}, {DragAxis::kZX, 1, 0, 1}, {DragAxis::kXY, 1, 1, 0}};
    for (const auto& r : rows) {
        Scene t = SmallSkeleton();
        t.pickedBone = 0;
        TranslateDrag(t, r.axis, 290, -220);
        const D3DXMATRIX& m = t.matrices[t.bones[0].local];
        EXPECT_NEAR(m._41 - 1.0f, r.x, 1e-5f);
        EXPECT_NEAR(m._42, r.y, 1e-5f);
        EXPECT_NEAR(m._43, r.z, 1e-5f);
    }
}

TEST(Bones, RotateDragTurnsThePickedBoneByTheAxisTable) {
    const struct {
        DragAxis axis;
        float x, y, z;
    } rows[] = {{DragAxis::kX, 0.5f, 0, 0},     {DragAxis::kY, 0, -0.5f, 0},      {DragAxis::kZ, 0, 0, -0.25f},
                {DragAxis::kYZ, 0, -0.5f, -0.25f}, {DragAxis::kZX, 0.5f, 0, -0.25f}, {DragAxis::kXY, -0.5f, 0.25f, 0}};
    for (const auto& r : rows) {
        Scene s = SmallSkeleton();
        s.pickedBone = 1;
        RotateDrag(s, r.axis, 100, -50);  // 100 pixels right, 50 up
        const float* a = s.boneStates[1].poseAngles;
        EXPECT_FLOAT_EQ(a[0], r.x);
        EXPECT_FLOAT_EQ(a[1], r.y);
        EXPECT_FLOAT_EQ(a[2], r.z);
        EXPECT_FLOAT_EQ(s.boneStates[0].poseAngles[0], 0.0f);
    }
}

TEST(Bones, WalksEndOnDamagedLinks) {
    Scene s = SmallSkeleton();
    s.bones[3].firstChild = 0;  // a cycle back to the top
    s.bones[4].nextSibling = 4;
    s.bones[2].firstChild = 77;
    UpdateAll(s);
    SetUpHierarchy(s, 0, kDefaultBoneLength);
    EXPECT_EQ(AddBone(s, -1, Identity()), 5);
}

}  // namespace
}  // namespace ms
