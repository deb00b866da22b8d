// Rasterization rules: coverage, fill convention, culling, clipping, fill modes, primitives.
#include <cmath>
#include <random>

#include "device_fixture.h"

namespace ms {
namespace {

using test::DeviceTest;
using test::RhwVertex;

class Raster : public DeviceTest {};

TEST_F(Raster, SquareSplitAlongItsDiagonalGivesFifteenAndTenPixels) {
    Begin();
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(DrawRhw(D3DPT_TRIANGLELIST, 1, {{0, 0, 0, 1, 0xFFFF0000}, {5, 0, 0, 1, 0xFFFF0000}, {5, 5, 0, 1, 0xFFFF0000}}),
              D3D_OK);
    EXPECT_EQ(CountPixels(), 15);
    ASSERT_EQ(DrawRhw(D3DPT_TRIANGLELIST, 1, {{0, 5, 0, 1, 0xFF00FF00}, {0, 0, 0, 1, 0xFF00FF00}, {5, 5, 0, 1, 0xFF00FF00}}),
              D3D_OK);
    EXPECT_EQ(CountPixels(), 25);
    int green = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) green += device_->Pixel(x, y) == 0xFF00FF00u;
    EXPECT_EQ(green, 10);
    EXPECT_EQ(device_->Pixel(4, 0), 0xFFFF0000u);  // on the top edge: in
    EXPECT_EQ(device_->Pixel(5, 0), 0u);           // centre on the right edge: out
    EXPECT_EQ(device_->Pixel(0, 4), 0xFF00FF00u);  // on the left edge: in
    EXPECT_EQ(device_->Pixel(0, 5), 0u);           // on the bottom edge: out
}

// Random meshes of quads split into two triangles: with additive blending each pixel is
// covered exactly once, whatever the subpixel positions.
TEST_F(Raster, TrianglesSharingEdgesCoverEachPixelOnce) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> jitter(-0.45f, 0.45f);
    for (int round = 0; round < 20; ++round) {
        Begin();
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        // A 4 x 4 grid of points 4 pixels apart, jittered, at least a pixel inside the target.
        float gx[4][4], gy[4][4];
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
                gx[j][i] = 1.5f + 4.0f * static_cast<float>(i) + jitter(random) * (i % 3 ? 2.0f : 0.0f);
                gy[j][i] = 1.5f + 4.0f * static_cast<float>(j) + jitter(random) * (j % 3 ? 2.0f : 0.0f);
            }
        std::vector<RhwVertex> v;
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                const RhwVertex a{gx[j][i], gy[j][i], 0, 1, 0x01010101}, b{gx[j][i + 1], gy[j][i + 1], 0, 1, 0x01010101};
                const RhwVertex c{gx[j + 1][i], gy[j + 1][i], 0, 1, 0x01010101};
                const RhwVertex d{gx[j + 1][i + 1], gy[j + 1][i + 1], 0, 1, 0x01010101};
                // Alternate the diagonal, and the winding of the second triangle.
                if ((i + j + round) % 2) {
                    v.insert(v.end(), {a, b, d, a, c, d});
                } else {
                    v.insert(v.end(), {a, b, c, b, c, d});
                }
            }
        ASSERT_EQ(DrawRhw(D3DPT_TRIANGLELIST, static_cast<UINT>(v.size() / 3), v), D3D_OK);
        device_->EndScene();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const std::uint32_t p = device_->Pixel(x, y);
                ASSERT_TRUE(p == 0 || p == 0x01010101u) << "pixel " << x << "," << y << " round " << round;
                // Pixels well inside the grid are covered.
                if (x >= 3 && x <= 11 && y >= 3 && y <= 11) {
                    ASSERT_EQ(p, 0x01010101u);
                }
            }
    }
}

TEST_F(Raster, CullModesDropTheirWinding) {
    struct Case {
        DWORD cull;
        bool clockwiseDrawn, counterClockwiseDrawn;
    };
    const Case cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
    const std::vector<RhwVertex> clockwise = {{1, 1, 0, 1, 0xFFFFFFFF}, {9, 1, 0, 1, 0xFFFFFFFF}, {1, 9, 0, 1, 0xFFFFFFFF}};
    const std::vector<RhwVertex> counter = {clockwise[0], clockwise[2], clockwise[1]};
    for (const Case& c : cases) {
        Begin();
        device_->SetRenderState(D3DRS_CULLMODE, c.cull);
        DrawRhw(D3DPT_TRIANGLELIST, 1, clockwise);
        EXPECT_EQ(CountPixels() > 0, c.clockwiseDrawn) << c.cull;
        device_->EndScene();
        Begin();
        DrawRhw(D3DPT_TRIANGLELIST, 1, counter);
        EXPECT_EQ(CountPixels() > 0, c.counterClockwiseDrawn) << c.cull;
        device_->EndScene();
    }
}

}  // namespace
}  // namespace ms
