// Connect Shadow: shadow volumes from meshes of the Model.
//
// A shadow mesh holds positions, blend weights and matrix indices only. Vertex i of the first
// copy is source vertex i; vertex N + i is its copy, whose matrix indices pick the extrusion
// matrices (palette position + P) that the program's EXTRUDE sets up, so that it is pushed away
// from the light. Every edge becomes a quad between a vertex and its copy.
#include <algorithm>

#include "tools/connect_parts.h"

namespace ms::connect {
namespace {

constexpr std::int64_t kLargestShadowSource = 32768;  // 2N vertices must stay within 16-bit indices
constexpr std::size_t kLargestExtrudedPalette = 128;  // palette positions + P must fit a byte
constexpr std::uint32_t kPlainShadowFvf = kKindXyzB1 | kFvfLastBetaUbyte4;

// The primitives a source draws, as lists: triangles of lists, strips and fans; lines of lists
// and line strips; points. Each vertex is taken through the source's index list.
struct Primitives {
    enum Kind { kPoints, kLines, kTriangles } kind;
    std::int64_t count;
};

Status ShadowPrimitives(const MeshGeometry& g, Primitives& p) {
    const std::int64_t n = g.primitiveCount;
    switch (g.primitiveType) {
        case D3DPT_POINTLIST: p = {Primitives::kPoints, n}; return Status::Ok();
        case D3DPT_LINELIST:
        case D3DPT_LINESTRIP: p = {Primitives::kLines, n}; return Status::Ok();
        case D3DPT_TRIANGLELIST:
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: p = {Primitives::kTriangles, n}; return Status::Ok();
        default: return Status::Error("its primitive type " + std::to_string(g.primitiveType) + " has no shadow");
    }
}

// Source index positions of line k and triangle k.
void LineAt(std::int32_t type, std::int64_t k, std::int64_t at[2]) {
    if (type == D3DPT_LINESTRIP) {
        at[0] = k;
        at[1] = k + 1;
    } else {
        at[0] = 2 * k;
        at[1] = 2 * k + 1;
    }
}

void TriangleAt(std::int32_t type, std::int64_t k, std::int64_t at[3]) {
    if (type == D3DPT_TRIANGLESTRIP) {
        at[0] = k % 2 == 0 ? k : k + 1;  // odd triangles of a strip turn the other way
        at[1] = k % 2 == 0 ? k + 1 : k;
        at[2] = k + 2;
    } else if (type == D3DPT_TRIANGLEFAN) {
        at[0] = 0;
        at[1] = k + 1;
        at[2] = k + 2;
    } else {
        at[0] = 3 * k;
        at[1] = 3 * k + 1;
        at[2] = 3 * k + 2;
    }
}

// The shadow's index list: a line from each point to its copy; for each line (a, b) the quad
// b, a, a', a', b', b; for each triangle (a, b, c) the quads of its three edges, then the triangle.
void WriteShadowIndices(const MeshGeometry& g, const Primitives& p, std::uint16_t* out) {
    const auto copy = static_cast<std::uint16_t>(g.vertexCount);
    const std::uint16_t* idx = g.indices.data();
    auto quad = [&](std::uint16_t a, std::uint16_t b) {
        const auto a2 = static_cast<std::uint16_t>(a + copy), b2 = static_cast<std::uint16_t>(b + copy);
        out[0] = b;
        out[1] = a;
        out[2] = a2;
        out[3] = a2;
        out[4] = b2;
        out[5] = b;
        out += 6;
    };
    if (p.kind == Primitives::kPoints) {
        for (std::int64_t i = 0; i < p.count; ++i) {
            *out++ = idx[i];
            *out++ = static_cast<std::uint16_t>(idx[i] + copy);
        }
    } else if (p.kind == Primitives::kLines) {
        for (std::int64_t k = 0; k < p.count; ++k) {
            std::int64_t at[2];
            LineAt(g.primitiveType, k, at);
            quad(idx[at[0]], idx[at[1]]);
        }
    } else if (g.primitiveType == D3DPT_TRIANGLELIST) {
        for (std::int64_t k = 0; k < p.count; ++k, idx += 3) {  // the common case, without the position arithmetic
            const std::uint16_t a = idx[0], b = idx[1], c = idx[2];
            quad(a, b);
            quad(b, c);
            quad(c, a);
            out[0] = a;
            out[1] = b;
            out[2] = c;
            out += 3;
        }
    } else {
        for (std::int64_t k = 0; k < p.count; ++k) {
            std::int64_t at[3];
            TriangleAt(g.primitiveType, k, at);
            const std::uint16_t a = idx[at[0]], b = idx[at[1]], c = idx[at[2]];
            quad(a, b);
            quad(b, c);
            quad(c, a);
            *out++ = a;
            *out++ = b;
            *out++ = c;
        }
    }
}

// Index count, primitive count and primitive type of the shadow.
void ShadowGeometry(const Primitives& p, std::int64_t& indices, GeometryRecord& record) {
    switch (p.kind) {
        case Primitives::kPoints:
            indices = 2 * p.count;
            record.primitiveCount = static_cast<std::uint32_t>(p.count);
            record.primitiveType = D3DPT_LINELIST;
            break;
        case Primitives::kLines:
            indices = 6 * p.count;
            record.primitiveCount = static_cast<std::uint32_t>(2 * p.count);
            record.primitiveType = D3DPT_TRIANGLELIST;
            break;
        case Primitives::kTriangles:
            indices = 21 * p.count;
            record.primitiveCount = static_cast<std::uint32_t>(7 * p.count);
            record.primitiveType = D3DPT_TRIANGLELIST;
            break;
    }
}

// A source without matrix indices and blend weights: both copies in the chosen bone's space
// (the picked bone, else the one nearest to the centre), matrix index 0 for the first copy and 1
// for the second, and the one "DropPrimitiveShadow" program.
Status BindPlain(const Scene& scene, const std::vector<D3DXVECTOR3>& positions, Addition& a) {
    std::int32_t chosen = PickedBone(scene);
    if (chosen < 0) {
        chosen = NearestBone(scene, Centre(positions));
        if (chosen < 0) return Status::Error("no bone is picked and no bone is near the mesh");
    }
    D3DXMATRIX toBone;
    if (Status s = InverseBoneWorld(scene, chosen, toBone); !s) return s;
    const std::size_t count = positions.size(), stride = 16;
    a.geometry.fvf = kPlainShadowFvf;
    a.geometry.stride = stride;
    a.vertices.assign(2 * count * stride, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const D3DXVECTOR3 p = TransformPoint(positions[i], toBone);
        WriteVector(a.vertices.data() + i * stride, p);
        WriteVector(a.vertices.data() + (count + i) * stride, p);
        a.vertices[(count + i) * stride + 12] = 1;
    }
    AddProgram(scene, "DropPrimitiveShadow",
               {kRenderState, kVertexBlendState, kZeroWeights, kRenderState, kIndexedBlendState, 1, kWorld, kExtrude,
                1, kDraw, kRenderState, kIndexedBlendState, 0, kRenderState, kVertexBlendState, 0, kEnd},
               a);
    a.bone = chosen;
    return Status::Ok();
}

// Any other source: weights from the envelopes of the chosen bone's tree (with the world
// normals, not normalised), positions blended by the palette matrices, both copies with the
// weights, the copy's matrix indices P beyond the first's, and a "DropBlendedShadow_" program.
Status BindBlended(const Scene& scene, const Source& source, const std::vector<D3DXVECTOR3>& positions,
                   const std::vector<D3DXVECTOR3>& normals, Addition& a, ProgressCounter* progress) {
    SkinBinding binding;
    if (Status s = WeighBinding(scene, source, positions, normals, DegenerateNormal::kZero, progress, binding); !s)
        return s;
    const auto& [chosen, n, weights, palette] = binding;
    const std::size_t P = palette.bones.size();
    if (P > kLargestExtrudedPalette)
        return Status::Error("its palette of " + std::to_string(P) +
                             " bones is too large for a shadow: its extruded copy needs byte-sized matrix indices "
                             "up to 2 x 128");
    std::vector<D3DXMATRIX> matrices;
    std::vector<std::int32_t> parents;
    std::string name;
    if (Status s = PaletteProgram(scene, binding, "DropBlendedShadow_", matrices, parents, name); !s) return s;

    const std::size_t count = positions.size(), stride = 4 * static_cast<std::size_t>(n) + 12;
    const std::size_t indicesAt = stride - 4;
    a.geometry.fvf = (kKindXyz + 2 * static_cast<std::uint32_t>(n) + 2) | kFvfLastBetaUbyte4;  // XYZBn
    a.geometry.stride = static_cast<std::uint32_t>(stride);
    a.vertices.assign(2 * count * stride, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const VertexWeights& w = weights[i];
        std::uint8_t* first = a.vertices.data() + i * stride;
        std::uint8_t* second = a.vertices.data() + (count + i) * stride;
        D3DXVECTOR3 p(0, 0, 0);
        for (int k = 0; k < 4; ++k) {
            const std::int32_t slot = palette.positionOf[static_cast<std::size_t>(w.bone[k])];
            first[indicesAt + k] = static_cast<std::uint8_t>(slot);
            second[indicesAt + k] = static_cast<std::uint8_t>(slot + static_cast<std::int32_t>(P));
            if (w.weight[k] != 0.0f) AddScaled(p, w.weight[k], TransformPoint(positions[i], matrices[slot]));
        }
        WriteVector(first, p);
        WriteVector(second, p);
        for (int k = 0; k + 1 < n; ++k) {
            WriteFloat(first + 12 + 4 * k, w.weight[k]);
            WriteFloat(second + 12 + 4 * k, w.weight[k]);
        }
    }

    std::vector<std::uint32_t> words = {kRenderState, kVertexBlendState, VertexBlendValue(n),
                                        kRenderState, kIndexedBlendState, 1};
    AppendPaletteWords(palette, parents, chosen, words);
    words.insert(words.end(), {kExtrude, static_cast<std::uint32_t>(P), kDraw, kRenderState, kIndexedBlendState, 0,
                               kRenderState, kVertexBlendState, 0, kEnd});
    AddProgram(scene, name, std::move(words), a);
    a.bone = chosen;
    return Status::Ok();
}

}  // namespace

Status ConnectShadowMesh(const Model& model, Scene& scene, std::int32_t node, float threshold,
                         ProgressCounter* progress) {
    Source source;
    if (Status s = CheckSource(model, scene, node, source); !s) return s;
    const MeshGeometry& g = *source.geometry;
    if (g.vertexCount > kLargestShadowSource)
        return Status::Error("its " + std::to_string(g.vertexCount) +
                             " vertices are too many for a shadow: doubled, they must stay within 16-bit indices "
                             "(at most 32768)");
    Primitives primitives{Primitives::kPoints, 0};
    if (Status s = ShadowPrimitives(g, primitives); !s) return s;
    Addition a;
    std::int64_t indexCount = 0;
    ShadowGeometry(primitives, indexCount, a.geometry);
    if (static_cast<std::uint64_t>(indexCount) + scene.indexPool.size() > 0xFFFFFFFFull)
        return Status::Error("the scene would grow beyond the 32-bit offsets and counts of its files");
    a.geometry.vertexCount = static_cast<std::uint32_t>(2 * g.vertexCount);
    a.geometry.indexed = 1;

    // Into the world; the normals (when the source has them) without translation and not
    // normalised, for the Normal Check of the weights.
    const D3DXMATRIX world = MeshWorldMatrix(model, node);
    const std::size_t count = static_cast<std::size_t>(g.vertexCount), stride = source.layout.stride;
    const std::int32_t normalAt = source.layout.Offset(kPropNormalX);
    std::vector<D3DXVECTOR3> positions(count), normals(normalAt >= 0 ? count : 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* v = g.vertices.data() + i * stride;
        positions[i] = TransformPoint(ReadVector(v), world);
        if (normalAt >= 0) normals[i] = TransformDirection(ReadVector(v + normalAt), world);
    }

    const bool plain = !source.layout.Has(kPropMatrixIndices) && source.layout.BlendCount() == 0;
    const Status bound = plain ? BindPlain(scene, positions, a) : BindBlended(scene, source, positions, normals, a, progress);
    if (!bound) return bound;
    a.indexCount = static_cast<std::size_t>(indexCount);
    a.writeIndices = [&g, primitives](std::uint16_t* out) { WriteShadowIndices(g, primitives, out); };
    a.materialIndex = -1;
    if (Status s = PlaceNode(scene, a.bone, Chain::kShadow, threshold, a); !s) return s;
    if (progress && !progress->Advance(plain ? static_cast<std::int64_t>(count) : 0)) return Cancelled();
    return Commit(scene, std::move(a));
}

}  // namespace ms::connect

namespace ms {

Status ConnectShadow(const Model& model, Scene& scene, std::int32_t node, float threshold) {
    return connect::Guarded([&] { return connect::ConnectShadowMesh(model, scene, node, threshold, nullptr); });
}

}  // namespace ms
