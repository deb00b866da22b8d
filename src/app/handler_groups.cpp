#include "app/handler_groups.h"

#include "app/main_dialog_template.h"
#include "edit/control_ids.h"
#include "skin/skeleton_handlers.h"
#include "tools/material_tools_group.h"
#include "tools/merge_handlers.h"
#include "tools/mesh_tools_group.h"

namespace ms::app {

HandlerGroups::HandlerGroups(MainDialog& dialog) {
    // Each group: make it with the shared state and the window's controls, then route it.
    // groups_.push_back(std::make_unique<SomeHandlers>(dialog.state(), dialog));
    // dialog.RouteGroup(HandlerGroup::kSome, groups_.back().get());
    EditorState& state = dialog.state();
    groups_.push_back(std::make_unique<BoneButtons>(state, dialog));
    dialog.RouteGroup(HandlerGroup::kBones, groups_.back().get());
    auto envelope = std::make_unique<EnvelopeGroup>(state, dialog);
    auto camera = std::make_unique<CameraGroup>(state, dialog);
    dialog.RouteGroup(HandlerGroup::kEnvelope, envelope.get());
    dialog.RouteGroup(HandlerGroup::kCamera, camera.get());
    auto clientToScreen = [&dialog](int x, int y) {
        const QPoint p = dialog.mapToGlobal(QPoint(x, y));
        return ui::ScreenPoint{p.x(), p.y()};
    };
    mouse_ = std::make_unique<ViewportMouse>(state, dialog, *envelope, *camera, clientToScreen);
    dialog.SetMouseHandler(mouse_.get());
    state.showPickedBone = [&state, group = envelope.get()] {
        group->Enable(state.bonePicked);
        if (state.bonePicked) group->Ref();
    };
    groups_.push_back(std::move(envelope));
    groups_.push_back(std::move(camera));
    groups_.push_back(std::make_unique<MeshToolsHandlers>(state, dialog));
    dialog.RouteGroup(HandlerGroup::kMeshTools, groups_.back().get());
    groups_.push_back(std::make_unique<MaterialToolsHandlers>(state, dialog));
    dialog.RouteGroup(HandlerGroup::kMaterialTools, groups_.back().get());
    // The tolerance "Set" sits among the merge settings; routed after that group so it serves 1010.
    groups_.push_back(std::make_unique<ToleranceHandler>(state, dialog));
    dialog.Route({1010}, groups_.back().get());
    // "Merging Tools" but the tolerance "Set", which the handler above serves.
    groups_.push_back(std::make_unique<MergeToolsHandlers>(state, dialog));
    dialog.RouteGroup(HandlerGroup::kConnect, groups_.back().get());
    dialog.RouteGroup(HandlerGroup::kConnectShadow, groups_.back().get());
    dialog.Route({id::kConnectBlank, id::kConnectBlankShadow, id::kLevelDown, id::kLevelUp, id::kSetDistance},
                 groups_.back().get());
}

HandlerGroups::~HandlerGroups() = default;

}  // namespace ms::app
