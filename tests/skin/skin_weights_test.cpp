#include "skin/skin_weights.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "skin/bones.h"
#include "skin/envelope.h"

namespace ms {
namespace {

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

void Prepare(Scene& s) {
    GrowBoneStates(s);
    SetUpHierarchy(s, 0, kDefaultBoneLength);
    UpdateAll(s);
}

// An envelope from Dot 1 at the bone's origin to Dot 2 = (0, 0, length), in which envelope space
// and bone space coincide.
void SetAxis(Envelope& e, float length, float a1, float a2, float b1, float b2, std::int32_t falloff) {
    e = Envelope{};
    e.dot2[2] = length;
    e.dot1R1 = a1;
    e.dot1R2 = a2;
    e.dot2R1 = b1;
    e.dot2R2 = b2;
    e.falloff = falloff;
    RebuildEnvelopeMatrices(e);
}

TEST(SkinWeights, EvaluationZonesCurvesNormalCheckAndZeroDivisors) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const D3DXVECTOR3 up(0, 1, 0), none(0, 0, 0);
    struct Row {
        const char* what;
        float length, a1, a2, b1, b2;
        std::int32_t falloff;
        D3DXVECTOR3 p;  // relative to the bone, which stands at (10, 0, 0)
        const D3DXVECTOR3* normal;
        float weight, score;
    };
    const Row rows[] = {
        {"behind Dot 1", 2, 1, 2, 0.5f, 1.5f, 0, {0, 0, -1.5f}, nullptr, 0.5f, -0.25f},
        {"on Dot 1", 2, 1, 2, 0.5f, 1.5f, 0, {0, 0, 0}, nullptr, 1.0f, -1.0f},
        {"between, radii interpolated", 2, 1, 2, 0.5f, 1.5f, 0, {1.25f, 0, 1}, nullptr, 0.5f, -0.25f},
        {"beyond Dot 2", 2, 1, 2, 0.5f, 1.5f, 0, {0, 0, 3}, nullptr, 0.5f, -0.25f},
        {"outside", 2, 1, 2, 0.5f, 1.5f, 0, {0, 0, 5}, nullptr, 0.0f, 0.75f},
        {"on the inner surface", 2, 1, 2, 0.5f, 1.5f, 0, {0, 0, -1}, nullptr, 1.0f, -0.5f},
        {"on the outer surface", 2, 1, 2, 0.5f, 1.5f, 0, {0, 0, -2}, nullptr, 0.0f, 0.0f},
        {"curve 0 at t = 0.25", 2, 1, 2, 1, 2, 0, {0, 0, -1.25f}, nullptr, 0.75f, -0.375f},
        {"curve 1 at t = 0.25", 2, 1, 2, 1, 2, 1, {0, 0, -1.25f}, nullptr, 0.875f, -0.375f},
        {"curve 2 at t = 0.25", 2, 1, 2, 1, 2, 2, {0, 0, -1.25f}, nullptr, 0.6173165f, -0.375f},
        {"curve 3 at t = 0.25", 2, 1, 2, 1, 2, 3, {0, 0, -1.25f}, nullptr, 0.9238795f, -0.375f},
        {"curve 1 at t = 0.75", 2, 1, 2, 1, 2, 1, {0, 0, -1.75f}, nullptr, 0.125f, -0.125f},
        {"curve 2 at t = 0.75", 2, 1, 2, 1, 2, 2, {0, 0, -1.75f}, nullptr, 0.0761205f, -0.125f},
        {"curve 3 at t = 0.75", 2, 1, 2, 1, 2, 3, {0, 0, -1.75f}, nullptr, 0.3826834f, -0.125f},
        {"code 7 uses curve 3", 2, 1, 2, 1, 2, 7, {0, 0, -1.75f}, nullptr, 0.3826834f, -0.125f},
        {"normal check on Dot 1: curve 0 at 1", 2, 1, 2, 1, 2, -1, {0, 0, 0}, &up, 0.0f, -1.0f},
        {"normal check on Dot 1: curve 3 at 1", 2, 1, 2, 1, 2, -4, {0, 0, 0}, &up, 0.0f, -1.0f},
        {"normal check on the axis", 2, 1, 2, 1, 2, -1, {0, 0, 1}, &up, 0.0f, -1.0f},
        {"normal check with a zero normal", 2, 1, 2, 1, 2, -1, {0, 0, -1.5f}, &none, 0.0f, -0.25f},
        {"normal check passes", 2, 1, 2, 1, 2, -1, {0, 0, -1.5f}, &up, 0.5f, -0.25f},
        {"normal check without normals", 2, 1, 2, 1, 2, -1, {0, 0, 0}, nullptr, 1.0f, -1.0f},
        {"equal radii: inside the edge", 2, 1, 1, 1, 1, 0, {0, 1, -0.0f}, nullptr, 1.0f, 0.0f},
        {"equal radii: beyond the edge", 2, 1, 1, 1, 1, 0, {0, 1.001f, 0}, nullptr, 0.0f, 0.0005f},
        {"no length: a sphere around Dot 1", 0, 1, 2, 5, 6, 0, {0, 1.5f, 0}, nullptr, 0.5f, -0.5f},
        {"no length, along the axis", 0, 1, 2, 5, 6, 0, {0, 0, 1.5f}, nullptr, 0.5f, -0.5f},
        {"no length, no radii, at the dot", 0, 0, 0, 0, 0, 3, {0, 0, 0}, nullptr, 1.0f, 0.0f},
        {"no length, no radii, off the dot", 0, 0, 0, 0, 0, 3, {0.1f, 0, 0}, nullptr, 0.0f, 0.1f},
        {"a radius that is not a number", 2, nan, 2, 1, 2, 0, {0, 0, -1.5f}, nullptr, 0.0f, -0.25f},
    };
    for (const Row& r : rows) {
        Scene s;
        AddBone(s, -1, Translation(10, 0, 0));
        Prepare(s);
        SetAxis(s.boneStates[0].envelope, r.length, r.a1, r.a2, r.b1, r.b2, r.falloff);
        const D3DXVECTOR3 p(r.p.x + 10, r.p.y, r.p.z);
        EnvelopeSample e = EvaluateEnvelope(PrepareEnvelope(s, 0), p, r.normal);
        EXPECT_NEAR(e.weight, r.weight, 2e-6f) << r.what;
        EXPECT_FALSE(std::isnan(e.weight)) << r.what;
        EXPECT_NEAR(e.score, r.score, 1e-5f) << r.what;
    }
}

TEST(SkinWeights, ABoneWhoseWorldCannotBeInvertedHoldsNothing) {
    Scene s;
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    AddBone(s, -1, flat);
    Prepare(s);
    SetAxis(s.boneStates[0].envelope, 2, 1, 2, 1, 2, 0);
    EnvelopeSample e = EvaluateEnvelope(PrepareEnvelope(s, 0), D3DXVECTOR3(0, 0, 0), nullptr);
    EXPECT_EQ(e.weight, 0.0f);
    EXPECT_EQ(NearestBone(s, D3DXVECTOR3(0, 0, 0)), -1);
}

// Bone 0 at the origin holds nothing near the vertex; bones 1.. stand at x = distances[i] as
// spheres with R1 1 and R2 2 on curve 0, so a vertex at the origin gets 2 - distance from each.
Scene Spheres(const std::vector<float>& distances) {
    Scene s;
    AddBone(s, -1, Translation(0, 0, 0));
    for (float d : distances) AddBone(s, 0, Translation(d, 0, 0));
    Prepare(s);
    Envelope& far = s.boneStates[0].envelope;
    far = Envelope{};
    far.dot1[0] = far.dot2[0] = 1000.0f;
    for (std::int32_t b = 1; b < s.BoneCount(); ++b) {
        Envelope& e = s.boneStates[b].envelope;
        e = Envelope{};
        e.dot1R1 = e.dot2R1 = 1.0f;
        e.dot1R2 = e.dot2R2 = 2.0f;
        e.falloff = 0;
    }
    return s;
}

TEST(SkinWeights, WeightRules) {
    struct Row {
        const char* what;
        std::vector<float> distances;
        int influences;
        std::array<std::int32_t, 4> bones;
        std::array<float, 4> weights;
    };
    const Row rows[] = {
        {"two full influences share", {0.5f, 0.8f}, 4, {1, 2, 0, 0}, {0.5f, 0.5f, 0, 0}},
        {"a full influence drops a partial one", {1.5f, 0.5f}, 4, {2, 1, 0, 0}, {1, 0, 0, 0}},
        {"one partial influence", {1.5f}, 4, {1, 0, 0, 0}, {1, 0, 0, 0}},
        {"ordered by falling weight", {1.7f, 1.4f}, 4, {2, 1, 0, 0}, {2 / 3.0f, 1 / 3.0f, 0, 0}},
        {"k = 2 drops the third", {1.4f, 1.7f, 1.9f}, 2, {1, 2, 1, 1}, {2 / 3.0f, 1 / 3.0f, 0, 0}},
        {"k = 1", {1.4f, 1.7f}, 1, {1, 1, 1, 1}, {1, 0, 0, 0}},
        {"k above 4 keeps four", {1.4f, 1.7f}, 9, {1, 2, 0, 0}, {2 / 3.0f, 1 / 3.0f, 0, 0}},
        {"the four strongest of five", {1.5f, 1.1f, 1.3f, 1.2f, 1.4f}, 4, {2, 4, 3, 5},
         {0.3f, 0.8f / 3, 0.7f / 3, 0.2f}},
        {"no influence: the nearest bone", {3, 2.5f, 2.5f}, 4, {2, 2, 2, 2}, {1, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        Scene s = Spheres(r.distances);
        VertexWeights w = SkinWeigher(s, ReferenceBone(s)).Weigh(D3DXVECTOR3(0, 0, 0), nullptr, r.influences);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(w.bone[k], r.bones[k]) << r.what << ", slot " << k;
            EXPECT_NEAR(w.weight[k], r.weights[k], 1e-5f) << r.what << ", slot " << k;
        }
    }
}

TEST(SkinWeights, OnlyTheReferenceTreeTakesPartAndItsRootIsTheLastResort) {
    Scene s = Spheres({1.5f});
    const std::int32_t other = AddBone(s, -1, Translation(0, 0, 0));  // a second tree holding the vertex
    GrowBoneStates(s);
    SetUpHierarchy(s, other, kDefaultBoneLength);
    UpdateAll(s);
    Envelope& e = s.boneStates[other].envelope;
    e.dot1R1 = e.dot2R1 = 5.0f;
    e.dot1R2 = e.dot2R2 = 6.0f;

    VertexWeights w = SkinWeigher(s, 1).Weigh(D3DXVECTOR3(0, 0, 0), nullptr, 4);
    EXPECT_EQ(w.bone[0], 1);
    EXPECT_EQ(w.weight[0], 1.0f);
    s.pickedBone = other;
    EXPECT_EQ(ReferenceBone(s), other);
    w = SkinWeigher(s, ReferenceBone(s)).Weigh(D3DXVECTOR3(0, 0, 0), nullptr, 4);
    EXPECT_EQ(w.bone[0], other);

    // Far from every envelope no score is below 10000: the tree's root takes the vertex.
    w = SkinWeigher(s, 1).Weigh(D3DXVECTOR3(50000, 0, 0), nullptr, 4);
    EXPECT_EQ(w.bone[0], 0);
    EXPECT_EQ(w.bone[3], 0);
    EXPECT_EQ(w.weight[0], 1.0f);
}

TEST(SkinWeights, WeighVerticesMatchesWeighingOneByOne) {
    Scene s = Spheres({1.2f, 1.6f, 0.9f});
    SkinWeigher weigher(s, 0);
    const std::vector<D3DXVECTOR3> points = {{0, 0, 0}, {0.3f, 0, 0}, {1.4f, 0.2f, 0}, {9, 9, 9}};
    std::vector<VertexWeights> out(points.size());
    WeighVertices(weigher, points, {}, 3, out);
    for (std::size_t i = 0; i < points.size(); ++i) {
        VertexWeights one = weigher.Weigh(points[i], nullptr, 3);
        EXPECT_EQ(std::memcmp(&one, &out[i], sizeof one), 0) << i;
    }
}

TEST(SkinWeights, NearestBoneTakesTheSmallestScoreOfAnyTree) {
    Scene s = Spheres({3, 4});
    const std::int32_t other = AddBone(s, -1, Translation(-3, 0, 0));
    GrowBoneStates(s);
    SetUpHierarchy(s, other, kDefaultBoneLength);
    UpdateAll(s);
    s.boneStates[other].envelope = s.boneStates[1].envelope;
    EXPECT_EQ(NearestBone(s, D3DXVECTOR3(0, 0, 0)), 1);  // bone 1 and the other tree tie: the first wins
    EXPECT_EQ(NearestBone(s, D3DXVECTOR3(-1, 0, 0)), other);
    EXPECT_EQ(NearestBone(s, D3DXVECTOR3(20000, 0, 0)), -1);
    EXPECT_EQ(NearestBone(Scene(), D3DXVECTOR3(0, 0, 0)), -1);
}

}  // namespace
}  // namespace ms
