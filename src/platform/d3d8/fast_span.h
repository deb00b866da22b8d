#pragma once
// Shading loops for the set-ups the editor draws with, chosen once per draw: at most one texture
// stage (SELECTARG1, SELECTARG2, MODULATE or ADD of the diffuse, current, texture, factor and
// specular colours), point or linear filtering without mip levels, wrap, clamp or mirror
// addressing, the specular add, depth test, alpha test, blending and write masks; no fog, no
// stencil. They draw exactly the pixels of the general loop, several at a time.
#include "platform/d3d8/pixel_pipeline.h"

namespace ms {

// The fast loop for this set-up, or null when only the general loop draws it; fills the
// set-up's texture level. `wide`: 8 pixels at a time where the processor can.
RowsFunction ChooseFastRows(PixelSetup& setup, bool wide = true);

// The blend of one pixel over the colour word under it, as the general loop blends.
std::uint32_t BlendPixel(const PixelSetup& setup, const Color4& src, std::uint32_t old);

}  // namespace ms
