#include "tools/merge_handlers.h"

#include "edit/control_ids.h"

namespace ms {

void MergeToolsHandlers::OnCommand(int id, int notification) {
    if (notification != ui::kClicked) return;
    switch (id) {
        case id::kConnect: ConnectSelected(ConnectKind::kMesh); return;
        case id::kConnectShadow: ConnectSelected(ConnectKind::kShadow); return;
        case id::kConnectBlank: ConnectBlankLevel(Chain::kMesh); return;
        case id::kConnectBlankShadow: ConnectBlankLevel(Chain::kShadow); return;
        case id::kLevelDown: LevelDown(levels_); break;
        case id::kLevelUp: LevelUp(levels_); break;
        case id::kSetDistance: SetDistance(levels_, controls_.Text(id::kDistanceEdit)); break;
        default: return;
    }
    ShowLevel();
}

void MergeToolsHandlers::ShowLevel() {
    controls_.SetText(id::kLevelText, LevelText(levels_));
    controls_.SetText(id::kDistanceEdit, DistanceText(levels_));
}

void MergeToolsHandlers::ConnectSelected(ConnectKind kind) {
    const ModelSelection selection = state_.selection;
    if (selection.index < 0) return;
    const bool meshes = kind == ConnectKind::kMesh;
    const char* command = meshes ? "Connect" : "Connect Shadow";
    ConnectOutcome outcome;
    {
        std::unique_ptr<ui::Progress> progress =
            controls_.BeginProgress(meshes ? "Connecting meshes..." : "Connecting shadows...", /*cancellable=*/true);
        const ConnectProgress report = [&](std::int64_t done, std::int64_t total) {
            return progress->Update(done, total);
        };
        state_.editor.Run(command, [&](Model& m, Scene& s) {
            outcome = ConnectSelection(m, s, kind, selection.index, selection.kind == 1, levels_.Threshold(), report);
            if (outcome.cancelled) return Status::Error("cancelled");
            return outcome.changed() || outcome.refusals.empty() ? Status::Ok() : Status::Error(outcome.Report());
        });
    }
    if (!outcome.refusals.empty()) {
        controls_.ShowMessage((outcome.connected > 0 ? "These mesh nodes were not connected:\n"
                                                     : "Nothing was connected:\n") +
                                  outcome.Report(),
                              command);
    }
    controls_.SetCheck(id::kDisplay, false);
    DrawFrame(state_, controls_);
}

void MergeToolsHandlers::ConnectBlankLevel(Chain chain) {
    const std::int32_t bone = state_.scene.pickedBone;
    if (bone < 0 || bone >= state_.scene.BoneCount()) return;
    const char* command = chain == Chain::kMesh ? "Connect Blank" : "Connect Blank Shadow";
    const Status s = state_.editor.Run(
        command, [&](Model&, Scene& scene) { return ConnectBlank(scene, chain, levels_.Threshold()); });
    if (!s) controls_.ShowMessage(s.message(), command);
    DrawFrame(state_, controls_);
}

}  // namespace ms
