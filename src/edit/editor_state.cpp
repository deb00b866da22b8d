#include "edit/editor_state.h"

#include "edit/control_enabling.h"
#include "edit/control_ids.h"
#include "skin/number_text.h"

namespace ms {

DisplayOptions ReadDisplayOptions(const ui::Controls& controls) {
    DisplayOptions o;
    o.triangles = controls.IsChecked(id::kTriangles);
    o.lines = controls.IsChecked(id::kLines);
    o.alpha = controls.IsChecked(id::kAlpha);
    o.noCulling = controls.IsChecked(id::kNoCulling);
    o.display = controls.IsChecked(id::kDisplay);
    o.drawMeshes = controls.IsChecked(id::kDrawMeshes);
    o.drawShadow = controls.IsChecked(id::kDrawShadow);
    o.drawSceleton = controls.IsChecked(id::kDrawSceleton);
    o.bonesOnTop = controls.IsChecked(id::kBonesOnTop);
    o.drawEnvelope = controls.IsChecked(id::kDrawEnvelope);
    return o;
}

Status MoveInHistory(EditorState& state, ui::Controls& controls, bool redo) {
    const float tolerance = state.model.MaterialTolerance();
    if (Status s = redo ? state.editor.Redo() : state.editor.Undo(); !s) return s;
    // The tolerance edit shows the Model's value; text typed there stays unless the step changed it.
    if (state.model.MaterialTolerance() != tolerance)
        controls.SetText(id::kToleranceEdit, FormatFixed(state.model.MaterialTolerance(), 3));
    ModelSelection& selection = state.selection;
    const std::int32_t count = selection.kind == 0 ? state.model.FrameCount() : state.model.MeshNodeCount();
    if (selection.index >= count) selection.index = -1;
    if (state.currentMaterial >= state.model.MaterialCount()) state.currentMaterial = 0;
    // The material controls serve a Model with materials, as after a load.
    EnableMaterialControls(controls, state.model.MaterialCount() > 0);
    state.bonePicked = state.scene.pickedBone >= 0 && state.scene.pickedBone < state.scene.BoneCount();
    for (const auto* show : {&state.refreshTree, &state.showMeshNodeInfo, &state.showMaterial, &state.showPickedBone})
        if (*show) (*show)();
    DrawFrame(state, controls);
    return Status::Ok();
}

void DrawFrame(EditorState& state, const ui::Controls& controls) {
    ms::DrawFrame(state.scene, state.model, state.selection, state.bonePicked, ReadDisplayOptions(controls));
}

}  // namespace ms
