#pragma once
// The Editor: the one place through which every user edit of the Model and the Scene runs. Each
// edit is a named command (named after its control: "Replace", "Connect", ...), so that the window
// and the batch tool run the same commands, a failed command leaves both as they were, and each
// command that changed something becomes a step that can be undone and redone.
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "edit/history.h"
#include "model/model.h"
#include "render/scene.h"

namespace ms {

class Editor {
public:
    // `historyBudget`: bytes of state the undo history may hold.
    Editor(Model& model, Scene& scene, std::size_t historyBudget = History::BudgetFromEnvironment())
        : model_(model), scene_(scene), history_(historyBudget) {}
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // Read access, and view state that is not part of a step (camera, drawing state).
    Model& model() { return model_; }
    Scene& scene() { return scene_; }
    const Model& model() const { return model_; }
    const Scene& scene() const { return scene_; }

    // Runs `change` as the command `name`. When `change` fails (or runs out of memory), the Model
    // and the Scene are put back as they were before it and its status is returned. When it
    // succeeds and changed something, it becomes the newest step of the history.
    Status Run(const std::string& name, const std::function<Status(Model&, Scene&)>& change);

    // Puts the Model and the Scene back as they were before the newest step, or as they were
    // after the step that was undone last. Fail when there is nothing to undo or redo.
    Status Undo();
    Status Redo();

    // `finish` records an edit that the view has in progress (a drag of the mouse, which moves
    // bones before it becomes a command): it is called before every command, undo and redo, so
    // that the edit becomes its own step first instead of being mixed into another. Empty: none.
    void SetFinishPendingEdit(std::function<void()> finish) { finishPending_ = std::move(finish); }

    const History& history() const { return history_; }
    // The names of the commands that succeeded, oldest first.
    const std::vector<std::string>& commandNames() const { return commandNames_; }

private:
    void Restore(const StateSnapshot& state);
    void FinishPendingEdit();

    Model& model_;
    Scene& scene_;
    History history_;
    Snapshot current_;  // the state after the last command, undo or redo
    std::vector<std::string> commandNames_;
    std::function<void()> finishPending_;
    bool finishing_ = false;  // the pending edit is being recorded: its own command runs plainly
};

}  // namespace ms
