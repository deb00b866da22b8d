#include "edit/editor.h"

namespace ms {

Status Editor::Run(const std::string& name, const std::function<Status(Model&, Scene&)>& change) {
    Status status = change(model_, scene_);
    if (status) commandNames_.push_back(name);
    return status;
}

}  // namespace ms
