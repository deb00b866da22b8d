#pragma once
// The pixel stage: texture stages, specular add, fog, alpha test, stencil and depth tests,
// blending and the colour write mask, over one span of a primitive.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/d3d8/pipeline.h"
#include "platform/d3d8/texture.h"

namespace ms {

// The render targets: 0xAARRGGBB colour and depth-stencil words (depth in the high 24 bits,
// stencil in the low 8), both `pitch` pixels per row.
struct Framebuffer {
    std::uint32_t* color = nullptr;
    std::uint32_t* depthStencil = nullptr;  // null without a depth buffer
    int width = 0, height = 0, pitch = 0;
    bool destAlpha = false;  // the colour format keeps alpha (A8R8G8B8); else alpha reads as 1
    bool hasStencil = false;
};

struct StageSetup {
    DWORD colorOp, alphaOp;
    DWORD colorArg[3], alphaArg[3];  // ARG0, ARG1, ARG2
    bool toTemp = false;             // RESULTARG is TEMP
    bool hasTexture = false;
    bool projected = false;
    int coordAttr = -1;
    Sampler sampler;
    const TextureLevel* level = nullptr;  // the level the fast loop samples
};

enum class FogMode : std::uint8_t { kNone, kVertex, kTable };

struct PixelSetup;
// Pixels x0..x1 (inclusive) of row y of the primitive with planes[plane].
struct Span {
    int y, x0, x1;
    int plane;
};
// A loop that shades spans in order, as if one pixel after the other.
using RowsFunction = void (*)(const PixelSetup& setup, const Interpolants* planes, const Span* spans, int count);

// Everything the pixel stage reads, resolved once per draw.
struct PixelSetup {
    Framebuffer fb;
    int stageCount = 0;  // stages before the first one that ends the cascade
    StageSetup stages[8];
    Color4 textureFactor{1, 1, 1, 1};
    int specularAttr = -1;
    bool addSpecular = false;  // SPECULARENABLE: specular colour added after the stages

    FogMode fog = FogMode::kNone;
    Color4 fogColor{};
    DWORD fogTableMode = 0;
    float fogStart = 0.0f, fogEnd = 1.0f, fogDensity = 1.0f;

    bool alphaTest = false;
    DWORD alphaFunc = 8;
    std::uint32_t alphaRef = 0;

    bool depthTest = false, depthWrite = false;
    DWORD depthFunc = 4;
    std::int32_t depthBias = 0;  // in units of the 24-bit depth, subtracted

    bool stencil = false;
    DWORD stencilFunc = 8, stencilFail = 1, stencilZFail = 1, stencilPass = 1;
    std::uint32_t stencilRef = 0, stencilMask = 0xFF, stencilWriteMask = 0xFF;

    bool blend = false;
    DWORD srcBlend = 2, destBlend = 1, blendOp = 1;
    std::uint32_t writeMask = 0xFFFFFFFF;  // bytes of the colour word that are written
    // False when no colour can change (nothing written, no alpha test): only depth and stencil
    // are updated.
    bool shade = true;
    // The loop for the common set-ups (fast_span.h), null for the general loop.
    RowsFunction fastRows = nullptr;
};

// Shades pixels x0..x1 (inclusive) of row y, all inside the framebuffer, from the planes.
void ShadeSpan(const PixelSetup& setup, int y, int x0, int x1, const Interpolants& planes);

// Collects the spans of primitives for the fast loop, which shades pixels of several spans (and
// of several small primitives) at once; without it each span is shaded as it comes. Begin each
// primitive with the function that makes its planes, then add its spans (the planes are made
// when the first span comes: a primitive that covers no pixel costs none), then end it; flush
// before anything else draws.
class SpanBatch {
public:
    using MakePlanes = void (*)(const void* context, Interpolants* planes);

    explicit SpanBatch(const PixelSetup& setup) : setup_(setup) {}
    ~SpanBatch() { Flush(); }
    SpanBatch(const SpanBatch&) = delete;
    SpanBatch& operator=(const SpanBatch&) = delete;

    void Begin(MakePlanes make, const void* context) {
        make_ = make;
        context_ = context;
    }
    void Add(int y, int x0, int x1) {
        if (make_) Open();
        if (!setup_.fastRows) {
            ShadeSpan(setup_, y, x0, x1, own_);
            return;
        }
        spans_[count_++] = {y, x0, x1, planeCount_ - 1};
        if (count_ == kMaxSpans) Flush();
    }
    void End() { make_ = nullptr; }
    // Shades what is collected; the current primitive may go on adding spans.
    void Flush() {
        if (count_) setup_.fastRows(setup_, planes_, spans_, count_);
        count_ = 0;
        if (planeCount_ > 1) CopyPlanes(planes_[planeCount_ - 1], &planes_[0]);
        planeCount_ = planeCount_ ? 1 : 0;
    }

private:
    void Open() {
        if (!setup_.fastRows) {
            make_(context_, &own_);
        } else {
            if (planeCount_ == kMaxPlanes) Flush();
            make_(context_, &planes_[planeCount_++]);
        }
        make_ = nullptr;
    }
    // The planes without the attributes past `count`, which nothing reads.
    static void CopyPlanes(const Interpolants& from, Interpolants* to) {
        std::memcpy(to, &from, offsetof(Interpolants, a));
        const auto bytes = static_cast<std::size_t>(from.count) * sizeof(float);
        std::memcpy(to->a, from.a, bytes);
        std::memcpy(to->adx, from.adx, bytes);
        std::memcpy(to->ady, from.ady, bytes);
    }

    static constexpr int kMaxSpans = 256, kMaxPlanes = 32;
    const PixelSetup& setup_;
    MakePlanes make_ = nullptr;
    const void* context_ = nullptr;
    Interpolants own_;  // the current primitive's planes, for the general loop
    Interpolants planes_[kMaxPlanes];
    Span spans_[kMaxSpans];
    int planeCount_ = 0, count_ = 0;
};

// The values of a span at its first pixel, and its rows of the colour and depth-stencil buffers.
struct SpanStart {
    float base[kMaxAttributes];  // the attributes times 1/w
    float rhw0;
    double z0;
    std::uint32_t* color;
    std::uint32_t* depthStencil;  // null without a depth-stencil buffer
};
SpanStart StartSpan(const PixelSetup& s, int y, int x0, const Interpolants& p);

// Depth in [0, 1] (NaN as 0) to 24 bits, less the bias.
inline std::uint32_t QuantizeDepth(double z, std::int32_t bias) {
    z = z > 0.0 ? (z < 1.0 ? z : 1.0) : 0.0;
    const std::int32_t q = static_cast<std::int32_t>(z * 16777215.0 + 0.5) - bias;
    return static_cast<std::uint32_t>(q < 0 ? 0 : (q > 0xFFFFFF ? 0xFFFFFF : q));
}

// Direct3D comparison `func` of a new value against a stored one (D3DCMP_*; unknown: always).
inline bool Compare(DWORD func, std::uint32_t value, std::uint32_t stored) {
    switch (func) {
        case 1: return false;            // NEVER
        case 2: return value < stored;   // LESS
        case 3: return value == stored;  // EQUAL
        case 4: return value <= stored;  // LESSEQUAL
        case 5: return value > stored;   // GREATER
        case 6: return value != stored;  // NOTEQUAL
        case 7: return value >= stored;  // GREATEREQUAL
        default: return true;            // ALWAYS, and any unknown function
    }
}
// Stencil operation `op` on an 8-bit value.
std::uint32_t StencilOp(DWORD op, std::uint32_t value, std::uint32_t ref);
// The blend of a source and a destination colour, both in [0, 1].
Color4 BlendColors(DWORD srcBlend, DWORD destBlend, DWORD blendOp, const Color4& src, const Color4& dest);

}  // namespace ms
