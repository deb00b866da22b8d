#include "platform/d3d8/texture.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/d3d8/states.h"

namespace ms {

HRESULT Texture::Create(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        Texture** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return D3DERR_INVALIDCALL;
    if (std::uint64_t{width} * height > kMaxTexels) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    UINT chain = 1;
    while ((width >> chain) > 0 || (height >> chain) > 0) ++chain;
    if (levels == 0) levels = chain;
    if (levels > chain) return D3DERR_INVALIDCALL;

    std::unique_ptr<Texture, TextureRelease> t(new (std::nothrow) Texture());
    if (!t) return E_OUTOFMEMORY;
    std::size_t total = 0;
    for (UINT i = 0; i < levels; ++i) total += std::size_t{std::max(1u, width >> i)} * std::max(1u, height >> i);
    t->storage_.reset(new (std::nothrow) std::uint32_t[total]());
    if (!t->storage_) return E_OUTOFMEMORY;
    t->format_ = format;
    t->usage_ = usage;
    t->pool_ = pool;
    t->levels_.resize(levels);
    std::uint32_t* at = t->storage_.get();
    for (UINT i = 0; i < levels; ++i) {
        TextureLevel& l = t->levels_[i];
        l.width = static_cast<int>(std::max(1u, width >> i));
        l.height = static_cast<int>(std::max(1u, height >> i));
        l.pixels = at;
        if ((l.width & (l.width - 1)) == 0) l.widthMask = l.width - 1;
        if ((l.height & (l.height - 1)) == 0) l.heightMask = l.height - 1;
        at += static_cast<std::size_t>(l.width) * l.height;
    }
    *texture = t.release();
    return D3D_OK;
}

ULONG Texture::AddRef() { return ++refs_; }

ULONG Texture::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= levels_.size()) return D3DERR_INVALIDCALL;
    const TextureLevel& l = levels_[level];
    *desc = {format_,
             D3DRTYPE_SURFACE,
             usage_,
             pool_,
             static_cast<UINT>(l.width * l.height * 4),
             0,
             static_cast<UINT>(l.width),
             static_cast<UINT>(l.height)};
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD /*flags*/) {
    if (!locked || level >= levels_.size()) return D3DERR_INVALIDCALL;
    TextureLevel& l = levels_[level];
    if (l.locked) return D3DERR_INVALIDCALL;
    int left = 0, top = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            rect->right > l.width || rect->bottom > l.height)
            return D3DERR_INVALIDCALL;
        left = rect->left;
        top = rect->top;
    }
    l.locked = true;
    locked->Pitch = l.width * 4;
    locked->pBits = l.pixels + static_cast<std::size_t>(top) * l.width + left;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= levels_.size() || !levels_[level].locked) return D3DERR_INVALIDCALL;
    TextureLevel& l = levels_[level];
    l.locked = false;
    // X8R8G8B8 has no alpha: it samples as opaque whatever was written into the X byte.
    if (format_ == D3DFMT_X8R8G8B8)
        for (std::size_t i = 0, n = static_cast<std::size_t>(l.width) * l.height; i < n; ++i)
            l.pixels[i] |= 0xFF000000u;
    return D3D_OK;
}

Texture* AsDeviceTexture(IDirect3DTexture8* texture) { return dynamic_cast<Texture*>(texture); }

Sampler MakeSampler(const Texture* texture, const DWORD* stageStates) {
    Sampler s;
    s.texture = texture;
    s.addressU = stageStates[D3DTSS_ADDRESSU];
    s.addressV = stageStates[D3DTSS_ADDRESSV];
    s.border = stageStates[D3DTSS_BORDERCOLOR];
    s.magFilter = stageStates[D3DTSS_MAGFILTER];
    s.minFilter = stageStates[D3DTSS_MINFILTER];
    s.mipFilter = stageStates[D3DTSS_MIPFILTER];
    s.lodBias = StateFloat(stageStates[D3DTSS_MIPMAPLODBIAS]);
    if (!std::isfinite(s.lodBias)) s.lodBias = 0.0f;
    const int levels = texture ? texture->levelCount() : 1;
    s.baseLevel = static_cast<int>(std::min<DWORD>(stageStates[D3DTSS_MAXMIPLEVEL], static_cast<DWORD>(levels - 1)));
    const bool linearMag = s.magFilter >= D3DTEXF_LINEAR, linearMin = s.minFilter >= D3DTEXF_LINEAR;
    s.needsLod = (s.mipFilter != D3DTEXF_NONE && s.baseLevel + 1 < levels) || linearMag != linearMin;
    return s;
}

namespace {

inline int Modulo(int i, int n) {
    const int m = i % n;
    return m < 0 ? m + n : m;
}

// Texel index for address mode `mode` along an axis of n texels; -1 selects the border colour.
inline int Address(int i, int n, DWORD mode) {
    if (i >= 0 && i < n) return i;
    switch (mode) {
        case D3DTADDRESS_MIRROR: {
            const int m = Modulo(i, 2 * n);
            return m < n ? m : 2 * n - 1 - m;
        }
        case D3DTADDRESS_CLAMP: return i < 0 ? 0 : n - 1;
        case D3DTADDRESS_BORDER: return -1;
        case D3DTADDRESS_MIRRORONCE: {
            const int m = i < 0 ? -i - 1 : i;
            return m < n ? m : n - 1;
        }
        default:  // WRAP, and any unknown mode
            return Modulo(i, n);
    }
}

inline D3DCOLOR Texel(const Sampler& s, const TextureLevel& l, int i, int j) {
    // Wrapping a power-of-two size is a mask.
    if (s.addressU == D3DTADDRESS_WRAP && l.widthMask >= 0 && s.addressV == D3DTADDRESS_WRAP && l.heightMask >= 0)
        return l.pixels[static_cast<std::size_t>(j & l.heightMask) * l.width + (i & l.widthMask)];
    i = Address(i, l.width, s.addressU);
    j = Address(j, l.height, s.addressV);
    if (i < 0 || j < 0) return s.border;
    return l.pixels[static_cast<std::size_t>(j) * l.width + i];
}

Color4 SamplePoint(const Sampler& s, const TextureLevel& l, float u, float v) {
    return ColorFromArgb(Texel(s, l, FloorToInt(u * l.width), FloorToInt(v * l.height)));
}

Color4 SampleLinear(const Sampler& s, const TextureLevel& l, float u, float v) {
    const float fu = u * l.width - 0.5f, fv = v * l.height - 0.5f;
    const int i = FloorToInt(fu), j = FloorToInt(fv);
    float a = fu - static_cast<float>(i), b = fv - static_cast<float>(j);
    if (!(a >= 0.0f && a <= 1.0f)) a = 0.0f;
    if (!(b >= 0.0f && b <= 1.0f)) b = 0.0f;
    const Color4 c00 = ColorFromArgb(Texel(s, l, i, j)), c10 = ColorFromArgb(Texel(s, l, i + 1, j));
    const Color4 c01 = ColorFromArgb(Texel(s, l, i, j + 1)), c11 = ColorFromArgb(Texel(s, l, i + 1, j + 1));
    auto mix = [a, b](float p00, float p10, float p01, float p11) {
        const float top = p00 + (p10 - p00) * a, bottom = p01 + (p11 - p01) * a;
        return top + (bottom - top) * b;
    };
    return {mix(c00.r, c10.r, c01.r, c11.r), mix(c00.g, c10.g, c01.g, c11.g), mix(c00.b, c10.b, c01.b, c11.b),
            mix(c00.a, c10.a, c01.a, c11.a)};
}

Color4 SampleLevel(const Sampler& s, int level, DWORD filter, float u, float v) {
    const TextureLevel& l = s.texture->level(level);
    return filter >= D3DTEXF_LINEAR ? SampleLinear(s, l, u, v) : SamplePoint(s, l, u, v);
}

Color4 Mix(const Color4& x, const Color4& y, float t) {
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

}  // namespace

Color4 Sample(const Sampler& s, float u, float v, float lod) {
    if (!s.needsLod) return SampleLevel(s, s.baseLevel, s.magFilter, u, v);
    lod += s.lodBias;
    if (!(lod > 0.0f)) return SampleLevel(s, s.baseLevel, s.magFilter, u, v);  // magnified (or NaN)
    const int last = s.texture->levelCount() - 1;
    if (s.mipFilter == D3DTEXF_NONE) return SampleLevel(s, s.baseLevel, s.minFilter, u, v);
    // Levels finer than the base level (MAXMIPLEVEL) are never used.
    if (s.mipFilter == D3DTEXF_POINT) {
        const int level = std::clamp(FloorToInt(lod + 0.5f), s.baseLevel, last);
        return SampleLevel(s, level, s.minFilter, u, v);
    }
    const int whole = FloorToInt(lod);
    const int below = std::clamp(whole, s.baseLevel, last);
    const Color4 c0 = SampleLevel(s, below, s.minFilter, u, v);
    if (below != whole || below == last) return c0;
    const float t = lod - static_cast<float>(whole);
    return Mix(c0, SampleLevel(s, below + 1, s.minFilter, u, v), t);
}

}  // namespace ms
