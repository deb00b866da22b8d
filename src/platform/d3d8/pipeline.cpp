#include "platform/d3d8/pipeline.h"

#include <cmath>

namespace ms {

float FogFactor(DWORD mode, float d, float start, float end, float density) {
    float f = 1.0f;
    switch (mode) {
        case 1:  // EXP
            f = std::exp(-d * density);
            break;
        case 2:  // EXP2
            f = std::exp(-(d * density) * (d * density));
            break;
        case 3:  // LINEAR
            f = end != start ? (end - d) / (end - start) : (d < end ? 1.0f : 0.0f);
            break;
        default: break;
    }
    return f > 0.0f ? (f < 1.0f ? f : 1.0f) : 0.0f;
}

std::uint32_t ClipCode(const ScreenMapping& m, float x, float y, float z, float w) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(w)) return kClipInvalid;
    std::uint32_t code = 0;
    if (m.clipNearFar) {
        if (z < 0.0f) code |= kClipNear;
        if (z > w) code |= kClipFar;
    }
    if (w < kMinW) code |= kClipW;
    if (x < -m.guardX * w) code |= kClipLeft;
    if (x > m.guardX * w) code |= kClipRight;
    if (y < -m.guardY * w) code |= kClipBottom;
    if (y > m.guardY * w) code |= kClipTop;
    return code;
}

std::uint32_t ViewCode(const ScreenMapping& m, float x, float y, float z, float w) {
    std::uint32_t code = 0;
    if (m.clipNearFar) {
        if (z < 0.0f) code |= kClipNear;
        if (z > w) code |= kClipFar;
    }
    if (w < kMinW) code |= kClipW;
    if (x < -w) code |= kClipLeft;
    if (x > w) code |= kClipRight;
    if (y < -w) code |= kClipBottom;
    if (y > w) code |= kClipTop;
    return code;
}

void ProjectToScreen(const ScreenMapping& m, OutVertex* v) {
    const float rhw = 1.0f / v->w;
    v->rhw = rhw;
    v->sx = m.x0 + (1.0f + v->x * rhw) * m.halfWidth;
    v->sy = m.y0 + (1.0f - v->y * rhw) * m.halfHeight;
    v->sz = m.minZ + v->z * rhw * m.zScale;
    SnapToGrid(v);
}

}  // namespace ms
