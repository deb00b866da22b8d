#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include <gtest/gtest.h>

#include "image_fixtures.h"

namespace ms {
namespace {

using test::ByteVector;
using test::MakeJpeg;

// libjpeg's own decode of `jpeg` as R,G,B bytes.
ByteVector LibjpegRgb(const ByteVector& jpeg) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    ByteVector rgb(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * cinfo.output_width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return rgb;
}

// 32 x 32: red, green, blue and white quadrants with a faint ramp, as `components` channels.
ByteVector Quadrants(int components) {
    ByteVector out;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const std::uint32_t colour[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
            const std::uint32_t c = colour[(y / 16) * 2 + x / 16];
            if (components == 1) {
                out.push_back(static_cast<std::uint8_t>(x * 8));
            } else {
                for (int shift : {16, 8, 0}) out.push_back(static_cast<std::uint8_t>((c >> shift & 0xFF) ^ (x & 3)));
            }
        }
    }
    return out;
}

void ExpectNear(std::uint32_t texel, std::uint32_t argb, int tolerance) {
    for (int shift : {24, 16, 8, 0}) {
        const int got = texel >> shift & 0xFF, want = argb >> shift & 0xFF;
        EXPECT_NEAR(got, want, tolerance) << std::hex << "texel " << texel << " against " << argb;
    }
}

TEST(Jpeg, GreyAndColourGiveLibjpegsOwnTexelsOpaque) {
    struct Case {
        const char* name;
        ByteVector jpeg;
    };
    const Case cases[] = {
        {"colour", MakeJpeg(32, 32, 3, JCS_RGB, Quadrants(3))},
        {"progressive colour", MakeJpeg(32, 32, 3, JCS_RGB, Quadrants(3), true)},
        {"grey", MakeJpeg(32, 32, 1, JCS_GRAYSCALE, Quadrants(1))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image = test::DecodeOrFail(c.jpeg);
        const ByteVector rgb = LibjpegRgb(c.jpeg);
        ASSERT_EQ(image.pixels.size() * 3, rgb.size());
        for (std::size_t i = 0; i < image.pixels.size(); ++i) {
            const std::uint32_t want = 0xFF000000u | rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
            ASSERT_EQ(image.pixels[i], want) << "texel " << i;
        }
    }
    Image colour = test::DecodeOrFail(cases[0].jpeg);
    ExpectNear(colour.At(8, 8), 0xFFFF0000, 8);
    ExpectNear(colour.At(24, 8), 0xFF00FF00, 8);
    ExpectNear(colour.At(8, 24), 0xFF0000FF, 8);
    ExpectNear(colour.At(24, 24), 0xFFFFFFFF, 8);
}

TEST(Jpeg, AdobeCmykIsStoredInverted) {
    // C, M, Y, K as Adobe writes them: 255 is no ink.
    ByteVector cmyk;
    for (int i = 0; i < 16 * 16; ++i) cmyk.insert(cmyk.end(), {255, 128, 0, 255});
    Image image = test::DecodeOrFail(MakeJpeg(16, 16, 4, JCS_CMYK, cmyk));
    ExpectNear(image.At(7, 7), 0xFFFF8000, 3);
}

TEST(Jpeg, CorruptAndOversizedFilesAreRefusedWithTheirReason) {
    const ByteVector small = MakeJpeg(8, 8, 1, JCS_GRAYSCALE, ByteVector(64, 0x80));
    ByteVector noFrame(small.begin(), small.begin() + 4);
    noFrame.insert(noFrame.end(), {0xFF, 0xD9});
    struct Case {
        const char* name;
        ByteVector bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"no frame", noFrame, "JPEG: "},
        {"frame header too short", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0xFF, 0xD9}, "JPEG: "},
        {"cut short", ByteVector(small.begin(), small.end() - 2), "Premature end of JPEG file"},
        {"too wide", MakeJpeg(16385, 1, 1, JCS_GRAYSCALE, ByteVector(16385, 0)), "larger than 16384"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = test::RefusalOf(ImageFormat::Jpeg, c.bytes);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(reason.rfind("JPEG: ", 0), 0u) << reason;
    }
}

}  // namespace
}  // namespace ms
