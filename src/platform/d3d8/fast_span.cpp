#include "platform/d3d8/fast_span.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d8/d3d8states.h"

// Four pixels of a span at a time, one pixel per lane, through the compiler's vector types
// (SSE2 on x86-64; plain loops where the target has no vectors). Every lane does the operations
// of ShadePixel and WriteColor on the same floats in the same order, so the pixels are exactly
// those of the general loop.
namespace ms {
namespace {

using V4f = float __attribute__((vector_size(16)));
using V4i = std::int32_t __attribute__((vector_size(16)));
using V4u = std::uint32_t __attribute__((vector_size(16)));

constexpr int kLanes = 4;

inline V4f Splat(float v) { return V4f{v, v, v, v}; }
inline V4i SplatI(std::int32_t v) { return V4i{v, v, v, v}; }

// Lanes of a where the mask is set (all ones), else of b.
inline V4f Select(V4i mask, V4f a, V4f b) {
    V4i ai, bi;
    std::memcpy(&ai, &a, sizeof ai);
    std::memcpy(&bi, &b, sizeof bi);
    const V4i r = (ai & mask) | (bi & ~mask);
    V4f out;
    std::memcpy(&out, &r, sizeof out);
    return out;
}

// v > 0 ? (v < 1 ? v : 1) : 0, NaN to 0: the clamp of Sat and UnitToByte.
inline V4f Sat(V4f v) { return Select(v > Splat(0.0f), Select(v < Splat(1.0f), v, Splat(1.0f)), Splat(0.0f)); }

inline V4u UnitToByte(V4f v) { return __builtin_convertvector(__builtin_convertvector(Sat(v) * Splat(255.0f) + Splat(0.5f), V4i), V4u); }

// FloorToInt of each lane: clamped to +-1e9, NaN to -1e9.
inline V4i FloorToInt(V4f f) {
    f = Select(f > Splat(-1.0e9f), f, Splat(-1.0e9f));
    f = Select(f > Splat(1.0e9f), Splat(1.0e9f), f);
    const V4i i = __builtin_convertvector(f, V4i);
    return i + (f < __builtin_convertvector(i, V4f));  // a true comparison is -1
}

struct Color4x4 {
    V4f r, g, b, a;
};

inline Color4x4 Splat(const Color4& c) { return {Splat(c.r), Splat(c.g), Splat(c.b), Splat(c.a)}; }

inline Color4x4 FromArgb(V4u t) {
    constexpr float k = 1.0f / 255.0f;
    const V4u m = {0xFF, 0xFF, 0xFF, 0xFF};
    return {__builtin_convertvector((t >> 16) & m, V4f) * Splat(k), __builtin_convertvector((t >> 8) & m, V4f) * Splat(k),
            __builtin_convertvector(t & m, V4f) * Splat(k), __builtin_convertvector(t >> 24, V4f) * Splat(k)};
}

// ---- Texture sampling of a stage without mip levels ----

struct TextureView {
    const std::uint32_t* pixels;
    int width, height;
    int widthMask, heightMask;
    DWORD addressU, addressV;
};

inline int Modulo(int i, int n) {
    const int m = i % n;
    return m < 0 ? m + n : m;
}

// The texel index along an axis of n texels (WRAP, MIRROR, CLAMP; the fast path has no border).
inline int AddressOne(int i, int n, DWORD mode) {
    if (i >= 0 && i < n) return i;
    if (mode == D3DTADDRESS_CLAMP) return i < 0 ? 0 : n - 1;
    if (mode == D3DTADDRESS_MIRROR) {
        const int m = Modulo(i, 2 * n);
        return m < n ? m : 2 * n - 1 - m;
    }
    return Modulo(i, n);
}

inline V4i Address(V4i i, int n, int mask, DWORD mode) {
    if (mode == D3DTADDRESS_WRAP && mask >= 0) return i & SplatI(mask);
    if (mode == D3DTADDRESS_CLAMP) {
        i = i < SplatI(0) ? SplatI(0) : i;
        return i > SplatI(n - 1) ? SplatI(n - 1) : i;
    }
    for (int l = 0; l < kLanes; ++l) i[l] = AddressOne(i[l], n, mode);
    return i;
}

inline V4u Fetch(const TextureView& t, V4i i, V4i j) {
    V4u out;
    for (int l = 0; l < kLanes; ++l) out[l] = t.pixels[static_cast<std::size_t>(j[l]) * t.width + i[l]];
    return out;
}

inline Color4x4 SamplePoint(const TextureView& t, V4f u, V4f v) {
    const V4i i = FloorToInt(u * Splat(static_cast<float>(t.width)));
    const V4i j = FloorToInt(v * Splat(static_cast<float>(t.height)));
    return FromArgb(Fetch(t, Address(i, t.width, t.widthMask, t.addressU), Address(j, t.height, t.heightMask, t.addressV)));
}

inline V4f Mix(V4f p00, V4f p10, V4f p01, V4f p11, V4f a, V4f b) {
    const V4f top = p00 + (p10 - p00) * a, bottom = p01 + (p11 - p01) * a;
    return top + (bottom - top) * b;
}

inline Color4x4 SampleLinear(const TextureView& t, V4f u, V4f v) {
    const V4f fu = u * Splat(static_cast<float>(t.width)) - Splat(0.5f);
    const V4f fv = v * Splat(static_cast<float>(t.height)) - Splat(0.5f);
    const V4i i = FloorToInt(fu), j = FloorToInt(fv);
    V4f a = fu - __builtin_convertvector(i, V4f), b = fv - __builtin_convertvector(j, V4f);
    a = Select((a >= Splat(0.0f)) & (a <= Splat(1.0f)), a, Splat(0.0f));
    b = Select((b >= Splat(0.0f)) & (b <= Splat(1.0f)), b, Splat(0.0f));
    const V4i i0 = Address(i, t.width, t.widthMask, t.addressU);
    const V4i i1 = Address(i + SplatI(1), t.width, t.widthMask, t.addressU);
    const V4i j0 = Address(j, t.height, t.heightMask, t.addressV);
    const V4i j1 = Address(j + SplatI(1), t.height, t.heightMask, t.addressV);
    const Color4x4 c00 = FromArgb(Fetch(t, i0, j0)), c10 = FromArgb(Fetch(t, i1, j0));
    const Color4x4 c01 = FromArgb(Fetch(t, i0, j1)), c11 = FromArgb(Fetch(t, i1, j1));
    return {Mix(c00.r, c10.r, c01.r, c11.r, a, b), Mix(c00.g, c10.g, c01.g, c11.g, a, b),
            Mix(c00.b, c10.b, c01.b, c11.b, a, b), Mix(c00.a, c10.a, c01.a, c11.a, a, b)};
}

// ---- The stage ----

enum class Filter { kNone, kPoint, kLinear };

inline V4f Operate(DWORD op, V4f a1, V4f a2) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return a1 * a2;
        default: return a1 + a2;  // ADD
    }
}

template <Filter kFilter, bool kSpecular>
void FastSpan(const PixelSetup& s, int y, int x0, int x1, const Interpolants& p) {
    const SpanStart start = StartSpan(s, y, x0, p);
    std::uint32_t* color = start.color;
    std::uint32_t* ds = s.depthTest ? start.depthStencil : nullptr;

    const bool staged = s.stageCount > 0;
    const StageSetup& st = s.stages[0];
    TextureView tex{};
    if constexpr (kFilter != Filter::kNone) {
        const Sampler& sm = st.sampler;
        const TextureLevel& l = sm.texture->level(sm.baseLevel);
        tex = {l.pixels, l.width, l.height, l.widthMask, l.heightMask, sm.addressU, sm.addressV};
    }
    const int coord = st.coordAttr, spec = s.specularAttr;
    const V4f rhw0 = Splat(start.rhw0), drhw = Splat(p.drhwdx);
    const std::uint32_t forceAlpha = s.fb.destAlpha ? 0u : 0xFF000000u;
    const std::uint32_t keep = ~s.writeMask;

    for (int g = 0; g <= x1 - x0; g += kLanes) {
        const int n = std::min(kLanes, x1 - x0 + 1 - g);
        // Depth first; with an alpha test the depth is written once the test has passed.
        std::uint32_t z[kLanes] = {};
        bool live[kLanes] = {};
        int liveCount = 0;
        for (int l = 0; l < n; ++l) {
            const int x = x0 + g + l;
            live[l] = true;
            if (ds) {
                z[l] = QuantizeDepth(start.z0 + p.dzdx * (g + l), s.depthBias);
                const std::uint32_t old = ds[x];
                live[l] = Compare(s.depthFunc, z[l], old >> 8);
                if (live[l] && s.depthWrite && !s.alphaTest) ds[x] = (z[l] << 8) | (old & 0xFF);
            }
            liveCount += live[l];
        }
        if (!liveCount) continue;

        const float fg = static_cast<float>(g);
        const V4f fi = V4f{fg, fg + 1.0f, fg + 2.0f, fg + 3.0f};
        const V4f w = Splat(1.0f) / (rhw0 + drhw * fi);
        auto attr = [&](int k) { return (Splat(start.base[k]) + Splat(p.adx[k]) * fi) * w; };

        // The registers a stage reads, by D3DTA_* selector: DIFFUSE, CURRENT, TEXTURE, TFACTOR, SPECULAR.
        Color4x4 reg[5];
        reg[D3DTA_DIFFUSE] = {attr(0), attr(1), attr(2), attr(3)};
        reg[D3DTA_CURRENT] = reg[D3DTA_DIFFUSE];
        Color4x4 c = reg[D3DTA_DIFFUSE];
        if (staged) {
            if constexpr (kFilter == Filter::kPoint) {
                reg[D3DTA_TEXTURE] = SamplePoint(tex, attr(coord), attr(coord + 1));
            } else if constexpr (kFilter == Filter::kLinear) {
                reg[D3DTA_TEXTURE] = SampleLinear(tex, attr(coord), attr(coord + 1));
            } else {
                reg[D3DTA_TEXTURE] = Splat(Color4{0, 0, 0, 1});
            }
            reg[D3DTA_TFACTOR] = Splat(s.textureFactor);
            if (spec >= 0) {
                reg[D3DTA_SPECULAR] = {attr(spec), attr(spec + 1), attr(spec + 2), attr(spec + 3)};
            } else {
                reg[D3DTA_SPECULAR] = Splat(Color4{0, 0, 0, 0});
            }
            const Color4x4 &c1 = reg[st.colorArg[1]], &c2 = reg[st.colorArg[2]];
            c.r = Sat(Operate(st.colorOp, c1.r, c2.r));
            c.g = Sat(Operate(st.colorOp, c1.g, c2.g));
            c.b = Sat(Operate(st.colorOp, c1.b, c2.b));
            c.a = st.alphaOp == D3DTOP_DISABLE
                      ? Sat(reg[D3DTA_CURRENT].a)
                      : Sat(Operate(st.alphaOp, reg[st.alphaArg[1]].a, reg[st.alphaArg[2]].a));
        }
        if constexpr (kSpecular) {
            c.r = Sat(c.r + attr(spec));
            c.g = Sat(c.g + attr(spec + 1));
            c.b = Sat(c.b + attr(spec + 2));
        }

        const V4u alpha = UnitToByte(c.a);
        if (s.alphaTest) {
            for (int l = 0; l < n; ++l) {
                if (!live[l]) continue;
                live[l] = Compare(s.alphaFunc, static_cast<std::uint32_t>(alpha[l]), s.alphaRef);
                if (live[l] && ds && s.depthWrite) {
                    std::uint32_t& d = ds[x0 + g + l];
                    d = (z[l] << 8) | (d & 0xFF);
                }
            }
        }
        if (s.blend) {
            for (int l = 0; l < n; ++l) {
                if (!live[l]) continue;
                std::uint32_t* dest = color + x0 + g + l;
                Color4 d = ColorFromArgb(*dest);
                if (!s.fb.destAlpha) d.a = 1.0f;
                const Color4 src{c.r[l], c.g[l], c.b[l], c.a[l]};
                const std::uint32_t out = ArgbFromColor(BlendColors(s.srcBlend, s.destBlend, s.blendOp, src, d));
                *dest = ((out | forceAlpha) & s.writeMask) | (*dest & keep);
            }
            continue;
        }
        const V4u packed = (alpha << 24) | (UnitToByte(c.r) << 16) | (UnitToByte(c.g) << 8) | UnitToByte(c.b);
        for (int l = 0; l < n; ++l) {
            if (!live[l]) continue;
            std::uint32_t* dest = color + x0 + g + l;
            const std::uint32_t out = static_cast<std::uint32_t>(packed[l]) | forceAlpha;
            *dest = (out & s.writeMask) | (*dest & keep);
        }
    }
}

bool FastArgument(DWORD arg) { return arg <= D3DTA_SPECULAR; }  // no TEMP, no modifiers

bool FastOperation(DWORD op) {
    return op == D3DTOP_SELECTARG1 || op == D3DTOP_SELECTARG2 || op == D3DTOP_MODULATE || op == D3DTOP_ADD;
}

bool FastStage(const StageSetup& st) {
    if (!FastOperation(st.colorOp) || !(FastOperation(st.alphaOp) || st.alphaOp == D3DTOP_DISABLE) || st.toTemp)
        return false;
    if (!FastArgument(st.colorArg[1]) || !FastArgument(st.colorArg[2]) || !FastArgument(st.alphaArg[1]) ||
        !FastArgument(st.alphaArg[2]))
        return false;
    if (!st.hasTexture) return true;
    const Sampler& sm = st.sampler;
    auto mode = [](DWORD m) { return m == D3DTADDRESS_WRAP || m == D3DTADDRESS_CLAMP || m == D3DTADDRESS_MIRROR; };
    return !st.projected && !sm.needsLod && mode(sm.addressU) && mode(sm.addressV);
}

template <Filter kFilter>
SpanFunction WithSpecular(bool specular) {
    return specular ? &FastSpan<kFilter, true> : &FastSpan<kFilter, false>;
}

}  // namespace

SpanFunction ChooseFastSpan(const PixelSetup& s) {
    if (s.fog != FogMode::kNone || s.stencil || !s.shade || s.stageCount > 1) return nullptr;
    if (s.stageCount == 1 && !FastStage(s.stages[0])) return nullptr;
    const bool specular = s.addSpecular && s.specularAttr >= 0;
    if (s.addSpecular && !specular) return nullptr;
    if (s.stageCount == 0 || !s.stages[0].hasTexture) return WithSpecular<Filter::kNone>(specular);
    return s.stages[0].sampler.magFilter >= D3DTEXF_LINEAR ? WithSpecular<Filter::kLinear>(specular)
                                                           : WithSpecular<Filter::kPoint>(specular);
}

}  // namespace ms
