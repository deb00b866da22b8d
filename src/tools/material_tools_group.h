#pragma once
// The handlers of the group "Material Tools" (the working copy of the current material, its
// texture stages, Add T, Set To All) and of the material colour tolerance "Set".
#include <optional>

#include "edit/editor_state.h"
#include "tools/material_tools.h"

namespace ms {

class MaterialToolsHandlers : public CommandHandler {
public:
    // Sets `state.showMaterial` to show the current material (`state.currentMaterial`).
    MaterialToolsHandlers(EditorState& state, ui::Controls& controls);
    void OnCommand(int id, int notification) override;

    // Reloads the working copy from the current material and shows it.
    void ShowMaterial();
    const MaterialToolsState& tools() const { return tools_; }

private:
    // The colour of the first checked radio button; nothing when all four are clear.
    std::optional<MaterialColour> CheckedColour() const;
    MaterialColour ShownColour() const { return CheckedColour().value_or(MaterialColour::kDiffuse); }
    void ShowView(const MaterialView& view);
    void ShowColours();
    void ReadFields();
    void AddTexture();

    EditorState& state_;
    ui::Controls& controls_;
    MaterialToolsState tools_;
};

// "Set" (1010): the Model's material colour tolerance from the field 1009 by the tolerance rule.
class ToleranceHandler : public CommandHandler {
public:
    ToleranceHandler(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {}
    void OnCommand(int id, int notification) override;

private:
    EditorState& state_;
    ui::Controls& controls_;
};

}  // namespace ms
