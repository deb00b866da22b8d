// The vertex stage: lighting, material sources, vertex blending, texture coordinates.
#include <cmath>
#include <cstring>

#include "device_fixture.h"

namespace ms {
namespace {

using test::Channel;
using test::DeviceTest;
using test::ExpectColorNear;

D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

// A vertex of any layout, built float by float.
struct Vertex {
    std::vector<std::uint32_t> words;
    Vertex& F(float f) {
        std::uint32_t w;
        std::memcpy(&w, &f, 4);
        words.push_back(w);
        return *this;
    }
    Vertex& D(std::uint32_t d) {
        words.push_back(d);
        return *this;
    }
};

// With identity transforms a point at (x, y, z) lands on pixel (8 + 8x, 8 - 8y).
class Lighting : public DeviceTest {
protected:
    Lighting() { material_.Diffuse = {1, 1, 1, 1}; }
    void SetDirectional(DWORD index, D3DVECTOR direction, D3DCOLORVALUE diffuse) {
        D3DLIGHT8 l{};
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Direction = direction;
        l.Diffuse = diffuse;
        ASSERT_EQ(device_->SetLight(index, &l), D3D_OK);
        ASSERT_EQ(device_->LightEnable(index, 1), D3D_OK);
    }
    // Draws one point of format `fvf` and returns the pixel it lands on.
    std::uint32_t DrawPoint(DWORD fvf, const Vertex& v, int x = 8, int y = 8) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device_->BeginScene();
        device_->SetMaterial(&material_);
        EXPECT_EQ(device_->SetVertexShader(fvf), D3D_OK);
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, v.words.data(), 4 * static_cast<UINT>(v.words.size())),
                  D3D_OK);
        device_->EndScene();
        EXPECT_EQ(CountPixels(), 1);
        return device_->Pixel(x, y);
    }
    std::uint32_t DrawLit(float nx, float ny, float nz) {
        return DrawPoint(D3DFVF_XYZ | D3DFVF_NORMAL, Vertex().F(0).F(0).F(0.5f).F(nx).F(ny).F(nz));
    }
    D3DMATERIAL8 material_{};
};

TEST_F(Lighting, DirectionalLightFacingTheNormalGivesDiffuseTimesLight) {
    material_.Diffuse = {1.0f, 0.5f, 0.4f, 1.0f};
    SetDirectional(0, {0, 0, 1}, {0.5f, 0.25f, 1.0f, 0});
    ExpectColorNear(DrawLit(0, 0, -1), 0xFF802066);  // (0.5, 0.125, 0.4)
    // Lit from behind: nothing.
    ExpectColorNear(DrawLit(0, 0, 1), 0xFF000000);
    // At 60 degrees: half.
    ExpectColorNear(DrawLit(0, std::sin(1.0471976f), -0.5f), 0xFF401033);
}

TEST_F(Lighting, LightsAreInWorldSpaceWhateverTheView) {
    // The view turns the world half a turn about y; a light and a normal turned with it light
    // the same. Seen from behind, the point lies at (0, 0, 0.5) again after the view.
    SetDirectional(0, {0, 0, -1}, {0.6f, 0.6f, 0.6f, 0});
    D3DMATRIX view{};
    view._11 = -1;
    view._22 = 1;
    view._33 = -1;
    view._44 = 1;
    device_->SetTransform(D3DTS_VIEW, &view);
    ExpectColorNear(DrawPoint(D3DFVF_XYZ | D3DFVF_NORMAL, Vertex().F(0).F(0).F(-0.5f).F(0).F(0).F(1)), 0xFF999999);
}

TEST_F(Lighting, PointLightsAttenuateAndStopAtTheirRange) {
    material_.Diffuse = {0.2f, 0.2f, 0.2f, 1};
    material_.Ambient = {1, 1, 1, 1};
    material_.Emissive = {0.1f, 0.2f, 0.3f, 0};
    device_->SetRenderState(D3DRS_AMBIENT, 0x00404040);
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_POINT;
    l.Diffuse = {1, 1, 1, 0};
    l.Ambient = {0.5f, 0.5f, 0.5f, 0};
    l.Position = {0, 0, -1.5f};  // 2 from the point
    l.Attenuation1 = 1.0f;
    l.Range = 5.0f;
    ASSERT_EQ(device_->SetLight(0, &l), D3D_OK);
    device_->LightEnable(0, 1);
    // 1 / (0 + 1 * 2) = 0.5 on diffuse and on the light's ambient part: emissive + (0.25 +
    // 0.25) + 0.2 * 0.5.
    ExpectColorNear(DrawLit(0, 0, -1), 0xFFB3CCE6);  // (0.7, 0.8, 0.9)
    l.Range = 1.9f;
    device_->SetLight(0, &l);
    // Out of range: emissive and the global ambient only.
    ExpectColorNear(DrawLit(0, 0, -1), 0xFF59738C);  // (0.35, 0.45, 0.55)
}

TEST_F(Lighting, SpotLightIsDarkAtTheEdgeOfItsOuterCone) {
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_SPOT;
    l.Diffuse = {1, 1, 1, 0};
    l.Position = {-1, 0, -0.5f};  // the point is 45 degrees off the axis
    l.Direction = {1, 0, 0};
    l.Attenuation0 = 1.0f;
    l.Range = 10.0f;
    l.Falloff = 1.0f;
    l.Theta = 0.5f;
    l.Phi = 1.5707964f;  // half-angle 45 degrees: rho = cos(phi / 2)
    ASSERT_EQ(device_->SetLight(0, &l), D3D_OK);
    device_->LightEnable(0, 1);
    const std::uint32_t edge = DrawLit(-0.70710678f, 0, -0.70710678f);
    EXPECT_EQ(edge, 0xFF000000u);
    l.Phi = 2.0f;
    device_->SetLight(0, &l);
    EXPECT_GT(Channel(DrawLit(-0.70710678f, 0, -0.70710678f), 2), 0);
    l.Theta = 1.8f;  // inside the inner cone: full light
    device_->SetLight(0, &l);
    ExpectColorNear(DrawLit(-0.70710678f, 0, -0.70710678f), 0xFFFFFFFF);
}

TEST_F(Lighting, WithoutANormalOnlyAmbientAndEmissiveRemain) {
    material_.Ambient = {0.5f, 0.5f, 0.5f, 1};
    material_.Emissive = {0.2f, 0, 0, 0};
    device_->SetRenderState(D3DRS_AMBIENT, 0x00FFFFFF);
    SetDirectional(0, {0, 0, 1}, {1, 1, 1, 0});
    ExpectColorNear(DrawPoint(D3DFVF_XYZ, Vertex().F(0).F(0).F(0.5f)), 0xFFB38080);  // (0.7, 0.5, 0.5)
}

TEST_F(Lighting, MaterialSourcesAndColorVertex) {
    material_.Diffuse = {1, 0, 0, 0.25f};
    SetDirectional(0, {0, 0, 1}, {1, 1, 1, 0});
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
    const Vertex v = Vertex().F(0).F(0).F(0.5f).F(0).F(0).F(-1).D(0x8000FF00);
    // Diffuse from the vertex colour (COLOR1, the default), its alpha too.
    ExpectColorNear(DrawPoint(fvf, v), 0x8000FF00);
    // COLORVERTEX off: the material, with the material's alpha.
    device_->SetRenderState(D3DRS_COLORVERTEX, 0);
    ExpectColorNear(DrawPoint(fvf, v), 0x40FF0000);
    // The vertex colour can be the emissive colour instead.
    device_->SetRenderState(D3DRS_COLORVERTEX, 1);
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device_->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
    ExpectColorNear(DrawPoint(fvf, v), 0x40FFFF00);
    // A source the vertex does not have falls back to the material.
    device_->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR2);
    ExpectColorNear(DrawPoint(fvf, v), 0x40FF0000);
}

TEST_F(Lighting, SpecularIsAddedOnlyWhenEnabled) {
    material_.Diffuse = {0.25f, 0.25f, 0.25f, 1};
    material_.Specular = {0.5f, 0.5f, 0.5f, 1};
    material_.Power = 10.0f;
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Direction = {0, 0, 1};  // from the camera: the highlight faces it
    l.Diffuse = {1, 1, 1, 0};
    l.Specular = {1, 1, 1, 0};
    device_->SetLight(0, &l);
    device_->LightEnable(0, 1);
    ExpectColorNear(DrawLit(0, 0, -1), 0xFF404040);
    device_->SetRenderState(D3DRS_SPECULARENABLE, 1);
    ExpectColorNear(DrawLit(0, 0, -1), 0xFFBFBFBF);  // 0.25 + 0.5
    // The same with the infinite viewer.
    device_->SetRenderState(D3DRS_LOCALVIEWER, 0);
    ExpectColorNear(DrawLit(0, 0, -1), 0xFFBFBFBF);
}

TEST_F(Lighting, NormalsAreRenormalisedOnlyWhenAsked) {
    SetDirectional(0, {0, 0, 1}, {0.3f, 0.3f, 0.3f, 0});
    D3DMATRIX world = Translation(0, 0, 0);
    world._11 = world._22 = world._33 = 0.5f;  // the normal's inverse transpose doubles it
    device_->SetTransform(D3DTS_WORLD, &world);
    const Vertex v = Vertex().F(0).F(0).F(1.0f).F(0).F(0).F(-1);
    ExpectColorNear(DrawPoint(D3DFVF_XYZ | D3DFVF_NORMAL, v), 0xFF999999);  // 0.6
    device_->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    ExpectColorNear(DrawPoint(D3DFVF_XYZ | D3DFVF_NORMAL, v), 0xFF4D4D4D);  // 0.3
}

TEST_F(Lighting, UnlitAndScreenSpaceVerticesKeepTheirColours) {
    SetDirectional(0, {0, 0, 1}, {0.1f, 0.1f, 0.1f, 0});
    device_->SetRenderState(D3DRS_LIGHTING, 0);
    ExpectColorNear(DrawPoint(D3DFVF_XYZ | D3DFVF_DIFFUSE, Vertex().F(0).F(0).F(0.5f).D(0x80123456)), 0x80123456);
    ExpectColorNear(DrawPoint(D3DFVF_XYZ, Vertex().F(0).F(0).F(0.5f)), 0xFFFFFFFF);  // no colour: white
    device_->SetRenderState(D3DRS_LIGHTING, 1);
    ExpectColorNear(DrawPoint(D3DFVF_XYZRHW | D3DFVF_DIFFUSE, Vertex().F(3).F(4).F(0.5f).F(1).D(0xFF00FF00), 3, 4),
                    0xFF00FF00);
}

class Blending : public Lighting {
protected:
    Blending() { device_->SetRenderState(D3DRS_LIGHTING, 0); }
};

TEST_F(Blending, OneWeightMixesTheFirstTwoWorldMatrices) {
    device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    const D3DMATRIX m0 = Translation(0.5f, 0, 0), m1 = Translation(-0.5f, 0.5f, 0);
    device_->SetTransform(D3DTS_WORLDMATRIX(0), &m0);
    device_->SetTransform(D3DTS_WORLDMATRIX(1), &m1);
    // 0.25 M0 + 0.75 M1: x = 0.125 - 0.375 = -0.25, y = 0.375.
    DrawPoint(D3DFVF_XYZB1, Vertex().F(0).F(0).F(0.5f).F(0.25f), 6, 5);
    EXPECT_EQ(device_->Pixel(6, 5), 0xFFFFFFFFu);
    // Blending off: the world matrix alone.
    device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    DrawPoint(D3DFVF_XYZB1, Vertex().F(0).F(0).F(0.5f).F(0.25f), 12, 8);
    EXPECT_EQ(device_->Pixel(12, 8), 0xFFFFFFFFu);
}

TEST_F(Blending, IndexedBlendingReadsTheIndicesLowByteFirst) {
    device_->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 1);
    device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    const D3DMATRIX m2 = Translation(0.5f, 0, 0), m3 = Translation(0, 0.5f, 0), m255 = Translation(-0.75f, 0, 0);
    device_->SetTransform(D3DTS_WORLDMATRIX(2), &m2);
    device_->SetTransform(D3DTS_WORLDMATRIX(3), &m3);
    device_->SetTransform(D3DTS_WORLDMATRIX(255), &m255);
    const DWORD fvf = D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4;  // one weight and the indices
    struct Case {
        float weight;
        DWORD indices;
        int x, y;
    };
    const Case cases[] = {
        {1.0f, 0x00000302, 12, 8},  // index 0 = 2
        {0.0f, 0x00000302, 8, 4},   // index 1 = 3
        {0.5f, 0x00000302, 10, 6},
        {1.0f, 0x000000FF, 2, 8},  // the last matrix of the palette
    };
    for (const Case& c : cases) {
        DrawPoint(fvf, Vertex().F(0).F(0).F(0.5f).F(c.weight).D(c.indices), c.x, c.y);
        EXPECT_EQ(device_->Pixel(c.x, c.y), 0xFFFFFFFFu) << c.weight << " " << std::hex << c.indices;
    }
    // 0WEIGHTS: the matrix of index 0 alone.
    device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_0WEIGHTS);
    DrawPoint(D3DFVF_XYZB1 | D3DFVF_LASTBETA_UBYTE4, Vertex().F(0).F(0).F(0.5f).D(0x00000003), 8, 4);
    EXPECT_EQ(device_->Pixel(8, 4), 0xFFFFFFFFu);
}

TEST_F(Blending, NormalsAreBlendedLikePositions) {
    device_->SetRenderState(D3DRS_LIGHTING, 1);
    SetDirectional(0, {0, 0, 1}, {1, 1, 1, 0});
    device_->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 1);
    device_->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    D3DMATRIX flip = Translation(0, 0, 0);  // turns the normal away from the light
    flip._33 = -1.0f;
    flip._43 = 1.0f;  // and keeps z = 0.5 at 0.5
    device_->SetTransform(D3DTS_WORLDMATRIX(1), &flip);
    const DWORD fvf = D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL;
    auto vertex = [](float w) { return Vertex().F(0).F(0).F(0.5f).F(w).D(0x00000100).F(0).F(0).F(-1); };
    ExpectColorNear(DrawPoint(fvf, vertex(1.0f)), 0xFFFFFFFF);   // matrix 0
    ExpectColorNear(DrawPoint(fvf, vertex(0.0f)), 0xFF000000);   // matrix 1: facing away
    ExpectColorNear(DrawPoint(fvf, vertex(0.75f)), 0xFF808080);  // 0.75 - 0.25
}

class TexCoords : public Lighting {
protected:
    TexCoords() {
        device_->SetRenderState(D3DRS_LIGHTING, 0);
        IDirect3DTexture8* raw = nullptr;
        device_->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw);
        texture_.reset(raw);
        D3DLOCKED_RECT r;
        texture_->LockRect(0, &r, nullptr, 0);
        static_cast<std::uint32_t*>(r.pBits)[0] = 0xFF000000;
        static_cast<std::uint32_t*>(r.pBits)[1] = 0xFFFFFFFF;
        texture_->UnlockRect(0);
        device_->SetTexture(0, texture_.get());
    }
    TexturePtr texture_;
};

TEST_F(TexCoords, TextureTransformMovesTwoDimensionalCoordinatesByTheThirdRow) {
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_TEX1;
    const Vertex v = Vertex().F(0).F(0).F(0.5f).F(0.25f).F(0.5f);
    EXPECT_EQ(DrawPoint(fvf, v), 0xFF000000u);
    D3DMATRIX t = Translation(0, 0, 0);
    t._31 = 0.5f;  // (u, v, 1, 0): the third row translates
    device_->SetTransform(D3DTS_TEXTURE0, &t);
    EXPECT_EQ(DrawPoint(fvf, v), 0xFF000000u);  // not applied while TEXTURETRANSFORMFLAGS is 0
    device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    EXPECT_EQ(DrawPoint(fvf, v), 0xFFFFFFFFu);
}

TEST_F(TexCoords, IndexChoosesTheSetAndGeneratedCoordinatesComeFromCameraSpace) {
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_TEX2;
    const Vertex v = Vertex().F(0).F(0).F(0.5f).F(0.25f).F(0.5f).F(0.75f).F(0.5f);
    EXPECT_EQ(DrawPoint(fvf, v), 0xFF000000u);
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    EXPECT_EQ(DrawPoint(fvf, v), 0xFFFFFFFFu);
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 5);  // a set the vertex lacks reads (0, 0)
    EXPECT_EQ(DrawPoint(fvf, v), 0xFF000000u);
    // Camera-space position: u = x. At x = 0.125 (pixel 9) u is 0.625: the white texel.
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    EXPECT_EQ(DrawPoint(D3DFVF_XYZ, Vertex().F(0.625f).F(0).F(0.5f), 13, 8), 0xFFFFFFFFu);
    EXPECT_EQ(DrawPoint(D3DFVF_XYZ, Vertex().F(0.375f).F(0).F(0.5f), 11, 8), 0xFF000000u);
}

}  // namespace
}  // namespace ms
