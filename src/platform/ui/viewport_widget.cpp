#include "platform/ui/viewport_widget.h"

#include <QPainter>

namespace ms::ui {

ViewportWidget::ViewportWidget(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Sunken);  // etched
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ViewportWidget::ShowPicture(const std::uint32_t* pixels, int width, int height, int pitch) {
    QImage view(reinterpret_cast<const uchar*>(pixels), width, height, pitch, QImage::Format_RGB32);
    picture_ = view.copy();
    ++presentCount_;
    repaint();
}

void ViewportWidget::paintEvent(QPaintEvent* event) {
    ++paintCount_;
    if (picture_.isNull()) {
        QPainter(this).fillRect(rect(), palette().window());
        QFrame::paintEvent(event);
        return;
    }
    QPainter(this).drawImage(QPoint(0, 0), picture_);
}

}  // namespace ms::ui
