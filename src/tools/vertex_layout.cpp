#include "tools/vertex_layout.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "model/model.h"


namespace ms {
namespace {

constexpr const char* kPropertyNames[kPropertyCount + 1] = {
    "X",        "Y",        "Z",        "RHW",      "WEIGHT1",  "WEIGHT2",  "WEIGHT3",  "MATRIX_INDICES",
    "NORMAL_X", "NORMAL_Y", "NORMAL_Z", "POINT_SIZE", "DIFFUSE", "SPECULAR", "TEX1_X", "TEX2_X",
    "TEX3_X",   "TEX4_X",   "TEX5_X",   "TEX6_X",   "TEX7_X",   "TEX8_X",   "TEX1_Y",   "TEX2_Y",
    "TEX3_Y",   "TEX4_Y",   "TEX5_Y",   "TEX6_Y",   "TEX7_Y",   "TEX8_Y",   "SIZE"};

// Betas after the position: XYZBk gives k; other kinds none.
int BetaCount(std::uint32_t kind) { return kind >= kKindXyzB1 ? static_cast<int>(kind - 4) / 2 : 0; }

void AssignOffsets(VertexLayout& l) {
    std::int32_t offset = 12;
    l.offsets[kPropX] = 0;
    l.offsets[kPropY] = 4;
    l.offsets[kPropZ] = 8;
    if (l.rhw()) {
        l.offsets[kPropRhw] = offset;
        offset += 4;
    } else {
        const int weights = std::max(0, BetaCount(l.positionKind) - (l.lastBetaIndices ? 1 : 0));
        for (int w = 0; w < weights; ++w, offset += 4) {
            if (w < 3) l.offsets[kPropWeight1 + w] = offset;  // a fourth weight has no Property
        }
        if (l.lastBetaIndices) {
            l.offsets[kPropMatrixIndices] = offset;
            offset += 4;
        }
    }
    auto take = [&](bool present, int id, int components) {
        if (!present) return;
        for (int c = 0; c < components; ++c, offset += 4) l.offsets[id + c] = offset;
    };
    take(l.normal, kPropNormalX, 3);
    take(l.pointSize, kPropPointSize, 1);
    take(l.diffuse, kPropDiffuse, 1);
    take(l.specular, kPropSpecular, 1);
    for (int set = 0; set < l.textureCount; ++set, offset += 8) {
        l.offsets[kPropTex1X + set] = offset;
        l.offsets[kPropTex1Y + set] = offset + 4;
    }
    l.stride = static_cast<std::uint32_t>(offset);
}

std::int64_t TextureCountOf(std::uint32_t fvf) { return (fvf & ~kFvfLastBetaUbyte4) >> kFvfTexCountShift; }

}  // namespace

const char* PropertyName(int id) { return id >= 0 && id <= kPropertyCount ? kPropertyNames[id] : nullptr; }

int FindProperty(const char* name) {
    for (int id = 0; id <= kPropertyCount; ++id) {
        if (std::strcmp(kPropertyNames[id], name) == 0) return id;
    }
    return -1;
}

bool IsIntegerProperty(int id) { return id == kPropMatrixIndices || id == kPropDiffuse || id == kPropSpecular; }

VertexLayout::VertexLayout() { std::fill(std::begin(offsets), std::end(offsets), -1); }

std::int32_t VertexLayout::Offset(int id) const {
    if (id == kPropSize) return valid ? static_cast<std::int32_t>(stride) : -1;
    return id >= 0 && id < kPropertyCount ? offsets[id] : -1;
}

int VertexLayout::BlendCount() const {
    const int betas = BetaCount(positionKind);
    return betas > 0 ? betas - (lastBetaIndices ? 1 : 0) : 0;
}

bool IsValidFvf(std::uint32_t fvf) {
    const std::uint32_t kind = fvf & 0xF;
    if (kind & 1) return false;
    if (kind > kKindXyzB1 + 6) return false;  // XYZB5 and above
    if (kind == kKindXyzRhw && (fvf & kFvfNormal)) return false;
    return TextureCountOf(fvf) <= kMaxTextureSets;
}

VertexLayout DecodeLayout(std::uint32_t fvf) {
    VertexLayout l;
    l.fvf = fvf;
    l.positionKind = fvf & 0xF;
    l.normal = (fvf & kFvfNormal) != 0;
    l.pointSize = (fvf & kFvfPointSize) != 0;
    l.diffuse = (fvf & kFvfDiffuse) != 0;
    l.specular = (fvf & kFvfSpecular) != 0;
    l.lastBetaIndices = (fvf & kFvfLastBetaUbyte4) != 0;
    l.textureCount = static_cast<int>(std::min<std::int64_t>(TextureCountOf(fvf), 0xFFFFF));
    l.valid = IsValidFvf(fvf);
    if (l.valid) AssignOffsets(l);
    return l;
}

namespace {

constexpr int kMaxWords = 32;  // the widest layout has 29 words

// For each 32-bit word of a target vertex: the source word it takes, masked to nothing for a word
// that no source component fills, and the constant added to it (1.0 for RHW).
struct WordPlan {
    std::uint32_t sourceWord[kMaxWords] = {};
    std::uint32_t mask[kMaxWords] = {};
    std::uint32_t constant[kMaxWords] = {};
};

WordPlan MakePlan(const VertexLayout& from, const VertexLayout& to) {
    WordPlan plan;
    const float one = 1.0f;
    for (int id = 0; id < kPropertyCount; ++id) {
        const std::int32_t at = to.offsets[id];
        if (at < 0) continue;
        if (id == kPropRhw) {
            std::memcpy(&plan.constant[at / 4], &one, 4);
        } else if (from.offsets[id] >= 0) {
            plan.sourceWord[at / 4] = static_cast<std::uint32_t>(from.offsets[id] / 4);
            plan.mask[at / 4] = ~0u;
        }
    }
    return plan;
}

// The copy loop with the target's word count known to the compiler: the plan is copied into
// locals that stay in registers, and the word loop unrolls into straight, branch-free code.
template <int kWords>
void ConvertWords(const WordPlan& plan, const std::uint8_t* source, std::size_t sourceStride, std::uint8_t* target,
                  std::size_t count) {
    if constexpr (kWords > 0) {
        std::uint32_t sourceWord[kWords], mask[kWords], constant[kWords];
        for (int w = 0; w < kWords; ++w) {
            sourceWord[w] = plan.sourceWord[w];
            mask[w] = plan.mask[w];
            constant[w] = plan.constant[w];
        }
        for (std::size_t i = 0; i < count; ++i, source += sourceStride, target += kWords * 4) {
            std::uint32_t out[kWords];
            for (int w = 0; w < kWords; ++w) {
                std::uint32_t value;
                std::memcpy(&value, source + 4 * sourceWord[w], 4);
                out[w] = (value & mask[w]) | constant[w];
            }
            std::memcpy(target, out, sizeof out);
        }
    }
}

using ConvertFunction = void (*)(const WordPlan&, const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t);

template <std::size_t... kWords>
constexpr std::array<ConvertFunction, sizeof...(kWords)> MakeConvertTable(std::index_sequence<kWords...>) {
    return {&ConvertWords<static_cast<int>(kWords)>...};
}

constexpr auto kConvertByWords = MakeConvertTable(std::make_index_sequence<kMaxWords + 1>());

}  // namespace

void ConvertVertexBytes(const VertexLayout& from, const VertexLayout& to, const std::uint8_t* source,
                        std::uint8_t* target, std::size_t count) {
    assert(from.valid && to.valid);
    kConvertByWords[to.stride / 4](MakePlan(from, to), source, from.stride, target, count);
}

Status CheckGeometryLayout(const MeshGeometry& g) {
    const VertexLayout layout = DecodeLayout(g.fvf);
    char fvf[16];
    std::snprintf(fvf, sizeof fvf, "0x%x", g.fvf);
    if (!layout.valid) return Status::Error(std::string("the vertex layout ") + fvf + " is not supported");
    if (g.vertexCount < 0 || g.stride != static_cast<std::int32_t>(layout.stride) ||
        g.vertices.size() < static_cast<std::size_t>(g.vertexCount) * layout.stride) {
        return Status::Error(std::string("the vertices do not match their layout ") + fvf + " (stride " +
                             std::to_string(g.stride) + ", " + std::to_string(g.vertexCount) + " vertices, " +
                             std::to_string(g.vertices.size()) + " bytes)");
    }
    return Status::Ok();
}

LayoutConverter::LayoutConverter() : target_(DecodeLayout(kKindXyz)), current_(DecodeLayout(kKindXyz)) {}

bool LayoutConverter::SetFvf(LayoutSlot slot, std::uint32_t fvf) {
    Slot(slot) = DecodeLayout(fvf);
    return Slot(slot).valid;
}

const VertexLayout& LayoutConverter::Layout(LayoutSlot slot) const {
    return slot == LayoutSlot::kTarget ? target_ : current_;
}

std::uint32_t LayoutConverter::SetTarget(std::uint32_t fvf) {
    SetFvf(LayoutSlot::kTarget, fvf);
    return fvf;
}

std::uint32_t LayoutConverter::MakeRhw() {
    return SetTarget((target_.fvf & ~(0xFu | kFvfNormal | kFvfLastBetaUbyte4)) | kKindXyzRhw);
}

std::uint32_t LayoutConverter::AddNormal() {
    std::uint32_t fvf = target_.fvf;
    if ((fvf & 0xF) == kKindXyzRhw) fvf = (fvf & ~0xFu) | kKindXyz;
    return SetTarget(fvf | kFvfNormal);
}

std::uint32_t LayoutConverter::AddDiffuse() { return SetTarget(target_.fvf | kFvfDiffuse); }
std::uint32_t LayoutConverter::AddSpecular() { return SetTarget(target_.fvf | kFvfSpecular); }
std::uint32_t LayoutConverter::AddPointSize() { return SetTarget(target_.fvf | kFvfPointSize); }

std::uint32_t LayoutConverter::SetBlend(int weights, bool indexed) {
    std::uint32_t fvf = target_.fvf & ~kFvfLastBetaUbyte4;
    int betas = weights;
    if (indexed) {
        fvf |= kFvfLastBetaUbyte4;
        betas = weights + 1;
    }
    if (betas >= 1 && betas <= 4) {
        fvf = (fvf & ~0xFu) | (4u + 2u * static_cast<std::uint32_t>(betas));
    } else if (betas == 0) {
        fvf = (fvf & ~0xFu) | kKindXyz;
    }
    return SetTarget(fvf);
}

std::uint32_t LayoutConverter::SetTextureCount(int count) {
    const std::uint32_t n = static_cast<std::uint32_t>(std::clamp(count, 0, kMaxTextureSets));
    return SetTarget((target_.fvf & ~kFvfTexCountMask) | (n << kFvfTexCountShift));
}

Status LayoutConverter::ConvertVertices(std::span<const std::uint8_t> source, std::size_t count,
                                        std::uint32_t fromFvf, std::uint32_t toFvf, std::vector<std::uint8_t>* out) {
    const bool fromValid = SetFvf(LayoutSlot::kCurrent, fromFvf);
    const bool toValid = SetFvf(LayoutSlot::kTarget, toFvf);
    char text[64];
    if (!fromValid || !toValid) {
        std::snprintf(text, sizeof text, "the vertex layout 0x%x is not supported", fromValid ? toFvf : fromFvf);
        return Status::Error(text);
    }
    if (source.size() / current_.stride < count) {
        return Status::Error("the vertex bytes hold fewer than " + std::to_string(count) + " vertices");
    }
    std::vector<std::uint8_t> converted(count * target_.stride);
    ConvertVertexBytes(current_, target_, source.data(), converted.data(), count);
    *out = std::move(converted);
    return Status::Ok();
}

Status LayoutConverter::ConvertGeometry(MeshGeometry& geometry) {
    if (Status status = CheckGeometryLayout(geometry); !status) return status;
    std::vector<std::uint8_t> converted;
    const std::uint32_t toFvf = target_.fvf;
    if (Status status = ConvertVertices(geometry.vertices, static_cast<std::size_t>(geometry.vertexCount),
                                        geometry.fvf, toFvf, &converted);
        !status) {
        return status;
    }
    geometry.vertices = std::move(converted);
    geometry.fvf = toFvf;
    geometry.stride = static_cast<std::int32_t>(target_.stride);
    SetFvf(LayoutSlot::kCurrent, toFvf);
    return Status::Ok();
}

}  // namespace ms
