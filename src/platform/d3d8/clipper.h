#pragma once
// Clipping in homogeneous clip space, before the divide by w: against the near and far planes
// (when clipping is on), w >= kMinW, and the guard band for x and y.
#include "platform/d3d8/pipeline.h"

namespace ms {

// A triangle clipped to a convex polygon of up to 3 + 7 vertices.
struct ClippedPolygon {
    static constexpr int kMax = 12;
    int count = 0;
    OutVertex v[kMax];
    // edge[i]: the edge from v[i] to v[i + 1] (cyclic) is part of an edge of the triangle, not of
    // a clip plane.
    bool edge[kMax];
};

// Clips triangle a, b, c against the `planes` (ClipPlane bits) and projects the new vertices to
// the screen. `attrCount` attributes are interpolated. The result may be empty.
void ClipTriangle(const ScreenMapping& m, std::uint32_t planes, int attrCount, const OutVertex& a, const OutVertex& b,
                  const OutVertex& c, ClippedPolygon* out);

// Clips the segment a, b; false when nothing is left. *outA and *outB are projected.
bool ClipLine(const ScreenMapping& m, std::uint32_t planes, int attrCount, const OutVertex& a, const OutVertex& b,
              OutVertex* outA, OutVertex* outB);

}  // namespace ms
