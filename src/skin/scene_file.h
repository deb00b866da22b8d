#pragma once
// Skin files (.skn) and scene files (.scn): one chunked little-endian format that holds the
// Scene's arrays; a skin file adds every bone's BoneState after the chunks.
//
// Opening appends to the Scene: every index of the file is rebased onto the existing arrays,
// texture names already present are shared, entry-point names already present are renamed, and
// the file's top bones follow the existing ones. The whole file is read and checked before the
// Scene changes: a file that is truncated inside a chunk, holds a count it cannot hold, or an
// index outside the file's own records changes nothing, and the error names the chunk, the offset
// and the reason. So does a scene file whose bones fail the checks made when bones were already
// loaded. A file that simply ends without its end chunk is read as far as it goes.
#include <string>

#include "base/status.h"
#include "model/model.h"
#include "render/scene.h"

namespace ms {

enum class SceneFileKind { kScene, kSkin };

// The window's rule: a skin file when the second character of the extension is 'k' or 'K', else
// a scene file.
SceneFileKind SceneFileKindOf(const std::string& path);

// Writes the whole Scene; a skin file also gets the bone states. The file appears only when all
// of it was written; a save that fails leaves the old file as it was and says why.
Status SaveSceneFile(const Scene& scene, const std::string& path, SceneFileKind kind);

// Appends the file to the Scene, then brings the new bones up to date: a skin file's bones keep
// the stored lengths, envelopes and pose angles; a scene file's bones are set up afresh, reset and
// given default envelopes. Texture names are looked up relative to the file's folder. `progress`
// hears after each chunk; stopping it fails the open with the Scene unchanged.
Status OpenSceneFile(Scene& scene, const std::string& path, SceneFileKind kind, const LoadProgress& progress = {});

}  // namespace ms
