#pragma once
// A software device drawing into an off-screen target, with helpers to draw small fixtures.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/d3d8/device.h"

namespace ms::test {

// A screen-space vertex with a colour (XYZRHW | DIFFUSE).
struct RhwVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};
constexpr DWORD kRhwFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

// A position with a normal (XYZ | NORMAL).
struct LitVertex {
    float x, y, z, nx, ny, nz;
};

class DeviceTest : public ::testing::Test {
protected:
    explicit DeviceTest(int width = 16, int height = 16, D3DFORMAT backBuffer = D3DFMT_A8R8G8B8,
                        D3DFORMAT depth = D3DFMT_D24S8)
        : target_(width, height) {
        DeviceConfig config;
        config.target = &target_;
        config.width = width;
        config.height = height;
        config.backBufferFormat = backBuffer;
        config.depthFormat = depth;
        SoftwareDevice* d = nullptr;
        EXPECT_EQ(SoftwareDevice::Create(config, &d), D3D_OK);
        device_ = d;
    }
    ~DeviceTest() override {
        if (device_) device_->Release();
    }

    // Clears to transparent black, depth 1, stencil 0 and begins a scene.
    void Begin() {
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0),
                  D3D_OK);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
    }

    HRESULT DrawRhw(D3DPRIMITIVETYPE type, UINT count, const std::vector<RhwVertex>& v) {
        device_->SetVertexShader(kRhwFvf);
        return device_->DrawPrimitiveUP(type, count, v.data(), sizeof(RhwVertex));
    }

    // Pixels whose colour differs from `background`.
    int CountPixels(std::uint32_t background = 0) const {
        int n = 0;
        for (int y = 0; y < device_->height(); ++y)
            for (int x = 0; x < device_->width(); ++x) n += device_->Pixel(x, y) != background;
        return n;
    }

    OffscreenTarget target_;
    SoftwareDevice* device_ = nullptr;
};

// Channel c (0 blue, 1 green, 2 red, 3 alpha) of an ARGB pixel.
inline int Channel(std::uint32_t argb, int c) { return static_cast<int>((argb >> (8 * c)) & 0xFF); }

// Expects each channel within `tolerance` of the expected ARGB colour.
inline void ExpectColorNear(std::uint32_t actual, std::uint32_t expected, int tolerance = 1) {
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(Channel(actual, c), Channel(expected, c), tolerance)
            << std::hex << "actual 0x" << actual << " expected 0x" << expected << " channel " << c;
}

}  // namespace ms::test
