#include "platform/d3d8/clipper.h"

#include <utility>

namespace ms {
namespace {

constexpr std::uint32_t kPlanes[] = {kClipW, kClipNear, kClipFar, kClipLeft, kClipRight, kClipBottom, kClipTop};

// Signed distance to a plane, in clip units; inside when >= 0.
inline float Distance(const ScreenMapping& m, std::uint32_t plane, const OutVertex& v) {
    switch (plane) {
        case kClipNear: return v.z;
        case kClipFar: return v.w - v.z;
        case kClipW: return v.w - kMinW;
        case kClipLeft: return v.x + m.guardX * v.w;
        case kClipRight: return m.guardX * v.w - v.x;
        case kClipBottom: return v.y + m.guardY * v.w;
        default: return m.guardY * v.w - v.y;  // kClipTop
    }
}

// The point where the segment from `in` (inside) to `out` crosses the plane. Always measured
// from the inside end, so that triangles sharing an edge get the same point.
void Intersect(const OutVertex& in, float dIn, const OutVertex& out, float dOut, int attrCount, OutVertex* r) {
    const float t = dIn / (dIn - dOut);
    r->x = in.x + t * (out.x - in.x);
    r->y = in.y + t * (out.y - in.y);
    r->z = in.z + t * (out.z - in.z);
    r->w = in.w + t * (out.w - in.w);
    r->psize = in.psize + t * (out.psize - in.psize);
    for (int k = 0; k < attrCount; ++k) r->attr[k] = in.attr[k] + t * (out.attr[k] - in.attr[k]);
    r->clip = ~0u;  // projected at the end
    r->view = 0;
}

}  // namespace

void ClipTriangle(const ScreenMapping& m, std::uint32_t planes, int attrCount, const OutVertex& a, const OutVertex& b,
                  const OutVertex& c, ClippedPolygon* out) {
    ClippedPolygon scratch;
    ClippedPolygon* src = out;
    ClippedPolygon* dst = &scratch;
    src->count = 3;
    src->v[0] = a;
    src->v[1] = b;
    src->v[2] = c;
    src->edge[0] = src->edge[1] = src->edge[2] = true;
    for (std::uint32_t plane : kPlanes) {
        if (!(planes & plane)) continue;
        dst->count = 0;
        for (int i = 0; i < src->count && src->count >= 3; ++i) {
            const int j = (i + 1) % src->count;
            const OutVertex& p = src->v[i];
            const OutVertex& q = src->v[j];
            const float dp = Distance(m, plane, p), dq = Distance(m, plane, q);
            const bool pIn = dp >= 0.0f, qIn = dq >= 0.0f;
            if (pIn) {
                dst->v[dst->count] = p;
                dst->edge[dst->count++] = src->edge[i];
            }
            if (pIn != qIn) {
                // p in: the new point starts an edge along the plane; p out: it continues p's edge.
                OutVertex* r = &dst->v[dst->count];
                if (pIn)
                    Intersect(p, dp, q, dq, attrCount, r);
                else
                    Intersect(q, dq, p, dp, attrCount, r);
                dst->edge[dst->count++] = pIn ? false : src->edge[i];
            }
        }
        std::swap(src, dst);
        if (src->count < 3) break;
    }
    if (src != out) {
        out->count = src->count;
        for (int i = 0; i < src->count; ++i) {
            out->v[i] = src->v[i];
            out->edge[i] = src->edge[i];
        }
    }
    if (out->count < 3) {
        out->count = 0;
        return;
    }
    for (int i = 0; i < out->count; ++i)
        if (out->v[i].clip != 0) ProjectToScreen(m, &out->v[i]);
}

bool ClipLine(const ScreenMapping& m, std::uint32_t planes, int attrCount, const OutVertex& a, const OutVertex& b,
              OutVertex* outA, OutVertex* outB) {
    *outA = a;
    *outB = b;
    for (std::uint32_t plane : kPlanes) {
        if (!(planes & plane)) continue;
        const float da = Distance(m, plane, *outA), db = Distance(m, plane, *outB);
        const bool aIn = da >= 0.0f, bIn = db >= 0.0f;
        if (!aIn && !bIn) return false;
        if (aIn && bIn) continue;
        OutVertex r;
        if (aIn) {
            Intersect(*outA, da, *outB, db, attrCount, &r);
            *outB = r;
        } else {
            Intersect(*outB, db, *outA, da, attrCount, &r);
            *outA = r;
        }
    }
    if (outA->clip != 0) ProjectToScreen(m, outA);
    if (outB->clip != 0) ProjectToScreen(m, outB);
    return true;
}

}  // namespace ms
