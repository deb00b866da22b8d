// BMP: a 14-byte file header, an info header of 40 bytes or more (the later, longer versions
// only add fields after the first 40), a palette of B,G,R,x entries for 1, 4 and 8 bits per
// pixel or the channel masks, then rows padded to 4 bytes, bottom row first unless the height is
// negative. Uncompressed (BI_RGB), masked (BI_BITFIELDS, BI_ALPHABITFIELDS) and run-length
// (BI_RLE8, BI_RLE4) pixels are read; embedded JPEG and PNG are refused.
#include <cstdlib>

#include "platform/image/image_internal.h"

namespace ms::image {
namespace {

constexpr const char* kBmp = "BMP";
constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

struct BmpInfo {
    std::uint32_t infoSize = 0;
    std::uint32_t dataOffset = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
};

Status ReadInfo(Bytes b, BmpInfo& info) {
    if (b.size() < kFileHeader + 4) return Fail(kBmp, "file of " + std::to_string(b.size()) + " bytes is truncated");
    info.dataOffset = U32(b, 10);
    info.infoSize = U32(b, kFileHeader);
    if (info.infoSize == 12) return Fail(kBmp, "OS/2 bitmap core headers are not supported");
    if (info.infoSize < 40)
        return Fail(kBmp, "info header size " + std::to_string(info.infoSize) + At(14) + " is below 40");
    if (kFileHeader + static_cast<std::uint64_t>(info.infoSize) > b.size())
        return Fail(kBmp, "info header of " + std::to_string(info.infoSize) + " bytes" + At(14) + " is truncated");
    info.width = I32(b, 18);
    const std::int32_t height = I32(b, 22);
    info.topDown = height < 0;
    info.height = std::llabs(static_cast<std::int64_t>(height));
    info.bitCount = U16(b, 28);
    info.compression = U32(b, 30);
    info.colorsUsed = U32(b, 46);
    return Status::Ok();
}

Status CheckEncoding(const BmpInfo& info) {
    const std::uint16_t bits = info.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(kBmp, std::to_string(bits) + " bits per pixel" + At(28) + " is not supported");
    switch (info.compression) {
        case kBiRgb: return Status::Ok();
        case kBiBitfields:
        case kBiAlphaBitfields:
            if (bits == 16 || bits == 32) return Status::Ok();
            return Fail(kBmp, "bit-field masks with " + std::to_string(bits) + " bits per pixel");
        case kBiRle8:
        case kBiRle4:
            if (bits != (info.compression == kBiRle8 ? 8 : 4))
                return Fail(kBmp, "run-length compression " + std::to_string(info.compression) + " with " +
                                      std::to_string(bits) + " bits per pixel");
            if (info.topDown) return Fail(kBmp, "a top-down bitmap cannot be run-length compressed");
            return Status::Ok();
        default: return Fail(kBmp, "compression " + std::to_string(info.compression) + At(30) + " is not supported");
    }
}

// Palette entries past the ones the file gives read as opaque black.
Status ReadPalette(Bytes b, const BmpInfo& info, std::uint32_t (&palette)[256]) {
    for (std::uint32_t& entry : palette) entry = 0xFF000000;
    const std::uint32_t size = 1u << info.bitCount;
    const std::uint32_t count = info.colorsUsed == 0 || info.colorsUsed > size ? size : info.colorsUsed;
    const std::uint64_t at = kFileHeader + info.infoSize;
    if (at + 4ull * count > b.size())
        return Fail(kBmp, "palette of " + std::to_string(count) + " entries" + At(at) + " is truncated");
    for (std::uint32_t i = 0; i < count; ++i) palette[i] = 0xFF000000 | (U32(b, at + 4 * i) & 0xFFFFFF);
    return Status::Ok();
}

// The three or four masks after the 40-byte header fields; alpha when the header (56 bytes or
// more) or BI_ALPHABITFIELDS has one. Plain 16-bit pixels are X1R5G5B5.
Status ReadMasks(Bytes b, const BmpInfo& info, ChannelMask (&masks)[4]) {
    std::uint32_t values[4] = {0x7C00, 0x03E0, 0x001F, 0};
    if (info.compression != kBiRgb) {
        const int count = info.compression == kBiAlphaBitfields || info.infoSize >= 56 ? 4 : 3;
        const std::size_t at = kFileHeader + 40;
        if (at + 4 * count > b.size()) return Fail(kBmp, "bit-field masks" + At(at) + " are truncated");
        for (int i = 0; i < count; ++i) values[i] = U32(b, at + 4 * i);
    }
    for (int i = 0; i < 4; ++i)
        if (!masks[i].Set(values[i]))
            return Fail(kBmp, "bit-field mask " + std::to_string(values[i]) + " is not contiguous");
    return Status::Ok();
}

void DecodeIndexedRow(const std::uint8_t* row, int bits, const std::uint32_t (&palette)[256], std::uint32_t* out,
                      std::int32_t width) {
    const int perByte = 8 / bits;
    const std::uint32_t low = (1u << bits) - 1;
    for (std::int32_t x = 0; x < width; ++x) {
        const int shift = 8 - bits * (x % perByte + 1);  // the first pixel is in the high bits
        out[x] = palette[(row[x / perByte] >> shift) & low];
    }
}

void DecodeMaskedRow(const std::uint8_t* row, int bytesPerPixel, const ChannelMask (&masks)[4], std::uint32_t* out,
                     std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        const std::uint8_t* p = row + bytesPerPixel * x;
        const std::uint32_t v = bytesPerPixel == 2 ? p[0] | p[1] << 8 : U32(Bytes(p, 4), 0);
        const std::uint32_t a = masks[3].empty() ? 255 : masks[3].Read(v);
        out[x] = Argb(a, masks[0].Read(v), masks[1].Read(v), masks[2].Read(v));
    }
}

// 24 bits are B,G,R; 32 bits without masks are B,G,R and an unused byte.
void DecodeDirectRow(const std::uint8_t* row, int bytesPerPixel, std::uint32_t* out, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        const std::uint8_t* p = row + bytesPerPixel * x;
        out[x] = Argb(255, p[2], p[1], p[0]);
    }
}

// Run-length data, bottom row first: a count and an index make a run (in RLE4 the index byte
// holds two alternating 4-bit indices); a zero count is an escape: 0 ends the row, 1 ends the
// bitmap, 2 moves right and up by the next two bytes, 3 or more is that many literal indices
// padded to an even number of bytes. Texels that no run covers are opaque black; those that
// runs put outside the image are dropped, as some writers encode each row with its padding.
// Data that stops before the end-of-bitmap mark is truncated.
class RleDecoder {
public:
    RleDecoder(Bytes b, const BmpInfo& info, const std::uint32_t (&palette)[256], ImageLevel& out)
        : b_(b), four_(info.compression == kBiRle4), palette_(palette), out_(out), at_(info.dataOffset) {}

    Status Run() {
        for (std::uint32_t& texel : out_.pixels) texel = 0xFF000000;
        while (true) {
            if (at_ + 2 > b_.size())
                return Fail(kBmp, "run-length data ends" + At(at_) + " before the end-of-bitmap mark");
            const std::size_t packet = at_;
            const std::uint8_t count = b_[at_], value = b_[at_ + 1];
            at_ += 2;
            if (count > 0) {
                for (int i = 0; i < count; ++i) Put(four_ ? (i % 2 ? value & 15 : value >> 4) : value);
            } else if (value == 0) {
                x_ = 0;
                ++y_;
            } else if (value == 1) {
                return Status::Ok();
            } else if (value == 2) {
                if (Status s = Move(packet); !s) return s;
            } else if (Status s = Literal(packet, value); !s) {
                return s;
            }
        }
    }

private:
    void Put(std::uint32_t index) {
        if (x_ < out_.width && y_ < out_.height)
            out_.pixels[static_cast<std::size_t>(out_.height - 1 - y_) * out_.width + x_] = palette_[index];
        ++x_;
    }

    Status Move(std::size_t packet) {
        if (at_ + 2 > b_.size()) return Fail(kBmp, "run-length move" + At(packet) + " is truncated");
        x_ += b_[at_];
        y_ += b_[at_ + 1];
        at_ += 2;
        return Status::Ok();
    }

    Status Literal(std::size_t packet, int count) {
        const std::size_t bytes = four_ ? (count + 1) / 2 : count;
        if (at_ + bytes + bytes % 2 > b_.size()) return Fail(kBmp, "run-length literal" + At(packet) + " is truncated");
        for (int i = 0; i < count; ++i) Put(four_ ? (b_[at_ + i / 2] >> (i % 2 ? 0 : 4)) & 15 : b_[at_ + i]);
        at_ += bytes + bytes % 2;
        return Status::Ok();
    }

    Bytes b_;
    bool four_;
    const std::uint32_t (&palette_)[256];
    ImageLevel& out_;
    std::size_t at_;
    std::int64_t x_ = 0;
    std::int64_t y_ = 0;
};

}  // namespace

Status DecodeBmp(Bytes b, Image& out) {
    BmpInfo info;
    if (Status s = ReadInfo(b, info); !s) return s;
    if (Status s = CheckEncoding(info); !s) return s;
    if (Status s = CheckSize(kBmp, info.width, info.height, static_cast<std::uint64_t>(info.width * info.height)); !s)
        return s;
    std::uint32_t palette[256];
    ChannelMask masks[4];
    const int bits = info.bitCount;
    if (bits <= 8) {
        if (Status s = ReadPalette(b, info, palette); !s) return s;
    } else if (bits == 16 || (bits == 32 && info.compression != kBiRgb)) {
        if (Status s = ReadMasks(b, info, masks); !s) return s;
    }
    if (info.dataOffset < kFileHeader + info.infoSize)
        return Fail(kBmp, "pixel data offset " + std::to_string(info.dataOffset) + At(10) + " lies inside the headers");
    const auto width = static_cast<std::int32_t>(info.width);
    const auto height = static_cast<std::int32_t>(info.height);
    if (info.compression == kBiRle8 || info.compression == kBiRle4) {
        Allocate(out, width, height);
        return RleDecoder(b, info, palette, out).Run();
    }
    const std::uint64_t stride = ((static_cast<std::uint64_t>(info.width) * bits + 31) / 32) * 4;
    if (info.dataOffset + stride * info.height > b.size())
        return Fail(kBmp, std::to_string(info.height) + " rows of " + std::to_string(stride) + " bytes" +
                              At(info.dataOffset) + " run past the end of the file (" + std::to_string(b.size()) +
                              " bytes)");
    Allocate(out, width, height);
    for (std::int32_t r = 0; r < height; ++r) {
        const std::uint8_t* row = b.data() + info.dataOffset + stride * r;
        std::uint32_t* dst = out.pixels.data() + static_cast<std::size_t>(info.topDown ? r : height - 1 - r) * width;
        if (bits <= 8)
            DecodeIndexedRow(row, bits, palette, dst, width);
        else if (bits == 16 || (bits == 32 && info.compression != kBiRgb))
            DecodeMaskedRow(row, bits / 8, masks, dst, width);
        else
            DecodeDirectRow(row, bits / 8, dst, width);
    }
    return Status::Ok();
}

}  // namespace ms::image
