#include <png.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include "image_fixtures.h"

namespace ms {
namespace {

using test::ByteVector;
using test::MakePng;
using test::PngSpec;

int ChannelCount(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE: return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        default: return 4;
    }
}

// Sample values that vary across pixels and channels; 16-bit ones are multiples of 257 so that
// they stand for one 8-bit value exactly.
std::uint16_t Sample(std::uint32_t x, std::uint32_t y, int c, int depth) {
    const std::uint32_t levels = depth >= 8 ? 256 : 1u << depth;
    const std::uint32_t v = (x * 7 + y * 13 + c * 5 + 3) % levels;
    return static_cast<std::uint16_t>(depth == 16 ? v * 257 : v);
}

std::uint32_t To8(std::uint32_t v, int depth) { return depth == 16 ? v / 257 : v * 255 / ((1u << depth) - 1); }

std::uint32_t PaletteColour(std::uint32_t i) { return (i * 37 % 256) << 16 | (i * 91 % 256) << 8 | (i * 53 % 256); }

struct PngCase {
    int colourType;
    int depth;
    bool transparency = false;  // a tRNS chunk: the colour of pixel (1, 0), or alpha for half the palette
    bool interlaced = false;
};

PngSpec SpecFor(const PngCase& c) {
    PngSpec layout{.width = c.interlaced ? 9u : 5u, .height = c.interlaced ? 7u : 3u, .colourType = c.colourType,
                 .depth = c.depth, .interlaced = c.interlaced};
    const int channels = ChannelCount(c.colourType);
    for (std::uint32_t y = 0; y < layout.height; ++y)
        for (std::uint32_t x = 0; x < layout.width; ++x)
            for (int ch = 0; ch < channels; ++ch) layout.samples.push_back(Sample(x, y, ch, c.depth));
    if (c.colourType == PNG_COLOR_TYPE_PALETTE) {
        for (std::uint32_t i = 0; i < (1u << c.depth); ++i) layout.palette.push_back(PaletteColour(i));
        if (c.transparency)
            for (std::uint32_t i = 0; i < layout.palette.size() / 2; ++i)
                layout.paletteAlpha.push_back(static_cast<std::uint8_t>(i * 23));
    } else if (c.transparency) {
        layout.transparent = {Sample(1, 0, 0, c.depth), Sample(1, 0, 1, c.depth), Sample(1, 0, 2, c.depth)};
    }
    return layout;
}

std::uint32_t Expected(const PngSpec& layout, std::uint32_t x, std::uint32_t y) {
    const int channels = ChannelCount(layout.colourType);
    const std::uint16_t* s = layout.samples.data() + (y * layout.width + x) * channels;
    const int d = layout.depth;
    switch (layout.colourType) {
        case PNG_COLOR_TYPE_PALETTE: {
            const std::uint32_t alpha = s[0] < layout.paletteAlpha.size() ? layout.paletteAlpha[s[0]] : 255;
            return alpha << 24 | PaletteColour(s[0]);
        }
        case PNG_COLOR_TYPE_GRAY: {
            const bool clear = layout.transparent && s[0] == (*layout.transparent)[0];
            return (clear ? 0u : 255u) << 24 | To8(s[0], d) * 0x010101;
        }
        case PNG_COLOR_TYPE_GRAY_ALPHA: return To8(s[1], d) << 24 | To8(s[0], d) * 0x010101;
        case PNG_COLOR_TYPE_RGB: {
            const bool clear = layout.transparent && s[0] == (*layout.transparent)[0] && s[1] == (*layout.transparent)[1] &&
                               s[2] == (*layout.transparent)[2];
            return (clear ? 0u : 255u) << 24 | To8(s[0], d) << 16 | To8(s[1], d) << 8 | To8(s[2], d);
        }
        default: return To8(s[3], d) << 24 | To8(s[0], d) << 16 | To8(s[1], d) << 8 | To8(s[2], d);
    }
}

TEST(Png, EveryColourTypeDepthAndTransparency) {
    const PngCase cases[] = {
        {PNG_COLOR_TYPE_GRAY, 1},       {PNG_COLOR_TYPE_GRAY, 2},         {PNG_COLOR_TYPE_GRAY, 4},
        {PNG_COLOR_TYPE_GRAY, 8},       {PNG_COLOR_TYPE_GRAY, 16},        {PNG_COLOR_TYPE_GRAY, 4, true},
        {PNG_COLOR_TYPE_GRAY, 16, true}, {PNG_COLOR_TYPE_RGB, 8},         {PNG_COLOR_TYPE_RGB, 16},
        {PNG_COLOR_TYPE_RGB, 8, true},  {PNG_COLOR_TYPE_RGB, 16, true},   {PNG_COLOR_TYPE_PALETTE, 1},
        {PNG_COLOR_TYPE_PALETTE, 2},    {PNG_COLOR_TYPE_PALETTE, 4},      {PNG_COLOR_TYPE_PALETTE, 8},
        {PNG_COLOR_TYPE_PALETTE, 8, true}, {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16},
        {PNG_COLOR_TYPE_RGB_ALPHA, 8},  {PNG_COLOR_TYPE_RGB_ALPHA, 16},   {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, true},
        {PNG_COLOR_TYPE_PALETTE, 2, true, true},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "colour type " << c.colourType << ", " << c.depth << " bits"
                                        << (c.transparency ? ", tRNS" : "") << (c.interlaced ? ", interlaced" : ""));
        const PngSpec layout = SpecFor(c);
        Image image = test::DecodeOrFail(MakePng(layout));
        ASSERT_EQ(image.width, static_cast<std::int32_t>(layout.width));
        ASSERT_EQ(image.height, static_cast<std::int32_t>(layout.height));
        for (std::uint32_t y = 0; y < layout.height; ++y)
            for (std::uint32_t x = 0; x < layout.width; ++x)
                ASSERT_EQ(image.At(x, y), Expected(layout, x, y)) << "texel " << x << ", " << y;
    }
}

// Replaces the data of the chunk at `at` (its length field) and writes its CRC anew.
void Rewrite(ByteVector& png, std::size_t at, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    const std::uint32_t length = png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    std::copy(bytes.begin(), bytes.end(), png.begin() + at + 8 + offset);
    const std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, png.data() + at + 4, 4 + length));
    for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

TEST(Png, BadChunksAndSizesAreRefusedWithTheirReason) {
    const ByteVector good = MakePng({.width = 4, .height = 4, .colourType = PNG_COLOR_TYPE_GRAY, .depth = 8,
                                     .samples = std::vector<std::uint16_t>(16, 7)});
    constexpr std::size_t kIhdr = 8, kIdat = 8 + 25;  // IHDR data is 13 bytes
    ASSERT_EQ(std::string(good.begin() + kIdat + 4, good.begin() + kIdat + 8), "IDAT");
    struct Case {
        const char* name;
        ByteVector bytes;
        const char* reason;
    };
    auto edit = [&](std::size_t at, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
        ByteVector b = good;
        Rewrite(b, at, offset, bytes);
        return b;
    };
    ByteVector badCrc = good;
    badCrc[kIhdr + 8] ^= 1;
    const Case cases[] = {
        {"checksum", badCrc, "CRC error"},
        {"compressed data", edit(kIdat, 0, {0x78, 0x9C, 0xFF, 0xFF}), "IDAT"},
        {"colour type 5", edit(kIhdr, 9, {5}), "IHDR"},
        {"too wide", edit(kIhdr, 0, {0, 0, 0x40, 0x01}), "larger than 16384"},
        {"over the byte limit", edit(kIhdr, 0, {0, 0, 0x20, 0, 0, 0, 0x20, 0x01}), "limit of 268435456"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = test::RefusalOf(ImageFormat::Png, c.bytes);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(reason.rfind("PNG: ", 0), 0u) << reason;
    }
}

}  // namespace
}  // namespace ms
