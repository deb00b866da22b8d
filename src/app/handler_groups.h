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
    ~HandlerGroups();

private:
    std::vector<std::unique_ptr<CommandHandler>> groups_;
    std::unique_ptr<MouseHandler> mouse_;
};

}  // namespace ms::app
