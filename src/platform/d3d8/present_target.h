#pragma once
// The window a device draws for (HWND of the Direct3D interfaces): it tells its client size and
// receives the back buffer on Present. The editor's viewport widget implements it; batch runs
// and tests use OffscreenTarget.
#include <cstdint>
#include <vector>

namespace ms {

class DevicePresentTarget {
public:
    virtual ~DevicePresentTarget() = default;
    // Client size in pixels; a device takes its back-buffer size from it when it is created.
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    // Shows a presented frame: width x height pixels 0xAARRGGBB, rows top first, `pitch` bytes
    // from one row to the next. The pixels are valid only during the call.
    virtual void Present(const std::uint32_t* pixels, int width, int height, int pitch) = 0;
};

// A target without a window: it keeps a copy of the last presented frame.
class OffscreenTarget : public DevicePresentTarget {
public:
    OffscreenTarget(int width, int height) : width_(width), height_(height) {}

    int ClientWidth() const override { return width_; }
    int ClientHeight() const override { return height_; }
    void Present(const std::uint32_t* pixels, int width, int height, int pitch) override;

    // The last presented frame (empty before the first Present), width() x height() pixels.
    const std::vector<std::uint32_t>& pixels() const { return pixels_; }
    int frameWidth() const { return frameWidth_; }
    int frameHeight() const { return frameHeight_; }
    int presentCount() const { return presentCount_; }
    // Pixel (x, y) of the last frame; 0 outside it.
    std::uint32_t Pixel(int x, int y) const;

private:
    int width_, height_;
    std::vector<std::uint32_t> pixels_;
    int frameWidth_ = 0, frameHeight_ = 0;
    int presentCount_ = 0;
};

}  // namespace ms
