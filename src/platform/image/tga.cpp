// TGA: an 18-byte header, the image ID, the colour map, then the pixels, raw or run-length
// encoded, stored bottom row first unless descriptor bit 5 is set and right to left when bit 4 is
// set. Types 1/9 (colour-mapped, 8 or 16-bit indices), 2/10 (true colour, 15, 16, 24 or 32 bits)
// and 3/11 (greyscale, 8 bits, or 16 bits of grey and alpha). Run-length packets may cross rows
// but not the end of the image. 16-bit pixels are A1R5G5B5 whose alpha bit counts only when the
// descriptor declares attribute bits; 32-bit pixels always carry alpha.
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/image/image_internal.h"

namespace ms::image {
namespace {

constexpr const char* kTga = "TGA";
constexpr std::size_t kHeaderBytes = 18;

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t mapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapEntryBits = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelBits = 0;
    std::uint8_t descriptor = 0;

    int kind() const { return imageType & 7; }  // 1 colour-mapped, 2 true colour, 3 greyscale
    bool rle() const { return (imageType & 8) != 0; }
    bool alphaBit() const { return (descriptor & 0x0F) != 0; }
};

TgaHeader ReadHeader(Bytes b) {
    TgaHeader h;
    h.idLength = b[0];
    h.mapType = b[1];
    h.imageType = b[2];
    h.mapFirst = U16(b, 3);
    h.mapLength = U16(b, 5);
    h.mapEntryBits = b[7];
    h.width = U16(b, 12);
    h.height = U16(b, 14);
    h.pixelBits = b[16];
    h.descriptor = b[17];
    return h;
}

bool OneOf(int value, std::initializer_list<int> allowed) {
    for (int a : allowed)
        if (value == a) return true;
    return false;
}

Status CheckHeader(const TgaHeader& h) {
    if (h.mapType > 1) return Fail(kTga, "colour-map type " + std::to_string(h.mapType) + At(1) + " is not 0 or 1");
    if (h.imageType == 0) return Fail(kTga, "image type 0" + At(2) + ": the file holds no image");
    if (!OneOf(h.imageType, {1, 2, 3, 9, 10, 11}))
        return Fail(kTga, "image type " + std::to_string(h.imageType) + At(2) + " is not supported");
    const std::string depth = std::to_string(h.pixelBits) + " bits per pixel" + At(16);
    switch (h.kind()) {
        case 1:
            if (h.mapType != 1) return Fail(kTga, "colour-mapped image without a colour map");
            if (!OneOf(h.mapEntryBits, {15, 16, 24, 32}))
                return Fail(kTga, "colour-map entries of " + std::to_string(h.mapEntryBits) + " bits" + At(7) +
                                      " are not supported");
            if (!OneOf(h.pixelBits, {8, 16})) return Fail(kTga, depth + " is not supported for colour-mapped images");
            break;
        case 2:
            if (!OneOf(h.pixelBits, {15, 16, 24, 32})) return Fail(kTga, depth + " is not supported for true colour");
            break;
        default:
            if (!OneOf(h.pixelBits, {8, 16})) return Fail(kTga, depth + " is not supported for greyscale");
            break;
    }
    return CheckSize(kTga, h.width, h.height, static_cast<std::uint64_t>(h.width) * h.height);
}

std::uint32_t FromA1R5G5B5(std::uint32_t v, bool alphaBit) {
    const std::uint32_t a = !alphaBit || (v & 0x8000) ? 255 : 0;
    return Argb(a, Widen(v >> 10 & 31, 5), Widen(v >> 5 & 31, 5), Widen(v & 31, 5));
}

// A true-colour value of 15, 16, 24 or 32 bits, as in pixels and colour-map entries.
std::uint32_t TrueColour(const std::uint8_t* p, int bits, bool alphaBit) {
    switch (bits) {
        case 15: return FromA1R5G5B5(p[0] | p[1] << 8, false);
        case 16: return FromA1R5G5B5(p[0] | p[1] << 8, alphaBit);
        case 24: return Argb(255, p[2], p[1], p[0]);
        default: return Argb(p[3], p[2], p[1], p[0]);
    }
}

// Turns the bytes of one stored pixel into a texel.
class PixelReader {
public:
    PixelReader(const TgaHeader& h, std::vector<std::uint32_t> map) : h_(h), map_(std::move(map)) {}

    std::uint32_t operator()(const std::uint8_t* p) const {
        switch (h_.kind()) {
            case 1: {
                const std::uint32_t index = h_.pixelBits == 8 ? p[0] : static_cast<std::uint32_t>(p[0] | p[1] << 8);
                // Indices outside the map read as opaque black.
                return index >= h_.mapFirst && index - h_.mapFirst < map_.size() ? map_[index - h_.mapFirst]
                                                                                 : 0xFF000000;
            }
            case 2: return TrueColour(p, h_.pixelBits, h_.alphaBit());
            default: return Argb(h_.pixelBits == 16 ? p[1] : 255, p[0], p[0], p[0]);
        }
    }

private:
    const TgaHeader& h_;
    std::vector<std::uint32_t> map_;
};

// Puts texels in stored order into their places in the image.
class Placer {
public:
    Placer(ImageLevel& image, const TgaHeader& h)
        : image_(image), topDown_((h.descriptor & 0x20) != 0), rightToLeft_((h.descriptor & 0x10) != 0) {
        StartRow();
    }
    void Put(std::uint32_t texel) {
        row_[rightToLeft_ ? image_.width - 1 - column_ : column_] = texel;
        if (++column_ == image_.width) {
            column_ = 0;
            ++storedRow_;
            if (storedRow_ < image_.height) StartRow();
        }
    }

private:
    void StartRow() {
        const std::int32_t y = topDown_ ? storedRow_ : image_.height - 1 - storedRow_;
        row_ = image_.pixels.data() + static_cast<std::size_t>(y) * image_.width;
    }
    ImageLevel& image_;
    bool topDown_;
    bool rightToLeft_;
    std::int32_t storedRow_ = 0;
    std::int32_t column_ = 0;
    std::uint32_t* row_ = nullptr;
};

// The caller has checked that the pixels lie inside the bytes.
void DecodeRaw(Bytes b, std::size_t at, std::size_t pixelBytes, const PixelReader& read, Placer& place,
               std::uint64_t total) {
    for (std::uint64_t i = 0; i < total; ++i) place.Put(read(b.data() + at + i * pixelBytes));
}

Status DecodeRle(Bytes b, std::size_t at, std::size_t pixelBytes, const PixelReader& read, Placer& place,
                 std::uint64_t total) {
    for (std::uint64_t done = 0; done < total;) {
        if (at >= b.size())
            return Fail(kTga, "run-length data ends" + At(at) + " after " + std::to_string(done) + " of " +
                                  std::to_string(total) + " pixels");
        const std::uint8_t packet = b[at];
        const std::uint32_t count = (packet & 0x7F) + 1u;
        if (done + count > total) return Fail(kTga, "run-length packet" + At(at) + " runs past the end of the image");
        const std::size_t valueBytes = packet & 0x80 ? pixelBytes : pixelBytes * count;
        if (at + 1 + valueBytes > b.size()) return Fail(kTga, "run-length packet" + At(at) + " is truncated");
        const std::uint8_t* values = b.data() + at + 1;
        if (packet & 0x80) {
            const std::uint32_t texel = read(values);
            for (std::uint32_t i = 0; i < count; ++i) place.Put(texel);
        } else {
            for (std::uint32_t i = 0; i < count; ++i) place.Put(read(values + i * pixelBytes));
        }
        at += 1 + valueBytes;
        done += count;
    }
    return Status::Ok();
}

}  // namespace

Status DecodeTga(Bytes b, Image& out) {
    if (b.size() < kHeaderBytes) return Fail(kTga, "file of " + std::to_string(b.size()) + " bytes is truncated");
    const TgaHeader h = ReadHeader(b);
    if (Status s = CheckHeader(h); !s) return s;
    const std::size_t entryBytes = (h.mapEntryBits + 7u) / 8;
    const std::size_t mapAt = kHeaderBytes + h.idLength;
    const std::size_t mapBytes = h.mapType == 1 ? h.mapLength * entryBytes : 0;
    if (mapAt + mapBytes > b.size()) return Fail(kTga, "image ID and colour map" + At(kHeaderBytes) + " are truncated");
    std::vector<std::uint32_t> map;
    if (h.kind() == 1) {
        map.resize(h.mapLength);
        for (std::size_t i = 0; i < map.size(); ++i)
            map[i] = TrueColour(b.data() + mapAt + i * entryBytes, h.mapEntryBits, h.alphaBit());
    }
    const std::size_t pixelBytes = (h.pixelBits + 7u) / 8;
    const std::uint64_t total = static_cast<std::uint64_t>(h.width) * h.height;
    const std::size_t at = mapAt + mapBytes;
    // Raw pixels take their full size; packets give at most 128 pixels each. Checked before the
    // image is allocated, so a short file cannot ask for a large one.
    const std::uint64_t least = h.rle() ? (total + 127) / 128 * (1 + pixelBytes) : total * pixelBytes;
    if (at + least > b.size())
        return Fail(kTga, std::to_string(total) + " pixels need at least " + std::to_string(least) + " bytes" + At(at) +
                              ", more than the file has (" + std::to_string(b.size()) + " bytes)");
    const PixelReader read(h, std::move(map));
    Allocate(out, h.width, h.height);
    Placer place(out, h);
    if (h.rle()) return DecodeRle(b, at, pixelBytes, read, place, total);
    DecodeRaw(b, at, pixelBytes, read, place, total);
    return Status::Ok();
}

}  // namespace ms::image
