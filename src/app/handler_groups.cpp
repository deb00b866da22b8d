#include "app/handler_groups.h"

#include "app/main_dialog_template.h"
#include "model/model_file_handlers.h"
#include "skin/scene_file_handlers.h"

namespace ms::app {

HandlerGroups::HandlerGroups(MainDialog& dialog) {
    // Each group: make it with the shared state and the window's controls, then route it.
    auto add = [&](int group, std::unique_ptr<CommandHandler> handler) {
        dialog.RouteGroup(group, handler.get());
        groups_.push_back(std::move(handler));
    };
    add(HandlerGroup::kModelFiles, std::make_unique<ModelFileHandlers>(dialog.state(), dialog));
    add(HandlerGroup::kSceneFiles, std::make_unique<SceneFileHandlers>(dialog.state(), dialog));
}

HandlerGroups::~HandlerGroups() = default;

}  // namespace ms::app
