#include "platform/d3d8/present_target.h"

#include <cstring>

namespace ms {

void OffscreenTarget::Present(const std::uint32_t* pixels, int width, int height, int pitch) {
    pixels_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const auto* row = reinterpret_cast<const unsigned char*>(pixels);
    for (int y = 0; y < height; ++y, row += pitch)
        std::memcpy(pixels_.data() + static_cast<std::size_t>(y) * width, row, width * sizeof(std::uint32_t));
    frameWidth_ = width;
    frameHeight_ = height;
    ++presentCount_;
}

std::uint32_t OffscreenTarget::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= frameWidth_ || y >= frameHeight_) return 0;
    return pixels_[static_cast<std::size_t>(y) * frameWidth_ + x];
}

}  // namespace ms
