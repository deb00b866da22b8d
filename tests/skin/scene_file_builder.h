#pragma once
// Builds skin and scene file bytes chunk by chunk, independently of the writer under test.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "render/scene.h"

namespace ms::test {

struct SceneFileBuilder {
    std::vector<std::uint8_t> bytes;

    SceneFileBuilder() {
        Put("KORVENSTAHL_SCENE", 17);
        U32(0x3F800000u);  // version 1.0
    }

    void Put(const void* data, std::size_t n) {
        auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + n);
    }
    void U32(std::uint32_t v) { Put(&v, 4); }

    // A chunk of fixed-size records with the size field a writer gives.
    template <typename T>
    SceneFileBuilder& Records(std::uint32_t type, const std::vector<T>& items) {
        U32(type);
        U32(static_cast<std::uint32_t>(4 + items.size() * sizeof(T)));
        U32(static_cast<std::uint32_t>(items.size()));
        Put(items.data(), items.size() * sizeof(T));
        return *this;
    }
    SceneFileBuilder& Names(const std::vector<std::string>& names) {
        std::uint32_t size = 4;
        for (const std::string& n : names) size += 4 + static_cast<std::uint32_t>(n.size());
        U32(3);
        U32(size);
        U32(static_cast<std::uint32_t>(names.size()));
        for (const std::string& n : names) {
            U32(static_cast<std::uint32_t>(n.size()));
            Put(n.data(), n.size());
        }
        return *this;
    }
    SceneFileBuilder& Entries(const std::vector<std::pair<std::string, std::uint32_t>>& entries) {
        std::uint32_t size = 4;
        for (const auto& e : entries) size += 8 + static_cast<std::uint32_t>(e.first.size());
        U32(6);
        U32(size);
        U32(static_cast<std::uint32_t>(entries.size()));
        for (const auto& [name, start] : entries) {
            U32(start);
            U32(static_cast<std::uint32_t>(name.size()));
            Put(name.data(), name.size());
        }
        return *this;
    }
    SceneFileBuilder& End() {
        U32(10);
        U32(0);
        return *this;
    }
    SceneFileBuilder& States(const std::vector<BoneState>& states) {
        Put(states.data(), states.size() * sizeof(BoneState));
        return *this;
    }
};

inline D3DXMATRIX TranslationMatrix(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

// The parts of a small scene: one triangle of three 12-byte vertices with its material and
// texture, a draw program "walk2" run by one draw node, and two bones (a top bone with one child
// 2 along x) holding the draw node in the top bone's mesh chain.
struct SmallScene {
    std::vector<std::uint8_t> vertices = std::vector<std::uint8_t>(36);
    std::vector<std::uint16_t> indices = {0, 1, 2};
    std::vector<GeometryRecord> geometries = {{0, 0, 3, 1, 12, 0x2, 4, 1}};
    std::vector<std::string> names = {"skin.bmp", "walk.bmp"};
    std::vector<SceneMaterial> materials;
    std::vector<std::uint32_t> words = {1, 0};  // draw, end
    std::vector<std::pair<std::string, std::uint32_t>> entries = {{"walk2", 0}};
    std::vector<DrawNode> nodes = {{-1, -1, 0, 0, 0, 100.0f}};
    std::vector<D3DXMATRIX> matrices;
    std::vector<BoneRecord> bones = {{-1, 1, 0, 1, 2, 3, 0, 0, -1}, {-1, -1, 0, 5, 6, 7, 4, -1, -1}};

    SmallScene() {
        for (std::size_t i = 0; i < vertices.size(); ++i) vertices[i] = static_cast<std::uint8_t>(i * 5 + 1);
        SceneMaterial m{};
        m.material.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
        m.material.Power = 4.0f;
        for (auto& t : m.texture) t = -1;
        m.texture[0] = 1;
        m.stageCount = 1;
        materials = {m};
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        matrices = {identity, TranslationMatrix(0, 1, 0), identity, identity,
                    identity, TranslationMatrix(2, 0, 0), identity, identity};
    }

    // Every chunk in type order; `end` adds the end chunk.
    SceneFileBuilder File(bool end = true) const {
        SceneFileBuilder b;
        b.Records(0, vertices).Records(1, indices).Records(2, geometries).Names(names).Records(4, materials);
        b.Records(5, words).Entries(entries).Records(7, nodes).Records(8, matrices).Records(9, bones);
        if (end) b.End();
        return b;
    }
};

}  // namespace ms::test
