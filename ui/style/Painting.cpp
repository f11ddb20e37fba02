#include "ui/style/Painting.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "ui/style/Palette.h"
#include "ui/style/TextReport.h"

namespace velmora {

QSize capsuleSize(const QString& text, const CapsuleStyle& style) {
    const QFontMetricsF metrics(style.font);
    return QSize(static_cast<int>(std::ceil(metrics.horizontalAdvance(text) + 2 * style.padX)),
                 static_cast<int>(std::ceil(metrics.height() + 2 * style.padY)));
}

void paintCapsule(QPainter& painter, const QRectF& rect, const QString& text, const QColor& colour,
                  const CapsuleStyle& style, const QColor& textColour) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = rect.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::withAlpha(colour, style.fillAlpha));
    painter.drawRoundedRect(rect, radius, radius);
    painter.setFont(style.font);
    painter.setPen(palette::withAlpha(textColour, style.textAlpha));
    painter.drawText(rect, Qt::AlignCenter, text);
    notePaintedText(painter, rect, text);
    if (style.borderAlpha > 0) {
        // Inside the shape's edge: the stroke's centre runs half its width in.
        const QRectF inner = rect.adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(palette::withAlpha(colour, style.borderAlpha), 1));
        painter.drawRoundedRect(inner, inner.height() / 2, inner.height() / 2);
    }
    painter.restore();
}

void paintRing(QPainter& painter, const QRectF& rect, double share, const QColor& accent, const QColor& track,
               qreal width) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(track, width));
    painter.drawEllipse(r);
    const double clamped = std::isfinite(share) ? std::clamp(share, 0.0, 1.0) : 0.0;
    if (clamped > 0) {
        painter.setPen(QPen(accent, width, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(r, 90 * 16, -static_cast<int>(std::lround(clamped * 5760)));
    }
    painter.restore();
}

}  // namespace velmora
