#include "tools/mesh_tools_group.h"

#include "edit/control_enabling.h"
#include "edit/control_ids.h"
#include "model/model.h"
#include "tools/vertex_layout.h"

namespace ms {
namespace {

// The controls of the group.
constexpr int kNormal = 1013;
constexpr int kTexturesDown = 1014;
constexpr int kRefreshFvf = 1015;
constexpr int kUpdateFvf = 1016;
constexpr int kMaterialEdit = 1017;
constexpr int kMaterialSet = 1018;
constexpr int kPointSize = 1019;
constexpr int kDiffuse = 1020;
constexpr int kSpecular = 1021;
constexpr int kRhw = 1022;
constexpr int kBlendIndexed = 1023;
constexpr int kTexturesUp = 1024;
constexpr int kBlendDown = 1025;
constexpr int kBlendUp = 1026;
constexpr int kGo = 1027;
constexpr int kDotDown = 1028;
constexpr int kDotUp = 1029;
constexpr int kPropertyDown = 1030;
constexpr int kPropertyUp = 1031;
constexpr int kValue = 1032;
constexpr int kDec = 1033;
constexpr int kHex = 1034;
constexpr int kBin = 1035;
constexpr int kSet = 1036;
constexpr int kSetToAllDots = 1037;
constexpr int kRefresh = 1038;
constexpr int kBlendCount = 1142;
constexpr int kTextureCount = 1143;
constexpr int kDotText = 1146;
constexpr int kPropertyText = 1148;

}  // namespace

MeshToolsHandlers::MeshToolsHandlers(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {
    state_.showMeshNodeInfo = [this] { RefreshFvf(); };
}

void MeshToolsHandlers::OnCommand(int id, int notification) {
    if (notification != ui::kClicked) return;
    switch (id) {
        case kRefreshFvf: RefreshFvf(); break;
        case kUpdateFvf: UpdateFvf(); break;
        case kBlendIndexed: {
            const bool checked = controls_.IsChecked(kBlendIndexed);
            controls_.Enable(kBlendDown, checked);
            controls_.Enable(kBlendUp, checked);
            break;
        }
        case kTexturesDown:
        case kTexturesUp:
            properties_.StepTextureCount(id == kTexturesUp ? 1 : -1);
            controls_.SetText(kTextureCount, std::to_string(properties_.pendingTextureCount));
            break;
        case kBlendDown:
        case kBlendUp:
            properties_.StepBlendCount(id == kBlendUp ? 1 : -1);
            controls_.SetText(kBlendCount, std::to_string(properties_.pendingBlendCount));
            break;
        case kDotDown:
        case kDotUp:
            properties_.StepDot(id == kDotUp ? 1 : -1, state_.model);
            ShowDot();
            break;
        case kPropertyDown:
        case kPropertyUp: StepProperty(id == kPropertyUp ? 1 : -1); break;
        case kDec: ChangeRadix(10); break;
        case kHex: ChangeRadix(16); break;
        case kBin: ChangeRadix(2); break;
        case kSet: Set(false); break;
        case kSetToAllDots: Set(true); break;
        case kRefresh: {
            const MeshGeometry* g = state_.model.Geometry(properties_.geometry);
            if (g && g->vertexCount > 0) ShowValue();
            break;
        }
        case kMaterialSet: SetMaterial(); break;
        case kGo: GoToMaterial(); break;
        default: break;  // the check boxes are read by Update FVF
    }
}

bool MeshToolsHandlers::MeshNodeSelected() const {
    return state_.selection.kind == 1 && state_.selection.index >= 0 &&
           state_.selection.index < state_.model.MeshNodeCount();
}

void MeshToolsHandlers::RefreshFvf() {
    if (!MeshNodeSelected()) {
        EnableMeshControls(controls_, false);
        return;
    }
    const MeshInfo info = properties_.Refresh(state_.model, state_.selection.index);
    controls_.SetText(kPropertyText, PropertyName(kPropX));
    controls_.SetText(kMaterialEdit, info.materialText);
    ShowDot();
    controls_.SetCheck(kNormal, info.checks.normal);
    controls_.SetCheck(kDiffuse, info.checks.diffuse);
    controls_.SetCheck(kSpecular, info.checks.specular);
    controls_.SetCheck(kPointSize, info.checks.pointSize);
    controls_.SetCheck(kRhw, info.checks.rhw);
    controls_.SetCheck(kBlendIndexed, info.checks.blendIndexed);
    EnableMeshControls(controls_, true);
    controls_.SetText(kTextureCount, std::to_string(info.textureCount));
    controls_.SetText(kBlendCount, std::to_string(info.blendCount));
}

void MeshToolsHandlers::ShowDot() {
    const PropertyEditorState::DotView view = properties_.ShowDot(state_.model);
    controls_.SetText(kDotText, view.dotText);
    if (view.valueText) controls_.SetText(kValue, *view.valueText);
}

void MeshToolsHandlers::ShowValue() {
    if (std::optional<std::string> text = properties_.Value(state_.model)) controls_.SetText(kValue, *text);
}

void MeshToolsHandlers::StepProperty(int direction) {
    if (!properties_.StepProperty(direction, state_.model)) return;
    controls_.SetText(kPropertyText, PropertyName(properties_.property));
    ShowValue();
}

void MeshToolsHandlers::ChangeRadix(int radix) {
    if (std::optional<std::string> text = properties_.ChangeRadix(radix, controls_.Text(kValue))) {
        controls_.SetText(kValue, *text);
    }
}

void MeshToolsHandlers::Set(bool allDots) {
    Tell(properties_.Set(state_.editor, controls_.Text(kValue), allDots), allDots ? "Set To All Dots" : "Set");
}

void MeshToolsHandlers::UpdateFvf() {
    FvfChoice choice;
    choice.normal = controls_.IsChecked(kNormal);
    choice.pointSize = controls_.IsChecked(kPointSize);
    choice.diffuse = controls_.IsChecked(kDiffuse);
    choice.specular = controls_.IsChecked(kSpecular);
    choice.rhw = controls_.IsChecked(kRhw);
    choice.blendIndexed = controls_.IsChecked(kBlendIndexed);
    Tell(properties_.UpdateFvf(state_.editor, choice), "Update FVF");
    RefreshFvf();  // the viewport shows the new layout at the next frame another command draws
}

void MeshToolsHandlers::SetMaterial() {
    if (!MeshNodeSelected()) return;
    std::int32_t index = -1;
    if (SetMeshMaterial(state_.editor, state_.selection.index, controls_.Text(kMaterialEdit), &index)) {
        controls_.SetText(kMaterialEdit, std::to_string(index + 1));
    }
}

void MeshToolsHandlers::GoToMaterial() {
    const std::optional<std::int32_t> index =
        MaterialIndexFromText(controls_.Text(kMaterialEdit), state_.model.MaterialCount());
    if (!index) return;
    state_.currentMaterial = *index;
    controls_.SetText(kMaterialEdit, std::to_string(*index + 1));
    if (state_.showMaterial) state_.showMaterial();
}

void MeshToolsHandlers::Tell(const Status& status, const char* command) {
    if (status) return;
    std::string text = status.message();
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    controls_.ShowMessage(text + ".", command);
}

}  // namespace ms
