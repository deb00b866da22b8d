// Decoding a 2048 x 2048 PNG and JPEG through DecodeImage, against libpng and libjpeg decoding the
// same bytes into memory in the form they are stored (R,G,B rows), in the same run. Each of our
// benchmarks also reports `x_library`: its mean time over the library's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "platform/image/image.h"

namespace {

constexpr std::uint32_t kSide = 2048;

// A texture-like picture: smooth gradients, a pattern and a little noise.
std::vector<std::uint8_t> Picture() {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kSide) * kSide * 3);
    std::uint32_t seed = 12345;
    std::size_t i = 0;
    for (std::uint32_t y = 0; y < kSide; ++y) {
        for (std::uint32_t x = 0; x < kSide; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const std::uint32_t noise = seed >> 28;
            rgb[i++] = static_cast<std::uint8_t>(x / 8 + noise);
            rgb[i++] = static_cast<std::uint8_t>(y / 8 + noise);
            rgb[i++] = static_cast<std::uint8_t>(((x / 32) ^ (y / 32)) * 16 + noise);
        }
    }
    return rgb;
}

const std::vector<std::uint8_t>& PngFile() {
    static const std::vector<std::uint8_t> bytes = [] {
        const std::vector<std::uint8_t> rgb = Picture();
        ms::ImageLevel image{kSide, kSide, std::vector<std::uint32_t>(static_cast<std::size_t>(kSide) * kSide)};
        for (std::size_t i = 0; i < image.pixels.size(); ++i)
            image.pixels[i] = 0xFF000000u | rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
        std::vector<std::uint8_t> out;
        if (!ms::EncodePng(image, out)) std::abort();  // libpng, 8-bit RGB
        return out;
    }();
    return bytes;
}

const std::vector<std::uint8_t>& JpegFile() {
    static const std::vector<std::uint8_t> bytes = [] {
        const std::vector<std::uint8_t> rgb = Picture();
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr errors{};
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_compress(&cinfo);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = cinfo.image_height = kSide;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < kSide) {
            JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + static_cast<std::size_t>(cinfo.next_scanline) * kSide * 3);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        std::vector<std::uint8_t> out(buffer, buffer + size);
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return out;
    }();
    return bytes;
}

struct MemoryReader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t offset;
};

void ReadPngBytes(png_structp png, png_bytep out, std::size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->bytes->size() - reader->offset) png_error(png, "truncated");
    std::memcpy(out, reader->bytes->data() + reader->offset, count);
    reader->offset += count;
}

// libpng's decode of the PNG as stored: 8-bit R,G,B rows.
void LibpngDecode(std::vector<std::uint8_t>& rgb) {
    MemoryReader reader{&PngFile(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_read_fn(png, &reader, ReadPngBytes);
    png_read_info(png, info);
    const std::size_t stride = png_get_rowbytes(png, info);
    rgb.assign(stride * png_get_image_height(png, info), 0);
    std::vector<png_bytep> rows(png_get_image_height(png, info));
    for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = rgb.data() + stride * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
}

// libjpeg's decode of the JPEG with its default output: 8-bit R,G,B rows.
void LibjpegDecode(std::vector<std::uint8_t>& rgb) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, JpegFile().data(), JpegFile().size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components;
    rgb.assign(stride * cinfo.output_height, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

double MeanSeconds(const std::function<void()>& run, int times) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < times; ++i) run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / times;
}

void BM_LibpngDecode(benchmark::State& state) {
    PngFile();  // made outside the timing
    std::vector<std::uint8_t> rgb;
    for (auto _ : state) {
        LibpngDecode(rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.counters["file_bytes"] = static_cast<double>(PngFile().size());
}

void BM_LibjpegDecode(benchmark::State& state) {
    JpegFile();
    std::vector<std::uint8_t> rgb;
    for (auto _ : state) {
        LibjpegDecode(rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.counters["file_bytes"] = static_cast<double>(JpegFile().size());
}

// DecodeImage of `file`, with its mean time over `library`'s measured in the same run.
void DecodeImageAgainst(benchmark::State& state, const std::vector<std::uint8_t>& file,
                        void (*library)(std::vector<std::uint8_t>&)) {
    std::vector<std::uint8_t> scratch;
    library(scratch);  // a warm-up run
    const double librarySeconds = MeanSeconds([&] { library(scratch); }, 10);
    double seconds = 0;
    for (auto _ : state) {
        ms::Image image;
        seconds += MeanSeconds(
            [&] {
                if (!ms::DecodeImage(file, image)) state.SkipWithError("decode failed");
            },
            1);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    state.counters["x_library"] = seconds / static_cast<double>(state.iterations()) / librarySeconds;
}

void BM_DecodeImagePng(benchmark::State& state) { DecodeImageAgainst(state, PngFile(), LibpngDecode); }
void BM_DecodeImageJpeg(benchmark::State& state) { DecodeImageAgainst(state, JpegFile(), LibjpegDecode); }

BENCHMARK(BM_LibpngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeImagePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeImageJpeg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
