#include "app/handler_groups.h"

#include "app/main_dialog_template.h"
#include "edit/control_ids.h"
#include "model/model_file_handlers.h"
#include "skin/scene_file_handlers.h"
#include "skin/skeleton_handlers.h"
#include "tools/material_tools_group.h"
#include "tools/merge_handlers.h"
#include "tools/mesh_tools_group.h"

namespace ms::app {

HandlerGroups::HandlerGroups(MainDialog& dialog) : dialog_(dialog) {
    EditorState& state = dialog.state();
    // Keeps a group for the life of the window and routes the controls of `groups` to it.
    auto add = [&](std::unique_ptr<CommandHandler> handler, std::initializer_list<int> groups) {
        for (int group : groups) dialog.RouteGroup(group, handler.get());
        groups_.push_back(std::move(handler));
        return groups_.back().get();
    };

    add(std::make_unique<ModelFileHandlers>(state, dialog), {HandlerGroup::kModelFiles});
    add(std::make_unique<SceneFileHandlers>(state, dialog), {HandlerGroup::kSceneFiles});
    add(std::make_unique<MeshToolsHandlers>(state, dialog), {HandlerGroup::kMeshTools});
    add(std::make_unique<MaterialToolsHandlers>(state, dialog), {HandlerGroup::kMaterialTools});
    // "Merging Tools": Connect, Connect Shadow, the blank levels and the level settings; its
    // tolerance "Set" goes to the tolerance handler.
    CommandHandler* merge = add(std::make_unique<MergeToolsHandlers>(state, dialog),
                                {HandlerGroup::kConnect, HandlerGroup::kConnectShadow});
    dialog.Route({id::kConnectBlank, id::kConnectBlankShadow, id::kLevelDown, id::kLevelUp, id::kSetDistance}, merge);
    dialog.Route({1010}, add(std::make_unique<ToleranceHandler>(state, dialog), {}));

    add(std::make_unique<BoneButtons>(state, dialog), {HandlerGroup::kBones});
    auto* envelope = static_cast<EnvelopeGroup*>(add(std::make_unique<EnvelopeGroup>(state, dialog),
                                                     {HandlerGroup::kEnvelope}));
    auto* camera = static_cast<CameraGroup*>(add(std::make_unique<CameraGroup>(state, dialog), {HandlerGroup::kCamera}));
    auto clientToScreen = [&dialog](int x, int y) {
        const QPoint p = dialog.mapToGlobal(QPoint(x, y));
        return ui::ScreenPoint{p.x(), p.y()};
    };
    mouse_ = std::make_unique<ViewportMouse>(state, dialog, *envelope, *camera, clientToScreen);
    dialog.SetMouseHandler(mouse_.get());
    state.showPickedBone = [&state, envelope] {
        envelope->Enable(state.bonePicked);
        if (state.bonePicked) envelope->Ref();
    };
}

HandlerGroups::~HandlerGroups() {
    EditorState& state = dialog_.state();
    dialog_.SetMouseHandler(nullptr);
    state.editor.SetFinishPendingEdit(nullptr);
    state.refreshTree = state.showMeshNodeInfo = state.showMaterial = state.showPickedBone = nullptr;
}

}  // namespace ms::app
