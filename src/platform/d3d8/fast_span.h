#pragma once
// Shading loops for the set-ups the editor draws with, chosen once per draw: at most one texture
// stage (SELECTARG1, SELECTARG2, MODULATE or ADD of the diffuse, current, texture, factor and
// specular colours), point or linear filtering without mip levels, wrap, clamp or mirror
// addressing, the specular add, depth test, alpha test, blending and write masks; no fog, no
// stencil. They draw exactly the pixels of the general loop, several at a time.
#include "platform/d3d8/pixel_pipeline.h"

namespace ms {

// The fast loop for this set-up, or null when only the general loop draws it.
RowsFunction ChooseFastRows(const PixelSetup& setup);

}  // namespace ms
