#include "ui/main/setup/FormSection.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/main/overview/PageParts.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {

// Painted rather than styled: a style sheet here would restyle every button inside the card.
class FormCard final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor text = palette::primaryText(this);
        p.setPen(QPen(palette::withAlpha(text, 0.10), 1));
        p.setBrush(palette::withAlpha(text, 0.05));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }
};

}  // namespace

FormSection formSection(QWidget* parent, const QString& heading) {
    FormSection s;
    s.box = new QWidget(parent);
    auto* column = new QVBoxLayout(s.box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    if (!heading.isEmpty()) {
        s.heading = textLabel(heading, roleFont(TextRole::headline, QFont::DemiBold), palette::primaryText(parent), s.box);
        s.heading->setWordWrap(true);
        column->addWidget(s.heading);
    }
    s.card = new FormCard(s.box);
    s.card->setObjectName("formCard");
    s.rows = new QVBoxLayout(s.card);
    s.rows->setContentsMargins(14, 12, 14, 12);
    s.rows->setSpacing(8);
    column->addWidget(s.card);
    return s;
}

QLabel* formText(const QString& text, TextRole role, const QColor& colour, QWidget* parent, int weight) {
    auto* label = textLabel(text, roleFont(role, static_cast<QFont::Weight>(weight)), colour, parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace velmora
