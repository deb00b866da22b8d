#pragma once
// The viewport: an etched frame whose area shows the last picture the device presented. A repaint
// only shows that picture again; it never draws a new frame. Mouse messages pass through to the
// dialog, in the dialog's client coordinates, as they do over a Win32 static frame.
#include <cstdint>

#include <QFrame>
#include <QImage>

#include "platform/d3d8/present_target.h"

namespace ms::ui {

// It is also the window a device draws for: the device's back buffer is its size.
class ViewportWidget : public QFrame, public DevicePresentTarget {
    Q_OBJECT
public:
    explicit ViewportWidget(QWidget* parent);

    int ClientWidth() const override { return width(); }
    int ClientHeight() const override { return height(); }
    void Present(const std::uint32_t* pixels, int w, int h, int pitch) override { ShowPicture(pixels, w, h, pitch); }

    // Copies a presented picture (32-bit 0xAARRGGBB pixels, `pitch` bytes a row) and shows it.
    void ShowPicture(const std::uint32_t* pixels, int width, int height, int pitch);
    const QImage& picture() const { return picture_; }
    int paintCount() const { return paintCount_; }
    int presentCount() const { return presentCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    int paintCount_ = 0;
    int presentCount_ = 0;
};

}  // namespace ms::ui
