#include "image_files.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace samples {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
}

// --- DXT1 ---------------------------------------------------------------------------------------

std::uint16_t To565(const std::uint8_t* c) {
    return static_cast<std::uint16_t>(((c[0] >> 3) << 11) | ((c[1] >> 2) << 5) | (c[2] >> 3));
}

std::array<int, 3> From565(std::uint16_t c) {
    int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

// One 4 x 4 block at (bx, by); texels beyond the image repeat its edge. The end points are the
// darkest and brightest texels, in four-colour order (colour 0 above colour 1).
void EncodeBlock(const Image& image, int bx, int by, Bytes& out) {
    const std::uint8_t* texel[16];
    for (int i = 0; i < 16; ++i)
        texel[i] = image.At(std::min(bx + i % 4, image.width - 1), std::min(by + i / 4, image.height - 1));
    auto luma = [](const std::uint8_t* c) { return 2 * c[0] + 5 * c[1] + c[2]; };
    auto [low, high] = std::minmax_element(texel, texel + 16, [&](auto* a, auto* b) { return luma(a) < luma(b); });
    std::uint16_t c0 = To565(*high), c1 = To565(*low);
    if (c0 < c1) std::swap(c0, c1);
    std::array<std::array<int, 3>, 4> palette;
    palette[0] = From565(c0);
    palette[1] = From565(c1);
    for (int k = 0; k < 3; ++k) {
        palette[2][k] = (2 * palette[0][k] + palette[1][k] + 1) / 3;
        palette[3][k] = (palette[0][k] + 2 * palette[1][k] + 1) / 3;
    }
    Put16(out, c0);
    Put16(out, c1);
    for (int row = 0; row < 4; ++row) {
        std::uint8_t bits = 0;
        for (int col = 0; col < 4; ++col) {
            const std::uint8_t* t = texel[row * 4 + col];
            int best = 0, bestError = 1 << 30;
            for (int p = 0; p < (c0 == c1 ? 1 : 4); ++p) {
                int error = 0;
                for (int k = 0; k < 3; ++k) error += (t[k] - palette[p][k]) * (t[k] - palette[p][k]);
                if (error < bestError) best = p, bestError = error;
            }
            bits |= static_cast<std::uint8_t>(best << (2 * col));
        }
        out.push_back(bits);
    }
}

// The next mip level: each texel the average of the 2 x 2 it covers.
Image HalfSize(const Image& image) {
    Image half(std::max(1, image.width / 2), std::max(1, image.height / 2));
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x)
            for (int k = 0; k < 4; ++k) {
                int sum = 0;
                for (int d = 0; d < 4; ++d)
                    sum += image.At(std::min(2 * x + d % 2, image.width - 1),
                                    std::min(2 * y + d / 2, image.height - 1))[k];
                half.At(x, y)[k] = static_cast<std::uint8_t>((sum + 2) / 4);
            }
    return half;
}

// --- libjpeg and libpng -------------------------------------------------------------------------

void PngError(png_structp png, png_const_charp message) {
    std::fprintf(stderr, "libpng: %s\n", message);
    png_longjmp(png, 1);
}

}  // namespace

bool WriteBmp(const std::string& path, const Image& image) {
    const std::uint32_t stride = (image.width * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = stride * image.height;
    Bytes out = {'B', 'M'};
    Put32(out, 54 + pixelBytes);
    Put32(out, 0);
    Put32(out, 54);
    for (std::uint32_t v : {40u, static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height)})
        Put32(out, v);
    Put16(out, 1);
    Put16(out, 24);
    for (std::uint32_t v : {0u, pixelBytes, 2835u, 2835u, 0u, 0u}) Put32(out, v);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* c = image.At(x, y);
            out.insert(out.end(), {c[2], c[1], c[0]});
        }
        out.resize(out.size() + stride - image.width * 3, 0);
    }
    return WriteBytes(path, out);
}

bool WriteTga(const std::string& path, const Image& image) {
    Bytes out = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(out, image.width);
    Put16(out, image.height);
    out.push_back(32);
    out.push_back(0x28);  // 8 alpha bits, rows from the top
    auto pixel = [&](int x, int y) {
        const std::uint8_t* c = image.At(x, y);
        return std::array<std::uint8_t, 4>{c[2], c[1], c[0], c[3]};
    };
    // Packets stay within a row: a run of equal pixels, or up to 128 pixels as they are.
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width;) {
            int run = 1;
            while (x + run < image.width && run < 128 && pixel(x + run, y) == pixel(x, y)) ++run;
            if (run > 1) {
                out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
                for (std::uint8_t b : pixel(x, y)) out.push_back(b);
                x += run;
                continue;
            }
            int raw = 1;
            while (x + raw < image.width && raw < 128 &&
                   !(x + raw + 1 < image.width && pixel(x + raw, y) == pixel(x + raw + 1, y)))
                ++raw;
            out.push_back(static_cast<std::uint8_t>(raw - 1));
            for (int i = 0; i < raw; ++i)
                for (std::uint8_t b : pixel(x + i, y)) out.push_back(b);
            x += raw;
        }
    }
    return WriteBytes(path, out);
}

bool WriteDds(const std::string& path, const Image& image) {
    int levels = 1;
    for (int size = std::max(image.width, image.height); size > 1; size /= 2) ++levels;
    const std::uint32_t topBytes = std::max(1, (image.width + 3) / 4) * std::max(1, (image.height + 3) / 4) * 8;
    Bytes out = {'D', 'D', 'S', ' '};
    const std::uint32_t kFlags = 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x80000;  // caps, size, format, mips, linear size
    for (std::uint32_t v : {124u, kFlags, static_cast<std::uint32_t>(image.height),
                            static_cast<std::uint32_t>(image.width), topBytes, 0u, static_cast<std::uint32_t>(levels)})
        Put32(out, v);
    out.resize(out.size() + 11 * 4, 0);
    for (std::uint32_t v : {32u, 0x4u}) Put32(out, v);  // pixel format with a FourCC
    out.insert(out.end(), {'D', 'X', 'T', '1'});
    out.resize(out.size() + 5 * 4, 0);
    Put32(out, 0x8 | 0x1000 | 0x400000);  // complex, texture, mip map
    out.resize(out.size() + 4 * 4, 0);
    Image level = image;
    for (int l = 0; l < levels; ++l) {
        for (int by = 0; by < level.height; by += 4)
            for (int bx = 0; bx < level.width; bx += 4) EncodeBlock(level, bx, by, out);
        if (l + 1 < levels) level = HalfSize(level);
    }
    return WriteBytes(path, out);
}

bool WriteJpeg(const std::string& path, const Image& image) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);  // prints and exits on an error
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, f);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(image.width * 3);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < image.width; ++x) std::memcpy(&row[x * 3], image.At(x, info.next_scanline), 3);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(f) == 0;
}

bool WritePng(const std::string& path, const Image& image) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) png_write_row(png, image.At(0, y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace samples
