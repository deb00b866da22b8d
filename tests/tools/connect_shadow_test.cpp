#include <gtest/gtest.h>

#include "tools/connect.h"
#include "tools/connect_fixture.h"

namespace ms {
namespace {

using test::FloatAt;
using test::MeshSpec;

constexpr float kThreshold = 2500.0f;

std::uint32_t IndicesAt(const Scene& s, std::size_t byte) {
    std::uint32_t v;
    std::memcpy(&v, s.vertexPool.data() + byte, 4);
    return v;
}

// `count` vertices at (10 + i, 1, 2) with no normal.
std::vector<float> Points(int count) {
    std::vector<float> values;
    for (int i = 0; i < count; ++i) values.insert(values.end(), {10.0f + static_cast<float>(i), 1, 2});
    return values;
}

TEST(ConnectShadow, EveryPrimitiveTypeGivesEdgeQuadsBetweenVerticesAndTheirCopies) {
    struct Row {
        const char* what;
        std::int32_t type, count, vertices;
        std::vector<std::uint16_t> indices;
        std::uint32_t shadowType, shadowCount;
        std::vector<std::uint16_t> shadow;  // empty: only the count is checked
        std::size_t shadowIndexCount;
    };
    const Row rows[] = {
        {"point list", 1, 5, 5, {0, 1, 2, 3, 4}, 2, 5, {0, 5, 1, 6, 2, 7, 3, 8, 4, 9}, 10},
        {"line list", 2, 1, 6, {0, 5}, 4, 2, {5, 0, 6, 6, 11, 5}, 6},
        {"line strip", 3, 2, 3, {0, 1, 2}, 4, 4, {1, 0, 3, 3, 4, 1, /**/ 2, 1, 4, 4, 5, 2}, 12},
        {"triangle list", 4, 1, 3, {2, 0, 1}, 4, 7,
         {0, 2, 5, 5, 3, 0, /**/ 1, 0, 3, 3, 4, 1, /**/ 2, 1, 4, 4, 5, 2, /**/ 2, 0, 1}, 21},
        // Triangles (0, 1, 2) and, turned, (2, 1, 3).
        {"triangle strip", 5, 2, 4, {0, 1, 2, 3}, 4, 14,
         {1, 0, 4, 4, 5, 1, /**/ 2, 1, 5, 5, 6, 2, /**/ 0, 2, 6, 6, 4, 0, /**/ 0, 1, 2,
          1, 2, 6, 6, 5, 1, /**/ 3, 1, 5, 5, 7, 3, /**/ 2, 3, 7, 7, 6, 2, /**/ 2, 1, 3},
         42},
        // Through the index list (1, 0, 2, 3): triangles (1, 0, 2) and (1, 2, 3).
        {"triangle fan", 6, 2, 4, {1, 0, 2, 3}, 4, 14,
         {0, 1, 5, 5, 4, 0, /**/ 2, 0, 4, 4, 6, 2, /**/ 1, 2, 6, 6, 5, 1, /**/ 1, 0, 2,
          2, 1, 5, 5, 6, 2, /**/ 3, 2, 6, 6, 7, 3, /**/ 1, 3, 7, 7, 5, 1, /**/ 1, 2, 3},
         42},
        // A cube: 12 triangles on 8 vertices.
        {"12 triangles", 4, 12, 8, std::vector<std::uint16_t>(36, 0), 4, 84, {}, 252},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MeshSpec m;
        m.values = Points(row.vertices);
        m.primitiveType = row.type;
        m.primitiveCount = row.count;
        m.indices = row.indices;
        Model model;
        test::BuildModel(model, {m});
        Scene s;
        test::BuildSkeleton(s, {{-1, {0, 0, 0}}, {0, {10, 0, 0}}});
        s.pickedBone = 1;
        ASSERT_TRUE(ConnectShadow(model, s, 0, kThreshold));

        ASSERT_EQ(s.geometries.size(), 1u);
        const GeometryRecord g = s.geometries[0];
        EXPECT_EQ(g.vertexCount, static_cast<std::uint32_t>(2 * row.vertices));
        EXPECT_EQ(g.stride, 16u);
        EXPECT_EQ(g.fvf, 0x1006u);
        EXPECT_EQ(g.primitiveType, row.shadowType);
        EXPECT_EQ(g.primitiveCount, row.shadowCount);
        EXPECT_EQ(g.indexed, 1u);
        EXPECT_EQ(s.indexPool.size(), row.shadowIndexCount);
        if (!row.shadow.empty()) {
            EXPECT_EQ(s.indexPool, row.shadow);
        }
        // Both copies in bone 1's space; matrix index 0 for the first copy, 1 for the second.
        ASSERT_EQ(s.vertexPool.size(), static_cast<std::size_t>(32 * row.vertices));
        for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(row.vertices); ++i) {
            const auto source = static_cast<float>(i % static_cast<std::size_t>(row.vertices));
            EXPECT_EQ(FloatAt(s, 16 * i), source);
            EXPECT_EQ(FloatAt(s, 16 * i + 4), 1.0f);
            EXPECT_EQ(FloatAt(s, 16 * i + 8), 2.0f);
            EXPECT_EQ(IndicesAt(s, 16 * i + 12), i < static_cast<std::size_t>(row.vertices) ? 0u : 1u);
        }
        EXPECT_EQ(s.bones[1].firstShadowNode, 0);
        EXPECT_EQ(s.bones[1].firstMeshNode, -1);
        const DrawNode n = s.drawNodes[0];
        EXPECT_EQ(n.geometry, 0);
        EXPECT_EQ(n.material, -1);
        EXPECT_EQ(n.program, 0);
        EXPECT_EQ(n.threshold, kThreshold);
        EXPECT_TRUE(s.materials.empty());
    }
}

TEST(ConnectShadow, PlainShadowsShareOneDropPrimitiveShadowProgram) {
    MeshSpec m;
    m.values = Points(3);
    Model model;
    test::BuildModel(model, {m, m});
    Scene s;
    test::BuildSkeleton(s, {{-1, {10, 1, 2}}});
    ASSERT_TRUE(ConnectShadow(model, s, 0, kThreshold));  // no bone picked: the nearest, bone 0
    ASSERT_TRUE(ConnectShadow(model, s, 1, 100.0f));
    ASSERT_EQ(s.entryPoints.size(), 1u);
    EXPECT_EQ(s.entryPoints[0].name, "DropPrimitiveShadow");
    EXPECT_EQ(s.programWords,
              (std::vector<std::uint32_t>{6, 151, 256, 6, 167, 1, 3, 5, 1, 1, 6, 167, 0, 6, 151, 0, 0}));
    EXPECT_EQ(s.drawNodes[1].program, 0);
    EXPECT_EQ(s.bones[0].firstShadowNode, 1);  // the nearer level leads
    EXPECT_EQ(s.drawNodes[1].nextSkipped, 0);
    EXPECT_EQ(s.geometries[1].vertexOffset, 96u);
    EXPECT_EQ(s.geometries[1].firstIndex, 21u);
}

// Bones 1 and 2 below bone 0 at x = 10 and 14, linear falloff from radius 1 to 3: at (11.5, 0, 0)
// bone 1 weighs 0.75 and bone 2 0.25.
void TwoBoneSkeleton(Scene& s) {
    test::BuildSkeleton(s, {{-1, {0, 0, 0}, 0.01f, 0.02f}, {0, {10, 0, 0}, 1, 3}, {0, {14, 0, 0}, 1, 3}});
}

TEST(ConnectShadow, BlendedShadowCopiesUseThePaletteBeyondItsEnd) {
    // Two weights and indices in the source (XYZB3 with LASTBETA_UBYTE4): slots 1, 2, 0, 1 give a
    // palette of 3, so the copy uses matrix indices 3, 4, 5, 3.
    MeshSpec m;
    m.fvf = 0x100A;
    m.values = {11.5f, 0, 0, 7, 7, test::Bits(0xFFFFFFFF)};
    m.primitiveType = 1;
    m.indices = {0};
    Model model;
    test::BuildModel(model, {m});
    Scene s;
    TwoBoneSkeleton(s);
    ASSERT_TRUE(ConnectShadow(model, s, 0, kThreshold));

    const GeometryRecord g = s.geometries[0];
    EXPECT_EQ(g.fvf, 0x100Au);
    EXPECT_EQ(g.stride, 24u);
    EXPECT_EQ(g.vertexCount, 2u);
    EXPECT_EQ(g.primitiveType, 2u);
    for (std::size_t copy = 0; copy < 2; ++copy) {
        SCOPED_TRACE(copy);
        EXPECT_FLOAT_EQ(FloatAt(s, 24 * copy), 11.5f);
        EXPECT_FLOAT_EQ(FloatAt(s, 24 * copy + 12), 0.75f);
        EXPECT_FLOAT_EQ(FloatAt(s, 24 * copy + 16), 0.25f);
    }
    EXPECT_EQ(IndicesAt(s, 20), 0x00020100u);
    EXPECT_EQ(IndicesAt(s, 44), 0x03050403u);
    ASSERT_EQ(s.entryPoints.size(), 1u);
    EXPECT_EQ(s.entryPoints[0].name, "DropBlendedShadow_3_1_0_2_0_0_0_S");
    EXPECT_EQ(s.programWords, (std::vector<std::uint32_t>{6, 151, 2, 6, 167, 1, 4, 6, 1, 0, 2, 0, 0, 0, 5, 3, 1, 6,
                                                          167, 0, 6, 151, 0, 0}));
    EXPECT_EQ(s.bones[0].firstShadowNode, 0);
}

TEST(ConnectShadow, NormalCheckOnTheAxisGivesWeightZeroWhereMeshesGetTheCurveAtOne) {
    // The vertex lies on Dot 1 of bone 1, whose envelope has Normal Check on (curve 3): the mesh
    // weighs it cos(1.570795 x 1) > 0 and keeps bone 0 in its second slot; the shadow weighs it 0,
    // so the vertex goes wholly to its nearest bone, bone 1.
    MeshSpec m;
    m.fvf = 0x1018;  // XYZB2, LASTBETA_UBYTE4, NORMAL
    m.values = {10, 0, 0, 0, test::Bits(0), 0, 1, 0};
    m.primitiveType = 1;
    m.indices = {0};
    Model model;
    test::BuildModel(model, {m});
    Scene s;
    test::BuildSkeleton(s, {{-1, {0, 0, 0}, 0.01f, 0.02f}, {0, {10, 0, 0}, 1, 2, -1 - 3}});
    ASSERT_TRUE(Connect(model, s, 0, kThreshold));
    ASSERT_TRUE(ConnectShadow(model, s, 0, kThreshold));
    ASSERT_EQ(s.entryPoints.size(), 2u);
    EXPECT_EQ(s.entryPoints[0].name, "BlendedMesh_2_1_0_0_0_S");
    EXPECT_EQ(s.entryPoints[1].name, "DropBlendedShadow_2_1_0_S");
}

}  // namespace
}  // namespace ms
