// Format detection, the size bounds, and the parts the decoders share.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/binary_io.h"
#include "platform/image/image_internal.h"

namespace ms {
namespace {

// Files above this are refused before they are read: no image within the bounds needs more.
constexpr std::uint64_t kMaxFileBytes = 1ull << 30;
// The first bytes of a file, read to learn from the header how much of the file the image needs.
constexpr std::uint64_t kHeadBytes = 1ull << 20;
const std::string kNoSignature = "no BMP, DDS, PNG or JPEG signature; as ";

std::uint32_t BigEndian32(image::Bytes b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}
std::uint32_t BigEndian16(image::Bytes b, std::size_t at) { return std::uint32_t{b[at]} << 8 | b[at + 1]; }

// For compressed pixels, which have no fixed size: twice the decoded size and some room for the
// other chunks and segments of the file.
std::uint64_t CompressedBound(std::uint64_t width, std::uint64_t height) { return (1ull << 20) + 8 * width * height; }

// The size of a JPEG image from its first frame header, when it lies in `b`.
bool JpegSize(image::Bytes b, std::uint32_t& width, std::uint32_t& height) {
    for (std::size_t at = 2; at + 9 <= b.size();) {
        if (b[at] != 0xFF) return false;
        const std::uint8_t marker = b[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            height = BigEndian16(b, at + 5);
            width = BigEndian16(b, at + 7);
            return true;
        }
        at += 2 + BigEndian16(b, at + 2);
    }
    return false;
}

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
    if (!s && format == ImageFormat::Tga) return Status::Error(kNoSignature + s.message());
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
    FileReader in;
    if (Status s = in.Open(path); !s) return s;
    // The header first: it bounds what the decoder can read, and an image beyond the decoder's
    // limits is refused before the rest of the file is read.
    std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(in.size(), kHeadBytes));
    if (!in.ReadBytes(bytes.data(), bytes.size())) return Status::Error("cannot read '" + path + "': " + in.readError());
    const ImageFormat format = DetectImageFormat(bytes);
    std::uint64_t needed = 0;
    if (Status s = image::BytesNeeded(format, bytes, needed); !s)
        return Status::Error("'" + path + "': " + (format == ImageFormat::Tga ? kNoSignature : "") + s.message());
    const std::uint64_t size = std::min(in.size(), std::max<std::uint64_t>(needed, bytes.size()));
    if (size > kMaxFileBytes)
        return Status::Error("'" + path + "': " + std::to_string(size) + " bytes is too large for an image file");
    const std::size_t head = bytes.size();
    bytes.resize(size);
    if (!in.ReadBytes(bytes.data() + head, bytes.size() - head)) return Status::Error("cannot read '" + path + "': " + in.readError());
    Status s = DecodeImage(bytes, out);
    if (!s) return Status::Error("'" + path + "': " + s.message());
    return s;
}

namespace image {

Status BytesNeeded(ImageFormat format, Bytes head, std::uint64_t& needed) {
    needed = head.size();  // a header that cannot be read: the decoder reports it from the head
    switch (format) {
        case ImageFormat::Bmp: {
            if (head.size() < 54) return Status::Ok();
            const std::uint64_t width = static_cast<std::uint32_t>(std::abs(I32(head, 18)));
            const std::uint64_t height = static_cast<std::uint32_t>(std::abs(I32(head, 22)));
            if (Status s = CheckSize("BMP", width, height, width * height); !s) return s;
            const std::uint64_t compression = U32(head, 30);
            const std::uint64_t headers = std::max<std::uint64_t>(U32(head, 10), 14ull + U32(head, 14) + 1024 + 16);
            const std::uint64_t rowBytes = (width * U16(head, 28) + 31) / 32 * 4;
            needed = headers + (compression == 1 || compression == 2 ? CompressedBound(width, height) : rowBytes * height);
            return Status::Ok();
        }
        case ImageFormat::Tga: {
            if (head.size() < 18) return Status::Ok();
            const std::uint64_t width = U16(head, 12), height = U16(head, 14);
            if (Status s = CheckSize("TGA", width, height, width * height); !s) return s;
            const std::uint64_t pixelBytes = (head[16] + 7u) / 8;
            const std::uint64_t map = head[1] == 1 ? U16(head, 5) * ((head[7] + 7u) / 8) : 0;
            // Run-length data at its longest: a packet for every pixel.
            needed = 18 + head[0] + map + width * height * (head[2] & 8 ? 1 + pixelBytes : pixelBytes);
            return Status::Ok();
        }
        case ImageFormat::Dds: {
            if (head.size() < 128) return Status::Ok();
            const std::uint64_t height = U32(head, 12), width = U32(head, 16);
            if (Status s = CheckSize("DDS", width, height, width * height); !s) return s;
            // Every level in 4 x 4 blocks of at most 4 bytes a texel; the levels below the first
            // need at most as much as the first.
            needed = 128 + 2 * 4 * ((width + 3) & ~3ull) * ((height + 3) & ~3ull);
            return Status::Ok();
        }
        case ImageFormat::Png: {
            if (head.size() < 24) return Status::Ok();
            const std::uint64_t width = BigEndian32(head, 16), height = BigEndian32(head, 20);
            if (Status s = CheckSize("PNG", width, height, width * height); !s) return s;
            needed = CompressedBound(width, height);
            return Status::Ok();
        }
        case ImageFormat::Jpeg: {
            std::uint32_t width = 0, height = 0;
            if (!JpegSize(head, width, height)) {
                needed = kMaxFileBytes;  // the frame header lies further on: the decoder finds it
                return Status::Ok();
            }
            if (Status s = CheckSize("JPEG", width, height, std::uint64_t{width} * height); !s) return s;
            needed = CompressedBound(width, height);
            return Status::Ok();
        }
    }
    return Status::Ok();
}

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
