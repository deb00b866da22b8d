#include "edit/history.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace ms {

void History::Record(HistoryStep step) {
    while (steps_.size() > next_) {
        bytes_ -= stepBytes_.back();
        steps_.pop_back();
        stepBytes_.pop_back();
    }
    // The state before a step holds its own copies of what view state changed since the last
    // command (the bones' screen positions after the camera moved): they count too.
    const std::size_t size =
        (step.before ? step.before->newBytes() : 0) + (step.after ? step.after->newBytes() : 0);
    steps_.push_back(std::move(step));
    stepBytes_.push_back(size);
    bytes_ += size;
    ++next_;
    while (bytes_ > budget_ && steps_.size() > 1) {
        bytes_ -= stepBytes_.front();
        steps_.pop_front();
        stepBytes_.pop_front();
        --next_;
    }
}

std::size_t History::BudgetFromEnvironment() {
    constexpr std::size_t kDefault = std::size_t{1} << 30;
    const char* text = std::getenv("MODELSMITH_UNDO_BUDGET");
    if (!text || !*text) return kDefault;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *text == '-') return kDefault;
    std::size_t scale = 1;
    if (std::strcmp(end, "K") == 0 || std::strcmp(end, "k") == 0) scale = std::size_t{1} << 10;
    else if (std::strcmp(end, "M") == 0 || std::strcmp(end, "m") == 0) scale = std::size_t{1} << 20;
    else if (std::strcmp(end, "G") == 0 || std::strcmp(end, "g") == 0) scale = std::size_t{1} << 30;
    else if (*end) return kDefault;
    // A budget beyond what can be counted is no limit rather than a small one.
    if (value > std::numeric_limits<std::size_t>::max() / scale) return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(value) * scale;
}

}  // namespace ms
