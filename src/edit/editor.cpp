#include "edit/editor.h"

#include <new>

#include "skin/bones.h"
#include "skin/envelope.h"

namespace ms {

void Editor::FinishPendingEdit() {
    if (!finishPending_ || finishing_) return;
    finishing_ = true;
    finishPending_();
    finishing_ = false;
}

Status Editor::Run(const std::string& name, const std::function<Status(Model&, Scene&)>& change) {
    FinishPendingEdit();
    // The state before, sharing with the last known state whatever did not change since. Between
    // commands only view state moves (the bones' screen positions, the picked bone; the world
    // matrices that a draw stores are compared), so the big pools are believed unchanged.
    Snapshot before = StateSnapshot::Take(model_, scene_, current_.get(), StateSnapshot::Trust::kPools);
    Status status;
    try {
        status = change(model_, scene_);
    } catch (const std::bad_alloc&) {
        // A command that ran out of memory half-way is a failed command: put everything back.
        Restore(*before);
        current_ = before;
        return Status::Error("there is not enough memory");
    }
    Snapshot after = StateSnapshot::Take(model_, scene_, before.get());
    if (!status) {
        if (!after->SameAs(*before)) Restore(*before);
        current_ = before;
        return status;
    }
    commandNames_.push_back(name);
    current_ = after;
    if (!after->SameAs(*before)) history_.Record(HistoryStep{name, std::move(before), std::move(after)});
    return status;
}

Status Editor::Undo() {
    FinishPendingEdit();
    if (!history_.CanUndo()) return Status::Error("there is nothing to undo");
    Restore(*history_.Undo().before);
    return Status::Ok();
}

Status Editor::Redo() {
    FinishPendingEdit();
    if (!history_.CanRedo()) return Status::Error("there is nothing to redo");
    Restore(*history_.Redo().after);
    return Status::Ok();
}

void Editor::Restore(const StateSnapshot& state) {
    state.Restore(model_, scene_);
    // The bones' screen positions follow the camera, which is view state and may have moved; the
    // picked bone's envelope wire is drawn from a buffer of its own.
    if (!scene_.bones.empty()) ProjectBones(scene_);
    RebuildEnvelopeWire(scene_);
    current_ = StateSnapshot::Take(model_, scene_, &state, StateSnapshot::Trust::kPools);
}

}  // namespace ms
