#pragma once
// "Load Sceleton": bones from the frames of a model file.
#include <string>

#include "base/status.h"
#include "model/model.h"
#include "render/scene.h"

namespace ms {

// Reads the model file at `path` into a temporary Model (a path ending in 'x' or 'X' as a .x
// file, any other as GMF) and appends a bone for each frame that has a child, or for every frame
// with `everyFrame`; a frame that becomes no bone takes its subtree with it. A top frame named
// "Scene_Root" gives no bone: its children become the top bones. The new bones are set up with
// length 0.5 where they have no children, posed, reset, given default envelopes and projected.
// A file that cannot be read changes nothing and yields its error.
// `progress` hears how the file's load goes, as for Model loads.
Status LoadSkeleton(Scene& scene, const std::string& path, bool everyFrame, const LoadProgress& progress = {});

}  // namespace ms
