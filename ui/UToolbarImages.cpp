#include "UToolbarImages.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace {

// Paints image index on a 16x16 logical grid; the painter is scaled for larger pixmaps.
void PaintImage(QPainter& p, int index) {
    const QColor ink(40, 40, 40);
    const QColor green(30, 150, 60);
    p.setPen(QPen(ink, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (index) {
    case 0: { // open: a folder with its lid lifted
        p.setBrush(QColor(230, 180, 60));
        p.drawPolygon(QPolygonF{{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {13.5, 5}, {13.5, 13.5}, {1.5, 13.5}});
        p.setBrush(QColor(250, 215, 110));
        p.drawPolygon(QPolygonF{{1.5, 13.5}, {4, 7.5}, {15.5, 7.5}, {13.5, 13.5}});
        break;
    }
    case 1: { // step: one arrow up to a bar
        p.setBrush(QColor(40, 110, 200));
        p.drawPolygon(QPolygonF{{2, 4}, {9, 8}, {2, 12}});
        p.setBrush(ink);
        p.drawRect(QRectF(11, 3.5, 2.5, 9));
        break;
    }
    case 2: { // run: a play triangle
        p.setBrush(green);
        p.drawPolygon(QPolygonF{{3.5, 2.5}, {13.5, 8}, {3.5, 13.5}});
        break;
    }
    case 3: // pause: two bars
        p.setBrush(QColor(220, 150, 30));
        p.drawRect(QRectF(3.5, 2.5, 3, 11));
        p.drawRect(QRectF(9.5, 2.5, 3, 11));
        break;
    case 4: { // resume: a bar, then a play triangle
        p.setBrush(QColor(220, 150, 30));
        p.drawRect(QRectF(2.5, 2.5, 2.5, 11));
        p.setBrush(green);
        p.drawPolygon(QPolygonF{{7, 2.5}, {14.5, 8}, {7, 13.5}});
        break;
    }
    default: // stop: a red square
        p.setBrush(QColor(210, 40, 40));
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 1.5, 1.5);
        break;
    }
}

QPixmap Render(int index, int pixels) {
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(pixels / 16.0, pixels / 16.0);
    PaintImage(p, index);
    return pixmap;
}

} // namespace

QIcon ToolbarImage(int index) {
    QIcon icon;
    icon.addPixmap(Render(index, 16));
    icon.addPixmap(Render(index, 32));
    return icon;
}
