#include "ui/style/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace velmora {

namespace {

// Draws at 32 × 32 device pixels for a 16-point icon, so it stays crisp at a scale of 2.
QIcon drawn(const QColor& colour, const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(2, 2);
        p.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        draw(p);
    }
    pixmap.setDevicePixelRatio(2);
    return QIcon(pixmap);
}

}  // namespace

QIcon symbolIcon(SidebarItem item, const QColor& colour) {
    switch (item) {
        case SidebarItem::overview:
            return drawn(colour, [](QPainter& p) {
                for (int x : {2, 9})
                    for (int y : {2, 9}) p.drawRoundedRect(QRectF(x, y, 5, 5), 1, 1);
            });
        case SidebarItem::timeline:
            return drawn(colour, [](QPainter& p) {
                p.drawRoundedRect(QRectF(3, 2, 10, 12), 1.5, 1.5);
                p.drawLine(QPointF(6, 6), QPointF(10, 6));
                p.drawLine(QPointF(6, 9), QPointF(10, 9));
            });
        case SidebarItem::liveChart:
            return drawn(colour, [](QPainter& p) {
                p.drawLine(QPointF(2, 14), QPointF(14, 14));
                p.drawLine(QPointF(2, 2), QPointF(2, 14));
                p.drawPolyline(QPolygonF({QPointF(4, 11), QPointF(7, 7), QPointF(10, 9), QPointF(14, 4)}));
            });
        case SidebarItem::measure:
            return drawn(colour, [](QPainter& p) {
                p.drawLine(QPointF(4, 15), QPointF(4, 2));
                QPainterPath flag;
                flag.moveTo(4, 2.5);
                flag.lineTo(13, 2.5);
                flag.lineTo(11, 5.5);
                flag.lineTo(13, 8.5);
                flag.lineTo(4, 8.5);
                p.drawPath(flag);
            });
        case SidebarItem::apps:
            return drawn(colour, [](QPainter& p) {
                p.drawLine(QPointF(4, 14), QPointF(4, 8));
                p.drawLine(QPointF(8, 14), QPointF(8, 3));
                p.drawLine(QPointF(12, 14), QPointF(12, 6));
            });
        case SidebarItem::trends:
            return drawn(colour, [](QPainter& p) {
                p.drawPolyline(QPolygonF({QPointF(2, 13), QPointF(6, 9), QPointF(9, 11), QPointF(14, 4)}));
                p.drawPolyline(QPolygonF({QPointF(10, 4), QPointF(14, 4), QPointF(14, 8)}));
            });
        case SidebarItem::settings:
            return drawn(colour, [](QPainter& p) {
                p.drawEllipse(QPointF(8, 8), 2.2, 2.2);
                p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
                for (int i = 0; i < 8; ++i) {
                    p.save();
                    p.translate(8, 8);
                    p.rotate(45.0 * i);
                    p.drawLine(QPointF(0, -5.5), QPointF(0, -7.2));
                    p.restore();
                }
            });
        case SidebarItem::developer:
            return drawn(colour, [](QPainter& p) {
                p.drawPolyline(QPolygonF({QPointF(5, 4), QPointF(1.5, 8), QPointF(5, 12)}));
                p.drawPolyline(QPolygonF({QPointF(11, 4), QPointF(14.5, 8), QPointF(11, 12)}));
                p.drawLine(QPointF(9.5, 3), QPointF(6.5, 13));
            });
    }
    return {};
}

QIcon widgetSymbol(bool filled, const QColor& colour) {
    return drawn(colour, [filled, colour](QPainter& p) {
        QPen dashed = p.pen();
        dashed.setStyle(Qt::DashLine);
        dashed.setWidthF(1.1);
        p.setPen(dashed);
        p.drawRoundedRect(QRectF(1.5, 1.5, 9, 9), 1.5, 1.5);
        p.setPen(QPen(colour, 1.4));
        if (filled) p.setBrush(colour);
        p.drawRoundedRect(QRectF(5.5, 5.5, 9, 9), 1.5, 1.5);
    });
}

QIcon quitSymbol(const QColor& colour) {
    return drawn(colour, [](QPainter& p) {
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.drawLine(QPointF(6, 6), QPointF(10, 10));
        p.drawLine(QPointF(10, 6), QPointF(6, 10));
    });
}

}  // namespace velmora
