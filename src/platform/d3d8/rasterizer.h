#pragma once
// Rasterization of screen-space triangles, lines and points by the Direct3D rules: pixel
// centres at integer coordinates; a triangle covers a pixel whose centre is inside it, or on a
// top or left edge (so two triangles sharing an edge cover each pixel once); positions snapped
// to 1/256 pixel; lines by the diamond-exit rule; points as squares under the triangle rule.
#include <algorithm>
#include <cstdint>

#include "platform/d3d8/d3d8states.h"
#include "platform/d3d8/pipeline.h"
#include "platform/d3d8/pixel_pipeline.h"

namespace ms {

struct RasterSetup {
    const PixelSetup* pixels = nullptr;
    // Where triangles collect their spans across a draw (one for each drawing thread); null: each
    // triangle shades its own at once.
    SpanBatch* batch = nullptr;
    int left = 0, top = 0, right = 0, bottom = 0;  // scissor: pixels left..right-1, top..bottom-1
    DWORD cullMode = 1;                            // D3DCULL_*: which winding is dropped
    int attrCount = 0;
    // Flat shading takes diffuse rgba and specular rgb from `flat` (the provoking vertex); the
    // specular alpha stays interpolated.
    bool flat = false;
    int specularAttr = -1;
    // Texture coordinates under the WRAPn render states: across a primitive they take the
    // shorter way round, so that 0.9 to 0.1 passes through 1.0 and not through 0.5.
    int wrapCount = 0;
    int wrapAttr[16] = {};
    // Point sprites: texture coordinates (0, 0) to (1, 1) across each point, at these attributes.
    bool pointSprite = false;
    int spriteCount = 0;
    int spriteAttr[8] = {};
    // Threads draw interleaved bands of rows: this setup draws the rows of band number `band`
    // of every `bandCount` (each band 2^kBandShift rows), so that no two threads share a pixel.
    static constexpr int kBandShift = 4;
    int band = 0, bandCount = 1;
    bool OwnsRow(int y) const { return bandCount == 1 || ((y >> kBandShift) % bandCount) == band; }
};

// floor(n / 256) and ceil(n / 256) of a fixed-point coordinate, in pixels.
inline std::int64_t FloorPixel(std::int64_t n) { return n >> 8; }
inline std::int64_t CeilPixel(std::int64_t n) { return -((-n) >> 8); }

// Twice the signed area of a snapped triangle: positive for clockwise ones (y down).
inline std::int64_t TwiceArea(const std::int64_t x[3], const std::int64_t y[3]) {
    return (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
}

// The pixels whose centres a snapped triangle may cover, within the scissor.
struct PixelBox {
    int xmin, xmax, ymin, ymax;
};

// The box of a triangle of TwiceArea `area` that is drawn: false when it has no area, is culled
// by its winding (clockwise on the screen is the front face) or covers no pixel of the scissor.
inline bool FrontBox(const RasterSetup& rs, const std::int64_t x[3], const std::int64_t y[3], std::int64_t area,
                     PixelBox* box) {
    if (area == 0) return false;
    if (area > 0 ? rs.cullMode == D3DCULL_CW : rs.cullMode == D3DCULL_CCW) return false;
    const std::int64_t xmin = std::max<std::int64_t>(rs.left, CeilPixel(std::min({x[0], x[1], x[2]})));
    const std::int64_t xmax = std::min<std::int64_t>(rs.right - 1, FloorPixel(std::max({x[0], x[1], x[2]})));
    const std::int64_t ymin = std::max<std::int64_t>(rs.top, CeilPixel(std::min({y[0], y[1], y[2]})));
    const std::int64_t ymax = std::min<std::int64_t>(rs.bottom - 1, FloorPixel(std::max({y[0], y[1], y[2]})));
    if (xmin > xmax || ymin > ymax) return false;
    *box = {static_cast<int>(xmin), static_cast<int>(xmax), static_cast<int>(ymin), static_cast<int>(ymax)};
    return true;
}

// The rows a triangle of snapped positions (on the grid) may draw, *top..*bottom; false when it
// draws nothing.
inline bool GridTriangleRows(const RasterSetup& rs, std::int64_t xa, std::int64_t xb, std::int64_t xc,
                             std::int64_t ya, std::int64_t yb, std::int64_t yc, int* top, int* bottom) {
    const std::int64_t x[3] = {xa, xb, xc}, y[3] = {ya, yb, yc};
    PixelBox box;
    if (!FrontBox(rs, x, y, TwiceArea(x, y), &box)) return false;
    *top = box.ymin;
    *bottom = box.ymax;
    return true;
}

// Twice the signed screen area, y down: positive for clockwise (front-facing) triangles.
float ScreenArea(const OutVertex& a, const OutVertex& b, const OutVertex& c);

// Draws a triangle of projected vertices (within the guard band); culls it by its winding.
void RasterTriangle(const RasterSetup& setup, const OutVertex& a, const OutVertex& b, const OutVertex& c,
                    const float* flat);
// For a triangle that needs no clipping: the rows RasterTriangle may draw, *top..*bottom;
// false when it draws nothing.
bool TriangleRows(const RasterSetup& setup, const OutVertex& a, const OutVertex& b, const OutVertex& c, int* top,
                  int* bottom);
// Draws the line from a to b; its last pixel only with lastPixel.
void RasterLine(const RasterSetup& setup, const OutVertex& a, const OutVertex& b, bool lastPixel, const float* flat);
// Draws a point of v.psize pixels square.
void RasterPoint(const RasterSetup& setup, const OutVertex& v);

}  // namespace ms
