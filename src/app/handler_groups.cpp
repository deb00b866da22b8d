#include "app/handler_groups.h"

#include "app/main_dialog_template.h"
#include "edit/control_ids.h"
#include "tools/merge_handlers.h"

namespace ms::app {

HandlerGroups::HandlerGroups(MainDialog& dialog) {
    // Each group: make it with the shared state and the window's controls, then route it.
    // groups_.push_back(std::make_unique<SomeHandlers>(dialog.state(), dialog));
    // dialog.RouteGroup(HandlerGroup::kSome, groups_.back().get());
    // "Merging Tools" (the tolerance "Set", 1010, belongs to the material tolerance's handlers).
    groups_.push_back(std::make_unique<MergeToolsHandlers>(dialog.state(), dialog));
    dialog.RouteGroup(HandlerGroup::kConnect, groups_.back().get());
    dialog.RouteGroup(HandlerGroup::kConnectShadow, groups_.back().get());
    dialog.Route({id::kConnectBlank, id::kConnectBlankShadow, id::kLevelDown, id::kLevelUp, id::kSetDistance},
                 groups_.back().get());
}

HandlerGroups::~HandlerGroups() = default;

}  // namespace ms::app
