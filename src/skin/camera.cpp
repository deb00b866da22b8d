#include "skin/camera.h"

#include <algorithm>
#include <cmath>

#include "skin/bones.h"
#include "skin/number_text.h"

namespace ms {
namespace {

constexpr float kDegreesToRadians = 0.01745328f;
constexpr float kRadiansToDegrees = 57.295826f;
constexpr float kAngleLimit = 1.570795f;
constexpr float kOrbitStep = 0.010466667f;  // radians per pixel

// The number a text holds, or `fallback` when it holds none.
float TextOr(const std::string& text, float fallback) {
    float value = fallback;
    ScanFloat(text, value);
    return value;
}

bool IsFinite(const D3DXMATRIX& m) {
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite((&m._11)[i])) return false;
    return true;
}

// The view a camera would make, as MakeView makes it.
D3DXMATRIX ViewOf(const CameraValues& camera) {
    const D3DXVECTOR3 eye = EyePosition(camera);
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &camera.target, &up);
    return view;
}

// The camera values that SetCamera makes of these arguments.
CameraValues CameraOf(float angleYDegrees, float angleXZDegrees, float distance, const D3DXVECTOR3& target) {
    CameraValues c;
    c.distance = std::fabs(distance);
    c.target = target;
    c.angleY = angleYDegrees * kDegreesToRadians;
    c.angleXZ = std::clamp(angleXZDegrees * kDegreesToRadians, -kAngleLimit, kAngleLimit);
    return c;
}

}  // namespace

D3DXVECTOR3 EyePosition(const CameraValues& c) {
    const float across = std::cos(c.angleXZ);
    return D3DXVECTOR3(c.target.x + c.distance * std::cos(c.angleY) * across,
                       c.target.y + c.distance * std::sin(c.angleXZ),
                       c.target.z + c.distance * std::sin(c.angleY) * across);
}

void MakeView(Scene& scene) {
    scene.view = ViewOf(scene.camera);
    if (scene.device) scene.device->SetTransform(D3DTS_VIEW, &scene.view);
    ProjectBones(scene);
}

void SetProjection(Scene& scene, const D3DXMATRIX& projection) {
    scene.projection = projection;
    if (scene.device) scene.device->SetTransform(D3DTS_PROJECTION, &scene.projection);
    ProjectBones(scene);
}

D3DXMATRIX ViewportProjection(float nearPlane, float farPlane) {
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, kFieldOfView, kAspectRatio, nearPlane, farPlane);
    return m;
}

void StartView(Scene& scene) {
    MakeView(scene);
    SetProjection(scene, ViewportProjection(kNearPlane, kFarPlane));
}

void SetCamera(Scene& scene, float angleYDegrees, float angleXZDegrees, float distance, const D3DXVECTOR3& target) {
    scene.camera = CameraOf(angleYDegrees, angleXZDegrees, distance, target);
    MakeView(scene);
}

CameraReading GetCamera(const Scene& scene) {
    const CameraValues& c = scene.camera;
    return {c.angleY * kRadiansToDegrees, c.angleXZ * kRadiansToDegrees, c.distance, c.target};
}

void ShowCamera(const Scene& scene, CameraControls& controls) {
    const CameraReading r = GetCamera(scene);
    controls.angleY = FormatFixed(r.angleYDegrees, 3);
    controls.angleXZ = FormatFixed(r.angleXZDegrees, 3);
    controls.distance = FormatFixed(r.distance, 3);
    controls.targetX = FormatFixed(r.target.x, 3);
    controls.targetY = FormatFixed(r.target.y, 3);
    controls.targetZ = FormatFixed(r.target.z, 3);
}

Status SetCameraFromControls(Scene& scene, const CameraControls& controls) {
    const CameraReading now = GetCamera(scene);
    std::string refused;
    const float nearPlane = TextOr(controls.nearPlane, kNearPlane), farPlane = TextOr(controls.farPlane, kFarPlane);
    const D3DXMATRIX projection = ViewportProjection(nearPlane, farPlane);
    if (nearPlane > 0.0f && farPlane > nearPlane && IsFinite(projection))
        SetProjection(scene, projection);
    else
        refused = "Near " + FormatFixed(nearPlane, 3) + " and far " + FormatFixed(farPlane, 3) +
                  " make no projection: near must be above 0 and far above near. The previous projection is kept.";
    const D3DXVECTOR3 target(TextOr(controls.targetX, now.target.x), TextOr(controls.targetY, now.target.y),
                             TextOr(controls.targetZ, now.target.z));
    const float angleY = TextOr(controls.angleY, now.angleYDegrees);
    const float angleXZ = TextOr(controls.angleXZ, now.angleXZDegrees);
    const float distance = TextOr(controls.distance, now.distance);
    if (IsFinite(ViewOf(CameraOf(angleY, angleXZ, distance, target)))) {
        SetCamera(scene, angleY, angleXZ, distance, target);
    } else {
        if (!refused.empty()) refused += "\n";
        refused += "The camera values are too large to make a view. The previous camera is kept.";
    }
    return refused.empty() ? Status::Ok() : Status::Error(refused);
}

void ApplyCameraPreset(Scene& scene, CameraPreset preset) {
    struct Angles {
        float y, xz;
    };
    static constexpr Angles kPresets[] = {{-90, 0}, {90, 0}, {180, 0}, {0, 0}, {-90, -89}, {-90, 89}};
    const Angles a = kPresets[static_cast<int>(preset)];
    SetCamera(scene, a.y, a.xz, scene.camera.distance, scene.camera.target);
}

void Orbit(Scene& scene, int dx, int dy) {
    CameraValues& c = scene.camera;
    c.angleXZ += static_cast<float>(dy) * kOrbitStep;
    c.angleY -= static_cast<float>(dx) * kOrbitStep;
    c.angleXZ = std::clamp(c.angleXZ, -1.57f, 1.57f);
    if (c.angleY > 3.14f)
        c.angleY -= 6.28f;
    else if (c.angleY < -3.14f)
        c.angleY += 6.28f;
    MakeView(scene);
}

void Zoom(Scene& scene, int wheelDelta) {
    CameraValues& c = scene.camera;
    c.distance *= std::pow(0.9f, static_cast<float>(wheelDelta) * 0.008333334f);
    c.distance = std::clamp(c.distance, 0.001f, 1000000.0f);
    MakeView(scene);
}

}  // namespace ms
