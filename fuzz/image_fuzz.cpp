// Feeds arbitrary bytes to one image decoder, chosen when this file is compiled (MS_FUZZ_FORMAT).
// A refused file must leave the output image as it was and say why; an accepted one must hold
// exactly its texels within the size bounds, a mip chain of halving levels, and, when small,
// come back the same through EncodePng and the PNG decoder.
//
// The fuzzer starts from a few valid files of the format, made here and handed to libFuzzer as
// -seed_inputs, since libpng and libjpeg are not instrumented and give it nothing to grow from.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "platform/image/image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr ms::ImageFormat kFormat = ms::ImageFormat::MS_FUZZ_FORMAT;

void Put(Bytes& out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// BMP of 2 rows: `info` after the 40 header bytes (masks, palette), then the pixel bytes.
Bytes Bmp(std::int32_t width, std::uint16_t bits, std::uint32_t compression, const Bytes& extra, const Bytes& pixels) {
    Bytes b = {'B', 'M'};
    Put(b, 54 + extra.size() + pixels.size(), 4);
    Put(b, 0, 4);
    Put(b, 54 + extra.size(), 4);
    Put(b, 40, 4);
    Put(b, width, 4);
    Put(b, 2, 4);
    Put(b, 1, 2);
    Put(b, bits, 2);
    Put(b, compression, 4);
    for (int i = 0; i < 5; ++i) Put(b, 0, 4);
    Append(b, extra);
    Append(b, pixels);
    return b;
}

Bytes Tga(std::uint8_t type, std::uint8_t mapType, std::uint16_t mapLength, std::uint8_t mapBits, std::uint8_t bits,
          std::uint8_t descriptor, const Bytes& body) {
    Bytes t = {0, mapType, type};
    Put(t, 0, 2);
    Put(t, mapLength, 2);
    t.push_back(mapBits);
    Put(t, 0, 4);
    Put(t, 3, 2);
    Put(t, 2, 2);
    t.push_back(bits);
    t.push_back(descriptor);
    Append(t, body);
    return t;
}

Bytes Dds(std::uint32_t width, std::uint32_t height, std::uint32_t mips, std::uint32_t flags, std::uint32_t fourCC,
          std::uint32_t bits, std::initializer_list<std::uint32_t> masks, std::size_t dataBytes) {
    Bytes d = {'D', 'D', 'S', ' '};
    for (std::uint32_t v : {124u, 0x1007u, height, width, 0u, 0u, mips}) Put(d, v, 4);
    d.resize(76, 0);
    for (std::uint32_t v : {32u, flags, fourCC, bits}) Put(d, v, 4);
    for (std::uint32_t m : masks) Put(d, m, 4);
    d.resize(128, 0);
    for (std::size_t i = 0; i < dataBytes; ++i) d.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    return d;
}

void AppendPng(png_structp png, png_bytep data, std::size_t count) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

// A 7 x 5 PNG of any colour type and depth, with a palette and tRNS where they fit.
Bytes Png(int colourType, int depth, bool interlaced) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &out, AppendPng, nullptr);
    png_set_IHDR(png, info, 7, 5, depth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{1, 2, 3}, {40, 50, 60}, {200, 100, 0}, {255, 255, 255}};
    png_byte alpha[2] = {0, 128};
    png_color_16 transparent{0, 1, 1, 1, 1};
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 4);
    if (!(colourType & PNG_COLOR_MASK_ALPHA)) png_set_tRNS(png, info, alpha, 2, &transparent);
    png_write_info(png, info);
    Bytes row(7 * 8, 0);
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = static_cast<std::uint8_t>(colourType == 3 ? i % 2 * 0x41 : i * 29);
    std::vector<png_bytep> rows(5, row.data());
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes Jpeg(J_COLOR_SPACE space, int components, bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 19;
    cinfo.image_height = 11;
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(19 * components);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(i * 13);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::vector<Bytes> Seeds() {
    const Bytes palette = {0, 0, 0, 0, 255, 255, 255, 0, 9, 99, 199, 0};
    switch (kFormat) {
        case ms::ImageFormat::Bmp:
            return {Bmp(3, 24, 0, {}, Bytes(24, 0x5A)),
                    Bmp(3, 8, 0, palette, {0, 1, 2, 0, 2, 1, 0, 0}),
                    Bmp(2, 16, 3, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, Bytes(8, 0x3C)),
                    Bmp(3, 8, 1, palette, {2, 1, 0, 0, 0, 3, 1, 2, 0, 0, 0, 1}),
                    Bmp(4, 4, 2, palette, {4, 0x12, 0, 0, 0, 3, 0x31, 0x20, 1, 0x30, 0, 1}),
                    Bmp(9, 1, 0, {0, 0, 0, 0, 255, 255, 255, 0}, {0xA5, 0x80, 0, 0, 0x5A, 0, 0, 0})};
        case ms::ImageFormat::Tga:
            return {Tga(2, 0, 0, 0, 24, 0, Bytes(18, 0x44)),
                    Tga(10, 0, 0, 0, 32, 0x28,
                        {0x81, 1, 2, 3, 4, 0x03, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}),
                    Tga(9, 1, 3, 24, 8, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0x82, 1, 0x02, 0, 1, 2}),
                    Tga(3, 0, 0, 0, 8, 0x10, {1, 2, 3, 4, 5, 6}), Tga(2, 0, 0, 0, 16, 1, Bytes(12, 0x81))};
        case ms::ImageFormat::Dds:
            return {Dds(6, 6, 3, 0x4, 0x31545844, 0, {}, 48),
                    Dds(4, 4, 0, 0x4, 0x33545844, 0, {}, 16),
                    Dds(5, 3, 2, 0x4, 0x35545844, 0, {}, 48),
                    Dds(3, 2, 0, 0x41, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 24),
                    Dds(3, 2, 2, 0x40, 0, 16, {0xF800, 0x7E0, 0x1F, 0}, 14),
                    Dds(2, 2, 0, 0x20001, 0, 16, {0xFF, 0, 0, 0xFF00}, 8)};
        case ms::ImageFormat::Png:
            return {Png(PNG_COLOR_TYPE_RGB, 8, false), Png(PNG_COLOR_TYPE_RGB_ALPHA, 16, false),
                    Png(PNG_COLOR_TYPE_PALETTE, 2, true), Png(PNG_COLOR_TYPE_GRAY, 1, false),
                    Png(PNG_COLOR_TYPE_GRAY_ALPHA, 8, true)};
        case ms::ImageFormat::Jpeg:
            return {Jpeg(JCS_RGB, 3, false), Jpeg(JCS_RGB, 3, true), Jpeg(JCS_GRAYSCALE, 1, false),
                    Jpeg(JCS_CMYK, 4, false)};
    }
    return {};
}

// Writes the seeds to files and adds them to the command line, unless seeds were given.
void AddSeeds(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i)
        if (std::strncmp((*argv)[i], "-seed_inputs=", 13) == 0) return;
    static std::string flag = "-seed_inputs=";
    const std::vector<Bytes> seeds = Seeds();
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        const std::string path = "/tmp/modelsmith-image-seed-" + std::to_string(::getpid()) + "-" + std::to_string(i);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) std::abort();
        std::fwrite(seeds[i].data(), 1, seeds[i].size(), f);
        std::fclose(f);
        flag += (i ? "," : "") + path;
    }
    static std::vector<char*> args;
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, flag.data());
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckLevel(const ms::ImageLevel& level) {
    Check(level.width >= 1 && level.height >= 1 && level.width <= ms::kMaxImageSide &&
          level.height <= ms::kMaxImageSide);
    Check(level.pixels.size() == static_cast<std::size_t>(level.width) * static_cast<std::size_t>(level.height));
}

void CheckAccepted(const ms::Image& image) {
    std::uint64_t texels = 0;
    for (std::size_t i = 0; i < image.LevelCount(); ++i) {
        const ms::ImageLevel& level = image.Level(i);
        CheckLevel(level);
        if (i > 0) {
            Check(level.width == std::max(1, image.Level(i - 1).width / 2));
            Check(level.height == std::max(1, image.Level(i - 1).height / 2));
        }
        texels += level.pixels.size();
    }
    Check(texels * 4 <= ms::kMaxImageBytes);
    Check(kFormat == ms::ImageFormat::Dds || image.mips.empty());
    if (image.pixels.size() > 4096) return;
    std::vector<std::uint8_t> png;
    Check(ms::EncodePng(image, png).ok());
    ms::Image back;
    Check(ms::DecodeImageAs(ms::ImageFormat::Png, png, back).ok());
    Check(back.width == image.width && back.height == image.height && back.pixels == image.pixels);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    AddSeeds(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ms::Image image;
    image.width = image.height = 1;
    image.pixels = {0x12345678};
    const ms::Status status = ms::DecodeImageAs(kFormat, {data, size}, image);
    if (status) {
        CheckAccepted(image);
    } else {
        Check(!status.message().empty());
        Check(image.width == 1 && image.height == 1 && image.pixels.size() == 1 && image.pixels[0] == 0x12345678);
        Check(image.mips.empty());
    }
    return 0;
}
