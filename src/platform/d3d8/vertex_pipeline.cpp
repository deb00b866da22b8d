#include "platform/d3d8/vertex_pipeline.h"

#include <cmath>
#include <cstring>

#include "platform/d3d8/d3d8states.h"
#include "platform/d3d8/vertex_batch.h"

namespace ms {
namespace {

inline float ReadFloat(const std::uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

inline DWORD ReadDword(const std::uint8_t* p) {
    DWORD d;
    std::memcpy(&d, p, 4);
    return d;
}

inline float Dot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline void Normalize3(float* v) {
    const float len2 = Dot3(v, v);
    if (len2 > 0.0f) {
        const float k = 1.0f / std::sqrt(len2);
        v[0] *= k;
        v[1] *= k;
        v[2] *= k;
    }
}

inline Color4 Clamp01(const Color4& c) {
    auto f = [](float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; };
    return {f(c.r), f(c.g), f(c.b), f(c.a)};
}

inline Color4 FromValue(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

Color4 PickSource(ColorSource source, const D3DCOLORVALUE& material, const D3DCOLOR* diffuse,
                  const D3DCOLOR* specular) {
    if (source == ColorSource::kVertexDiffuse && diffuse) return ColorFromArgb(*diffuse);
    if (source == ColorSource::kVertexSpecular && specular) return ColorFromArgb(*specular);
    return FromValue(material);
}

// Attenuation 1 / (a0 + a1 d + a2 d^2), kept finite.
inline float Attenuation(const LightSetup& l, float d) {
    const float denominator = l.att0 + l.att1 * d + l.att2 * d * d;
    return denominator > 1e-30f ? 1.0f / denominator : 1e30f;
}

inline float SpotFactor(const LightSetup& l, const float* toLight) {
    const float rho = Dot3(l.spotAxis, toLight);
    if (rho > l.cosHalfTheta) return 1.0f;
    if (!(rho > l.cosHalfPhi)) return 0.0f;
    const float t = (rho - l.cosHalfPhi) / (l.cosHalfTheta - l.cosHalfPhi);
    return l.falloff == 1.0f ? t : std::pow(t, l.falloff);
}

// Row vector (x, y, z, 1) times m.
inline void TransformPoint(const float m[4][4], const float* p, float* out) {
    for (int c = 0; c < 4; ++c) out[c] = p[0] * m[0][c] + p[1] * m[1][c] + p[2] * m[2][c] + m[3][c];
}

inline void TransformNormal(const float n[3][3], const float* v, float* out) {
    for (int c = 0; c < 3; ++c) out[c] = v[0] * n[0][c] + v[1] * n[1][c] + v[2] * n[2][c];
}

// Camera-space position and normal of a vertex, blended over the palette when asked.
void ToCameraSpace(const VertexSetup& s, const std::uint8_t* v, const float* p, const float* n, float* position,
                   float* normal) {
    if (s.blendWeights < 0) {
        const MatrixPalette::Entry& e = s.palette->Get(0);
        TransformPoint(e.m, p, position);
        if (n) TransformNormal(e.normal, n, normal);
        return;
    }
    float weights[4];
    float last = 1.0f;
    for (int k = 0; k < s.blendWeights; ++k) {
        weights[k] = ReadFloat(v + 12 + 4 * k);
        last -= weights[k];
    }
    weights[s.blendWeights] = last;
    DWORD indices = 0x03020100;  // matrices 0, 1, 2, 3 in order
    if (s.indexedBlend) indices = ReadDword(v + s.layout.indicesOffset);
    for (int c = 0; c < 4; ++c) position[c] = 0.0f;
    for (int c = 0; c < 3; ++c) normal[c] = 0.0f;
    for (int k = 0; k <= s.blendWeights; ++k) {
        const MatrixPalette::Entry& e = s.palette->Get(static_cast<int>((indices >> (8 * k)) & 0xFF));
        float tp[4], tn[3];
        TransformPoint(e.m, p, tp);
        for (int c = 0; c < 4; ++c) position[c] += weights[k] * tp[c];
        if (n) {
            TransformNormal(e.normal, n, tn);
            for (int c = 0; c < 3; ++c) normal[c] += weights[k] * tn[c];
        }
    }
}

void MakeTexCoords(const VertexSetup& s, const std::uint8_t* v, const float* position, const float* normal,
                   OutVertex* out) {
    for (int t = 0; t < s.texOutputs; ++t) {
        const TexCoordOutput& o = s.tex[t];
        float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        int count = 2;
        if (o.generate == D3DTSS_TCI_CAMERASPACENORMAL && normal) {
            std::memcpy(c, normal, 12);
            count = 3;
        } else if (o.generate == D3DTSS_TCI_CAMERASPACEPOSITION && position) {
            std::memcpy(c, position, 12);
            count = 3;
        } else if (o.generate == D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR && position) {
            // The eye ray reflected about the normal: R = E - 2 (N.E) N.
            float e[3] = {0.0f, 0.0f, 1.0f};
            if (s.localViewer) {
                std::memcpy(e, position, 12);
                Normalize3(e);
            }
            const float ne = normal ? Dot3(normal, e) : 0.0f;
            for (int k = 0; k < 3; ++k) c[k] = e[k] - 2.0f * ne * (normal ? normal[k] : 0.0f);
            count = 3;
        } else if (o.set < s.layout.texCount) {
            count = s.layout.texSize[o.set];
            for (int k = 0; k < count; ++k) c[k] = ReadFloat(v + s.layout.texOffset[o.set] + 4 * k);
        }
        float* a = out->attr + o.attr;
        if (o.transformCount == 0) {
            a[0] = c[0];
            a[1] = c[1];
            continue;
        }
        // The first missing coordinate counts as 1, so that a 2-D set is moved by the third row.
        if (count < 4) c[count] = 1.0f;
        float r[4];
        for (int k = 0; k < 4; ++k)
            r[k] = c[0] * o.matrix[0][k] + c[1] * o.matrix[1][k] + c[2] * o.matrix[2][k] + c[3] * o.matrix[3][k];
        a[0] = r[0];
        a[1] = o.transformCount >= 2 ? r[1] : 0.0f;
        if (o.projected) a[2] = r[o.transformCount - 1];
    }
}

float PointSize(const VertexSetup& s, const std::uint8_t* v, const float* position) {
    float size = s.layout.psizeOffset >= 0 ? ReadFloat(v + s.layout.psizeOffset) : s.pointSize;
    if (s.pointScale && position) {
        const float d2 = Dot3(position, position), d = std::sqrt(d2);
        const float k = s.pointA + s.pointB * d + s.pointC * d2;
        size = k > 0.0f ? 2.0f * s.screen.halfHeight * size * std::sqrt(1.0f / k) : s.pointMax;
    }
    if (!(size >= s.pointMin)) size = s.pointMin;
    if (size > s.pointMax) size = s.pointMax;
    return size;
}

void ProcessTransformed(const VertexSetup& s, const std::uint8_t* v, OutVertex* out) {
    const FvfLayout& l = s.layout;
    const float p[3] = {ReadFloat(v), ReadFloat(v + 4), ReadFloat(v + 8)};
    float n[3], position[4], normal[3];
    const bool hasNormal = l.normalOffset >= 0;
    if (hasNormal) {
        n[0] = ReadFloat(v + l.normalOffset);
        n[1] = ReadFloat(v + l.normalOffset + 4);
        n[2] = ReadFloat(v + l.normalOffset + 8);
    }
    ToCameraSpace(s, v, p, hasNormal ? n : nullptr, position, normal);
    if (hasNormal && s.normalizeNormals) Normalize3(normal);

    const float(*m)[4] = s.projection;
    for (int c = 0; c < 4; ++c)
        (&out->x)[c] = position[0] * m[0][c] + position[1] * m[1][c] + position[2] * m[2][c] + position[3] * m[3][c];
    out->clip = ClipCode(s.screen, out->x, out->y, out->z, out->w);
    out->view = ViewCode(s.screen, out->x, out->y, out->z, out->w);
    if (out->clip == 0) ProjectToScreen(s.screen, out);

    D3DCOLOR vd, vs;
    const D3DCOLOR* pd = nullptr;
    const D3DCOLOR* ps = nullptr;
    if (l.diffuseOffset >= 0) pd = &(vd = ReadDword(v + l.diffuseOffset));
    if (l.specularOffset >= 0) ps = &(vs = ReadDword(v + l.specularOffset));
    Color4 diffuse, specular;
    if (s.lighting) {
        LightVertex(s, position, hasNormal ? normal : nullptr, pd, ps, &diffuse, &specular);
    } else {
        diffuse = ColorFromArgb(pd ? *pd : 0xFFFFFFFFu);
        specular = ColorFromArgb(ps ? *ps : 0u);
    }
    if (s.fogMode != D3DFOG_NONE) {
        const float d = s.rangeFog ? std::sqrt(Dot3(position, position)) : position[2];
        specular.a = FogFactor(s.fogMode, d, s.fogStart, s.fogEnd, s.fogDensity);
    }
    std::memcpy(out->attr, &diffuse, 16);
    if (s.specularAttr >= 0) std::memcpy(out->attr + s.specularAttr, &specular, 16);
    MakeTexCoords(s, v, position, hasNormal ? normal : nullptr, out);
    out->psize = PointSize(s, v, position);
}

// XYZRHW: the position is on the screen already; colours pass through.
void ProcessPretransformed(const VertexSetup& s, const std::uint8_t* v, OutVertex* out) {
    const FvfLayout& l = s.layout;
    const ScreenMapping& m = s.screen;
    out->sx = ReadFloat(v);
    out->sy = ReadFloat(v + 4);
    SnapToGrid(out);
    out->sz = ReadFloat(v + 8);
    out->rhw = ReadFloat(v + 12);
    // The clip-space form, for the guard band and for clipping.
    const float w = 1.0f / out->rhw;
    out->w = w;
    out->x = ((out->sx - m.x0) / m.halfWidth - 1.0f) * w;
    out->y = (1.0f - (out->sy - m.y0) / m.halfHeight) * w;
    out->z = out->sz * w;
    out->clip = ClipCode(m, out->x, out->y, out->z, out->w);
    out->view = ViewCode(m, out->x, out->y, out->z, out->w);
    const Color4 diffuse = ColorFromArgb(l.diffuseOffset >= 0 ? ReadDword(v + l.diffuseOffset) : 0xFFFFFFFFu);
    const Color4 specular = ColorFromArgb(l.specularOffset >= 0 ? ReadDword(v + l.specularOffset) : 0u);
    std::memcpy(out->attr, &diffuse, 16);
    if (s.specularAttr >= 0) std::memcpy(out->attr + s.specularAttr, &specular, 16);
    MakeTexCoords(s, v, nullptr, nullptr, out);
    out->psize = PointSize(s, v, nullptr);
}

}  // namespace

void MatrixPalette::Begin(const D3DMATRIX* world, const D3DMATRIX* view) {
    world_ = world;
    view_ = view;
    std::memset(ready_, 0, sizeof ready_);
}

void MatrixPalette::Make(int index) {
    Entry& e = entries_[index];
    const D3DMATRIX& w = world_[index];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            e.m[r][c] = w.m[r][0] * view_->m[0][c] + w.m[r][1] * view_->m[1][c] + w.m[r][2] * view_->m[2][c] +
                        w.m[r][3] * view_->m[3][c];
    // Inverse transpose of the upper 3 x 3: the cofactor matrix over the determinant. A singular
    // matrix keeps its cofactors, which still give the direction of what survives.
    const float(*a)[4] = e.m;
    float cof[3][3];
    cof[0][0] = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    cof[0][1] = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    cof[0][2] = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    cof[1][0] = a[0][2] * a[2][1] - a[0][1] * a[2][2];
    cof[1][1] = a[0][0] * a[2][2] - a[0][2] * a[2][0];
    cof[1][2] = a[0][1] * a[2][0] - a[0][0] * a[2][1];
    cof[2][0] = a[0][1] * a[1][2] - a[0][2] * a[1][1];
    cof[2][1] = a[0][2] * a[1][0] - a[0][0] * a[1][2];
    cof[2][2] = a[0][0] * a[1][1] - a[0][1] * a[1][0];
    const float det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
    const float k = det != 0.0f && std::isfinite(det) ? 1.0f / det : 1.0f;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) e.normal[r][c] = cof[r][c] * k;
    ready_[index] = true;
}

namespace {

// The sums over the lights of the lighting equation, before the material colours.
struct LightSums {
    Color4 ambient, diffuse, specular;
};

// Adds light l's terms at camera-space `position` with `normal` (null: none).
void AddLight(const VertexSetup& s, const LightSetup& l, const float* position, const float* normal,
              const float* toViewer, LightSums* sums) {
    float toLight[3];
    float factor = 1.0f;  // attenuation times spot factor
    if (l.type == D3DLIGHT_DIRECTIONAL) {
        std::memcpy(toLight, l.toLight, 12);
    } else {
        for (int c = 0; c < 3; ++c) toLight[c] = l.position[c] - position[c];
        const float d = std::sqrt(Dot3(toLight, toLight));
        if (!(d <= l.range)) return;  // out of range: not even its ambient part
        Normalize3(toLight);
        factor = Attenuation(l, d);
        if (l.type == D3DLIGHT_SPOT) factor *= SpotFactor(l, toLight);
    }
    sums->ambient.r += l.ambient.r * factor;
    sums->ambient.g += l.ambient.g * factor;
    sums->ambient.b += l.ambient.b * factor;
    if (!normal) return;  // without a normal the dot products are 0
    const float nl = Dot3(normal, toLight);
    if (!(nl > 0.0f)) return;
    sums->diffuse.r += l.diffuse.r * nl * factor;
    sums->diffuse.g += l.diffuse.g * nl * factor;
    sums->diffuse.b += l.diffuse.b * nl * factor;
    if (!s.specularLighting) return;
    float h[3] = {toViewer[0] + toLight[0], toViewer[1] + toLight[1], toViewer[2] + toLight[2]};
    Normalize3(h);
    const float nh = Dot3(normal, h);
    if (!(nh > 0.0f)) return;
    const float p = std::pow(nh, s.material.Power) * factor;
    sums->specular.r += l.specular.r * p;
    sums->specular.g += l.specular.g * p;
    sums->specular.b += l.specular.b * p;
}

}  // namespace

void LightVertex(const VertexSetup& s, const float position[3], const float* normal, const D3DCOLOR* vertexDiffuse,
                 const D3DCOLOR* vertexSpecular, Color4* diffuse, Color4* specular) {
    const D3DMATERIAL8& mat = s.material;
    const Color4 ca = PickSource(s.ambientSource, mat.Ambient, vertexDiffuse, vertexSpecular);
    const Color4 cd = PickSource(s.diffuseSource, mat.Diffuse, vertexDiffuse, vertexSpecular);
    const Color4 cs = PickSource(s.specularSource, mat.Specular, vertexDiffuse, vertexSpecular);
    const Color4 ce = PickSource(s.emissiveSource, mat.Emissive, vertexDiffuse, vertexSpecular);
    // The direction to the eye: from the vertex to the origin, or for an infinitely distant
    // viewer the one the camera looks back along (-z).
    float toViewer[3] = {0.0f, 0.0f, -1.0f};
    if (s.localViewer) {
        toViewer[0] = -position[0];
        toViewer[1] = -position[1];
        toViewer[2] = -position[2];
        Normalize3(toViewer);
    }
    LightSums sums{s.globalAmbient, {0, 0, 0, 0}, {0, 0, 0, 0}};
    for (const LightSetup& l : s.lights) AddLight(s, l, position, normal, toViewer, &sums);
    const Color4 &a = sums.ambient, &d = sums.diffuse, &sp = sums.specular;
    *diffuse =
        Clamp01({ce.r + ca.r * a.r + cd.r * d.r, ce.g + ca.g * a.g + cd.g * d.g, ce.b + ca.b * a.b + cd.b * d.b, cd.a});
    *specular = Clamp01({cs.r * sp.r, cs.g * sp.g, cs.b * sp.b, cs.a});
}

void ProcessVertices(const VertexSetup& setup, const std::uint8_t* data, UINT stride, UINT first, UINT count,
                     OutVertex* out) {
    const std::uint8_t* v = data + std::size_t{first} * stride;
    if (setup.layout.rhw) {
        for (UINT i = 0; i < count; ++i, v += stride) ProcessPretransformed(setup, v, out + i);
        return;
    }
    UINT i = 0;
    if (CanBatchVertices(setup)) {
        i = ProcessVertexBatches(setup, v, stride, count, out);
        v += std::size_t{i} * stride;
    }
    for (; i < count; ++i, v += stride) ProcessTransformed(setup, v, out + i);
}

}  // namespace ms
