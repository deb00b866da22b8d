#pragma once
// Values shared by the stages of the software pipeline: colours, the vertices that leave the
// vertex stage, and the mapping from clip space to the screen.
#include <cmath>
#include <cstdint>

#include "platform/d3d8/d3d8types.h"

namespace ms {

struct Color4 {
    float r, g, b, a;
};

inline Color4 ColorFromArgb(D3DCOLOR c) {
    constexpr float k = 1.0f / 255.0f;
    return {static_cast<float>((c >> 16) & 0xFF) * k, static_cast<float>((c >> 8) & 0xFF) * k,
            static_cast<float>(c & 0xFF) * k, static_cast<float>(c >> 24) * k};
}

// [0, 1] to 0..255, rounding; NaN gives 0.
inline std::uint32_t UnitToByte(float v) {
    v = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return static_cast<std::uint32_t>(v * 255.0f + 0.5f);
}

// floor() as an int, for values of any size: clamped to +-1e9, NaN gives -1e9.
inline int FloorToInt(float f) {
    if (!(f > -1.0e9f)) f = -1.0e9f;
    if (f > 1.0e9f) f = 1.0e9f;
    const int i = static_cast<int>(f);
    return i - (f < static_cast<float>(i) ? 1 : 0);
}

inline D3DCOLOR ArgbFromColor(const Color4& c) {
    return (UnitToByte(c.a) << 24) | (UnitToByte(c.r) << 16) | (UnitToByte(c.g) << 8) | UnitToByte(c.b);
}

// Attributes interpolated across a primitive, in this order: diffuse rgba, then (when the draw
// needs it) specular rgba, then the coordinates of each texture stage that samples: u, v and, for
// a projected stage, q.
constexpr int kMaxAttributes = 4 + 4 + 8 * 3;

// A vertex after transform and lighting. x, y, z, w are in clip space; sx, sy, sz, rhw are the
// screen position, valid when `clip` is 0.
struct OutVertex {
    float x, y, z, w;
    float sx, sy, sz, rhw;
    std::uint32_t clip;  // planes the vertex lies beyond that need clipping (ClipPlane bits)
    std::uint32_t view;  // view-volume planes the vertex lies beyond, for trivial rejection
    float psize;         // point size in pixels
    // The screen position snapped to 1/256 pixel (SnapToGrid); offGrid when it is too far out or
    // not finite, which drops the vertex's primitives.
    std::int32_t gridX, gridY;
    bool offGrid;
    float attr[kMaxAttributes];
};

// Screen coordinates beyond this (or not finite) are off the grid: clipping keeps every
// coordinate it produces within the guard band, far inside, so only numbers that overflowed on
// the way (a huge matrix, screen-space vertices from a file) come here.
constexpr float kMaxScreen = 1 << 22;

// Nearest multiple of 1/256 of a screen coordinate, in 1/256 pixel, ties upwards.
inline std::int32_t SnapCoordinate(float v) {
    const float t = v * 256.0f + 0.5f;
    const auto i = static_cast<std::int32_t>(t);
    return i - (t < static_cast<float>(i) ? 1 : 0);
}

// Fills the grid position from sx, sy.
inline void SnapToGrid(OutVertex* v) {
    v->offGrid = !(std::fabs(v->sx) <= kMaxScreen && std::fabs(v->sy) <= kMaxScreen);
    v->gridX = v->offGrid ? 0 : SnapCoordinate(v->sx);
    v->gridY = v->offGrid ? 0 : SnapCoordinate(v->sy);
}

// Clip planes. The side planes are a guard band well outside the viewport; beyond the viewport
// the rasterizer scissors.
enum ClipPlane : std::uint32_t {
    kClipNear = 1,  // z >= 0
    kClipFar = 2,   // z <= w
    kClipW = 4,     // w >= kMinW, keeps the divide safe when near clipping is off
    kClipLeft = 8,  // guard band
    kClipRight = 16,
    kClipBottom = 32,
    kClipTop = 64,
    kClipInvalid = 128,  // a coordinate is not finite: the primitive is dropped
};
constexpr float kMinW = 1e-6f;

// Viewport mapping of clip space to the screen: pixel centres at integer coordinates, y down.
struct ScreenMapping {
    float x0, y0;  // viewport X, Y
    float halfWidth, halfHeight;
    float minZ, zScale;    // depth = minZ + zScale * z / w
    float guardX, guardY;  // |x| <= guardX * w and |y| <= guardY * w stay in the rasterizer's range
    bool clipNearFar;      // CLIPPING render state, transformed vertices only
};

// The screen-linear planes of a primitive, value(x, y) = v + dx * (x - ox) + dy * (y - oy) at
// pixel centre (x, y). Depth is interpolated as is; the attribute planes hold attribute * rhw, so
// that dividing by the rhw plane gives perspective-correct values.
struct Interpolants {
    float ox, oy;
    double z, dzdx, dzdy;
    float rhw, drhwdx, drhwdy;
    int count;  // attributes in use
    float a[kMaxAttributes], adx[kMaxAttributes], ady[kMaxAttributes];
};

// Fog factor (1: no fog, 0: all fog colour) of D3DFOG_* `mode` at distance d.
float FogFactor(DWORD mode, float d, float start, float end, float density);

// Outcodes of a clip-space position against the guard band (and near and far when asked).
std::uint32_t ClipCode(const ScreenMapping& m, float x, float y, float z, float w);
// Outcodes against the view volume, for trivial rejection.
std::uint32_t ViewCode(const ScreenMapping& m, float x, float y, float z, float w);
// Screen position of a clip-space vertex; w must be at least kMinW.
void ProjectToScreen(const ScreenMapping& m, OutVertex* v);

}  // namespace ms
