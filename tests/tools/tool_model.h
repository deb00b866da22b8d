#pragma once
// Models for the tools' tests, loaded from GMF bytes built field by field.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "model/gmf_builder.h"
#include "model/model.h"
#include "support/temp_dir.h"

namespace ms::test {

inline void LoadInto(Model& model, const GmfBuilder& builder) {
    TempDir dir;
    const std::string path = dir.Path("model.gmf");
    WriteFileBytes(path, builder.Bytes());
    ASSERT_TRUE(model.LoadGmf(path));
}

// A geometry of `words.size() * 4 / stride` vertices whose bytes are `words`.
inline void SetVertexWords(Model& model, std::int32_t geometry, const std::vector<std::uint32_t>& words) {
    MeshGeometry* g = model.Geometry(geometry);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->vertices.size(), words.size() * 4);
    std::memcpy(g->vertices.data(), words.data(), g->vertices.size());
}

inline std::vector<std::uint32_t> VertexWords(const Model& model, std::int32_t geometry) {
    const MeshGeometry* g = model.Geometry(geometry);
    std::vector<std::uint32_t> words(g->vertices.size() / 4);
    std::memcpy(words.data(), g->vertices.data(), words.size() * 4);
    return words;
}

inline std::uint32_t FloatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// Mesh nodes: 0 on a 3-vertex XYZ|NORMAL|DIFFUSE geometry (0x052, 28 bytes) with material 1,
// 1 on an empty geometry, 2 on an XYZB5 geometry (0x00E, not supported), 3 on a 2-vertex
// XYZ|NORMAL|TEX1 geometry (0x112) with material -1. Five materials, two textures.
inline GmfBuilder ToolModel() {
    GmfBuilder b;
    b.frames = {Frame("Root", 0, 4)};
    b.nodes = {Node("Body", 0, 1), Node("Empty", 1, 0), Node("Odd", 2, 0), Node("Plain", 3, -1)};
    for (const char* name : {"M0", "M1", "M2", "M3", "M4"}) b.materials.push_back(Material(name));
    b.materials[2].texture[0] = 1;
    b.textures = {"a.bmp", "b.bmp"};
    GeometryBlock mesh;
    mesh.fvf = 0x052;
    mesh.stride = 28;
    GeometryBlock empty;
    empty.vertexCount = 0;
    empty.primitiveCount = 0;
    empty.indices = {};
    GeometryBlock odd;
    odd.fvf = 0x00E;
    odd.stride = 12;
    GeometryBlock plain;
    plain.vertexCount = 2;
    plain.primitiveCount = 1;
    plain.primitiveType = 2;  // a line list
    plain.indices = {0, 1};
    b.geometries = {mesh, empty, odd, plain};
    return b;
}

}  // namespace ms::test
