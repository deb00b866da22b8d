// One frame of the software device: a lit, textured mesh of 100,000 triangles filling most of an
// 891 x 653 viewport, against the same frame with nothing drawn (clear and present) and with the
// mesh culled (vertex stage and triangle set-up only).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d8/device.h"
#include "platform/d3dx/d3dx8math.h"

namespace {

constexpr int kWidth = 891, kHeight = 653;
constexpr int kColumns = 250, kRows = 200;  // quads: 2 * 250 * 200 = 100,000 triangles
constexpr UINT kTriangles = 2 * kColumns * kRows;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};

// A wavy sheet facing the camera, with analytic normals.
struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<std::uint16_t> indices;
    Mesh() {
        for (int j = 0; j <= kRows; ++j)
            for (int i = 0; i <= kColumns; ++i) {
                const float s = static_cast<float>(i) / kColumns, t = static_cast<float>(j) / kRows;
                const float x = -1.55f + 3.1f * s, y = 1.15f - 2.3f * t;
                const float z = 0.08f * std::sin(9.0f * x) * std::cos(7.0f * y);
                const float dzdx = 0.72f * std::cos(9.0f * x) * std::cos(7.0f * y);
                const float dzdy = -0.56f * std::sin(9.0f * x) * std::sin(7.0f * y);
                const float len = std::sqrt(dzdx * dzdx + dzdy * dzdy + 1.0f);
                vertices.push_back({x, y, z, dzdx / len, dzdy / len, -1.0f / len, 4.0f * s, 3.0f * t});
            }
        for (int j = 0; j < kRows; ++j)
            for (int i = 0; i < kColumns; ++i) {
                const auto a = static_cast<std::uint16_t>(j * (kColumns + 1) + i);
                const auto b = static_cast<std::uint16_t>(a + 1), c = static_cast<std::uint16_t>(a + kColumns + 1);
                const auto d = static_cast<std::uint16_t>(c + 1);
                indices.insert(indices.end(), {a, b, c, b, d, c});  // clockwise on the screen
            }
    }
};

struct Scene {
    ms::OffscreenTarget target{kWidth, kHeight};
    DevicePtr device;
    TexturePtr texture;
    Mesh mesh;

    Scene() {
        Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = 1;
        pp.EnableAutoDepthStencil = 1;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        IDirect3DDevice8* d = nullptr;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &target, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &d);
        device.reset(d);

        IDirect3DTexture8* t = nullptr;
        device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t);
        texture.reset(t);
        D3DLOCKED_RECT r;
        texture->LockRect(0, &r, nullptr, 0);
        auto* texels = static_cast<std::uint32_t*>(r.pBits);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) texels[y * 256 + x] = ((x / 32 + y / 32) % 2) ? 0xFFE0C080u : 0xFF4060A0u;
        texture->UnlockRect(0);

        D3DXMATRIX view, projection;
        const D3DXVECTOR3 eye(0, 0, -3), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, static_cast<float>(kWidth) / kHeight, 0.1f, 100.0f);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
        for (DWORD i = 0; i < 2; ++i) {
            D3DLIGHT8 light{};
            light.Type = D3DLIGHT_DIRECTIONAL;
            light.Diffuse = {0.65f, 0.65f, 0.65f, 0};
            light.Ambient = {0.25f, 0.25f, 0.25f, 0};
            light.Direction = i == 0 ? D3DVECTOR{-0.57735f, -0.57735f, 0.57735f} : D3DVECTOR{0, 0.70711f, 0.70711f};
            light.Range = 100;
            device->SetLight(i, &light);
            device->LightEnable(i, 1);
        }
        D3DMATERIAL8 material{};
        material.Diffuse = material.Ambient = {0.9f, 0.9f, 0.9f, 1.0f};
        device->SetMaterial(&material);
        device->SetTexture(0, texture.get());
    }

    void Frame(bool draw) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF7D7DC8, 1.0f, 0);
        device->BeginScene();
        if (draw) {
            device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
            device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(mesh.vertices.size()), kTriangles,
                                           mesh.indices.data(), D3DFMT_INDEX16, mesh.vertices.data(), sizeof(Vertex));
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }

    double CoveredPixels() const {
        int n = 0;
        for (std::uint32_t p : target.pixels()) n += p != 0xFF7D7DC8u;
        return n;
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_ClearAndPresent(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) s.Frame(false);
}
BENCHMARK(BM_ClearAndPresent)->Unit(benchmark::kMillisecond);

void BM_MeshCulled(benchmark::State& state) {
    Scene& s = TheScene();
    s.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);  // every triangle of the sheet faces the camera
    for (auto _ : state) s.Frame(true);
    s.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    state.counters["triangles/s"] = benchmark::Counter(kTriangles, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MeshCulled)->Unit(benchmark::kMillisecond);

void BM_LitTexturedMesh(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) s.Frame(true);
    state.counters["triangles/s"] = benchmark::Counter(kTriangles, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels/s"] = benchmark::Counter(s.CoveredPixels(), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["coverage"] = s.CoveredPixels() / (kWidth * kHeight);
}
BENCHMARK(BM_LitTexturedMesh)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
