#pragma once
// Writers of the small texture images of the samples, one per format the image loader reads.
// BMP, TGA and DDS are encoded here byte by byte; JPEG and PNG go through libjpeg and libpng.
#include <cstdint>
#include <string>
#include <vector>

namespace samples {

// An RGBA image, rows from the top.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 255) {}
    std::uint8_t* At(int x, int y) { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
    const std::uint8_t* At(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

// Each returns false after printing the reason on stderr.
bool WriteBmp(const std::string& path, const Image& image);   // 24 bits, rows from the bottom
bool WriteTga(const std::string& path, const Image& image);   // 32 bits, run-length encoded
bool WriteDds(const std::string& path, const Image& image);   // DXT1 with every mip level
bool WriteJpeg(const std::string& path, const Image& image);  // baseline, quality 90
bool WritePng(const std::string& path, const Image& image);   // 8-bit RGBA

}  // namespace samples
