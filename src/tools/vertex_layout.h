#pragma once
// Vertex layouts: the decoding of a Direct3D 8 flexible vertex format (FVF) code into the byte
// offset of each scalar vertex component (a Property) and the stride, the builders of a new
// layout, and the conversion of vertex bytes from one layout to another. This is the one decoder
// of vertex layouts for the editing tools (property editor, Connect, Connect Shadow).
//
// Supported bits: position kind (bits 1-3: XYZ, XYZRHW, XYZB1..XYZB4), NORMAL, PSIZE, DIFFUSE,
// SPECULAR, the texture set count (bits 8-11, every set two floats) and LASTBETA_UBYTE4 (bit 12:
// the last beta holds four packed matrix-index bytes). Every component is 4 bytes.
#include <cstdint>
#include <span>
#include <vector>

#include "base/status.h"

namespace ms {

struct MeshGeometry;

// The Properties of a vertex, in the order their offsets are assigned.
enum PropertyId : int {
    kPropX = 0,
    kPropY = 1,
    kPropZ = 2,
    kPropRhw = 3,
    kPropWeight1 = 4,
    kPropWeight2 = 5,
    kPropWeight3 = 6,
    kPropMatrixIndices = 7,  // 32-bit unsigned: four packed byte indices, index 0 in the lowest byte
    kPropNormalX = 8,
    kPropNormalY = 9,
    kPropNormalZ = 10,
    kPropPointSize = 11,
    kPropDiffuse = 12,   // 32-bit unsigned colour
    kPropSpecular = 13,  // 32-bit unsigned colour
    kPropTex1X = 14,     // TEXn_X is kPropTex1X + n - 1 (n = 1..8)
    kPropTex1Y = 22,     // TEXn_Y is kPropTex1Y + n - 1
    kPropSize = 30,      // the stride; not a component
};

constexpr int kPropertyCount = 30;  // components 0..29; id 30 (SIZE) is the stride
constexpr int kMaxTextureSets = 8;

// Position kinds (FVF & 0xF).
constexpr std::uint32_t kKindXyz = 0x2;
constexpr std::uint32_t kKindXyzRhw = 0x4;
constexpr std::uint32_t kKindXyzB1 = 0x6;  // XYZBk is 0x4 + 2k
constexpr std::uint32_t kKindXyzB5 = 0xE;

constexpr std::uint32_t kFvfNormal = 0x010;
constexpr std::uint32_t kFvfPointSize = 0x020;
constexpr std::uint32_t kFvfDiffuse = 0x040;
constexpr std::uint32_t kFvfSpecular = 0x080;
constexpr std::uint32_t kFvfTexCountMask = 0xF00;
constexpr std::uint32_t kFvfTexCountShift = 8;
constexpr std::uint32_t kFvfLastBetaUbyte4 = 0x1000;

// The name shown for a Property ("X", "NORMAL_Y", "TEX3_X", "SIZE"); nullptr for ids outside 0..30.
const char* PropertyName(int id);
// The id of a Property name (exact, upper case as shown); -1 when there is none.
int FindProperty(const char* name);
// MATRIX_INDICES, DIFFUSE and SPECULAR hold 32-bit unsigned numbers; every other component a float.
bool IsIntegerProperty(int id);

// One decoded FVF.
struct VertexLayout {
    std::uint32_t fvf = 0;
    std::uint32_t positionKind = 0;  // fvf & 0xF
    bool normal = false;
    bool pointSize = false;
    bool diffuse = false;
    bool specular = false;
    bool lastBetaIndices = false;  // LASTBETA_UBYTE4
    int textureCount = 0;          // all bits from bit 8 upward except bit 12
    bool valid = false;            // see IsValidFvf
    std::int32_t offsets[kPropertyCount];  // byte offset of each Property, -1 when absent
    std::uint32_t stride = 0;

    VertexLayout();
    bool rhw() const { return positionKind == kKindXyzRhw; }
    // Byte offset of Property `id` (0..29), the stride for id 30, -1 when absent or out of range.
    std::int32_t Offset(int id) const;
    bool Has(int id) const { return Offset(id) >= 0; }
    // The blend weights of the kind (XYZBk gives k betas), one less with LASTBETA_UBYTE4; 0 for
    // kinds without betas. Only the first three have a Property.
    int BlendCount() const;
};

// A layout is valid when bit 0 is clear, the position kind is at most XYZB4, it is not XYZRHW
// together with NORMAL, and the texture count is at most 8 (so every bit above bit 12, which would
// hold texture-coordinate size codes, is zero). Only a valid layout has offsets and a stride.
bool IsValidFvf(std::uint32_t fvf);

// Decodes `fvf`. An invalid code gets its flags decoded, every offset -1 and stride 0.
VertexLayout DecodeLayout(std::uint32_t fvf);

// Copies `count` vertices from `source` (laid out by `from`) to `target` (laid out by `to`; the
// caller provides count * to.stride bytes). Each Property the target has gets the source's 32-bit
// component unchanged whatever its type, or all bits zero when the source lacks it; RHW is always
// 1.0. Target bytes that no Property covers (the fourth weight of XYZB4) are zeroed. Both layouts
// must be valid. No allocation; runs at memory speed.
void ConvertVertexBytes(const VertexLayout& from, const VertexLayout& to, const std::uint8_t* source,
                        std::uint8_t* target, std::size_t count);

// Checks that the geometry's vertices can be read through the layout of its own FVF: the FVF is
// valid, the geometry's stride is the layout's, and it holds vertex count * stride bytes. The
// error names the FVF ("the vertex layout 0x... is not supported", or what does not match).
Status CheckGeometryLayout(const MeshGeometry& geometry);

// The two layouts that the editing tools work with: the target (the FVF being built or converted
// to) and the current (the FVF of the vertices being read). Both start as D3DFVF_XYZ.
enum class LayoutSlot { kTarget, kCurrent };

class LayoutConverter {
public:
    LayoutConverter();

    // Stores `fvf` in the slot and decodes it (DecodeLayout). Returns validity. An invalid layout
    // has no offsets (all -1, stride 0), so no bytes are ever read through another layout's offsets.
    bool SetFvf(LayoutSlot slot, std::uint32_t fvf);
    const VertexLayout& Layout(LayoutSlot slot) const;
    const VertexLayout& target() const { return target_; }
    const VertexLayout& current() const { return current_; }

    // Byte offset of Property `id` in the slot (id 30: the stride), -1 when absent or id is outside 0..30.
    std::int32_t Offset(int id, LayoutSlot slot) const { return Layout(slot).Offset(id); }
    int BlendCount(LayoutSlot slot) const { return Layout(slot).BlendCount(); }
    int TextureCount(LayoutSlot slot) const { return Layout(slot).textureCount; }

    // Builders of the target FVF; each stores and decodes the new FVF and returns it.
    std::uint32_t MakeRhw();        // removes NORMAL and LASTBETA_UBYTE4; kind XYZRHW
    std::uint32_t AddNormal();      // XYZRHW becomes XYZ; sets NORMAL
    std::uint32_t AddDiffuse();
    std::uint32_t AddSpecular();
    std::uint32_t AddPointSize();
    // Removes LASTBETA_UBYTE4; indexed sets it and uses k = weights + 1 betas, else k = weights;
    // k 1..4 gives XYZBk, 0 gives XYZ, 5 or more leaves the kind as it is.
    std::uint32_t SetBlend(int weights, bool indexed);
    // Replaces bits 8-11 by `count` (0..8).
    std::uint32_t SetTextureCount(int count);

    // Sets the current slot to `fromFvf` and the target slot to `toFvf`, then converts `count`
    // vertices into `*out` (count * target stride bytes). Refuses an invalid or unsupported layout
    // on either side and a `source` shorter than count * source stride; `*out` is then untouched.
    Status ConvertVertices(std::span<const std::uint8_t> source, std::size_t count, std::uint32_t fromFvf,
                           std::uint32_t toFvf, std::vector<std::uint8_t>* out);

    // Converts the geometry's vertices to the target FVF: new vertex bytes, the target's FVF and
    // stride; the current slot becomes the new FVF. Vertex count and indices stay. A geometry
    // whose own FVF is invalid, or whose bytes do not match its count and layout, is refused
    // unchanged.
    Status ConvertGeometry(MeshGeometry& geometry);

private:
    VertexLayout& Slot(LayoutSlot slot) { return slot == LayoutSlot::kTarget ? target_ : current_; }
    std::uint32_t SetTarget(std::uint32_t fvf);

    VertexLayout target_;
    VertexLayout current_;
};

}  // namespace ms
