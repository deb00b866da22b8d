#pragma once
// Small Models and skeletons for the Connect tests: a Model built through a GMF file with the
// vertex values written afterwards, and bones with envelopes whose envelope space is the bone's
// own space shifted to its origin.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/gmf_builder.h"
#include "model/model.h"
#include "platform/d3dx/d3dx8math.h"
#include "render/scene.h"
#include "render/scene_json.h"
#include "skin/bones.h"
#include "skin/envelope.h"
#include "support/temp_dir.h"
#include "tools/vertex_layout.h"

namespace ms::test {

// The bits of an integer component (MATRIX_INDICES, DIFFUSE) among float vertex values.
inline float Bits(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

inline D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

inline D3DXMATRIX Identity() { return Translation(0, 0, 0); }

struct MeshSpec {
    std::string name = "Mesh";
    std::uint32_t fvf = 0x002;    // XYZ
    std::vector<float> values;    // every vertex's components in layout order, 4 bytes each
    std::int32_t primitiveType = 4;
    std::int32_t primitiveCount = 1;
    std::vector<std::uint16_t> indices = {0, 1, 2};
    std::int32_t material = 0;
};

struct FrameSpec {
    std::string name;
    D3DXMATRIX matrix = Identity();
    std::int32_t firstMeshNode = -1, meshNodeCount = 0, nextSibling = -1, firstChild = -1;
};

// A Model of `frames` with one mesh node and geometry per mesh, `materials` (one plain material
// when empty) and `textures`.
inline void BuildModel(Model& model, const std::vector<FrameSpec>& frames, const std::vector<MeshSpec>& meshes,
                       std::vector<MaterialRecord> materials = {}, const std::vector<std::string>& textures = {}) {
    GmfBuilder b;
    for (const FrameSpec& f : frames) {
        FrameRecord r = Frame(f.name.c_str(), f.firstMeshNode, f.meshNodeCount, f.nextSibling, f.firstChild);
        std::memcpy(r.matrix, &f.matrix, sizeof r.matrix);
        b.frames.push_back(r);
    }
    if (materials.empty()) materials.push_back(Material("Plain"));
    b.materials = materials;
    b.textures = textures;
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        const MeshSpec& m = meshes[i];
        b.nodes.push_back(Node(m.name.c_str(), static_cast<std::int32_t>(i), m.material));
        GeometryBlock g;
        g.stride = static_cast<std::int32_t>(DecodeLayout(m.fvf).stride);
        g.vertexCount = static_cast<std::int32_t>(m.values.size() * 4 / static_cast<std::size_t>(g.stride));
        g.primitiveCount = m.primitiveCount;
        g.fvf = m.fvf;
        g.primitiveType = m.primitiveType;
        g.indices = m.indices;
        b.geometries.push_back(g);
    }
    TempDir dir;
    WriteFileBytes(dir.Path("m.gmf"), b.Bytes());
    if (!model.LoadGmf(dir.Path("m.gmf"))) std::abort();
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        MeshGeometry* g = model.Geometry(static_cast<std::int32_t>(i));
        std::memcpy(g->vertices.data(), meshes[i].values.data(), meshes[i].values.size() * 4);
    }
}

// One frame holding every mesh.
inline void BuildModel(Model& model, const std::vector<MeshSpec>& meshes, std::vector<MaterialRecord> materials = {},
                       const std::vector<std::string>& textures = {}) {
    BuildModel(model, {FrameSpec{"Root", Identity(), 0, static_cast<std::int32_t>(meshes.size())}}, meshes,
               std::move(materials), textures);
}

struct BoneSpec {
    std::int32_t parent;  // -1: a top bone
    D3DXVECTOR3 origin;   // world position
    float r1 = 0.1f, r2 = 0.2f;
    std::int32_t falloff = 0;
};

// Bones in the given order, each at its world origin, with an envelope from Dot 1 at the origin
// to Dot 2 one unit along +z and the same radii at both dots: a point p in the plane z = 0 of
// the bone lies at distance |p - origin| behind Dot 1.
inline void BuildSkeleton(Scene& s, const std::vector<BoneSpec>& bones) {
    for (const BoneSpec& b : bones) {
        D3DXVECTOR3 from(0, 0, 0);
        if (b.parent >= 0) from = bones[static_cast<std::size_t>(b.parent)].origin;
        AddBone(s, b.parent, Translation(b.origin.x - from.x, b.origin.y - from.y, b.origin.z - from.z));
    }
    GrowBoneStates(s);
    SetUpHierarchy(s, 0, kDefaultBoneLength);
    UpdateAll(s);
    for (std::size_t i = 0; i < bones.size(); ++i) {
        Envelope& e = s.boneStates[i].envelope;
        e = Envelope{};
        e.dot2[2] = 1;
        e.dot1R1 = e.dot2R1 = bones[i].r1;
        e.dot1R2 = e.dot2R2 = bones[i].r2;
        e.falloff = bones[i].falloff;
        RebuildEnvelopeMatrices(e);
    }
}

inline std::string Dump(const Scene& s) { return SceneToJson(s).dump(); }

inline float FloatAt(const Scene& s, std::size_t byte) {
    float f;
    std::memcpy(&f, s.vertexPool.data() + byte, sizeof f);
    return f;
}

}  // namespace ms::test
