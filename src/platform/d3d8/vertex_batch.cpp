#include "platform/d3d8/vertex_batch.h"

#include <cmath>
#include <cstring>

#include "platform/d3d8/d3d8states.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ms {
namespace {

#if defined(__GNUC__)
#define MS_VERTEX_BATCHES 1
typedef float F4 __attribute__((vector_size(16)));
typedef std::int32_t I4 __attribute__((vector_size(16)));

inline F4 Splat(float f) { return F4{f, f, f, f}; }
inline F4 Select(I4 mask, F4 a, F4 b) {
    // Casts between vectors of one size keep the bits.
    return (F4)((mask & (I4)a) | (~mask & (I4)b));
}
inline F4 Sqrt(F4 v) {
#if defined(__SSE2__)
    return _mm_sqrt_ps(v);
#else
    return F4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}
inline F4 Abs(F4 v) {
    return (F4)((I4)v & 0x7FFFFFFF);
}

struct V3 {
    F4 x, y, z;
};

inline F4 Dot3(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Normalize3 of the general path: unchanged where the length is 0 (or not a number).
inline void Normalize3(V3* v) {
    const F4 len2 = Dot3(*v, *v);
    const I4 ok = len2 > 0.0f;
    const F4 k = 1.0f / Sqrt(len2);
    v->x = Select(ok, v->x * k, v->x);
    v->y = Select(ok, v->y * k, v->y);
    v->z = Select(ok, v->z * k, v->z);
}

inline F4 Clamp01(F4 v) { return Select(v > 0.0f, Select(v < 1.0f, v, Splat(1.0f)), Splat(0.0f)); }

inline float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

inline std::uint32_t Bit(I4 mask, int lane, std::uint32_t bit) { return mask[lane] ? bit : 0u; }
#endif

inline float ReadFloat(const std::uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

// Whether a colour source gives the material's colour for vertices of this layout.
bool TakesMaterial(ColorSource source, const FvfLayout& l) {
    return source == ColorSource::kMaterial || (source == ColorSource::kVertexDiffuse && l.diffuseOffset < 0) ||
           (source == ColorSource::kVertexSpecular && l.specularOffset < 0);
}

inline Color4 FromValue(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

}  // namespace

bool CanBatchVertices(const VertexSetup& s) {
#if defined(MS_VERTEX_BATCHES)
    const FvfLayout& l = s.layout;
    if (l.rhw || s.blendWeights >= 0 || !s.lighting || l.normalOffset < 0 || s.fogMode != D3DFOG_NONE) return false;
    if (l.psizeOffset >= 0 || s.pointScale) return false;
    if (!TakesMaterial(s.ambientSource, l) || !TakesMaterial(s.diffuseSource, l) ||
        !TakesMaterial(s.specularSource, l) || !TakesMaterial(s.emissiveSource, l))
        return false;
    for (const LightSetup& light : s.lights)
        if (light.type != D3DLIGHT_DIRECTIONAL) return false;
    for (int t = 0; t < s.texOutputs; ++t) {
        const TexCoordOutput& o = s.tex[t];
        if (o.transformCount != 0 || o.generate == D3DTSS_TCI_CAMERASPACENORMAL ||
            o.generate == D3DTSS_TCI_CAMERASPACEPOSITION || o.generate == D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR)
            return false;
    }
    return true;
#else
    (void)s;
    return false;
#endif
}

#if defined(MS_VERTEX_BATCHES)
namespace {

// The per-draw constants of the batch loop.
struct BatchConstants {
    float m[4][4];
    float normal[3][3];
    Color4 diffuseBase;  // emissive + ambient * (ambient sums): the same for every vertex
    Color4 diffuseMaterial, specularMaterial;
    float diffuseAlpha, specularAlpha, pointSize;
};

BatchConstants MakeConstants(const VertexSetup& s) {
    BatchConstants k;
    const MatrixPalette::Entry& e = s.palette->Get(0);
    std::memcpy(k.m, e.m, sizeof k.m);
    std::memcpy(k.normal, e.normal, sizeof k.normal);
    const D3DMATERIAL8& mat = s.material;
    const Color4 ca = FromValue(mat.Ambient), cd = FromValue(mat.Diffuse), cs = FromValue(mat.Specular),
                 ce = FromValue(mat.Emissive);
    // A directional light's ambient part has the factor 1 at every vertex.
    Color4 a = s.globalAmbient;
    const float factor = 1.0f;
    for (const LightSetup& l : s.lights) {
        a.r += l.ambient.r * factor;
        a.g += l.ambient.g * factor;
        a.b += l.ambient.b * factor;
    }
    k.diffuseBase = {ce.r + ca.r * a.r, ce.g + ca.g * a.g, ce.b + ca.b * a.b, 0.0f};
    k.diffuseMaterial = cd;
    k.specularMaterial = cs;
    k.diffuseAlpha = Clamp01(cd.a);
    k.specularAlpha = Clamp01(cs.a);
    float size = s.pointSize;
    if (!(size >= s.pointMin)) size = s.pointMin;
    if (size > s.pointMax) size = s.pointMax;
    k.pointSize = size;
    return k;
}

// The lit diffuse and specular rgb of four vertices at camera-space `position` with `normal`.
void Light4(const VertexSetup& s, const BatchConstants& k, const V3& position, const V3& normal, V3* diffuse,
            V3* specular) {
    V3 toViewer{Splat(0.0f), Splat(0.0f), Splat(-1.0f)};
    if (s.localViewer) {
        toViewer = {-position.x, -position.y, -position.z};
        Normalize3(&toViewer);
    }
    V3 d{Splat(0.0f), Splat(0.0f), Splat(0.0f)}, sp = d;
    for (const LightSetup& l : s.lights) {
        const V3 toLight{Splat(l.toLight[0]), Splat(l.toLight[1]), Splat(l.toLight[2])};
        const F4 nl = Dot3(normal, toLight);
        const I4 lit = nl > 0.0f;
        if (!(lit[0] | lit[1] | lit[2] | lit[3])) continue;
        d.x = Select(lit, d.x + l.diffuse.r * nl, d.x);
        d.y = Select(lit, d.y + l.diffuse.g * nl, d.y);
        d.z = Select(lit, d.z + l.diffuse.b * nl, d.z);
        if (!s.specularLighting) continue;
        V3 h{toViewer.x + toLight.x, toViewer.y + toLight.y, toViewer.z + toLight.z};
        Normalize3(&h);
        const F4 nh = Dot3(normal, h);
        const I4 shiny = lit & (nh > 0.0f);
        F4 p = Splat(0.0f);
        for (int i = 0; i < 4; ++i)
            if (shiny[i]) p[i] = std::pow(nh[i], s.material.Power);
        sp.x = Select(shiny, sp.x + l.specular.r * p, sp.x);
        sp.y = Select(shiny, sp.y + l.specular.g * p, sp.y);
        sp.z = Select(shiny, sp.z + l.specular.b * p, sp.z);
    }
    const Color4 &base = k.diffuseBase, &cd = k.diffuseMaterial, &cs = k.specularMaterial;
    *diffuse = {Clamp01(base.r + cd.r * d.x), Clamp01(base.g + cd.g * d.y), Clamp01(base.b + cd.b * d.z)};
    *specular = {Clamp01(cs.r * sp.x), Clamp01(cs.g * sp.y), Clamp01(cs.b * sp.z)};
}

// Clip-space position, outcodes and screen position of four vertices.
struct Placed {
    F4 x, y, z, w;
    F4 sx, sy, sz, rhw;
    I4 gridX, gridY, offGrid;
    std::uint32_t clip[4], view[4];
};

void Place4(const ScreenMapping& m, const float (*proj)[4], const V3& p, const F4& p3, Placed* o) {
    F4* c[4] = {&o->x, &o->y, &o->z, &o->w};
    for (int j = 0; j < 4; ++j) *c[j] = p.x * proj[0][j] + p.y * proj[1][j] + p.z * proj[2][j] + p3 * proj[3][j];
    const F4 x = o->x, y = o->y, z = o->z, w = o->w;
    constexpr float kMaxFloat = 3.40282347e38f;
    const I4 finite = (Abs(x) <= kMaxFloat) & (Abs(y) <= kMaxFloat) & (Abs(z) <= kMaxFloat) & (Abs(w) <= kMaxFloat);
    const I4 nearPlane = z < 0.0f, farPlane = z > w, low = w < kMinW;
    const F4 gx = m.guardX * w, gy = m.guardY * w, ngx = -m.guardX * w, ngy = -m.guardY * w;
    const I4 gLeft = x < ngx, gRight = x > gx, gBottom = y < ngy, gTop = y > gy;
    const I4 vLeft = x < -w, vRight = x > w, vBottom = y < -w, vTop = y > w;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t nearFar = 0;
        if (m.clipNearFar) nearFar = Bit(nearPlane, i, kClipNear) | Bit(farPlane, i, kClipFar);
        const std::uint32_t common = nearFar | Bit(low, i, kClipW);
        o->view[i] = common | Bit(vLeft, i, kClipLeft) | Bit(vRight, i, kClipRight) | Bit(vBottom, i, kClipBottom) |
                     Bit(vTop, i, kClipTop);
        o->clip[i] = !finite[i] ? kClipInvalid
                                : common | Bit(gLeft, i, kClipLeft) | Bit(gRight, i, kClipRight) |
                                      Bit(gBottom, i, kClipBottom) | Bit(gTop, i, kClipTop);
    }
    // ProjectToScreen and SnapToGrid; used only for the lanes without clip codes.
    o->rhw = 1.0f / w;
    o->sx = m.x0 + (1.0f + x * o->rhw) * m.halfWidth;
    o->sy = m.y0 + (1.0f - y * o->rhw) * m.halfHeight;
    o->sz = m.minZ + z * o->rhw * m.zScale;
    o->offGrid = ~((Abs(o->sx) <= kMaxScreen) & (Abs(o->sy) <= kMaxScreen));
    auto snap = [&](F4 v) {
        const F4 t = v * 256.0f + 0.5f;
        const I4 i = __builtin_convertvector(Select(o->offGrid, Splat(0.0f), t), I4);
        return i + (t < __builtin_convertvector(i, F4));  // a true comparison is -1
    };
    o->gridX = snap(o->sx) & ~o->offGrid;
    o->gridY = snap(o->sy) & ~o->offGrid;
}

}  // namespace

std::uint32_t ProcessVertexBatches(const VertexSetup& s, const std::uint8_t* data, std::uint32_t stride,
                                   std::uint32_t count, OutVertex* out) {
    const BatchConstants k = MakeConstants(s);
    const FvfLayout& l = s.layout;
    const std::uint32_t done = count & ~3u;
    for (std::uint32_t first = 0; first < done; first += 4, data += 4 * std::size_t{stride}, out += 4) {
        V3 p, n;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t* v = data + i * std::size_t{stride};
            p.x[i] = ReadFloat(v);
            p.y[i] = ReadFloat(v + 4);
            p.z[i] = ReadFloat(v + 8);
            n.x[i] = ReadFloat(v + l.normalOffset);
            n.y[i] = ReadFloat(v + l.normalOffset + 4);
            n.z[i] = ReadFloat(v + l.normalOffset + 8);
        }
        // Row vectors times the world-view matrix and its normal matrix.
        V3 position, normal;
        F4* pc[3] = {&position.x, &position.y, &position.z};
        F4* nc[3] = {&normal.x, &normal.y, &normal.z};
        for (int c = 0; c < 3; ++c) {
            *pc[c] = p.x * k.m[0][c] + p.y * k.m[1][c] + p.z * k.m[2][c] + k.m[3][c];
            *nc[c] = n.x * k.normal[0][c] + n.y * k.normal[1][c] + n.z * k.normal[2][c];
        }
        const F4 position3 = p.x * k.m[0][3] + p.y * k.m[1][3] + p.z * k.m[2][3] + k.m[3][3];
        if (s.normalizeNormals) Normalize3(&normal);
        Placed placed;
        Place4(s.screen, s.projection, position, position3, &placed);
        V3 diffuse, specular;
        Light4(s, k, position, normal, &diffuse, &specular);

        for (int i = 0; i < 4; ++i) {
            OutVertex& o = out[i];
            o.x = placed.x[i];
            o.y = placed.y[i];
            o.z = placed.z[i];
            o.w = placed.w[i];
            o.clip = placed.clip[i];
            o.view = placed.view[i];
            if (o.clip == 0) {
                o.rhw = placed.rhw[i];
                o.sx = placed.sx[i];
                o.sy = placed.sy[i];
                o.sz = placed.sz[i];
                o.offGrid = placed.offGrid[i] != 0;
                o.gridX = placed.gridX[i];
                o.gridY = placed.gridY[i];
            }
            o.attr[0] = diffuse.x[i];
            o.attr[1] = diffuse.y[i];
            o.attr[2] = diffuse.z[i];
            o.attr[3] = k.diffuseAlpha;
            if (s.specularAttr >= 0) {
                float* a = o.attr + s.specularAttr;
                a[0] = specular.x[i];
                a[1] = specular.y[i];
                a[2] = specular.z[i];
                a[3] = k.specularAlpha;
            }
            const std::uint8_t* v = data + i * std::size_t{stride};
            for (int t = 0; t < s.texOutputs; ++t) {
                const TexCoordOutput& tc = s.tex[t];
                float* a = o.attr + tc.attr;
                if (tc.set < l.texCount) {
                    const int offset = l.texOffset[tc.set];
                    a[0] = ReadFloat(v + offset);
                    a[1] = l.texSize[tc.set] >= 2 ? ReadFloat(v + offset + 4) : 0.0f;
                } else {
                    a[0] = a[1] = 0.0f;
                }
            }
            o.psize = k.pointSize;
        }
    }
    return done;
}
#else
std::uint32_t ProcessVertexBatches(const VertexSetup&, const std::uint8_t*, std::uint32_t, std::uint32_t,
                                   OutVertex*) {
    return 0;
}
#endif

}  // namespace ms
