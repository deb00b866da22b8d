#pragma once
// The skeleton of the Scene: adding bones, setting up their hierarchy, bringing world matrices and
// positions up to date, projecting bones onto the viewport, and the bone edits (the "Bones :"
// buttons and the Translate and Rotate drag steps).
//
// Every function takes bone indices as they come and does nothing for one outside 0 .. count-1.
// Walks along sibling and child links visit each bone at most once, so damaged links cannot make
// them loop. Functions that write per-bone state expect `boneStates` to be as long as `bones`
// (GrowBoneStates makes it so) and skip bones without a state.
#include <cstdint>

#include "platform/d3dx/d3dx8math.h"
#include "render/scene.h"

namespace ms {

constexpr float kDefaultBoneLength = 0.5f;

// Appends a bone and its four matrices (inverse bind, local, pose, world; local = `local`, the
// others identity) with empty node chains. A bone with a parent goes to the head of the parent's
// child chain; one without (parent -1) to the end of the top-bone chain that starts at bone 0.
// Does not touch `boneStates`. Returns the new bone's index.
std::int32_t AddBone(Scene& scene, std::int32_t parent, const D3DXMATRIX& local);

// The matrix at `index`, or identity for an index outside the matrices.
D3DXMATRIX SceneMatrix(const Scene& scene, std::int32_t index);

// Appends zeroed states until there is one per bone.
void GrowBoneStates(Scene& scene);

// For the chain that starts at `first` and every bone below it: root, world = local x parent
// world (local alone for the bones of that chain), inverse bind = inverse of world (left as it
// was when world is singular), and length = the x translation of the local matrix of the last
// child in the bone's child chain, or `defaultLength` for a bone without children.
void SetUpHierarchy(Scene& scene, std::int32_t first, float defaultLength);

// world = pose x local x parent; origin and end from world and length; then the same for the
// bone's children (with its world) and for its following siblings (with `parent`).
void UpdatePose(Scene& scene, std::int32_t bone, const D3DXMATRIX& parent);
// UpdatePose(bone 0, identity).
void UpdateAll(Scene& scene);

// Screen positions of every bone's origin and end through the Scene's view and projection
// matrices. A point whose w is 0 after the projection keeps its previous screen position, and so
// does one whose division by w leaves the floats.
void ProjectBones(Scene& scene);

// pose = RotationX(x) x RotationY(y) x RotationZ(z) of the bone's pose angles.
void SetPoseFromAngles(Scene& scene, std::int32_t bone);

// Pose angles 0, pose matrix identity, envelope matrices rebuilt from Dot 1 and Dot 2.
void ResetBone(Scene& scene, std::int32_t bone);

// Makes `bone` the picked bone (-1: none) and, when it is a bone, writes its envelope into the
// envelope wire. Any other index picks none.
void SelectBone(Scene& scene, std::int32_t bone);

// "a&X=0", "a&Y=0", "a&Z=0" (axis 0, 1, 2): when a bone is picked its angle about that axis
// becomes 0, the pose is rebuilt, all bones are updated and projected.
void ZeroPickedAngle(Scene& scene, int axis);
// "Reset Sceleton": resets every bone, updates all and projects.
void ResetSkeleton(Scene& scene);
// "Reset Bone": resets the picked bone, updates all and projects.
void ResetPickedBone(Scene& scene);

// The axis radios of the drags, in the order they are tested.
enum class DragAxis { kX, kY, kZ, kYZ, kZX, kXY };

// One step of a left drag on the picked bone, for a mouse movement of (dx, dy) window pixels
// since the last mouse message (y grows downwards). Translate moves the whole tree of the picked
// bone by adding to its root's local translation; Rotate adds to the picked bone's pose angles.
// Both update all bones and project them. Nothing happens while no bone is picked.
void TranslateDrag(Scene& scene, DragAxis axis, int dx, int dy);
void RotateDrag(Scene& scene, DragAxis axis, int dx, int dy);

}  // namespace ms
