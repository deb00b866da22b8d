#include "platform/d3dx/d3dx8math.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

constexpr float kPi = 3.14159265f;

D3DXMATRIX Rows(std::initializer_list<float> values) {
    D3DXMATRIX m;
    int i = 0;
    for (float v : values) m.m[i / 4][i % 4] = v, ++i;
    return m;
}

void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float eps = 1e-5f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << "row " << r << " col " << c;
}

D3DXVECTOR3 Transform(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

TEST(D3DXMath, RotationsTurnClockwiseLookingDownTheAxis) {
    struct Case { D3DXMATRIX* (*rotation)(D3DXMATRIX*, float); D3DXVECTOR3 in, out; };
    const Case cases[] = {
        {D3DXMatrixRotationX, {0, 1, 0}, {0, 0, 1}},
        {D3DXMatrixRotationY, {1, 0, 0}, {0, 0, -1}},
        {D3DXMatrixRotationZ, {1, 0, 0}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        D3DXMATRIX m;
        c.rotation(&m, kPi / 2);
        D3DXVECTOR3 p = Transform(c.in, m);
        EXPECT_NEAR(p.x, c.out.x, 1e-6f);
        EXPECT_NEAR(p.y, c.out.y, 1e-6f);
        EXPECT_NEAR(p.z, c.out.z, 1e-6f);
    }
}

TEST(D3DXMath, MultiplyAppliesTheFirstMatrixFirst) {
    D3DXMATRIX r, t, rt, tr;
    D3DXMatrixRotationZ(&r, kPi / 2);
    D3DXMatrixTranslation(&t, 1, 0, 0);
    D3DXMatrixMultiply(&rt, &r, &t);
    D3DXMatrixMultiply(&tr, &t, &r);
    D3DXVECTOR3 a = Transform({1, 0, 0}, rt), b = Transform({1, 0, 0}, tr);
    EXPECT_NEAR(a.x, 1, 1e-6f);  // rotated to (0, 1, 0), then moved
    EXPECT_NEAR(a.y, 1, 1e-6f);
    EXPECT_NEAR(b.x, 0, 1e-6f);  // moved to (2, 0, 0), then rotated
    EXPECT_NEAR(b.y, 2, 1e-6f);
    D3DXMatrixMultiply(&r, &r, &t);  // the output may alias an input
    ExpectNear(r, rt);
}

TEST(D3DXMath, InverseOfAKnownMatrixAndASingularOne) {
    D3DXMATRIX m = Rows({2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0.5f, 0, 1, 2, 3, 1});
    D3DXMATRIX inv;
    float det = 0;
    ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
    EXPECT_FLOAT_EQ(det, 4.0f);
    ExpectNear(inv, Rows({0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 2, 0, -0.5f, -0.5f, -6, 1}));
    D3DXMATRIX product, identity;
    D3DXMatrixMultiply(&product, &m, &inv);
    ExpectNear(product, *D3DXMatrixIdentity(&identity));

    D3DXMATRIX singular = Rows({1, 2, 3, 0, 2, 4, 6, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    D3DXMATRIX untouched = Rows({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
    EXPECT_EQ(D3DXMatrixInverse(&untouched, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_EQ(untouched._11, 9.0f);
}

TEST(D3DXMath, LookAtPutsTheEyeAtTheOriginAndTheTargetOnPlusZ) {
    D3DXVECTOR3 eye(3, 4, -5), at(1, 1, 1), up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXVECTOR3 e = Transform(eye, view), t = Transform(at, view);
    float distance = std::sqrt(4.0f + 9.0f + 36.0f);
    EXPECT_NEAR(e.x, 0, 1e-5f);
    EXPECT_NEAR(e.y, 0, 1e-5f);
    EXPECT_NEAR(e.z, 0, 1e-5f);
    EXPECT_NEAR(t.x, 0, 1e-5f);
    EXPECT_NEAR(t.y, 0, 1e-5f);
    EXPECT_NEAR(t.z, distance, 1e-5f);
    // The eye of the start-up camera: on -z, 45 degrees up, looking at the origin.
    D3DXVECTOR3 eye2(0, 5 * std::sin(0.7854f), -5 * std::cos(0.7854f)), origin(0, 0, 0);
    D3DXMatrixLookAtLH(&view, &eye2, &origin, &up);
    EXPECT_NEAR(view._11, 1, 1e-6f);
    EXPECT_NEAR(view._22, std::cos(0.7854f), 1e-6f);
    EXPECT_NEAR(view._43, 5, 1e-5f);
}

TEST(D3DXMath, PerspectiveMapsNearToZeroAndFarToOne) {
    D3DXMATRIX p;
    D3DXMatrixPerspectiveFovLH(&p, 0.7853982f, 1.33f, 0.1f, 1000.0f);
    float yScale = 1.0f / std::tan(0.7853982f / 2);
    ExpectNear(p, Rows({yScale / 1.33f, 0, 0, 0, 0, yScale, 0, 0, 0, 0, 1000.0f / 999.9f, 1, 0, 0,
                        -0.1f * 1000.0f / 999.9f, 0}));
    EXPECT_NEAR(Transform({0, 0, 0.1f}, p).z, 0, 1e-6f);
    EXPECT_NEAR(Transform({0, 0, 1000}, p).z, 1, 1e-6f);
}

TEST(D3DXMath, NormalizeGivesUnitLengthAndZeroForZero) {
    D3DXVECTOR3 v(3, 0, 4), zero;
    D3DXVec3Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
    D3DXVec3Normalize(&zero, &zero);
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_FALSE(std::isnan(zero.y));
}

}  // namespace
