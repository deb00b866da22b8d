#pragma once
// Helpers shared by the decoders of this library.
#include <bit>
#include <cstdint>
#include <span>
#include <string>

#include "platform/image/image.h"

namespace ms::image {

static_assert(std::endian::native == std::endian::little,
              "texels are stored as 32-bit words whose bytes are B, G, R, A in memory");

using Bytes = std::span<const std::uint8_t>;

// Little-endian fields; the caller has checked that they lie inside the bytes.
inline std::uint16_t U16(Bytes b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
inline std::uint32_t U32(Bytes b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
inline std::int32_t I32(Bytes b, std::size_t at) { return static_cast<std::int32_t>(U32(b, at)); }

inline std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}

inline std::string At(std::uint64_t offset) { return " at offset " + std::to_string(offset); }

// "FORMAT: what".
inline Status Fail(const char* format, const std::string& what) {
    return Status::Error(std::string(format) + ": " + what);
}

// Refuses a level that is empty or breaks a bound; `totalTexels` counts every level to be decoded.
Status CheckSize(const char* format, std::int64_t width, std::int64_t height, std::uint64_t totalTexels);

// The most bytes of the file the decoder of `format` may need for the image whose first bytes are
// `head` (at least the head itself), learned from the header; refuses, as the decoder would, an
// image beyond the size bounds, before the rest of the file is read.
Status BytesNeeded(ImageFormat format, Bytes head, std::uint64_t& needed);

// Sizes `level` for width × height texels (after CheckSize).
void Allocate(ImageLevel& level, std::int32_t width, std::int32_t height);

// One channel of a packed pixel given by a contiguous bit mask, widened to 8 bits by repeating
// its bits (5 bits abcde give abcdeabc), or cut to its top 8 bits when it is wider.
class ChannelMask {
public:
    // False when the set bits of `mask` are not contiguous. A zero mask reads as 0.
    bool Set(std::uint32_t mask);
    std::uint32_t Read(std::uint32_t pixel) const;
    bool empty() const { return bits_ == 0; }

private:
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    int bits_ = 0;
    std::uint8_t widened_[256] = {};  // for masks of up to 8 bits
};

// Widens a value of `bits` bits (1 to 8) to 8 bits by repeating its bits.
std::uint32_t Widen(std::uint32_t value, int bits);

// The decoders. Each may leave `out` half-filled when it fails; DecodeImageAs hands them a fresh
// image and keeps the caller's until one succeeds.
Status DecodeBmp(Bytes bytes, Image& out);
Status DecodeTga(Bytes bytes, Image& out);
Status DecodeDds(Bytes bytes, Image& out);
Status DecodePng(Bytes bytes, Image& out);
Status DecodeJpeg(Bytes bytes, Image& out);

}  // namespace ms::image
