#pragma once
// Painted pieces shared by badges, delegates and cards: capsules, rings and names.
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPolygonF>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

namespace velmora {

// How a capsule looks: its font, padding, and the opacities of its fill, border and text over
// one colour. A border alpha of 0 draws no border.
struct CapsuleStyle {
    QFont font;
    qreal padX = 8;
    qreal padY = 3;
    qreal fillAlpha = 0.22;
    qreal borderAlpha = 0.55;
    qreal textAlpha = 1.0;
};

// The capsule's size around `text`.
QSize capsuleSize(const QString& text, const CapsuleStyle& style);

// A text capsule: a fill in `colour` at the fill alpha, the text in `textColour` at the text
// alpha, and a 1-px border drawn inside the edge in `colour` at the border alpha.
void paintCapsule(QPainter& painter, const QRectF& rect, const QString& text, const QColor& colour,
                  const CapsuleStyle& style, const QColor& textColour);
inline void paintCapsule(QPainter& painter, const QRectF& rect, const QString& text, const QColor& colour,
                         const CapsuleStyle& style) {
    paintCapsule(painter, rect, text, colour, style, colour);
}

// `name` shown alone (on its own line or in a column of names, not inside a sentence) in a
// left-to-right row, as the row draws it: isolated, so that it takes its own direction, that of its
// first strong letter ("(בדיקה) כלי" keeps its words in order, an emoji after an Arabic name stands
// on its left), while it starts where the row's other names do.
QString nameAlone(const QString& name);

// The same, cut to `width` with "…" at its cut end (for a right-to-left name, its left end).
QString shownName(const QFontMetrics& metrics, const QString& name, int width);

// `name` shown alone within `box`, cut to its width, placed by `alignment` as the row's other texts
// are, and noted as painted.
void paintName(QPainter& painter, const QRectF& box, const QString& name, Qt::Alignment alignment);

// A share ring: a pale full track and a round-ended arc from the top, clockwise, over `share` (0…1).
void paintRing(QPainter& painter, const QRectF& rect, double share, const QColor& accent, const QColor& track,
               qreal width = 3);

// A line with at least two points for each pixel column of `width` as a band: in each column, from
// its highest point to its lowest, widened by `halfPen` up and down, outlined along the top edge
// left to right and back along the bottom. Filling it costs a fraction of stroking thousands of
// sub-pixel segments, and at that density the two look alike. Empty for a sparser line.
QPolygonF denseLineBand(const QPolygonF& line, qreal width, qreal halfPen);

// `line` in `pen`: stroked, or filled as its band when it is dense.
void paintLine(QPainter& painter, const QPolygonF& line, qreal width, const QPen& pen);

}  // namespace velmora
