#include <cstddef>
#include <cstdio>
#include <filesystem>

#include <jpeglib.h>
#include <png.h>

#include <gtest/gtest.h>

#include "image_fixtures.h"
#include "support/temp_dir.h"

namespace ms {
namespace {

using test::ByteVector;
using test::TempDir;

struct Fixture {
    const char* name;
    ImageFormat format;
    ByteVector bytes;
};

// One small valid file of each decoder path.
std::vector<Fixture> Fixtures() {
    ByteVector rgb(12 * 10 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7);
    test::PngSpec rgba{.width = 3, .height = 2, .colourType = PNG_COLOR_TYPE_RGB_ALPHA, .depth = 8};
    for (int i = 0; i < 24; ++i) rgba.samples.push_back(static_cast<std::uint16_t>(i * 11));
    test::PngSpec palette{.width = 5, .height = 5, .colourType = PNG_COLOR_TYPE_PALETTE, .depth = 2,
                          .samples = std::vector<std::uint16_t>(25, 3), .palette = {1, 2, 3, 4}, .paletteAlpha = {9},
                          .interlaced = true};
    ByteVector block(16, 0x5A);
    return {
        {"BMP 8 bits", ImageFormat::Bmp,
         test::MakeBmp({.width = 3, .bits = 8, .colorsUsed = 2, .palette = {1, 2}, .rows = {{0, 1, 0}, {1, 1, 0}}})},
        {"BMP 16 bits with masks", ImageFormat::Bmp,
         test::MakeBmp({.bits = 16, .compression = 3, .masks = {0xF800, 0x7E0, 0x1F}, .rows = {{1, 2, 3, 4}, {5, 6, 7, 8}}})},
        {"BMP run-length", ImageFormat::Bmp,
         test::MakeBmp({.width = 4, .height = 2, .bits = 4, .compression = 2, .colorsUsed = 3, .palette = {1, 2, 3},
                        .rows = {{4, 0x12, 0, 0, 0, 3, 0x31, 0x20, 1, 0x30, 0, 1}}})},
        {"TGA raw", ImageFormat::Tga, test::MakeTga({.data = ByteVector(12, 0x33)})},
        {"TGA run-length colour map", ImageFormat::Tga,
         test::MakeTga({.imageType = 9, .mapType = 1, .mapLength = 2, .mapBits = 24, .bits = 8, .id = {7},
                        .map = ByteVector(6, 0x44), .data = {0x81, 1, 0x01, 0, 1}})},
        {"DDS DXT1 mip chain", ImageFormat::Dds,
         test::MakeDds({.width = 6, .height = 6, .mipCount = 3, .data = ByteVector(48, 0x21)})},
        {"DDS DXT5", ImageFormat::Dds, test::MakeDds({.fourCC = test::kDxt5, .data = block})},
        {"DDS A8R8G8B8", ImageFormat::Dds,
         test::MakeDds({.width = 2, .height = 2, .pfFlags = test::kDdsRgb | test::kDdsAlphaPixels, .fourCC = 0, .bits = 32,
                        .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, .data = ByteVector(16, 0x77)})},
        {"PNG", ImageFormat::Png, test::MakePng(rgba)},
        {"PNG interlaced palette", ImageFormat::Png, test::MakePng(palette)},
        {"JPEG", ImageFormat::Jpeg, test::MakeJpeg(12, 10, 3, JCS_RGB, rgb)},
        {"JPEG progressive", ImageFormat::Jpeg, test::MakeJpeg(12, 10, 3, JCS_RGB, rgb, true)},
    };
}

Image Sentinel() {
    Image image;
    image.width = image.height = 1;
    image.pixels = {0x12345678};
    return image;
}

TEST(DecodeImage, TheContentChoosesTheDecoder) {
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(DetectImageFormat(f.bytes), f.format);
        Image image = test::DecodeOrFail(f.bytes);
        EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width) * image.height);
    }
    TempDir dir;
    const std::vector<Fixture> fixtures = Fixtures();
    const std::string misnamed = dir.Path("really-a-png.bmp");
    test::WriteFileBytes(misnamed, fixtures[8].bytes);
    Image image;
    ASSERT_TRUE(DecodeImageFile(misnamed, image)) << "the extension must not matter";
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.At(0, 0), 0x21000B16u);  // R 0, G 11, B 22, A 33
}

TEST(DecodeImage, EveryTruncatedPrefixIsRefusedAndLeavesTheImage) {
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.name);
        for (std::size_t size = 0; size < f.bytes.size(); ++size) {
            const std::span<const std::uint8_t> prefix(f.bytes.data(), size);
            Image image = Sentinel();
            Status as = DecodeImageAs(f.format, prefix, image);
            Status detected = DecodeImage(prefix, image);
            ASSERT_FALSE(as.ok()) << size << " bytes accepted";
            ASSERT_FALSE(detected.ok()) << size << " bytes accepted";
            EXPECT_FALSE(as.message().empty());
            ASSERT_EQ(image.pixels, Sentinel().pixels) << "changed by a refused prefix of " << size << " bytes";
        }
    }
}

// Each file is followed by 2 GB of nothing (a sparse file): only what the header says the image
// needs is read, so every one decodes as its bytes alone do, and a header that asks for too
// large an image is refused without reading on.
TEST(DecodeImage, FileIsReadOnlyAsFarAsItsHeaderNeeds) {
    TempDir dir;
    const std::string path = dir.Path("padded");
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.name);
        test::WriteFileBytes(path, f.bytes);
        std::filesystem::resize_file(path, (2ull << 30) + f.bytes.size());
        Image fromFile;
        ASSERT_TRUE(DecodeImageFile(path, fromFile));
        EXPECT_EQ(fromFile.pixels, test::DecodeOrFail(f.bytes).pixels);
    }
    test::WriteFileBytes(path, test::MakeTga({.width = 16384, .height = 16384, .bits = 32}));
    std::filesystem::resize_file(path, 2ull << 30);
    Image image = Sentinel();
    Status s = DecodeImageFile(path, image);
    EXPECT_NE(s.message().find("TGA: image of 16384 x 16384 texels needs"), std::string::npos) << s.message();
    EXPECT_EQ(image.pixels, Sentinel().pixels);
}

TEST(DecodeImage, FileErrorsNameThePath) {
    TempDir dir;
    Image image = Sentinel();
    Status missing = DecodeImageFile(dir.Path("missing.png"), image);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.message().find("missing.png"), std::string::npos) << missing.message();
    test::WriteFileBytes(dir.Path("bad.dds"), {'D', 'D', 'S', ' ', 1, 2, 3});
    Status bad = DecodeImageFile(dir.Path("bad.dds"), image);
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.message().find("bad.dds': DDS: "), std::string::npos) << bad.message();
    test::WriteFileBytes(dir.Path("noise"), ByteVector(40, 0xEE));
    Status noise = DecodeImageFile(dir.Path("noise"), image);
    ASSERT_FALSE(noise.ok());
    EXPECT_NE(noise.message().find("no BMP, DDS, PNG or JPEG signature; as TGA: "), std::string::npos) << noise.message();
    EXPECT_EQ(image.pixels, Sentinel().pixels);
}

TEST(WritePng, RoundTripsOpaqueAndTranslucentImages) {
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::uint32_t> pixels;
        std::uint8_t colourType;
    };
    const Case cases[] = {
        {"opaque as RGB", {0xFF102030, 0xFFFFFFFF, 0xFF000000, 0xFF7F8081, 0xFF010203, 0xFFFEFDFC}, PNG_COLOR_TYPE_RGB},
        {"translucent as RGBA", {0xFF102030, 0x00FFFFFF, 0x80000000, 0xFE7F8081, 0x01010203, 0xFFFEFDFC},
         PNG_COLOR_TYPE_RGB_ALPHA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageLevel level{3, 2, c.pixels};
        const std::string path = dir.Path("out.png");
        ASSERT_TRUE(WritePng(path, level));
        const ByteVector bytes = test::ReadFileBytes(path);
        ASSERT_GT(bytes.size(), 25u);
        EXPECT_EQ(bytes[25], c.colourType);
        EXPECT_EQ(test::DecodeOrFail(bytes).pixels, c.pixels);
    }
}

TEST(WritePng, RefusesAnInconsistentImageAndKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.Path("keep.png");
    test::WriteFileBytes(path, {1, 2, 3});
    const ImageLevel cases[] = {{3, 2, {0, 0, 0}}, {0, 0, {}}, {-1, -2, {0, 0}}, {kMaxImageSide + 1, 1, {}}};
    for (const ImageLevel& level : cases) {
        Status s = WritePng(path, level);
        EXPECT_FALSE(s.ok());
        EXPECT_NE(s.message().find("keep.png"), std::string::npos) << s.message();
    }
    EXPECT_EQ(test::ReadFileBytes(path), (ByteVector{1, 2, 3}));
    EXPECT_FALSE(WritePng(dir.Path("no-such-dir/x.png"), ImageLevel{1, 1, {0}}).ok());
}

}  // namespace
}  // namespace ms
