#include "platform/d3d8/fast_span.h"

#include <bit>
#include <cstring>

#include "platform/d3d8/d3d8states.h"

// Pixels several at a time, one pixel per lane of the compiler's vector types: 8 lanes where the
// processor has AVX2 (chosen when the loop is chosen), else 4 (SSE2 on x86-64; plain loops on
// targets without vectors). Every lane does the operations of ShadePixel and WriteColor on the
// same floats in the same order, so the pixels are exactly those of the general loop.
namespace ms {
namespace {

#define MS_LANES __attribute__((always_inline)) inline

template <int N>
struct Vec;
template <>
struct Vec<4> {
    using F = float __attribute__((vector_size(16)));
    using I = std::int32_t __attribute__((vector_size(16)));
    using U = std::uint32_t __attribute__((vector_size(16)));
    using D = double __attribute__((vector_size(32)));
    using I2 = std::int32_t __attribute__((vector_size(16)));  // the integers of D
};
template <>
struct Vec<8> {
    using F = float __attribute__((vector_size(32)));
    using I = std::int32_t __attribute__((vector_size(32)));
    using U = std::uint32_t __attribute__((vector_size(32)));
    using D = double __attribute__((vector_size(64)));
    using I2 = std::int32_t __attribute__((vector_size(32)));
};

template <int N>
using VF = typename Vec<N>::F;
template <int N>
using VI = typename Vec<N>::I;
template <int N>
using VU = typename Vec<N>::U;

template <typename V, typename T>
MS_LANES V Splat(T v) {
    constexpr std::size_t n = sizeof(V) / sizeof(T);
    static_assert(n == 2 || n == 4 || n == 8);
    // From lane 0, so that the compiler broadcasts in one instruction (the list of n copies
    // becomes a chain of inserts).
    V first = {};
    first[0] = v;
    if constexpr (n == 2) return __builtin_shufflevector(first, first, 0, 0);
    if constexpr (n == 4) return __builtin_shufflevector(first, first, 0, 0, 0, 0);
    if constexpr (n == 8) return __builtin_shufflevector(first, first, 0, 0, 0, 0, 0, 0, 0, 0);
}

// Lanes of a where the mask is set (all ones), else of b.
template <int N>
MS_LANES VF<N> Select(VI<N> mask, VF<N> a, VF<N> b) {
    return std::bit_cast<VF<N>>((std::bit_cast<VI<N>>(a) & mask) | (std::bit_cast<VI<N>>(b) & ~mask));
}
template <int N>
MS_LANES VU<N> SelectU(VI<N> mask, VU<N> a, VU<N> b) {
    const VU<N> m = std::bit_cast<VU<N>>(mask);
    return (a & m) | (b & ~m);
}
template <int N>
MS_LANES VI<N> SelectI(VI<N> mask, VI<N> a, VI<N> b) {
    return (a & mask) | (b & ~mask);
}

template <int N>
MS_LANES bool Any(VI<N> m) {
    using Half = Vec<4>::I;
    Half h = {};
    for (int k = 0; k < N / 4; ++k) {
        Half part;
        std::memcpy(&part, reinterpret_cast<const char*>(&m) + 16 * k, 16);
        h |= part;
    }
#ifdef __SSE2__
    return __builtin_ia32_movmskps(std::bit_cast<Vec<4>::F>(h)) != 0;
#else
    return (h[0] | h[1] | h[2] | h[3]) != 0;
#endif
}

// v > 0 ? (v < 1 ? v : 1) : 0, NaN to 0: the clamp of Sat and UnitToByte. In this order the
// two selections are the processor's max and min, which give the same for NaN and -0.
template <int N>
MS_LANES VF<N> Sat(VF<N> v) {
    const VF<N> zero = Splat<VF<N>>(0.0f), one = Splat<VF<N>>(1.0f);
    const VF<N> t = v > zero ? v : zero;
    return t < one ? t : one;
}

template <int N>
MS_LANES VU<N> UnitToByte(VF<N> v) {
    const VF<N> scaled = Sat<N>(v) * Splat<VF<N>>(255.0f) + Splat<VF<N>>(0.5f);
    return std::bit_cast<VU<N>>(__builtin_convertvector(scaled, VI<N>));
}

// FloorToInt of each lane: clamped to +-1e9, NaN to -1e9.
template <int N>
MS_LANES VI<N> FloorToInt(VF<N> f) {
    const VF<N> lo = Splat<VF<N>>(-1.0e9f), hi = Splat<VF<N>>(1.0e9f);
    f = f > lo ? f : lo;
    f = hi < f ? hi : f;
    const VI<N> i = __builtin_convertvector(f, VI<N>);
    return i + (f < __builtin_convertvector(i, VF<N>));  // a true comparison is -1
}

template <int N>
struct Colors {
    VF<N> r, g, b, a;
};

template <int N>
MS_LANES Colors<N> SplatColor(const Color4& c) {
    return {Splat<VF<N>>(c.r), Splat<VF<N>>(c.g), Splat<VF<N>>(c.b), Splat<VF<N>>(c.a)};
}

// Texel colours; alpha stays 0 unless kAlpha (when nothing reads it).
template <int N, bool kAlpha>
MS_LANES Colors<N> FromArgb(VU<N> t) {
    const VF<N> k = Splat<VF<N>>(1.0f / 255.0f);
    const VU<N> m = Splat<VU<N>>(0xFFu);
    Colors<N> c = {__builtin_convertvector(std::bit_cast<VI<N>>((t >> 16) & m), VF<N>) * k,
                   __builtin_convertvector(std::bit_cast<VI<N>>((t >> 8) & m), VF<N>) * k,
                   __builtin_convertvector(std::bit_cast<VI<N>>(t & m), VF<N>) * k, Splat<VF<N>>(0.0f)};
    if constexpr (kAlpha) c.a = __builtin_convertvector(std::bit_cast<VI<N>>(t >> 24), VF<N>) * k;
    return c;
}

// ---- Texture sampling of a stage without mip levels ----

struct TextureView {
    const std::uint32_t* pixels;
    int width, height;
    int widthMask, heightMask;
    DWORD addressU, addressV;
    int widthShift;  // log2 of a power-of-two width, else -1
};

MS_LANES int Modulo(int i, int n) {
    const int m = i % n;
    return m < 0 ? m + n : m;
}

// The texel index along an axis of n texels (WRAP, MIRROR, CLAMP; the fast path has no border).
MS_LANES int AddressOne(int i, int n, DWORD mode) {
    if (i >= 0 && i < n) return i;
    if (mode == D3DTADDRESS_CLAMP) return i < 0 ? 0 : n - 1;
    if (mode == D3DTADDRESS_MIRROR) {
        const int m = Modulo(i, 2 * n);
        return m < n ? m : 2 * n - 1 - m;
    }
    return Modulo(i, n);
}

template <int N>
MS_LANES VI<N> Address(VI<N> i, int n, int mask, DWORD mode) {
    if (mode == D3DTADDRESS_WRAP && mask >= 0) return i & Splat<VI<N>>(mask);
    if (mode == D3DTADDRESS_CLAMP) {
        const VI<N> zero = Splat<VI<N>>(0), last = Splat<VI<N>>(n - 1);
        i = SelectI<N>(i < zero, zero, i);
        return SelectI<N>(i > last, last, i);
    }
    for (int l = 0; l < N; ++l) i[l] = AddressOne(i[l], n, mode);
    return i;
}

// Texels at in-range indices; a texture has fewer than 2^31 texels.
template <int N>
MS_LANES VU<N> Fetch(const TextureView& t, VI<N> i, VI<N> j) {
    const VI<N> index = t.widthShift >= 0 ? (j << t.widthShift) + i : j * Splat<VI<N>>(t.width) + i;
    VU<N> out;
    for (int l = 0; l < N; ++l) out[l] = t.pixels[index[l]];
    return out;
}

template <int N, bool kAlpha>
MS_LANES Colors<N> SamplePoint(const TextureView& t, VF<N> u, VF<N> v) {
    const VI<N> i = FloorToInt<N>(u * Splat<VF<N>>(static_cast<float>(t.width)));
    const VI<N> j = FloorToInt<N>(v * Splat<VF<N>>(static_cast<float>(t.height)));
    return FromArgb<N, kAlpha>(Fetch<N>(t, Address<N>(i, t.width, t.widthMask, t.addressU),
                                        Address<N>(j, t.height, t.heightMask, t.addressV)));
}

template <int N>
MS_LANES VF<N> Mix(VF<N> p00, VF<N> p10, VF<N> p01, VF<N> p11, VF<N> a, VF<N> b) {
    const VF<N> top = p00 + (p10 - p00) * a, bottom = p01 + (p11 - p01) * a;
    return top + (bottom - top) * b;
}

template <int N, bool kAlpha>
MS_LANES Colors<N> SampleLinear(const TextureView& t, VF<N> u, VF<N> v) {
    const VF<N> half = Splat<VF<N>>(0.5f), zero = Splat<VF<N>>(0.0f), one = Splat<VF<N>>(1.0f);
    const VF<N> fu = u * Splat<VF<N>>(static_cast<float>(t.width)) - half;
    const VF<N> fv = v * Splat<VF<N>>(static_cast<float>(t.height)) - half;
    const VI<N> i = FloorToInt<N>(fu), j = FloorToInt<N>(fv);
    VF<N> a = fu - __builtin_convertvector(i, VF<N>), b = fv - __builtin_convertvector(j, VF<N>);
    a = Select<N>((a >= zero) & (a <= one), a, zero);
    b = Select<N>((b >= zero) & (b <= one), b, zero);
    const VI<N> next = Splat<VI<N>>(1);
    const VI<N> i0 = Address<N>(i, t.width, t.widthMask, t.addressU);
    const VI<N> i1 = Address<N>(i + next, t.width, t.widthMask, t.addressU);
    const VI<N> j0 = Address<N>(j, t.height, t.heightMask, t.addressV);
    const VI<N> j1 = Address<N>(j + next, t.height, t.heightMask, t.addressV);
    const Colors<N> c00 = FromArgb<N, kAlpha>(Fetch<N>(t, i0, j0)), c10 = FromArgb<N, kAlpha>(Fetch<N>(t, i1, j0));
    const Colors<N> c01 = FromArgb<N, kAlpha>(Fetch<N>(t, i0, j1)), c11 = FromArgb<N, kAlpha>(Fetch<N>(t, i1, j1));
    Colors<N> c = {Mix<N>(c00.r, c10.r, c01.r, c11.r, a, b), Mix<N>(c00.g, c10.g, c01.g, c11.g, a, b),
                   Mix<N>(c00.b, c10.b, c01.b, c11.b, a, b), Splat<VF<N>>(0.0f)};
    if constexpr (kAlpha) c.a = Mix<N>(c00.a, c10.a, c01.a, c11.a, a, b);
    return c;
}

// ---- The stage ----

enum class Filter { kNone, kPoint, kLinear };

template <int N>
MS_LANES VF<N> Operate(DWORD op, VF<N> a1, VF<N> a2) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return a1 * a2;
        default: return a1 + a2;  // ADD
    }
}

// ---- Tests and writes of N pixels ----

// N pixels taken from the spans in order: row y, span start x0, index i in the span, the
// primitive's planes and the offset of the pixel in the buffers. Lanes past `count` repeat lane 0.
// No two lanes hold the same pixel, so that the lanes together do what one after the other would.
template <int N>
struct Lanes {
    VI<N> y, x0, i;
    int offset[N];
    int plane[N];
    int count;
    bool contiguous;  // the N offsets follow each other
    bool shared;      // all lanes belong to one primitive
};

template <int N>
MS_LANES VU<N> Load(const std::uint32_t* buffer, const Lanes<N>& q) {
    VU<N> v;
    if (q.contiguous) {
        std::memcpy(&v, buffer + q.offset[0], sizeof v);
    } else {
        for (int l = 0; l < N; ++l) v[l] = buffer[q.offset[l]];
    }
    return v;
}
// Writes the lanes in use.
template <int N>
MS_LANES void Store(std::uint32_t* buffer, const Lanes<N>& q, VU<N> v) {
    if (q.contiguous) {
        std::memcpy(buffer + q.offset[0], &v, sizeof v);
        return;
    }
    for (int l = 0; l < q.count; ++l) buffer[q.offset[l]] = v[l];
}

// Compare of each lane (D3DCMP_*; unknown: always); values below 2^31.
template <int N>
MS_LANES VI<N> Passes(DWORD func, VU<N> value, VU<N> stored) {
    const VI<N> v = std::bit_cast<VI<N>>(value), s = std::bit_cast<VI<N>>(stored);
    switch (func) {
        case 1: return Splat<VI<N>>(0);
        case 2: return v < s;
        case 3: return v == s;
        case 4: return v <= s;
        case 5: return v > s;
        case 6: return v != s;
        case 7: return v >= s;
        default: return Splat<VI<N>>(-1);
    }
}

// The planes of the lanes' primitives, one value per lane.
template <int N>
struct Planes {
    VF<N> a[kMaxAttributes], dx[kMaxAttributes], dy[kMaxAttributes];
    VF<N> rhw, drhwdx, drhwdy, ox, oy;
    typename Vec<N>::D z, dzdx, dzdy, zox, zoy;  // depth, in double
};

// The attributes a loop reads, by index.
struct UsedAttributes {
    int count = 0;
    int k[kMaxAttributes];
    void Add(int first, int n) {
        for (int i = 0; i < n; ++i) k[count++] = first + i;
    }
};

// The planes of p in all lanes.
template <int N>
MS_LANES void SplatPlanes(const Interpolants& p, const UsedAttributes& used, Planes<N>* pl) {
    using F = VF<N>;
    using D = typename Vec<N>::D;
    for (int u = 0; u < used.count; ++u) {
        const int k = used.k[u];
        pl->a[k] = Splat<F>(p.a[k]);
        pl->dx[k] = Splat<F>(p.adx[k]);
        pl->dy[k] = Splat<F>(p.ady[k]);
    }
    pl->rhw = Splat<F>(p.rhw);
    pl->drhwdx = Splat<F>(p.drhwdx);
    pl->drhwdy = Splat<F>(p.drhwdy);
    pl->ox = Splat<F>(p.ox);
    pl->oy = Splat<F>(p.oy);
    pl->z = Splat<D>(p.z);
    pl->dzdx = Splat<D>(p.dzdx);
    pl->dzdy = Splat<D>(p.dzdy);
    pl->zox = Splat<D>(static_cast<double>(p.ox));
    pl->zoy = Splat<D>(static_cast<double>(p.oy));
}

// Lanes of several primitives: each lane's values from its own planes.
template <int N>
MS_LANES void GatherPlanes(const Interpolants* planes, const Lanes<N>& q, const UsedAttributes& used, Planes<N>* pl) {
    const Interpolants* p[N];
    for (int l = 0; l < N; ++l) p[l] = &planes[q.plane[l]];
    for (int u = 0; u < used.count; ++u) {
        const int k = used.k[u];
        for (int l = 0; l < N; ++l) {
            pl->a[k][l] = p[l]->a[k];
            pl->dx[k][l] = p[l]->adx[k];
            pl->dy[k][l] = p[l]->ady[k];
        }
    }
    for (int l = 0; l < N; ++l) {
        pl->rhw[l] = p[l]->rhw;
        pl->drhwdx[l] = p[l]->drhwdx;
        pl->drhwdy[l] = p[l]->drhwdy;
        pl->ox[l] = p[l]->ox;
        pl->oy[l] = p[l]->oy;
        pl->z[l] = p[l]->z;
        pl->dzdx[l] = p[l]->dzdx;
        pl->dzdy[l] = p[l]->dzdy;
        pl->zox[l] = p[l]->ox;
        pl->zoy[l] = p[l]->oy;
    }
}

// Where the lanes are: the offsets from the span start, as StartSpan computes them.
template <int N>
struct Position {
    VF<N> fx, fy, fi, w;
};

// Attribute k of each lane: the plane at the span start, then along the span, over the rhw.
template <int N>
MS_LANES VF<N> Attribute(const Planes<N>& pl, const Position<N>& at, int k) {
    return ((pl.a[k] + pl.dx[k] * at.fx + pl.dy[k] * at.fy) + pl.dx[k] * at.fi) * at.w;
}

// Whether pixel `offset` is in one of the lanes so far.
template <int N>
MS_LANES bool Taken(const Lanes<N>& q, int offset) {
    for (int l = 0; l < q.count; ++l)
        if (q.offset[l] == offset) return true;
    return false;
}

// Takes the next N pixels of the spans from spans[*span], pixel *next on; fewer when a pixel of
// another primitive is one the lanes already hold.
template <int N>
MS_LANES void NextLanes(const Span* spans, int spanCount, int pitch, int* span, int* next, Lanes<N>* q) {
    q->count = 0;
    q->shared = true;
    while (q->count < N && *span < spanCount) {
        const Span& sp = spans[*span];
        const bool other = q->count > 0 && sp.plane != q->plane[0];
        const int left = sp.x1 - sp.x0 + 1 - *next;
        int take = left < N - q->count ? left : N - q->count;
        const int row = sp.y * pitch + sp.x0;
        if (other) {
            q->shared = false;
            for (int t = 0; t < take; ++t)
                if (Taken<N>(*q, row + *next + t)) take = t;
        }
        for (int t = 0; t < take; ++t, ++q->count) {
            q->y[q->count] = sp.y;
            q->x0[q->count] = sp.x0;
            q->i[q->count] = *next + t;
            q->offset[q->count] = row + *next + t;
            q->plane[q->count] = sp.plane;
        }
        *next += take;
        if (*next == sp.x1 - sp.x0 + 1) ++*span, *next = 0;
        if (take < left && q->count < N) break;  // the pixel that is held already starts the next group
    }
    for (int l = q->count; l < N; ++l) {
        q->y[l] = q->y[0];
        q->x0[l] = q->x0[0];
        q->i[l] = q->i[0];
        q->offset[l] = q->offset[0];
        q->plane[l] = q->plane[0];
    }
    // One primitive's pixels come in increasing offsets: then the ends tell.
    q->contiguous = q->shared && q->count == N && q->offset[N - 1] - q->offset[0] == N - 1;
}

// Pixels of one span from lane 0 on, at consecutive offsets. Loads take whole vectors while the
// N pixels stay in the row (this thread's: the lanes past the span read pixels that nothing else
// writes meanwhile), else lane by lane. Stores write the lanes in use only, so that the loads of
// the next spans, often the next pixels of the row, do not wait for a store that overlaps them.
template <int N>
struct Run {
    int offset, count;
    bool whole;  // N pixels from offset are in the row
};

template <int N>
MS_LANES VU<N> Load(const std::uint32_t* buffer, const Run<N>& r) {
    VU<N> v = Splat<VU<N>>(0u);
    if (r.whole) {
        std::memcpy(&v, buffer + r.offset, sizeof v);
    } else {
        for (int l = 0; l < r.count; ++l) v[l] = buffer[r.offset + l];
    }
    return v;
}
template <int N>
MS_LANES void Store(std::uint32_t* buffer, const Run<N>& r, VU<N> v) {
    if (r.count == N) {
        std::memcpy(buffer + r.offset, &v, sizeof v);
        return;
    }
    // The lanes in use in pieces of 4, 2 and 1.
    const char* lanes = reinterpret_cast<const char*>(&v);
    char* to = reinterpret_cast<char*>(buffer + r.offset);
    int l = 0;
    for (int piece = N / 2; piece > 0; piece /= 2) {
        if (!(r.count & piece)) continue;
        std::memcpy(to + 4 * l, lanes + 4 * l, 4 * static_cast<std::size_t>(piece));
        l += piece;
    }
}

// What the loop computes of a pixel's colour. kAlpha: something reads the alpha of the pixels
// (the target keeps it, the alpha test, blending); otherwise no alpha is computed, as the written
// alpha byte is 0xFF whatever it would be. kModulate: no alpha, and the stage is the texture
// times the diffuse colour (the set-up of textured meshes), computed without choosing registers.
enum class Colour { kOpaque, kAlpha, kModulate };

// The loop of one set-up.
template <int N, Filter kFilter, bool kSpecular, Colour kColour>
class Shader {
    using F = VF<N>;
    using U = VU<N>;
    using I = VI<N>;
    static constexpr bool kAlpha = kColour == Colour::kAlpha;

public:
    MS_LANES explicit Shader(const PixelSetup& s) : s_(s) {
        const StageSetup& st = s.stages[0];
        if (const TextureLevel* l = st.level) {
            tex_ = {l->pixels, l->width, l->height, l->widthMask, l->heightMask, st.sampler.addressU,
                    st.sampler.addressV, l->widthMask >= 0 ? __builtin_ctz(static_cast<unsigned>(l->width)) : -1};
        }
        staged_ = s.stageCount > 0;
        specular_ = s.specularAttr >= 0 && (kSpecular || staged_);
        forceAlpha_ = Splat<U>(s.fb.destAlpha ? 0u : 0xFF000000u);
        writeMask_ = Splat<U>(s.writeMask);
        for (int l = 0; l < N; ++l) iota_[l] = l;
        ds_ = s.depthTest ? s.fb.depthStencil : nullptr;
        lateDepthWrite_ = ds_ && s.depthWrite && s.alphaTest;
        used_.Add(0, kAlpha ? 4 : 3);
        if (specular_) used_.Add(s.specularAttr, kAlpha ? 4 : 3);
        if (staged_ && kFilter != Filter::kNone) used_.Add(st.coordAttr, 2);
    }

    // Spans of any length, in order: long ones a span at a time, runs of short ones packed.
    MS_LANES void Rows(const Interpolants* planes, const Span* spans, int count) {
        int first = 0;  // of the run of short spans so far
        for (int k = 0; k < count; ++k) {
            if (k + kAhead < count) Prefetch(spans[k + kAhead]);
            const Span& sp = spans[k];
            if (sp.x1 - sp.x0 + 1 < kLongSpan) continue;
            if (first < k) Packed(planes, spans + first, k - first);
            Along(planes[sp.plane], sp);
            first = k + 1;
        }
        if (first < count) Packed(planes, spans + first, count - first);
    }

private:
    // The rows of the buffers are rarely in the cache when a span comes to them: the lines of
    // the span kAhead spans on are fetched meanwhile.
    static constexpr int kAhead = 16;
    MS_LANES void Prefetch(const Span& sp) const {
        const std::size_t first = static_cast<std::size_t>(sp.y) * static_cast<std::size_t>(s_.fb.pitch) +
                                  static_cast<std::size_t>(sp.x0);
        const std::size_t last = first + static_cast<std::size_t>(sp.x1 - sp.x0);
        for (std::size_t at : {first, last}) {
            __builtin_prefetch(s_.fb.color + at, 1);
            if (ds_) __builtin_prefetch(ds_ + at, 1);
        }
    }

    // Spans at least this long are shaded N pixels at a time along the span; shorter ones share
    // their vectors with the next spans.
    static constexpr int kLongSpan = N;

    // One span from its start, N pixels at a time: the planes at the span start once, by
    // StartSpan as the general loop takes them, then along the span.
    MS_LANES void Along(const Interpolants& p, const Span& sp) {
        const SpanStart start = StartSpan(s_, sp.y, sp.x0, p);
        const float* const base = start.base;
        const F rhw0 = Splat<F>(start.rhw0), drhwdx = Splat<F>(p.drhwdx);
        using D = typename Vec<N>::D;
        const D z0 = Splat<D>(start.z0), dzdx = Splat<D>(p.dzdx);
        const int length = sp.x1 - sp.x0 + 1;
        const int row = sp.y * s_.fb.pitch + sp.x0, rowEnd = (sp.y + 1) * s_.fb.pitch;
        for (int i = 0; i < length; i += N) {
            const I index = Splat<I>(i) + iota_;
            const Run<N> run{row + i, length - i < N ? length - i : N, row + i + N <= rowEnd};
            const F fi = __builtin_convertvector(index, F);
            const U z = ds_ ? Quantize(z0 + dzdx * __builtin_convertvector(index, D)) : Splat<U>(0u);
            Pixels(run, iota_ < Splat<I>(run.count), z, [&] {
                const F w = Splat<F>(1.0f) / (rhw0 + drhwdx * fi);
                return [&, w](int k) { return (Splat<F>(base[k]) + Splat<F>(p.adx[k]) * fi) * w; };
            });
        }
    }

    // Spans of several primitives, N pixels at a time across them.
    MS_LANES void Packed(const Interpolants* planes, const Span* spans, int spanCount) {
        Planes<N> one, mixed;  // the planes of one primitive in all lanes; of several
        int oneOf = -1;
        int span = 0, next = 0;
        while (span < spanCount) {
            Lanes<N> q;
            NextLanes<N>(spans, spanCount, s_.fb.pitch, &span, &next, &q);
            if (q.shared && q.plane[0] != oneOf) {
                oneOf = q.plane[0];
                SplatPlanes<N>(planes[oneOf], used_, &one);
            } else if (!q.shared) {
                GatherPlanes<N>(planes, q, used_, &mixed);
            }
            const Planes<N>& pl = q.shared ? one : mixed;
            const U z = ds_ ? LaneDepths(pl, q) : Splat<U>(0u);
            Pixels(q, iota_ < Splat<I>(q.count), z, [&] {
                // As StartSpan and the general loop: the planes at the span start, then along the span.
                Position<N> at;
                at.fx = __builtin_convertvector(q.x0, F) - pl.ox;
                at.fy = __builtin_convertvector(q.y, F) - pl.oy;
                at.fi = __builtin_convertvector(q.i, F);
                at.w = Splat<F>(1.0f) / ((pl.rhw + pl.drhwdx * at.fx + pl.drhwdy * at.fy) + pl.drhwdx * at.fi);
                return [&pl, at](int k) { return Attribute<N>(pl, at, k); };
            });
        }
    }

    // QuantizeDepth of each lane's depth.
    MS_LANES U Quantize(typename Vec<N>::D z) const {
        using D = typename Vec<N>::D;
        const D zero = Splat<D>(0.0), one = Splat<D>(1.0);
        const D positive = z > zero ? z : zero;  // NaN to 0
        const D clamped = positive < one ? positive : one;
        I q24 = __builtin_convertvector(clamped * Splat<D>(16777215.0) + Splat<D>(0.5), I) - Splat<I>(s_.depthBias);
        q24 = SelectI<N>(q24 < Splat<I>(0), Splat<I>(0), q24);
        q24 = SelectI<N>(q24 > Splat<I>(0xFFFFFF), Splat<I>(0xFFFFFF), q24);
        return std::bit_cast<U>(q24);
    }

    MS_LANES U LaneDepths(const Planes<N>& pl, const Lanes<N>& q) const {
        using D = typename Vec<N>::D;
        const D x0 = __builtin_convertvector(q.x0, D), y = __builtin_convertvector(q.y, D);
        const D z0 = pl.z + pl.dzdx * (x0 - pl.zox) + pl.dzdy * (y - pl.zoy);
        return Quantize(z0 + pl.dzdx * __builtin_convertvector(q.i, D));
    }

    // The tests and writes of the live lanes at `where` (Lanes or Run), depth z; `attributes()`
    // gives the function of the lanes' attributes, called only when some lane passes the depth test.
    template <typename Where, typename Attributes>
    MS_LANES void Pixels(const Where& where, I live, U z, Attributes&& attributes) {
        // Depth first; with an alpha test the depth is written once the test has passed.
        U oldDs = Splat<U>(0u);
        const U low8 = Splat<U>(0xFFu);
        if (ds_) {
            oldDs = Load<N>(ds_, where);
            live &= Passes<N>(s_.depthFunc, z, oldDs >> 8);
            if (s_.depthWrite && !s_.alphaTest && Any<N>(live))
                Store<N>(ds_, where, SelectU<N>(live, (z << 8) | (oldDs & low8), oldDs));
        }
        if (!Any<N>(live)) return;
        const Colors<N> c = Shade(attributes());
        const U alpha = kAlpha ? UnitToByte<N>(c.a) : Splat<U>(0u);
        if (s_.alphaTest) {
            live &= Passes<N>(s_.alphaFunc, alpha, Splat<U>(s_.alphaRef));
            if (!Any<N>(live)) return;
            if (lateDepthWrite_) Store<N>(ds_, where, SelectU<N>(live, (z << 8) | (oldDs & low8), oldDs));
        }
        std::uint32_t* const color = s_.fb.color;
        const U old = Load<N>(color, where);
        U out = s_.blend ? BlendLanes(c, old, live)
                         : (alpha << 24) | (UnitToByte<N>(c.r) << 16) | (UnitToByte<N>(c.g) << 8) | UnitToByte<N>(c.b);
        out = ((out | forceAlpha_) & writeMask_) | (old & ~writeMask_);
        Store<N>(color, where, SelectU<N>(live, out, old));
    }

    // The colour of the lanes from their attributes (attr(k): attribute k of each lane).
    template <typename Attr>
    MS_LANES Colors<N> Shade(Attr&& attr) const {
        const StageSetup& st = s_.stages[0];
        const int specularAt = s_.specularAttr;
        if constexpr (kColour == Colour::kModulate) {
            const F u = attr(st.coordAttr), v = attr(st.coordAttr + 1);
            const Colors<N> t =
                kFilter == Filter::kLinear ? SampleLinear<N, false>(tex_, u, v) : SamplePoint<N, false>(tex_, u, v);
            Colors<N> c = {Sat<N>(t.r * attr(0)), Sat<N>(t.g * attr(1)), Sat<N>(t.b * attr(2)), Splat<F>(0.0f)};
            if constexpr (kSpecular) {
                c.r = Sat<N>(c.r + attr(specularAt));
                c.g = Sat<N>(c.g + attr(specularAt + 1));
                c.b = Sat<N>(c.b + attr(specularAt + 2));
            }
            return c;
        }
        // The registers a stage reads, by D3DTA_* selector: DIFFUSE, CURRENT, TEXTURE, TFACTOR, SPECULAR.
        Colors<N> reg[5];
        const F noAlpha = Splat<F>(0.0f);
        reg[D3DTA_DIFFUSE] = {attr(0), attr(1), attr(2), kAlpha ? attr(3) : noAlpha};
        if (specular_) {
            reg[D3DTA_SPECULAR] = {attr(specularAt), attr(specularAt + 1), attr(specularAt + 2),
                                   kAlpha ? attr(specularAt + 3) : noAlpha};
        } else {
            reg[D3DTA_SPECULAR] = SplatColor<N>(Color4{0, 0, 0, 0});
        }
        Colors<N> c = reg[D3DTA_DIFFUSE];
        if (staged_) {
            reg[D3DTA_CURRENT] = reg[D3DTA_DIFFUSE];
            if constexpr (kFilter == Filter::kPoint) {
                reg[D3DTA_TEXTURE] = SamplePoint<N, kAlpha>(tex_, attr(st.coordAttr), attr(st.coordAttr + 1));
            } else if constexpr (kFilter == Filter::kLinear) {
                reg[D3DTA_TEXTURE] = SampleLinear<N, kAlpha>(tex_, attr(st.coordAttr), attr(st.coordAttr + 1));
            } else {
                reg[D3DTA_TEXTURE] = SplatColor<N>(Color4{0, 0, 0, 1});
            }
            reg[D3DTA_TFACTOR] = SplatColor<N>(s_.textureFactor);
            const Colors<N>&c1 = reg[st.colorArg[1]], &c2 = reg[st.colorArg[2]];
            c.r = Sat<N>(Operate<N>(st.colorOp, c1.r, c2.r));
            c.g = Sat<N>(Operate<N>(st.colorOp, c1.g, c2.g));
            c.b = Sat<N>(Operate<N>(st.colorOp, c1.b, c2.b));
            if constexpr (kAlpha) {
                c.a = st.alphaOp == D3DTOP_DISABLE
                          ? Sat<N>(reg[D3DTA_CURRENT].a)
                          : Sat<N>(Operate<N>(st.alphaOp, reg[st.alphaArg[1]].a, reg[st.alphaArg[2]].a));
            }
        }
        if constexpr (kSpecular) {
            c.r = Sat<N>(c.r + reg[D3DTA_SPECULAR].r);
            c.g = Sat<N>(c.g + reg[D3DTA_SPECULAR].g);
            c.b = Sat<N>(c.b + reg[D3DTA_SPECULAR].b);
        }
        return c;
    }

    // The blend of each live lane with the colour under it, as WriteColor blends.
    MS_LANES U BlendLanes(const Colors<N>& c, U old, I live) const {
        U out = old;
        for (int l = 0; l < N; ++l) {
            if (!live[l]) continue;
            out[l] = BlendPixel(s_, Color4{c.r[l], c.g[l], c.b[l], c.a[l]}, old[l]);
        }
        return out;
    }

    const PixelSetup& s_;
    TextureView tex_{};
    bool staged_ = false, specular_ = false, lateDepthWrite_ = false;
    U forceAlpha_, writeMask_;
    I iota_;
    std::uint32_t* ds_ = nullptr;
    UsedAttributes used_;
};

template <int N, Filter kFilter, bool kSpecular, Colour kColour>
MS_LANES void FastRowsOf(const PixelSetup& s, const Interpolants* planes, const Span* spans, int count) {
    Shader<N, kFilter, kSpecular, kColour>(s).Rows(planes, spans, count);
}

template <Filter kFilter, bool kSpecular, Colour kColour>
void FastRows4(const PixelSetup& s, const Interpolants* planes, const Span* spans, int count) {
    FastRowsOf<4, kFilter, kSpecular, kColour>(s, planes, spans, count);
}

#if defined(__x86_64__) || defined(__i386__)
#define MS_HAVE_AVX2_LOOPS 1
template <Filter kFilter, bool kSpecular, Colour kColour>
__attribute__((target("avx2"))) void FastRows8(const PixelSetup& s, const Interpolants* planes, const Span* spans,
                                               int count) {
    FastRowsOf<8, kFilter, kSpecular, kColour>(s, planes, spans, count);
}
#endif

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

template <Filter kFilter, bool kSpecular, Colour kColour>
RowsFunction Loop(bool wide) {
#ifdef MS_HAVE_AVX2_LOOPS
    if (wide && __builtin_cpu_supports("avx2")) return &FastRows8<kFilter, kSpecular, kColour>;
#endif
    return &FastRows4<kFilter, kSpecular, kColour>;
}

template <Filter kFilter, Colour kColour>
RowsFunction WithSpecular(bool specular, bool wide) {
    return specular ? Loop<kFilter, true, kColour>(wide) : Loop<kFilter, false, kColour>(wide);
}

template <Filter kFilter>
RowsFunction WithColour(bool specular, Colour colour, bool wide) {
    switch (colour) {
        case Colour::kAlpha: return WithSpecular<kFilter, Colour::kAlpha>(specular, wide);
        case Colour::kModulate:
            if constexpr (kFilter != Filter::kNone) return WithSpecular<kFilter, Colour::kModulate>(specular, wide);
            [[fallthrough]];
        default: return WithSpecular<kFilter, Colour::kOpaque>(specular, wide);
    }
}

// Stage 0 multiplies the texture by the diffuse colour (CURRENT is the diffuse colour there).
bool ModulatesDiffuse(const StageSetup& st) {
    auto diffuse = [](DWORD arg) { return arg == D3DTA_DIFFUSE || arg == D3DTA_CURRENT; };
    return st.colorOp == D3DTOP_MODULATE && ((st.colorArg[1] == D3DTA_TEXTURE && diffuse(st.colorArg[2])) ||
                                             (diffuse(st.colorArg[1]) && st.colorArg[2] == D3DTA_TEXTURE));
}

}  // namespace

std::uint32_t BlendPixel(const PixelSetup& s, const Color4& src, std::uint32_t old) {
    Color4 d = ColorFromArgb(old);
    if (!s.fb.destAlpha) d.a = 1.0f;
    return ArgbFromColor(BlendColors(s.srcBlend, s.destBlend, s.blendOp, src, d));
}

RowsFunction ChooseFastRows(PixelSetup& s, bool wide) {
    if (s.stageCount == 1 && s.stages[0].hasTexture) {
        const Sampler& sm = s.stages[0].sampler;
        s.stages[0].level = &sm.texture->level(sm.baseLevel);
    }
    if (s.fog != FogMode::kNone || s.stencil || !s.shade || s.stageCount > 1) return nullptr;
    if (s.stageCount == 1 && !FastStage(s.stages[0])) return nullptr;
    const bool specular = s.addSpecular && s.specularAttr >= 0;
    if (s.addSpecular && !specular) return nullptr;
    const bool alpha = s.fb.destAlpha || s.alphaTest || s.blend;
    if (s.stageCount == 0 || !s.stages[0].hasTexture)
        return WithColour<Filter::kNone>(specular, alpha ? Colour::kAlpha : Colour::kOpaque, wide);
    const Colour colour = alpha ? Colour::kAlpha : (ModulatesDiffuse(s.stages[0]) ? Colour::kModulate : Colour::kOpaque);
    return s.stages[0].sampler.magFilter >= D3DTEXF_LINEAR ? WithColour<Filter::kLinear>(specular, colour, wide)
                                                           : WithColour<Filter::kPoint>(specular, colour, wide);
}

}  // namespace ms
