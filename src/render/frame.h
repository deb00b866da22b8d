#pragma once
// The viewport: the device made on the viewport window, the lights and projection set when the
// device is handed to the Scene, and `Draw frame`, which clears, draws what the display options
// ask for (the part of the Model chosen in the tree, the Scene's meshes and shadows, the
// skeleton) and presents.
#include <cstdint>

#include "model/model.h"
#include "platform/d3d8/d3d8.h"
#include "render/scene.h"

namespace ms {

constexpr D3DCOLOR kClearColor = 0xFF7D7DC8;

// The "Display Options" of the window and the state they are drawn with.
struct DisplayOptions {
    bool triangles = true;  // fill mode radios: solid, else wireframe when `lines`, else points
    bool lines = false;
    bool alpha = false;
    bool noCulling = false;
    bool display = false;  // draw the chosen part of the Model
    bool drawMeshes = true;
    bool drawShadow = false;
    bool drawSceleton = true;
    bool bonesOnTop = false;
    bool drawEnvelope = false;
};

// The part of the Model chosen in the tree.
struct ModelSelection {
    std::int32_t index = -1;  // -1: nothing chosen
    std::int32_t kind = 0;    // 0: a frame, 1: a mesh node
};

// Creates the Direct3D object and a device for `window`, trying in turn a hardware device with
// software, mixed and software vertex processing, then the software and the reference device.
// Returns null when no device could be made.
DevicePtr CreateViewportDevice(HWND window);

// Hands the device to the Scene: the view from the camera, the fixed projection, normalised
// normals, two directional lights and no ambient light, lighting on.
void SetUpSceneDevice(Scene& scene, IDirect3DDevice8* device);

// Draws one frame into the Scene's device and presents it. Does nothing without a device.
void DrawFrame(Scene& scene, const Model& model, const ModelSelection& selection, bool bonePicked,
               const DisplayOptions& options);

// Parts of the frame, for tests.
void DrawSkeleton(Scene& scene, bool drawEnvelope);
void DrawChosenFrame(IDirect3DDevice8& device, const Model& model, std::int32_t target);
bool DrawChosenMeshNode(IDirect3DDevice8& device, const Model& model, std::int32_t node);

}  // namespace ms
