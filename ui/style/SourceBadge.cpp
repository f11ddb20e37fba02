#include "ui/style/SourceBadge.h"

#include <QPainter>

#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {
// Secondary tone at 0.18 for the fill, the label in the default tone, no border.
CapsuleStyle sourceStyle(const QFont& base) { return {roleFont(TextRole::caption2, base, QFont::DemiBold), 6, 2, 0.18, 0, 1}; }

QString labelOf(SensorSource source) {
    const std::string_view text = label(source);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

SourceBadge::SourceBadge(SensorSource source, QWidget* parent) : QWidget(parent), source_(source) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(labelOf(source_));
}

void SourceBadge::setSource(SensorSource source) {
    if (source == source_) return;
    source_ = source;
    setAccessibleName(labelOf(source_));
    updateGeometry();
    update();
}

QSize SourceBadge::sizeFor(SensorSource source, const QFont& base) { return capsuleSize(labelOf(source), sourceStyle(base)); }

void SourceBadge::paint(QPainter& painter, const QPointF& topLeft, SensorSource source, const QFont& base,
                        const QColor& secondary) {
    const QRectF rect(topLeft, QSizeF(sizeFor(source, base)));
    // The fill is the secondary tone at 0.18 of its own opacity; the label is in the default tone,
    // the same colour at full opacity.
    const QColor opaque(secondary.red(), secondary.green(), secondary.blue());
    CapsuleStyle style = sourceStyle(base);
    style.fillAlpha = 0.18 * secondary.alphaF();
    paintCapsule(painter, rect, labelOf(source), opaque, style, opaque);
}

QSize SourceBadge::sizeHint() const { return sizeFor(source_, font()); }

void SourceBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QPointF(0, 0), source_, font(), palette::secondaryText(this));
}

}  // namespace velmora
