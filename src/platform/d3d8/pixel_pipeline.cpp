#include "platform/d3d8/pixel_pipeline.h"

#include <algorithm>
#include <cmath>

#include "platform/d3d8/d3d8states.h"

namespace ms {
namespace {

inline float Sat(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

// The values a texture stage reads, indexed by the D3DTA_* selector: DIFFUSE 0, CURRENT 1,
// TEXTURE 2, TFACTOR 3, SPECULAR 4, TEMP 5.
struct Registers {
    Color4 r[6];
    Color4& diffuse() { return r[D3DTA_DIFFUSE]; }
    Color4& current() { return r[D3DTA_CURRENT]; }
    Color4& texel() { return r[D3DTA_TEXTURE]; }
    Color4& specular() { return r[D3DTA_SPECULAR]; }
    Color4& temp() { return r[D3DTA_TEMP]; }
};

inline Color4 Argument(DWORD arg, const Registers& in) {
    Color4 c = in.r[arg & D3DTA_SELECTMASK];  // the set-up maps unknown selectors to CURRENT
    if (arg & D3DTA_COMPLEMENT) c = {1.0f - c.r, 1.0f - c.g, 1.0f - c.b, 1.0f - c.a};
    if (arg & D3DTA_ALPHAREPLICATE) c.r = c.g = c.b = c.a;
    return c;
}

// One channel of the operations that treat the channels alike; alpha is the blend factor of the
// BLEND* operations.
inline float Combine(DWORD op, float a0, float a1, float a2, float alpha) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return a1 * a2;
        case D3DTOP_MODULATE2X: return 2.0f * a1 * a2;
        case D3DTOP_MODULATE4X: return 4.0f * a1 * a2;
        case D3DTOP_ADD: return a1 + a2;
        case D3DTOP_ADDSIGNED: return a1 + a2 - 0.5f;
        case D3DTOP_ADDSIGNED2X: return 2.0f * (a1 + a2 - 0.5f);
        case D3DTOP_SUBTRACT: return a1 - a2;
        case D3DTOP_ADDSMOOTH: return a1 + a2 - a1 * a2;
        case D3DTOP_BLENDDIFFUSEALPHA:
        case D3DTOP_BLENDTEXTUREALPHA:
        case D3DTOP_BLENDFACTORALPHA:
        case D3DTOP_BLENDCURRENTALPHA: return a1 * alpha + a2 * (1.0f - alpha);
        case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + a2 * (1.0f - alpha);
        case D3DTOP_MULTIPLYADD: return a0 + a1 * a2;
        case D3DTOP_LERP: return a0 * a1 + (1.0f - a0) * a2;
        default: return a1;  // PREMODULATE, and operations that have no meaning here
    }
}

inline float BlendAlpha(DWORD op, Registers& in) {
    switch (op) {
        case D3DTOP_BLENDDIFFUSEALPHA: return in.diffuse().a;
        case D3DTOP_BLENDTEXTUREALPHA:
        case D3DTOP_BLENDTEXTUREALPHAPM: return in.texel().a;
        case D3DTOP_BLENDFACTORALPHA: return in.r[D3DTA_TFACTOR].a;
        case D3DTOP_BLENDCURRENTALPHA: return in.current().a;
        default: return 0.0f;
    }
}

inline bool NeedsArg0(DWORD op) { return op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP; }

// The colour operation of a stage on rgb (alpha of the result unused).
Color4 ColorOperation(const StageSetup& st, Registers& in) {
    const DWORD op = st.colorOp;
    const Color4 a1 = Argument(st.colorArg[1], in);
    if (op == D3DTOP_SELECTARG1) return a1;
    const Color4 a2 = Argument(st.colorArg[2], in);
    switch (op) {
        case D3DTOP_MODULATE: return {a1.r * a2.r, a1.g * a2.g, a1.b * a2.b, 0.0f};
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_ADD: return {a1.r + a2.r, a1.g + a2.g, a1.b + a2.b, 0.0f};
        case D3DTOP_MODULATE2X: return {2.0f * a1.r * a2.r, 2.0f * a1.g * a2.g, 2.0f * a1.b * a2.b, 0.0f};
        case D3DTOP_MODULATEALPHA_ADDCOLOR: return {a1.r + a1.a * a2.r, a1.g + a1.a * a2.g, a1.b + a1.a * a2.b, 0.0f};
        case D3DTOP_MODULATECOLOR_ADDALPHA: return {a1.r * a2.r + a1.a, a1.g * a2.g + a1.a, a1.b * a2.b + a1.a, 0.0f};
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
            return {a1.r + (1 - a1.a) * a2.r, a1.g + (1 - a1.a) * a2.g, a1.b + (1 - a1.a) * a2.b, 0.0f};
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
            return {(1 - a1.r) * a2.r + a1.a, (1 - a1.g) * a2.g + a1.a, (1 - a1.b) * a2.b + a1.a, 0.0f};
        case D3DTOP_DOTPRODUCT3: {
            const float d =
                4.0f * ((a1.r - 0.5f) * (a2.r - 0.5f) + (a1.g - 0.5f) * (a2.g - 0.5f) + (a1.b - 0.5f) * (a2.b - 0.5f));
            return {d, d, d, d};
        }
        case D3DTOP_BUMPENVMAP:
        case D3DTOP_BUMPENVMAPLUMINANCE:
            return in.current();  // bump maps need signed formats, which the device does not have
        default: break;
    }
    const Color4 a0 = NeedsArg0(op) ? Argument(st.colorArg[0], in) : Color4{};
    const float alpha = BlendAlpha(op, in);
    return {Combine(op, a0.r, a1.r, a2.r, alpha), Combine(op, a0.g, a1.g, a2.g, alpha),
            Combine(op, a0.b, a1.b, a2.b, alpha), 0.0f};
}

float AlphaOperation(const StageSetup& st, Registers& in) {
    const DWORD op = st.alphaOp;
    if (op == D3DTOP_DISABLE) return in.current().a;
    const float a1 = Argument(st.alphaArg[1], in).a;
    if (op == D3DTOP_SELECTARG1) return a1;
    const float a2 = Argument(st.alphaArg[2], in).a;
    const float a0 = NeedsArg0(op) ? Argument(st.alphaArg[0], in).a : 0.0f;
    return Combine(op, a0, a1, a2, BlendAlpha(op, in));
}

// The state of one pixel as the planes give it.
struct PixelValues {
    float w;
    const float* base;  // attribute * rhw at the span start
    const float* step;  // per pixel
    int i;              // pixel index in the span
    float Attr(int k) const { return (base[k] + step[k] * static_cast<float>(i)) * w; }
};

float LevelOfDetail(const Sampler& s, const Interpolants& p, const PixelValues& px, int attr, float u, float v) {
    const TextureLevel& l = s.texture->level(0);
    const float w = px.w;
    const float dudx = (p.adx[attr] - u * p.drhwdx) * w, dvdx = (p.adx[attr + 1] - v * p.drhwdx) * w;
    const float dudy = (p.ady[attr] - u * p.drhwdy) * w, dvdy = (p.ady[attr + 1] - v * p.drhwdy) * w;
    const float sw = static_cast<float>(l.width), sh = static_cast<float>(l.height);
    const float x2 = dudx * dudx * sw * sw + dvdx * dvdx * sh * sh;
    const float y2 = dudy * dudy * sw * sw + dvdy * dvdy * sh * sh;
    return 0.5f * std::log2(std::max(x2, y2));
}

// Runs the texture stages (and specular and fog) for one pixel.
Color4 ShadePixel(const PixelSetup& s, const Interpolants& p, const PixelValues& px) {
    Registers in;
    in.diffuse() = {px.Attr(0), px.Attr(1), px.Attr(2), px.Attr(3)};
    if (s.specularAttr >= 0) {
        const int k = s.specularAttr;
        in.specular() = {px.Attr(k), px.Attr(k + 1), px.Attr(k + 2), px.Attr(k + 3)};
    } else {
        in.specular() = {0, 0, 0, 0};
    }
    in.current() = in.diffuse();
    in.temp() = {0, 0, 0, 0};
    in.r[D3DTA_TFACTOR] = s.textureFactor;
    bool premodulate = false;
    for (int i = 0; i < s.stageCount; ++i) {
        const StageSetup& st = s.stages[i];
        if (st.hasTexture) {
            float u = px.Attr(st.coordAttr), v = px.Attr(st.coordAttr + 1);
            const float lod = st.sampler.needsLod ? LevelOfDetail(st.sampler, p, px, st.coordAttr, u, v) : 0.0f;
            if (st.projected) {
                const float q = px.Attr(st.coordAttr + 2);
                u /= q;
                v /= q;
            }
            in.texel() = Sample(st.sampler, u, v, lod);
        } else {
            in.texel() = {0, 0, 0, 1};
        }
        if (premodulate) {
            Color4& c = in.current();
            const Color4& t = in.texel();
            c = {c.r * t.r, c.g * t.g, c.b * t.b, c.a * t.a};
            premodulate = false;
        }
        Color4 r = ColorOperation(st, in);
        r.a = st.colorOp == D3DTOP_DOTPRODUCT3 ? r.r : AlphaOperation(st, in);
        (st.toTemp ? in.temp() : in.current()) = {Sat(r.r), Sat(r.g), Sat(r.b), Sat(r.a)};
        premodulate = st.colorOp == D3DTOP_PREMODULATE;
    }
    Color4 c = in.current();
    if (s.addSpecular) {
        const Color4& sp = in.specular();
        c = {Sat(c.r + sp.r), Sat(c.g + sp.g), Sat(c.b + sp.b), c.a};
    }
    if (s.fog != FogMode::kNone) {
        const float f = s.fog == FogMode::kVertex ? Sat(in.specular().a)
                                                  : FogFactor(s.fogTableMode, px.w, s.fogStart, s.fogEnd, s.fogDensity);
        c.r = f * c.r + (1.0f - f) * s.fogColor.r;
        c.g = f * c.g + (1.0f - f) * s.fogColor.g;
        c.b = f * c.b + (1.0f - f) * s.fogColor.b;
    }
    return c;
}

// The stencil and depth tests of one pixel with their writes; false when the pixel is dropped.
inline bool DepthStencil(const PixelSetup& s, std::uint32_t* ds, std::uint32_t z) {
    const std::uint32_t old = *ds;
    const std::uint32_t stored = old >> 8, stencil = old & 0xFF;
    std::uint32_t newStencil = stencil;
    bool pass = true;
    DWORD op = D3DSTENCILOP_KEEP;
    if (s.stencil && !Compare(s.stencilFunc, s.stencilRef & s.stencilMask, stencil & s.stencilMask)) {
        op = s.stencilFail;
        pass = false;
    } else if (s.depthTest && !Compare(s.depthFunc, z, stored)) {
        op = s.stencilZFail;
        pass = false;
    } else {
        op = s.stencilPass;
    }
    if (s.stencil && op != D3DSTENCILOP_KEEP) {
        const std::uint32_t v = StencilOp(op, stencil, s.stencilRef) & 0xFF;
        newStencil = (stencil & ~s.stencilWriteMask) | (v & s.stencilWriteMask);
    }
    const std::uint32_t newDepth = pass && s.depthWrite ? z : stored;
    *ds = (newDepth << 8) | (newStencil & 0xFF);
    return pass;
}

inline std::uint32_t WriteColor(const PixelSetup& s, std::uint32_t* dest, Color4 c) {
    const std::uint32_t old = *dest;
    if (s.blend) {
        Color4 d = ColorFromArgb(old);
        if (!s.fb.destAlpha) d.a = 1.0f;
        c = BlendColors(s.srcBlend, s.destBlend, s.blendOp, c, d);
    }
    std::uint32_t out = ArgbFromColor(c);
    if (!s.fb.destAlpha) out |= 0xFF000000u;
    return *dest = (out & s.writeMask) | (old & ~s.writeMask);
}

inline float BlendFactor(DWORD factor, const Color4& src, const Color4& dest, int channel) {
    const float sc = (&src.r)[channel], dc = (&dest.r)[channel];
    switch (factor) {
        case D3DBLEND_ZERO: return 0.0f;
        case D3DBLEND_SRCCOLOR: return sc;
        case D3DBLEND_INVSRCCOLOR: return 1.0f - sc;
        case D3DBLEND_SRCALPHA:
        case D3DBLEND_BOTHSRCALPHA: return src.a;
        case D3DBLEND_INVSRCALPHA: return 1.0f - src.a;
        case D3DBLEND_DESTALPHA: return dest.a;
        case D3DBLEND_INVDESTALPHA: return 1.0f - dest.a;
        case D3DBLEND_DESTCOLOR: return dc;
        case D3DBLEND_INVDESTCOLOR: return 1.0f - dc;
        case D3DBLEND_SRCALPHASAT: return channel == 3 ? 1.0f : std::min(src.a, 1.0f - dest.a);
        case D3DBLEND_BOTHINVSRCALPHA: return 1.0f - src.a;
        default: return 1.0f;  // ONE, and any unknown factor
    }
}

}  // namespace

std::uint32_t StencilOp(DWORD op, std::uint32_t value, std::uint32_t ref) {
    switch (op) {
        case D3DSTENCILOP_ZERO: return 0;
        case D3DSTENCILOP_REPLACE: return ref & 0xFF;
        case D3DSTENCILOP_INCRSAT: return value < 0xFF ? value + 1 : 0xFF;
        case D3DSTENCILOP_DECRSAT: return value > 0 ? value - 1 : 0;
        case D3DSTENCILOP_INVERT: return ~value & 0xFF;
        case D3DSTENCILOP_INCR: return (value + 1) & 0xFF;
        case D3DSTENCILOP_DECR: return (value - 1) & 0xFF;
        default: return value;  // KEEP, and any unknown operation
    }
}

Color4 BlendColors(DWORD srcBlend, DWORD destBlend, DWORD blendOp, const Color4& src, const Color4& dest) {
    // BOTHSRCALPHA and BOTHINVSRCALPHA set both factors from the source blend.
    if (srcBlend == D3DBLEND_BOTHSRCALPHA) destBlend = D3DBLEND_INVSRCALPHA;
    if (srcBlend == D3DBLEND_BOTHINVSRCALPHA) destBlend = D3DBLEND_SRCALPHA;
    Color4 r;
    for (int c = 0; c < 4; ++c) {
        const float s = (&src.r)[c] * BlendFactor(srcBlend, src, dest, c);
        const float d = (&dest.r)[c] * BlendFactor(destBlend, src, dest, c);
        float v;
        switch (blendOp) {
            case D3DBLENDOP_SUBTRACT: v = s - d; break;
            case D3DBLENDOP_REVSUBTRACT: v = d - s; break;
            case D3DBLENDOP_MIN: v = std::min((&src.r)[c], (&dest.r)[c]); break;
            case D3DBLENDOP_MAX: v = std::max((&src.r)[c], (&dest.r)[c]); break;
            default: v = s + d; break;
        }
        (&r.r)[c] = Sat(v);
    }
    return r;
}

SpanStart StartSpan(const PixelSetup& s, int y, int x0, const Interpolants& p) {
    SpanStart start;
    const float fx = static_cast<float>(x0) - p.ox, fy = static_cast<float>(y) - p.oy;
    for (int k = 0; k < p.count; ++k) start.base[k] = p.a[k] + p.adx[k] * fx + p.ady[k] * fy;
    start.rhw0 = p.rhw + p.drhwdx * fx + p.drhwdy * fy;
    start.z0 = p.z + p.dzdx * (static_cast<double>(x0) - p.ox) + p.dzdy * (static_cast<double>(y) - p.oy);
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(s.fb.pitch);
    start.color = s.fb.color + row;
    start.depthStencil = s.fb.depthStencil ? s.fb.depthStencil + row : nullptr;
    return start;
}

void ShadeSpan(const PixelSetup& s, int y, int x0, int x1, const Interpolants& p) {
    if (s.fastRows) {
        const Span span{y, x0, x1, 0};
        s.fastRows(s, &p, &span, 1);
        return;
    }
    const SpanStart start = StartSpan(s, y, x0, p);
    const float* base = start.base;
    const float rhw0 = start.rhw0;
    const double z0 = start.z0;
    std::uint32_t* color = start.color;
    std::uint32_t* ds = start.depthStencil;
    const bool testsFirst = ds && !s.alphaTest;
    const bool depthStencil = ds && (s.depthTest || s.stencil);

    PixelValues px{0.0f, base, p.adx, 0};
    for (int x = x0; x <= x1; ++x) {
        const int i = x - x0;
        const std::uint32_t z = depthStencil ? QuantizeDepth(z0 + p.dzdx * i, s.depthBias) : 0;
        if (testsFirst) {
            if (depthStencil && !DepthStencil(s, ds + x, z)) continue;
            if (!s.shade) continue;
        }
        px.i = i;
        px.w = 1.0f / (rhw0 + p.drhwdx * static_cast<float>(i));
        const Color4 c = ShadePixel(s, p, px);
        if (s.alphaTest) {
            if (!Compare(s.alphaFunc, UnitToByte(c.a), s.alphaRef)) continue;
            if (depthStencil && !DepthStencil(s, ds + x, z)) continue;
        }
        WriteColor(s, color + x, c);
    }
}

}  // namespace ms
