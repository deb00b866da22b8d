// The tracing wrapper: every call forwarded and recorded with its arguments, in order.
#include "device_fixture.h"
#include "platform/d3d8/trace_device.h"

namespace ms {
namespace {

using test::DeviceTest;

class Trace : public DeviceTest {
protected:
    Trace() : DeviceTest(8, 8), trace_(TraceDevice::Create(device_)) {}
    ~Trace() override { trace_->Release(); }
    TraceDevice* trace_;
};

TEST_F(Trace, RecordsEachCallWithItsArgumentsAndForwardsIt) {
    IDirect3DDevice8* d = trace_;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF7D7DC8, 1.0f, 0);
    d->BeginScene();
    d->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    d->SetRenderState(D3DRS_STENCILMASK, 255);
    d->SetRenderState(D3DRS_POINTSIZE, 0x3FC00000);
    d->SetRenderState(200, 1);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    D3DMATRIX m{};
    m._11 = 0.5f;
    m._22 = 1.0f;
    m._33 = 1.0f / 3.0f;
    m._43 = -2.0f;
    m._44 = 1.0f;
    d->SetTransform(D3DTS_WORLDMATRIX(3), &m);
    D3DMATERIAL8 material{};
    material.Diffuse = {0.3f, 0.3f, 0.3f, 1.0f};
    material.Emissive = {0.9f, 0, 0, 1.0f};
    d->SetMaterial(&material);
    IDirect3DTexture8* texture = nullptr;
    d->CreateTexture(4, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    d->SetTexture(0, texture);
    d->SetTexture(1, nullptr);
    d->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    const test::RhwVertex v[3] = {{0, 0, 0, 1, 0xFF00FF00}, {4, 0, 0, 1, 0xFF00FF00}, {0, 4, 0.5f, 1, 0xFF00FF00}};
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof v[0]);
    const std::uint16_t indices[3] = {0, 1, 2};
    d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, indices, D3DFMT_INDEX16, v, 12);  // stride too small
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    texture->Release();

    const std::vector<std::string> expected = {
        "Clear(0, null, TARGET|ZBUFFER|STENCIL, 0xFF7D7DC8, 1, 0)",
        "BeginScene()",
        "SetRenderState(ZWRITEENABLE, 0)",
        "SetRenderState(STENCILMASK, 0x000000FF)",
        "SetRenderState(POINTSIZE, 1.5f)",
        "SetRenderState(200, 1) -> D3DERR_INVALIDCALL",
        "SetTextureStageState(1, COLOROP, 4)",
        "SetTransform(WORLDMATRIX(3), [0.5 0 0 0; 0 1 0 0; 0 0 0.33333334 0; 0 0 -2 1])",
        "SetMaterial(diffuse (0.3, 0.3, 0.3, 1), ambient (0, 0, 0, 0), specular (0, 0, 0, 0), "
        "emissive (0.9, 0, 0, 1), power 0)",
        "CreateTexture(4, 2, 1, 0x0, A8R8G8B8, MANAGED) = texture#1",
        "SetTexture(0, texture#1)",
        "SetTexture(1, null)",
        "SetVertexShader(0x44)",
        "DrawPrimitiveUP(TRIANGLELIST, 1, [(0, 0, 0, 1, 0xFF00FF00) (4, 0, 0, 1, 0xFF00FF00) "
        "(0, 4, 0.5, 1, 0xFF00FF00)], 20)",
        "DrawIndexedPrimitiveUP(TRIANGLELIST, 0, 3, 1, non-null, INDEX16, non-null, 12) -> D3DERR_INVALIDCALL",
        "EndScene()",
        "Present(null, null, null, null)",
    };
    EXPECT_EQ(trace_->lines(), expected);
    // The calls reached the device.
    DWORD z = 1;
    device_->GetRenderState(D3DRS_ZWRITEENABLE, &z);
    EXPECT_EQ(z, 0u);
    EXPECT_EQ(device_->Pixel(1, 1), 0u);  // green modulated by the new texture's transparent black
    EXPECT_EQ(device_->Pixel(6, 6), 0xFF7D7DC8u);
    EXPECT_EQ(target_.presentCount(), 1);
}

TEST_F(Trace, LargeDrawsAreSummarisedByAHashOfTheirData) {
    std::vector<test::RhwVertex> v(30, {1, 1, 0, 1, 0xFFFFFFFF});
    std::vector<std::uint16_t> indices(60, 0);
    trace_->BeginScene();
    trace_->SetVertexShader(test::kRhwFvf);
    trace_->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 30, 30, indices.data(), D3DFMT_INDEX16, v.data(), 20);
    const std::string line = trace_->lines().back();
    EXPECT_EQ(line.rfind("DrawIndexedPrimitiveUP(LINELIST, 0, 30, 30, <60 indices fnv1a 0x", 0), 0u) << line;
    EXPECT_NE(line.find(", INDEX16, <30 vertices fnv1a 0x"), std::string::npos) << line;
    // The same data gives the same line; different data another.
    trace_->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 30, 30, indices.data(), D3DFMT_INDEX16, v.data(), 20);
    EXPECT_EQ(trace_->lines().back(), line);
    v[29].color = 0;
    trace_->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 30, 30, indices.data(), D3DFMT_INDEX16, v.data(), 20);
    EXPECT_NE(trace_->lines().back(), line);
}

TEST_F(Trace, SinkReceivesTheLinesInstead) {
    std::vector<std::string> got;
    TraceDevice* t = TraceDevice::Create(device_, [&got](const std::string& line) { got.push_back(line); });
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, -1, 0};
    light.Diffuse = {0.65f, 0.65f, 0.65f, 0};
    light.Range = 100;
    t->SetLight(0, &light);
    t->LightEnable(0, 1);
    t->Release();
    EXPECT_TRUE(trace_->lines().empty());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0],
              "SetLight(0, DIRECTIONAL, diffuse (0.65, 0.65, 0.65, 0), specular (0, 0, 0, 0), ambient (0, 0, 0, 0), "
              "position (0, 0, 0), direction (0, -1, 0), range 100, falloff 0, attenuation (0, 0, 0), theta 0, phi 0)");
    EXPECT_EQ(got[1], "LightEnable(0, 1)");
}

}  // namespace
}  // namespace ms
