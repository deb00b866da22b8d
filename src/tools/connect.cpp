#include "tools/connect.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <set>

#include "tools/connect_parts.h"

namespace ms {
namespace connect {
namespace {

constexpr std::size_t kLargestPalette = 256;  // palette positions are bytes

// The rigid binding: the chosen bone (the picked one, else the one nearest to the centre of the
// world positions), and every vertex moved from world space into that bone's space.
Status BindRigid(const Scene& scene, const Source& source, const std::vector<D3DXVECTOR3>& positions,
                 const std::vector<D3DXVECTOR3>& normals, Addition& a) {
    std::int32_t chosen = PickedBone(scene);
    if (chosen < 0) {
        chosen = NearestBone(scene, Centre(positions));
        if (chosen < 0) return Status::Error("no bone is picked and no bone is near the mesh");
    }
    D3DXMATRIX toBone;
    if (Status s = InverseBoneWorld(scene, chosen, toBone); !s) return s;
    const std::size_t stride = source.layout.stride;
    const std::int32_t normalAt = source.layout.Offset(kPropNormalX);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        std::uint8_t* v = a.vertices.data() + i * stride;
        WriteVector(v, TransformPoint(positions[i], toBone));
        if (normalAt >= 0) WriteVector(v + normalAt, Normalized(TransformDirection(normals[i], toBone)));
    }
    a.bone = chosen;
    return Status::Ok();
}

// The skinned binding: weights from the envelopes of the chosen bone's tree, the palette, every
// vertex blended by its palette matrices, its matrix indices and weights written, and the
// "BlendedMesh_" program.
Status BindSkinned(const Scene& scene, const Source& source, const std::vector<D3DXVECTOR3>& positions,
                   const std::vector<D3DXVECTOR3>& normals, Addition& a, ProgressCounter* progress) {
    SkinBinding binding;
    if (Status s = WeighBinding(scene, source, positions, normals, DegenerateNormal::kCurveAtOne, progress, binding);
        !s)
        return s;
    const auto& [chosen, n, weights, palette] = binding;
    if (palette.bones.size() > kLargestPalette)
        return Status::Error("its palette of " + std::to_string(palette.bones.size()) +
                             " bones does not fit the byte-sized matrix indices (at most 256)");
    std::vector<D3DXMATRIX> matrices;
    std::vector<std::int32_t> parents;
    std::string name;
    if (Status s = PaletteProgram(scene, binding, "BlendedMesh_", matrices, parents, name); !s) return s;

    const std::size_t stride = source.layout.stride;
    const std::int32_t normalAt = source.layout.Offset(kPropNormalX);
    const std::int32_t indicesAt = source.layout.Offset(kPropMatrixIndices);
    const std::int32_t weightsAt = source.layout.Offset(kPropWeight1);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const VertexWeights& w = weights[i];
        std::uint8_t* v = a.vertices.data() + i * stride;
        D3DXVECTOR3 p(0, 0, 0), normal(0, 0, 0);
        for (int k = 0; k < 4; ++k) {
            const std::int32_t slot = palette.positionOf[static_cast<std::size_t>(w.bone[k])];
            v[indicesAt + k] = static_cast<std::uint8_t>(slot);
            if (w.weight[k] == 0.0f) continue;  // adds nothing
            const D3DXMATRIX& m = matrices[static_cast<std::size_t>(slot)];
            AddScaled(p, w.weight[k], TransformPoint(positions[i], m));
            if (normalAt >= 0) AddScaled(normal, w.weight[k], TransformDirection(normals[i], m));
        }
        WriteVector(v, p);
        if (normalAt >= 0) WriteVector(v + normalAt, Normalized(normal));
        for (int k = 0; k + 1 < n; ++k) WriteFloat(v + weightsAt + 4 * k, w.weight[k]);
    }

    std::vector<std::uint32_t> words = {kRenderState, kVertexBlendState, VertexBlendValue(n),
                                        kRenderState, kIndexedBlendState, 1};
    AppendPaletteWords(palette, parents, chosen, words);
    words.insert(words.end(), {kDraw, kRenderState, kIndexedBlendState, 0, kRenderState, kVertexBlendState, 0,
                               kWorld, kEnd});
    AddProgram(scene, name, std::move(words), a);
    a.bone = chosen;
    return Status::Ok();
}

}  // namespace

Status ConnectMesh(const Model& model, Scene& scene, std::int32_t node, float threshold, ProgressCounter* progress) {
    Source source;
    if (Status s = CheckSource(model, scene, node, source); !s) return s;
    const MeshGeometry& g = *source.geometry;
    const std::size_t count = static_cast<std::size_t>(g.vertexCount), stride = source.layout.stride;

    Addition a;
    a.geometry = {0,
                  0,
                  static_cast<std::uint32_t>(g.vertexCount),
                  static_cast<std::uint32_t>(g.primitiveCount),
                  source.layout.stride,
                  g.fvf,
                  static_cast<std::uint32_t>(g.primitiveType),
                  1};
    a.vertices.assign(g.vertices.begin(), g.vertices.begin() + static_cast<std::ptrdiff_t>(count * stride));
    a.indices.assign(g.indices.begin(), g.indices.begin() + source.indexCount);

    // Into the world: the frame's world matrix on every position, and on every normal without
    // the translation, normalised.
    const D3DXMATRIX world = MeshWorldMatrix(model, node);
    const std::int32_t normalAt = source.layout.Offset(kPropNormalX);
    std::vector<D3DXVECTOR3> positions(count), normals(normalAt >= 0 ? count : 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* v = a.vertices.data() + i * stride;
        positions[i] = TransformPoint(ReadVector(v), world);
        if (normalAt >= 0) normals[i] = Normalized(TransformDirection(ReadVector(v + normalAt), world));
    }

    const bool skinned = source.layout.Has(kPropMatrixIndices);
    const Status bound =
        skinned ? BindSkinned(scene, source, positions, normals, a, progress) : BindRigid(scene, source, positions, normals, a);
    if (!bound) return bound;
    AddMaterial(model, scene, node, a);
    if (Status s = PlaceNode(scene, a.bone, Chain::kMesh, threshold, a); !s) return s;
    if (progress && !progress->Advance(skinned ? 0 : static_cast<std::int64_t>(count))) return Cancelled();
    return Commit(scene, std::move(a));
}

}  // namespace connect

namespace {

// The lengths of the Scene's arrays, and the bones and draw nodes whose links connecting changes,
// so that a cancelled selection can be taken back.
struct SceneMark {
    explicit SceneMark(const Scene& s)
        : textures(s.textures.size()), names(s.textureNames.size()), geometries(s.geometries.size()), materials(s.materials.size()),
          words(s.programWords.size()), vertices(s.vertexPool.size()), indices(s.indexPool.size()),
          entries(s.entryPoints.size()), bones(s.bones), nodes(s.drawNodes) {}

    void RollBack(Scene& s) const {
        s.textures.resize(textures);
        s.textureNames.resize(names);
        s.geometries.resize(geometries);
        s.materials.resize(materials);
        s.programWords.resize(words);
        s.vertexPool.resize(vertices);
        s.indexPool.resize(indices);
        s.entryPoints.resize(entries);
        s.bones = bones;
        s.drawNodes = nodes;
    }

    std::size_t textures, names, geometries, materials, words, vertices, indices, entries;
    std::vector<BoneRecord> bones;
    std::vector<DrawNode> nodes;
};

}  // namespace

Status Connect(const Model& model, Scene& scene, std::int32_t node, float threshold) {
    return connect::Guarded([&] { return connect::ConnectMesh(model, scene, node, threshold, nullptr); });
}

std::string ConnectOutcome::Report() const {
    std::string text;
    for (const std::string& r : refusals) text += (text.empty() ? "" : "\n") + r;
    return text;
}

std::vector<std::int32_t> FrameWalkMeshNodes(const Model& model, std::int32_t frame) {
    std::vector<std::int32_t> nodes;
    const std::int32_t count = model.FrameCount();
    auto addRun = [&](std::int32_t f) {
        const std::int64_t first = model.FrameFirstMeshNode(f);
        for (std::int64_t n = std::max<std::int64_t>(first, 0);
             first >= 0 && n < first + model.FrameMeshNodeCount(f) && n < model.MeshNodeCount(); ++n)
            nodes.push_back(static_cast<std::int32_t>(n));
    };
    if (frame < 0 || frame >= count) return nodes;
    addRun(frame);
    // Depth first from the first child: a frame, its children, then its following siblings. Each
    // frame is visited once, so damaged links cannot loop.
    std::vector<bool> visited(static_cast<std::size_t>(count), false);
    visited[static_cast<std::size_t>(frame)] = true;
    std::vector<std::int32_t> stack{model.FrameFirstChild(frame)};
    while (!stack.empty()) {
        const std::int32_t f = stack.back();
        stack.pop_back();
        if (f < 0 || f >= count || visited[static_cast<std::size_t>(f)]) continue;
        visited[static_cast<std::size_t>(f)] = true;
        addRun(f);
        stack.push_back(model.FrameNextSibling(f));
        stack.push_back(model.FrameFirstChild(f));
    }
    return nodes;
}

ConnectOutcome ConnectSelection(const Model& model, Scene& scene, ConnectKind kind, std::int32_t index,
                                bool meshNode, float threshold, const ConnectProgress& progress) {
    ConnectOutcome outcome;
    const std::vector<std::int32_t> nodes = meshNode ? std::vector<std::int32_t>{index} : FrameWalkMeshNodes(model, index);
    std::int64_t total = 0;
    for (std::int32_t n : nodes) {
        const MeshGeometry* g = model.Geometry(model.MeshNodeGeometry(n));
        if (g) total += std::max(g->vertexCount, 0);
    }
    connect::ProgressCounter counter(&progress, total);
    const SceneMark mark(scene);
    for (std::int32_t n : nodes) {
        const Status s = connect::Guarded([&] {
            return kind == ConnectKind::kMesh ? connect::ConnectMesh(model, scene, n, threshold, &counter)
                                              : connect::ConnectShadowMesh(model, scene, n, threshold, &counter);
        });
        if (connect::IsCancelled(s)) {
            mark.RollBack(scene);
            return ConnectOutcome{0, {}, true};
        }
        if (s) {
            ++outcome.connected;
        } else {
            const char* name = model.MeshNodeName(n);
            outcome.refusals.push_back(
                (name ? "mesh node '" + std::string(name, strnlen(name, kNameSize)) + "': " : std::string()) +
                s.message());
        }
    }
    return outcome;
}

}  // namespace ms
