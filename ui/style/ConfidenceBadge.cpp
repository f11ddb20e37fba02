#include "ui/style/ConfidenceBadge.h"

#include <QPainter>

#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {
CapsuleStyle badgeStyle(const QFont& base) { return {roleFont(TextRole::caption, base, QFont::DemiBold), 8, 3, 0.22, 0.55}; }

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
}  // namespace

ConfidenceBadge::ConfidenceBadge(ConfidenceLevel level, QWidget* parent) : QWidget(parent), level_(level) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(qText(howSureText(level_)));
}

void ConfidenceBadge::setLevel(ConfidenceLevel level) {
    if (level == level_) return;
    level_ = level;
    setAccessibleName(qText(howSureText(level_)));
    updateGeometry();
    update();
}

QString ConfidenceBadge::text() const { return qText(label(level_)); }

QSize ConfidenceBadge::sizeHint() const { return capsuleSize(text(), badgeStyle(font())); }

void ConfidenceBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintCapsule(painter, QRectF(rect()), text(), palette::forConfidence(level_), badgeStyle(font()));
}

}  // namespace velmora
