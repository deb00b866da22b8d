// Drawing with several threads gives the picture of one thread, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/d3d8/d3d8states.h"
#include "platform/d3d8/device.h"

namespace ms {
namespace {

constexpr int kWidth = 97, kHeight = 83;  // several bands of rows, the last one short

struct MeshVertex {
    float x, y, z, nx, ny, nz, u, v;
};
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
};

// A device of `threads` threads drawing into `target`, with depth and stencil.
SoftwareDevice* MakeDevice(OffscreenTarget& target, int width, int height, int threads) {
    DeviceConfig config;
    config.target = &target;
    config.width = width;
    config.height = height;
    config.depthFormat = D3DFMT_D24S8;
    config.threads = threads;
    SoftwareDevice* device = nullptr;
    EXPECT_EQ(SoftwareDevice::Create(config, &device), D3D_OK);
    EXPECT_EQ(device->threadCount(), threads);
    return device;
}

// A lit, specular, textured sphere (more vertices than one thread processes alone) and sheet, then
// blended, fogged screen-space triangles, lines, points and a wireframe: colour and depth words.
std::vector<std::uint32_t> Draw(int threads) {
    OffscreenTarget target(kWidth, kHeight);
    SoftwareDevice* device = MakeDevice(target, kWidth, kHeight, threads);

    std::vector<MeshVertex> sphere;
    std::vector<std::uint16_t> indices;
    constexpr int kStacks = 24, kSlices = 40;
    for (int j = 0; j <= kStacks; ++j)
        for (int i = 0; i <= kSlices; ++i) {
            const float theta = 3.14159f * j / kStacks, phi = 6.28318f * i / kSlices;
            const float x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = std::sin(theta) * std::sin(phi);
            sphere.push_back({x, y, z, x, y, z, 3.0f * i / kSlices, 2.0f * j / kStacks});
        }
    for (int j = 0; j < kStacks; ++j)
        for (int i = 0; i < kSlices; ++i) {
            const auto a = static_cast<std::uint16_t>(j * (kSlices + 1) + i), b = static_cast<std::uint16_t>(a + 1);
            const auto c = static_cast<std::uint16_t>(a + kSlices + 1), d = static_cast<std::uint16_t>(c + 1);
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
    IDirect3DTexture8* texture = nullptr;
    device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    D3DLOCKED_RECT r;
    texture->LockRect(0, &r, nullptr, 0);
    std::mt19937 random(5);
    for (int k = 0; k < 64; ++k) static_cast<std::uint32_t*>(r.pBits)[k] = random();
    texture->UnlockRect(0);

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF102030, 1.0f, 0);
    device->BeginScene();
    D3DMATRIX view{}, projection{};
    view._11 = view._22 = view._33 = view._44 = 1.0f;
    view._43 = 2.2f;
    projection._11 = 1.0f;
    projection._22 = 1.2f;
    projection._33 = 1.0f;
    projection._34 = 1.0f;
    projection._43 = -0.5f;
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = light.Specular = {0.8f, 0.7f, 0.6f, 1.0f};
    light.Direction = {-0.4f, -0.5f, 0.7f};
    device->SetLight(0, &light);
    device->LightEnable(0, 1);
    D3DMATERIAL8 material{};
    material.Diffuse = material.Ambient = {0.9f, 0.9f, 0.9f, 1.0f};
    material.Specular = {0.3f, 0.3f, 0.3f, 1.0f};
    material.Power = 20.0f;
    device->SetMaterial(&material);
    device->SetRenderState(D3DRS_SPECULARENABLE, 1);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    // First in a viewport whose edges fall inside the bands of rows the threads share out, as
    // a wireframe, then whole.
    const D3DVIEWPORT8 inner{7, 21, kWidth - 30, kHeight - 40, 0.0f, 1.0f}, whole{0, 0, kWidth, kHeight, 0.0f, 1.0f};
    device->SetViewport(&inner);
    for (DWORD fill : {D3DFILL_SOLID, D3DFILL_WIREFRAME}) {
        device->SetRenderState(D3DRS_FILLMODE, fill);
        device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(sphere.size()),
                                       static_cast<UINT>(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                       sphere.data(), sizeof(MeshVertex));
    }
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetViewport(&whole);
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(sphere.size()),
                                   static_cast<UINT>(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                   sphere.data(), sizeof(MeshVertex));

    // A dense sheet through the near plane and past the sides, in more chunks than one, its
    // quads alternately facing away.
    constexpr int kColumns = 140, kRows = 70;
    std::vector<MeshVertex> sheet;
    std::vector<std::uint32_t> sheetIndices;
    for (int j = 0; j <= kRows; ++j)
        for (int i = 0; i <= kColumns; ++i) {
            const float s = static_cast<float>(i) / kColumns, t = static_cast<float>(j) / kRows;
            sheet.push_back({-3.0f + 6.0f * s, 0.4f - 2.5f * t, -2.0f + 3.0f * t, 0, 0.77f, -0.64f, 5 * s, 3 * t});
        }
    for (int j = 0; j < kRows; ++j)
        for (int i = 0; i < kColumns; ++i) {
            const auto a = static_cast<std::uint32_t>(j * (kColumns + 1) + i), b = a + 1, c = a + kColumns + 1;
            if ((i + j) % 3 == 0)
                sheetIndices.insert(sheetIndices.end(), {a, b, c, b, c + 1, c});
            else
                sheetIndices.insert(sheetIndices.end(), {a, c, b, b, c, c + 1});
        }
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(sheet.size()),
                                   static_cast<UINT>(sheetIndices.size() / 3), sheetIndices.data(), D3DFMT_INDEX32,
                                   sheet.data(), sizeof(MeshVertex));

    device->SetTexture(0, nullptr);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_FOGENABLE, 1);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF808000);
    std::uniform_real_distribution<float> x(-20.0f, kWidth + 20.0f), y(-20.0f, kHeight + 20.0f), unit(0.0f, 1.0f);
    std::vector<ScreenVertex> screen;
    for (int k = 0; k < 120; ++k)
        screen.push_back({x(random), y(random), unit(random), 0.5f + unit(random), static_cast<D3DCOLOR>(random())});
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 10, screen.data(), sizeof(ScreenVertex));
    device->SetRenderState(D3DRS_FOGENABLE, 0);
    device->DrawPrimitiveUP(D3DPT_LINELIST, 20, screen.data() + 30, sizeof(ScreenVertex));
    device->SetRenderState(D3DRS_POINTSIZE, 0x40400000);  // 3.0f
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 20, screen.data() + 70, sizeof(ScreenVertex));
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 20, screen.data() + 90, sizeof(ScreenVertex));
    device->EndScene();

    std::vector<std::uint32_t> words;
    for (int py = 0; py < kHeight; ++py)
        for (int px = 0; px < kWidth; ++px) {
            words.push_back(device->Pixel(px, py));
            words.push_back(device->DepthStencil(px, py));
        }
    texture->Release();
    device->Release();
    return words;
}

TEST(Threads, EveryThreadCountDrawsTheSamePicture) {
    const std::vector<std::uint32_t> one = Draw(1);
    int covered = 0;
    for (std::size_t k = 0; k < one.size(); k += 2) covered += one[k] != 0xFF102030u;
    EXPECT_GT(covered, kWidth * kHeight / 2);
    for (int threads : {2, 3, 8}) EXPECT_TRUE(Draw(threads) == one) << threads << " threads";
}

// Clears large enough to be shared among the threads: the viewport, then rectangles within it
// (one reaching outside), each with its own buffers; colour and depth words.
constexpr int kClearWidth = 331, kClearHeight = 257;

std::vector<std::uint32_t> Clears(int threads) {
    OffscreenTarget target(kClearWidth, kClearHeight);
    SoftwareDevice* device = MakeDevice(target, kClearWidth, kClearHeight, threads);
    const D3DVIEWPORT8 viewport{3, 5, 320, 240, 0.0f, 1.0f};
    device->SetViewport(&viewport);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF102030, 0.5f, 7),
              D3D_OK);
    const D3DRECT rects[] = {{10, 20, 300, 250}, {-50, 100, 400, 400}};
    EXPECT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0xFFA0B0C0, 1.0f, 9), D3D_OK);
    std::vector<std::uint32_t> words;
    for (int py = 0; py < kClearHeight; ++py)
        for (int px = 0; px < kClearWidth; ++px) {
            words.push_back(device->Pixel(px, py));
            words.push_back(device->DepthStencil(px, py));
        }
    device->Release();
    return words;
}

TEST(Threads, LargeClearsFillTheSamePixelsOnEveryThreadCount) {
    const std::vector<std::uint32_t> one = Clears(1);
    auto colour = [&](int x, int y) { return one[2 * (static_cast<std::size_t>(y) * kClearWidth + x)]; };
    auto stencil = [&](int x, int y) { return one[2 * (static_cast<std::size_t>(y) * kClearWidth + x) + 1] & 0xFFu; };
    EXPECT_NE(colour(4, 4), 0xFF102030u);    // outside the viewport: untouched
    EXPECT_EQ(colour(5, 6), 0xFF102030u);    // the viewport
    EXPECT_EQ(colour(100, 150), 0xFFA0B0C0u);  // a rectangle
    EXPECT_EQ(stencil(100, 150), 9u);
    for (int threads : {2, 3}) EXPECT_TRUE(Clears(threads) == one) << threads << " threads";
}

}  // namespace
}  // namespace ms
