// Draws the program's icons (32 x 32) and cursors (32 x 32, black on white outline) and writes
// them as PNG files into the folder given on the command line; the build embeds them with Qt's
// resource system. Usage: make_resources OUTPUT_DIR
#include <cmath>
#include <cstdio>
#include <functional>

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

using Draw = std::function<void(QPainter&)>;

QPen Pen(QColor color, double width) { return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void Cross(QPainter& p, QColor color) {
    p.setPen(Pen(color.darker(150), 7));
    p.drawLine(7, 7, 25, 25);
    p.drawLine(25, 7, 7, 25);
    p.setPen(Pen(color, 5));
    p.drawLine(7, 7, 25, 25);
    p.drawLine(25, 7, 7, 25);
}

void Page(QPainter& p, QRectF r) {
    p.setPen(Pen(Qt::black, 1));
    p.setBrush(Qt::white);
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 5, r.top());
    path.lineTo(r.right(), r.top() + 5);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

void Folder(QPainter& p, int dy) {
    p.setPen(Pen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(230, 190, 80));
    p.drawRect(QRectF(3, 9 + dy, 22, 16));
    p.drawRect(QRectF(3, 6 + dy, 9, 4));
    p.setBrush(QColor(250, 215, 110));
    QPolygonF open{{7, 14.0 + dy}, {30, 14.0 + dy}, {25, 25.0 + dy}, {3, 25.0 + dy}};
    p.drawPolygon(open);
}

void Curve(QPainter& p, const std::function<double(double)>& f) {
    p.fillRect(QRect(0, 0, 32, 32), Qt::white);
    p.setPen(Pen(Qt::gray, 1));
    p.drawLine(3, 28, 29, 28);
    p.drawLine(3, 28, 3, 3);
    QPainterPath path;
    for (int i = 0; i <= 26; ++i) {
        double t = i / 26.0;
        QPointF point(3 + 26 * t, 28 - 25 * f(t));
        if (i == 0) path.moveTo(point); else path.lineTo(point);
    }
    p.setPen(Pen(QColor(0, 0, 160), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Arrows(QPainter& p, QPointF c, double reach, QColor color, double width) {
    p.setPen(Pen(color, width));
    p.drawLine(QPointF(c.x() - reach, c.y()), QPointF(c.x() + reach, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - reach), QPointF(c.x(), c.y() + reach));
    const double h = reach / 3;
    for (int k = 0; k < 4; ++k) {
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(90 * k);
        p.drawLine(t.map(QPointF(reach, 0)), t.map(QPointF(reach - h, -h)));
        p.drawLine(t.map(QPointF(reach, 0)), t.map(QPointF(reach - h, h)));
    }
}

void CircularArrow(QPainter& p, QPointF c, double r, QColor color, double width) {
    p.setPen(Pen(color, width));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 30 * 16, 280 * 16);
    QPointF tip(c.x() + r * std::cos(30 * M_PI / 180), c.y() - r * std::sin(30 * M_PI / 180));
    p.drawLine(tip, tip + QPointF(-r * 0.55, -r * 0.1));
    p.drawLine(tip, tip + QPointF(r * 0.1, -r * 0.55));
}

void Bone(QPainter& p) {
    p.setPen(Pen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(245, 240, 225));
    p.drawEllipse(QRectF(2, 2, 7, 7));
    p.drawEllipse(QRectF(7, 0, 6, 6));
    p.drawEllipse(QRectF(19, 6, 6, 6));
    p.drawEllipse(QRectF(23, 1, 7, 7));
    p.save();
    p.translate(16, 6);
    p.rotate(0);
    p.drawRect(QRectF(-8, -2, 16, 4));
    p.restore();
}

struct Picture {
    const char* folder;
    int id;
    Draw draw;
};

// Cursors are drawn twice: a white outline under a black stroke, so they show on any colour.
Draw CursorShape(const std::function<void(QPainter&, QColor, double)>& shape) {
    return [shape](QPainter& p) {
        shape(p, Qt::white, 3);
        shape(p, Qt::black, 1);
    };
}

const Picture kPictures[] = {
    {"icons", 128, [](QPainter& p) {
         p.setPen(Pen(QColor(30, 40, 110), 1.5));
         p.setBrush(QColor(125, 125, 200));
         p.drawPolygon(QPolygonF{{16, 3}, {29, 9}, {16, 15}, {3, 9}});
         p.setBrush(QColor(90, 90, 170));
         p.drawPolygon(QPolygonF{{3, 9}, {16, 15}, {16, 29}, {3, 23}});
         p.setBrush(QColor(60, 60, 140));
         p.drawPolygon(QPolygonF{{29, 9}, {16, 15}, {16, 29}, {29, 23}});
     }},
    {"icons", 144, [](QPainter& p) { Curve(p, [](double t) { return t; }); }},
    {"icons", 145, [](QPainter& p) { Curve(p, [](double t) { return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t); }); }},
    {"icons", 146, [](QPainter& p) { Curve(p, [](double t) { return std::sin(1.570795 * t); }); }},
    {"icons", 147, [](QPainter& p) { Curve(p, [](double t) { return 1 - std::cos(1.570795 * t); }); }},
    {"icons", 148, [](QPainter& p) {
         p.setPen(Pen(Qt::black, 1));
         p.setBrush(Qt::white);
         p.drawPolygon(QPolygonF{{9, 3}, {9, 25}, {14, 20}, {18, 29}, {21, 28}, {17, 19}, {24, 19}});
     }},
    {"icons", 149, [](QPainter& p) { Arrows(p, {16, 16}, 13, Qt::black, 2); }},
    {"icons", 150, [](QPainter& p) { CircularArrow(p, {16, 16}, 11, Qt::black, 2.5); }},
    {"icons", 153, [](QPainter& p) { Page(p, QRectF(7, 3, 18, 26)); }},
    {"icons", 154, [](QPainter& p) { Folder(p, 0); }},
    {"icons", 155, [](QPainter& p) {
         p.setPen(Pen(Qt::black, 1));
         p.setBrush(QColor(40, 60, 140));
         p.drawRect(QRectF(4, 4, 24, 24));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(8, 4, 16, 10));
         p.setBrush(QColor(180, 180, 190));
         p.drawRect(QRectF(9, 19, 14, 9));
         p.fillRect(QRectF(18, 20, 3, 6), QColor(40, 60, 140));
     }},
    {"icons", 156, [](QPainter& p) {
         Page(p, QRectF(4, 3, 15, 20));
         Page(p, QRectF(13, 9, 15, 20));
     }},
    {"icons", 157, [](QPainter& p) {
         p.setPen(Pen(QColor(90, 60, 20), 1));
         p.setBrush(QColor(190, 140, 70));
         p.drawRoundedRect(QRectF(4, 5, 20, 24), 2, 2);
         p.setBrush(QColor(160, 160, 160));
         p.drawRect(QRectF(9, 2, 10, 5));
         Page(p, QRectF(14, 11, 14, 18));
     }},
    {"icons", 158, [](QPainter& p) { Cross(p, QColor(30, 170, 40)); }},
    {"icons", 159, [](QPainter& p) { Cross(p, QColor(230, 200, 20)); }},
    {"icons", 160, [](QPainter& p) {
         Folder(p, 4);
         Bone(p);
     }},
    {"icons", 161, [](QPainter& p) { Cross(p, QColor(40, 80, 220)); }},
    {"cursors", 130, CursorShape([](QPainter& p, QColor c, double w) {
         p.setPen(Pen(c, w));
         p.drawLine(QPointF(15.5, 3), QPointF(15.5, 28));
         p.drawLine(QPointF(3, 15.5), QPointF(28, 15.5));
     })},
    {"cursors", 132, CursorShape([](QPainter& p, QColor c, double w) { Arrows(p, {8.5, 8.5}, 7.5, c, w); })},
    {"cursors", 134, CursorShape([](QPainter& p, QColor c, double w) {
         CircularArrow(p, {13, 13}, 8, c, w);
         p.setPen(Pen(c, w));
         p.drawLine(QPointF(4, 8.5), QPointF(8, 8.5));
         p.drawLine(QPointF(6, 6.5), QPointF(6, 10.5));
     })},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_resources OUTPUT_DIR\n");
        return 2;
    }
    for (const Picture& picture : kPictures) {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, std::string(picture.folder) == "icons");
        picture.draw(painter);
        painter.end();
        QString path = QStringLiteral("%1/%2-%3.png").arg(argv[1], picture.folder).arg(picture.id);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "make_resources: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
