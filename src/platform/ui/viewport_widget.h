#pragma once
// The viewport: an etched frame whose area shows the last picture the device presented. A repaint
// only shows that picture again; it never draws a new frame. Mouse messages pass through to the
// dialog, in the dialog's client coordinates, as they do over a Win32 static frame.
#include <cstdint>

#include <QFrame>
#include <QImage>

namespace ms::ui {

class ViewportWidget : public QFrame {
    Q_OBJECT
public:
    explicit ViewportWidget(QWidget* parent);

    // Copies a presented picture (32-bit 0xAARRGGBB pixels, `pitch` bytes a row) and shows it.
    void ShowPicture(const std::uint32_t* pixels, int width, int height, int pitch);
    const QImage& picture() const { return picture_; }
    int paintCount() const { return paintCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    int paintCount_ = 0;
};

}  // namespace ms::ui
