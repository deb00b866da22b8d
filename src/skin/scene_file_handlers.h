#pragma once
// The handlers of "Open" (1082) and "Save" (1083) in "Conntrol": skin and scene files.
#include <string>

#include "edit/editor_state.h"
#include "platform/ui/controls.h"

namespace ms {

class SceneFileHandlers : public CommandHandler {
public:
    SceneFileHandlers(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {}

    void OnCommand(int id, int notification) override;

    // The last file chosen in either dialog; the next dialog starts there.
    const std::string& lastPath() const { return lastPath_; }

private:
    void Open();
    void Save();

    EditorState& state_;
    ui::Controls& controls_;
    std::string lastPath_;
};

}  // namespace ms
