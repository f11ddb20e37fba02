#include "ui/main/glance/LiveGlanceCharts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/main/ElidedLabel.h"
#include "ui/style/Fonts.h"
#include "ui/style/MarkedSparkline.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {
QLabel* label(QWidget* parent, const QFont& font, const QColor& colour) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    return l;
}
void setColour(QLabel* l, const QColor& colour) {
    if (l->palette().color(QPalette::WindowText) == colour) return;
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
}
// The figures change every second. A label of fixed size asks no layout to run again when its
// text changes, so each is held at its text's size: a new figure of the same size repaints the
// label alone, one of another size lays the window out as a free label's would. The size is
// measured as QLabel does, not taken from its size hint, which never falls below the size the
// label is held at: a label would keep the widest figure it ever showed.
void setText(QLabel* l, const std::string& s) {
    const QString text = QString::fromStdString(s);
    if (l->text() != text) l->setText(text);
    const QMargins m = l->contentsMargins();
    const QSize size = l->fontMetrics().boundingRect(0, 0, 2000, 2000, Qt::AlignLeft, text).size() +
                       QSize(m.left() + m.right(), m.top() + m.bottom()) + QSize(2 * l->margin(), 2 * l->margin());
    if (l->minimumSize() != size || l->maximumSize() != size) l->setFixedSize(size);
}
}  // namespace

LiveGlanceCharts::Card::Card(const QColor& colour, QWidget* parent) : QWidget(parent), colour_(colour) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(10, 10, 10, 10);
    stack->setSpacing(4);
    // The title shares the figures' line while it fits whole; a narrower card gives it a line of
    // its own rather than cutting it to a few letters.
    titleRow_ = new QHBoxLayout;
    titleRow_->setSpacing(6);
    figureRow_ = new QHBoxLayout;
    figureRow_->setSpacing(6);
    title_ = new ElidedLabel(1, this);
    title_->setFont(roleFont(TextRole::caption2, QFont::DemiBold));
    title_->setColor(palette::secondaryText(this));
    title_->setObjectName("glanceTitle");
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    value_ = label(this, numberFont(roleFont(TextRole::callout, QFont::Bold)), palette::primaryText(this));
    value_->setObjectName("glanceValue");
    trend_ = label(this, numberFont(roleFont(TextRole::caption2, QFont::DemiBold)), palette::secondaryText(this));
    trend_->setObjectName("glanceTrend");
    titleRow_->addWidget(title_, 1, Qt::AlignVCenter);
    figureRow_->addWidget(value_, 0, Qt::AlignBaseline);
    figureRow_->addWidget(trend_, 0, Qt::AlignBaseline);
    titleRow_->addLayout(figureRow_);
    stack->addLayout(titleRow_);
    // A card made taller by its neighbour keeps its figures at the top, level with the other card's,
    // and its line at the bottom.
    stack->addStretch(1);
    line_ = new MarkedSparkline(this);
    line_->setFixedHeight(48);
    stack->addWidget(line_);
}

void LiveGlanceCharts::Card::set(const GlanceCard& card) {
    // A long app name gives way to the figures; the whole name stays in the tooltip. The name stands
    // alone, so it takes its own direction.
    const QString title = QString::fromStdString(card.title);
    if (const QString shown = nameAlone(title); title_->text() != shown) {
        title_->setText(shown);
        title_->setToolTip(title);
    }
    setText(value_, card.value);
    setText(trend_, card.trend);
    placeTitle();
    setColour(trend_, card.trendColoured ? colour_ : palette::secondaryText(this));
    line_->setData(card.line, colour_);
    const QString name = title + ", " + QString::fromStdString(card.value) +
                         (card.trend == " " ? QString() : ", " + QString::fromStdString(card.trend));
    if (accessibleName() != name) setAccessibleName(name);
}

void LiveGlanceCharts::Card::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeTitle();
}

QSize LiveGlanceCharts::Card::minimumSizeHint() const {
    // Figures that do not fit side by side go one under the other: only the wider holds the card
    // open, so two wide figures never widen the column.
    const QMargins m = layout()->contentsMargins();
    return {m.left() + m.right() + std::max(value_->minimumWidth(), trend_->minimumWidth()),
            QWidget::minimumSizeHint().height()};
}

void LiveGlanceCharts::Card::placeTitle() {
    const QMargins m = layout()->contentsMargins();
    const int room = width() - m.left() - m.right();
    const int figures = value_->minimumWidth() + figureRow_->spacing() + trend_->minimumWidth();
    const int needed = title_->fontMetrics().horizontalAdvance(title_->text()) + titleRow_->spacing() + figures;
    // Only a card whose title is above may be too narrow for the figures side by side.
    const bool stacked = figures > room;
    if (stacked != figuresStacked_) {
        figuresStacked_ = stacked;
        figureRow_->setDirection(stacked ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    }
    const bool above = needed > room;
    if (above == titleAbove_) return;
    titleAbove_ = above;
    titleRow_->removeItem(figureRow_);
    figureRow_->setParent(nullptr);  // a layout joins another only without a parent
    auto* stack = static_cast<QBoxLayout*>(layout());
    if (above) {
        figureRow_->addStretch(1);
        stack->insertLayout(1, figureRow_);
    } else {
        stack->removeItem(figureRow_);
        figureRow_->setParent(nullptr);
        delete figureRow_->takeAt(figureRow_->count() - 1);  // the stretch
        titleRow_->addLayout(figureRow_);
    }
}

void LiveGlanceCharts::Card::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::withAlpha(palette().color(QPalette::WindowText), 0.05));
    p.drawRoundedRect(QRectF(rect()), 10, 10);
}

LiveGlanceCharts::LiveGlanceCharts(QWidget* parent) : QWidget(parent) {
    setObjectName("glanceCharts");
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 10, 0, 10);
    stack->setSpacing(8);
    auto* caption = label(this, roleFont(TextRole::caption2, QFont::DemiBold), palette::secondaryText(this));
    caption->setText("Trend (last 15 min) \u2014 line = change, not raw size");
    caption->setContentsMargins(16, 0, 16, 0);
    stack->addWidget(caption);
    auto* cards = new QHBoxLayout;
    cards->setContentsMargins(16, 0, 16, 0);
    cards->setSpacing(12);
    free_ = new Card(palette::green(), this);
    free_->setObjectName("freeCard");
    app_ = new Card(palette::orange(), this);
    app_->setObjectName("appCard");
    cards->addWidget(free_, 1);
    cards->addWidget(app_, 1);
    stack->addLayout(cards);
    auto* footnote = label(this, roleFont(TextRole::caption2), palette::tertiaryText(this));
    footnote->setText("Vertical ticks = when a story fired");
    footnote->setContentsMargins(16, 0, 16, 0);
    stack->addWidget(footnote);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void LiveGlanceCharts::setCharts(const GlanceCharts& charts) {
    free_->set(charts.free);
    app_->set(charts.app);
}

void LiveGlanceCharts::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette::withAlpha(palette().color(QPalette::WindowText), 0.04));
}

}  // namespace velmora
