#include "ui/style/Painting.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
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

// A painter takes its direction from the application, not from the widget it paints: an isolate is
// what gives a name its own direction within the row.
QString nameAlone(const QString& name) { return isolate(name); }

QString shownName(const QFontMetrics& metrics, const QString& name, int width) {
    return elideEnd(metrics, nameAlone(name), std::max(0, width));
}

void paintName(QPainter& painter, const QRectF& box, const QString& name, Qt::Alignment alignment) {
    const QString shown = shownName(QFontMetrics(painter.font()), name, static_cast<int>(std::floor(box.width())));
    painter.drawText(box, static_cast<int>(alignment), shown);
    notePaintedText(painter, box, shown);
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

QPolygonF denseLineBand(const QPolygonF& line, qreal width, qreal halfPen) {
    const auto columns = static_cast<std::size_t>(std::max<qreal>(1, std::ceil(width)));
    if (!(width > 0) || static_cast<std::size_t>(line.size()) < 2 * columns) return {};
    struct Column {
        qreal top = 0, bottom = 0;
        bool used = false;
    };
    std::vector<Column> band(columns);
    qreal left = width, right = 0;
    for (const QPointF& p : line) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) continue;
        const auto c = static_cast<std::size_t>(std::clamp<qreal>(std::floor(p.x()), 0, static_cast<qreal>(columns - 1)));
        Column& col = band[c];
        col.top = col.used ? std::min(col.top, p.y()) : p.y();
        col.bottom = col.used ? std::max(col.bottom, p.y()) : p.y();
        col.used = true;
        left = std::min(left, p.x());
        right = std::max(right, p.x());
    }
    QPolygonF out;
    out.reserve(static_cast<qsizetype>(2 * columns));
    const auto xOf = [&](std::size_t c) { return std::clamp(static_cast<qreal>(c) + 0.5, left, std::max(left, right)); };
    for (std::size_t c = 0; c < columns; ++c)
        if (band[c].used) out << QPointF(xOf(c), band[c].top - halfPen);
    for (std::size_t c = columns; c-- > 0;)
        if (band[c].used) out << QPointF(xOf(c), band[c].bottom + halfPen);
    return out;
}

void paintLine(QPainter& painter, const QPolygonF& line, qreal width, const QPen& pen) {
    const QPolygonF band = denseLineBand(line, width, pen.widthF() / 2);
    painter.save();
    if (band.isEmpty()) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(line);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(pen.brush());
        painter.drawPolygon(band);
    }
    painter.restore();
}

}  // namespace velmora
