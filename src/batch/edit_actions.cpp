// The batch actions of the edit history: undo and redo.
#include "batch/batch.h"

namespace ms {
namespace {

Status UndoAction(BatchContext& c, std::span<const std::string>) { return c.editor.Undo(); }
Status RedoAction(BatchContext& c, std::span<const std::string>) { return c.editor.Redo(); }

const BatchAction kEditActions[] = {
    {"undo", 0, 0, "", UndoAction},
    {"redo", 0, 0, "", RedoAction},
};

}  // namespace

std::span<const BatchAction> EditActions() { return kEditActions; }

}  // namespace ms
