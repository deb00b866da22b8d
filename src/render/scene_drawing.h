#pragma once
// Drawing the Scene's meshes and shadow volumes as the engine draws them: each bone's two chains
// of draw nodes are walked by level of detail, and each chosen node runs its draw program (words
// with opcodes 0 to 7) or, without one, draws its own geometry with its own material.
//
// Indices that lead outside the Scene's arrays (a node, geometry, material, texture, matrix,
// entry point or program word that does not exist, a geometry whose vertices or indices run past
// the pools) draw nothing for that node and are never read.
#include <cstdint>

#include "render/scene.h"

namespace ms {

// The fixed values of the shadow pass.
D3DMATERIAL8 ShadowMaterial();
constexpr DWORD kShadowStencilRef = 252;
constexpr DWORD kShadowStencilMask = 255;
constexpr DWORD kShadowStencilWriteMask = 253;
constexpr int kLargestExtrudedPalette = 128;

// An opcode handler returns 0 to stop the program and 1 to go on.
using OpcodeHandler = int (*)(Scene& scene);
// The handlers of opcodes 0 to 7: end, draw, shade, world, palette, extrude, render state,
// texture stage state.
extern const OpcodeHandler kOpcodeHandlers[8];

// The level-of-detail measure of bone `bone` against the current view and projection; also sets
// the Scene's current bone position.
float LodMeasure(Scene& scene, std::int32_t bone);
// Walks the chain from `first`: a node whose threshold is >= the LodMeasure (or either is NaN) is
// drawn and the walk follows its next-when-drawn link; otherwise its next-when-skipped link.
// `meshWalk`: a node without program draws its own geometry.
void WalkChain(Scene& scene, std::int32_t first, bool meshWalk);
// 0 when `program` is -1; otherwise 1 (a number below -1 runs nothing).
int RunProgram(Scene& scene, std::int32_t program);
// Draws the current draw node with its material and textures, advances the program counter by
// one and returns 1.
int DrawCurrentNode(Scene& scene);
// Two triangles covering the viewport at view depth 1, drawn with the view and world transforms
// at identity and the z-buffer off; the view transform is restored afterwards.
void ShadeViewport(Scene& scene);

// The mesh pass and the stencil shadow pass.
void DrawMeshes(Scene& scene);
void DrawShadows(Scene& scene);

}  // namespace ms
