#pragma once
// Small image files made in memory for the decoder tests: BMP, TGA and DDS from their fields and
// raw bytes, PNG through libpng and JPEG through libjpeg.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/image/image.h"

namespace ms::test {

using ByteVector = std::vector<std::uint8_t>;

struct BmpSpec {
    std::int32_t width = 2;
    std::int32_t height = 2;  // negative: rows stored top-down
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB, written as B,G,R,0 after the info header
    std::vector<std::uint32_t> masks;    // at file offset 54: after a 40-byte header, inside a longer one
    std::vector<ByteVector> rows;        // in stored order, each padded here to 4 bytes
};
ByteVector MakeBmp(const BmpSpec& layout);

struct TgaSpec {
    std::uint8_t imageType = 2;
    std::uint8_t mapType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapBits = 0;
    std::uint16_t width = 2;
    std::uint16_t height = 2;
    std::uint8_t bits = 24;
    std::uint8_t descriptor = 0;
    ByteVector id;
    ByteVector map;
    ByteVector data;  // pixels, raw or run-length packets
};
ByteVector MakeTga(const TgaSpec& layout);

constexpr std::uint32_t kDdsAlphaPixels = 0x1, kDdsAlpha = 0x2, kDdsFourCC = 0x4, kDdsRgb = 0x40,
                        kDdsLuminance = 0x20000;
constexpr std::uint32_t kDxt1 = 0x31545844, kDxt3 = 0x33545844, kDxt5 = 0x35545844;

struct DdsSpec {
    std::uint32_t width = 4;
    std::uint32_t height = 4;
    std::uint32_t mipCount = 0;
    std::uint32_t pfFlags = kDdsFourCC;
    std::uint32_t fourCC = kDxt1;
    std::uint32_t bits = 0;
    std::array<std::uint32_t, 4> masks = {};  // R, G, B, A
    std::uint32_t caps2 = 0;
    ByteVector data;
};
ByteVector MakeDds(const DdsSpec& layout);

// PNG_COLOR_TYPE_* and depth; `samples` holds each pixel's channels in file order, row by row.
struct PngSpec {
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    int colourType = 2;
    int depth = 8;
    std::vector<std::uint16_t> samples;
    std::vector<std::uint32_t> palette;                     // 0xRRGGBB
    std::vector<std::uint8_t> paletteAlpha;                 // tRNS of a palette image
    std::optional<std::array<std::uint16_t, 3>> transparent;  // tRNS of grey (first value) or RGB
    bool interlaced = false;
};
ByteVector MakePng(const PngSpec& layout);

// `samples` has `components` bytes per pixel in the colour space `inColourSpace` (a J_COLOR_SPACE).
ByteVector MakeJpeg(std::uint32_t width, std::uint32_t height, int components, int inColourSpace,
                    const ByteVector& samples, bool progressive = false);

// Decodes `bytes` by their content, failing the test with the decoder's message if refused.
Image DecodeOrFail(const ByteVector& bytes);

// The decoder's message for `bytes` as `format`, or "accepted".
std::string RefusalOf(ImageFormat format, const ByteVector& bytes);

}  // namespace ms::test
