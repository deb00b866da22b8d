// The batch actions of the edit history: undo and redo.
#include "batch/batch.h"
#include "batch/batch_viewport.h"

namespace ms {
namespace {

// Undo or redo, then drop a selection that the restored Model no longer has, as the window does:
// a later Connect would otherwise take an index past the end for a selection and do nothing.
Status MoveInHistory(BatchContext& c, bool redo) {
    if (Status s = redo ? c.editor.Redo() : c.editor.Undo(); !s) return s;
    ModelSelection& selection = c.viewport->selection;
    const std::int32_t count = selection.kind == 0 ? c.model.FrameCount() : c.model.MeshNodeCount();
    if (selection.index >= count) selection.index = -1;
    return Status::Ok();
}

Status UndoAction(BatchContext& c, std::span<const std::string>) { return MoveInHistory(c, false); }
Status RedoAction(BatchContext& c, std::span<const std::string>) { return MoveInHistory(c, true); }

const BatchAction kEditActions[] = {
    {"undo", 0, 0, "", UndoAction},
    {"redo", 0, 0, "", RedoAction},
};

}  // namespace

std::span<const BatchAction> EditActions() { return kEditActions; }

}  // namespace ms
