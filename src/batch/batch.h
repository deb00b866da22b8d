#pragma once
// modelsmith-batch: runs a sequence of actions, each a word followed by its arguments, on one
// Model and one Scene, for asset pipelines and tests.
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include <memory>

#include "base/status.h"
#include "edit/editor.h"
#include "model/model.h"
#include "render/scene.h"
#include "skin/mouse_tools.h"
#include "tools/merge_settings.h"

namespace ms {

class BatchViewport;

enum BatchExit { kBatchOk = 0, kBatchFailed = 1, kBatchUsage = 2 };

// What the actions work on, and where they print. The Scene starts as the editor's does after
// start-up, with the viewport's off-screen device: the view made from the camera's start values
// and the fixed projection, so that bones project to the same screen positions.
struct BatchContext {
    // `tracePath` empty: no trace of the frames drawn.
    BatchContext(std::ostream& out_, std::ostream& err_, const std::string& tracePath = {});
    ~BatchContext();
    Model model;
    Scene scene;
    Editor editor{model, scene};  // every action that changes the Model or the Scene runs through it
    LevelTable levels;            // the level-of-detail distances and the current level of the merge tools
    std::ostream& out;
    std::ostream& err;
    std::unique_ptr<BatchViewport> viewport;  // made after the Scene and the Model, gone before them
    MouseTools mouse;  // the viewport's mouse state, kept from one mouse action to the next
};

struct BatchAction {
    const char* name;
    int minArgs;
    int maxArgs;
    const char* usage;  // the arguments, for the help text
    Status (*run)(BatchContext& context, std::span<const std::string> args);
};

// Every action, in the order the help text lists them: the tables of each area in turn.
std::span<const BatchAction> BatchActions();

// The tables of the areas, each in its own file.
std::span<const BatchAction> ModelActions();     // model files, skeleton and scene files (batch.cpp)
std::span<const BatchAction> ViewportActions();  // display options, selection, render (batch_viewport.cpp)
std::span<const BatchAction> LayoutActions();    // vertex layouts, property editor, materials (layout_actions.cpp)
std::span<const BatchAction> ConnectActions();   // Connect, Connect Shadow, level settings (connect_actions.cpp)
std::span<const BatchAction> SkeletonActions();  // bones, envelopes, camera, mouse tools (skeleton_actions.cpp)
std::span<const BatchAction> EditActions();      // undo and redo (edit_actions.cpp)

// Parses and runs `args` (without the program name). Returns the exit status: 0 when every
// action succeeded, 1 after a failed action (reported on `err`), 2 for a usage error.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ms
