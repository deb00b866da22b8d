#pragma once
// Rasterization of screen-space triangles, lines and points by the Direct3D rules: pixel
// centres at integer coordinates; a triangle covers a pixel whose centre is inside it, or on a
// top or left edge (so two triangles sharing an edge cover each pixel once); positions snapped
// to 1/256 pixel; lines by the diamond-exit rule; points as squares under the triangle rule.
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
