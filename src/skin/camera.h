#pragma once
// The viewport camera: it orbits its target at distance L, angle AY around the vertical axis and
// elevation AXZ, looking at the target with +y up. Every change hands the new view or projection
// to the device (when the Scene has one) and projects the bones again, so picking always uses
// the current camera.
#include <string>

#include "base/status.h"
#include "platform/d3dx/d3dx8math.h"
#include "render/scene.h"

namespace ms {

// The fixed projection of the viewport: vertical field of view pi/4, aspect 1.33, near 0.1, far
// 1000.
constexpr float kFieldOfView = 0.7853982f;
constexpr float kAspectRatio = 1.33f;
constexpr float kNearPlane = 0.1f;
constexpr float kFarPlane = 1000.0f;

// eye = target + L x (cos AY cos AXZ, sin AXZ, sin AY cos AXZ).
D3DXVECTOR3 EyePosition(const CameraValues& camera);

// view = look-at from the eye to the target with up (0, 1, 0); stored, set on the device,
// bones projected.
void MakeView(Scene& scene);
// Stores the projection, sets it on the device, projects the bones.
void SetProjection(Scene& scene, const D3DXMATRIX& projection);
// The viewport's perspective with the given near and far planes, taken as they are.
D3DXMATRIX ViewportProjection(float nearPlane, float farPlane);
// What the window's start-up does when it hands the device over: the view from the camera's
// values and the fixed projection.
void StartView(Scene& scene);

// Angles in degrees; L is made positive, AXZ limited to +-1.570795 rad; the target is taken as
// given. Then make view.
void SetCamera(Scene& scene, float angleYDegrees, float angleXZDegrees, float distance, const D3DXVECTOR3& target);

struct CameraReading {
    float angleYDegrees;
    float angleXZDegrees;
    float distance;
    D3DXVECTOR3 target;
};
CameraReading GetCamera(const Scene& scene);

// The texts of the "Camera" edits.
struct CameraControls {
    std::string angleY, angleXZ, distance;  // 1128, 1129, 1130
    std::string targetX, targetY, targetZ;  // 1125, 1126, 1127
    std::string nearPlane = "0.1", farPlane = "1000";  // 1131, 1132
};

// Writes AY, AXZ (degrees), L and the target with "%.3f"; the near and far texts stay.
void ShowCamera(const Scene& scene, CameraControls& controls);
// "Set": the projection from the near and far texts, then the camera from the others. A text that
// is not a number keeps the current camera value, and 0.1 and 1000 for near and far. Values that
// would make a degenerate matrix are refused, each part on its own: near not above 0 or far not
// above near keeps the previous projection; a camera whose view would not be finite keeps the
// previous camera. The error says what was kept; whatever was valid is applied anyway.
Status SetCameraFromControls(Scene& scene, const CameraControls& controls);

enum class CameraPreset { kFront, kBack, kLeft, kRight, kBottom, kTop };
// The preset's angles with the current distance and target.
void ApplyCameraPreset(Scene& scene, CameraPreset preset);

// One step of the right-button drag for a mouse movement of (dx, dy) window pixels: AXZ limited to
// +-1.57, AY wrapped once into +-3.14.
void Orbit(Scene& scene, int dx, int dy);
// The wheel: L x 0.9 per notch of 120, limited to 0.001 .. 1000000.
void Zoom(Scene& scene, int wheelDelta);

}  // namespace ms
