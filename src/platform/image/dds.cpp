// DDS: 'DDS ', a 124-byte header, then every level of the mip chain in turn, largest first.
// Block-compressed DXT1 to DXT5 (DXT2 and DXT4 decode as DXT3 and DXT5: their colours stay
// premultiplied as stored) and uncompressed pixels of 8, 16, 24 or 32 bits described by channel
// masks (RGB, luminance, alpha). Rows are packed without padding; the pitch field is not trusted.
// Cube maps, volume textures and the DX10 extension header are refused.
#include <algorithm>

#include "platform/image/image_internal.h"

namespace ms::image {
namespace {

constexpr const char* kDds = "DDS";
constexpr std::size_t kDataStart = 128;
constexpr std::uint32_t kPfAlphaPixels = 0x1, kPfAlpha = 0x2, kPfFourCC = 0x4, kPfRgb = 0x40, kPfYuv = 0x200,
                        kPfLuminance = 0x20000;
constexpr std::uint32_t kCaps2Cubemap = 0x200, kCaps2Volume = 0x200000;

constexpr std::uint32_t FourCC(const char (&s)[5]) {
    return static_cast<std::uint8_t>(s[0]) | static_cast<std::uint8_t>(s[1]) << 8 |
           static_cast<std::uint8_t>(s[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[3])) << 24;
}

enum class Kind { Dxt1, Dxt3, Dxt5, Masked };

struct DdsFormat {
    Kind kind = Kind::Masked;
    int bytesPerPixel = 0;
    bool luminance = false;
    bool colour = false;  // false for alpha-only pixels, whose colour is black
    ChannelMask r, g, b, a;
};

std::string FourCCName(std::uint32_t code) {
    std::string name = "'";
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(code >> (8 * i));
        if (c < 0x20 || c > 0x7E) return std::to_string(code);
        name += c;
    }
    return name + "'";
}

Status ReadFourCC(std::uint32_t code, DdsFormat& f) {
    if (code == FourCC("DXT1"))
        f.kind = Kind::Dxt1;
    else if (code == FourCC("DXT2") || code == FourCC("DXT3"))
        f.kind = Kind::Dxt3;
    else if (code == FourCC("DXT4") || code == FourCC("DXT5"))
        f.kind = Kind::Dxt5;
    else if (code == FourCC("DX10"))
        return Fail(kDds, "the DX10 extended header is not supported");
    else
        return Fail(kDds, "FourCC " + FourCCName(code) + At(84) + " is not supported");
    return Status::Ok();
}

Status ReadMasks(Bytes b, std::uint32_t flags, DdsFormat& f) {
    const std::uint32_t bits = U32(b, 88);
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(kDds, std::to_string(bits) + " bits per pixel" + At(88) + " is not supported");
    f.bytesPerPixel = static_cast<int>(bits / 8);
    f.luminance = (flags & kPfLuminance) != 0;
    f.colour = (flags & (kPfRgb | kPfLuminance)) != 0;
    const bool alpha = (flags & (kPfAlphaPixels | kPfAlpha)) != 0;
    const std::uint32_t masks[4] = {f.colour ? U32(b, 92) : 0, f.colour && !f.luminance ? U32(b, 96) : 0,
                                    f.colour && !f.luminance ? U32(b, 100) : 0, alpha ? U32(b, 104) : 0};
    ChannelMask* channels[4] = {&f.r, &f.g, &f.b, &f.a};
    for (int i = 0; i < 4; ++i) {
        const bool fits = bits == 32 || masks[i] >> bits == 0;
        if (!channels[i]->Set(masks[i]) || !fits)
            return Fail(kDds, "channel mask " + std::to_string(masks[i]) + At(92 + 4 * i) +
                                  " is not a run of bits within " + std::to_string(bits) + " bits");
    }
    return Status::Ok();
}

Status ReadFormat(Bytes b, DdsFormat& f) {
    const std::uint32_t flags = U32(b, 80);
    if (flags & kPfFourCC) return ReadFourCC(U32(b, 84), f);
    if (flags & kPfYuv) return Fail(kDds, "YUV pixel formats are not supported");
    if (!(flags & (kPfRgb | kPfLuminance | kPfAlpha)))
        return Fail(kDds, "pixel format flags " + std::to_string(flags) + At(80) + " name no supported format");
    return ReadMasks(b, flags, f);
}

std::uint64_t LevelBytes(const DdsFormat& f, std::uint64_t w, std::uint64_t h) {
    if (f.kind == Kind::Masked) return w * h * f.bytesPerPixel;
    return std::max<std::uint64_t>(1, (w + 3) / 4) * std::max<std::uint64_t>(1, (h + 3) / 4) *
           (f.kind == Kind::Dxt1 ? 8 : 16);
}

std::uint32_t From565(std::uint32_t c) { return Argb(255, Widen(c >> 11, 5), Widen(c >> 5 & 63, 6), Widen(c & 31, 5)); }

// Per channel of two colours: (wa·a + wb·b + round) / (wa + wb); alpha 255.
std::uint32_t Blend(std::uint32_t a, std::uint32_t b, std::uint32_t wa, std::uint32_t wb, std::uint32_t round) {
    std::uint32_t out = 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t ca = a >> shift & 0xFF, cb = b >> shift & 0xFF;
        out |= ((wa * ca + wb * cb + round) / (wa + wb)) << shift;
    }
    return out;
}

// The 8-byte colour block; DXT1 alone has the 3-colour mode with transparent black.
void DecodeColourBlock(const std::uint8_t* block, bool dxt1, std::uint32_t (&texels)[16]) {
    const std::uint32_t c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    std::uint32_t colours[4] = {From565(c0), From565(c1), 0, 0};
    if (!dxt1 || c0 > c1) {
        colours[2] = Blend(colours[0], colours[1], 2, 1, 1);
        colours[3] = Blend(colours[0], colours[1], 1, 2, 1);
    } else {
        colours[2] = Blend(colours[0], colours[1], 1, 1, 0);
        colours[3] = 0;
    }
    for (int t = 0; t < 16; ++t) texels[t] = colours[block[4 + t / 4] >> (2 * (t % 4)) & 3];
}

// 4 bits of alpha per texel, a row in each little-endian word, widened to 8 bits.
void DecodeExplicitAlpha(const std::uint8_t* block, std::uint32_t (&texels)[16]) {
    for (int t = 0; t < 16; ++t) {
        const std::uint32_t a = block[t / 2] >> (4 * (t % 2)) & 0xF;
        texels[t] = (texels[t] & 0xFFFFFF) | (a * 17) << 24;
    }
}

// Two alpha values and 3-bit codes for the texels, in a 48-bit little-endian field.
void DecodeInterpolatedAlpha(const std::uint8_t* block, std::uint32_t (&texels)[16]) {
    const std::uint32_t a0 = block[0], a1 = block[1];
    std::uint32_t alphas[8] = {a0, a1, 0, 0, 0, 0, 0, 255};
    if (a0 > a1) {
        for (std::uint32_t k = 2; k < 8; ++k) alphas[k] = ((8 - k) * a0 + (k - 1) * a1 + 3) / 7;
    } else {
        for (std::uint32_t k = 2; k < 6; ++k) alphas[k] = ((6 - k) * a0 + (k - 1) * a1 + 2) / 5;
    }
    std::uint64_t codes = 0;
    for (int i = 0; i < 6; ++i) codes |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
    for (int t = 0; t < 16; ++t) texels[t] = (texels[t] & 0xFFFFFF) | alphas[codes >> (3 * t) & 7] << 24;
}

void DecodeBlocks(const DdsFormat& f, const std::uint8_t* data, ImageLevel& level) {
    const int blockBytes = f.kind == Kind::Dxt1 ? 8 : 16;
    const std::int32_t blocksWide = (level.width + 3) / 4, blocksHigh = (level.height + 3) / 4;
    std::uint32_t texels[16];
    for (std::int32_t by = 0; by < blocksHigh; ++by) {
        for (std::int32_t bx = 0; bx < blocksWide; ++bx, data += blockBytes) {
            DecodeColourBlock(data + blockBytes - 8, f.kind == Kind::Dxt1, texels);
            if (f.kind == Kind::Dxt3) DecodeExplicitAlpha(data, texels);
            if (f.kind == Kind::Dxt5) DecodeInterpolatedAlpha(data, texels);
            for (int t = 0; t < 16; ++t) {
                const std::int32_t x = bx * 4 + t % 4, y = by * 4 + t / 4;
                if (x < level.width && y < level.height)
                    level.pixels[static_cast<std::size_t>(y) * level.width + x] = texels[t];
            }
        }
    }
}

void DecodeMasked(const DdsFormat& f, const std::uint8_t* data, ImageLevel& level) {
    for (std::uint32_t& texel : level.pixels) {
        std::uint32_t v = 0;
        for (int i = 0; i < f.bytesPerPixel; ++i) v |= static_cast<std::uint32_t>(data[i]) << (8 * i);
        data += f.bytesPerPixel;
        const std::uint32_t a = f.a.empty() ? 255 : f.a.Read(v);
        const std::uint32_t r = f.r.Read(v);
        texel = f.luminance ? Argb(a, r, r, r) : Argb(a, r, f.g.Read(v), f.b.Read(v));
    }
}

struct Chain {
    std::int32_t width = 0, height = 0;
    std::uint32_t levels = 1;
    std::uint64_t texels = 0, bytes = 0;
};

// The levels the header asks for, no more than a chain down to 1 × 1 has.
Chain MeasureChain(const DdsFormat& f, std::int64_t width, std::int64_t height, std::uint32_t mipCount) {
    Chain c{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 1, 0, 0};
    std::uint32_t full = 1;
    for (std::int64_t side = std::max(width, height); side > 1; side /= 2) ++full;
    c.levels = std::clamp<std::uint32_t>(mipCount, 1, full);
    for (std::uint32_t i = 0; i < c.levels; ++i) {
        const std::uint64_t w = std::max<std::int64_t>(1, width >> i), h = std::max<std::int64_t>(1, height >> i);
        c.texels += w * h;
        c.bytes += LevelBytes(f, w, h);
    }
    return c;
}

Status CheckHeader(Bytes b) {
    if (b.size() < kDataStart)
        return Fail(kDds, "file of " + std::to_string(b.size()) + " bytes is shorter than its header");
    if (U32(b, 0) != FourCC("DDS ")) return Fail(kDds, "the file does not start with 'DDS '");
    if (U32(b, 4) != 124) return Fail(kDds, "header size " + std::to_string(U32(b, 4)) + At(4) + " is not 124");
    if (U32(b, 76) != 32) return Fail(kDds, "pixel format size " + std::to_string(U32(b, 76)) + At(76) + " is not 32");
    const std::uint32_t caps2 = U32(b, 112);
    if (caps2 & kCaps2Cubemap) return Fail(kDds, "cube maps are not supported");
    if (caps2 & kCaps2Volume) return Fail(kDds, "volume textures are not supported");
    return Status::Ok();
}

}  // namespace

Status DecodeDds(Bytes b, Image& out) {
    if (Status s = CheckHeader(b); !s) return s;
    DdsFormat format;
    if (Status s = ReadFormat(b, format); !s) return s;
    const std::int64_t height = U32(b, 12), width = U32(b, 16);
    if (Status s = CheckSize(kDds, width, height, 0); !s) return s;
    const Chain chain = MeasureChain(format, width, height, U32(b, 28));
    if (Status s = CheckSize(kDds, width, height, chain.texels); !s) return s;
    if (kDataStart + chain.bytes > b.size())
        return Fail(kDds, std::to_string(chain.levels) + " levels of " + std::to_string(chain.bytes) + " bytes" +
                              At(kDataStart) + " run past the end of the file (" + std::to_string(b.size()) +
                              " bytes)");
    const std::uint8_t* data = b.data() + kDataStart;
    out.mips.resize(chain.levels - 1);
    for (std::uint32_t i = 0; i < chain.levels; ++i) {
        ImageLevel& level = i == 0 ? out : out.mips[i - 1];
        Allocate(level, std::max(1, chain.width >> i), std::max(1, chain.height >> i));
        if (format.kind == Kind::Masked)
            DecodeMasked(format, data, level);
        else
            DecodeBlocks(format, data, level);
        data += LevelBytes(format, level.width, level.height);
    }
    return Status::Ok();
}

}  // namespace ms::image
