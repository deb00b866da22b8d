#include "platform/d3d8/rasterizer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>
#include <utility>

#include "platform/d3d8/d3d8states.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ms {
namespace {

constexpr float kSubpixels = 256.0f;  // positions snap to 1/256 pixel

inline int FloorToInt(float f, int lo, int hi) {
    const float g = std::floor(f);
    if (!(g >= static_cast<float>(lo))) return lo;
    if (g > static_cast<float>(hi)) return hi;
    return static_cast<int>(g);
}

// Colours that flat shading takes from the provoking vertex: diffuse rgba, specular rgb.
template <typename F>
void ForFlatAttributes(const RasterSetup& rs, F&& f) {
    for (int k = 0; k < 4; ++k) f(k);
    if (rs.specularAttr >= 0)
        for (int k = 0; k < 3; ++k) f(rs.specularAttr + k);
}

// The planes through three snapped screen positions.
void MakeTrianglePlanes(const RasterSetup& rs, const OutVertex* const v[3], const float fx[3], const float fy[3],
                        const float* flat, Interpolants* p) {
    const float ex1 = fx[1] - fx[0], ey1 = fy[1] - fy[0], ex2 = fx[2] - fx[0], ey2 = fy[2] - fy[0];
    const float inv = 1.0f / (ex1 * ey2 - ex2 * ey1);
    auto plane = [&](float q0, float q1, float q2, float* value, float* dx, float* dy) {
        const float d1 = q1 - q0, d2 = q2 - q0;
        *value = q0;
        *dx = (d1 * ey2 - d2 * ey1) * inv;
        *dy = (d2 * ex1 - d1 * ex2) * inv;
    };
    p->ox = fx[0];
    p->oy = fy[0];
    {
        const double dex1 = ex1, dey1 = ey1, dex2 = ex2, dey2 = ey2;
        const double dinv = 1.0 / (dex1 * dey2 - dex2 * dey1);
        const double d1 = static_cast<double>(v[1]->sz) - v[0]->sz, d2 = static_cast<double>(v[2]->sz) - v[0]->sz;
        p->z = v[0]->sz;
        p->dzdx = (d1 * dey2 - d2 * dey1) * dinv;
        p->dzdy = (d2 * dex1 - d1 * dex2) * dinv;
    }
    plane(v[0]->rhw, v[1]->rhw, v[2]->rhw, &p->rhw, &p->drhwdx, &p->drhwdy);
    p->count = rs.attrCount;
    for (int k = 0; k < rs.attrCount; ++k)
        plane(v[0]->attr[k] * v[0]->rhw, v[1]->attr[k] * v[1]->rhw, v[2]->attr[k] * v[2]->rhw, &p->a[k], &p->adx[k],
              &p->ady[k]);
    for (int w = 0; w < rs.wrapCount; ++w) {
        const int k = rs.wrapAttr[w];
        const float q0 = v[0]->attr[k];
        const float q1 = v[1]->attr[k] - std::round(v[1]->attr[k] - q0),
                    q2 = v[2]->attr[k] - std::round(v[2]->attr[k] - q0);
        plane(q0 * v[0]->rhw, q1 * v[1]->rhw, q2 * v[2]->rhw, &p->a[k], &p->adx[k], &p->ady[k]);
    }
    if (rs.flat) {
        // value * rhw over value * rhw: constant up to rounding.
        ForFlatAttributes(rs, [&](int k) {
            p->a[k] = flat[k] * p->rhw;
            p->adx[k] = flat[k] * p->drhwdx;
            p->ady[k] = flat[k] * p->drhwdy;
        });
    }
}

// An edge function E(px, py) = A px + B py + C (in 1/65536 pixel^2) that is positive inside;
// `bias` is 1 for edges that own no pixel centres lying exactly on them.
struct Edge {
    std::int64_t a, b, row;  // row: B py + C at the current row
    std::int64_t bias;
};

Edge MakeEdge(std::int64_t xa, std::int64_t ya, std::int64_t xb, std::int64_t yb, int firstRow) {
    const std::int64_t dx = xb - xa, dy = yb - ya;
    Edge e;
    e.a = -dy * 256;
    e.b = dx * 256;
    e.row = e.b * firstRow + (dy * xa - dx * ya);
    // Top-left rule for a clockwise triangle (y down): an edge going up is a left edge, a
    // horizontal edge going right is a top edge.
    const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
    e.bias = topLeft ? 0 : 1;
    return e;
}

// Narrows rows ymin..ymax to the first and last this thread draws; false when it draws none.
bool OwnedRows(const RasterSetup& rs, int* ymin, int* ymax) {
    if (*ymin > *ymax) return false;
    if (rs.bandCount == 1) return true;
    constexpr int shift = RasterSetup::kBandShift;
    while (*ymin <= *ymax && !rs.OwnsRow(*ymin)) *ymin = ((*ymin >> shift) + 1) << shift;  // next band's top
    while (*ymax >= *ymin && !rs.OwnsRow(*ymax)) *ymax = ((*ymax >> shift) << shift) - 1;  // previous band's bottom
    return *ymin <= *ymax;
}

// Triangles narrower than this are scanned pixel by pixel over their bounding box; wider ones
// get each row's span from the edges directly.
constexpr int kNarrow = 16;

void ScanNarrow(const RasterSetup& rs, SpanBatch& batch, Edge* edges, int xmin, int xmax, int ymin, int ymax) {
    for (int py = ymin; py <= ymax; ++py) {
        if (!rs.OwnsRow(py)) {
            for (Edge& e : std::span(edges, 3)) e.row += e.b;
            continue;
        }
        // Edge values at (xmin, py), biased so that covered means >= 0.
        std::int64_t e[3];
        for (int k = 0; k < 3; ++k) {
            e[k] = edges[k].row + edges[k].a * xmin - edges[k].bias;
            edges[k].row += edges[k].b;
        }
        int lo = xmin;
        for (; lo <= xmax; ++lo) {
            if ((e[0] | e[1] | e[2]) >= 0) break;
            for (int k = 0; k < 3; ++k) e[k] += edges[k].a;
        }
        if (lo > xmax) continue;
        int hi = lo;
        // Covered pixels of a row are contiguous: the span ends at the first uncovered one.
        for (; hi < xmax; ++hi) {
            for (int k = 0; k < 3; ++k) e[k] += edges[k].a;
            if ((e[0] | e[1] | e[2]) < 0) break;
        }
        batch.Add(py, lo, hi);
    }
}

#if defined(__SSE2__)
// ScanNarrow with the edge values of four pixels of a row side by side, in 32 bits: for triangles
// whose edge values within the box all fit; false for the others, which take the 64-bit loop.
bool ScanNarrowVectors(const RasterSetup& rs, SpanBatch& batch, const Edge* edges, int xmin, int xmax, int ymin,
                       int ymax) {
    constexpr std::int64_t kLimit = std::int64_t{1} << 30;
    const std::int64_t width = xmax - xmin, height = ymax - ymin;
    __m128i value[3], step[3], across[3];
    for (int k = 0; k < 3; ++k) {
        const Edge& e = edges[k];
        const std::int64_t start = e.row + e.a * xmin - e.bias;  // at (xmin, ymin); covered means >= 0
        // A linear function is largest at a corner of the box.
        if ((start < 0 ? -start : start) + (e.a < 0 ? -e.a : e.a) * width + (e.b < 0 ? -e.b : e.b) * height >= kLimit)
            return false;
        // Lanes right of the box may wrap around; they are masked off.
        const auto a = static_cast<std::uint32_t>(e.a);
        value[k] = _mm_add_epi32(_mm_set1_epi32(static_cast<std::int32_t>(start)),
                                 _mm_setr_epi32(0, static_cast<std::int32_t>(a), static_cast<std::int32_t>(2 * a),
                                                static_cast<std::int32_t>(3 * a)));
        across[k] = _mm_set1_epi32(static_cast<std::int32_t>(4 * a));
        step[k] = _mm_set1_epi32(static_cast<std::int32_t>(e.b));
    }
    const unsigned inBox = (2u << width) - 1u;
    const int quads = static_cast<int>(width / 4) + 1;
    for (int py = ymin; py <= ymax; ++py) {
        if (rs.OwnsRow(py)) {
            unsigned mask = 0;
            __m128i v0 = value[0], v1 = value[1], v2 = value[2];
            for (int q = 0; q < quads; ++q) {
                // A lane is covered when no edge value is negative: the sign of their or.
                const __m128i any = _mm_or_si128(_mm_or_si128(v0, v1), v2);
                mask |= static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(any)) ^ 0xF) << (4 * q);
                v0 = _mm_add_epi32(v0, across[0]);
                v1 = _mm_add_epi32(v1, across[1]);
                v2 = _mm_add_epi32(v2, across[2]);
            }
            mask &= inBox;
            // Covered pixels of a row are contiguous.
            if (mask) batch.Add(py, xmin + std::countr_zero(mask), xmin + 31 - std::countl_zero(mask));
        }
        for (int k = 0; k < 3; ++k) value[k] = _mm_add_epi32(value[k], step[k]);
    }
    return true;
}
#else
bool ScanNarrowVectors(const RasterSetup&, SpanBatch&, const Edge*, int, int, int, int) { return false; }
#endif

// floor(n / d) and n - d floor(n / d) (in [0, d)), for d > 0.
inline void FloorDivide(std::int64_t n, std::int64_t d, std::int64_t* q, std::int64_t* r) {
    *q = n / d;
    *r = n % d;
    if (*r < 0) {
        *r += d;
        --*q;
    }
}

// One edge's bound on a row's covered pixels, followed from row to row without dividing. The
// edge covers A px + c >= 0 (c = row - bias): for A > 0 the pixels from ceil(-c / A) =
// -floor(c / A), for A < 0 those up to floor(c / -A). floor(c / |A|) is kept as a quotient and
// remainder, which step by those of B each row; the integers are exact, as the quotients of
// doubles were.
struct EdgeBound {
    std::int64_t q = 0, r = 0, d = 0, bq = 0, br = 0;  // c = q d + r; B = bq d + br
    std::int64_t c = 0, b = 0;                         // A = 0: c itself and its step
    int sign;                                          // of A
    explicit EdgeBound(const Edge& e) : sign(e.a > 0 ? 1 : (e.a < 0 ? -1 : 0)) {
        c = e.row - e.bias;
        b = e.b;
        d = e.a > 0 ? e.a : -e.a;
        if (sign != 0) {
            FloorDivide(c, d, &q, &r);
            FloorDivide(b, d, &bq, &br);
        }
    }
    void Next() {
        c += b;
        q += bq;
        r += br;
        if (r >= d) {
            r -= d;
            ++q;
        }
    }
};

void ScanWide(const RasterSetup& rs, SpanBatch& batch, const Edge* edges, int xmin, int xmax, int ymin, int ymax) {
    EdgeBound bounds[3] = {EdgeBound(edges[0]), EdgeBound(edges[1]), EdgeBound(edges[2])};
    for (int py = ymin; py <= ymax; ++py) {
        if (!rs.OwnsRow(py)) {
            for (EdgeBound& e : bounds) e.Next();
            continue;
        }
        int lo = xmin, hi = xmax;
        for (EdgeBound& e : bounds) {
            if (e.sign > 0) {
                const std::int64_t bound = -e.q;
                if (bound > lo) lo = bound > hi ? hi + 1 : static_cast<int>(bound);
            } else if (e.sign < 0) {
                const std::int64_t bound = e.q;
                if (bound < hi) hi = bound < lo ? lo - 1 : static_cast<int>(bound);
            } else if (e.c < 0) {
                hi = lo - 1;
            }
            e.Next();
        }
        if (lo <= hi) batch.Add(py, lo, hi);
    }
}

}  // namespace

float ScreenArea(const OutVertex& a, const OutVertex& b, const OutVertex& c) {
    return (b.sx - a.sx) * (c.sy - a.sy) - (c.sx - a.sx) * (b.sy - a.sy);
}

void RasterTriangle(const RasterSetup& rs, const OutVertex& va, const OutVertex& vb, const OutVertex& vc,
                    const float* flat) {
    if (va.offGrid || vb.offGrid || vc.offGrid) return;
    const OutVertex* v[3] = {&va, &vb, &vc};
    std::int64_t x[3], y[3];
    for (int i = 0; i < 3; ++i) {
        x[i] = v[i]->gridX;
        y[i] = v[i]->gridY;
    }
    const std::int64_t area = TwiceArea(x, y);
    PixelBox box;
    if (!FrontBox(rs, x, y, area, &box)) return;
    if (area < 0) {  // clockwise from here on
        std::swap(v[1], v[2]);
        std::swap(x[1], x[2]);
        std::swap(y[1], y[2]);
    }
    const int xmin = box.xmin, xmax = box.xmax;
    int ymin = box.ymin, ymax = box.ymax;
    if (!OwnedRows(rs, &ymin, &ymax)) return;

    Edge edges[3];
    for (int i = 0; i < 3; ++i) edges[i] = MakeEdge(x[i], y[i], x[(i + 1) % 3], y[(i + 1) % 3], ymin);
    float fx[3], fy[3];
    for (int i = 0; i < 3; ++i) {
        fx[i] = static_cast<float>(x[i]) / kSubpixels;
        fy[i] = static_cast<float>(y[i]) / kSubpixels;
    }
    struct PlaneInputs {
        const RasterSetup* rs;
        const OutVertex* const* v;
        const float *fx, *fy, *flat;
    };
    const PlaneInputs inputs{&rs, v, fx, fy, flat};
    auto scan = [&](SpanBatch& batch) {
        batch.Begin([](const void* context, Interpolants* planes) {
            const auto* in = static_cast<const PlaneInputs*>(context);
            MakeTrianglePlanes(*in->rs, in->v, in->fx, in->fy, in->flat, planes);
        }, &inputs);
        if (xmax - xmin >= kNarrow)
            ScanWide(rs, batch, edges, xmin, xmax, ymin, ymax);
        else if (!ScanNarrowVectors(rs, batch, edges, xmin, xmax, ymin, ymax))
            ScanNarrow(rs, batch, edges, xmin, xmax, ymin, ymax);
        batch.End();
    };
    if (rs.batch) {
        scan(*rs.batch);
    } else {
        SpanBatch own(*rs.pixels);
        scan(own);
    }
}

bool TriangleRows(const RasterSetup& rs, const OutVertex& va, const OutVertex& vb, const OutVertex& vc, int* top,
                  int* bottom) {
    if (va.offGrid || vb.offGrid || vc.offGrid) return false;
    return GridTriangleRows(rs, va.gridX, vb.gridX, vc.gridX, va.gridY, vb.gridY, vc.gridY, top, bottom);
}

void RasterLine(const RasterSetup& rs, const OutVertex& a, const OutVertex& b, bool lastPixel, const float* flat) {
    if (a.offGrid || b.offGrid) return;
    if (rs.batch) rs.batch->Flush();
    const float dx = b.sx - a.sx, dy = b.sy - a.sy;
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    const float major0 = xMajor ? a.sx : a.sy, major1 = xMajor ? b.sx : b.sy;
    const float minor0 = xMajor ? a.sy : a.sx, dMinor = xMajor ? dy : dx;
    const float length = major1 - major0;
    constexpr int kLimit = 1 << 20;
    // Diamond exit: the pixels whose diamonds the line leaves, from the one holding the start
    // up to (without) the one holding the end.
    const int start = FloorToInt(major0 + 0.5f, -kLimit, kLimit), end = FloorToInt(major1 + 0.5f, -kLimit, kLimit);
    if (start == end && !lastPixel) return;
    const int step = end >= start ? 1 : -1;

    // Planes along the major axis only.
    Interpolants p;
    p.ox = a.sx;
    p.oy = a.sy;
    const float inv = length != 0.0f ? 1.0f / length : 0.0f;
    auto plane = [&](float q0, float q1, float* value, float* ddx, float* ddy) {
        *value = q0;
        *(xMajor ? ddx : ddy) = (q1 - q0) * inv;
        *(xMajor ? ddy : ddx) = 0.0f;
    };
    p.z = a.sz;
    p.dzdx = xMajor ? (static_cast<double>(b.sz) - a.sz) * inv : 0.0;
    p.dzdy = xMajor ? 0.0 : (static_cast<double>(b.sz) - a.sz) * inv;
    plane(a.rhw, b.rhw, &p.rhw, &p.drhwdx, &p.drhwdy);
    p.count = rs.attrCount;
    for (int k = 0; k < rs.attrCount; ++k) plane(a.attr[k] * a.rhw, b.attr[k] * b.rhw, &p.a[k], &p.adx[k], &p.ady[k]);
    for (int w = 0; w < rs.wrapCount; ++w) {
        const int k = rs.wrapAttr[w];
        const float qb = b.attr[k] - std::round(b.attr[k] - a.attr[k]);
        plane(a.attr[k] * a.rhw, qb * b.rhw, &p.a[k], &p.adx[k], &p.ady[k]);
    }
    if (rs.flat) {
        ForFlatAttributes(rs, [&](int k) {
            p.a[k] = flat[k] * p.rhw;
            p.adx[k] = flat[k] * p.drhwdx;
            p.ady[k] = flat[k] * p.drhwdy;
        });
    }

    for (int m = start;; m += step) {
        if (m == end && !lastPixel) break;
        const float t = (static_cast<float>(m) - major0) * inv;
        const int n = FloorToInt(minor0 + t * dMinor + 0.5f, -kLimit, kLimit);
        const int px = xMajor ? m : n, py = xMajor ? n : m;
        if (px >= rs.left && px < rs.right && py >= rs.top && py < rs.bottom && rs.OwnsRow(py))
            ShadeSpan(*rs.pixels, py, px, px, p);
        if (m == end) break;
    }
}

void RasterPoint(const RasterSetup& rs, const OutVertex& v) {
    if (v.offGrid) return;
    if (rs.batch) rs.batch->Flush();
    const float half = v.psize * 0.5f;
    // The square [x - s/2, x + s/2) x [y - s/2, y + s/2): left and top edges own their centres.
    const int x0 = std::max(rs.left, FloorToInt(std::ceil(v.sx - half), rs.left - 1, rs.right + 1));
    const int x1 = std::min(rs.right - 1, FloorToInt(std::ceil(v.sx + half), rs.left - 1, rs.right + 1) - 1);
    const int y0 = std::max(rs.top, FloorToInt(std::ceil(v.sy - half), rs.top - 1, rs.bottom + 1));
    const int y1 = std::min(rs.bottom - 1, FloorToInt(std::ceil(v.sy + half), rs.top - 1, rs.bottom + 1) - 1);
    if (x0 > x1 || y0 > y1) return;
    Interpolants p;
    p.ox = v.sx;
    p.oy = v.sy;
    p.z = v.sz;
    p.dzdx = p.dzdy = 0.0;
    p.rhw = v.rhw;
    p.drhwdx = p.drhwdy = 0.0f;
    p.count = rs.attrCount;
    for (int k = 0; k < rs.attrCount; ++k) {
        p.a[k] = v.attr[k] * v.rhw;
        p.adx[k] = p.ady[k] = 0.0f;
    }
    if (rs.pointSprite && v.psize > 0.0f) {
        for (int s = 0; s < rs.spriteCount; ++s) {
            const int k = rs.spriteAttr[s];
            p.a[k] = p.a[k + 1] = 0.5f * v.rhw;  // the centre of the sprite is (0.5, 0.5)
            p.adx[k] = p.ady[k + 1] = v.rhw / v.psize;
        }
    }
    for (int y = y0; y <= y1; ++y)
        if (rs.OwnsRow(y)) ShadeSpan(*rs.pixels, y, x0, x1, p);
}

}  // namespace ms
