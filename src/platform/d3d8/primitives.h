#pragma once
// Primitive assembly and the per-primitive part of the pipeline: trivial rejection, clipping,
// culling, fill modes and flat shading, between the vertex stage and the rasterizer.
#include <cstdint>

#include "platform/d3d8/d3d8types.h"
#include "platform/d3d8/rasterizer.h"

namespace ms {

struct PrimitiveSetup {
    const ScreenMapping* screen = nullptr;
    RasterSetup raster;
    DWORD fillMode = 3;     // D3DFILL_*, for triangles
    bool lastPixel = true;  // LASTPIXEL: line lists and strips draw their end pixel
};

// Vertices that primitive `count` of `type` uses, or 0 for an unknown type or no primitive.
std::uint64_t VertexCountOf(D3DPRIMITIVETYPE type, std::uint64_t count);

// Where the vertices of primitives come from: slot(i) is the processed vertex for position i of
// the vertex sequence (the index list of an indexed draw, 0, 1, 2 ... otherwise).
template <typename SlotFn>
void DrawPrimitives(const PrimitiveSetup& setup, D3DPRIMITIVETYPE type, UINT firstPrimitive, UINT endPrimitive,
                    const OutVertex* vertices, SlotFn slot);

// The rows DrawTriangle(a, b, c) of a filled triangle may draw, *top..*bottom; false when it
// draws nothing. A triangle that needs clipping is clipped (without its attributes) to find them.
bool TriangleRows(const PrimitiveSetup& setup, const OutVertex& a, const OutVertex& b, const OutVertex& c, int* top,
                  int* bottom);

void DrawTriangle(const PrimitiveSetup& setup, const OutVertex& a, const OutVertex& b, const OutVertex& c,
                  const OutVertex& provoking);
void DrawLine(const PrimitiveSetup& setup, const OutVertex& a, const OutVertex& b, const OutVertex& provoking);
void DrawPoint(const PrimitiveSetup& setup, const OutVertex& v);

template <typename SlotFn>
void DrawPrimitives(const PrimitiveSetup& setup, D3DPRIMITIVETYPE type, UINT firstPrimitive, UINT endPrimitive,
                    const OutVertex* v, SlotFn slot) {
    for (UINT k = firstPrimitive; k < endPrimitive; ++k) {
        switch (type) {
            case D3DPT_POINTLIST: DrawPoint(setup, v[slot(k)]); break;
            case D3DPT_LINELIST: DrawLine(setup, v[slot(2 * k)], v[slot(2 * k + 1)], v[slot(2 * k)]); break;
            case D3DPT_LINESTRIP: DrawLine(setup, v[slot(k)], v[slot(k + 1)], v[slot(k)]); break;
            case D3DPT_TRIANGLELIST:
                DrawTriangle(setup, v[slot(3 * k)], v[slot(3 * k + 1)], v[slot(3 * k + 2)], v[slot(3 * k)]);
                break;
            case D3DPT_TRIANGLESTRIP:
                // Odd triangles swap their last two vertices so that all keep one winding.
                if (k % 2 == 0)
                    DrawTriangle(setup, v[slot(k)], v[slot(k + 1)], v[slot(k + 2)], v[slot(k)]);
                else
                    DrawTriangle(setup, v[slot(k)], v[slot(k + 2)], v[slot(k + 1)], v[slot(k)]);
                break;
            case D3DPT_TRIANGLEFAN:
                DrawTriangle(setup, v[slot(k + 1)], v[slot(k + 2)], v[slot(0)], v[slot(k + 1)]);
                break;
        }
    }
}

}  // namespace ms
