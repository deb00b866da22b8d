#include "edit/editor_state.h"

#include "edit/control_ids.h"

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

void DrawFrame(EditorState& state, const ui::Controls& controls) {
    ms::DrawFrame(state.scene, state.model, state.selection, state.bonePicked, ReadDisplayOptions(controls));
}

}  // namespace ms
