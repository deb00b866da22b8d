#pragma once
// Texture images: BMP, TGA and DDS decoded here, PNG through libpng and JPEG through libjpeg, all
// into one form the device can sample directly; and PNG output for rendered frames.
//
// Every decoder works on bytes in memory, reads nothing outside them, and refuses a malformed or
// truncated file, or an image wider or higher than kMaxImageSide or larger than kMaxImageBytes
// once decoded, with a message that names the format and what is wrong (and where, when the
// place is known). A refused decode leaves the output image as it was.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"

namespace ms {

constexpr std::int32_t kMaxImageSide = 16384;
// Bound on the decoded size of all the levels together, 4 bytes per texel.
constexpr std::uint64_t kMaxImageBytes = 256ull << 20;

// width × height texels, each a D3DCOLOR 0xAARRGGBB (A8R8G8B8: bytes B, G, R, A in memory), row
// by row with the top row first and no padding. A source without alpha gives alpha 255.
struct ImageLevel {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(std::int32_t x, std::int32_t y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

// A decoded image: level 0 is the image itself. A DDS file with a mip chain also fills `mips`
// with its further levels, each decoded to A8R8G8B8 like level 0 and each half the size of the
// level before (rounded down, at least 1); every other format leaves `mips` empty.
struct Image : ImageLevel {
    std::vector<ImageLevel> mips;

    std::size_t LevelCount() const { return 1 + mips.size(); }
    const ImageLevel& Level(std::size_t i) const { return i == 0 ? *this : mips[i - 1]; }
};

enum class ImageFormat { Bmp, Tga, Dds, Png, Jpeg };

// The format given by the first bytes ('BM', 'DDS ', the PNG signature, FF D8 FF); TGA, which
// has no signature, for anything else.
ImageFormat DetectImageFormat(std::span<const std::uint8_t> bytes);

// Decodes `bytes` as the format DetectImageFormat names.
Status DecodeImage(std::span<const std::uint8_t> bytes, Image& out);

// Decodes `bytes` as `format`, whatever they start with.
Status DecodeImageAs(ImageFormat format, std::span<const std::uint8_t> bytes, Image& out);

// Reads the file at `path` and decodes it by its content, not its name. Errors name the path.
Status DecodeImageFile(const std::string& path, Image& out);

// A PNG file of level 0 of `image`: 8-bit RGB when every alpha is 255, 8-bit RGBA otherwise, so
// decoding it gives the same texels back. Refuses an image whose pixel count is not width ×
// height or that breaks the size bounds.
Status EncodePng(const ImageLevel& image, std::vector<std::uint8_t>& out);

// EncodePng written to `path` through a temporary file, so a failed write leaves an existing
// file as it was.
Status WritePng(const std::string& path, const ImageLevel& image);

}  // namespace ms
