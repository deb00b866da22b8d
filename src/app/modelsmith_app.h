#pragma once
// The application: creates the main window, runs it modally and ends the program when it closes.
#include "model/model.h"
#include "render/scene.h"

namespace ms::app {

// Runs the editor on the process-wide Model and Scene; returns the process exit status.
int RunModelsmith(int argc, char** argv, Model& model, Scene& scene);

}  // namespace ms::app
