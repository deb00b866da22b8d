#include <gtest/gtest.h>

#include "image_fixtures.h"

namespace ms {
namespace {

using test::BmpSpec;
using test::ByteVector;
using test::MakeBmp;

constexpr std::uint32_t kP0 = 0x102030, kP1 = 0xA0B0C0;
constexpr std::uint32_t kA = 0xFF000000 | kP0, kB = 0xFF000000 | kP1;

ByteVector Words16(std::initializer_list<std::uint16_t> values) {
    ByteVector out;
    for (std::uint16_t v : values)
        out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
    return out;
}

std::vector<std::uint32_t> Ramp(int count, std::uint32_t step) {
    std::vector<std::uint32_t> palette;
    for (int i = 0; i < count; ++i) palette.push_back(step * i);
    return palette;
}

TEST(Bmp, EveryDepthAndLayoutGivesItsTexels) {
    struct Case {
        const char* name;
        BmpSpec layout;
        std::vector<std::uint32_t> expected;  // 2 x 2, top row first
    };
    const std::vector<std::uint32_t> pal16 = Ramp(16, 0x010203);
    const Case cases[] = {
        {"1 bit", {.bits = 1, .palette = {kP0, kP1}, .rows = {{0x40}, {0x80}}}, {kB, kA, kA, kB}},
        {"4 bits, 16 entries when biClrUsed is 0",
         {.bits = 4, .palette = pal16, .rows = {{0x1F}, {0xF0}}},
         {0xFF0F1E2D, 0xFF000000, 0xFF010203, 0xFF0F1E2D}},
        {"8 bits, 256 entries when biClrUsed is 0",
         {.bits = 8, .palette = Ramp(256, 0x010101), .rows = {{0x80, 0x01}, {0xFF, 0x00}}},
         {0xFFFFFFFF, 0xFF000000, 0xFF808080, 0xFF010101}},
        {"8 bits, biClrUsed 16; indices past the palette are opaque black",
         {.bits = 8, .colorsUsed = 16, .palette = pal16, .rows = {{15, 1}, {2, 200}}},
         {0xFF020406, 0xFF000000, 0xFF0F1E2D, 0xFF010203}},
        {"16 bits BI_RGB is X1R5G5B5", {.bits = 16, .rows = {Words16({0x7C00, 0x03E0}), Words16({0x001F, 0xC210})}},
         {0xFF0000FF, 0xFF848484, 0xFFFF0000, 0xFF00FF00}},
        {"16 bits BI_BITFIELDS 565",
         {.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F},
          .rows = {Words16({0xF800, 0x07E0}), Words16({0x001F, 0x8410})}},
         {0xFF0000FF, 0xFF848284, 0xFFFF0000, 0xFF00FF00}},
        {"16 bits BI_ALPHABITFIELDS 4444",
         {.bits = 16, .compression = 6, .masks = {0x0F00, 0x00F0, 0x000F, 0xF000},
          .rows = {Words16({0x1234, 0xF00F}), Words16({0x0FFF, 0x8421})}},
         {0x00FFFFFF, 0x88442211, 0x11223344, 0xFF0000FF}},
        {"24 bits", {.rows = {{0x30, 0x20, 0x10, 0xC0, 0xB0, 0xA0}, {0xC0, 0xB0, 0xA0, 0x30, 0x20, 0x10}}},
         {kB, kA, kA, kB}},
        {"24 bits top-down",
         {.height = -2, .rows = {{0xC0, 0xB0, 0xA0, 0x30, 0x20, 0x10}, {0x30, 0x20, 0x10, 0xC0, 0xB0, 0xA0}}},
         {kB, kA, kA, kB}},
        {"32 bits BI_RGB ignores the fourth byte",
         {.bits = 32,
          .rows = {{0x30, 0x20, 0x10, 0x00, 0xC0, 0xB0, 0xA0, 0x7F}, {0xC0, 0xB0, 0xA0, 0x00, 0x30, 0x20, 0x10, 0xFF}}},
         {kB, kA, kA, kB}},
        {"32 bits BI_BITFIELDS in R,G,B,x order",
         {.bits = 32, .compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000},
          .rows = {{0x10, 0x20, 0x30, 0, 0xA0, 0xB0, 0xC0, 0}, {0xA0, 0xB0, 0xC0, 0, 0x10, 0x20, 0x30, 0}}},
         {kB, kA, kA, kB}},
        {"32 bits BI_BITFIELDS with the alpha mask of a V4 header",
         {.bits = 32, .compression = 3, .infoSize = 108, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
          .rows = {{0x30, 0x20, 0x10, 0x80, 0xC0, 0xB0, 0xA0, 0x00}, {0xC0, 0xB0, 0xA0, 0xFF, 0x30, 0x20, 0x10, 0x40}}},
         {0xFFA0B0C0, 0x40102030, 0x80102030, 0x00A0B0C0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image = test::DecodeOrFail(MakeBmp(c.layout));
        EXPECT_EQ(image.width, 2);
        EXPECT_EQ(image.height, 2);
        EXPECT_EQ(image.pixels, c.expected);
        EXPECT_TRUE(image.mips.empty());
    }
}

TEST(Bmp, RowsArePaddedToFourBytes) {
    const std::pair<std::int32_t, std::size_t> widthAndStride[] = {{1, 4}, {2, 8}, {3, 12}, {5, 16}};
    for (auto [width, stride] : widthAndStride) {
        SCOPED_TRACE(width);
        ByteVector bottom, top;
        for (std::int32_t x = 0; x < width; ++x) {
            bottom.insert(bottom.end(), {0x33, 0x22, 0x11});
            top.insert(top.end(), {0x66, 0x55, static_cast<std::uint8_t>(x)});
        }
        const ByteVector file = MakeBmp({.width = width, .rows = {bottom, top}});
        ASSERT_EQ(file.size(), 54 + 2 * stride);
        Image image = test::DecodeOrFail(file);
        ASSERT_EQ(image.pixels.size(), 2u * width);
        for (std::int32_t x = 0; x < width; ++x) {
            EXPECT_EQ(image.At(x, 0), 0xFF005566u | static_cast<std::uint32_t>(x) << 16);
            EXPECT_EQ(image.At(x, 1), 0xFF112233u);
        }
    }
}

// A 4 x 3 bitmap of palette indices as BI_RLE8 or BI_RLE4 data (given as one "row").
ByteVector Rle(std::uint32_t compression, std::uint16_t bits, std::int32_t height, ByteVector data) {
    return MakeBmp({.width = 4, .height = height, .bits = bits, .compression = compression, .colorsUsed = 4,
                    .palette = {0x000010, kP0, kP1, 0x303030}, .rows = {data}});
}

TEST(Bmp, RunLengthRunsLiteralsMovesAndRowEnds) {
    constexpr std::uint32_t kK = 0xFF000000, k3 = 0xFF303030;
    // Bottom row: runs of 1 1 and 2 2. Middle: literal 3 1 2 (padded) and a run of 3. Top: a move
    // past two texels, then a run of 1 1, then the end of the bitmap.
    const ByteVector rle8 = {2, 1, 2, 2, 0, 0, 0, 3, 3, 1, 2, 0, 1, 3, 0, 0, 0, 2, 2, 0, 2, 1, 0, 1};
    EXPECT_EQ(test::DecodeOrFail(Rle(1, 8, 3, rle8)).pixels,
              (std::vector<std::uint32_t>{kK, kK, kA, kA, k3, kA, kB, k3, kA, kA, kB, kB}));
    // Bottom row: a run of four alternating 1 and 2. Top row: literal 3 1 2, a run of 3.
    const ByteVector rle4 = {4, 0x12, 0, 0, 0, 3, 0x31, 0x20, 1, 0x30, 0, 1};
    EXPECT_EQ(test::DecodeOrFail(Rle(2, 4, 2, rle4)).pixels,
              (std::vector<std::uint32_t>{k3, kA, kB, k3, kA, kB, kA, kB}));
    // Texels put past the row end or above the top are dropped, not wrapped: a run of 6; a run of
    // 2 then a literal of 3; rows and a move beyond the image.
    const ByteVector outside = {6, 1, 0, 0, 2, 2, 0, 3, 2, 2, 3, 0, 0, 0, 0, 0, 0, 2, 9, 9, 5, 3, 0, 1};
    EXPECT_EQ(test::DecodeOrFail(Rle(1, 8, 3, outside)).pixels,
              (std::vector<std::uint32_t>{kK, kK, kK, kK, kB, kB, kB, kB, kA, kA, kA, kA}));
}

TEST(Bmp, MalformedFilesAreRefusedWithTheirReason) {
    const ByteVector good = MakeBmp({.rows = {ByteVector(6, 0), ByteVector(6, 0)}});
    auto patched = [&](std::size_t at, std::uint32_t value) {
        ByteVector b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    struct Case {
        const char* name;
        ByteVector bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"run-length top-down", Rle(1, 8, -3, {0, 1}), "top-down"},
        {"run-length of the other depth", Rle(2, 8, 3, {0, 1}), "run-length compression 2 with 8 bits"},
        {"run-length without its end", Rle(1, 8, 3, {4, 1}), "data ends at offset 74 before the end-of-bitmap mark"},
        {"run-length literal cut short", Rle(1, 8, 3, {0, 3, 1, 1}), "literal at offset 70 is truncated"},
        {"embedded PNG", patched(30, 5), "compression 5"},
        {"core header", patched(14, 12), "OS/2"},
        {"short info header", patched(14, 39), "below 40"},
        {"2 bits", MakeBmp({.bits = 2, .palette = {0, 0, 0, 0}, .rows = {{0}, {0}}}), "2 bits per pixel"},
        {"masks with 24 bits", MakeBmp({.compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000}, .rows = {{}, {}}}),
         "bit-field masks with 24"},
        {"split mask", MakeBmp({.bits = 16, .compression = 3, .masks = {0xF00F, 0x0F00, 0x00F0}, .rows = {{}, {}}}),
         "not contiguous"},
        {"palette past the end", MakeBmp({.bits = 8, .colorsUsed = 200, .palette = {0, 0}, .rows = {{0}, {0}}}),
         "palette of 200 entries at offset 54 is truncated"},
        {"no width", patched(18, 0), "no texels"},
        {"too wide", patched(18, 16385), "larger than 16384"},
        {"most negative height", patched(22, 0x80000000), "larger than 16384"},
        {"over the byte limit", MakeBmp({.width = 8192, .height = 8193, .bits = 32}), "limit of 268435456"},
        {"pixels inside the headers", patched(10, 40), "inside the headers"},
        {"pixels past the end", patched(10, 60), "run past the end of the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = test::RefusalOf(ImageFormat::Bmp, c.bytes);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(reason.rfind("BMP: ", 0), 0u) << reason;
    }
}

}  // namespace
}  // namespace ms
