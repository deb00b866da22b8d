#include "edit/load_progress.h"

namespace ms {

namespace {
constexpr std::chrono::milliseconds kReportInterval(50);
}

LoadProgressReport::LoadProgressReport(ui::Controls& controls, const std::string& text)
    : progress_(controls.BeginProgress(text, true)), next_(std::chrono::steady_clock::now() + kReportInterval) {}

LoadProgress LoadProgressReport::Callback() {
    return [this](std::uint64_t done, std::uint64_t total) {
        if (!progress_) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now < next_) return true;
        next_ = now + kReportInterval;
        return progress_->Update(static_cast<std::int64_t>(done), static_cast<std::int64_t>(total));
    };
}

std::string FileErrorText(const std::string& path, const Status& status) {
    const std::string& reason = status.message();
    if (reason.find(path) != std::string::npos) return reason;
    return path + ": " + reason;
}

}  // namespace ms
