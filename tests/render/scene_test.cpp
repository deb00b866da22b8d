#include "render/scene.h"

#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "render/scene_json.h"

namespace ms {
namespace {

D3DXVECTOR3 Sub(const D3DVECTOR& a, const D3DVECTOR& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

TEST(Scene, StartsEmptyWithTheCameraAtItsStartValues) {
    Scene s;
    Json j = SceneToJson(s);
    for (const char* array : {"bones", "boneStates", "matrices", "drawNodes", "geometries", "materials", "textures",
                              "programWords", "entryPoints", "indices"})
        EXPECT_TRUE(j[array].empty()) << array;
    EXPECT_EQ(j["vertexData"], "");
    EXPECT_EQ(j["pickedBone"], -1);
    EXPECT_EQ(j["camera"], Json::parse(R"({"L":5.0,"AY":-1.570795,"AXZ":0.7854,"target":[0.0,0.0,0.0]})"));
    EXPECT_EQ(s.currentBone, -1);
    EXPECT_EQ(s.currentDrawNode, -1);
    EXPECT_EQ(s.device, nullptr);
    EXPECT_EQ(s.view._11, 0.0f);
    EXPECT_EQ(s.projection._44, 0.0f);
}

// The glyph's triangles are wound clockwise seen from outside: the cross product of their first
// two edges points along the listed normal, away from the glyph's inside.
TEST(Scene, BoneGlyphTrianglesFaceOutwardWithTheirNormals) {
    Scene s;
    EXPECT_EQ(s.boneGlyph[0].position.x, 0.0f);
    EXPECT_EQ(s.boneGlyph[12].position.x, 1.0f);
    const D3DVECTOR inside{0.3f, 0, 0};
    for (int t = 0; t < 8; ++t) {
        const GlyphVertex* v = &s.boneGlyph[3 * t];
        D3DXVECTOR3 e1 = Sub(v[1].position, v[0].position), e2 = Sub(v[2].position, v[0].position), n;
        D3DXVec3Cross(&n, &e1, &e2);
        D3DXVec3Normalize(&n, &n);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(n.x, v[k].normal.x, 1e-3f) << t;
            EXPECT_NEAR(n.y, v[k].normal.y, 1e-3f) << t;
            EXPECT_NEAR(n.z, v[k].normal.z, 1e-3f) << t;
        }
        D3DXVECTOR3 out = Sub(v[1].position, inside);
        EXPECT_GT(D3DXVec3Dot(&out, &n), 0.0f) << t;
        for (int k = 1; k < 3; ++k) {  // the waist lies at x = 0.1, 0.05 off the axis
            EXPECT_EQ(v[k].position.x, 0.1f);
            EXPECT_EQ(std::fabs(v[k].position.y), 0.05f);
            EXPECT_EQ(std::fabs(v[k].position.z), 0.05f);
        }
    }
}

TEST(Scene, EnvelopeWireSegmentsCloseTheRingsAndJoinThem) {
    Scene s;
    const auto& ix = s.envelopeWire.indices;
    auto segment = [&](int n) { return std::pair<int, int>{ix[2 * n], ix[2 * n + 1]}; };
    EXPECT_EQ(segment(0), std::pair(0, 1));
    EXPECT_EQ(segment(31), std::pair(31, 0));    // the first ring closes
    EXPECT_EQ(segment(63), std::pair(63, 32));
    EXPECT_EQ(segment(64), std::pair(64, 65));   // half circles: 16 segments over 17 points
    EXPECT_EQ(segment(79), std::pair(79, 80));
    EXPECT_EQ(segment(80), std::pair(81, 82));
    EXPECT_EQ(segment(128), std::pair(132, 133));  // the R2 runs follow the R1 runs
    EXPECT_EQ(segment(159), std::pair(163, 132));
    const int joins[8][2] = {{0, 32}, {8, 40}, {16, 48}, {24, 56}, {132, 164}, {140, 172}, {148, 180}, {156, 188}};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(segment(256 + k), std::pair(joins[k][0], joins[k][1]));
    std::set<int> used(ix.begin(), ix.end());
    EXPECT_EQ(used.size(), 264u);
    EXPECT_EQ(*used.rbegin(), 263);
}

TEST(Scene, ClearEmptiesEveryArrayAndKeepsCameraAndView) {
    Scene s;
    s.bones.push_back({-1, -1, 0, 0, 1, 2, 3, -1, -1});
    s.boneStates.emplace_back();
    s.matrices.resize(4);
    s.textureNames.push_back("a.bmp");
    s.textures.emplace_back(nullptr);
    s.vertexPool.assign(12, 1);
    s.indexPool.assign(3, 0);
    s.entryPoints.push_back({"walk", 0});
    s.pickedBone = 0;
    s.currentBone = s.currentDrawNode = 0;
    s.camera.distance = 9.0f;
    s.view._11 = 2.0f;
    s.envelopeWire.vertices[5] = {1, 2, 3};
    s.Clear();
    Json j = SceneToJson(s);
    EXPECT_EQ(j.dump(), [] {
        Scene fresh;
        fresh.camera.distance = 9.0f;
        return SceneToJson(fresh).dump();
    }());
    EXPECT_EQ(s.currentBone, -1);
    EXPECT_EQ(s.currentDrawNode, -1);
    EXPECT_EQ(s.view._11, 2.0f);
    EXPECT_EQ(s.envelopeWire.vertices[5].y, 2.0f);
}

}  // namespace
}  // namespace ms
