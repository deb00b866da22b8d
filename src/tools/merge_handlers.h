#pragma once
// The handlers of "Merging Tools": Connect, Connect Shadow, Connect Blank, Connect Blank Shadow,
// the level buttons and "Set Distance". The group owns the level table, which lives as long as
// the window.
#include "edit/editor_state.h"
#include "tools/connect.h"
#include "tools/merge_settings.h"

namespace ms {

class MergeToolsHandlers : public CommandHandler {
public:
    MergeToolsHandlers(EditorState& state, ui::Controls& controls) : state_(state), controls_(controls) {}

    void OnCommand(int id, int notification) override;
    const LevelTable& levels() const { return levels_; }

private:
    // Connects the selection with a progress dialog that may cancel; tells the user which mesh
    // nodes were refused and why; clears "Display" and redraws.
    void ConnectSelected(ConnectKind kind);
    // A blank level in the picked bone's chain; nothing when no bone is picked.
    void ConnectBlankLevel(Chain chain);
    void ShowLevel();

    EditorState& state_;
    ui::Controls& controls_;
    LevelTable levels_;
};

}  // namespace ms
