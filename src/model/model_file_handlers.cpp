#include "model/model_file_handlers.h"

#include <vector>

#include "edit/control_enabling.h"
#include "edit/control_ids.h"
#include "edit/load_progress.h"
#include "model/model_files.h"
#include "model/model_tree.h"
#include "skin/clear_bone_meshes.h"
#include "skin/skeleton_loader.h"

namespace ms {
namespace {


const char* const kModelFilter = "Model Files (*.x, *.gmf)|*.x;*.gmf|";
const char* const kGmfFilter = "Graphic Model Files (*.gmf)|*.gmf|";
const char* const kSkeletonFilter = "Model Files (*.x, *.gm)|*.x;*.gmf|";

ui::FileRequest OpenRequest(const char* filter, const std::string& initial) {
    ui::FileRequest r;
    r.filter = filter;
    r.initialName = initial;
    r.overwritePrompt = true;
    return r;
}

ui::FileRequest SaveRequest(const std::string& initial) {
    ui::FileRequest r = OpenRequest(kGmfFilter, initial);
    r.save = true;
    return r;
}

}  // namespace

ModelFileHandlers::ModelFileHandlers(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {
    state_.refreshTree = [this] { RefreshTree(); };
}

ModelFileHandlers::~ModelFileHandlers() { state_.refreshTree = nullptr; }

void ModelFileHandlers::OnCommand(int id, int notification) {
    if (id == id::kTree) {
        if (notification == ui::kSelChanged) OnTreeSelection();
        return;
    }
    if (notification != ui::kClicked) return;
    switch (id) {
        case id::kReplace: Replace(); break;
        case id::kMerge: Merge(); break;
        case id::kClearModel: ClearModel(); break;
        case id::kSaveModel: Save(); break;
        case id::kSaveModelAs: SaveAs(); break;
        case id::kClearScene: ClearSkeleton(); break;
        case id::kLoadSceleton: LoadSceleton(); break;
        case id::kClearMeshes:
        case id::kClearShadow: ClearMeshes(id); break;
        default: break;
    }
}

void ModelFileHandlers::RefreshTree() {
    controls_.TreeClear(id::kTree);
    std::vector<ui::TreeItem> parents;  // the last item placed at each depth
    for (const ModelTreeItem& item : BuildModelTree(state_.model)) {
        const ui::TreeItem parent = item.depth == 0 ? nullptr : parents[item.depth - 1];
        const ui::TreeItemData data{static_cast<std::int32_t>(item.kind), item.index};
        parents.resize(item.depth);
        parents.push_back(controls_.TreeAppendItem(id::kTree, parent, item.label, data));
    }
}

void ModelFileHandlers::OnTreeSelection() {
    const std::optional<ui::TreeItemData> item = controls_.TreeSelectedData(id::kTree);
    if (!item) return;  // the tree was emptied
    const bool frame = item->kind == static_cast<std::int32_t>(TreeKind::kFrame);
    const std::int32_t count = frame ? state_.model.FrameCount() : state_.model.MeshNodeCount();
    // An item of a model that has changed since the tree was filled finds nothing.
    state_.selection.index = item->index < count ? item->index : -1;
    state_.selection.kind = frame ? 0 : 1;
    if (frame) {
        EnableMeshControls(controls_, false);
    } else if (state_.showMeshNodeInfo) {
        state_.showMeshNodeInfo();
    }
    controls_.SetCheck(id::kDisplay, true);
    Redraw();
}

bool ModelFileHandlers::LoadModel(bool replace, const std::string& path) {
    ui::WaitCursor wait(controls_);
    LoadProgressReport progress(controls_, "Loading " + path);
    const LoadProgress report = progress.Callback();
    const Status status = state_.editor.Run(replace ? "Replace" : "Merge", [&](Model& m, Scene&) {
        return replace ? ReplaceModel(m, path, report) : LoadModelFile(m, path, report);
    });
    if (!status) Fail(path, status);
    return status.ok();
}

void ModelFileHandlers::ShowLoadedModel() {
    RefreshTree();
    state_.selection.kind = 0;
    state_.selection.index = -1;
    if (state_.model.MaterialCount() > 0) {
        EnableMaterialControls(controls_, true);
        state_.currentMaterial = 0;
        if (state_.showMaterial) state_.showMaterial();
    } else {
        EnableMaterialControls(controls_, false);
    }
}

void ModelFileHandlers::Replace() {
    // The Model is replaced only by a file that loaded: a cancel or a rejected file keeps it.
    const std::optional<std::string> path = controls_.AskFile(OpenRequest(kModelFilter, modelDialogPath_));
    if (path) {
        Redraw();
        modelDialogPath_ = *path;
        if (LoadModel(true, *path)) {
            if (!IsXExtension(*path)) modelPath_ = *path;
            // The mesh tools still hold a geometry of the model that is gone; no mesh node is
            // selected until the tree chooses one of the new model.
            EnableMeshControls(controls_, false);
            ShowLoadedModel();
        }
    }
    Redraw();
}

void ModelFileHandlers::Merge() {
    // Only Replace and the save dialogs name the file that Save writes: a merged file is one part
    // of the model, and saving the whole model over it would lose the original.
    const std::optional<std::string> path = controls_.AskFile(OpenRequest(kModelFilter, modelDialogPath_));
    if (path) {
        modelDialogPath_ = *path;
        {
            ui::WaitCursor wait(controls_);
            Redraw();
        }
        if (LoadModel(false, *path)) ShowLoadedModel();
    }
    Redraw();
}

void ModelFileHandlers::ClearModel() {
    state_.editor.Run("Clear", [](Model& m, Scene&) {
        ms::ClearModel(m);
        return Status::Ok();
    });
    RefreshTree();
    state_.selection.kind = 0;
    EnableMeshControls(controls_, false);
    state_.selection.index = -1;
    EnableMaterialControls(controls_, false);
    state_.currentMaterial = 0;
    Redraw();
}

void ModelFileHandlers::Save() {
    if (modelPath_.empty()) {
        SaveThroughDialog();
        return;
    }
    ui::WaitCursor wait(controls_);
    if (Status s = state_.model.SaveGmf(modelPath_); !s) Fail(modelPath_, s);
}

void ModelFileHandlers::SaveAs() {
    SaveThroughDialog();
    Redraw();
}

void ModelFileHandlers::SaveThroughDialog() {
    const std::optional<std::string> path = controls_.AskFile(SaveRequest(modelPath_));
    if (!path) return;
    ui::WaitCursor wait(controls_);
    Redraw();
    modelDialogPath_ = *path;
    if (Status s = state_.model.SaveGmf(*path); !s) {
        Fail(*path, s);
        return;
    }
    modelPath_ = *path;
    RefreshTree();
}

void ModelFileHandlers::ClearSkeleton() {
    ui::WaitCursor wait(controls_);
    state_.editor.Run("Clear", [](Model&, Scene& s) {
        s.Clear();
        return Status::Ok();
    });
    state_.bonePicked = false;
    for (int i = id::kEnvelopeFirst; i <= id::kEnvelopeLast; ++i) controls_.Enable(i, false);
    Redraw();
}

void ModelFileHandlers::LoadSceleton() {
    const std::optional<std::string> path = controls_.AskFile(OpenRequest(kSkeletonFilter, skeletonDialogPath_));
    if (path) {
        ui::WaitCursor wait(controls_);
        Redraw();
        skeletonDialogPath_ = *path;
        const bool everyFrame = controls_.IsChecked(id::kNoTerminationFrames);
        LoadProgressReport progress(controls_, "Loading " + *path);
        const LoadProgress report = progress.Callback();
        const Status status = state_.editor.Run(
            "Load Sceleton", [&](Model&, Scene& s) { return LoadSkeleton(s, *path, everyFrame, report); });
        if (!status) Fail(*path, status);
    }
    Redraw();
}

void ModelFileHandlers::ClearMeshes(int id) {
    const BoneChain chain = id == id::kClearMeshes ? BoneChain::kMeshes : BoneChain::kShadow;
    const std::int32_t picked = state_.scene.pickedBone;
    const std::int32_t bone = picked >= 0 && picked < state_.scene.BoneCount() ? picked : -1;
    state_.editor.Run(id == id::kClearMeshes ? "Clear Meshes" : "Clear Shadow",
                      [&](Model&, Scene& s) { return ClearBoneMeshes(s, chain, bone); });
    Redraw();
}

void ModelFileHandlers::Redraw() { DrawFrame(state_, controls_); }

void ModelFileHandlers::Fail(const std::string& path, const Status& status) {
    controls_.ShowMessage(FileErrorText(path, status), "Modelsmith");
}

}  // namespace ms
