#pragma once
// A Scene drawn by the software device into an off-screen target, every device call traced, and
// helpers that append geometry, draw nodes and programs to the Scene as files and Connect do.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/d3d8/d3d8states.h"
#include "platform/d3d8/present_target.h"
#include "platform/d3d8/trace_device.h"
#include "render/frame.h"
#include "render/scene.h"
#include "skin/bones.h"

namespace ms::test {

struct Vertex {
    float x, y, z, nx, ny, nz;
};

class DrawFixture : public ::testing::Test {
protected:
    explicit DrawFixture(int width = 160, int height = 120) : target(width, height) {
        DevicePtr device = CreateViewportDevice(&target);
        EXPECT_TRUE(device);
        trace = TraceDevice::Create(device.get());
        SetUpSceneDevice(scene, trace);
        trace->TakeLines();
    }
    ~DrawFixture() override {
        scene.Clear();
        trace->Release();
    }

    // A top bone at `position` with the given length, its state set up as Load Sceleton does.
    std::int32_t AddTopBone(float x, float y, float z) {
        D3DXMATRIX local;
        D3DXMatrixTranslation(&local, x, y, z);
        std::int32_t b = AddBone(scene, -1, local);
        GrowBoneStates(scene);
        SetUpHierarchy(scene, b, 1.0f);
        UpdatePose(scene, b, *D3DXMatrixIdentity(&local));
        return b;
    }

    // Appends an indexed triangle-list geometry and returns its index.
    std::int32_t AddGeometry(const std::vector<Vertex>& vertices, const std::vector<std::uint16_t>& indices) {
        GeometryRecord g{};
        g.vertexOffset = static_cast<std::uint32_t>(scene.vertexPool.size());
        g.firstIndex = static_cast<std::uint32_t>(scene.indexPool.size());
        g.vertexCount = static_cast<std::uint32_t>(vertices.size());
        g.primitiveCount = static_cast<std::uint32_t>(indices.size() / 3);
        g.stride = sizeof(Vertex);
        g.fvf = D3DFVF_XYZ | D3DFVF_NORMAL;
        g.primitiveType = D3DPT_TRIANGLELIST;
        g.indexed = 1;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(vertices.data());
        scene.vertexPool.insert(scene.vertexPool.end(), bytes, bytes + vertices.size() * sizeof(Vertex));
        scene.indexPool.insert(scene.indexPool.end(), indices.begin(), indices.end());
        scene.geometries.push_back(g);
        return static_cast<std::int32_t>(scene.geometries.size() - 1);
    }

    std::int32_t AddMaterial(float r, float g, float b) {
        SceneMaterial m{};
        m.material.Diffuse = m.material.Ambient = {r, g, b, 1.0f};
        for (auto& t : m.texture) t = -1;
        scene.materials.push_back(m);
        return static_cast<std::int32_t>(scene.materials.size() - 1);
    }

    std::int32_t AddNode(std::int32_t geometry, std::int32_t material, std::int32_t program, float threshold,
                         std::int32_t nextDrawn = -1, std::int32_t nextSkipped = -1) {
        scene.drawNodes.push_back({nextDrawn, nextSkipped, geometry, material, program, threshold});
        return static_cast<std::int32_t>(scene.drawNodes.size() - 1);
    }

    std::int32_t AddProgram(const std::string& name, const std::vector<std::uint32_t>& words) {
        scene.entryPoints.push_back({name, static_cast<std::uint32_t>(scene.programWords.size())});
        scene.programWords.insert(scene.programWords.end(), words.begin(), words.end());
        return static_cast<std::int32_t>(scene.entryPoints.size() - 1);
    }

    // The traced lines that start with `prefix`.
    static std::vector<std::string> Lines(const std::vector<std::string>& lines, const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& l : lines)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

    OffscreenTarget target;
    TraceDevice* trace = nullptr;
    Scene scene;
    Model model;
};

// An axis-aligned box as 12 triangles wound clockwise seen from outside.
std::vector<Vertex> BoxVertices(float x0, float y0, float z0, float x1, float y1, float z1);
std::vector<std::uint16_t> BoxIndices();

}  // namespace ms::test
