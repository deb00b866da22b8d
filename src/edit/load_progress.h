#pragma once
// The progress of a file load, shown by the window: the load calls back often, the window hears
// of it about twenty times a second (and so stays painted and can offer Cancel).
#include <chrono>
#include <memory>
#include <string>

#include "model/model.h"
#include "platform/ui/controls.h"

namespace ms {

class LoadProgressReport {
public:
    // `text` describes the work, as the progress dialog shows it.
    LoadProgressReport(ui::Controls& controls, const std::string& text);
    // The callback to hand to the load; valid while this object lives.
    LoadProgress Callback();

private:
    std::unique_ptr<ui::Progress> progress_;
    std::chrono::steady_clock::time_point next_;
};

// The message that tells the user why the file at `path` could not be read or written: the
// reason the reader or writer gave, which names the file (the path is put in front otherwise).
std::string FileErrorText(const std::string& path, const Status& status);

}  // namespace ms
