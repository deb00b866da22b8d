#include "app/handler_groups.h"

#include "app/main_dialog_template.h"

namespace ms::app {

HandlerGroups::HandlerGroups(MainDialog& dialog) {
    // Each group: make it with the shared state and the window's controls, then route it.
    // groups_.push_back(std::make_unique<SomeHandlers>(dialog.state(), dialog));
    // dialog.RouteGroup(HandlerGroup::kSome, groups_.back().get());
    (void)dialog;
}

HandlerGroups::~HandlerGroups() = default;

}  // namespace ms::app
