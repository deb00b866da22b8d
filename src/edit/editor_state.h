#pragma once
// The state that several handler groups of the window share: the Editor with the Model and the
// Scene, the device, the selection in the tree, the bone-picked flag and the viewport rectangle;
// and the interfaces through which the window hands its commands and mouse messages to the
// handler groups. Nothing here depends on Qt.
#include <functional>

#include "edit/editor.h"
#include "platform/d3d8/d3d8.h"
#include "platform/ui/controls.h"
#include "render/frame.h"

namespace ms {

struct EditorState {
    EditorState(Model& m, Scene& s) : editor(m, s), model(m), scene(s) {}
    Editor editor;                 // every edit of the Model or the Scene runs through it
    Model& model;
    Scene& scene;
    DevicePtr device;              // made on the viewport at start-up; lives until the end
    ModelSelection selection;      // the frame or mesh node chosen in the tree
    bool bonePicked = false;       // a bone was picked by the last left click in the viewport
    ui::ScreenRect viewportRect;   // screen coordinates of the viewport control
    std::int32_t currentMaterial = 0;  // the material that the material tools show

    // How one handler group asks another to show what changed. Each is set by the group that
    // shows it and may be empty (in tests of a single group).
    std::function<void()> showMeshNodeInfo;  // mesh tools: the layout and values of the selected mesh node
    std::function<void()> showMaterial;      // material tools: the current material
    std::function<void()> refreshTree;       // model tree: rebuild from the Model
    std::function<void()> showPickedBone;    // envelope group: the picked bone's envelope, or disabled
};

// A group of handlers that serves some of the window's controls.
class CommandHandler {
public:
    virtual ~CommandHandler() = default;
    virtual void OnCommand(int id, int notification) = 0;
};

// The mouse messages of the window, in its client coordinates; the viewport lets them through.
class MouseHandler {
public:
    virtual ~MouseHandler() = default;
    virtual void OnLeftButtonDown(int x, int y) = 0;
    virtual void OnLeftButtonUp(int x, int y) = 0;
    virtual void OnRightButtonDown(int x, int y) = 0;
    virtual void OnRightButtonUp(int x, int y) = 0;
    virtual void OnMouseMove(int x, int y) = 0;
    // `delta`: 120 a notch, positive away from the user.
    virtual void OnMouseWheel(int delta) = 0;
};

// The "Display Options" as the controls show them now.
DisplayOptions ReadDisplayOptions(const ui::Controls& controls);

// Undo or redo one step (`redo` false: undo) and show the restored Model and Scene: a selection
// or current material that no longer exists is dropped, the tree, the mesh and material groups
// and the envelope group are shown anew, and a frame is drawn. Fails when there is nothing to do.
Status MoveInHistory(EditorState& state, ui::Controls& controls, bool redo);

// Draw frame: draws one frame from the display options of `controls`, the Scene and the Model,
// and presents it. Every handler calls it after a change.
void DrawFrame(EditorState& state, const ui::Controls& controls);

}  // namespace ms
