#include "tools/material_tools_group.h"

#include "edit/control_ids.h"
#include "model/model.h"

namespace ms {
namespace {

// The controls of the group.
constexpr int kMaterialDown = 1039;
constexpr int kMaterialUp = 1040;
constexpr int kStageDown = 1041;
constexpr int kStageUp = 1042;
constexpr int kTextureDown = 1043;
constexpr int kTextureUp = 1044;
constexpr int kAddTexture = 1045;
constexpr int kRefresh = 1046;
constexpr int kUpdate = 1047;
constexpr int kRed = 1048;
constexpr int kGreen = 1049;
constexpr int kBlue = 1050;
constexpr int kAlpha = 1051;
constexpr int kDiffuse = 1052;
constexpr int kAmbient = 1053;
constexpr int kSpecular = 1054;
constexpr int kEmissive = 1055;
constexpr int kPower = 1056;
constexpr int kSetToAll = 1057;
constexpr int kTextureName = 1153;
constexpr int kMaterialCounter = 1154;
constexpr int kStageCounter = 1188;
constexpr int kToleranceSet = 1010;

constexpr int kColourFields[4] = {kRed, kGreen, kBlue, kAlpha};

const char* const kImageFilter = "Image Files (*.bmp, *.tga, *.dds)|*.bmp;*.tga;*.dds|All Files (*.*)|*.*|";

}  // namespace

MaterialToolsHandlers::MaterialToolsHandlers(EditorState& state, ui::Controls& controls)
    : state_(state), controls_(controls) {
    state_.showMaterial = [this] { ShowMaterial(); };
}

void MaterialToolsHandlers::OnCommand(int id, int notification) {
    const bool field = (id >= kRed && id <= kAlpha) || id == kPower;
    if (field) {
        if (notification == ui::kKillFocus && state_.model.MaterialCount() > 0) ReadFields();
        return;
    }
    if (notification != ui::kClicked) return;
    if (id == kAddTexture) {
        AddTexture();
        return;
    }
    if (state_.model.MaterialCount() == 0) return;  // nothing to edit
    switch (id) {
        case kMaterialDown:
        case kMaterialUp:
            MaterialToolsState::StepMaterial(id == kMaterialUp ? 1 : -1, state_.model, state_.currentMaterial);
            ShowMaterial();
            break;
        case kStageDown:
        case kStageUp:
            tools_.StepStage(id == kStageUp ? 1 : -1);
            controls_.SetText(kStageCounter,
                              tools_.View(state_.model, state_.currentMaterial, ShownColour()).stageText);
            controls_.SetText(kTextureName, tools_.TextureNameText(state_.model));
            break;
        case kTextureDown:
        case kTextureUp:
            tools_.StepTexture(id == kTextureUp ? 1 : -1, state_.model);
            controls_.SetText(kTextureName, tools_.TextureNameText(state_.model));
            break;
        case kRefresh: ShowMaterial(); break;
        case kUpdate:
            if (Status status = tools_.Update(state_.editor, state_.currentMaterial); !status) {
                controls_.ShowMessage(status.message(), "Update");
            }
            ShowMaterial();
            DrawFrame(state_, controls_);
            break;
        case kDiffuse:
        case kAmbient:
        case kSpecular:
        case kEmissive: ShowColours(); break;
        case kSetToAll:
            SetPowerToAll(state_.editor, controls_.Text(kPower));
            DrawFrame(state_, controls_);
            break;
        default: break;
    }
}

std::optional<MaterialColour> MaterialToolsHandlers::CheckedColour() const {
    if (controls_.IsChecked(kDiffuse)) return MaterialColour::kDiffuse;
    if (controls_.IsChecked(kSpecular)) return MaterialColour::kSpecular;
    if (controls_.IsChecked(kEmissive)) return MaterialColour::kEmissive;
    if (controls_.IsChecked(kAmbient)) return MaterialColour::kAmbient;
    return std::nullopt;
}

void MaterialToolsHandlers::ShowMaterial() {
    const MaterialView view = tools_.Show(state_.model, state_.currentMaterial, ShownColour());
    controls_.SetText(kMaterialCounter, view.counterText);
    controls_.SetText(kTextureName, view.textureName);
    ShowView(view);
}

void MaterialToolsHandlers::ShowColours() {
    ShowView(tools_.View(state_.model, state_.currentMaterial, ShownColour()));
}

// With no colour radio checked the colour fields show and edit no colour; Power still goes.
void MaterialToolsHandlers::ShowView(const MaterialView& view) {
    if (CheckedColour())
        for (int i = 0; i < 4; ++i) controls_.SetText(kColourFields[i], view.colour[i]);
    controls_.SetText(kPower, view.power);
}

void MaterialToolsHandlers::ReadFields() {
    std::array<std::string, 4> colour;  // empty: a component keeps its value
    if (CheckedColour())
        for (int i = 0; i < 4; ++i) colour[i] = controls_.Text(kColourFields[i]);
    tools_.ReadFields(colour, controls_.Text(kPower), ShownColour());
}

void MaterialToolsHandlers::AddTexture() {
    ui::FileRequest request;
    request.filter = kImageFilter;
    request.overwritePrompt = true;
    if (std::optional<std::string> path = controls_.AskFile(request)) {
        DrawFrame(state_, controls_);
        if (Status status = tools_.AddTexture(state_.editor, *path); !status) {
            controls_.ShowMessage(status.message(), "Add T");
        } else {
            controls_.SetText(kTextureName, tools_.TextureNameText(state_.model));
        }
    }
    DrawFrame(state_, controls_);
}

void ToleranceHandler::OnCommand(int id, int notification) {
    if (id != kToleranceSet || notification != ui::kClicked) return;
    std::string shown;
    SetTolerance(state_.editor, controls_.Text(id::kToleranceEdit), &shown);
    controls_.SetText(id::kToleranceEdit, shown);
}

}  // namespace ms
