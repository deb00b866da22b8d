// Device creation, state, clearing, presenting and the calls the device refuses.
#include <cstring>
#include <memory>

#include "device_fixture.h"
#include "platform/d3d8/fvf.h"

namespace ms {
namespace {

using test::DeviceTest;
using test::RhwVertex;

D3DPRESENT_PARAMETERS WindowedParams() {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = 1;
    pp.EnableAutoDepthStencil = 1;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    return pp;
}

TEST(Direct3D, OnlySdkVersion220MakesTheObject) {
    EXPECT_EQ(Direct3DCreate8(219), nullptr);
    Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
    ASSERT_NE(d3d, nullptr);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_LT(d3d->GetAdapterDisplayMode(1, &mode), 0);
}

TEST(Direct3D, CreateDeviceAcceptsTheDeviceTypesAndOneVertexProcessingFlag) {
    struct Case {
        D3DDEVTYPE type;
        DWORD flags;
        bool ok;
    };
    const Case cases[] = {
        {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, true},
        {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, true},
        {D3DDEVTYPE_HAL, D3DCREATE_MIXED_VERTEXPROCESSING, true},
        {D3DDEVTYPE_SW, D3DCREATE_SOFTWARE_VERTEXPROCESSING, true},
        {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, true},
        {D3DDEVTYPE_HAL, 0, false},
        {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING, false},
        {4, D3DCREATE_SOFTWARE_VERTEXPROCESSING, false},
    };
    Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
    OffscreenTarget window(40, 30);
    for (const Case& c : cases) {
        D3DPRESENT_PARAMETERS pp = WindowedParams();
        IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(&pp);  // must be overwritten
        const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, c.type, &window, c.flags, &pp, &device);
        EXPECT_EQ(SUCCEEDED(hr), c.ok) << c.type << " " << c.flags;
        EXPECT_EQ(device != nullptr, c.ok);
        DevicePtr owned(device);
    }
}

TEST(Direct3D, ZeroBackBufferSizeTakesTheWindowsClientArea) {
    Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
    OffscreenTarget window(40, 30);
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    IDirect3DDevice8* raw = nullptr;
    ASSERT_EQ(
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &raw),
        D3D_OK);
    DevicePtr device(raw);
    EXPECT_EQ(pp.BackBufferWidth, 40u);
    EXPECT_EQ(pp.BackBufferHeight, 30u);
    D3DVIEWPORT8 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 40u);
    EXPECT_EQ(vp.Height, 30u);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    // Present delivers the back buffer to the window; an X8R8G8B8 buffer reads opaque.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x007D7DC8, 1.0f, 0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(window.presentCount(), 1);
    EXPECT_EQ(window.frameWidth(), 40);
    EXPECT_EQ(window.Pixel(39, 29), 0xFF7D7DC8u);
    int dummy = 0;
    EXPECT_LT(device->Present(&dummy, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(window.presentCount(), 1);
}

TEST(Direct3D, CreateDeviceRefusesWhatItCannotServe) {
    Direct3DPtr d3d(Direct3DCreate8(D3D_SDK_VERSION));
    OffscreenTarget window(8, 8);
    auto attempt = [&](void (*change)(D3DPRESENT_PARAMETERS&), HWND focus) {
        D3DPRESENT_PARAMETERS pp = WindowedParams();
        change(pp);
        IDirect3DDevice8* device = nullptr;
        const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, focus,
                                             D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
        DevicePtr owned(device);
        return hr;
    };
    EXPECT_EQ(attempt([](D3DPRESENT_PARAMETERS&) {}, &window), D3D_OK);
    EXPECT_LT(attempt([](D3DPRESENT_PARAMETERS&) {}, nullptr), 0);  // no window at all
    EXPECT_LT(attempt([](D3DPRESENT_PARAMETERS& p) { p.Windowed = 0; }, &window), 0);
    EXPECT_LT(attempt([](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_D32; }, &window), 0);
    EXPECT_LT(attempt([](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_R5G6B5; }, &window), 0);
    EXPECT_LT(attempt([](D3DPRESENT_PARAMETERS& p) { p.BackBufferWidth = 20000; }, &window), 0);
}

class Device : public DeviceTest {};

// Every render state and texture stage state of a new device.
TEST_F(Device, StatesStartAtTheirDefaults) {
    struct Row {
        DWORD state, value;
    };
    // clang-format off
    const Row renderStates[] = {
        {7, 1},   {8, 3},   {9, 2},   {10, 0},  {14, 1},  {15, 0},  {16, 1},  {19, 2},  {20, 1},  {22, 3},
        {23, 4},  {24, 0},  {25, 8},  {26, 0},  {27, 0},  {28, 0},  {29, 0},  {30, 0},  {34, 0},  {35, 0},
        {36, 0},  {37, 0x3F800000}, {38, 0x3F800000}, {40, 0}, {47, 0}, {48, 0}, {52, 0}, {53, 1}, {54, 1},
        {55, 1},  {56, 8},  {57, 0},  {58, 0xFFFFFFFF}, {59, 0xFFFFFFFF}, {60, 0xFFFFFFFF}, {128, 0}, {135, 0},
        {136, 1}, {137, 1}, {139, 0}, {140, 0}, {141, 1}, {142, 1}, {143, 0}, {145, 1}, {146, 2}, {147, 0},
        {148, 0}, {151, 0}, {152, 0}, {154, 0x3F800000}, {155, 0x3F800000}, {156, 0}, {157, 0},
        {158, 0x3F800000}, {159, 0}, {160, 0}, {161, 1}, {162, 0xFFFFFFFF}, {163, 0}, {165, 0},
        {166, 0x42800000}, {167, 0}, {168, 0xF}, {170, 0}, {171, 1}, {172, 3}, {173, 1},
    };
    // clang-format on
    for (const Row& r : renderStates) {
        DWORD v = 0xDEADBEEF;
        ASSERT_EQ(device_->GetRenderState(r.state, &v), D3D_OK) << r.state;
        EXPECT_EQ(v, r.value) << "render state " << r.state;
    }
    const Row stage0[] = {{1, 4},  {2, 2},  {3, 1},  {4, 2},  {5, 2},  {6, 1},  {7, 0},  {11, 0},
                          {13, 1}, {14, 1}, {15, 0}, {16, 1}, {17, 1}, {18, 0}, {19, 0}, {20, 0},
                          {21, 1}, {24, 0}, {25, 1}, {26, 1}, {27, 1}, {28, 1}};
    for (DWORD stage = 0; stage < 8; ++stage)
        for (const Row& r : stage0) {
            DWORD expected = r.value;
            if (stage > 0 && (r.state == D3DTSS_COLOROP || r.state == D3DTSS_ALPHAOP)) expected = D3DTOP_DISABLE;
            if (r.state == D3DTSS_TEXCOORDINDEX) expected = stage;
            DWORD v = 0xDEADBEEF;
            ASSERT_EQ(device_->GetTextureStageState(stage, r.state, &v), D3D_OK);
            EXPECT_EQ(v, expected) << "stage " << stage << " state " << r.state;
        }
    DWORD fvf = 0;
    device_->GetVertexShader(&fvf);
    EXPECT_EQ(fvf, D3DFVF_XYZ);
}

class DeviceWithoutDepth : public DeviceTest {
protected:
    DeviceWithoutDepth() : DeviceTest(8, 8, D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN) {}
};

TEST_F(DeviceWithoutDepth, StartsWithDepthTestOffAndRefusesDepthClears) {
    DWORD z = 7;
    device_->GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, D3DZB_FALSE);
    EXPECT_LT(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), 0);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
}

TEST_F(Device, StateNumbersOutsideDirect3D8AreRefusedAndChangeNothing) {
    EXPECT_LT(device_->SetRenderState(1, 5), 0);
    EXPECT_LT(device_->SetRenderState(174, 5), 0);
    EXPECT_LT(device_->SetRenderState(0xFFFFFFFF, 5), 0);
    DWORD v = 0;
    EXPECT_LT(device_->GetRenderState(174, &v), 0);
    EXPECT_LT(device_->SetTextureStageState(8, D3DTSS_COLOROP, 1), 0);
    EXPECT_LT(device_->SetTextureStageState(0, 12, 1), 0);
    EXPECT_LT(device_->SetTextureStageState(0, 29, 1), 0);
    // Any value of a known state is kept as it is.
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, 77), D3D_OK);
    device_->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, 77u);
}

TEST_F(Device, TransformsOfEveryWorldMatrixSlot) {
    D3DMATRIX m{};
    m._41 = 3.0f;
    for (D3DTRANSFORMSTATETYPE t :
         {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE7, D3DTS_WORLD, D3DTS_WORLDMATRIX(255)}) {
        ASSERT_EQ(device_->SetTransform(t, &m), D3D_OK) << t;
        D3DMATRIX back{};
        ASSERT_EQ(device_->GetTransform(t, &back), D3D_OK);
        EXPECT_EQ(std::memcmp(&back, &m, sizeof m), 0);
    }
    EXPECT_LT(device_->SetTransform(D3DTS_WORLDMATRIX(256), &m), 0);
    EXPECT_LT(device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(1), &m), 0);
    EXPECT_LT(device_->SetTransform(D3DTS_VIEW, nullptr), 0);
}

TEST_F(Device, LightsAreCheckedKeptAndEnabled) {
    D3DLIGHT8 light{};
    EXPECT_LT(device_->GetLight(0, &light), 0);  // never set
    BOOL on = 5;
    EXPECT_LT(device_->GetLightEnable(0, &on), 0);

    light.Type = D3DLIGHT_POINT;
    light.Range = 10.0f;
    EXPECT_LT(device_->SetLight(0, &light), 0);  // all attenuations 0
    light.Attenuation1 = 1.0f;
    ASSERT_EQ(device_->SetLight(0, &light), D3D_OK);
    D3DLIGHT8 spot = light;
    spot.Type = D3DLIGHT_SPOT;
    spot.Direction = {0, 0, 1};
    spot.Theta = 1.0f;
    spot.Phi = 0.5f;  // theta above phi
    EXPECT_LT(device_->SetLight(1, &spot), 0);
    D3DLIGHT8 bad = light;
    bad.Type = static_cast<D3DLIGHTTYPE>(4);
    EXPECT_LT(device_->SetLight(0, &bad), 0);
    D3DLIGHT8 back{};
    ASSERT_EQ(device_->GetLight(0, &back), D3D_OK);
    EXPECT_EQ(back.Type, D3DLIGHT_POINT);  // the refused call changed nothing

    ASSERT_EQ(device_->GetLightEnable(0, &on), D3D_OK);
    EXPECT_EQ(on, 0);
    // Enabling a light that was never set makes the default light.
    ASSERT_EQ(device_->LightEnable(9, 1), D3D_OK);
    ASSERT_EQ(device_->GetLight(9, &back), D3D_OK);
    EXPECT_EQ(back.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(back.Diffuse.r, 1.0f);
    EXPECT_EQ(back.Direction.z, 1.0f);
    ASSERT_EQ(device_->GetLightEnable(9, &on), D3D_OK);
    EXPECT_NE(on, 0);
}

TEST_F(Device, ClearIsLimitedToTheViewportAndTheRectangles) {
    ASSERT_EQ(
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 0.5f, 0x1FF),
        D3D_OK);
    EXPECT_EQ(device_->DepthStencil(3, 3), (0x800000u << 8) | 0xFFu);  // stencil keeps its low 8 bits
    const D3DVIEWPORT8 vp{2, 2, 8, 8, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
    const D3DRECT rects[] = {{0, 0, 4, 4}, {9, 9, 20, 20}};
    ASSERT_EQ(device_->Clear(2, rects, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0xFFFFFFFF, 0.0f, 7), D3D_OK);
    EXPECT_EQ(device_->Pixel(1, 1), 0xFF000000u);  // in the rectangle, outside the viewport
    EXPECT_EQ(device_->Pixel(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(device_->Pixel(3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(device_->Pixel(4, 4), 0xFF000000u);
    EXPECT_EQ(device_->Pixel(9, 9), 0xFFFFFFFFu);
    EXPECT_EQ(device_->Pixel(10, 10), 0xFF000000u);                 // beyond the viewport
    EXPECT_EQ(device_->DepthStencil(3, 3), (0x800000u << 8) | 7u);  // depth kept, stencil cleared

    EXPECT_LT(device_->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), 0);
    EXPECT_LT(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), 0);
    EXPECT_LT(device_->Clear(0, nullptr, 8, 0, 1.0f, 0), 0);
    const D3DVIEWPORT8 outside{10, 10, 8, 8, 0.0f, 1.0f};
    EXPECT_LT(device_->SetViewport(&outside), 0);
    const D3DVIEWPORT8 depthRange{0, 0, 8, 8, 0.8f, 0.2f};
    EXPECT_LT(device_->SetViewport(&depthRange), 0);
}

TEST_F(Device, DrawsOnlyBetweenBeginAndEndScene) {
    const std::vector<RhwVertex> tri = {{0, 0, 0, 1, 0xFFFFFFFF}, {8, 0, 0, 1, 0xFFFFFFFF}, {0, 8, 0, 1, 0xFFFFFFFF}};
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    EXPECT_LT(DrawRhw(D3DPT_TRIANGLELIST, 1, tri), 0);
    EXPECT_EQ(CountPixels(), 0);
    EXPECT_LT(device_->EndScene(), 0);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_LT(device_->BeginScene(), 0);
    EXPECT_EQ(DrawRhw(D3DPT_TRIANGLELIST, 1, tri), D3D_OK);
    EXPECT_GT(CountPixels(), 0);
    EXPECT_EQ(device_->EndScene(), D3D_OK);
}

// The vertex and index data of each call sit at the end of their own allocations, so that a
// read past them is caught by AddressSanitizer.
TEST_F(Device, DrawsThatWouldReadOutsideTheirDataAreRefused) {
    Begin();
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetVertexShader(test::kRhwFvf);
    auto vertices = std::make_unique<RhwVertex[]>(4);
    vertices[0] = {0, 0, 0, 1, 0xFFFFFFFF};
    vertices[1] = {8, 0, 0, 1, 0xFFFFFFFF};
    vertices[2] = {0, 8, 0, 1, 0xFFFFFFFF};
    vertices[3] = {8, 8, 0, 1, 0xFFFFFFFF};
    auto indices = std::make_unique<std::uint16_t[]>(3);
    struct Case {
        std::uint16_t i0, i1, i2;
        UINT minIndex, count;
        bool ok;
    };
    const Case cases[] = {
        {0, 1, 2, 0, 3, true},  {1, 2, 3, 1, 3, true},      {0, 1, 3, 0, 3, false},  // 3 is beyond the range
        {0, 1, 2, 1, 3, false},                                                      // 0 is below it
        {1, 2, 3, 0, 4, true},  {0, 1, 65535, 0, 4, false},
    };
    for (const Case& c : cases) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        indices[0] = c.i0;
        indices[1] = c.i1;
        indices[2] = c.i2;
        const HRESULT hr = device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, c.minIndex, c.count, 1, indices.get(),
                                                           D3DFMT_INDEX16, vertices.get(), sizeof(RhwVertex));
        EXPECT_EQ(SUCCEEDED(hr), c.ok) << c.i0 << " " << c.i1 << " " << c.i2;
        EXPECT_EQ(CountPixels() > 0, c.ok);
    }
    // Stride below the vertex format, an unknown primitive type, no primitives, index format.
    const auto draw = [&](D3DPRIMITIVETYPE type, UINT count, UINT stride, D3DFORMAT format) {
        return device_->DrawIndexedPrimitiveUP(type, 0, 4, count, indices.get(), format, vertices.get(), stride);
    };
    indices[0] = 0, indices[1] = 1, indices[2] = 2;
    EXPECT_LT(draw(D3DPT_TRIANGLELIST, 1, 16, D3DFMT_INDEX16), 0);
    EXPECT_LT(draw(static_cast<D3DPRIMITIVETYPE>(7), 1, 20, D3DFMT_INDEX16), 0);
    EXPECT_LT(draw(D3DPT_TRIANGLELIST, 0, 20, D3DFMT_INDEX16), 0);
    EXPECT_LT(draw(D3DPT_TRIANGLELIST, 1, 20, D3DFMT_A8R8G8B8), 0);
    EXPECT_LT(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 20), 0);
}

TEST_F(Device, InvalidVertexFormatsAreRefused) {
    for (DWORD fvf : {0u, 0x1u | D3DFVF_XYZ, D3DFVF_XYZRHW | D3DFVF_NORMAL, D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4,
                      D3DFVF_XYZ | 0x900u, D3DFVF_XYZ | 0x2000u})
        EXPECT_LT(device_->SetVertexShader(fvf), 0) << std::hex << fvf;
    DWORD fvf = 0;
    device_->GetVertexShader(&fvf);
    EXPECT_EQ(fvf, D3DFVF_XYZ);
}

TEST(Fvf, StridesAndOffsets) {
    struct Case {
        DWORD fvf;
        int stride, normal, diffuse, tex0, tex1, indices;
    };
    const Case cases[] = {
        {D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, -1, 12, -1, -1, -1},
        {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 28, -1, 16, 20, -1, -1},
        {D3DFVF_XYZB4 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL | D3DFVF_TEX1, 48, 28, -1, 40, -1, 24},
        {D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1), 32, -1, -1, 12, 20, -1},
        {D3DFVF_XYZB1 | D3DFVF_PSIZE | D3DFVF_SPECULAR | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0), 28, -1, -1, 24, -1, -1},
    };
    for (const Case& c : cases) {
        FvfLayout l;
        ASSERT_TRUE(DecodeFvf(c.fvf, &l)) << std::hex << c.fvf;
        EXPECT_EQ(l.stride, c.stride) << std::hex << c.fvf;
        EXPECT_EQ(l.normalOffset, c.normal);
        EXPECT_EQ(l.diffuseOffset, c.diffuse);
        EXPECT_EQ(l.texCount > 0 ? l.texOffset[0] : -1, c.tex0);
        EXPECT_EQ(l.texCount > 1 ? l.texOffset[1] : -1, c.tex1);
        EXPECT_EQ(l.indicesOffset, c.indices);
    }
    FvfLayout l;
    ASSERT_TRUE(DecodeFvf(D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1), &l));
    EXPECT_EQ(l.texSize[0], 2);
    EXPECT_EQ(l.texSize[1], 3);
    ASSERT_TRUE(DecodeFvf(D3DFVF_XYZB4 | D3DFVF_LASTBETA_UBYTE4, &l));
    EXPECT_EQ(l.weightCount, 3);
}

TEST_F(Device, TexturesAreCreatedLockedAndHeldWhileBound) {
    IDirect3DTexture8* raw = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 2, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw), D3D_OK);
    TexturePtr texture(raw);
    ASSERT_EQ(texture->GetLevelCount(), 4u);  // 8x2, 4x1, 2x1, 1x1
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_LT(texture->GetLevelDesc(4, &desc), 0);
    D3DLOCKED_RECT r{};
    ASSERT_EQ(texture->LockRect(0, &r, nullptr, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 32);
    EXPECT_LT(texture->LockRect(0, &r, nullptr, 0), 0);  // locked already
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_LT(texture->UnlockRect(0), 0);
    const RECT outside{0, 0, 9, 1};
    EXPECT_LT(texture->LockRect(0, &r, &outside, 0), 0);

    EXPECT_LT(device_->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw), 0);
    EXPECT_EQ(raw, nullptr);
    EXPECT_LT(device_->CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw), 0);  // chain has 3
    EXPECT_LT(device_->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &raw), 0);

    ASSERT_EQ(device_->SetTexture(0, texture.get()), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 3u);  // ours, the device's, this one
    texture->Release();
    ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 2u);
    texture->Release();

    // Textures of other implementations cannot be bound.
    struct Foreign : IDirect3DTexture8 {
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
    } foreign;
    EXPECT_LT(device_->SetTexture(0, &foreign), 0);
    EXPECT_LT(device_->SetTexture(8, texture.get()), 0);
}

}  // namespace
}  // namespace ms
