#include "platform/d3d8/fast_span.h"

#include <algorithm>
#include <bit>
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
    return std::bit_cast<V4f>((std::bit_cast<V4i>(a) & mask) | (std::bit_cast<V4i>(b) & ~mask));
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
    int widthShift;  // log2 of a power-of-two width, else -1
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

// Texels at in-range indices; a texture has fewer than 2^31 texels.
inline V4u Fetch(const TextureView& t, V4i i, V4i j) {
    const V4i index = t.widthShift >= 0 ? (j << t.widthShift) + i : j * SplatI(t.width) + i;
    return V4u{t.pixels[index[0]], t.pixels[index[1]], t.pixels[index[2]], t.pixels[index[3]]};
}

__attribute__((always_inline)) inline Color4x4 SamplePoint(const TextureView& t, V4f u, V4f v) {
    const V4i i = FloorToInt(u * Splat(static_cast<float>(t.width)));
    const V4i j = FloorToInt(v * Splat(static_cast<float>(t.height)));
    return FromArgb(Fetch(t, Address(i, t.width, t.widthMask, t.addressU), Address(j, t.height, t.heightMask, t.addressV)));
}

inline V4f Mix(V4f p00, V4f p10, V4f p01, V4f p11, V4f a, V4f b) {
    const V4f top = p00 + (p10 - p00) * a, bottom = p01 + (p11 - p01) * a;
    return top + (bottom - top) * b;
}

__attribute__((always_inline)) inline Color4x4 SampleLinear(const TextureView& t, V4f u, V4f v) {
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

// ---- Tests and writes of four pixels ----

inline bool Any(V4i m) {
#ifdef __SSE2__
    return __builtin_ia32_movmskps(std::bit_cast<V4f>(m)) != 0;
#else
    return (m[0] | m[1] | m[2] | m[3]) != 0;
#endif
}

inline V4u SelectU(V4i mask, V4u a, V4u b) {
    const V4u m = std::bit_cast<V4u>(mask);
    return (a & m) | (b & ~m);
}

// Four pixels taken from the spans of a primitive in order: row y, span start x0, index i in
// the span, and the offset of the pixel in the buffers. Lanes past `count` repeat lane 0.
struct Lanes {
    V4i y, x0, i;
    int offset[kLanes];
    int count;
    bool contiguous;  // the four offsets follow each other
};

inline V4u Load(const std::uint32_t* buffer, const Lanes& q) {
    if (q.contiguous) {
        V4u v;
        std::memcpy(&v, buffer + q.offset[0], sizeof v);
        return v;
    }
    return V4u{buffer[q.offset[0]], buffer[q.offset[1]], buffer[q.offset[2]], buffer[q.offset[3]]};
}
// Writes the lanes in use.
inline void Store(std::uint32_t* buffer, const Lanes& q, V4u v) {
    if (q.contiguous) {
        std::memcpy(buffer + q.offset[0], &v, sizeof v);
        return;
    }
    for (int l = 0; l < q.count; ++l) buffer[q.offset[l]] = v[l];
}

// Compare of each lane (D3DCMP_*; unknown: always); values below 2^31.
inline V4i Passes(DWORD func, V4u value, V4u stored) {
    const V4i v = std::bit_cast<V4i>(value), s = std::bit_cast<V4i>(stored);
    switch (func) {
        case 1: return SplatI(0);
        case 2: return v < s;
        case 3: return v == s;
        case 4: return v <= s;
        case 5: return v > s;
        case 6: return v != s;
        case 7: return v >= s;
        default: return SplatI(-1);
    }
}

using V2d = double __attribute__((vector_size(16)));
using V2i = std::int32_t __attribute__((vector_size(8)));

// QuantizeDepth of each lane's depth, computed as StartSpan and the general loop compute it.
inline V4u LaneDepths(const Interpolants& p, const Lanes& q, std::int32_t bias) {
    const V2d scale = {16777215.0, 16777215.0}, half = {0.5, 0.5}, zero = {0.0, 0.0}, one = {1.0, 1.0};
    const double ox = p.ox, oy = p.oy;
    auto quantize = [&](int l) {
        const V2d x0 = {static_cast<double>(q.x0[l]), static_cast<double>(q.x0[l + 1])};
        const V2d y = {static_cast<double>(q.y[l]), static_cast<double>(q.y[l + 1])};
        const V2d i = {static_cast<double>(q.i[l]), static_cast<double>(q.i[l + 1])};
        const V2d dzdx = {p.dzdx, p.dzdx}, dzdy = {p.dzdy, p.dzdy};
        const V2d z0 = V2d{p.z, p.z} + dzdx * (x0 - V2d{ox, ox}) + dzdy * (y - V2d{oy, oy});
        const V2d z = z0 + dzdx * i;
        const V2d clamped = z > zero ? (z < one ? z : one) : zero;  // NaN to 0
        return __builtin_convertvector(clamped * scale + half, V2i);
    };
    const V2i lo = quantize(0), hi = quantize(2);
    V4i z = V4i{lo[0], lo[1], hi[0], hi[1]} - SplatI(bias);
    z = z < SplatI(0) ? SplatI(0) : z;
    z = z > SplatI(0xFFFFFF) ? SplatI(0xFFFFFF) : z;
    return std::bit_cast<V4u>(z);
}

// The planes of a primitive, one value per lane.
struct Planes4 {
    V4f a[kMaxAttributes], dx[kMaxAttributes], dy[kMaxAttributes];
    V4f rhw, drhwdx, drhwdy, ox, oy;
};

template <Filter kFilter, bool kSpecular>
void FastRows(const PixelSetup& s, const Interpolants& p, const Span* spans, int spanCount) {
    const bool staged = s.stageCount > 0;
    const StageSetup& st = s.stages[0];
    TextureView tex{};
    if constexpr (kFilter != Filter::kNone) {
        const Sampler& sm = st.sampler;
        const TextureLevel& l = sm.texture->level(sm.baseLevel);
        tex = {l.pixels, l.width, l.height, l.widthMask, l.heightMask, sm.addressU, sm.addressV,
               l.widthMask >= 0 ? std::countr_zero(static_cast<unsigned>(l.width)) : -1};
    }
    const int coord = st.coordAttr, spec = s.specularAttr;
    const bool specular = spec >= 0 && (kSpecular || staged);
    const V4u forceAlpha = s.fb.destAlpha ? V4u{0, 0, 0, 0} : V4u{0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};
    const V4u writeMask = V4u{s.writeMask, s.writeMask, s.writeMask, s.writeMask};
    const V4u low8 = V4u{0xFF, 0xFF, 0xFF, 0xFF};
    const V4i iota = V4i{0, 1, 2, 3};
    std::uint32_t* const color = s.fb.color;
    std::uint32_t* const ds = s.depthTest ? s.fb.depthStencil : nullptr;
    const bool lateDepthWrite = ds && s.depthWrite && s.alphaTest;
    const int pitch = s.fb.pitch;

    Planes4 pl;
    for (int k = 0; k < p.count; ++k) {
        pl.a[k] = Splat(p.a[k]);
        pl.dx[k] = Splat(p.adx[k]);
        pl.dy[k] = Splat(p.ady[k]);
    }
    pl.rhw = Splat(p.rhw);
    pl.drhwdx = Splat(p.drhwdx);
    pl.drhwdy = Splat(p.drhwdy);
    pl.ox = Splat(p.ox);
    pl.oy = Splat(p.oy);

    int span = 0, next = 0;  // the next pixel: index `next` of spans[span]
    while (span < spanCount) {
        Lanes q;
        q.count = 0;
        while (q.count < kLanes && span < spanCount) {
            const Span& sp = spans[span];
            const int take = std::min(kLanes - q.count, sp.x1 - sp.x0 + 1 - next);
            const int row = sp.y * pitch + sp.x0;
            for (int t = 0; t < take; ++t, ++q.count) {
                q.y[q.count] = sp.y;
                q.x0[q.count] = sp.x0;
                q.i[q.count] = next + t;
                q.offset[q.count] = row + next + t;
            }
            next += take;
            if (sp.x0 + next > sp.x1) ++span, next = 0;
        }
        for (int l = q.count; l < kLanes; ++l) {
            q.y[l] = q.y[0];
            q.x0[l] = q.x0[0];
            q.i[l] = q.i[0];
            q.offset[l] = q.offset[0];
        }
        q.contiguous = q.count == kLanes && q.offset[3] - q.offset[0] == 3;

        V4i live = iota < SplatI(q.count);
        // Depth first; with an alpha test the depth is written once the test has passed.
        V4u z = {0, 0, 0, 0}, oldDs = z;
        if (ds) {
            z = LaneDepths(p, q, s.depthBias);
            oldDs = Load(ds, q);
            live &= Passes(s.depthFunc, z, oldDs >> 8);
            if (s.depthWrite && !s.alphaTest && Any(live)) Store(ds, q, SelectU(live, (z << 8) | (oldDs & low8), oldDs));
        }
        if (!Any(live)) continue;

        // As StartSpan and the general loop: the planes at the span start, then along the span.
        const V4f fx = __builtin_convertvector(q.x0, V4f) - pl.ox, fy = __builtin_convertvector(q.y, V4f) - pl.oy;
        const V4f fi = __builtin_convertvector(q.i, V4f);
        const V4f w = Splat(1.0f) / ((pl.rhw + pl.drhwdx * fx + pl.drhwdy * fy) + pl.drhwdx * fi);
        auto attr = [&](int k) { return ((pl.a[k] + pl.dx[k] * fx + pl.dy[k] * fy) + pl.dx[k] * fi) * w; };

        // The registers a stage reads, by D3DTA_* selector: DIFFUSE, CURRENT, TEXTURE, TFACTOR, SPECULAR.
        Color4x4 reg[5];
        reg[D3DTA_DIFFUSE] = {attr(0), attr(1), attr(2), attr(3)};
        reg[D3DTA_SPECULAR] =
            specular ? Color4x4{attr(spec), attr(spec + 1), attr(spec + 2), attr(spec + 3)} : Splat(Color4{0, 0, 0, 0});
        Color4x4 c = reg[D3DTA_DIFFUSE];
        if (staged) {
            reg[D3DTA_CURRENT] = reg[D3DTA_DIFFUSE];
            if constexpr (kFilter == Filter::kPoint) {
                reg[D3DTA_TEXTURE] = SamplePoint(tex, attr(coord), attr(coord + 1));
            } else if constexpr (kFilter == Filter::kLinear) {
                reg[D3DTA_TEXTURE] = SampleLinear(tex, attr(coord), attr(coord + 1));
            } else {
                reg[D3DTA_TEXTURE] = Splat(Color4{0, 0, 0, 1});
            }
            reg[D3DTA_TFACTOR] = Splat(s.textureFactor);
            const Color4x4 &c1 = reg[st.colorArg[1]], &c2 = reg[st.colorArg[2]];
            c.r = Sat(Operate(st.colorOp, c1.r, c2.r));
            c.g = Sat(Operate(st.colorOp, c1.g, c2.g));
            c.b = Sat(Operate(st.colorOp, c1.b, c2.b));
            c.a = st.alphaOp == D3DTOP_DISABLE
                      ? Sat(reg[D3DTA_CURRENT].a)
                      : Sat(Operate(st.alphaOp, reg[st.alphaArg[1]].a, reg[st.alphaArg[2]].a));
        }
        if constexpr (kSpecular) {
            c.r = Sat(c.r + reg[D3DTA_SPECULAR].r);
            c.g = Sat(c.g + reg[D3DTA_SPECULAR].g);
            c.b = Sat(c.b + reg[D3DTA_SPECULAR].b);
        }

        const V4u alpha = UnitToByte(c.a);
        if (s.alphaTest) {
            const V4u ref = V4u{s.alphaRef, s.alphaRef, s.alphaRef, s.alphaRef};
            live &= Passes(s.alphaFunc, alpha, ref);
            if (!Any(live)) continue;
            if (lateDepthWrite) Store(ds, q, SelectU(live, (z << 8) | (oldDs & low8), oldDs));
        }
        const V4u old = Load(color, q);
        V4u out;
        if (s.blend) {
            out = old;
            for (int l = 0; l < q.count; ++l) {
                if (!live[l]) continue;
                Color4 d = ColorFromArgb(old[l]);
                if (!s.fb.destAlpha) d.a = 1.0f;
                const Color4 src{c.r[l], c.g[l], c.b[l], c.a[l]};
                out[l] = ArgbFromColor(BlendColors(s.srcBlend, s.destBlend, s.blendOp, src, d));
            }
        } else {
            out = (alpha << 24) | (UnitToByte(c.r) << 16) | (UnitToByte(c.g) << 8) | UnitToByte(c.b);
        }
        out = ((out | forceAlpha) & writeMask) | (old & ~writeMask);
        Store(color, q, SelectU(live, out, old));
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
RowsFunction WithSpecular(bool specular) {
    return specular ? &FastRows<kFilter, true> : &FastRows<kFilter, false>;
}

}  // namespace

RowsFunction ChooseFastRows(const PixelSetup& s) {
    if (s.fog != FogMode::kNone || s.stencil || !s.shade || s.stageCount > 1) return nullptr;
    if (s.stageCount == 1 && !FastStage(s.stages[0])) return nullptr;
    const bool specular = s.addSpecular && s.specularAttr >= 0;
    if (s.addSpecular && !specular) return nullptr;
    if (s.stageCount == 0 || !s.stages[0].hasTexture) return WithSpecular<Filter::kNone>(specular);
    return s.stages[0].sampler.magFilter >= D3DTEXF_LINEAR ? WithSpecular<Filter::kLinear>(specular)
                                                           : WithSpecular<Filter::kPoint>(specular);
}

}  // namespace ms
