#include "platform/d3d8/primitives.h"

#include <algorithm>

#include "platform/d3d8/clipper.h"
#include "platform/d3d8/d3d8states.h"

namespace ms {

std::uint64_t VertexCountOf(D3DPRIMITIVETYPE type, std::uint64_t count) {
    if (count == 0) return 0;
    switch (type) {
        case D3DPT_POINTLIST: return count;
        case D3DPT_LINELIST: return 2 * count;
        case D3DPT_LINESTRIP: return count + 1;
        case D3DPT_TRIANGLELIST: return 3 * count;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return count + 2;
        default: return 0;
    }
}

bool TriangleRows(const PrimitiveSetup& s, const OutVertex& a, const OutVertex& b, const OutVertex& c, int* top,
                  int* bottom) {
    if (a.view & b.view & c.view) return false;
    const std::uint32_t planes = a.clip | b.clip | c.clip;
    if (planes & kClipInvalid) return false;
    if (!planes) return TriangleRows(s.raster, a, b, c, top, bottom);
    ClippedPolygon poly;
    ClipTriangle(*s.screen, planes, 0, a, b, c, &poly);
    bool any = false;
    for (int i = 1; i + 1 < poly.count; ++i) {
        int t = 0, u = 0;
        if (!TriangleRows(s.raster, poly.v[0], poly.v[i], poly.v[i + 1], &t, &u)) continue;
        *top = any ? std::min(*top, t) : t;
        *bottom = any ? std::max(*bottom, u) : u;
        any = true;
    }
    return any;
}

void DrawTriangle(const PrimitiveSetup& s, const OutVertex& a, const OutVertex& b, const OutVertex& c,
                  const OutVertex& provoking) {
    if (a.view & b.view & c.view) return;  // wholly beyond one plane of the view volume
    const std::uint32_t planes = a.clip | b.clip | c.clip;
    if (planes & kClipInvalid) return;
    const float* flat = s.raster.flat ? provoking.attr : nullptr;
    const int attrs = s.raster.attrCount;
    if (s.fillMode != D3DFILL_POINT && s.fillMode != D3DFILL_WIREFRAME) {
        if (!planes) {
            RasterTriangle(s.raster, a, b, c, flat);
            return;
        }
        ClippedPolygon poly;
        ClipTriangle(*s.screen, planes, attrs, a, b, c, &poly);
        for (int i = 1; i + 1 < poly.count; ++i) RasterTriangle(s.raster, poly.v[0], poly.v[i], poly.v[i + 1], flat);
        return;
    }
    // Points and wireframe: the (clipped) polygon, culled by its winding on the screen.
    ClippedPolygon poly;
    if (planes) {
        ClipTriangle(*s.screen, planes, attrs, a, b, c, &poly);
    } else {
        poly.count = 3;
        poly.v[0] = a;
        poly.v[1] = b;
        poly.v[2] = c;
        poly.edge[0] = poly.edge[1] = poly.edge[2] = true;
    }
    float area = 0.0f;
    for (int i = 1; i + 1 < poly.count; ++i) area += ScreenArea(poly.v[0], poly.v[i], poly.v[i + 1]);
    if (!(area != 0.0f)) return;
    if (area > 0.0f ? s.raster.cullMode == D3DCULL_CW : s.raster.cullMode == D3DCULL_CCW) return;
    if (s.fillMode == D3DFILL_WIREFRAME) {
        for (int i = 0; i < poly.count; ++i)
            if (poly.edge[i]) RasterLine(s.raster, poly.v[i], poly.v[(i + 1) % poly.count], false, flat);
        return;
    }
    for (const OutVertex* v : {&a, &b, &c})
        if (v->view == 0) RasterPoint(s.raster, *v);
}

void DrawLine(const PrimitiveSetup& s, const OutVertex& a, const OutVertex& b, const OutVertex& provoking) {
    if (a.view & b.view) return;
    const std::uint32_t planes = a.clip | b.clip;
    if (planes & kClipInvalid) return;
    const float* flat = s.raster.flat ? provoking.attr : nullptr;
    if (!planes) {
        RasterLine(s.raster, a, b, s.lastPixel, flat);
        return;
    }
    OutVertex ca, cb;
    if (ClipLine(*s.screen, planes, s.raster.attrCount, a, b, &ca, &cb))
        RasterLine(s.raster, ca, cb, s.lastPixel, flat);
}

void DrawPoint(const PrimitiveSetup& s, const OutVertex& v) {
    // A point is drawn when its centre is in the view volume.
    if (v.view != 0 || (v.clip & kClipInvalid)) return;
    RasterPoint(s.raster, v);
}

}  // namespace ms
