#pragma once
// The state that several handler groups of the window share: the Model and the Scene, the device,
// the selection in the tree, the bone-picked flag and the viewport rectangle.
#include "model/model.h"
#include "platform/d3d8/d3d8.h"
#include "platform/ui/controls.h"
#include "render/frame.h"
#include "render/scene.h"

namespace ms::app {

struct EditorState {
    EditorState(Model& m, Scene& s) : model(m), scene(s) {}
    Model& model;
    Scene& scene;
    DevicePtr device;              // made on the viewport at start-up; lives until the end
    ModelSelection selection;      // the frame or mesh node chosen in the tree
    bool bonePicked = false;       // a bone was picked by the last left click in the viewport
    ui::ScreenRect viewportRect;   // screen coordinates of the viewport control
};

}  // namespace ms::app
