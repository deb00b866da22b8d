#include <gtest/gtest.h>

#include "image_fixtures.h"

namespace ms {
namespace {

using test::ByteVector;
using test::DdsSpec;
using test::MakeDds;
using test::kDdsAlpha;
using test::kDdsAlphaPixels;
using test::kDdsFourCC;
using test::kDdsLuminance;
using test::kDdsRgb;

// A DXT colour block: two R5G6B5 colours and one index byte per row.
ByteVector ColourBlock(std::uint16_t c0, std::uint16_t c1, std::array<std::uint8_t, 4> rows) {
    return {static_cast<std::uint8_t>(c0), static_cast<std::uint8_t>(c0 >> 8), static_cast<std::uint8_t>(c1),
            static_cast<std::uint8_t>(c1 >> 8), rows[0], rows[1], rows[2], rows[3]};
}

ByteVector Cat(std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const ByteVector& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

ByteVector Words(int size, std::initializer_list<std::uint32_t> values) {
    ByteVector out;
    for (std::uint32_t v : values)
        for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

TEST(Dds, Dxt1FourAndThreeColourModes) {
    // Row 0 uses indices 0,1,2,3; row 1 all 0; row 2 all 3; row 3 3,2,1,0.
    const std::array<std::uint8_t, 4> rows = {0xE4, 0x00, 0xFF, 0x1B};
    struct Case {
        const char* name;
        std::uint16_t c0, c1;
        std::array<std::uint32_t, 4> colours;
    };
    const Case cases[] = {
        {"c0 > c1: two colours between", 0xF800, 0x001F, {kRed, kBlue, 0xFFAA0055, 0xFF5500AA}},
        {"c0 < c1: the middle, and transparent black", 0x001F, 0xF800, {kBlue, kRed, 0xFF7F007F, 0}},
        {"c0 == c1 is the three-colour mode", 0x07E0, 0x07E0, {kGreen, kGreen, kGreen, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto& k = c.colours;
        const std::vector<std::uint32_t> expected = {k[0], k[1], k[2], k[3], k[0], k[0], k[0], k[0],
                                                     k[3], k[3], k[3], k[3], k[3], k[2], k[1], k[0]};
        EXPECT_EQ(test::DecodeOrFail(MakeDds({.data = ColourBlock(c.c0, c.c1, rows)})).pixels, expected);
    }
}

TEST(Dds, Dxt3ExplicitAlphaWithAlwaysFourColours) {
    const ByteVector alpha = {0x10, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Image image = test::DecodeOrFail(
        MakeDds({.fourCC = test::kDxt3, .data = Cat({alpha, ColourBlock(0x001F, 0xF800, {0xE4, 0, 0, 0})})}));
    const std::vector<std::uint32_t> row0(image.pixels.begin(), image.pixels.begin() + 4);
    EXPECT_EQ(row0, (std::vector<std::uint32_t>{0x000000FF, 0x11FF0000, 0x885500AA, 0xFFAA0055}));
    EXPECT_EQ(image.At(3, 3), kBlue);
}

TEST(Dds, Dxt5AlphaModes) {
    // Codes 1,2,7,3,4,6,5 for texels 0 to 6, 0 after; texels 2 and 5 straddle index bytes.
    const ByteVector codes = {0xD1, 0x47, 0x17, 0, 0, 0};
    struct Case {
        const char* name;
        std::uint8_t a0, a1;
        std::array<std::uint32_t, 8> alphas;  // texels 0 to 7
    };
    const Case cases[] = {
        {"a0 > a1: six values between", 200, 100, {100, 186, 114, 171, 157, 129, 143, 200}},
        {"a0 <= a1: four between, then 0 and 255", 100, 200, {200, 120, 255, 140, 160, 0, 180, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image = test::DecodeOrFail(
            MakeDds({.fourCC = test::kDxt5, .data = Cat({{c.a0, c.a1}, codes, ColourBlock(0, 0, {0, 0, 0, 0})})}));
        for (int t = 0; t < 8; ++t) EXPECT_EQ(image.pixels[t], c.alphas[t] << 24) << "texel " << t;
    }
}

TEST(Dds, OddSizesClipTheBlocksAndMipsHalveDownToOne) {
    const ByteVector chain = Cat({ColourBlock(0xF800, 0, {}), ColourBlock(0x07E0, 0, {}), ColourBlock(0x001F, 0, {}),
                                  ColourBlock(0xFFFF, 0, {}), ColourBlock(0x8410, 0, {}), ColourBlock(0x0001, 0, {})});
    for (std::uint32_t mipCount : {3u, 10u}) {  // more levels than a 6 x 6 chain has are not read
        SCOPED_TRACE(mipCount);
        Image image = test::DecodeOrFail(MakeDds({.width = 6, .height = 6, .mipCount = mipCount, .data = chain}));
        ASSERT_EQ(image.LevelCount(), 3u);
        EXPECT_EQ(image.At(3, 3), kRed);
        EXPECT_EQ(image.At(5, 0), kGreen);
        EXPECT_EQ(image.At(0, 5), kBlue);
        EXPECT_EQ(image.At(5, 5), 0xFFFFFFFF);
        const ImageLevel& half = image.Level(1);
        EXPECT_EQ(half.width, 3);
        EXPECT_EQ(half.height, 3);
        EXPECT_EQ(half.pixels, std::vector<std::uint32_t>(9, 0xFF848284));
        EXPECT_EQ(image.Level(2).width, 1);
        EXPECT_EQ(image.Level(2).pixels, std::vector<std::uint32_t>{0xFF000008});
    }
    Image single = test::DecodeOrFail(MakeDds({.width = 1, .height = 1, .mipCount = 1, .data = ColourBlock(0x001F, 0, {})}));
    EXPECT_EQ(single.pixels, std::vector<std::uint32_t>{kBlue});
    EXPECT_TRUE(single.mips.empty());
}

TEST(Dds, UncompressedFormatsByTheirMasks) {
    struct Case {
        const char* name;
        std::uint32_t flags, bits;
        std::array<std::uint32_t, 4> masks;
        ByteVector data;
        std::vector<std::uint32_t> expected;
    };
    const std::uint32_t rgba = kDdsRgb | kDdsAlphaPixels;
    const Case cases[] = {
        {"A8R8G8B8", rgba, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, Words(4, {0x80112233, 0x00FFFFFF}),
         {0x80112233, 0x00FFFFFF}},
        {"X8R8G8B8", kDdsRgb, 32, {0xFF0000, 0xFF00, 0xFF, 0}, Words(4, {0x80112233, 0x00445566}),
         {0xFF112233, 0xFF445566}},
        {"R8G8B8", kDdsRgb, 24, {0xFF0000, 0xFF00, 0xFF, 0}, Words(3, {0x112233, 0x445566}), {0xFF112233, 0xFF445566}},
        {"R5G6B5", kDdsRgb, 16, {0xF800, 0x7E0, 0x1F, 0}, Words(2, {0xF800, 0x8410}), {kRed, 0xFF848284}},
        {"X1R5G5B5", kDdsRgb, 16, {0x7C00, 0x3E0, 0x1F, 0}, Words(2, {0xFC00, 0x801F}), {kRed, kBlue}},
        {"A1R5G5B5", rgba, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, Words(2, {0x7C00, 0x801F}), {0x00FF0000, kBlue}},
        {"A4R4G4B4", rgba, 16, {0xF00, 0xF0, 0xF, 0xF000}, Words(2, {0x1234, 0xF00F}), {0x11223344, kBlue}},
        {"L8", kDdsLuminance, 8, {0xFF, 0, 0, 0}, {0x40, 0xFF}, {0xFF404040, 0xFFFFFFFF}},
        {"A8", kDdsAlpha, 8, {0, 0, 0, 0xFF}, {0x40, 0xFF}, {0x40000000, 0xFF000000}},
        {"A8L8", kDdsLuminance | kDdsAlphaPixels, 16, {0xFF, 0, 0, 0xFF00}, Words(2, {0x8040, 0x00FF}),
         {0x80404040, 0x00FFFFFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DdsSpec layout{.width = 2, .height = 1, .pfFlags = c.flags, .fourCC = 0, .bits = c.bits, .masks = c.masks,
                           .data = c.data};
        EXPECT_EQ(test::DecodeOrFail(MakeDds(layout)).pixels, c.expected);
    }
}

TEST(Dds, MalformedFilesAreRefusedWithTheirReason) {
    auto patched = [](DdsSpec layout, std::size_t at, std::uint32_t value) {
        ByteVector b = MakeDds(layout);
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    const DdsSpec block{.data = ByteVector(8, 0)};
    const DdsSpec rgb16{.width = 1, .height = 1, .pfFlags = kDdsRgb, .fourCC = 0, .bits = 16,
                        .masks = {0xF800, 0x7E0, 0x1F, 0}, .data = {0, 0}};
    DdsSpec large{.width = 8192, .height = 8192, .pfFlags = kDdsRgb, .fourCC = 0, .bits = 32,
                  .masks = {0xFF0000, 0xFF00, 0xFF, 0}};
    struct Case {
        const char* name;
        ByteVector bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"shorter than the header", ByteVector(100, 0), "shorter than its header"},
        {"bad magic", patched(block, 0, 0x21534444), "does not start with 'DDS '"},
        {"header size 123", patched(block, 4, 123), "header size 123 at offset 4"},
        {"pixel format size 31", patched(block, 76, 31), "pixel format size 31"},
        {"cube map", MakeDds({.caps2 = 0xFE00, .data = ByteVector(48, 0)}), "cube maps"},
        {"volume", MakeDds({.caps2 = 0x200000, .data = ByteVector(8, 0)}), "volume"},
        {"DX10 header", MakeDds({.fourCC = 0x30315844}), "DX10"},
        {"unknown FourCC", MakeDds({.fourCC = 0x32495441}), "FourCC 'ATI2'"},
        {"YUV", MakeDds({.pfFlags = 0x200, .bits = 16}), "YUV"},
        {"no format", MakeDds({.pfFlags = 0}), "no supported format"},
        {"12 bits", patched(rgb16, 88, 12), "12 bits per pixel"},
        {"mask wider than the pixel", patched(rgb16, 92, 0xFF0000), "within 16 bits"},
        {"split mask", patched(rgb16, 96, 0x0F0F), "not a run of bits"},
        {"no width", patched(block, 16, 0), "no texels"},
        {"too wide", patched(block, 16, 16385), "larger than 16384"},
        {"mip chain past the end", MakeDds({.width = 6, .height = 6, .mipCount = 3, .data = ByteVector(40, 0)}),
         "3 levels of 48 bytes at offset 128 run past the end of the file (168 bytes)"},
        {"largest level without data", MakeDds(large), "run past the end"},
        {"two levels over the byte limit", [&] { large.mipCount = 2; return MakeDds(large); }(), "limit of 268435456"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = test::RefusalOf(ImageFormat::Dds, c.bytes);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(reason.rfind("DDS: ", 0), 0u) << reason;
    }
}

}  // namespace
}  // namespace ms
