#pragma once
// The vertex stage several vertices at a time (8 with AVX2, else 4) for the set-up meshes are drawn with: one matrix,
// a normal, lighting by directional lights with the material's colours, no fog, texture
// coordinates passed through and a fixed point size. Every lane does the float operations of the
// general path in the same order, so the results are the same to the bit.
#include <cstdint>

#include "platform/d3d8/vertex_pipeline.h"

namespace ms {

// Whether ProcessVertexBatches can do this set-up's vertices.
bool CanBatchVertices(const VertexSetup& setup);

// Processes the first vertices of data (`stride` bytes apart) into out[], in groups of 8 or 4, as
// ProcessVertices does; returns how many it did (count rounded down to a whole number of groups,
// or 0 where the compiler has no vectors). The set-up must pass CanBatchVertices.
std::uint32_t ProcessVertexBatches(const VertexSetup& setup, const std::uint8_t* data, std::uint32_t stride,
                                   std::uint32_t count, OutVertex* out);

}  // namespace ms
