#include "skin/envelope.h"

#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "skin/bones.h"

namespace ms {
namespace {

D3DXVECTOR3 Apply(const D3DXMATRIX& m, float x, float y, float z) {
    D3DXVECTOR3 in(x, y, z), out;
    D3DXVec3TransformCoord(&out, &in, &m);
    return out;
}

void ExpectVectorNear(const D3DXVECTOR3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

// One bone of length 2 with its default envelope, picked.
Scene OneBone() {
    Scene s;
    D3DXMATRIX local;
    D3DXMatrixIdentity(&local);
    AddBone(s, -1, local);
    GrowBoneStates(s);
    s.boneStates[0].length = 2.0f;
    SetDefaultEnvelope(s.boneStates[0].envelope, 2.0f);
    SelectBone(s, 0);
    return s;
}

EnvelopeControls Controls(std::array<const char*, 10> texts, int radio, bool normalCheck) {
    EnvelopeControls c;
    for (int i = 0; i < 10; ++i) c.texts[i] = texts[i];
    c.radios = {radio == 0, radio == 1, radio == 2, radio == 3};
    c.normalCheck = normalCheck;
    return c;
}

TEST(Envelope, DefaultEnvelopeSpansTheBoneAndItsMatricesMapDot2OntoZ) {
    Envelope e{};
    SetDefaultEnvelope(e, 2.0f);
    EXPECT_EQ(e.dot2[0], 2.0f);
    EXPECT_EQ(e.dot1R1, 0.2f);
    EXPECT_EQ(e.dot2R2, 0.4f);
    EXPECT_EQ(e.falloff, 3);
    ExpectVectorNear(Apply(e.boneToEnvelope, 2, 0, 0), 0, 0, 2);
    ExpectVectorNear(Apply(e.envelopeToBone, 0, 0, 2), 2, 0, 0);
}

// An axis along the up vector, or no axis at all, still gives a rigid envelope space in which
// Dot 1 is the origin and Dot 2 lies on +z; distances from the axis are kept.
TEST(Envelope, MatricesStayRigidForAnAxisAlongYAndForEqualDots) {
    const struct {
        float dot2[3];
        float axisZ;
    } rows[] = {{{1, 3, 1}, 2.0f}, {{1, -1, 1}, 2.0f}, {{1, 1, 1}, 0.0f}};
    for (const auto& r : rows) {
        Envelope e{};
        e.dot1[0] = e.dot1[1] = e.dot1[2] = 1.0f;
        for (int k = 0; k < 3; ++k) e.dot2[k] = r.dot2[k];
        RebuildEnvelopeMatrices(e);
        ExpectVectorNear(Apply(e.boneToEnvelope, r.dot2[0], r.dot2[1], r.dot2[2]), 0, 0, r.axisZ);
        D3DXVECTOR3 side = Apply(e.boneToEnvelope, 2, 1, 1);  // one unit off Dot 1
        EXPECT_NEAR(D3DXVec3Length(&side), 1.0f, 1e-5f);
        ExpectVectorNear(Apply(e.envelopeToBone, side.x, side.y, side.z), 2, 1, 1);
    }
}

TEST(Envelope, CorrectionsOfSetAndOfCopy) {
    const struct {
        float r1, r2;
        bool widen;
        float expectR1, expectR2;
    } rows[] = {
        {0.5f, 0.2f, true, 0.2f, 0.5f},  {0.3f, 0.3f, true, 0.3f, 0.4f}, {0.3f, 0.3f, false, 0.3f, 0.3f},
        {0.5f, 0.5f, false, 0.5f, 0.5f}, {0.1f, 0.2f, true, 0.1f, 0.2f},
    };
    for (const auto& r : rows) {
        Envelope e{};
        e.dot1R1 = e.dot2R1 = r.r1;
        e.dot1R2 = e.dot2R2 = r.r2;
        e.dot2[0] = 1.0f;
        CorrectEnvelope(e, r.widen);
        EXPECT_EQ(e.dot1R1, r.expectR1);
        EXPECT_EQ(e.dot1R2, r.expectR2);
        EXPECT_EQ(e.dot2R1, r.expectR1);
        EXPECT_EQ(e.dot2R2, r.expectR2);
        EXPECT_EQ(e.dot2[0], 1.0f);
    }
    Envelope same{};
    for (int k = 0; k < 3; ++k) same.dot1[k] = same.dot2[k] = 1.0f;
    CorrectEnvelope(same, false);
    EXPECT_EQ(same.dot2[0], 1.01f);
    EXPECT_EQ(same.dot2[1], 1.0f);
}

TEST(Envelope, SetStoresTheEditsInThePickedBoneAndShowsThemAsRef) {
    Scene s = OneBone();
    EnvelopeTools tools;
    EnvelopeControls c = Controls({"0", "0", "0", "0.5", "0.2", " 2.5", "junk", "0", "0.3", "0.3"}, 1, true);
    SetEnvelope(s, tools, c);
    const Envelope& e = s.boneStates[0].envelope;
    EXPECT_EQ(e.dot2[0], 2.5f);
    EXPECT_EQ(e.dot2[1], 0.0f);  // "junk" kept the buffer's value
    EXPECT_EQ(e.dot1R1, 0.2f);
    EXPECT_EQ(e.dot1R2, 0.5f);
    EXPECT_EQ(e.dot2R2, 0.4f);
    EXPECT_EQ(e.falloff, -2);  // curve 1 with Normal Check
    ExpectVectorNear(Apply(e.boneToEnvelope, 2.5f, 0, 0), 0, 0, 2.5f);
    EXPECT_EQ(c.texts[3], "0.20000");
    EXPECT_EQ(c.texts[5], "2.50000");
    EXPECT_EQ(c.texts[9], "0.40000");
    EXPECT_TRUE(c.normalCheck);
    EXPECT_EQ(c.radios, (std::array<bool, 4>{false, true, false, false}));
    EXPECT_NEAR(s.envelopeWire.vertices[32].x, 0.3f, 1e-6f);  // the wire follows
}

TEST(Envelope, SetWithoutAPickedBoneChangesNoBoneAndShowsZeros) {
    Scene s = OneBone();
    s.pickedBone = -1;
    const Envelope before = s.boneStates[0].envelope;
    EnvelopeTools tools;
    EnvelopeControls c = Controls({"1", "1", "1", "1", "2", "3", "1", "1", "1", "2"}, 2, false);
    SetEnvelope(s, tools, c);
    EXPECT_EQ(std::memcmp(&s.boneStates[0].envelope, &before, sizeof before), 0);
    for (const std::string& t : c.texts) EXPECT_EQ(t, "0.00000");
    EXPECT_EQ(c.radios, (std::array<bool, 4>{true, false, false, false}));
}

TEST(Envelope, CopyAndPasteCarryNormalCheckAndTheCurve) {
    EnvelopeTools tools;
    EnvelopeControls shown;
    PasteEnvelope(tools, shown);  // nothing to paste yet
    EXPECT_EQ(shown.texts[0], "");
    EnvelopeControls c = Controls({"1", "1", "1", "0.3", "0.3", "1", "1", "1", "0.7", "0.2"}, 2, true);
    CopyEnvelope(tools, c);
    ASSERT_TRUE(tools.clipboardValid);
    EXPECT_EQ(tools.clipboard.falloff, -3);
    PasteEnvelope(tools, shown);
    EXPECT_EQ(shown.texts[0], "1.000000");
    EXPECT_EQ(shown.texts[4], "0.300000");  // no widening on copy
    EXPECT_EQ(shown.texts[5], "1.010000");  // but the nudge of equal dots
    EXPECT_EQ(shown.texts[8], "0.200000");  // and the swap
    EXPECT_TRUE(shown.normalCheck);
    EXPECT_EQ(shown.radios, (std::array<bool, 4>{false, false, true, false}));
    EXPECT_EQ(tools.buffer.falloff, -3);
}

TEST(Envelope, RefLeavesTheRadiosForACodeOutsideTheCurves) {
    Scene s = OneBone();
    s.boneStates[0].envelope.falloff = -9;  // curve 8 with Normal Check
    EnvelopeTools tools;
    EnvelopeControls c;
    c.radios = {false, false, true, false};
    RefEnvelope(s, tools, c);
    EXPECT_TRUE(c.normalCheck);
    EXPECT_EQ(c.radios, (std::array<bool, 4>{false, false, true, false}));
    EXPECT_EQ(c.texts[5], "2.00000");
}

TEST(Envelope, WireRingsAndHalfCirclesFollowThePickedEnvelope) {
    Scene s = OneBone();  // length 2: R1 0.2 and R2 0.4 at both dots
    Envelope& e = s.boneStates[0].envelope;
    e.dot2R1 = 0.3f;
    RebuildEnvelopeWire(s);
    const auto& v = s.envelopeWire.vertices;
    const struct {
        int index;
        float x, y, z;
    } rows[] = {
        {0, 0.2f, 0, 0},    {8, 0, 0.2f, 0},   {16, -0.2f, 0, 0},  // the ring at Dot 1
        {32, 0.3f, 0, 2},   {40, 0, 0.3f, 2},                      // the ring at Dot 2
        {64, 0, 0.2f, 0},   {72, 0, 0, -0.2f}, {80, 0, -0.2f, 0},  // behind Dot 1 in x = 0
        {89, 0, 0, 2.3f},                                          // beyond Dot 2 in x = 0
        {106, 0, 0, -0.2f}, {98, 0.2f, 0, 0},                      // behind Dot 1 in y = 0
        {123, 0, 0, 2.3f},                                         // beyond Dot 2 in y = 0
        {132, 0.4f, 0, 0},  {172, 0, 0.4f, 2}, {204, 0, 0, -0.4f}, {255, 0, 0, 2.4f},
    };
    for (const auto& r : rows) {
        EXPECT_NEAR(v[r.index].x, r.x, 1e-6f) << r.index;
        EXPECT_NEAR(v[r.index].y, r.y, 1e-6f) << r.index;
        EXPECT_NEAR(v[r.index].z, r.z, 1e-6f) << r.index;
    }
    e.dot1R1 = 0.0f;  // a zero radius collapses its runs to a point
    RebuildEnvelopeWire(s);
    for (int k = 0; k < 32; ++k) EXPECT_EQ(std::hypot(v[k].x, v[k].y, v[k].z), 0.0f);
}

TEST(Envelope, RegenGivesDefaultEnvelopesForTheBoneLengths) {
    Scene s = OneBone();
    D3DXMATRIX local;
    D3DXMatrixIdentity(&local);
    AddBone(s, 0, local);
    GrowBoneStates(s);
    s.boneStates[1].length = 4.0f;
    for (BoneState& st : s.boneStates) st.envelope.dot1R1 = 9.0f;
    RegenPickedEnvelope(s);
    EXPECT_EQ(s.boneStates[0].envelope.dot1R1, 0.2f);
    EXPECT_EQ(s.boneStates[1].envelope.dot1R1, 9.0f);
    RegenAllEnvelopes(s);
    EXPECT_EQ(s.boneStates[1].envelope.dot1R1, 0.4f);
    EXPECT_EQ(s.boneStates[1].envelope.dot2[0], 4.0f);
}

}  // namespace
}  // namespace ms
