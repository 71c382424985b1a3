#include "ui/Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace horalux::ui {

namespace {

QPixmap blank(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QPixmap clockPicture(int size) {
    QPixmap pixmap = blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(0, 0, 128), s / 12));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(s * 0.08, s * 0.08, s * 0.84, s * 0.84));
    p.setPen(QPen(QColor(200, 0, 0), s / 14, Qt::SolidLine, Qt::RoundCap));
    const QPointF centre(s / 2, s / 2);
    p.drawLine(centre, QPointF(s / 2, s * 0.22));
    p.drawLine(centre, QPointF(s * 0.72, s / 2));
    return pixmap;
}

QIcon refreshIcon() {
    QPixmap pixmap = blank(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 110, 0), 2));
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(14, 1.5);
    head.lineTo(14, 7.5);
    head.lineTo(8.5, 5);
    head.closeSubpath();
    p.fillPath(head, QColor(0, 110, 0));
    return QIcon(pixmap);
}

QIcon connectIcon() {
    QPixmap pixmap = blank(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawRoundedRect(QRectF(3, 6, 8, 6), 1.5, 1.5);
    p.drawRect(QRectF(11, 8, 4, 2));
    p.drawRect(QRectF(0, 7, 3, 1.2));
    p.drawRect(QRectF(0, 10, 3, 1.2));
    return QIcon(pixmap);
}

QIcon lockIcon() {
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap = blank(size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        // The shackle, then the body over its ends.
        p.setPen(QPen(QColor(90, 90, 90), 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(4.9, 1.9, 6.2, 8), 3, 3);
        p.setPen(QPen(QColor(120, 80, 0), 1));
        p.setBrush(QColor(230, 175, 30));
        p.drawRoundedRect(QRectF(2.5, 7, 11, 8), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 60, 0));
        p.drawEllipse(QRectF(7, 9.3, 2, 2));
        p.drawRect(QRectF(7.6, 10.5, 0.8, 2.5));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace horalux::ui
