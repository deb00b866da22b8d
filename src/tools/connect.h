#pragma once
// Connect and Connect Shadow: copying meshes of the Model into the Scene.
//
// Connect copies a mesh node's vertices and indices into the Scene's pools, gives it a
// GeometryRecord and a SceneMaterial, moves it into the skeleton's space and hangs a DrawNode on a
// bone's mesh chain at the given threshold. A mesh whose layout carries MATRIX_INDICES becomes a
// skinned mesh: its weights come from the bone envelopes, a palette of the bones it uses is built
// and a "BlendedMesh_" program sets up indexed vertex blending. Any other mesh is bound rigidly to
// the picked bone or, with none picked, to the bone nearest to its centre.
//
// Connect Shadow builds a shadow volume from a mesh node instead: every vertex twice (the copy is
// extruded away from the light when drawn), every edge a quad, hung on the bone's shadow chain
// with a "DropPrimitiveShadow" or "DropBlendedShadow_" program.
//
// Both only append to the Scene (equal textures, materials and program names are shared) and
// never change the Model. Each mesh node is connected completely or not at all: a refusal leaves
// the Scene as it was and says why.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "model/model.h"
#include "render/scene.h"

namespace ms {

// Told the vertices done so far of the total while a connect runs; returns false to cancel.
using ConnectProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

enum class ConnectKind { kMesh, kShadow };

// Connects mesh node `node` with `threshold` (the current level's distance squared). Refused:
// a node or geometry that does not exist, a scene without bones, vertices that do not match their
// layout, too few indices or an index beyond the vertices, a rigid mesh with no bone picked and
// none near it, a palette beyond 256 bones, a program name beyond 999 characters, a bone whose
// matrices cannot be inverted, pools that would outgrow 32-bit offsets.
Status Connect(const Model& model, Scene& scene, std::int32_t node, float threshold);

// Builds the shadow volume of mesh node `node`. Refused as Connect, and also: a source of more
// than 32768 vertices (the doubled vertices must stay within 16-bit indices), a skinned palette
// beyond 128 bones (the extruded copies use palette positions + P in a byte), a primitive type
// outside 1 .. 6. Strips, fans and line strips are expanded into the triangles or lines they
// draw, and their shadows are recorded as the lists of those.
Status ConnectShadow(const Model& model, Scene& scene, std::int32_t node, float threshold);

// What connecting a selection did.
struct ConnectOutcome {
    int connected = 0;                   // mesh nodes connected
    std::vector<std::string> refusals;   // "mesh node NAME: why", one per refused mesh node
    bool cancelled = false;              // the Scene is as it was before
    bool changed() const { return connected > 0; }
    // The refusals, one a line; empty when there were none.
    std::string Report() const;
};

// The "Connect" and "Connect Shadow" buttons: a mesh node selection connects that node; a frame
// selection connects every mesh node of the frame, then depth first those of its first child, that
// child's children and its following siblings (not the frame's own siblings). Each mesh node is
// connected on its own terms: a refused one is reported and the others still connect. When
// `progress` asks to cancel, everything this call appended is removed again.
ConnectOutcome ConnectSelection(const Model& model, Scene& scene, ConnectKind kind, std::int32_t index,
                                bool meshNode, float threshold, const ConnectProgress& progress = {});

// The mesh nodes a frame selection connects, in order.
std::vector<std::int32_t> FrameWalkMeshNodes(const Model& model, std::int32_t frame);

}  // namespace ms
