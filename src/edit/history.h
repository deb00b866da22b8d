#pragma once
// The history of steps for undo and redo: each step is a command's name with the state before
// and after it. States share what they did not change; the history keeps within a memory budget
// by forgetting its oldest steps.
#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "edit/state_snapshot.h"

namespace ms {

using Snapshot = std::shared_ptr<const StateSnapshot>;

struct HistoryStep {
    std::string name;
    Snapshot before;
    Snapshot after;
};

class History {
public:
    // `budget`: bytes of state that the steps may hold; the newest step is kept whatever its size.
    explicit History(std::size_t budget) : budget_(budget) {}

    // Adds a step after the current one; the steps that could have been redone are forgotten.
    void Record(HistoryStep step);

    bool CanUndo() const { return next_ > 0; }
    bool CanRedo() const { return next_ < steps_.size(); }
    // The step that Undo or Redo would take; only while CanUndo / CanRedo.
    const HistoryStep& UndoStep() const { return steps_[next_ - 1]; }
    const HistoryStep& RedoStep() const { return steps_[next_]; }
    // Moves over one step and returns it; only while CanUndo / CanRedo.
    const HistoryStep& Undo() { return steps_[--next_]; }
    const HistoryStep& Redo() { return steps_[next_++]; }

    std::size_t size() const { return steps_.size(); }
    std::size_t bytes() const { return bytes_; }
    std::size_t budget() const { return budget_; }

    // The budget from the environment variable MODELSMITH_UNDO_BUDGET (bytes, with an optional
    // K, M or G suffix), else 1 GiB.
    static std::size_t BudgetFromEnvironment();

private:
    std::deque<HistoryStep> steps_;
    std::deque<std::size_t> stepBytes_;
    std::size_t next_ = 0;  // steps before it can be undone, the rest redone
    std::size_t bytes_ = 0;
    std::size_t budget_;
};

}  // namespace ms
