#pragma once
// modelsmith-batch: runs a sequence of actions, each a word followed by its arguments, on one
// Model, for asset pipelines and tests.
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "model/model.h"

namespace ms {

enum BatchExit { kBatchOk = 0, kBatchFailed = 1, kBatchUsage = 2 };

// What the actions work on, and where they print.
struct BatchContext {
    BatchContext(std::ostream& out_, std::ostream& err_) : out(out_), err(err_) {}
    Model model;
    std::ostream& out;
    std::ostream& err;
};

struct BatchAction {
    const char* name;
    int minArgs;
    int maxArgs;
    const char* usage;  // the arguments, for the help text
    Status (*run)(BatchContext& context, std::span<const std::string> args);
};

// Every action, in the order the help text lists them.
std::span<const BatchAction> BatchActions();

// Parses and runs `args` (without the program name). Returns the exit status: 0 when every
// action succeeded, 1 after a failed action (reported on `err`), 2 for a usage error.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ms
