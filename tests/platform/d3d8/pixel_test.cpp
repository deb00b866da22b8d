// The pixel stage: stencil, depth and alpha tests, blending, the colour write mask, texture
// stages, addressing and filtering, fog.
#include <cmath>
#include <random>

#include "device_fixture.h"
#include "platform/d3d8/pixel_pipeline.h"

namespace ms {
namespace {

using test::Channel;
using test::DeviceTest;
using test::ExpectColorNear;

// A screen-space vertex with both colours and one texture coordinate pair.
struct QuadVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u, v;
};
constexpr DWORD kQuadFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

class Pixels : public DeviceTest {
protected:
    // Pixels x0..x1-1, y0..y1-1 at depth z; u runs u0..u1 across, v 0..1 down.
    HRESULT Quad(float x0, float y0, float x1, float y1, float z, D3DCOLOR diffuse, D3DCOLOR specular = 0,
                 float u0 = 0.0f, float u1 = 1.0f) {
        const QuadVertex v[4] = {{x0, y0, z, 1, diffuse, specular, u0, 0},
                                 {x1, y0, z, 1, diffuse, specular, u1, 0},
                                 {x0, y1, z, 1, diffuse, specular, u0, 1},
                                 {x1, y1, z, 1, diffuse, specular, u1, 1}};
        device_->SetVertexShader(kQuadFvf);
        return device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(QuadVertex));
    }
    HRESULT FullQuad(float z, D3DCOLOR diffuse, D3DCOLOR specular = 0) {
        return Quad(0, 0, 16, 16, z, diffuse, specular);
    }

    TexturePtr MakeTexture(int width, int height, std::vector<std::uint32_t> texels, int levels = 1) {
        IDirect3DTexture8* raw = nullptr;
        EXPECT_EQ(device_->CreateTexture(width, height, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw), D3D_OK);
        TexturePtr t(raw);
        D3DLOCKED_RECT r;
        t->LockRect(0, &r, nullptr, 0);
        std::copy(texels.begin(), texels.end(), static_cast<std::uint32_t*>(r.pBits));
        t->UnlockRect(0);
        return t;
    }
    std::uint32_t Stencil(int x, int y) const { return device_->DepthStencil(x, y) & 0xFF; }
};

TEST(StencilOps, EightBitResults) {
    struct Case {
        DWORD op;
        std::uint32_t value, expected;
    };
    const Case cases[] = {
        {D3DSTENCILOP_INCRSAT, 255, 255}, {D3DSTENCILOP_INCR, 255, 0},       {D3DSTENCILOP_DECRSAT, 0, 0},
        {D3DSTENCILOP_DECR, 0, 255},      {D3DSTENCILOP_INVERT, 0x0F, 0xF0}, {D3DSTENCILOP_KEEP, 7, 7},
        {D3DSTENCILOP_ZERO, 7, 0},        {D3DSTENCILOP_REPLACE, 7, 0x5A},   {D3DSTENCILOP_INCRSAT, 7, 8},
    };
    for (const Case& c : cases) EXPECT_EQ(StencilOp(c.op, c.value, 0x5A), c.expected) << c.op << " " << c.value;
}

TEST_F(Pixels, StencilTestChoosesTheOperationAndMasksApply) {
    struct Case {
        std::uint32_t stored;
        float quadZ;  // the buffer holds depth 0.5
        DWORD func, ref, mask, writeMask;
        std::uint32_t expected;
        bool drawn;
    };
    // fail -> INVERT, z-fail -> INCR, pass -> REPLACE.
    const Case cases[] = {
        {0x10, 0.2f, D3DCMP_EQUAL, 0x10, 0xFF, 0xFF, 0x10 /*REPLACE with ref*/, true},
        {0x10, 0.8f, D3DCMP_EQUAL, 0x10, 0xFF, 0xFF, 0x11, false},  // stencil passes, z fails
        {0x10, 0.2f, D3DCMP_EQUAL, 0x20, 0xFF, 0xFF, 0xEF, false},  // stencil fails
        {0xF1, 0.2f, D3DCMP_EQUAL, 0x01, 0x0F, 0xFF, 0x01, true},   // the mask applies to ref and stored
        {0xAB, 0.2f, D3DCMP_ALWAYS, 0x3C, 0xFF, 0x0F, 0xAC, true},  // write mask keeps the high nibble
        {0x05, 0.2f, D3DCMP_LESS, 0x04, 0xFF, 0xFF, 0x04, true},    // ref < stored
        {0x05, 0.2f, D3DCMP_GREATER, 0x04, 0xFF, 0xFF, 0xFA, false},
    };
    for (const Case& c : cases) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 0.5f, c.stored);
        device_->BeginScene();
        device_->SetRenderState(D3DRS_STENCILENABLE, 1);
        device_->SetRenderState(D3DRS_STENCILFUNC, c.func);
        device_->SetRenderState(D3DRS_STENCILREF, c.ref);
        device_->SetRenderState(D3DRS_STENCILMASK, c.mask);
        device_->SetRenderState(D3DRS_STENCILWRITEMASK, c.writeMask);
        device_->SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_INVERT);
        device_->SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_INCR);
        device_->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
        FullQuad(c.quadZ, 0xFFFFFFFF);
        device_->EndScene();
        EXPECT_EQ(Stencil(3, 3), c.expected) << std::hex << c.stored << " " << c.ref;
        EXPECT_EQ(device_->Pixel(3, 3) != 0, c.drawn);
    }
}

TEST_F(Pixels, DepthFunctionsAndWrites) {
    struct Case {
        DWORD func, write, enable;
        float z;
        bool drawn;
        double stored;  // afterwards; the buffer starts at 0.5
    };
    const Case cases[] = {
        {D3DCMP_LESSEQUAL, 1, 1, 0.5f, true, 0.5}, {D3DCMP_LESS, 1, 1, 0.5f, false, 0.5},
        {D3DCMP_LESS, 1, 1, 0.25f, true, 0.25},    {D3DCMP_LESS, 0, 1, 0.25f, true, 0.5},
        {D3DCMP_GREATER, 1, 1, 0.75f, true, 0.75}, {D3DCMP_NEVER, 1, 1, 0.25f, false, 0.5},
        {D3DCMP_LESS, 1, 0, 0.75f, true, 0.5},  // z-buffer off: drawn, nothing written
    };
    for (const Case& c : cases) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
        device_->BeginScene();
        device_->SetRenderState(D3DRS_ZFUNC, c.func);
        device_->SetRenderState(D3DRS_ZWRITEENABLE, c.write);
        device_->SetRenderState(D3DRS_ZENABLE, c.enable);
        FullQuad(c.z, 0xFFFFFFFF);
        device_->EndScene();
        EXPECT_EQ(device_->Pixel(5, 5) != 0, c.drawn) << c.func << " " << c.z;
        EXPECT_NEAR(device_->DepthStencil(5, 5) >> 8, c.stored * 16777215.0, 1.0) << c.func << " " << c.z;
    }
}

TEST_F(Pixels, AlphaTestDropsPixelsBeforeDepthAndStencil) {
    Begin();
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
    device_->SetRenderState(D3DRS_STENCILENABLE, 1);
    device_->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    FullQuad(0.5f, 0x7FFFFFFF);
    EXPECT_EQ(device_->Pixel(2, 2), 0u);
    EXPECT_EQ(device_->DepthStencil(2, 2), 0xFFFFFF00u);  // neither depth nor stencil written
    FullQuad(0.5f, 0x80FFFFFF);
    EXPECT_EQ(device_->Pixel(2, 2), 0x80FFFFFFu);
    EXPECT_EQ(Stencil(2, 2), 1u);
}

TEST(BlendColors, KnownAnswers) {
    struct Case {
        DWORD src, dest, op;
        Color4 s, d, expected;
    };
    const Color4 s{0.8f, 0.4f, 0.2f, 0.25f}, d{0.2f, 0.6f, 1.0f, 0.9f};
    const Case cases[] = {
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD, s, d, {0.35f, 0.55f, 0.8f, 0.7375f}},
        {D3DBLEND_SRCALPHASAT, D3DBLEND_ZERO, D3DBLENDOP_ADD, s, d, {0.08f, 0.04f, 0.02f, 0.25f}},  // f = 1 - 0.9
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT, s, d, {0.0f, 0.2f, 0.8f, 0.65f}},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT, s, d, {0.6f, 0.0f, 0.0f, 0.0f}},
        {D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MIN, s, d, {0.2f, 0.4f, 0.2f, 0.25f}},  // factors unused
        {D3DBLEND_ZERO, D3DBLEND_ZERO, D3DBLENDOP_MAX, s, d, {0.8f, 0.6f, 1.0f, 0.9f}},
        {D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD, s, d, {0.32f, 0.48f, 0.4f, 0.45f}},
        {D3DBLEND_INVDESTALPHA, D3DBLEND_DESTALPHA, D3DBLENDOP_ADD, s, d, {0.26f, 0.58f, 0.92f, 0.835f}},
        {D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD, s, d, {0.65f, 0.45f, 0.4f, 0.4125f}},
        {D3DBLEND_BOTHSRCALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD, s, d, {0.35f, 0.55f, 0.8f, 0.7375f}},
    };
    for (const Case& c : cases) {
        const Color4 r = BlendColors(c.src, c.dest, c.op, c.s, c.d);
        EXPECT_NEAR(r.r, c.expected.r, 1e-5f) << c.src << " " << c.dest << " " << c.op;
        EXPECT_NEAR(r.g, c.expected.g, 1e-5f) << c.src << " " << c.dest << " " << c.op;
        EXPECT_NEAR(r.b, c.expected.b, 1e-5f) << c.src << " " << c.dest << " " << c.op;
        EXPECT_NEAR(r.a, c.expected.a, 1e-5f) << c.src << " " << c.dest << " " << c.op;
    }
}

TEST_F(Pixels, BlendingAndTheColourWriteMaskOnTheBackBuffer) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xE6336699, 1.0f, 0);  // dest alpha 0.9
    device_->BeginScene();
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    Quad(0, 0, 4, 4, 0.5f, 0x40FF0000);  // alpha 0.25
    ExpectColorNear(device_->Pixel(1, 1), 0xBC664C73);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHASAT);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    Quad(4, 0, 8, 4, 0.5f, 0xFFFFFFFF);  // f = min(1, 1 - 0.9)
    ExpectColorNear(device_->Pixel(5, 1), 0xFF1A1A1A);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device_->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED);
    Quad(8, 0, 12, 4, 0.5f, 0x00FFFFFF);
    EXPECT_EQ(device_->Pixel(9, 1), 0xE6FF6699u);
}

class OpaqueTarget : public DeviceTest {
protected:
    OpaqueTarget() : DeviceTest(8, 8, D3DFMT_X8R8G8B8) {}
};

TEST_F(OpaqueTarget, DestinationAlphaReadsAsOneAndStaysOpaque) {
    Begin();
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVDESTALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const std::vector<test::RhwVertex> tri = {
        {0, 0, 0, 1, 0x00FFFFFF}, {8, 0, 0, 1, 0x00FFFFFF}, {0, 8, 0, 1, 0x00FFFFFF}};
    DrawRhw(D3DPT_TRIANGLELIST, 1, tri);
    EXPECT_EQ(device_->Pixel(1, 1), 0xFF000000u);  // source times (1 - 1)
}

// One 1 x 1 texture of colour 0x80402010 (alpha 0.5) on stage 0, diffuse 0x40FF8000 and
// specular 0x0000FF80 on the quad, TFACTOR 0xC0102030.
class Stages : public Pixels {
protected:
    Stages() {
        texture_ = MakeTexture(1, 1, {0x80402010});
        device_->SetTexture(0, texture_.get());
        device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xC0102030);
    }
    std::uint32_t Draw() {
        Begin();
        Quad(0, 0, 4, 4, 0.5f, 0x40FF8000, 0x0000FF80);
        device_->EndScene();
        return device_->Pixel(1, 1);
    }
    void Stage(DWORD stage, DWORD colorOp, DWORD arg1, DWORD arg2, DWORD alphaOp, DWORD alphaArg1, DWORD alphaArg2) {
        device_->SetTextureStageState(stage, D3DTSS_COLOROP, colorOp);
        device_->SetTextureStageState(stage, D3DTSS_COLORARG1, arg1);
        device_->SetTextureStageState(stage, D3DTSS_COLORARG2, arg2);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAOP, alphaOp);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAARG1, alphaArg1);
        device_->SetTextureStageState(stage, D3DTSS_ALPHAARG2, alphaArg2);
    }
    TexturePtr texture_;
};

TEST_F(Stages, OperationsAndArguments) {
    struct Case {
        DWORD colorOp, arg1, arg2, alphaOp, alphaArg1, alphaArg2;
        std::uint32_t expected;
    };
    const DWORD T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, C = D3DTA_CURRENT, F = D3DTA_TFACTOR, S = D3DTA_SPECULAR;
    const Case cases[] = {
        {D3DTOP_MODULATE, T, C, D3DTOP_SELECTARG1, T, C, 0x80401000},  // the defaults
        {D3DTOP_SELECTARG2, T, D, D3DTOP_SELECTARG2, T, D, 0x40FF8000},
        {D3DTOP_MODULATE2X, T, D, D3DTOP_MODULATE, T, D, 0x20802000},
        {D3DTOP_ADD, T, D, D3DTOP_ADD, T, D, 0xC0FFA010},
        {D3DTOP_SUBTRACT, D, T, D3DTOP_SUBTRACT, T, D, 0x40BF6000},
        {D3DTOP_ADDSIGNED, T, F, D3DTOP_ADDSIGNED, T, F, 0xC1000000},
        {D3DTOP_SELECTARG1, F, T, D3DTOP_SELECTARG1, F, T, 0xC0102030},
        {D3DTOP_SELECTARG1, S, T, D3DTOP_SELECTARG1, S, T, 0x0000FF80},
        {D3DTOP_SELECTARG1, T | D3DTA_COMPLEMENT, D, D3DTOP_SELECTARG1, T | D3DTA_COMPLEMENT, D, 0x7FBFDFEF},
        {D3DTOP_SELECTARG1, D | D3DTA_ALPHAREPLICATE, T, D3DTOP_SELECTARG1, D, T, 0x40404040},
        {D3DTOP_BLENDTEXTUREALPHA, F, D, D3DTOP_SELECTARG1, D, T, 0x40875018},  // 0.5 F + 0.5 D
        {D3DTOP_BLENDDIFFUSEALPHA, F, T, D3DTOP_SELECTARG1, D, T, 0x40342018},  // 0.25 F + 0.75 T
        {D3DTOP_MODULATEALPHA_ADDCOLOR, T, D, D3DTOP_SELECTARG1, T, D, 0x80C06010},
    };
    for (const Case& c : cases) {
        Stage(0, c.colorOp, c.arg1, c.arg2, c.alphaOp, c.alphaArg1, c.alphaArg2);
        ExpectColorNear(Draw(), c.expected);
    }
}

TEST_F(Stages, CascadeOfStagesWithTempAndDisable) {
    const DWORD T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, C = D3DTA_CURRENT, F = D3DTA_TFACTOR;
    // Stage 0 writes diffuse into TEMP; stage 1 modulates the factor with TEMP, TEXTURE on a
    // stage without a texture reads (0, 0, 0, 1) but a stage whose first colour argument is the
    // missing texture ends the cascade.
    Stage(0, D3DTOP_SELECTARG1, D, C, D3DTOP_SELECTARG1, D, C);
    device_->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    Stage(1, D3DTOP_MODULATE, F, D3DTA_TEMP, D3DTOP_SELECTARG2, F, D3DTA_TEMP);
    ExpectColorNear(Draw(), 0x40101000);  // TFACTOR * diffuse, diffuse alpha
    Stage(2, D3DTOP_ADD, T, C, D3DTOP_SELECTARG2, T, C);
    ExpectColorNear(Draw(), 0x40101000);  // stage 2 (no texture, reading it first) ends the cascade
    Stage(2, D3DTOP_ADD, C, T, D3DTOP_SELECTARG1, T, C);
    ExpectColorNear(Draw(), 0xFF101000);  // the missing texture reads (0, 0, 0, 1)
    Stage(1, D3DTOP_DISABLE, F, C, D3DTOP_DISABLE, F, C);
    ExpectColorNear(Draw(), 0x40FF8000);  // stage 0 wrote only TEMP: CURRENT is the diffuse colour
}

class Sampling : public Pixels {
protected:
    // A row of 16 pixels whose u runs from -1 at pixel 0 to 3 at pixel 16: pixel x samples
    // texel x - 4 of a 4-texel row.
    std::vector<std::uint32_t> Row() {
        Begin();
        Quad(0, 0, 16, 1, 0.5f, 0xFFFFFFFF, 0, -1.0f + 0.5f / 4, 3.0f + 0.5f / 4);
        device_->EndScene();
        std::vector<std::uint32_t> row;
        for (int x = 0; x < 16; ++x) row.push_back(device_->Pixel(x, 0));
        return row;
    }
};

TEST_F(Sampling, AddressModes) {
    const std::uint32_t a = 0xFF000001, b = 0xFF000002, c = 0xFF000003, d = 0xFF000004, o = 0xFF0000FF;
    TexturePtr t = MakeTexture(4, 1, {a, b, c, d});
    device_->SetTexture(0, t.get());
    device_->SetTextureStageState(0, D3DTSS_BORDERCOLOR, o);
    struct Case {
        DWORD mode;
        std::vector<std::uint32_t> expected;  // texels -4 .. 11
    };
    const Case cases[] = {
        {D3DTADDRESS_WRAP, {a, b, c, d, a, b, c, d, a, b, c, d, a, b, c, d}},
        {D3DTADDRESS_MIRROR, {d, c, b, a, a, b, c, d, d, c, b, a, a, b, c, d}},
        {D3DTADDRESS_CLAMP, {a, a, a, a, a, b, c, d, d, d, d, d, d, d, d, d}},
        {D3DTADDRESS_BORDER, {o, o, o, o, a, b, c, d, o, o, o, o, o, o, o, o}},
        {D3DTADDRESS_MIRRORONCE, {d, c, b, a, a, b, c, d, d, d, d, d, d, d, d, d}},
    };
    for (const Case& k : cases) {
        device_->SetTextureStageState(0, D3DTSS_ADDRESSU, k.mode);
        EXPECT_EQ(Row(), k.expected) << "mode " << k.mode;
    }
}

TEST_F(Sampling, NonPowerOfTwoTexturesWrapToo) {
    TexturePtr t = MakeTexture(3, 1, {0xFF000001, 0xFF000002, 0xFF000003});
    device_->SetTexture(0, t.get());
    Begin();
    Quad(0, 0, 6, 1, 0.5f, 0xFFFFFFFF, 0, -1.0f + 0.5f / 3, 1.0f + 0.5f / 3);  // texels -3 .. 2
    const std::uint32_t expected[6] = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000001, 0xFF000002, 0xFF000003};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(device_->Pixel(x, 0), expected[x]) << x;
}

TEST_F(Sampling, LinearFilteringMixesTheFourNearestTexels) {
    TexturePtr t = MakeTexture(2, 2, {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF});
    device_->SetTexture(0, t.get());
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device_->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    Begin();
    // Pixels 0..7 across u 0..1: pixel x samples u = x / 8, texel space x / 4 - 0.5.
    Quad(0, 0, 8, 1, 0.5f, 0xFFFFFFFF, 0, 0.0f, 1.0f);
    const int expected[8] = {0, 0, 0, 64, 128, 191, 255, 255};
    for (int x = 0; x < 8; ++x) EXPECT_NEAR(Channel(device_->Pixel(x, 0), 0), expected[x], 1) << x;
}

TEST_F(Sampling, MipLevelFollowsTheTexelsPerPixel) {
    IDirect3DTexture8* raw = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw), D3D_OK);
    TexturePtr t(raw);
    const std::uint32_t colors[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    for (UINT level = 0; level < 3; ++level) {
        D3DLOCKED_RECT r;
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(level, &desc);
        t->LockRect(level, &r, nullptr, 0);
        std::fill_n(static_cast<std::uint32_t*>(r.pBits), desc.Width * desc.Height, colors[level]);
        t->UnlockRect(level);
    }
    device_->SetTexture(0, t.get());
    struct Case {
        DWORD mipFilter, maxLevel;
        float texelsPerPixel;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {D3DTEXF_NONE, 0, 4.0f, colors[0]},  {D3DTEXF_POINT, 0, 4.0f, colors[2]},
        {D3DTEXF_POINT, 0, 2.0f, colors[1]}, {D3DTEXF_POINT, 0, 0.5f, colors[0]},
        {D3DTEXF_POINT, 1, 0.5f, colors[1]}, {D3DTEXF_POINT, 0, 64.0f, colors[2]},  // the last level
    };
    for (const Case& c : cases) {
        device_->SetTextureStageState(0, D3DTSS_MIPFILTER, c.mipFilter);
        device_->SetTextureStageState(0, D3DTSS_MAXMIPLEVEL, c.maxLevel);
        Begin();
        // 8 pixels across u 0 .. 8 * texelsPerPixel / 4, v 0..1 over 8 rows.
        const float u1 = 8.0f * c.texelsPerPixel / 4.0f;
        const QuadVertex v[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                                 {8, 0, 0.5f, 1, 0xFFFFFFFF, 0, u1, 0},
                                 {0, 8, 0.5f, 1, 0xFFFFFFFF, 0, 0, 8.0f * c.texelsPerPixel / 4.0f},
                                 {8, 8, 0.5f, 1, 0xFFFFFFFF, 0, u1, 8.0f * c.texelsPerPixel / 4.0f}};
        device_->SetVertexShader(kQuadFvf);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(QuadVertex));
        device_->EndScene();
        EXPECT_EQ(device_->Pixel(3, 3), c.expected) << c.mipFilter << " " << c.texelsPerPixel;
    }
}

TEST_F(Sampling, WrapRenderStateTakesTheShorterWayAcrossTheSeam) {
    // Eight texels; u runs from 0.75 on the left to 0.25 on the right of an 8-pixel row.
    std::vector<std::uint32_t> texels;
    for (std::uint32_t i = 0; i < 8; ++i) texels.push_back(0xFF000000 | i);
    TexturePtr t = MakeTexture(8, 1, texels);
    device_->SetTexture(0, t.get());
    auto row = [this] {
        Begin();
        Quad(0, 0, 8, 1, 0.5f, 0xFFFFFFFF, 0, 0.75f + 0.5f / 16, 0.25f + 0.5f / 16);
        device_->EndScene();
        std::vector<int> r;
        for (int x = 0; x < 8; ++x) r.push_back(static_cast<int>(device_->Pixel(x, 0) & 0xFF));
        return r;
    };
    EXPECT_EQ(row(), (std::vector<int>{6, 5, 5, 4, 4, 3, 3, 2}));  // back through the middle
    device_->SetRenderState(D3DRS_WRAP0, D3DWRAP_U);
    EXPECT_EQ(row(), (std::vector<int>{6, 6, 7, 7, 0, 0, 1, 1}));  // forward through 1.0
}

TEST_F(Sampling, PointSpritesSpanTheTextureAcrossThePoint) {
    const std::uint32_t a = 0xFF000001, b = 0xFF000002, c = 0xFF000003, d = 0xFF000004;
    TexturePtr t = MakeTexture(2, 2, {a, b, c, d});
    device_->SetTexture(0, t.get());
    device_->SetRenderState(D3DRS_POINTSIZE, FloatState(4.0f));
    device_->SetRenderState(D3DRS_POINTSPRITEENABLE, 1);
    Begin();
    const QuadVertex v = {8, 8, 0.5f, 1, 0xFFFFFFFF, 0, 0.9f, 0.9f};  // its own coordinates are ignored
    device_->SetVertexShader(kQuadFvf);
    device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v);
    EXPECT_EQ(device_->Pixel(6, 6), a);
    EXPECT_EQ(device_->Pixel(9, 6), b);
    EXPECT_EQ(device_->Pixel(6, 9), c);
    EXPECT_EQ(device_->Pixel(9, 9), d);
}

// The fast loops (4 and, where the processor has them, 8 pixels at a time) give exactly what
// the general loop gives: the same random triangles (with perspective, both colours, coordinates
// beyond the texture) drawn by a device of each kind, for each kind of set-up they take.
// Each back-buffer format: with X8R8G8B8 and no alpha test or blending no alpha is computed.
void ExpectFastAndGeneralLoopsAgree(D3DFORMAT format) {
    constexpr int kSide = 37;  // rows that are no multiple of the pixels a fast loop takes at once
    constexpr int kKinds = 3;  // general, fast 4 lanes, fast widest
    OffscreenTarget targets[kKinds] = {{kSide, kSide}, {kSide, kSide}, {kSide, kSide}};
    SoftwareDevice* devices[kKinds] = {};
    for (int i = 0; i < kKinds; ++i) {
        DeviceConfig config;
        config.target = &targets[i];
        config.width = config.height = kSide;
        config.backBufferFormat = format;
        config.depthFormat = D3DFMT_D24S8;
        config.fastShading = i > 0;
        config.wideLanes = i == 2;
        ASSERT_EQ(SoftwareDevice::Create(config, &devices[i]), D3D_OK);
    }
    std::mt19937 random(3);
    std::vector<TexturePtr> textures;
    for (auto [w, h] : {std::pair{16, 16}, std::pair{12, 10}})
        for (SoftwareDevice* d : devices) {
            IDirect3DTexture8* raw = nullptr;
            ASSERT_EQ(d->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw), D3D_OK);
            textures.emplace_back(raw);
            D3DLOCKED_RECT r;
            raw->LockRect(0, &r, nullptr, 0);
            std::mt19937 texels(static_cast<unsigned>(w));
            for (int k = 0; k < w * h; ++k) static_cast<std::uint32_t*>(r.pBits)[k] = texels();
            raw->UnlockRect(0);
        }
    std::uniform_real_distribution<float> coord(-6.0f, kSide + 6.0f), unit(0.0f, 1.0f), uv(-2.0f, 3.0f);
    std::vector<QuadVertex> v;
    for (int i = 0; i < 90; ++i)
        v.push_back({coord(random), coord(random), unit(random), 0.2f + unit(random), static_cast<D3DCOLOR>(random()),
                     static_cast<D3DCOLOR>(random()), uv(random), uv(random)});

    // Many small triangles, overlapping each other: the fast loops shade pixels of several in
    // one go, but never one pixel twice at once.
    constexpr UINT kSmall = 400;
    std::uniform_real_distribution<float> near(-1.6f, 1.6f);
    std::vector<QuadVertex> small;
    float cx = 0.0f, cy = 0.0f;
    for (UINT t = 0; t < kSmall; ++t) {
        if (t % 4 == 0) cx = coord(random), cy = coord(random);  // four after another on one spot
        for (int k = 0; k < 3; ++k)
            small.push_back({cx + near(random), cy + near(random), unit(random), 0.2f + unit(random),
                             static_cast<D3DCOLOR>(random()), static_cast<D3DCOLOR>(random()), uv(random), uv(random)});
    }

    enum Texture { kNone, kSquare, kOdd };
    struct Setup {
        DWORD colorOp, alphaOp, arg1, arg2;
        Texture texture;
        DWORD filter, addressU, addressV;
        std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states;
    };
    const DWORD W = D3DTADDRESS_WRAP, C = D3DTADDRESS_CLAMP, M = D3DTADDRESS_MIRROR;
    const DWORD P = D3DTEXF_POINT, L = D3DTEXF_LINEAR;
    const Setup setups[] = {
        {D3DTOP_MODULATE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, kSquare, P, W, W, {}},
        {D3DTOP_MODULATE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, kSquare, L, W, W,
         {{D3DRS_SPECULARENABLE, 1}}},
        {D3DTOP_MODULATE, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, kOdd, L, C, M,
         {{D3DRS_SPECULARENABLE, 1}, {D3DRS_SHADEMODE, D3DSHADE_FLAT}}},
        {D3DTOP_SELECTARG1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, kOdd, P, M, W, {}},
        {D3DTOP_ADD, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_SPECULAR, kSquare, L, M, C,
         {{D3DRS_ALPHATESTENABLE, 1}, {D3DRS_ALPHAFUNC, D3DCMP_GREATER}, {D3DRS_ALPHAREF, 0x90}}},
        {D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR, kSquare, L, W, W,
         {{D3DRS_ALPHABLENDENABLE, 1}, {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA}, {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
          {D3DRS_TEXTUREFACTOR, 0x80C04020}}},
        {D3DTOP_MODULATE, D3DTOP_DISABLE, D3DTA_DIFFUSE, D3DTA_TFACTOR, kNone, P, W, W,
         {{D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA},
          {D3DRS_ZFUNC, D3DCMP_NOTEQUAL}, {D3DRS_TEXTUREFACTOR, 0x40FF8000}}},
        {D3DTOP_DISABLE, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT, kNone, P, W, W,
         {{D3DRS_SPECULARENABLE, 1}, {D3DRS_ZWRITEENABLE, 0}, {D3DRS_ALPHATESTENABLE, 1},
          {D3DRS_ALPHAFUNC, D3DCMP_LESS}, {D3DRS_ALPHAREF, 0xA0}}},
    };
    for (const Setup& s : setups) {
        std::vector<std::uint32_t> pictures[kKinds];
        for (int i = 0; i < kKinds; ++i) {
            SoftwareDevice* d = devices[i];
            d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x20406080, 1.0f, 0);
            d->BeginScene();
            IDirect3DTexture8* t =
                s.texture == kNone ? nullptr : textures[(s.texture == kOdd ? kKinds : 0) + i].get();
            d->SetTexture(0, t);
            const std::pair<D3DTEXTURESTAGESTATETYPE, DWORD> stage[] = {
                {D3DTSS_COLOROP, s.colorOp},    {D3DTSS_ALPHAOP, s.alphaOp},     {D3DTSS_COLORARG1, s.arg1},
                {D3DTSS_COLORARG2, s.arg2},     {D3DTSS_ALPHAARG1, s.arg1},      {D3DTSS_ALPHAARG2, s.arg2},
                {D3DTSS_MAGFILTER, s.filter},   {D3DTSS_MINFILTER, s.filter},    {D3DTSS_ADDRESSU, s.addressU},
                {D3DTSS_ADDRESSV, s.addressV}};
            for (auto [type, value] : stage) d->SetTextureStageState(0, type, value);
            d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
            std::vector<DWORD> defaults;
            for (auto [state, value] : s.states) {
                d->GetRenderState(state, &defaults.emplace_back());
                d->SetRenderState(state, value);
            }
            d->SetVertexShader(kQuadFvf);
            d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 30, v.data(), sizeof(QuadVertex));
            d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, kSmall, small.data(), sizeof(QuadVertex));
            d->EndScene();
            for (std::size_t k = 0; k < s.states.size(); ++k) d->SetRenderState(s.states[k].first, defaults[k]);
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x) {
                    pictures[i].push_back(d->Pixel(x, y));
                    pictures[i].push_back(d->DepthStencil(x, y));
                }
        }
        SCOPED_TRACE(format == D3DFMT_A8R8G8B8 ? "A8R8G8B8" : "X8R8G8B8");
        EXPECT_EQ(pictures[0], pictures[1]) << "4 lanes, colour op " << s.colorOp << ", texture " << s.texture;
        EXPECT_EQ(pictures[0], pictures[2]) << "widest, colour op " << s.colorOp << ", texture " << s.texture;
        int drawn = 0;
        for (std::size_t k = 0; k < pictures[0].size(); k += 2) drawn += (pictures[0][k] & 0xFFFFFF) != 0x406080u;
        EXPECT_GT(drawn, 300) << "colour op " << s.colorOp;
    }
    for (SoftwareDevice* d : devices) d->Release();
}

TEST(FastShading, FastAndGeneralLoopsAgree) {
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) ExpectFastAndGeneralLoopsAgree(format);
}

// The stencil shadow-volume technique of the scene drawing: volume faces counted with
// z-fail INVERT and pass INCR under write mask 0xFD, then a full-screen quad darkens where the
// stencil is 252, that is where the volume reaches through the floor.
TEST_F(Pixels, StencilShadowVolumeDarkensTheFloorInside) {
    Begin();
    FullQuad(0.8f, 0xFFC8C8C8);  // the floor
    auto rs = [this](D3DRENDERSTATETYPE s, DWORD v) { ASSERT_EQ(device_->SetRenderState(s, v), D3D_OK); };
    rs(D3DRS_ZWRITEENABLE, 0);
    rs(D3DRS_STENCILENABLE, 1);
    rs(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    rs(D3DRS_STENCILFUNC, D3DCMP_NOTEQUAL);
    rs(D3DRS_ZFUNC, D3DCMP_LESS);
    rs(D3DRS_STENCILZFAIL, D3DSTENCILOP_INVERT);
    rs(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    rs(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    rs(D3DRS_STENCILREF, 252);
    rs(D3DRS_STENCILMASK, 255);
    rs(D3DRS_STENCILWRITEMASK, 253);
    rs(D3DRS_COLORWRITEENABLE, 0);
    rs(D3DRS_CULLMODE, D3DCULL_NONE);
    // Volume A over x 2..8 reaches beyond the floor (back at 0.9), drawn back first; volume B
    // over x 8..14 ends in front of it (back at 0.7), drawn front first.
    Quad(2, 2, 8, 14, 0.9f, 0);
    Quad(2, 2, 8, 14, 0.5f, 0);
    Quad(8, 2, 14, 14, 0.5f, 0);
    Quad(8, 2, 14, 14, 0.7f, 0);
    EXPECT_EQ(device_->Pixel(5, 5), 0xFFC8C8C8u);  // no colour written
    rs(D3DRS_COLORWRITEENABLE, 15);
    rs(D3DRS_STENCILREF, 252);
    rs(D3DRS_SRCBLEND, D3DBLEND_INVSRCALPHA);
    rs(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
    rs(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    rs(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    rs(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    rs(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    rs(D3DRS_ALPHABLENDENABLE, 1);
    rs(D3DRS_ZENABLE, 0);
    FullQuad(0.0f, 0x73000000);  // black, alpha 0.45
    EXPECT_EQ(Stencil(5, 5), 252u);
    EXPECT_EQ(Stencil(11, 5), 0u);  // 1 + 1 = 2 loses bit 1 to the write mask
    EXPECT_EQ(Stencil(0, 0), 0u);
    // 0.45 of the floor; alpha 0.45 * 0.55 + 1 * 0.45.
    ExpectColorNear(device_->Pixel(5, 5), 0xB25A5A5A);
    EXPECT_EQ(device_->Pixel(11, 5), 0xFFC8C8C8u);
    EXPECT_EQ(device_->Pixel(0, 0), 0xFFC8C8C8u);
}

TEST_F(Pixels, FogMixesTowardsTheFogColour) {
    device_->SetRenderState(D3DRS_FOGENABLE, 1);
    device_->SetRenderState(D3DRS_FOGCOLOR, 0x000000FF);
    // Vertex fog from the specular alpha of screen-space vertices: 0x40 of 255 keeps 25 %.
    Begin();
    FullQuad(0.5f, 0xFFFFFFFF, 0x40000000);
    ExpectColorNear(device_->Pixel(3, 3), 0xFF4040FF);
    device_->EndScene();
    // Table fog, linear in the eye distance w = 1 / rhw = 1, from 0 to 4: 75 % of the colour.
    device_->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device_->SetRenderState(D3DRS_FOGSTART, FloatState(0.0f));
    device_->SetRenderState(D3DRS_FOGEND, FloatState(4.0f));
    Begin();
    FullQuad(0.5f, 0xFFFFFFFF);
    ExpectColorNear(device_->Pixel(3, 3), 0xFFBFBFFF);
}

}  // namespace
}  // namespace ms
