#include "skin/skeleton_handlers.h"

#include <utility>

#include "edit/control_ids.h"
#include "skin/skeleton_commands.h"

namespace ms {
namespace {

constexpr int kFunctionRadios = 4;

// The camera edits and the fields of CameraControls they hold.
std::pair<int, std::string CameraControls::*> const kCameraEdits[] = {
    {id::kCameraTargetX, &CameraControls::targetX},     {id::kCameraTargetX + 1, &CameraControls::targetY},
    {id::kCameraTargetX + 2, &CameraControls::targetZ}, {id::kCameraTargetX + 3, &CameraControls::angleY},
    {id::kCameraTargetX + 4, &CameraControls::angleXZ}, {id::kCameraTargetX + 5, &CameraControls::distance},
    {id::kNearEdit, &CameraControls::nearPlane},       {id::kFarEdit, &CameraControls::farPlane},
};

}  // namespace

void DisableEnvelopeControls(ui::Controls& controls) {
    for (int id = id::kEnvelopeFirst; id <= id::kEnvelopeLast; ++id) controls.Enable(id, false);
}

void BoneButtons::OnCommand(int id, int notification) {
    if (notification != ui::kClicked) return;
    Editor& editor = state_.editor;
    switch (id) {
        case id::kZeroAngleX:
        case id::kZeroAngleX + 1:
        case id::kZeroAngleX + 2: RunZeroAngle(editor, id - id::kZeroAngleX); break;
        case id::kResetSceleton: RunResetSkeleton(editor); break;
        case id::kResetBone: RunResetBone(editor); break;
        default: return;
    }
    DrawFrame(state_, controls_);
}

void EnvelopeGroup::OnCommand(int id, int notification) {
    if (notification != ui::kClicked) return;
    switch (id) {
        case id::kEnvelopeRef: Ref(); return;
        case id::kEnvelopeSet: {
            EnvelopeControls shown = Read();
            RunSetEnvelope(state_.editor, tools_, shown);
            Show(shown);
            break;
        }
        case id::kEnvelopeCopy:
            CopyEnvelope(tools_, Read());
            controls_.Enable(id::kEnvelopePaste, true);
            return;
        case id::kEnvelopePaste: {
            EnvelopeControls shown = Read();
            PasteEnvelope(tools_, shown);
            Show(shown);
            return;
        }
        case id::kRegenEnvelope: RunRegenEnvelope(state_.editor); break;
        case id::kRegenEnvelopes: RunRegenEnvelopes(state_.editor); break;
        default: return;
    }
    DrawFrame(state_, controls_);
}

void EnvelopeGroup::Enable(bool enabled) {
    for (int id = id::kEnvelopeFirst; id <= id::kEnvelopeLast; ++id)
        controls_.Enable(id, enabled && (id != id::kEnvelopePaste || tools_.clipboardValid));
}

void EnvelopeGroup::Ref() {
    EnvelopeControls shown = Read();
    RefEnvelope(state_.scene, tools_, shown);
    Show(shown);
}

EnvelopeControls EnvelopeGroup::Read() const {
    EnvelopeControls c;
    for (int i = 0; i < 10; ++i) c.texts[i] = controls_.Text(id::kDot1X + i);
    for (int r = 0; r < kFunctionRadios; ++r) c.radios[r] = controls_.IsChecked(id::kFunctionFirst + r);
    c.normalCheck = controls_.IsChecked(id::kNormalCheck);
    return c;
}

void EnvelopeGroup::Show(const EnvelopeControls& shown) {
    for (int i = 0; i < 10; ++i) controls_.SetText(id::kDot1X + i, shown.texts[i]);
    // Clear first: checking a radio of the group unchecks the others anyway.
    for (int r = 0; r < kFunctionRadios; ++r)
        if (!shown.radios[r]) controls_.SetCheck(id::kFunctionFirst + r, false);
    for (int r = 0; r < kFunctionRadios; ++r)
        if (shown.radios[r]) controls_.SetCheck(id::kFunctionFirst + r, true);
    controls_.SetCheck(id::kNormalCheck, shown.normalCheck);
}

void CameraGroup::OnCommand(int id, int notification) {
    if (notification != ui::kClicked) return;
    if (id >= id::kCameraFront && id < id::kCameraFront + 6) {
        ApplyCameraPreset(state_.scene, static_cast<CameraPreset>(id - id::kCameraFront));
    } else if (id == id::kCameraSet) {
        CameraControls typed;
        for (const auto& [control, field] : kCameraEdits) typed.*field = controls_.Text(control);
        if (Status s = SetCameraFromControls(state_.scene, typed); !s) controls_.ShowMessage(s.message(), "Modelsmith");
    } else {
        return;
    }
    ShowValues();
    DrawFrame(state_, controls_);
}

void CameraGroup::ShowValues() {
    CameraControls shown;
    ShowCamera(state_.scene, shown);
    for (const auto& [control, field] : kCameraEdits)
        if (control != id::kNearEdit && control != id::kFarEdit) controls_.SetText(control, shown.*field);
}

ViewportMouse::ViewportMouse(EditorState& state, ui::Controls& controls, EnvelopeGroup& envelope, CameraGroup& camera,
                             ClientToScreen clientToScreen)
    : state_(state), controls_(controls), envelope_(envelope), camera_(camera),
      clientToScreen_(std::move(clientToScreen)) {
    state_.editor.SetFinishPendingEdit([this] { Apply(tools_.FinishDrag(state_.scene)); });
}

ViewportMouse::~ViewportMouse() { state_.editor.SetFinishPendingEdit(nullptr); }

MouseInput ViewportMouse::Input(int x, int y) const {
    MouseInput in;
    in.x = x;
    in.y = y;
    in.point = MapToViewport(clientToScreen_(x, y), state_.viewportRect);
    in.tool = ToolFromRadios(controls_.IsChecked(id::kTranslate), controls_.IsChecked(id::kRotate));
    std::array<bool, 6> axes{};
    for (int i = 0; i < 6; ++i) axes[i] = controls_.IsChecked(id::kAxisX + i);
    in.axis = AxisFromRadios(axes);
    return in;
}

void ViewportMouse::Apply(const MouseOutcome& outcome) {
    if (outcome.finishedDrag) RunDragEdit(state_.editor, *outcome.finishedDrag);
    if (outcome.pick != PickChange::kNone) {
        state_.bonePicked = outcome.pick == PickChange::kPickedBone;
        envelope_.Enable(state_.bonePicked);
        if (state_.bonePicked) envelope_.Ref();
    }
    if (outcome.cameraMoved) camera_.ShowValues();
    if (outcome.cursor) controls_.SetCursorResource(*outcome.cursor);
    if (outcome.redraw) DrawFrame(state_, controls_);
}

void ViewportMouse::OnLeftButtonDown(int x, int y) { Apply(tools_.LeftButtonDown(state_.scene, Input(x, y))); }
void ViewportMouse::OnLeftButtonUp(int x, int y) { Apply(tools_.LeftButtonUp(state_.scene, Input(x, y))); }
void ViewportMouse::OnRightButtonDown(int x, int y) { Apply(tools_.RightButtonDown(state_.scene, Input(x, y))); }
void ViewportMouse::OnRightButtonUp(int x, int y) { Apply(tools_.RightButtonUp(state_.scene, Input(x, y))); }
void ViewportMouse::OnMouseMove(int x, int y) { Apply(tools_.MouseMove(state_.scene, Input(x, y))); }

void ViewportMouse::OnMouseWheel(int delta) {
    Zoom(state_.scene, delta);
    camera_.ShowValues();
    DrawFrame(state_, controls_);
}

}  // namespace ms
