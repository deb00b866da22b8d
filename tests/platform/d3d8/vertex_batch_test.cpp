// The vertex stage 4 and 8 vertices at a time gives the bits of the one-at-a-time stage.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d8/d3d8states.h"
#include "platform/d3d8/vertex_batch.h"

namespace ms {
namespace {

struct In {
    float x, y, z, nx, ny, nz, u, v;
};

// Ordinary vertices around the view, and the awkward ones: behind the eye, beyond the guard
// band, on the edge of the grid, zero and unnormalised normals, numbers that are not finite.
std::vector<In> Vertices() {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<In> v;
    for (int i = 0; i < 40; ++i) {
        const float a = 0.37f * static_cast<float>(i), b = 0.11f * static_cast<float>(i);
        v.push_back({std::sin(a), std::cos(b), 0.3f * std::sin(a + b), std::cos(a) * std::sin(b), std::sin(a),
                     -std::cos(a) * std::cos(b), 0.1f * static_cast<float>(i), -0.07f * static_cast<float>(i)});
    }
    v.push_back({0, 0, -3.5f, 0, 0, -1, 0, 0});    // behind the eye
    v.push_back({0, 0, -3.0f, 0, 0, -1, 0, 0});    // at the eye: w = 0
    v.push_back({4000, -2000, 0, 1, 0, 0, 0, 0});  // beyond the guard band
    v.push_back({30, 20, 0, 0, 1, 0, 0, 0});       // outside the view, inside the guard band
    v.push_back({0.2f, 0.1f, 0, 0, 0, 0, 0, 0});   // zero normal
    v.push_back({0.1f, 0.2f, 0, 3, -4, 12, 2, 3});  // unnormalised normal
    v.push_back({nan, 0, 0, 0, 0, -1, 0, 0});
    v.push_back({0, inf, 0, 0, 0, -1, 0, 0});
    v.push_back({0, 0, 0, nan, 0, -1, 0, 0});
    v.push_back({1e30f, 1e30f, 0, 0, 0, -1, 0, 0});
    v.push_back({0, 0, 1e-30f, 0, -inf, 0, inf, nan});
    return v;
}

struct Case {
    const char* name;
    bool localViewer, normalize, specular;
    int lights;
    DWORD fvf;
};

class VertexBatches : public ::testing::TestWithParam<Case> {};

bool SameBits(const float* a, const float* b, int n) { return std::memcmp(a, b, 4 * static_cast<std::size_t>(n)) == 0; }

void ExpectSame(const OutVertex& b, const OutVertex& o, int attrs, bool wide, UINT i) {
    SCOPED_TRACE(::testing::Message() << "vertex " << i << (wide ? ", 8 lanes" : ", 4 lanes"));
    EXPECT_TRUE(SameBits(&b.x, &o.x, 4));
    EXPECT_EQ(b.clip, o.clip);
    EXPECT_EQ(b.view, o.view);
    if (o.clip == 0) {
        EXPECT_TRUE(SameBits(&b.sx, &o.sx, 4));
        EXPECT_EQ(b.offGrid, o.offGrid);
        EXPECT_EQ(b.gridX, o.gridX);
        EXPECT_EQ(b.gridY, o.gridY);
    }
    EXPECT_TRUE(SameBits(b.attr, o.attr, attrs));
    EXPECT_TRUE(SameBits(&b.psize, &o.psize, 1));
}

TEST_P(VertexBatches, GiveTheBitsOfOneVertexAtATime) {
    const Case& c = GetParam();
    D3DMATRIX world{}, view{};
    world.m[0][0] = 1.1f, world.m[0][1] = 0.2f, world.m[1][1] = 0.9f, world.m[2][2] = 1.3f, world.m[3][3] = 1.0f;
    world.m[1][0] = -0.3f, world.m[3][0] = 0.05f, world.m[3][1] = -0.1f;
    view.m[0][0] = view.m[1][1] = view.m[2][2] = view.m[3][3] = 1.0f;
    view.m[3][2] = 3.0f;
    std::vector<D3DMATRIX> worlds(256, world);
    MatrixPalette palette;
    palette.Begin(worlds.data(), &view);

    VertexSetup s;
    ASSERT_TRUE(DecodeFvf(c.fvf, &s.layout));
    s.palette = &palette;
    const float projection[4][4] = {{1.8f, 0, 0, 0}, {0, 2.4f, 0, 0}, {0, 0, 1.001f, 1}, {0, 0, -0.1001f, 0}};
    std::memcpy(s.projection, projection, sizeof projection);
    s.screen = {0, 0, 445.5f, 326.5f, 0, 1, 1 + 16384 / 445.5f, 1 + 16384 / 326.5f, true};
    s.lighting = true;
    s.localViewer = c.localViewer;
    s.normalizeNormals = c.normalize;
    s.specularLighting = c.specular;
    s.material.Diffuse = {0.9f, 0.8f, 0.7f, 0.6f};
    s.material.Ambient = {0.5f, 0.6f, 0.7f, 1};
    s.material.Specular = {0.3f, 0.3f, 0.4f, 2};
    s.material.Emissive = {0.05f, 0, 0.1f, 0};
    s.material.Power = 20;
    s.globalAmbient = {0.1f, 0.2f, 0.05f, 0};
    std::vector<LightSetup> lights(2, LightSetup{});
    const float toLight[2][3] = {{0.57735f, 0.57735f, -0.57735f}, {0, -0.70711f, -0.70711f}};
    for (int l = 0; l < 2; ++l) {
        const float f = static_cast<float>(l);
        lights[l].type = D3DLIGHT_DIRECTIONAL;
        lights[l].diffuse = {0.65f - 0.25f * f, 0.6f - 0.15f * f, 0.7f - 0.4f * f, 1};
        lights[l].specular = {0.9f - 0.4f * f, 0.9f - 0.3f * f, 1 - 0.5f * f, 1};
        lights[l].ambient = {0.25f - 0.15f * f, 0.2f - 0.1f * f, 0.3f - 0.2f * f, 1};
        std::memcpy(lights[l].toLight, toLight[l], 12);
    }
    s.lights = std::span<const LightSetup>(lights.data(), static_cast<std::size_t>(c.lights));
    int attr = 4;
    if (c.specular) s.specularAttr = std::exchange(attr, attr + 4);
    for (int set : {0, 1}) {  // set 1 is missing from layouts with one set
        TexCoordOutput& t = s.tex[s.texOutputs++];
        t = TexCoordOutput{};
        t.attr = std::exchange(attr, attr + 2);
        t.set = set;
    }
    ASSERT_TRUE(CanBatchVertices(s));

    // The vertices in the layout's form: position, normal, then the first texture set.
    const std::vector<In> in = Vertices();
    const int stride = s.layout.stride;
    std::vector<std::uint8_t> data(in.size() * static_cast<std::size_t>(stride));
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::uint8_t* p = data.data() + i * static_cast<std::size_t>(stride);
        std::memcpy(p, &in[i].x, 24);
        if (s.layout.texCount > 0) std::memcpy(p + s.layout.texOffset[0], &in[i].u, 4 * s.layout.texSize[0]);
    }
    const auto count = static_cast<UINT>(in.size());
    std::vector<OutVertex> single(count);
    for (UINT i = 0; i < count; ++i) ProcessVertices(s, data.data(), static_cast<UINT>(stride), i, 1, &single[i]);
    for (bool wide : {false, true}) {
        s.wideLanes = wide;
        std::vector<OutVertex> batched(count);
        ProcessVertices(s, data.data(), static_cast<UINT>(stride), 0, count, batched.data());
        for (UINT i = 0; i < count; ++i) ExpectSame(batched[i], single[i], attr, wide, i);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SetUps, VertexBatches,
    ::testing::Values(Case{"LitTexturedWithSpecular", true, true, true, 2, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1},
                      Case{"InfiniteViewer", false, true, true, 2, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1},
                      Case{"NormalsAsGiven", true, false, true, 1, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1},
                      Case{"DiffuseOnly", true, true, false, 2, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1},
                      Case{"NoLights", true, true, true, 0, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1},
                      Case{"OneCoordinateSet", true, true, true, 2,
                           D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0)},
                      Case{"NoTextureSet", true, true, true, 2, D3DFVF_XYZ | D3DFVF_NORMAL}),
    [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ms
