#pragma once
// Runs modelsmith-batch in the test's process and keeps what it printed.
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"

namespace ms::test {

struct Outcome {
    int status;
    std::string out, err;
};

inline Outcome Batch(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunBatch(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace ms::test
