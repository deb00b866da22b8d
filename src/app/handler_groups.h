#pragma once
// The handler groups of the main window: made once with the window, each routed to the controls
// of its group, living as long as the window.
#include <memory>
#include <vector>

#include "app/main_dialog.h"

namespace ms::app {

class HandlerGroups {
public:
    // Makes every group and routes it on `dialog` (after StartUp).
    explicit HandlerGroups(MainDialog& dialog);
    // Takes the groups' hooks and the mouse handler off the state and the window, which outlive
    // them: an undo afterwards must not call into a group that is gone.
    ~HandlerGroups();

private:
    MainDialog& dialog_;
    std::vector<std::unique_ptr<CommandHandler>> groups_;
    std::unique_ptr<MouseHandler> mouse_;
};

}  // namespace ms::app
