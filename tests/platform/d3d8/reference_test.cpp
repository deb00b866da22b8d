// Small scenes drawn by the device against reference pictures kept beside this file (each one
// looked at before it was kept). MS_UPDATE_REFERENCES=1 rewrites them from the current output.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "device_fixture.h"
#include "platform/d3dx/d3dx8math.h"
#include "platform/image/image.h"

namespace ms {
namespace {

constexpr int kWidth = 96, kHeight = 72;

struct MeshVertex {
    float x, y, z, nx, ny, nz, u, v;
};

class Reference : public test::DeviceTest {
protected:
    Reference() : DeviceTest(kWidth, kHeight, D3DFMT_X8R8G8B8) {
        D3DXMATRIX view, projection;
        const D3DXVECTOR3 eye(0, 0.6f, -3.2f), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1.33f, 0.1f, 1000.0f);
        device_->SetTransform(D3DTS_VIEW, &view);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
        // The editor's start-up lights.
        device_->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
        const D3DVECTOR directions[2] = {{-0.57735f, -0.57735f, -0.57735f}, {0, 0.70710678f, 0.70710678f}};
        for (DWORD i = 0; i < 2; ++i) {
            D3DLIGHT8 l{};
            l.Type = D3DLIGHT_DIRECTIONAL;
            l.Diffuse = {0.65f, 0.65f, 0.65f, 0};
            l.Ambient = {0.25f, 0.25f, 0.25f, 0};
            l.Specular = {1, 1, 1, 0};
            l.Direction = directions[i];
            l.Range = 100;
            device_->SetLight(i, &l);
            device_->LightEnable(i, 1);
        }
    }

    void Compare(const char* name) {
        const std::string path = std::string(MS_D3D8_REFERENCE_DIR) + "/" + name + ".png";
        ImageLevel frame;
        frame.width = kWidth;
        frame.height = kHeight;
        frame.pixels.assign(device_->backBuffer(), device_->backBuffer() + kWidth * kHeight);
        const char* update = std::getenv("MS_UPDATE_REFERENCES");
        if (update && std::string(update) == "1") {
            ASSERT_TRUE(WritePng(path, frame));
            GTEST_SKIP() << "wrote " << path;
        }
        Image reference;
        const Status status = DecodeImageFile(path, reference);
        ASSERT_TRUE(status) << status.message();
        ASSERT_EQ(reference.width, kWidth);
        ASSERT_EQ(reference.height, kHeight);
        int differing = 0;
        for (std::size_t i = 0; i < frame.pixels.size(); ++i)
            for (int c = 0; c < 4; ++c)
                if (std::abs(test::Channel(frame.pixels[i], c) - test::Channel(reference.pixels[i], c)) > 2) {
                    ++differing;
                    break;
                }
        EXPECT_EQ(differing, 0) << name;
    }

    TexturePtr Checker(int size, std::uint32_t a, std::uint32_t b) {
        IDirect3DTexture8* raw = nullptr;
        device_->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw);
        TexturePtr t(raw);
        D3DLOCKED_RECT r;
        t->LockRect(0, &r, nullptr, 0);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) static_cast<std::uint32_t*>(r.pBits)[y * size + x] = (x + y) % 2 ? a : b;
        t->UnlockRect(0);
        return t;
    }
};

std::vector<MeshVertex> Sphere(int slices, int stacks, std::vector<std::uint16_t>* indices) {
    std::vector<MeshVertex> v;
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            const float theta = 3.14159265f * static_cast<float>(j) / stacks;
            const float phi = 6.2831853f * static_cast<float>(i) / slices;
            const float x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = std::sin(theta) * std::sin(phi);
            v.push_back({x, y, z, x, y, z, static_cast<float>(i) / slices, static_cast<float>(j) / stacks});
        }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            const auto a = static_cast<std::uint16_t>(j * (slices + 1) + i), b = static_cast<std::uint16_t>(a + 1);
            const auto c = static_cast<std::uint16_t>(a + slices + 1), d = static_cast<std::uint16_t>(c + 1);
            indices->insert(indices->end(), {a, c, b, b, c, d});
        }
    return v;
}

TEST_F(Reference, LitTexturedSphereWithSpecular) {
    TexturePtr texture = Checker(8, 0xFFE0C080, 0xFF4060A0);
    device_->SetTexture(0, texture.get());
    device_->SetRenderState(D3DRS_SPECULARENABLE, 1);
    D3DMATERIAL8 m{};
    m.Diffuse = m.Ambient = {1, 1, 1, 1};
    m.Specular = {0.6f, 0.6f, 0.6f, 1};
    m.Power = 20;
    device_->SetMaterial(&m);
    std::vector<std::uint16_t> indices;
    const std::vector<MeshVertex> sphere = Sphere(24, 16, &indices);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF7D7DC8, 1.0f, 0);
    device_->BeginScene();
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    ASSERT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(sphere.size()),
                                              static_cast<UINT>(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                              sphere.data(), sizeof(MeshVertex)),
              D3D_OK);
    device_->EndScene();
    Compare("lit_textured_sphere");
}

// A wireframe sphere, a floor cutting through a solid one, and a half-transparent quad over
// both: fill modes, the depth test and blending together.
TEST_F(Reference, WireframeDepthAndBlending) {
    D3DMATERIAL8 m{};
    m.Diffuse = m.Ambient = {0.9f, 0.4f, 0.3f, 1};
    std::vector<std::uint16_t> indices;
    const std::vector<MeshVertex> sphere = Sphere(12, 8, &indices);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF7D7DC8, 1.0f, 0);
    device_->BeginScene();
    device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    auto drawSphere = [&](float x) {
        const D3DXMATRIX world = [x] {
            D3DXMATRIX w;
            return *D3DXMatrixTranslation(&w, x, 0, 0);
        }();
        device_->SetTransform(D3DTS_WORLD, &world);
        device_->SetMaterial(&m);
        device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(sphere.size()),
                                        static_cast<UINT>(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                        sphere.data(), sizeof(MeshVertex));
    };
    drawSphere(-1.1f);
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    drawSphere(1.1f);
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    const MeshVertex floor[4] = {
        {-3, 0, -2, 0, 1, 0, 0, 0}, {3, 0, -2, 0, 1, 0, 0, 0}, {-3, 0, 3, 0, 1, 0, 0, 0}, {3, 0, 3, 0, 1, 0, 0, 0}};
    const D3DXMATRIX identity = [] {
        D3DXMATRIX w;
        return *D3DXMatrixIdentity(&w);
    }();
    device_->SetTransform(D3DTS_WORLD, &identity);
    m.Diffuse = m.Ambient = {0.3f, 0.8f, 0.4f, 1};
    device_->SetMaterial(&m);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, floor, sizeof(MeshVertex));
    // A screen-space quad, half transparent, over the middle.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    const test::RhwVertex quad[4] = {
        {30, 10, 0, 1, 0x800000FF}, {66, 10, 0, 1, 0x80FFFFFF}, {30, 40, 0, 1, 0x800000FF}, {66, 40, 0, 1, 0x80FFFF00}};
    device_->SetVertexShader(test::kRhwFvf);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
    device_->EndScene();
    Compare("wireframe_depth_blending");
}

}  // namespace
}  // namespace ms
