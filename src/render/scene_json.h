#pragma once
// The whole Scene as a JSON document: every record and field of its arrays, the picked bone and
// the camera.
#include "base/json.h"
#include "render/scene.h"

namespace ms {

Json SceneToJson(const Scene& scene);

}  // namespace ms
