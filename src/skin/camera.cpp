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

}  // namespace

D3DXVECTOR3 EyePosition(const CameraValues& c) {
    const float across = std::cos(c.angleXZ);
    return D3DXVECTOR3(c.target.x + c.distance * std::cos(c.angleY) * across,
                       c.target.y + c.distance * std::sin(c.angleXZ),
                       c.target.z + c.distance * std::sin(c.angleY) * across);
}

void MakeView(Scene& scene) {
    const D3DXVECTOR3 eye = EyePosition(scene.camera);
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&scene.view, &eye, &scene.camera.target, &up);
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
    CameraValues& c = scene.camera;
    c.distance = std::fabs(distance);
    c.target = target;
    c.angleY = angleYDegrees * kDegreesToRadians;
    c.angleXZ = std::clamp(angleXZDegrees * kDegreesToRadians, -kAngleLimit, kAngleLimit);
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

void SetCameraFromControls(Scene& scene, const CameraControls& controls) {
    const CameraReading now = GetCamera(scene);
    const float nearPlane = TextOr(controls.nearPlane, kNearPlane), farPlane = TextOr(controls.farPlane, kFarPlane);
    SetProjection(scene, ViewportProjection(nearPlane, farPlane));
    const D3DXVECTOR3 target(TextOr(controls.targetX, now.target.x), TextOr(controls.targetY, now.target.y),
                             TextOr(controls.targetZ, now.target.z));
    SetCamera(scene, TextOr(controls.angleY, now.angleYDegrees), TextOr(controls.angleXZ, now.angleXZDegrees),
              TextOr(controls.distance, now.distance), target);
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
