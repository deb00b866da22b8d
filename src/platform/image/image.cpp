// Format detection, the size bounds, and the parts the decoders share.
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/binary_io.h"
#include "platform/image/image_internal.h"

namespace ms {
namespace {

// Files above this are refused before they are read: no image within the bounds needs more.
constexpr std::uint64_t kMaxFileBytes = 1ull << 30;

bool StartsWith(std::span<const std::uint8_t> bytes, const void* magic, std::size_t size) {
    return bytes.size() >= size && std::memcmp(bytes.data(), magic, size) == 0;
}

}  // namespace

ImageFormat DetectImageFormat(std::span<const std::uint8_t> bytes) {
    static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const std::uint8_t kJpeg[3] = {0xFF, 0xD8, 0xFF};
    if (StartsWith(bytes, "BM", 2)) return ImageFormat::Bmp;
    if (StartsWith(bytes, "DDS ", 4)) return ImageFormat::Dds;
    if (StartsWith(bytes, kPng, sizeof kPng)) return ImageFormat::Png;
    if (StartsWith(bytes, kJpeg, sizeof kJpeg)) return ImageFormat::Jpeg;
    return ImageFormat::Tga;
}

Status DecodeImage(std::span<const std::uint8_t> bytes, Image& out) {
    const ImageFormat format = DetectImageFormat(bytes);
    Status s = DecodeImageAs(format, bytes, out);
    // TGA is only the guess for bytes without a signature; say so, as they may be no image at all.
    if (!s && format == ImageFormat::Tga) return Status::Error("no BMP, DDS, PNG or JPEG signature; as " + s.message());
    return s;
}

Status DecodeImageAs(ImageFormat format, std::span<const std::uint8_t> bytes, Image& out) {
    Image image;
    Status status;
    switch (format) {
        case ImageFormat::Bmp: status = image::DecodeBmp(bytes, image); break;
        case ImageFormat::Tga: status = image::DecodeTga(bytes, image); break;
        case ImageFormat::Dds: status = image::DecodeDds(bytes, image); break;
        case ImageFormat::Png: status = image::DecodePng(bytes, image); break;
        case ImageFormat::Jpeg: status = image::DecodeJpeg(bytes, image); break;
    }
    if (status) out = std::move(image);
    return status;
}

Status DecodeImageFile(const std::string& path, Image& out) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return Status::Error("'" + path + "' is a directory");
    FileReader in;
    if (Status s = in.Open(path); !s) return s;
    if (in.size() > kMaxFileBytes)
        return Status::Error("'" + path + "': " + std::to_string(in.size()) + " bytes is too large for an image file");
    std::vector<std::uint8_t> bytes(in.size());
    if (!in.ReadBytes(bytes.data(), bytes.size())) return Status::Error("cannot read '" + path + "'");
    Status s = DecodeImage(bytes, out);
    if (!s) return Status::Error("'" + path + "': " + s.message());
    return s;
}

namespace image {

Status CheckSize(const char* format, std::int64_t width, std::int64_t height, std::uint64_t totalTexels) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width <= 0 || height <= 0) return Fail(format, "image of " + size + " texels has no texels");
    if (width > kMaxImageSide || height > kMaxImageSide)
        return Fail(format, "image of " + size + " texels is larger than " + std::to_string(kMaxImageSide) +
                                " texels on a side");
    if (totalTexels > kMaxImageBytes / 4)
        return Fail(format, "image of " + size + " texels needs " + std::to_string(totalTexels * 4) +
                                " bytes decoded, more than the limit of " + std::to_string(kMaxImageBytes));
    return Status::Ok();
}

void Allocate(ImageLevel& level, std::int32_t width, std::int32_t height) {
    level.width = width;
    level.height = height;
    level.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

std::uint32_t Widen(std::uint32_t value, int bits) {
    if (bits <= 0) return 0;
    std::uint32_t wide = 0;
    int filled = 0;
    while (filled < 8) {
        wide = wide << bits | value;
        filled += bits;
    }
    return (wide >> (filled - 8)) & 0xFF;
}

bool ChannelMask::Set(std::uint32_t mask) {
    mask_ = mask;
    shift_ = mask ? std::countr_zero(mask) : 0;
    bits_ = std::popcount(mask);
    if (bits_ <= 8)
        for (std::uint32_t v = 0; v < (1u << bits_); ++v)
            widened_[v] = static_cast<std::uint8_t>(bits_ ? Widen(v, bits_) : 0);
    return mask == 0 || (mask >> shift_) == (bits_ == 32 ? ~0u : (1u << bits_) - 1);
}

std::uint32_t ChannelMask::Read(std::uint32_t pixel) const {
    if (bits_ == 0) return 0;
    const std::uint32_t value = (pixel & mask_) >> shift_;
    return bits_ > 8 ? value >> (bits_ - 8) : widened_[value];
}

}  // namespace image
}  // namespace ms
