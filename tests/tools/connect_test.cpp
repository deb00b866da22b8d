#include "tools/connect.h"

#include <cmath>

#include <gtest/gtest.h>

#include "skin/scene_file.h"
#include "tools/connect_fixture.h"

namespace ms {
namespace {

using test::BoneSpec;
using test::FloatAt;
using test::FrameSpec;
using test::MeshSpec;

constexpr float kThreshold = 2500.0f;

D3DXVECTOR3 PositionAt(const Scene& s, std::size_t byte) {
    return {FloatAt(s, byte), FloatAt(s, byte + 4), FloatAt(s, byte + 8)};
}

void ExpectNear(const D3DXVECTOR3& got, const D3DXVECTOR3& want) {
    EXPECT_NEAR(got.x, want.x, 1e-5f);
    EXPECT_NEAR(got.y, want.y, 1e-5f);
    EXPECT_NEAR(got.z, want.z, 1e-5f);
}

D3DXMATRIX RotationZ90AndMove(float x) {
    D3DXMATRIX r, t;
    D3DXMatrixRotationZ(&r, 1.5707963f);
    D3DXMatrixTranslation(&t, x, 0, 0);
    D3DXMatrixMultiply(&r, &r, &t);
    return r;
}

// A triangle with unnormalised normals (0, 2, 0), on a frame turned 90 degrees about z and moved
// to x = 9: in the world at (9, 1, 0), (8, 0, 0), (9, 0, 1), normals (-1, 0, 0).
void TurnedTriangle(Model& model) {
    MeshSpec m;
    m.fvf = 0x012;
    m.values = {1, 0, 0, 0, 2, 0, /**/ 0, 1, 0, 0, 2, 0, /**/ 0, 0, 1, 0, 2, 0};
    test::BuildModel(model, {FrameSpec{"Turned", RotationZ90AndMove(9), 0, 1}}, {m});
}

TEST(Connect, RigidMeshGoesIntoThePickedOrTheNearestBonesSpace) {
    struct Row {
        const char* what;
        std::int32_t picked;
        std::int32_t bone;
        D3DXVECTOR3 first, second, third;
    };
    const Row rows[] = {
        {"picked bone 1", 1, 1, {-1, 1, 0}, {-2, 0, 0}, {-1, 0, 1}},
        {"picked bone 0", 0, 0, {9, 1, 0}, {8, 0, 0}, {9, 0, 1}},
        {"nearest to the centre", -1, 1, {-1, 1, 0}, {-2, 0, 0}, {-1, 0, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Model model;
        TurnedTriangle(model);
        Scene s;
        test::BuildSkeleton(s, {{-1, {0, 0, 0}, 0.1f, 0.2f}, {0, {10, 0, 0}, 1, 3}});
        s.pickedBone = row.picked;
        ASSERT_TRUE(Connect(model, s, 0, kThreshold));

        ASSERT_EQ(s.geometries.size(), 1u);
        const GeometryRecord g = s.geometries[0];
        EXPECT_EQ(g.vertexOffset, 0u);
        EXPECT_EQ(g.firstIndex, 0u);
        EXPECT_EQ(g.vertexCount, 3u);
        EXPECT_EQ(g.primitiveCount, 1u);
        EXPECT_EQ(g.stride, 24u);
        EXPECT_EQ(g.fvf, 0x012u);
        EXPECT_EQ(g.primitiveType, 4u);
        EXPECT_EQ(g.indexed, 1u);
        EXPECT_EQ(s.indexPool, (std::vector<std::uint16_t>{0, 1, 2}));
        ExpectNear(PositionAt(s, 0), row.first);
        ExpectNear(PositionAt(s, 24), row.second);
        ExpectNear(PositionAt(s, 48), row.third);
        for (std::size_t v = 0; v < 3; ++v) ExpectNear(PositionAt(s, 24 * v + 12), {-1, 0, 0});

        const std::int32_t other = 1 - row.bone;
        EXPECT_EQ(s.bones[static_cast<std::size_t>(row.bone)].firstMeshNode, 0);
        EXPECT_EQ(s.bones[static_cast<std::size_t>(other)].firstMeshNode, -1);
        ASSERT_EQ(s.drawNodes.size(), 1u);
        const DrawNode n = s.drawNodes[0];
        EXPECT_EQ(n.nextDrawn, -1);
        EXPECT_EQ(n.nextSkipped, -1);
        EXPECT_EQ(n.geometry, 0);
        EXPECT_EQ(n.material, 0);
        EXPECT_EQ(n.program, -1);
        EXPECT_EQ(n.threshold, kThreshold);
        EXPECT_TRUE(s.entryPoints.empty());
    }
}

TEST(Connect, IndexWordsFollowThePrimitiveTypeAndCount) {
    struct Row {
        std::int32_t type, count;
        std::size_t words;
    };
    for (const Row& row : {Row{5, 10, 12}, Row{6, 10, 12}, Row{3, 10, 11}, Row{2, 5, 10}, Row{1, 7, 7}}) {
        SCOPED_TRACE(row.type);
        MeshSpec m;
        m.values.assign(3 * 12, 0.0f);
        m.primitiveType = row.type;
        m.primitiveCount = row.count;
        m.indices.assign(row.words, 0);
        m.indices.push_back(11);  // one more than the primitives use: not copied
        Model model;
        test::BuildModel(model, {m});
        Scene s;
        test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
        s.pickedBone = 0;
        ASSERT_TRUE(Connect(model, s, 0, kThreshold));
        EXPECT_EQ(s.indexPool.size(), row.words);
        EXPECT_EQ(s.geometries[0].primitiveCount, static_cast<std::uint32_t>(row.count));
    }
}

TEST(Connect, NearestBoneTiesGoToTheFirstBone) {
    Model model;
    MeshSpec m;
    m.values = {0.5f, 0, 0, 0.5f, 0, 0, 0.5f, 0, 0};
    test::BuildModel(model, {m});
    Scene s;
    // Bones 1 and 2 are two top bones at the same place with the same envelope.
    test::BuildSkeleton(s, {{-1, {20, 0, 0}}, {-1, {0, 0, 0}, 1, 2}, {-1, {0, 0, 0}, 1, 2}});
    ASSERT_TRUE(Connect(model, s, 0, kThreshold));
    EXPECT_EQ(s.bones[1].firstMeshNode, 0);
    EXPECT_EQ(s.bones[2].firstMeshNode, -1);
}

TEST(Connect, WorldMatrixOfNestedFramesIsLocalTimesParentWorld) {
    // Root (moved to x = 1) has children A and B; B (turned 90 degrees about z) is A's next
    // sibling, so its parent is found through A; C (moved to z = 5) is B's child and holds the
    // mesh. A second mesh belongs to no frame and keeps its coordinates.
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, 1.5707963f);
    const std::vector<FrameSpec> frames = {
        {"Root", test::Translation(1, 0, 0), -1, 0, -1, 1},
        {"A", test::Identity(), -1, 0, 2, -1},
        {"B", turn, -1, 0, -1, 3},
        {"C", test::Translation(0, 0, 5), 0, 1, -1, -1},
    };
    MeshSpec m;
    m.values = {1, 0, 0, 1, 0, 0, 1, 0, 0};
    Model model;
    test::BuildModel(model, frames, {m, m});
    Scene s;
    test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
    s.pickedBone = 0;
    ASSERT_TRUE(Connect(model, s, 0, kThreshold));
    ASSERT_TRUE(Connect(model, s, 1, kThreshold));
    ExpectNear(PositionAt(s, 0), {1, 1, 5});
    ExpectNear(PositionAt(s, 36), {1, 0, 0});
}

// Bone 0 far from the test points; bones 1 and 2 children of bone 0 at x = 10 and x = 14 with
// linear falloff from radius 1 to 3. A point at (11.5, 0, 0) has weight 0.75 for bone 1 and
// 0.25 for bone 2.
void TwoBoneSkeleton(Scene& s) {
    test::BuildSkeleton(s, {{-1, {0, 0, 0}, 0.01f, 0.02f}, {0, {10, 0, 0}, 1, 3}, {0, {14, 0, 0}, 1, 3}});
}

MeshSpec OnePointMesh(std::uint32_t fvf, std::vector<float> values) {
    MeshSpec m;
    m.fvf = fvf;
    m.values = std::move(values);
    m.primitiveType = 1;
    m.indices = {0};
    return m;
}

TEST(Connect, SkinnedMeshGetsWeightsPaletteIndicesAndItsProgram) {
    const float mi = test::Bits(0xAABBCCDD);  // overwritten
    struct Row {
        const char* what;
        std::uint32_t fvf;
        std::vector<float> vertex;
        bool posed;  // bone 1 moved up by 1 since it was set up
        D3DXVECTOR3 position;
        std::vector<float> weights;
        std::uint32_t indices;
        std::string name;
        std::vector<std::uint32_t> words;
    };
    const Row rows[] = {
        {"one weight", 0x1006, {11.5f, 0, 0, mi}, false, {11.5f, 0, 0}, {}, 0x00000000, "BlendedMesh_1_1_0_S",
         {6, 151, 256, 6, 167, 1, 4, 2, 1, 0, 1, 6, 167, 0, 6, 151, 0, 3, 0}},
        {"two weights", 0x1008, {11.5f, 0, 0, 9, mi}, false, {11.5f, 0, 0}, {0.75f}, 0x00000100,
         "BlendedMesh_2_1_0_2_0_S", {6, 151, 1, 6, 167, 1, 4, 4, 1, 0, 2, 0, 1, 6, 167, 0, 6, 151, 0, 3, 0}},
        // The third slot keeps bone 0, which it held from the start, with weight 0.
        {"three weights", 0x100A, {11.5f, 0, 0, 9, 9, mi}, false, {11.5f, 0, 0}, {0.75f, 0.25f}, 0x00020100,
         "BlendedMesh_3_1_0_2_0_0_0_S",
         {6, 151, 2, 6, 167, 1, 4, 6, 1, 0, 2, 0, 0, 0, 1, 6, 167, 0, 6, 151, 0, 3, 0}},
        {"three weights and a normal", 0x101A, {11.5f, 0, 0, 9, 9, mi, 0, 3, 0}, false, {11.5f, 0, 0},
         {0.75f, 0.25f}, 0x00020100, "BlendedMesh_3_1_0_2_0_0_0_S",
         {6, 151, 2, 6, 167, 1, 4, 6, 1, 0, 2, 0, 0, 0, 1, 6, 167, 0, 6, 151, 0, 3, 0}},
        // Palette matrix = inverse(world) x inverse(inverse bind) = a move down by 1.
        {"posed bone", 0x1006, {11.5f, 1, 0, mi}, true, {11.5f, 0, 0}, {}, 0x00000000, "BlendedMesh_1_1_0_S",
         {6, 151, 256, 6, 167, 1, 4, 2, 1, 0, 1, 6, 167, 0, 6, 151, 0, 3, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Model model;
        test::BuildModel(model, {OnePointMesh(row.fvf, row.vertex)});
        Scene s;
        TwoBoneSkeleton(s);
        if (row.posed) s.matrices[static_cast<std::size_t>(s.bones[1].world)] = test::Translation(10, 1, 0);
        ASSERT_TRUE(Connect(model, s, 0, kThreshold));

        const VertexLayout layout = DecodeLayout(row.fvf);
        ExpectNear(PositionAt(s, 0), row.position);
        for (std::size_t k = 0; k < row.weights.size(); ++k)
            EXPECT_FLOAT_EQ(FloatAt(s, static_cast<std::size_t>(layout.Offset(kPropWeight1)) + 4 * k), row.weights[k]);
        std::uint32_t indices;
        std::memcpy(&indices, s.vertexPool.data() + layout.Offset(kPropMatrixIndices), 4);
        EXPECT_EQ(indices, row.indices);
        if (layout.normal) ExpectNear(PositionAt(s, static_cast<std::size_t>(layout.Offset(kPropNormalX))), {0, 1, 0});

        ASSERT_EQ(s.entryPoints.size(), 1u);
        EXPECT_EQ(s.entryPoints[0].name, row.name);
        EXPECT_EQ(s.entryPoints[0].start, 0u);
        EXPECT_EQ(s.programWords, row.words);
        EXPECT_EQ(s.bones[1].firstMeshNode, -1);  // no bone picked: the chain of bone 0
        EXPECT_EQ(s.bones[0].firstMeshNode, 0);
        EXPECT_EQ(s.drawNodes[0].program, 0);
    }
}

TEST(Connect, PaletteFollowsFirstAppearanceAndEqualProgramsAreShared) {
    // (14, 0, 0) lies in bone 2 only: slots 2, 0, 2, 2; (11.5, 0, 0): 1, 2, 1, 1; (50, 0, 0) is in
    // no envelope and goes wholly to the nearest bone, 2.
    const float mi = test::Bits(0);
    MeshSpec m;
    m.fvf = 0x1008;
    m.values = {14, 0, 0, 0, mi, /**/ 11.5f, 0, 0, 0, mi, /**/ 50, 0, 0, 0, mi};
    Model model;
    test::BuildModel(model, {m, m});
    Scene s;
    TwoBoneSkeleton(s);
    ASSERT_TRUE(Connect(model, s, 0, kThreshold));
    ASSERT_TRUE(Connect(model, s, 1, kThreshold));

    auto indicesOf = [&](std::size_t vertex) {
        std::uint32_t v;
        std::memcpy(&v, s.vertexPool.data() + 20 * vertex + 16, 4);
        return v;
    };
    EXPECT_EQ(indicesOf(0), 0x00000100u);
    EXPECT_EQ(indicesOf(1), 0x02020002u);
    EXPECT_EQ(indicesOf(2), 0x00000000u);
    ASSERT_EQ(s.entryPoints.size(), 1u);
    EXPECT_EQ(s.entryPoints[0].name, "BlendedMesh_2_2_0_0_0_1_0_S");
    EXPECT_EQ(s.programWords.size(), 17u + 2 * 3);
    // Both nodes run the one program and form one run at their level.
    EXPECT_EQ(s.drawNodes[0].program, 0);
    EXPECT_EQ(s.drawNodes[1].program, 0);
    EXPECT_EQ(s.bones[0].firstMeshNode, 0);
    EXPECT_EQ(s.drawNodes[0].nextDrawn, 1);
    EXPECT_EQ(s.materials.size(), 1u);
    EXPECT_EQ(s.geometries[1].vertexOffset, 60u);
    EXPECT_EQ(s.geometries[1].firstIndex, 3u);
}

TEST(Connect, ProgramNamesUseBoneAndParentOffsetsFromTheChosenBone) {
    // A chain 0 - 1 - 2 - 3; each vertex lies in no envelope and goes to its nearest bone, 2 and 3.
    const float mi = test::Bits(0);
    MeshSpec m;
    m.fvf = 0x100A;
    m.values = {20, 5, 0, 0, 0, mi, /**/ 30, 5, 0, 0, 0, mi};
    m.primitiveType = 2;
    m.indices = {0, 1};
    Model model;
    test::BuildModel(model, {m});
    Scene s;
    test::BuildSkeleton(s, {{-1, {0, 0, 0}, 0.01f, 0.02f}, {0, {10, 0, 0}}, {1, {20, 0, 0}}, {2, {30, 0, 0}}});
    ASSERT_TRUE(Connect(model, s, 0, kThreshold));
    ASSERT_EQ(s.entryPoints.size(), 1u);
    EXPECT_EQ(s.entryPoints[0].name, "BlendedMesh_3_2_1_3_2_S");

    // Picking bone 1 makes the offsets relative to it and hangs the mesh on it.
    s.pickedBone = 1;
    ASSERT_TRUE(Connect(model, s, 0, kThreshold));
    ASSERT_EQ(s.entryPoints.size(), 2u);
    EXPECT_EQ(s.entryPoints[1].name, "BlendedMesh_3_1_0_2_1_S");
    EXPECT_EQ(s.entryPoints[1].start, 17u + 4);
    EXPECT_EQ(s.bones[1].firstMeshNode, 1);
}

TEST(Connect, MaterialsAndTexturesAreSharedWhenEqual) {
    // Model textures 0 and 2 name the same file; material 1 differs from 0 only in its Model
    // texture index, material 2 in its power; material 3 uses two stages, the second invalid.
    std::vector<MaterialRecord> materials = {test::Material("A", 0), test::Material("B", 2), test::Material("C", 0),
                                             test::Material("D", 1)};
    materials[2].material.Power = 9.0f;
    MeshSpec m;
    m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::vector<MeshSpec> meshes(5, m);
    for (std::int32_t i = 0; i < 4; ++i) meshes[static_cast<std::size_t>(i)].material = i;
    meshes[4].material = -1;  // material 0 stands in
    Model model;
    test::BuildModel(model, meshes, materials, {"a.bmp", "b.bmp", "a.bmp"});
    MaterialRecord twoStages = model.GetMaterial(3);
    twoStages.stageCount = 2;
    twoStages.texture[1] = 7;
    model.SetMaterial(3, twoStages);
    Scene s;
    test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
    s.pickedBone = 0;
    for (std::int32_t i = 0; i < 5; ++i) ASSERT_TRUE(Connect(model, s, i, kThreshold));

    EXPECT_EQ(s.textureNames, (std::vector<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_EQ(s.textures.size(), 2u);  // empty objects: there is no device
    ASSERT_EQ(s.materials.size(), 3u);
    std::vector<std::int32_t> used;
    for (const DrawNode& n : s.drawNodes) used.push_back(n.material);
    EXPECT_EQ(used, (std::vector<std::int32_t>{0, 0, 1, 2, 0}));
    EXPECT_EQ(s.materials[0].stageCount, 1);
    EXPECT_EQ(s.materials[0].texture[0], 0);
    EXPECT_EQ(s.materials[0].texture[1], -1);
    EXPECT_EQ(s.materials[1].material.Power, 9.0f);
    EXPECT_EQ(s.materials[2].stageCount, 2);
    EXPECT_EQ(s.materials[2].texture[0], 1);
    EXPECT_EQ(s.materials[2].texture[1], -1);
    EXPECT_EQ(s.materials[0].material.Diffuse.g, 0.25f);
}

// A chain of `count` bones 10 apart along x, and a mesh with one vertex beside each bone (in no
// envelope, nearest to that bone): its palette holds every bone.
void BonePerVertex(Model& model, Scene& s, int count, std::uint32_t fvf) {
    std::vector<BoneSpec> bones;
    MeshSpec m;
    m.fvf = fvf;
    m.primitiveType = 1;
    m.primitiveCount = count;
    m.indices.clear();
    for (int b = 0; b < count; ++b) {
        bones.push_back({b - 1, {10.0f * b, 0, 0}});
        m.values.insert(m.values.end(), {10.0f * b, 5, 0, test::Bits(0)});
        m.indices.push_back(static_cast<std::uint16_t>(b));
    }
    test::BuildModel(model, {m});
    test::BuildSkeleton(s, bones);
}

TEST(Connect, RefusalsLeaveTheSceneAsItWas) {
    struct Row {
        const char* what;
        ConnectKind kind;
        void (*setUp)(Model& model, Scene& s);
        const char* reason;
    };
    const Row rows[] = {
        {"no bone near a rigid mesh", ConnectKind::kMesh,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values = {1e6f, 0, 0, 1e6f, 1, 0, 1e6f, 0, 1};
             test::BuildModel(model, {m});
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
         },
         "no bone is near"},
        {"no bone near a plain shadow", ConnectKind::kShadow,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values = {1e6f, 0, 0, 1e6f, 1, 0, 1e6f, 0, 1};
             test::BuildModel(model, {m});
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
         },
         "no bone is near"},
        {"no bones", ConnectKind::kMesh,
         [](Model& model, Scene&) {
             MeshSpec m;
             m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
             test::BuildModel(model, {m});
         },
         "no bones"},
        {"a vertex layout that is not valid", ConnectKind::kMesh,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
             test::BuildModel(model, {m});
             model.Geometry(0)->fvf = 0x003;
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
         },
         "not supported"},
        {"an index beyond the vertices", ConnectKind::kShadow,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
             test::BuildModel(model, {m});
             model.Geometry(0)->indices[2] = 3;
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
         },
         "refers to vertex 3"},
        {"a palette of 257 bones", ConnectKind::kMesh,
         [](Model& model, Scene& s) { BonePerVertex(model, s, 257, 0x1006); }, "at most 256"},
        {"a program name beyond 999 characters", ConnectKind::kMesh,
         [](Model& model, Scene& s) { BonePerVertex(model, s, 200, 0x1006); }, "longer than 999"},
        {"a shadow palette of 129 bones", ConnectKind::kShadow,
         [](Model& model, Scene& s) { BonePerVertex(model, s, 129, 0x1006); }, "2 x 128"},
        {"a shadow of 32769 vertices", ConnectKind::kShadow,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values.assign(3 * 32769, 0.0f);
             m.primitiveType = 1;
             m.indices = {0};
             test::BuildModel(model, {m});
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
         },
         "at most 32768"},
        {"a shadow of an unknown primitive type", ConnectKind::kShadow,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
             test::BuildModel(model, {m});
             model.Geometry(0)->primitiveType = 7;
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
         },
         "primitive type 7"},
        {"a damaged chain", ConnectKind::kMesh,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
             test::BuildModel(model, {m});
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
             s.bones[0].firstMeshNode = 5;
         },
         "damaged"},
        {"a bone that cannot be inverted", ConnectKind::kMesh,
         [](Model& model, Scene& s) {
             MeshSpec m;
             m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
             test::BuildModel(model, {m});
             test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
             s.matrices[static_cast<std::size_t>(s.bones[0].world)] = D3DXMATRIX{};
             s.pickedBone = 0;
         },
         "cannot be inverted"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Model model;
        Scene s;
        row.setUp(model, s);
        const std::string before = test::Dump(s);
        const std::size_t capacity = s.vertexPool.capacity();
        const Status status =
            row.kind == ConnectKind::kMesh ? Connect(model, s, 0, kThreshold) : ConnectShadow(model, s, 0, kThreshold);
        EXPECT_FALSE(status);
        EXPECT_NE(status.message().find(row.reason), std::string::npos) << status.message();
        EXPECT_EQ(test::Dump(s), before);
        EXPECT_EQ(s.vertexPool.capacity(), capacity);
    }
    Model model;
    Scene s;
    test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
    EXPECT_FALSE(Connect(model, s, 0, kThreshold));  // no mesh node 0
    EXPECT_TRUE(s.drawNodes.empty());
}

TEST(Connect, FrameWalkConnectsEachMeshNodeOnItsOwnTerms) {
    // Root (mesh 0) has children A (mesh 1) and B (mesh 2); A has child C (mesh 3); Other
    // (mesh 4) is Root's sibling and is not visited. Mesh 3 is refused.
    const std::vector<FrameSpec> frames = {
        {"Root", test::Identity(), 0, 1, 4, 1}, {"A", test::Identity(), 1, 1, 2, 3},
        {"B", test::Identity(), 2, 1, -1, -1},  {"C", test::Identity(), 3, 1, -1, -1},
        {"Other", test::Identity(), 4, 1, -1, -1},
    };
    std::vector<MeshSpec> meshes(5);
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        meshes[i].name = "M" + std::to_string(i);
        meshes[i].values = {static_cast<float>(i), 0, 0, 0, 1, 0, 0, 0, 1};
    }
    Model model;
    test::BuildModel(model, frames, meshes);
    model.Geometry(3)->fvf = 0x001;
    EXPECT_EQ(FrameWalkMeshNodes(model, 0), (std::vector<std::int32_t>{0, 1, 3, 2}));
    EXPECT_EQ(FrameWalkMeshNodes(model, 1), (std::vector<std::int32_t>{1, 3}));

    Scene s;
    test::BuildSkeleton(s, {{-1, {0, 0, 0}}});
    s.pickedBone = 0;
    const ConnectOutcome outcome = ConnectSelection(model, s, ConnectKind::kMesh, 0, false, kThreshold);
    EXPECT_EQ(outcome.connected, 3);
    EXPECT_FALSE(outcome.cancelled);
    ASSERT_EQ(outcome.refusals.size(), 1u);
    EXPECT_EQ(outcome.refusals[0].rfind("mesh node 'M3': ", 0), 0u) << outcome.refusals[0];
    ASSERT_EQ(s.geometries.size(), 3u);
    EXPECT_EQ(FloatAt(s, 0), 0.0f);
    EXPECT_EQ(FloatAt(s, 36), 1.0f);
    EXPECT_EQ(FloatAt(s, 72), 2.0f);
}

TEST(Connect, CancellingTakesBackEverythingTheSelectionAppended) {
    std::vector<MeshSpec> meshes(3);
    for (MeshSpec& m : meshes) m.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    meshes[2].fvf = 0x1006;
    meshes[2].values = {10, 0, 0, 0, 11, 0, 0, 0, 12, 0, 0, 0};
    Model model;
    test::BuildModel(model, meshes, {}, {"t.bmp"});
    for (ConnectKind kind : {ConnectKind::kMesh, ConnectKind::kShadow}) {
        Scene s;
        TwoBoneSkeleton(s);
        s.pickedBone = 1;
        ASSERT_TRUE(Connect(model, s, 0, 1.0f));  // something to keep
        const std::string before = test::Dump(s);
        int calls = 0;
        const ConnectOutcome outcome = ConnectSelection(model, s, kind, 0, false, kThreshold,
                                                        [&](std::int64_t done, std::int64_t total) {
                                                            EXPECT_EQ(total, 9);
                                                            EXPECT_LE(done, total);
                                                            return ++calls < 3;
                                                        });
        EXPECT_TRUE(outcome.cancelled);
        EXPECT_EQ(outcome.connected, 0);
        EXPECT_EQ(test::Dump(s), before);
    }
}

TEST(Connect, ConnectedSceneSurvivesASkinFileRoundTrip) {
    const float mi = test::Bits(0);
    MeshSpec rigid, skinned;
    rigid.fvf = 0x112;
    rigid.values = {10, 0, 0, 0, 1, 0, 0.5f, 0.5f, /**/ 11, 0, 0, 0, 1, 0, 1, 0, /**/ 10, 1, 0, 0, 1, 0, 0, 1};
    skinned.fvf = 0x1008;
    skinned.values = {11.5f, 0, 0, 0, mi, 14, 0, 0, 0, mi, 12, 1, 0, 0, mi};
    Model model;
    test::BuildModel(model, {rigid, skinned}, {test::Material("A", 0)}, {"skin.bmp"});
    Scene s;
    TwoBoneSkeleton(s);
    ASSERT_TRUE(Connect(model, s, 0, 4.0f));
    ASSERT_TRUE(Connect(model, s, 1, 2500.0f));
    ASSERT_TRUE(ConnectShadow(model, s, 0, 2500.0f));
    ASSERT_TRUE(ConnectShadow(model, s, 1, 2500.0f));
    s.pickedBone = 2;
    ASSERT_TRUE(Connect(model, s, 0, 100.0f));

    test::TempDir dir;
    ASSERT_TRUE(SaveSceneFile(s, dir.Path("a.skn"), SceneFileKind::kSkin));
    Scene opened;
    ASSERT_TRUE(OpenSceneFile(opened, dir.Path("a.skn"), SceneFileKind::kSkin));
    s.pickedBone = -1;
    EXPECT_EQ(test::Dump(opened), test::Dump(s));
}

}  // namespace
}  // namespace ms
