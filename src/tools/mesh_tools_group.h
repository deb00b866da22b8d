#pragma once
// The handlers of the group "Mesh Info && Tools": the layout of the selected mesh node, Update
// FVF, the dots and Properties with their values, and the mesh node's material. Each reads the
// controls, calls the property editor and writes what it returns.
#include "edit/editor_state.h"
#include "tools/property_editor.h"

namespace ms {

class MeshToolsHandlers : public CommandHandler {
public:
    // Sets `state.showMeshNodeInfo` to Refresh FVF.
    MeshToolsHandlers(EditorState& state, ui::Controls& controls);
    void OnCommand(int id, int notification) override;

    // Refresh FVF: the selected mesh node's layout, first dot and material, or the group
    // disabled when no mesh node is selected.
    void RefreshFvf();
    const PropertyEditorState& properties() const { return properties_; }

private:
    void ShowDot();
    void ShowValue();
    void StepProperty(int direction);
    void ChangeRadix(int radix);
    void Set(bool allDots);
    void UpdateFvf();
    void SetMaterial();
    void GoToMaterial();
    bool MeshNodeSelected() const;
    void Tell(const Status& status, const char* command);

    EditorState& state_;
    ui::Controls& controls_;
    PropertyEditorState properties_;
};

}  // namespace ms
