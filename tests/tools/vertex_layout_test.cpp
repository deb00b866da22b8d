#include "tools/vertex_layout.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/model.h"
#include "platform/d3d8/fvf.h"

namespace ms {
namespace {

// The present Properties of a layout, by name, with the stride under "SIZE".
std::map<std::string, int> Offsets(const VertexLayout& l) {
    std::map<std::string, int> out;
    for (int id = 0; id <= kPropSize; ++id) {
        if (l.Offset(id) >= 0) out[PropertyName(id)] = l.Offset(id);
    }
    return out;
}

TEST(VertexLayout, DecodesOffsetsInPropertyOrder) {
    struct Case {
        std::uint32_t fvf;
        int blendCount;
        std::map<std::string, int> offsets;
    };
    const Case cases[] = {
        {0x002, 0, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"SIZE", 12}}},
        {0x152, 0, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"NORMAL_X", 12}, {"NORMAL_Y", 16}, {"NORMAL_Z", 20},
                    {"DIFFUSE", 24}, {"TEX1_X", 28}, {"TEX1_Y", 32}, {"SIZE", 36}}},
        {0x100A, 2, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"WEIGHT1", 12}, {"WEIGHT2", 16}, {"MATRIX_INDICES", 20},
                     {"SIZE", 24}}},
        {0x004, 0, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"RHW", 12}, {"SIZE", 16}}},
        // XYZB4 without indices: the fourth weight takes 4 bytes but has no Property.
        {0x01C, 4, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"WEIGHT1", 12}, {"WEIGHT2", 16}, {"WEIGHT3", 20},
                    {"NORMAL_X", 28}, {"NORMAL_Y", 32}, {"NORMAL_Z", 36}, {"SIZE", 40}}},
        {0x10EC, 3, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"WEIGHT1", 12}, {"WEIGHT2", 16}, {"WEIGHT3", 20},
                     {"MATRIX_INDICES", 24}, {"POINT_SIZE", 28}, {"DIFFUSE", 32}, {"SPECULAR", 36}, {"SIZE", 40}}},
        // Indices without betas: no weights, the indices right after the position; RHW has none.
        {0x1002, 0, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"MATRIX_INDICES", 12}, {"SIZE", 16}}},
        {0x1004, 0, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"RHW", 12}, {"SIZE", 16}}},
        {0x202, 0, {{"X", 0}, {"Y", 4}, {"Z", 8}, {"TEX1_X", 12}, {"TEX1_Y", 16}, {"TEX2_X", 20},
                    {"TEX2_Y", 24}, {"SIZE", 28}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fvf);
        const VertexLayout l = DecodeLayout(c.fvf);
        EXPECT_TRUE(l.valid);
        EXPECT_EQ(Offsets(l), c.offsets);
        EXPECT_EQ(l.BlendCount(), c.blendCount);
    }
    const VertexLayout tex8 = DecodeLayout(0x802);
    EXPECT_EQ(tex8.textureCount, 8);
    EXPECT_EQ(tex8.Offset(kPropTex1X + 7), 12 + 7 * 8);
    EXPECT_EQ(tex8.Offset(kPropTex1Y + 7), 12 + 7 * 8 + 4);
    EXPECT_EQ(tex8.stride, 76u);
}

TEST(VertexLayout, RefusesInvalidLayoutsWithoutOffsets) {
    // Bit 0, XYZB5, XYZRHW with NORMAL, more than 8 texture sets, texture-coordinate size codes.
    for (std::uint32_t fvf : {0x001u, 0x003u, 0x00Eu, 0x014u, 0x902u, 0xF02u, 0x10102u, 0x80000002u}) {
        SCOPED_TRACE(fvf);
        const VertexLayout l = DecodeLayout(fvf);
        EXPECT_FALSE(l.valid);
        EXPECT_FALSE(IsValidFvf(fvf));
        EXPECT_TRUE(Offsets(l).empty());
        EXPECT_EQ(l.fvf, fvf);
    }
    // Flags are decoded all the same.
    const VertexLayout l = DecodeLayout(0x1F4);
    EXPECT_TRUE(l.rhw());
    EXPECT_TRUE(l.normal && l.pointSize && l.diffuse && l.specular);
    EXPECT_EQ(l.textureCount, 1);
}

TEST(VertexLayout, PropertyNamesAndTypes) {
    EXPECT_STREQ(PropertyName(kPropMatrixIndices), "MATRIX_INDICES");
    EXPECT_STREQ(PropertyName(kPropTex1X + 2), "TEX3_X");
    EXPECT_STREQ(PropertyName(kPropTex1Y + 7), "TEX8_Y");
    EXPECT_STREQ(PropertyName(kPropSize), "SIZE");
    EXPECT_EQ(PropertyName(31), nullptr);
    EXPECT_EQ(PropertyName(-1), nullptr);
    for (int id = 0; id <= kPropSize; ++id) EXPECT_EQ(FindProperty(PropertyName(id)), id);
    EXPECT_EQ(FindProperty("normal_x"), -1);
    int integers = 0;
    for (int id = 0; id < kPropertyCount; ++id) integers += IsIntegerProperty(id);
    EXPECT_EQ(integers, 3);
    EXPECT_TRUE(IsIntegerProperty(kPropDiffuse) && IsIntegerProperty(kPropSpecular) &&
                IsIntegerProperty(kPropMatrixIndices));
}

// The renderer decodes vertex formats for drawing; every layout both accept must lay out the same
// bytes. The renderer alone accepts XYZB5; only this decoder accepts a layout without a position
// kind or with LASTBETA_UBYTE4 but no betas (it then lays the indices out after the position).
TEST(VertexLayout, AgreesWithTheRenderersDecoder) {
    int agreed = 0;
    for (std::uint32_t fvf = 0; fvf < 0x2000; ++fvf) {
        const VertexLayout ours = DecodeLayout(fvf);
        FvfLayout theirs;
        const bool drawable = DecodeFvf(fvf, &theirs);
        const std::uint32_t kind = fvf & 0xF;
        if (!ours.valid) {
            EXPECT_TRUE(!drawable || kind == kKindXyzB5) << std::hex << fvf;
            continue;
        }
        if (!drawable) {
            const bool indicesWithoutBetas = (fvf & kFvfLastBetaUbyte4) && kind < kKindXyzB1;
            EXPECT_TRUE(kind == 0 || indicesWithoutBetas) << std::hex << fvf;
            continue;
        }
        SCOPED_TRACE(fvf);
        ++agreed;
        EXPECT_EQ(ours.stride, static_cast<std::uint32_t>(theirs.stride));
        EXPECT_EQ(ours.rhw(), theirs.rhw);
        EXPECT_EQ(ours.BlendCount(), theirs.weightCount);
        EXPECT_EQ(ours.Offset(kPropMatrixIndices), theirs.indicesOffset);
        for (int w = 0; w < 3; ++w) {
            EXPECT_EQ(ours.Offset(kPropWeight1 + w), w < theirs.weightCount ? 12 + 4 * w : -1);
        }
        EXPECT_EQ(ours.Offset(kPropNormalX), theirs.normalOffset);
        if (theirs.normalOffset >= 0) {
            EXPECT_EQ(ours.Offset(kPropNormalY), theirs.normalOffset + 4);
            EXPECT_EQ(ours.Offset(kPropNormalZ), theirs.normalOffset + 8);
        }
        EXPECT_EQ(ours.Offset(kPropPointSize), theirs.psizeOffset);
        EXPECT_EQ(ours.Offset(kPropDiffuse), theirs.diffuseOffset);
        EXPECT_EQ(ours.Offset(kPropSpecular), theirs.specularOffset);
        ASSERT_EQ(ours.textureCount, theirs.texCount);
        for (int set = 0; set < kMaxTextureSets; ++set) {
            const bool present = set < theirs.texCount;
            EXPECT_EQ(ours.Offset(kPropTex1X + set), present ? theirs.texOffset[set] : -1);
            EXPECT_EQ(ours.Offset(kPropTex1Y + set), present ? theirs.texOffset[set] + 4 : -1);
            if (present) {
                EXPECT_EQ(theirs.texSize[set], 2);
            }
        }
    }
    EXPECT_GT(agreed, 1000);
}

TEST(LayoutConverter, StartsAsXyzAndAnInvalidSlotHasNoOffsets) {
    LayoutConverter c;
    EXPECT_EQ(c.target().fvf, 0x002u);
    EXPECT_EQ(c.current().fvf, 0x002u);
    EXPECT_EQ(c.Offset(kPropSize, LayoutSlot::kCurrent), 12);
    EXPECT_TRUE(c.SetFvf(LayoutSlot::kCurrent, 0x152));
    EXPECT_EQ(c.Offset(kPropDiffuse, LayoutSlot::kCurrent), 24);
    EXPECT_EQ(c.Offset(31, LayoutSlot::kCurrent), -1);
    EXPECT_FALSE(c.SetFvf(LayoutSlot::kCurrent, 0x00E));
    EXPECT_EQ(c.current().fvf, 0x00Eu);
    EXPECT_EQ(c.BlendCount(LayoutSlot::kCurrent), 5);
    for (int id = 0; id <= kPropSize; ++id) EXPECT_EQ(c.Offset(id, LayoutSlot::kCurrent), -1);
    EXPECT_EQ(c.target().fvf, 0x002u);
}

TEST(LayoutConverter, BuildersChangeOnlyTheirBits) {
    LayoutConverter c;
    c.SetFvf(LayoutSlot::kTarget, 0x1152);
    EXPECT_EQ(c.MakeRhw(), 0x144u);
    EXPECT_EQ(c.AddNormal(), 0x152u);  // XYZRHW becomes XYZ
    EXPECT_EQ(c.AddSpecular(), 0x1D2u);
    EXPECT_EQ(c.AddPointSize(), 0x1F2u);
    EXPECT_EQ(c.AddDiffuse(), 0x1F2u);
    EXPECT_EQ(c.SetTextureCount(3), 0x3F2u);
    EXPECT_EQ(c.SetTextureCount(0), 0x0F2u);
    EXPECT_EQ(c.target().fvf, 0x0F2u);
    EXPECT_EQ(c.target().stride, 36u);

    struct Blend {
        std::uint32_t from;
        int weights;
        bool indexed;
        std::uint32_t fvf;
    };
    const Blend blends[] = {
        {0x002, 0, true, 0x1006},  {0x002, 3, true, 0x100C},  {0x002, 2, false, 0x008},
        {0x1008, 0, false, 0x002}, {0x008, 4, true, 0x1008},  // k = 5 keeps the kind
        {0x004, 1, true, 0x1008},  {0x00C, 5, false, 0x00C},
    };
    for (const Blend& b : blends) {
        c.SetFvf(LayoutSlot::kTarget, b.from);
        EXPECT_EQ(c.SetBlend(b.weights, b.indexed), b.fvf) << b.from << " " << b.weights;
        EXPECT_EQ(c.target().fvf, b.fvf);
    }
}

std::vector<std::uint8_t> Words(const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

std::vector<std::uint32_t> ToWords(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

constexpr std::uint32_t kOne = 0x3F800000;  // 1.0f

TEST(LayoutConverter, ConvertsComponentByComponent) {
    LayoutConverter c;
    // Two vertices of XYZ | NORMAL | TEX1 (0x112): words 1..8 and 11..18.
    const auto source = Words({1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18});
    struct Case {
        std::uint32_t to;
        std::vector<std::uint32_t> words;
    };
    const Case cases[] = {
        // XYZB2 | LASTBETA | DIFFUSE | TEX2: weight, indices, colour and the second set are zero.
        {0x1248, {1, 2, 3, 0, 0, 0, 7, 8, 0, 0, 11, 12, 13, 0, 0, 0, 17, 18, 0, 0}},
        {0x004, {1, 2, 3, kOne, 11, 12, 13, kOne}},
        {0x002, {1, 2, 3, 11, 12, 13}},
        // XYZB4 without indices: the fourth weight has no Property and stays zero.
        {0x01C, {1, 2, 3, 0, 0, 0, 0, 4, 5, 6, 11, 12, 13, 0, 0, 0, 0, 14, 15, 16}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.to);
        std::vector<std::uint8_t> out;
        ASSERT_TRUE(c.ConvertVertices(source, 2, 0x112, k.to, &out));
        EXPECT_EQ(ToWords(out), k.words);
        EXPECT_EQ(c.current().fvf, 0x112u);
        EXPECT_EQ(c.target().fvf, k.to);
    }
    // And back: what both layouts share comes through unchanged.
    std::vector<std::uint8_t> wide, back;
    ASSERT_TRUE(c.ConvertVertices(source, 2, 0x112, 0x13F2, &wide));
    ASSERT_TRUE(c.ConvertVertices(wide, 2, 0x13F2, 0x112, &back));
    EXPECT_EQ(back, source);
}

// Every valid target layout, from a source that has every Property but RHW: each Property the
// target has holds the source's word, RHW holds 1.0, and the bytes no Property covers are zero.
TEST(LayoutConverter, ConvertsIntoEveryValidLayout) {
    const VertexLayout from = DecodeLayout(0x18FC);  // XYZB4 with indices, all flags, 8 sets
    ASSERT_TRUE(from.valid);
    constexpr std::size_t kCount = 3;
    std::vector<std::uint32_t> source(kCount * from.stride / 4);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint32_t>(1000 + i);
    const auto sourceBytes = Words(source);
    for (std::uint32_t fvf = 0; fvf < 0x2000; ++fvf) {
        const VertexLayout to = DecodeLayout(fvf);
        if (!to.valid) continue;
        std::vector<std::uint8_t> out(kCount * to.stride, 0xEE);
        ConvertVertexBytes(from, to, sourceBytes.data(), out.data(), kCount);
        const std::vector<std::uint32_t> words = ToWords(out);
        std::vector<std::uint32_t> expected(words.size(), 0);
        for (std::size_t v = 0; v < kCount; ++v) {
            for (int id = 0; id < kPropertyCount; ++id) {
                if (!to.Has(id)) continue;
                const std::size_t at = (v * to.stride + to.Offset(id)) / 4;
                expected[at] = id == kPropRhw ? kOne : source[(v * from.stride + from.Offset(id)) / 4];
            }
        }
        ASSERT_EQ(words, expected) << std::hex << fvf;
    }
}

TEST(LayoutConverter, ConvertVerticesRefusesBadInput) {
    LayoutConverter c;
    const auto source = Words({1, 2, 3, 4, 5, 6});
    std::vector<std::uint8_t> out = {9};
    EXPECT_FALSE(c.ConvertVertices(source, 2, 0x00E, 0x002, &out));
    EXPECT_FALSE(c.ConvertVertices(source, 2, 0x002, 0x014, &out));
    const Status shortSource = c.ConvertVertices(source, 3, 0x002, 0x012, &out);
    EXPECT_FALSE(shortSource);
    EXPECT_NE(shortSource.message().find("3 vertices"), std::string::npos);
    EXPECT_EQ(out, std::vector<std::uint8_t>{9});
    EXPECT_TRUE(c.ConvertVertices(source, 0, 0x002, 0x012, &out));
    EXPECT_TRUE(out.empty());
}

MeshGeometry Geometry(std::uint32_t fvf, std::int32_t stride, std::vector<std::uint32_t> words,
                      std::int32_t vertexCount = -1) {
    MeshGeometry g;
    g.fvf = fvf;
    g.stride = stride;
    g.vertexCount = vertexCount >= 0 ? vertexCount : static_cast<std::int32_t>(words.size() * 4 / stride);
    g.vertices = Words(words);
    g.indices = {0, 1, 0};
    g.primitiveCount = 1;
    g.primitiveType = 4;
    return g;
}

TEST(LayoutConverter, ConvertGeometryStoresTheTargetLayout) {
    LayoutConverter c;
    c.SetFvf(LayoutSlot::kTarget, 0x042);
    MeshGeometry g = Geometry(0x012, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    ASSERT_TRUE(c.ConvertGeometry(g));
    EXPECT_EQ(g.fvf, 0x042u);
    EXPECT_EQ(g.stride, 16);
    EXPECT_EQ(g.vertexCount, 2);
    EXPECT_EQ(ToWords(g.vertices), (std::vector<std::uint32_t>{1, 2, 3, 0, 7, 8, 9, 0}));
    EXPECT_EQ(g.indices, (std::vector<std::uint16_t>{0, 1, 0}));
    EXPECT_EQ(c.current().fvf, 0x042u);
}

TEST(LayoutConverter, ConvertGeometryRefusesAMeshItCannotRead) {
    const MeshGeometry cases[] = {
        Geometry(0x00E, 12, {1, 2, 3}),         // XYZB5
        Geometry(0x10102, 20, {1, 2, 3, 4, 5}),  // a texture-coordinate size code
        Geometry(0x012, 12, {1, 2, 3}),          // stride of another layout
        Geometry(0x012, 24, {1, 2, 3, 4, 5, 6}, 2),  // more vertices than bytes
    };
    for (MeshGeometry g : cases) {
        SCOPED_TRACE(g.fvf);
        const MeshGeometry before = g;
        LayoutConverter c;
        c.SetFvf(LayoutSlot::kTarget, 0x002);
        const Status status = c.ConvertGeometry(g);
        EXPECT_FALSE(status);
        EXPECT_FALSE(status.message().empty());
        EXPECT_EQ(g.vertices, before.vertices);
        EXPECT_EQ(g.fvf, before.fvf);
        EXPECT_EQ(g.stride, before.stride);
    }
    EXPECT_NE(CheckGeometryLayout(Geometry(0x00E, 12, {1, 2, 3})).message().find("0xe is not supported"),
              std::string::npos);
}

}  // namespace
}  // namespace ms
