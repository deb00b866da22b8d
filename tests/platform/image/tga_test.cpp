#include <gtest/gtest.h>

#include "image_fixtures.h"

namespace ms {
namespace {

using test::ByteVector;
using test::MakeTga;
using test::TgaSpec;

// Stored 24-bit pixels (B,G,R) of the texels 0xFF000000 | rgb.
ByteVector Bgr(std::initializer_list<std::uint32_t> colours) {
    ByteVector out;
    for (std::uint32_t c : colours)
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c >> 16)});
    return out;
}

ByteVector Cat(std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const ByteVector& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

ByteVector Words16(std::initializer_list<std::uint16_t> values) {
    ByteVector out;
    for (std::uint16_t v : values)
        out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
    return out;
}

constexpr std::uint32_t kX = 0x102030, kY = 0x405060, kZ = 0x708090, kW = 0xA0B0C0;
constexpr std::uint32_t Opaque(std::uint32_t rgb) { return 0xFF000000 | rgb; }

TEST(Tga, RawAndRunLengthPixelsGiveTheSameTexels) {
    // Stored bottom row first: X X Y | Z W W. The raw packet crosses from the first row into the second.
    const ByteVector raw = MakeTga({.width = 3, .height = 2, .data = Bgr({kX, kX, kY, kZ, kW, kW})});
    const ByteVector rle = MakeTga({.imageType = 10, .width = 3, .height = 2,
                                    .data = Cat({{0x81}, Bgr({kX}), {0x02}, Bgr({kY, kZ, kW}), {0x80}, Bgr({kW})})});
    const std::vector<std::uint32_t> expected = {Opaque(kZ), Opaque(kW), Opaque(kW), Opaque(kX), Opaque(kX), Opaque(kY)};
    EXPECT_EQ(test::DecodeOrFail(raw).pixels, expected);
    EXPECT_EQ(test::DecodeOrFail(rle).pixels, expected);
}

TEST(Tga, DescriptorBitsPlaceRowsAndColumns) {
    const std::uint32_t s0 = Opaque(kX), s1 = Opaque(kY), s2 = Opaque(kZ), s3 = Opaque(kW);
    const std::pair<std::uint8_t, std::vector<std::uint32_t>> cases[] = {
        {0x00, {s2, s3, s0, s1}},  // bottom-up, left to right
        {0x20, {s0, s1, s2, s3}},  // top-down
        {0x10, {s3, s2, s1, s0}},  // bottom-up, right to left
        {0x38, {s1, s0, s3, s2}},  // top-down, right to left; attribute bits do not matter at 24 bits
    };
    for (const auto& [descriptor, expected] : cases) {
        SCOPED_TRACE(int(descriptor));
        EXPECT_EQ(test::DecodeOrFail(MakeTga({.descriptor = descriptor, .data = Bgr({kX, kY, kZ, kW})})).pixels, expected);
    }
}

TEST(Tga, PixelDepthsAndColourMaps) {
    struct Case {
        const char* name;
        TgaSpec layout;
        std::vector<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"15 bits ignore the top bit", {.width = 2, .height = 1, .bits = 15, .data = Words16({0xFC00, 0x001F})},
         {0xFFFF0000, 0xFF0000FF}},
        {"16 bits with an attribute bit are A1R5G5B5",
         {.width = 2, .height = 1, .bits = 16, .descriptor = 1, .data = Words16({0x7C00, 0x801F})},
         {0x00FF0000, 0xFF0000FF}},
        {"16 bits without attribute bits are opaque",
         {.width = 2, .height = 1, .bits = 16, .data = Words16({0x7C00, 0x801F})},
         {0xFFFF0000, 0xFF0000FF}},
        {"32 bits",
         {.width = 2, .height = 1, .bits = 32, .descriptor = 8, .data = {0x30, 0x20, 0x10, 0x80, 0xC0, 0xB0, 0xA0, 0x00}},
         {0x80102030, 0x00A0B0C0}},
        {"grey", {.imageType = 3, .width = 2, .height = 1, .bits = 8, .data = {0x40, 0xFF}}, {0xFF404040, 0xFFFFFFFF}},
        {"grey and alpha", {.imageType = 3, .width = 2, .height = 1, .bits = 16, .data = {0x40, 0x80, 0xFF, 0x00}},
         {0x80404040, 0x00FFFFFF}},
        {"run-length grey", {.imageType = 11, .width = 2, .height = 1, .bits = 8, .data = {0x81, 0x7F}},
         {0xFF7F7F7F, 0xFF7F7F7F}},
        {"colour map from entry 5; indices outside it are opaque black",
         {.imageType = 1, .mapType = 1, .mapFirst = 5, .mapLength = 2, .mapBits = 24, .width = 4, .height = 1, .bits = 8,
          .map = Bgr({kX, kY}), .data = {5, 6, 4, 7}},
         {Opaque(kX), Opaque(kY), 0xFF000000, 0xFF000000}},
        {"run-length colour map, 16-bit indices and A1R5G5B5 entries",
         {.imageType = 9, .mapType = 1, .mapFirst = 0x105, .mapLength = 2, .mapBits = 16, .width = 2, .height = 1,
          .bits = 16, .descriptor = 1, .map = Words16({0x7C00, 0x801F}), .data = {0x00, 0x06, 0x01, 0x80, 0x05, 0x01}},
         {0xFF0000FF, 0x00FF0000}},
        {"image ID and a colour map of a true-colour image are skipped",
         {.mapType = 1, .mapLength = 2, .mapBits = 32, .width = 2, .height = 1, .id = {1, 2, 3}, .map = ByteVector(8, 0xEE),
          .data = Bgr({kX, kY})},
         {Opaque(kX), Opaque(kY)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::DecodeOrFail(MakeTga(c.layout)).pixels, c.expected);
    }
}

TEST(Tga, RunsOfAHundredAndTwentyEightPixels) {
    Image full = test::DecodeOrFail(MakeTga({.imageType = 10, .width = 16, .height = 8, .data = Cat({{0xFF}, Bgr({kX})})}));
    EXPECT_EQ(full.pixels, std::vector<std::uint32_t>(128, Opaque(kX)));
    Image longer = test::DecodeOrFail(
        MakeTga({.imageType = 10, .width = 129, .height = 1, .data = Cat({{0xFF}, Bgr({kX}), {0x00}, Bgr({kY})})}));
    ASSERT_EQ(longer.pixels.size(), 129u);
    EXPECT_EQ(longer.At(127, 0), Opaque(kX));
    EXPECT_EQ(longer.At(128, 0), Opaque(kY));
}

TEST(Tga, MalformedFilesAreRefusedWithTheirReason) {
    struct Case {
        const char* name;
        ByteVector bytes;
        const char* reason;
    };
    const ByteVector pixels = Bgr({kX, kY});
    const Case cases[] = {
        {"shorter than the header", ByteVector(17, 0), "17 bytes is truncated"},
        {"no image", MakeTga({.imageType = 0}), "holds no image"},
        {"unknown type", MakeTga({.imageType = 4}), "image type 4"},
        {"colour-map type 2", MakeTga({.mapType = 2}), "colour-map type 2"},
        {"colour-mapped without a map", MakeTga({.imageType = 1, .bits = 8}), "without a colour map"},
        {"colour map of 8-bit entries", MakeTga({.imageType = 1, .mapType = 1, .mapLength = 1, .mapBits = 8, .bits = 8}),
         "entries of 8 bits"},
        {"24-bit indices", MakeTga({.imageType = 1, .mapType = 1, .mapLength = 1, .mapBits = 24, .bits = 24}),
         "colour-mapped"},
        {"8-bit true colour", MakeTga({.bits = 8}), "true colour"},
        {"24-bit grey", MakeTga({.imageType = 3}), "greyscale"},
        {"no width", MakeTga({.width = 0}), "no texels"},
        {"too wide", MakeTga({.width = 16385, .height = 1}), "larger than 16384"},
        {"over the byte limit", MakeTga({.width = 8192, .height = 8193, .bits = 32}), "limit of 268435456"},
        {"image ID past the end", [] { ByteVector b = MakeTga({}); b[0] = 200; return b; }(), "image ID and colour map"},
        {"raw pixels past the end", MakeTga({.width = 2, .height = 1, .data = {1, 2, 3, 4, 5}}),
         "2 pixels need at least 6 bytes at offset 18, more than the file has (23 bytes)"},
        {"run past the end of the image",
         MakeTga({.imageType = 10, .width = 2, .height = 1, .data = Cat({{0x82}, Bgr({kX})})}),
         "runs past the end of the image"},
        {"packet cut short", MakeTga({.imageType = 10, .width = 2, .height = 1, .data = Cat({{0x01}, Bgr({kX})})}),
         "is truncated"},
        {"packets end early", MakeTga({.imageType = 10, .width = 2, .height = 1, .data = Cat({{0x80}, Bgr({kX})})}),
         "run-length data ends at offset 22 after 1 of 2 pixels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = test::RefusalOf(ImageFormat::Tga, c.bytes);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(reason.rfind("TGA: ", 0), 0u) << reason;
    }
}

}  // namespace
}  // namespace ms
