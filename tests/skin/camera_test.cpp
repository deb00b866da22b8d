#include "skin/camera.h"

#include <cmath>
#include <cstring>
#include <map>

#include <gtest/gtest.h>

#include "skin/bones.h"

namespace ms {
namespace {

// Keeps the transforms it is given; every other call succeeds and does nothing.
class TransformDevice final : public IDirect3DDevice8 {
public:
    std::map<int, D3DMATRIX> transforms;
    int setCount = 0;

    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
    HRESULT BeginScene() override { return D3D_OK; }
    HRESULT EndScene() override { return D3D_OK; }
    HRESULT Present(const void*, const void*, void*, const void*) override { return D3D_OK; }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
        transforms[state] = *matrix;
        ++setCount;
        return D3D_OK;
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return D3D_OK; }
    HRESULT SetViewport(const D3DVIEWPORT8*) override { return D3D_OK; }
    HRESULT GetViewport(D3DVIEWPORT8*) override { return D3D_OK; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return D3D_OK; }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return D3D_OK; }
    HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return D3D_OK; }
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return D3D_OK; }
    HRESULT SetTexture(DWORD, IDirect3DTexture8*) override { return D3D_OK; }
    HRESULT SetMaterial(const D3DMATERIAL8*) override { return D3D_OK; }
    HRESULT GetMaterial(D3DMATERIAL8*) override { return D3D_OK; }
    HRESULT SetLight(DWORD, const D3DLIGHT8*) override { return D3D_OK; }
    HRESULT GetLight(DWORD, D3DLIGHT8*) override { return D3D_OK; }
    HRESULT LightEnable(DWORD, BOOL) override { return D3D_OK; }
    HRESULT GetLightEnable(DWORD, BOOL*) override { return D3D_OK; }
    HRESULT SetVertexShader(DWORD) override { return D3D_OK; }
    HRESULT GetVertexShader(DWORD*) override { return D3D_OK; }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return D3D_OK; }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT, const void*,
                                   UINT) override {
        return D3D_OK;
    }
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8**) override {
        return E_FAIL;
    }
};

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Camera, StartViewLooksFromFortyFiveDegreesOnTheNegativeZSide) {
    TransformDevice device;
    Scene s;
    s.device = &device;
    StartView(s);
    const D3DXVECTOR3 eye = EyePosition(s.camera);
    EXPECT_NEAR(eye.x, 0.0f, 1e-5f);
    EXPECT_NEAR(eye.y, 3.5355f, 1e-4f);
    EXPECT_NEAR(eye.z, -3.5355f, 1e-4f);
    D3DXVECTOR3 origin(0, 0, 0), inView;
    D3DXVec3TransformCoord(&inView, &origin, &s.view);
    EXPECT_NEAR(inView.z, 5.0f, 1e-5f);  // the target straight ahead at distance L
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1.33f, 0.1f, 1000.0f);
    EXPECT_TRUE(SameMatrix(s.projection, projection));
    EXPECT_TRUE(SameMatrix(device.transforms[D3DTS_VIEW], s.view));
    EXPECT_TRUE(SameMatrix(device.transforms[D3DTS_PROJECTION], s.projection));
}

TEST(Camera, SetCameraLimitsElevationAndMakesTheDistancePositive) {
    Scene s;
    SetCamera(s, 45, 120, -3, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(s.camera.angleXZ, 1.570795f);
    EXPECT_EQ(s.camera.distance, 3.0f);
    EXPECT_EQ(s.camera.target.z, 3.0f);
    CameraControls c;
    ShowCamera(s, c);
    EXPECT_EQ(c.angleXZ, "90.000");
    EXPECT_EQ(c.angleY, "45.000");
    EXPECT_EQ(c.distance, "3.000");
    EXPECT_EQ(c.targetY, "2.000");
    EXPECT_EQ(c.nearPlane, "0.1");
}

TEST(Camera, SetFromTheEditsKeepsWhatIsNotANumber) {
    Scene s;
    StartView(s);
    CameraControls c;
    ShowCamera(s, c);
    c.angleY = "30";
    c.distance = "far";
    c.targetX = " 2.5e0xyz";
    c.nearPlane = "1";
    c.farPlane = "";
    SetCameraFromControls(s, c);
    EXPECT_NEAR(s.camera.angleY, 30 * 0.01745328f, 1e-6f);
    EXPECT_NEAR(s.camera.angleXZ, 0.7854f, 1e-4f);
    EXPECT_EQ(s.camera.distance, 5.0f);
    EXPECT_EQ(s.camera.target.x, 2.5f);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1.33f, 1.0f, 1000.0f);
    EXPECT_TRUE(SameMatrix(s.projection, projection));
}

TEST(Camera, SetKeepsTheProjectionWhenNearAndFarMakeNone) {
    const std::pair<const char*, const char*> rows[] = {{"0", "1000"}, {"-1", "1000"}, {"5", "5"}, {"5", "2"}};
    for (const auto& [nearText, farText] : rows) {
        SCOPED_TRACE(std::string(nearText) + " " + farText);
        Scene s;
        StartView(s);
        const D3DXMATRIX projection = s.projection;
        const Status status = SetCameraFromControls(s, {"10", "20", "3", "1", "0", "0", nearText, farText});
        EXPECT_FALSE(status.ok());
        EXPECT_NE(status.message().find("previous projection is kept"), std::string::npos);
        EXPECT_TRUE(SameMatrix(s.projection, projection));
        EXPECT_EQ(s.camera.distance, 3.0f);  // the camera itself is still set
        EXPECT_EQ(s.camera.target.x, 1.0f);
    }
}

// Infinity, NaN and overflowing texts hold no float: they keep the field's value like any other
// text that is not a number.
TEST(Camera, SetTakesNonFiniteTextsAsNoNumber) {
    Scene s;
    StartView(s);
    const D3DXMATRIX projection = s.projection;
    ASSERT_TRUE(SetCameraFromControls(s, {"inf", "nan", "1e39", "-inf", "NAN", "0", "nan", "inf"}).ok());
    EXPECT_NEAR(s.camera.angleY, -1.570795f, 1e-5f);
    EXPECT_NEAR(s.camera.angleXZ, 0.7854f, 1e-5f);
    EXPECT_EQ(s.camera.distance, 5.0f);
    EXPECT_EQ(s.camera.target.x, 0.0f);
    EXPECT_TRUE(SameMatrix(s.projection, projection));  // near 0.1 and far 1000
}

TEST(Camera, SetKeepsTheCameraWhenItsViewWouldNotBeFinite) {
    Scene s;
    StartView(s);
    const D3DXMATRIX view = s.view;
    // The eye 3e38 beyond a target at 3e38 lies outside the floats.
    const Status status = SetCameraFromControls(s, {"0", "0", "3e38", "3e38", "0", "0", "0.1", "1000"});
    EXPECT_FALSE(status.ok());
    EXPECT_TRUE(SameMatrix(s.view, view));
    EXPECT_EQ(s.camera.distance, 5.0f);
    EXPECT_EQ(s.camera.target.x, 0.0f);
}

TEST(Camera, PresetsKeepDistanceAndTarget) {
    const struct {
        CameraPreset preset;
        float x, y, z;  // where the eye stands relative to the target, in units of L
    } rows[] = {{CameraPreset::kFront, 0, 0, -1}, {CameraPreset::kBack, 0, 0, 1},
                {CameraPreset::kLeft, -1, 0, 0},  {CameraPreset::kRight, 1, 0, 0},
                {CameraPreset::kTop, 0, 0.99985f, -0.01745f}, {CameraPreset::kBottom, 0, -0.99985f, -0.01745f}};
    for (const auto& r : rows) {
        Scene s;
        SetCamera(s, 10, 10, 2, D3DXVECTOR3(1, 1, 1));
        ApplyCameraPreset(s, r.preset);
        const D3DXVECTOR3 eye = EyePosition(s.camera);
        EXPECT_NEAR(eye.x, 1 + 2 * r.x, 1e-3f);
        EXPECT_NEAR(eye.y, 1 + 2 * r.y, 1e-3f);
        EXPECT_NEAR(eye.z, 1 + 2 * r.z, 1e-3f);
        EXPECT_EQ(s.camera.distance, 2.0f);
    }
}

TEST(Camera, OrbitWrapsAroundAndZoomScalesTheDistance) {
    Scene s;
    s.camera.angleY = 3.0f;
    Orbit(s, 300, 0);  // 300 pixels to the right
    EXPECT_NEAR(s.camera.angleY, -0.14f, 1e-5f);
    Orbit(s, 290, 0);
    EXPECT_NEAR(s.camera.angleY, -0.14f - 3.0353334f + 6.28f, 1e-4f);
    Orbit(s, 0, 1000);
    EXPECT_EQ(s.camera.angleXZ, 1.57f);

    for (int notch = 0; notch < 10; ++notch) Zoom(s, 120);
    EXPECT_NEAR(s.camera.distance, 1.7434f, 1e-3f);
    Zoom(s, -120 * 1000);
    EXPECT_EQ(s.camera.distance, 1000000.0f);
    Zoom(s, 120 * 1000);
    EXPECT_EQ(s.camera.distance, 0.001f);
}

TEST(Camera, EveryChangeProjectsTheBonesAgain) {
    Scene s;
    D3DXMATRIX local;
    D3DXMatrixTranslation(&local, 1, 0, 0);
    AddBone(s, -1, local);
    GrowBoneStates(s);
    SetUpHierarchy(s, 0, kDefaultBoneLength);
    UpdateAll(s);
    StartView(s);
    const float before = s.boneStates[0].originScreen[0];
    EXPECT_GT(before, 0.0f);
    ApplyCameraPreset(s, CameraPreset::kBack);  // seen from behind, +x is on the left
    EXPECT_LT(s.boneStates[0].originScreen[0], 0.0f);
}

}  // namespace
}  // namespace ms
