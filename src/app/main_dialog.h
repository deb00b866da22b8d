#pragma once
// The main window: the dialog built from the main template, its start-up, its own handlers
// (close, Enter, move, About, the display options) and the routing of every other control to the
// handler group that serves it.
#include <map>

#include "edit/editor_state.h"
#include "platform/ui/dialog_window.h"

namespace ms::app {

using ms::CommandHandler;
using ms::EditorState;
using ms::MouseHandler;


class MainDialog : public ui::DialogWindow {
    Q_OBJECT
public:
    explicit MainDialog(EditorState& state);

    // The window start-up: device, Scene and Model set-up, icons and the first state of every
    // control. Runs once, before the window is shown.
    void StartUp();

    // Routes the commands of `ids` to `handler` (the handler outlives the window).
    void Route(std::initializer_list<int> ids, CommandHandler* handler);
    // Routes the commands of every control that `group` serves to `handler`.
    void RouteGroup(int group, CommandHandler* handler);
    // The handler of the mouse messages (none: they are ignored).
    void SetMouseHandler(MouseHandler* handler) { mouse_ = handler; }

    EditorState& state() { return state_; }
    // Draws one frame from the controls, the Scene and the Model, and presents it.
    void DrawFrame();
    void ShowAbout();
    // Ctrl+Z, and Ctrl+Y or Ctrl+Shift+Z: undo or redo the last step and show the result.
    void UndoStep();
    void RedoStep();
    // Writes the camera's values into the "Camera" edits.
    void ShowCameraValues();

protected:
    void OnOk() override {}
    void OnCancel() override;
    void OnMoved() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void OnCommandReceived(int id, int notification);
    void StoreViewportRect();

    EditorState& state_;
    std::map<int, CommandHandler*> routes_;
    MouseHandler* mouse_ = nullptr;
};

}  // namespace ms::app
