// Rasterization rules: coverage, fill convention, culling, clipping, fill modes, primitives.
#include <algorithm>
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
    ASSERT_EQ(
        DrawRhw(D3DPT_TRIANGLELIST, 1, {{0, 0, 0, 1, 0xFFFF0000}, {5, 0, 0, 1, 0xFFFF0000}, {5, 5, 0, 1, 0xFFFF0000}}),
        D3D_OK);
    EXPECT_EQ(CountPixels(), 15);
    ASSERT_EQ(
        DrawRhw(D3DPT_TRIANGLELIST, 1, {{0, 5, 0, 1, 0xFF00FF00}, {0, 0, 0, 1, 0xFF00FF00}, {5, 5, 0, 1, 0xFF00FF00}}),
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
                const RhwVertex a{gx[j][i], gy[j][i], 0, 1, 0x01010101},
                    b{gx[j][i + 1], gy[j][i + 1], 0, 1, 0x01010101};
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

// Slanted slivers narrower than 16 pixels, split along a diagonal, short ones and ones far taller
// than the target (whose edge values no longer fit in 32 bits): each pixel is covered once
// inside the sliver and never outside.
TEST_F(Raster, NarrowSliversCoverEachPixelInsideOnce) {
    struct Case {
        float width, height, slant;  // slant: x moves this much per row
    };
    const Case cases[] = {{1.3f, 9.0f, 0.1f}, {3.7f, 14.0f, -0.25f}, {7.2f, 30.0f, 0.05f},
                          {14.6f, 12.0f, 0.0f}, {2.4f, 6000.0f, 0.0005f}, {12.9f, 9000.0f, -0.0004f}};
    for (const Case& c : cases) {
        Begin();
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        const float top = 8.0f - c.height / 2, bottom = 8.0f + c.height / 2, x0 = 0.6f;
        auto left = [&](float y) { return x0 + c.slant * (y - top); };
        const RhwVertex a{left(top), top, 0, 1, 0x01010101}, b{left(top) + c.width, top, 0, 1, 0x01010101};
        const RhwVertex d{left(bottom), bottom, 0, 1, 0x01010101},
            e{left(bottom) + c.width, bottom, 0, 1, 0x01010101};
        ASSERT_EQ(DrawRhw(D3DPT_TRIANGLELIST, 2, {a, b, e, a, e, d}), D3D_OK);
        device_->EndScene();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const std::uint32_t p = device_->Pixel(x, y);
                ASSERT_TRUE(p == 0 || p == 0x01010101u) << "pixel " << x << "," << y << " width " << c.width;
                const float inside = std::min(static_cast<float>(x) - left(static_cast<float>(y)),
                                              left(static_cast<float>(y)) + c.width - static_cast<float>(x));
                if (static_cast<float>(y) > top && static_cast<float>(y) < bottom && std::fabs(inside) > 0.02f) {
                    ASSERT_EQ(p, inside > 0 ? 0x01010101u : 0u) << "pixel " << x << "," << y << " width " << c.width;
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
    const std::vector<RhwVertex> clockwise = {
        {1, 1, 0, 1, 0xFFFFFFFF}, {9, 1, 0, 1, 0xFFFFFFFF}, {1, 9, 0, 1, 0xFFFFFFFF}};
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

// A position only (XYZ), drawn with identity transforms: clip space is what is given.
struct Position {
    float x, y, z;
};

HRESULT DrawPositions(SoftwareDevice* device, D3DPRIMITIVETYPE type, UINT count, const std::vector<Position>& v) {
    device->SetVertexShader(D3DFVF_XYZ);
    return device->DrawPrimitiveUP(type, count, v.data(), sizeof(Position));
}

class Unlit : public DeviceTest {
protected:
    void Begin() {
        DeviceTest::Begin();
        device_->SetRenderState(D3DRS_LIGHTING, 0);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }
};

TEST_F(Unlit, ViewportPlacesPixelsAndDepth) {
    const D3DVIEWPORT8 vp{4, 2, 8, 6, 0.2f, 0.6f};
    ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
    Begin();
    ASSERT_EQ(DrawPositions(device_, D3DPT_POINTLIST, 1, {{0.0f, 0.0f, 0.5f}}), D3D_OK);
    EXPECT_EQ(CountPixels(), 1);
    EXPECT_EQ(device_->Pixel(8, 5), 0xFFFFFFFFu);                          // x: 4 + 8/2, y: 2 + 6/2
    EXPECT_NEAR(device_->DepthStencil(8, 5) >> 8, 0.4 * 16777215.0, 1.0);  // MinZ + 0.5 (MaxZ - MinZ)
    device_->EndScene();
    // The corners of clip space are the corners of the viewport.
    Begin();
    DrawPositions(device_, D3DPT_TRIANGLESTRIP, 2, {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, -1, 0}});
    EXPECT_EQ(CountPixels(), 48);
    EXPECT_NE(device_->Pixel(4, 2), 0u);
    EXPECT_NE(device_->Pixel(11, 7), 0u);
    EXPECT_EQ(device_->Pixel(12, 7), 0u);
}

TEST_F(Unlit, NearAndFarPlanesClipBeforeTheDivide) {
    struct Case {
        float zLeft, zRight;
        DWORD clipping;
        int columns;  // covered columns of the 16
    };
    // z runs linearly from the left edge to the right edge of the viewport; it is zLeft at
    // x = -1 (pixel centre -0.5) and zRight at x = 1 (16.5 ... well beyond), so the cut lies at
    // z = 0 or z = 1 exactly between two pixel centres.
    const Case cases[] = {
        {-1.0f, 1.0f, 1, 8},   // z >= 0 from the middle on
        {0.0f, 2.0f, 1, 8},    // z <= 1 up to the middle
        {-1.0f, 1.0f, 0, 16},  // clipping off: drawn whole
        {0.1f, 0.9f, 1, 16},
    };
    for (const Case& c : cases) {
        Begin();
        device_->SetRenderState(D3DRS_CLIPPING, c.clipping);
        device_->SetRenderState(D3DRS_ZENABLE, 0);
        DrawPositions(device_, D3DPT_TRIANGLESTRIP, 2,
                      {{-1, 1, c.zLeft}, {1, 1, c.zRight}, {-1, -1, c.zLeft}, {1, -1, c.zRight}});
        int columns = 0;
        for (int x = 0; x < 16; ++x) columns += device_->Pixel(x, 8) != 0;
        EXPECT_EQ(columns, c.columns) << c.zLeft << " " << c.zRight << " clipping " << c.clipping;
        EXPECT_EQ(CountPixels(), 16 * c.columns);
        device_->EndScene();
    }
}

TEST_F(Unlit, HugeTrianglesAreClippedToTheGuardBandAndCoverTheViewportOnce) {
    Begin();
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x01010101);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    // Vertices thousands of viewports away; two triangles sharing the diagonal.
    DrawPositions(device_, D3DPT_TRIANGLELIST, 2,
                  {{-9000, 9000, 0.5f},
                   {9000, 9000, 0.5f},
                   {-9000, -9000, 0.5f},
                   {9000, 9000, 0.5f},
                   {9000, -9000, 0.5f},
                   {-9000, -9000, 0.5f}});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(device_->Pixel(x, y), 0x01010101u) << x << "," << y;
}

TEST_F(Unlit, VerticesBehindTheEyeAreClippedAway) {
    D3DMATRIX projection{};  // w = z: perspective
    projection._11 = projection._22 = 1.0f;
    projection._33 = 1.0f;
    projection._43 = -0.5f;
    projection._34 = 1.0f;
    device_->SetTransform(D3DTS_PROJECTION, &projection);
    Begin();
    // A floor (y = -1) reaching from z = 2 to behind the eye (z = -4): only its part beyond
    // z = 0.5 (the near plane) is drawn, below the horizon.
    DrawPositions(device_, D3DPT_TRIANGLESTRIP, 2, {{-50, -1, 2}, {50, -1, 2}, {-50, -1, -4}, {50, -1, -4}});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(device_->Pixel(x, y), 0u) << x << "," << y;
    // The far edge (z = 2) is at row 12; the near plane (z = 0.5) would be at row 24, below the
    // viewport: rows 12..15 are covered from side to side.
    for (int y = 12; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_NE(device_->Pixel(x, y), 0u) << x << "," << y;
}

// Numbers from files may be anything: a matrix element near -FLT_MAX overflows the transform or
// the clipper. Each such primitive draws something or nothing (never undefined behaviour, which
// the sanitizer builds catch), and the good primitive of the same draw is still drawn.
TEST_F(Unlit, HugeAndNonFiniteNumbersDrawSomethingOrNothing) {
    const float kValues[] = {-1.7e38f, 3.4e38f, 1e30f, -1e-30f, INFINITY, NAN};
    const std::vector<Position> mesh = {{-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f},  {-0.5f, -0.5f, 0.5f},
                                        {2.0f, 3.0f, 0.2f},  {-1.0f, 0.0f, 0.9f}, {0.0f, -2.0f, 0.5f}};
    for (float value : kValues) {
        for (int element = 0; element < 16; ++element) {
            D3DMATRIX world{};
            world._11 = world._22 = world._33 = world._44 = 1.0f;
            world.m[element / 4][element % 4] = value;
            device_->SetTransform(D3DTS_WORLD, &world);
            for (DWORD fill : {D3DFILL_SOLID, D3DFILL_WIREFRAME, D3DFILL_POINT}) {
                Begin();
                device_->SetRenderState(D3DRS_FILLMODE, fill);
                EXPECT_EQ(DrawPositions(device_, D3DPT_TRIANGLELIST, 2, mesh), D3D_OK);
                EXPECT_EQ(DrawPositions(device_, D3DPT_LINESTRIP, 5, mesh), D3D_OK);
                device_->EndScene();
            }
        }
    }
    const D3DMATRIX identity{{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    device_->SetTransform(D3DTS_WORLD, &identity);
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    // Screen-space vertices: a bad triangle first, then a good one in the same draw.
    for (float value : kValues) {
        for (int coordinate = 0; coordinate < 4; ++coordinate) {
            std::vector<RhwVertex> v = {{2, 2, 0.5f, 1, 0xFFFFFFFF}, {12, 2, 0.5f, 1, 0xFFFFFFFF},
                                        {2, 12, 0.5f, 1, 0xFFFFFFFF}, {2, 2, 0.5f, 1, 0xFFFFFFFF},
                                        {12, 2, 0.5f, 1, 0xFFFFFFFF}, {2, 12, 0.5f, 1, 0xFFFFFFFF}};
            (&v[1].x)[coordinate] = value;
            Begin();
            EXPECT_EQ(DrawRhw(D3DPT_TRIANGLELIST, 2, v), D3D_OK);
            EXPECT_EQ(DrawRhw(D3DPT_POINTLIST, 3, v), D3D_OK);
            EXPECT_NE(device_->Pixel(3, 3), 0u) << value << " at " << coordinate;
            device_->EndScene();
        }
    }
}

TEST_F(Raster, FillModesDrawTheTriangleTheEdgesOrTheVertices) {
    const std::vector<RhwVertex> tri = {{2, 2, 0, 1, 0xFFFFFFFF}, {12, 2, 0, 1, 0xFFFFFFFF}, {2, 12, 0, 1, 0xFFFFFFFF}};
    struct Case {
        DWORD fill;
        int pixels;
    };
    // Solid: rows 2..11 hold 10, 9, ... 1 pixels. Wireframe: the three edges without their end
    // pixels (10 + 10 + 10 - overlaps at the corners). Points: the three vertices.
    const Case cases[] = {{D3DFILL_SOLID, 55}, {D3DFILL_WIREFRAME, 30}, {D3DFILL_POINT, 3}};
    for (const Case& c : cases) {
        Begin();
        device_->SetRenderState(D3DRS_FILLMODE, c.fill);
        DrawRhw(D3DPT_TRIANGLELIST, 1, tri);
        EXPECT_EQ(CountPixels(), c.pixels) << c.fill;
        device_->EndScene();
    }
    // Points and edges are still culled with their triangle.
    Begin();
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    DrawRhw(D3DPT_TRIANGLELIST, 1, tri);
    EXPECT_EQ(CountPixels(), 0);
}

TEST_F(Raster, EveryPrimitiveType) {
    const D3DCOLOR w = 0xFFFFFFFF;
    // Four vertices of a square 8 pixels wide at (2, 2).
    const std::vector<RhwVertex> square = {{2, 2, 0, 1, w}, {10, 2, 0, 1, w}, {2, 10, 0, 1, w}, {10, 10, 0, 1, w}};
    struct Case {
        D3DPRIMITIVETYPE type;
        UINT count;
        std::vector<RhwVertex> v;
        int pixels;
    };
    const Case cases[] = {
        {D3DPT_POINTLIST, 4, square, 4},
        {D3DPT_LINELIST, 2, square, 18},                                 // two rows of 9 (LASTPIXEL)
        {D3DPT_LINESTRIP, 3, square, 9 + 8 + 8},                         // top, diagonal, bottom
        {D3DPT_TRIANGLELIST, 1, {square[0], square[1], square[2]}, 36},  // 8 + 7 + ... + 1
        {D3DPT_TRIANGLESTRIP, 2, square, 64},                            // the square
        {D3DPT_TRIANGLEFAN, 2, {square[0], square[1], square[3], square[2]}, 64},
    };
    for (const Case& c : cases) {
        Begin();
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        ASSERT_EQ(DrawRhw(c.type, c.count, c.v), D3D_OK);
        EXPECT_EQ(CountPixels(), c.pixels) << c.type;
        device_->EndScene();
    }
}

TEST_F(Raster, LinesFollowTheDiamondRuleAndLastPixel) {
    const D3DCOLOR w = 0xFFFFFFFF;
    struct Case {
        RhwVertex a, b;
        DWORD lastPixel;
        int pixels;
        int x, y;  // a pixel that must be drawn
    };
    const Case cases[] = {
        {{1, 1, 0, 1, w}, {6, 1, 0, 1, w}, 0, 5, 5, 1},       {{1, 1, 0, 1, w}, {6, 1, 0, 1, w}, 1, 6, 6, 1},
        {{6, 1, 0, 1, w}, {1, 1, 0, 1, w}, 0, 5, 2, 1},        // from right to left the last is 1
        {{1.3f, 1, 0, 1, w}, {5.6f, 1, 0, 1, w}, 0, 5, 5, 1},  // diamonds of 1..5 are left
        {{2, 2, 0, 1, w}, {2, 9, 0, 1, w}, 0, 7, 2, 8},        // y-major
        {{2, 2, 0, 1, w}, {8, 5, 0, 1, w}, 0, 6, 7, 5},        // x-major with a slope
    };
    for (const Case& c : cases) {
        Begin();
        device_->SetRenderState(D3DRS_LASTPIXEL, c.lastPixel);
        DrawRhw(D3DPT_LINELIST, 1, {c.a, c.b});
        EXPECT_EQ(CountPixels(), c.pixels) << c.a.x << "," << c.a.y << " to " << c.b.x << "," << c.b.y;
        EXPECT_EQ(device_->Pixel(c.x, c.y), w);
        device_->EndScene();
    }
}

TEST_F(Raster, PointsAreSquaresOfThePointSize) {
    Begin();
    device_->SetRenderState(D3DRS_POINTSIZE, FloatState(4.0f));
    DrawRhw(D3DPT_POINTLIST, 1, {{8, 8, 0, 1, 0xFFFFFFFF}});
    EXPECT_EQ(CountPixels(), 16);
    EXPECT_NE(device_->Pixel(6, 6), 0u);
    EXPECT_NE(device_->Pixel(9, 9), 0u);
    EXPECT_EQ(device_->Pixel(10, 10), 0u);
}

TEST_F(Raster, FlatShadingTakesTheFirstVertexOfEachTriangle) {
    const D3DCOLOR red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF;
    Begin();
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    // A strip: the first triangle takes vertex 0 (red), the second vertex 1 (green).
    DrawRhw(D3DPT_TRIANGLESTRIP, 2,
            {{0, 0, 0, 1, red}, {16, 0, 0, 1, green}, {0, 16, 0, 1, blue}, {16, 16, 0, 1, red}});
    EXPECT_EQ(device_->Pixel(1, 1), red);
    EXPECT_EQ(device_->Pixel(5, 5), red);
    EXPECT_EQ(device_->Pixel(14, 14), green);
    EXPECT_EQ(device_->Pixel(10, 9), green);
    // Gouraud: a blend of the three.
    device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    DrawRhw(D3DPT_TRIANGLELIST, 1, {{0, 0, 0, 1, red}, {16, 0, 0, 1, green}, {0, 16, 0, 1, blue}});
    const std::uint32_t p = device_->Pixel(4, 4);
    EXPECT_GT(test::Channel(p, 2), 0);
    EXPECT_GT(test::Channel(p, 1), 0);
    EXPECT_GT(test::Channel(p, 0), 0);
}

TEST_F(Raster, AttributesAreInterpolatedWithPerspective) {
    Begin();
    // The left edge at w = 1, the right edge at w = 3 (rhw 1/3); black on the left, white on the
    // right. Halfway across the screen the perspective-correct value is (0 + 1/3) / (1 + 1/3)
    // = 0.25, not 0.5.
    const D3DCOLOR black = 0xFF000000, white = 0xFFFFFFFF;
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DrawRhw(D3DPT_TRIANGLESTRIP, 2,
            {{0, 0, 0, 1, black}, {16, 0, 0, 1.0f / 3, white}, {0, 16, 0, 1, black}, {16, 16, 0, 1.0f / 3, white}});
    EXPECT_NEAR(test::Channel(device_->Pixel(8, 8), 1), 64, 1);
    EXPECT_NEAR(test::Channel(device_->Pixel(0, 8), 1), 0, 1);
}

}  // namespace
}  // namespace ms
