#pragma once
// The state that several handler groups of the window share: the Model, the selection in the
// tree, the bone-picked flag and the viewport rectangle.
#include "model/model.h"
#include "platform/ui/controls.h"

namespace ms::app {

struct EditorState {
    explicit EditorState(Model& m) : model(m) {}
    Model& model;
    int selectionIndex = -1;  // frame or mesh node chosen in the tree; -1 for none
    int selectionKind = 0;    // 0: a frame index, 1: a mesh-node index
    bool bonePicked = false;
    ui::ScreenRect viewportRect;  // screen coordinates of the viewport control
};

}  // namespace ms::app
