#include "UProgramIcon.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <cmath>

namespace {

// Both pictures are drawn per pixel size rather than scaled, so that the 16-pixel forms keep
// whole-pixel edges and the large forms get finer detail. 2x screens pick the doubled sizes.
const int IconSizes[] = {16, 24, 32, 48, 64, 96, 128};

// A stylised processor chip: a dark package with gold pins on all four sides and a light die
// in the middle carrying a small "2" where there is room for it.
QPixmap DrawChip(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, size > 16);

    const double s = size;
    const double pinLength = std::max(2.0, std::round(s * 0.16));
    const double body = s - 2 * pinLength;
    const QRectF bodyRect(pinLength, pinLength, body, body);

    const int pins = size < 24 ? 3 : size < 48 ? 4 : 6;
    const double pitch = body / pins;
    const double pinWidth = std::max(1.0, std::round(pitch * 0.45));
    const QColor pinColour(0xd4, 0xa0, 0x17);
    for (int i = 0; i < pins; ++i) {
        const double c = std::round(pinLength + pitch * (i + 0.5) - pinWidth / 2);
        p.fillRect(QRectF(c, 0, pinWidth, pinLength), pinColour);
        p.fillRect(QRectF(c, s - pinLength, pinWidth, pinLength), pinColour);
        p.fillRect(QRectF(0, c, pinLength, pinWidth), pinColour);
        p.fillRect(QRectF(s - pinLength, c, pinLength, pinWidth), pinColour);
    }

    const double radius = size > 16 ? s * 0.06 : 0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x3a, 0x5f));
    p.drawRoundedRect(bodyRect, radius, radius);

    const double inset = std::max(2.0, std::round(body * 0.22));
    const QRectF die = bodyRect.adjusted(inset, inset, -inset, -inset);
    p.setBrush(QColor(0x5f, 0xb3, 0xe8));
    p.drawRoundedRect(die, radius / 2, radius / 2);

    if (size >= 32) {
        QFont font;
        font.setBold(true);
        font.setPixelSize(int(die.height() * 0.8));
        p.setFont(font);
        p.setPen(QColor(0x0b, 0x1d, 0x33));
        p.drawText(die, Qt::AlignCenter, QStringLiteral("2"));
    }
    return pixmap;
}

// The stop entry: a red octagon with a white square, the traffic sign everybody knows.
QPixmap DrawStop(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    const double s = size;
    const double margin = size <= 16 ? 0.5 : s * 0.04;
    const double side = s - 2 * margin;
    const double cut = side * 0.2929; // a regular octagon's corner cut: side * (1 - 1/sqrt 2)
    QPolygonF octagon;
    octagon << QPointF(margin + cut, margin) << QPointF(margin + side - cut, margin)
            << QPointF(margin + side, margin + cut) << QPointF(margin + side, margin + side - cut)
            << QPointF(margin + side - cut, margin + side) << QPointF(margin + cut, margin + side)
            << QPointF(margin, margin + side - cut) << QPointF(margin, margin + cut);
    p.setPen(QPen(QColor(0x8b, 0x0e, 0x0e), std::max(1.0, s / 16)));
    p.setBrush(QColor(0xd9, 0x22, 0x22));
    p.drawPolygon(octagon);

    const double square = std::round(s * 0.375);
    const double at = std::round((s - square) / 2);
    p.fillRect(QRectF(at, at, square, square), Qt::white);
    return pixmap;
}

QIcon Build(QPixmap (*draw)(int)) {
    QIcon icon;
    for (int size : IconSizes)
        icon.addPixmap(draw(size));
    return icon;
}

} // namespace

// Not cached: a static QIcon would outlive the application object that its pixmaps need.
QIcon ProgramIcon() {
    return Build(DrawChip);
}

QIcon StopBitmap() {
    return Build(DrawStop);
}
