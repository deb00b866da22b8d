#pragma once
// The Editor: the one place through which every user edit of the Model and the Scene runs. Each
// edit is a named command (named after its control: "Replace", "Connect", ...), so that the window
// and the batch tool run the same commands and a history of steps can record them.
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "model/model.h"
#include "render/scene.h"

namespace ms {

class Editor {
public:
    Editor(Model& model, Scene& scene) : model_(model), scene_(scene) {}
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // Read access, and view state that is not part of a step (camera, picked bone, drawing state).
    Model& model() { return model_; }
    Scene& scene() { return scene_; }
    const Model& model() const { return model_; }
    const Scene& scene() const { return scene_; }

    // Runs `change` as the command `name`. `change` returns a failed status when it refused its
    // input; it must then have left the Model and the Scene as they were.
    Status Run(const std::string& name, const std::function<Status(Model&, Scene&)>& change);

    // The names of the commands that succeeded, oldest first.
    const std::vector<std::string>& commandNames() const { return commandNames_; }

private:
    Model& model_;
    Scene& scene_;
    std::vector<std::string> commandNames_;
};

}  // namespace ms
