#include "platform/d3d8/vertex_batch.h"

#include <cmath>
#include <cstring>

#include "platform/d3d8/d3d8states.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace ms {
namespace {

inline float ReadFloat(const std::uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

inline float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

// Whether a colour source gives the material's colour for vertices of this layout.
bool TakesMaterial(ColorSource source, const FvfLayout& l) {
    return source == ColorSource::kMaterial || (source == ColorSource::kVertexDiffuse && l.diffuseOffset < 0) ||
           (source == ColorSource::kVertexSpecular && l.specularOffset < 0);
}

inline Color4 FromValue(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

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

}  // namespace

#if defined(__GNUC__)
#define MS_VERTEX_BATCHES 1
#define MS_LANES __attribute__((always_inline)) inline
namespace lanes4 {
namespace {
#define MS_LANE_COUNT 4
#include "platform/d3d8/vertex_batch_lanes.inc"
}  // namespace
}  // namespace lanes4
#if defined(__x86_64__)
#define MS_WIDE_VERTEX_BATCHES 1
// GCC takes the target from the pragma; clang from an attribute given to every function here.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace lanes8 {
namespace {
#undef MS_LANE_COUNT
#define MS_LANE_COUNT 8
#include "platform/d3d8/vertex_batch_lanes.inc"
}  // namespace
}  // namespace lanes8
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
#endif

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

std::uint32_t ProcessVertexBatches(const VertexSetup& s, const std::uint8_t* data, std::uint32_t stride,
                                   std::uint32_t count, OutVertex* out) {
#if defined(MS_VERTEX_BATCHES)
    const BatchConstants k = MakeConstants(s);
#if defined(MS_WIDE_VERTEX_BATCHES)
    if (s.wideLanes && __builtin_cpu_supports("avx2")) return lanes8::Batches(s, k, data, stride, count, out);
#endif
    return lanes4::Batches(s, k, data, stride, count, out);
#else
    (void)s, (void)data, (void)stride, (void)count, (void)out;
    return 0;
#endif
}

}  // namespace ms
