#pragma once
// Builds GMF file bytes field by field, independently of the writer under test.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/model.h"

namespace ms::test {

inline FrameRecord Frame(const char* name, std::int32_t firstMeshNode = -1, std::int32_t meshNodeCount = 0,
                         std::int32_t nextSibling = -1, std::int32_t firstChild = -1) {
    FrameRecord f{};
    for (int i = 0; i < 16; ++i) f.matrix[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    f.firstMeshNode = firstMeshNode;
    f.meshNodeCount = meshNodeCount;
    f.nextSibling = nextSibling;
    f.firstChild = firstChild;
    CopyName(f.name, kNameSize, name);
    return f;
}

inline MeshNode Node(const char* name, std::int32_t geometry, std::int32_t material) {
    MeshNode n{};
    n.geometry = geometry;
    n.material = material;
    CopyName(n.name, kNameSize, name);
    return n;
}

inline MaterialRecord Material(const char* name, std::int32_t texture0 = -1) {
    MaterialRecord m{};
    m.material.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    m.material.Power = 8.0f;
    CopyName(m.name, kNameSize, name);
    for (auto& t : m.texture) t = -1;
    m.texture[0] = texture0;
    m.stageCount = texture0 >= 0 ? 1 : 0;
    return m;
}

// A geometry block; vb and ib default to the sizes the writer would give.
struct GeometryBlock {
    std::int32_t vertexCount = 3, primitiveCount = 1, stride = 32;
    std::uint32_t fvf = 0x112;
    std::int32_t primitiveType = 4;
    std::vector<std::uint16_t> indices = {0, 1, 2};
    std::int32_t vb = -100, ib = -100;  // -100: derived
};

struct GmfBuilder {
    std::vector<FrameRecord> frames;
    std::vector<MeshNode> nodes;
    std::vector<MaterialRecord> materials;
    std::vector<std::string> textures;
    std::vector<GeometryBlock> geometries;

    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> out;
        auto put = [&](const void* p, std::size_t n) {
            auto* b = static_cast<const std::uint8_t*>(p);
            out.insert(out.end(), b, b + n);
        };
        auto i32 = [&](std::int32_t v) { put(&v, 4); };
        i32(static_cast<std::int32_t>(frames.size()));
        i32(static_cast<std::int32_t>(nodes.size()));
        i32(static_cast<std::int32_t>(materials.size()));
        i32(static_cast<std::int32_t>(textures.size()));
        i32(static_cast<std::int32_t>(geometries.size()));
        put(frames.data(), frames.size() * sizeof(FrameRecord));
        put(nodes.data(), nodes.size() * sizeof(MeshNode));
        put(materials.data(), materials.size() * sizeof(MaterialRecord));
        for (const std::string& t : textures) {
            char name[kTextureNameSize] = {};  // a longer name fills the field unterminated
            std::memcpy(name, t.c_str(), std::min<std::size_t>(t.size(), kTextureNameSize));
            put(name, sizeof name);
        }
        for (const GeometryBlock& g : geometries) {
            i32(g.vertexCount);
            i32(g.primitiveCount);
            i32(g.stride);
            put(&g.fvf, 4);
            i32(g.primitiveType);
            std::int32_t vb = g.vb == -100 ? static_cast<std::int32_t>(std::int64_t{g.vertexCount} * g.stride) : g.vb;
            i32(vb);
            const std::int32_t data = static_cast<std::int32_t>(std::max<std::int64_t>(0, std::min<std::int64_t>(vb, std::int64_t{g.vertexCount} * g.stride)));
            for (std::int32_t b = 0; b < data; ++b) out.push_back(static_cast<std::uint8_t>(b * 7 + 1));
            std::int32_t ib = g.ib == -100 ? static_cast<std::int32_t>(g.indices.size() * 2) : g.ib;
            i32(ib);
            put(g.indices.data(), std::min<std::size_t>(ib, g.indices.size() * 2));
        }
        return out;
    }
};

// Scene_Root with two children, Hips (carrying a mesh node) and Legs2; one material with a
// texture; one triangle.
inline GmfBuilder SmallModel() {
    GmfBuilder b;
    b.frames = {Frame("Scene_Root", -1, 0, -1, 1), Frame("Hips", 0, 1, 2, -1), Frame("Legs2")};
    b.nodes = {Node("Body", 0, 0)};
    b.materials = {Material("Skin", 0)};
    b.textures = {"skin.bmp"};
    b.geometries = {GeometryBlock{}};
    return b;
}

// A chain of `depth` frames, each the only child of the one before; the deepest carries the one
// mesh node.
inline GmfBuilder DeepChain(std::int32_t depth) {
    GmfBuilder b;
    for (std::int32_t i = 0; i < depth; ++i)
        b.frames.push_back(Frame(("F" + std::to_string(i)).c_str(), i + 1 == depth ? 0 : -1, i + 1 == depth ? 1 : 0, -1,
                                 i + 1 == depth ? -1 : i + 1));
    b.nodes = {Node("Tip", 0, -1)};
    b.geometries = {GeometryBlock{}};
    return b;
}

}  // namespace ms::test
