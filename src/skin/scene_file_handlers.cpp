#include "skin/scene_file_handlers.h"

#include "edit/control_ids.h"
#include "edit/load_progress.h"
#include "skin/scene_file.h"

namespace ms {

void SceneFileHandlers::OnCommand(int id, int notification) {
    if (notification != ui::kClicked) return;
    if (id == id::kOpenScene) Open();
    if (id == id::kSaveScene) Save();
}

void SceneFileHandlers::Open() {
    ui::FileRequest request;
    request.filter = "Skin & Scene Files (*.skn, *.scn)|*.skn;*.scn|";
    request.initialName = lastPath_;
    request.mustExist = true;
    const std::optional<std::string> path = controls_.AskFile(request);
    if (path) {
        ui::WaitCursor wait(controls_);
        lastPath_ = *path;
        LoadProgressReport progress(controls_, "Loading " + *path);
        const LoadProgress report = progress.Callback();
        const Status status = state_.editor.Run(
            "Open", [&](Model&, Scene& s) { return OpenSceneFile(s, *path, SceneFileKindOf(*path), report); });
        if (!status) controls_.ShowMessage(FileErrorText(*path, status), "Modelsmith");
    }
    DrawFrame(state_, controls_);
}

void SceneFileHandlers::Save() {
    ui::FileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.defaultExtension = "skn";
    request.filter = "Skin Files (*.skn)|*.skn|Scene Files (*.scn)|*.scn||";
    request.initialName = lastPath_;
    const std::optional<std::string> path = controls_.AskFile(request);
    if (path) {
        ui::WaitCursor wait(controls_);
        lastPath_ = *path;
        if (Status s = SaveSceneFile(state_.scene, *path, SceneFileKindOf(*path)); !s)
            controls_.ShowMessage(FileErrorText(*path, s), "Modelsmith");
    }
    DrawFrame(state_, controls_);
}

}  // namespace ms
