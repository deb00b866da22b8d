#pragma once
// "Clear Meshes" and "Clear Shadow": removes the draw nodes hung on the bones' mesh chains or
// shadow chains, and then the draw programs, geometries, materials and textures that no remaining
// draw node uses.
#include <cstdint>

#include "base/status.h"
#include "render/scene.h"

namespace ms {

enum class BoneChain { kMeshes, kShadow };

// Collects the draw nodes reachable from the chain heads of `bone` (every bone when `bone` is
// -1), following both links of each node, sets those heads to -1 and removes the nodes. The
// links of the remaining nodes and the other chain heads are renumbered as if the nodes were
// removed one by one in place: a link into a removed node ends up at the next remaining node.
// When every draw node goes, the geometries, materials and textures go with them, and every chain
// head becomes -1; otherwise the clean-up passes remove the unused programs (cutting their words,
// but not those another remaining entry starts at), geometries (cutting their vertex blocks and
// index runs), materials and textures. Runs in time linear in the size of the Scene (up to
// logarithmic factors). A bone out of range is refused with the Scene unchanged.
Status ClearBoneMeshes(Scene& scene, BoneChain chain, std::int32_t bone);

// The clean-up passes on their own, for the Scene as it is.
void RemoveUnusedPrograms(Scene& scene);
void RemoveUnusedGeometries(Scene& scene);
void RemoveUnusedMaterials(Scene& scene);

}  // namespace ms
