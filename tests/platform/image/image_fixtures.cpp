#include "image_fixtures.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

namespace ms::test {
namespace {

void Put16(ByteVector& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(ByteVector& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Set32(ByteVector& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Append(ByteVector& out, const ByteVector& more) { out.insert(out.end(), more.begin(), more.end()); }

}  // namespace

ByteVector MakeBmp(const BmpSpec& layout) {
    ByteVector info(layout.infoSize, 0);
    Set32(info, 0, layout.infoSize);
    Set32(info, 4, static_cast<std::uint32_t>(layout.width));
    Set32(info, 8, static_cast<std::uint32_t>(layout.height));
    info[12] = 1;
    info[14] = static_cast<std::uint8_t>(layout.bits);
    info[15] = static_cast<std::uint8_t>(layout.bits >> 8);
    Set32(info, 16, layout.compression);
    Set32(info, 32, layout.colorsUsed);
    ByteVector extra;
    for (std::size_t i = 0; i < layout.masks.size(); ++i) {
        if (40 + 4 * i + 4 <= info.size())
            Set32(info, 40 + 4 * i, layout.masks[i]);
        else
            Put32(extra, layout.masks[i]);
    }
    for (std::uint32_t colour : layout.palette) Put32(extra, colour & 0xFFFFFF);
    ByteVector pixels;
    for (ByteVector row : layout.rows) {
        row.resize((row.size() + 3) / 4 * 4, 0);
        Append(pixels, row);
    }
    ByteVector file = {'B', 'M'};
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + info.size() + extra.size());
    Put32(file, offset + static_cast<std::uint32_t>(pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    Append(file, info);
    Append(file, extra);
    Append(file, pixels);
    return file;
}

ByteVector MakeTga(const TgaSpec& layout) {
    ByteVector file = {static_cast<std::uint8_t>(layout.id.size()), layout.mapType, layout.imageType};
    Put16(file, layout.mapFirst);
    Put16(file, layout.mapLength);
    file.push_back(layout.mapBits);
    Put32(file, 0);  // origin
    Put16(file, layout.width);
    Put16(file, layout.height);
    file.push_back(layout.bits);
    file.push_back(layout.descriptor);
    Append(file, layout.id);
    Append(file, layout.map);
    Append(file, layout.data);
    return file;
}

ByteVector MakeDds(const DdsSpec& layout) {
    ByteVector file(128, 0);
    std::memcpy(file.data(), "DDS ", 4);
    Set32(file, 4, 124);
    Set32(file, 8, 0x1 | 0x2 | 0x4 | 0x1000 | (layout.mipCount ? 0x20000 : 0));
    Set32(file, 12, layout.height);
    Set32(file, 16, layout.width);
    Set32(file, 28, layout.mipCount);
    Set32(file, 76, 32);
    Set32(file, 80, layout.pfFlags);
    Set32(file, 84, layout.fourCC);
    Set32(file, 88, layout.bits);
    for (int i = 0; i < 4; ++i) Set32(file, 92 + 4 * i, layout.masks[i]);
    Set32(file, 108, 0x1000);
    Set32(file, 112, layout.caps2);
    Append(file, layout.data);
    return file;
}

namespace {

void AppendPng(png_structp png, png_bytep data, std::size_t count) {
    auto* out = static_cast<ByteVector*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

int Channels(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE: return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        default: return 4;
    }
}

// Samples packed as the file stores them: high bits first below 8 bits, big-endian at 16.
std::vector<ByteVector> PackPngRows(const PngSpec& layout) {
    const std::size_t perRow = layout.width * Channels(layout.colourType);
    std::vector<ByteVector> rows(layout.height, ByteVector((perRow * layout.depth + 7) / 8, 0));
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        for (std::size_t i = 0; i < perRow; ++i) {
            const std::uint16_t v = layout.samples[y * perRow + i];
            if (layout.depth == 16) {
                rows[y][2 * i] = static_cast<std::uint8_t>(v >> 8);
                rows[y][2 * i + 1] = static_cast<std::uint8_t>(v);
            } else {
                const std::size_t bit = i * layout.depth;
                rows[y][bit / 8] |= static_cast<std::uint8_t>(v << (8 - layout.depth - bit % 8));
            }
        }
    }
    return rows;
}

}  // namespace

ByteVector MakePng(const PngSpec& layout) {
    ByteVector out;
    std::vector<ByteVector> rows = PackPngRows(layout);
    std::vector<png_bytep> pointers;
    for (ByteVector& row : rows) pointers.push_back(row.data());
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &out, AppendPng, nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (std::uint32_t c : layout.palette)
        palette.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 colour{};
    if (layout.transparent) {
        colour.gray = colour.red = (*layout.transparent)[0];
        colour.green = (*layout.transparent)[1];
        colour.blue = (*layout.transparent)[2];
    }
    if (!layout.paletteAlpha.empty() || layout.transparent)
        png_set_tRNS(png, info, layout.paletteAlpha.empty() ? nullptr : layout.paletteAlpha.data(),
                     static_cast<int>(layout.paletteAlpha.size()), layout.transparent ? &colour : nullptr);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

ByteVector MakeJpeg(std::uint32_t width, std::uint32_t height, int components, int inColourSpace,
                    const ByteVector& samples, bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);  // errors exit the test program
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = static_cast<J_COLOR_SPACE>(inColourSpace);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + static_cast<std::size_t>(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    ByteVector out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

Image DecodeOrFail(const ByteVector& bytes) {
    Image image;
    Status s = DecodeImage(bytes, image);
    EXPECT_TRUE(s.ok()) << s.message();
    return image;
}

std::string RefusalOf(ImageFormat format, const ByteVector& bytes) {
    Image image;
    Status s = DecodeImageAs(format, bytes, image);
    return s ? "accepted" : s.message();
}

}  // namespace ms::test
