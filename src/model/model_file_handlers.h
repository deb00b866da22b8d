#pragma once
// The handlers of the model tree and of the model and skeleton file commands: the tree (1002),
// Replace, Merge, Clear, Save, Save As (1003-1007), and in "Conntrol" Clear (1084), Load
// Sceleton (1085), Clear Meshes (1089) and Clear Shadow (1090).
#include <string>

#include "edit/editor_state.h"
#include "platform/ui/controls.h"

namespace ms {

class ModelFileHandlers : public CommandHandler {
public:
    // Installs the tree refresh as `state.refreshTree`.
    ModelFileHandlers(EditorState& state, ui::Controls& controls);
    ~ModelFileHandlers() override;

    void OnCommand(int id, int notification) override;

    // Rebuilds the tree from the Model.
    void RefreshTree();

    const std::string& modelPath() const { return modelPath_; }
    const std::string& modelDialogPath() const { return modelDialogPath_; }
    const std::string& skeletonDialogPath() const { return skeletonDialogPath_; }

private:
    void OnTreeSelection();
    void Replace();
    void Merge();
    void ClearModel();
    void Save();
    void SaveAs();
    void SaveThroughDialog();
    void ClearSkeleton();
    void LoadSceleton();
    void ClearMeshes(int id);

    // Replaces the Model with `path` or merges it in, with a progress report; true when the Model
    // changed. A failure is shown in a message box.
    bool LoadModel(bool replace, const std::string& path);
    // After a load: the tree, no selection, the material controls and the current material.
    void ShowLoadedModel();
    void Redraw();
    void Fail(const std::string& path, const Status& status);

    EditorState& state_;
    ui::Controls& controls_;
    std::string modelDialogPath_;     // last choice in the model file dialogs
    std::string skeletonDialogPath_;  // last choice in the "Load Sceleton" dialog
    std::string modelPath_;           // the GMF file that "Save" writes without asking
};

}  // namespace ms
