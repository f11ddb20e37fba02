#include "ui/main/strip/SystemPressureStrip.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

namespace velmora {

class SystemPressureStrip::Dot final : public QWidget {
public:
    explicit Dot(QWidget* parent) : QWidget(parent) { setFixedSize(10, 10); }
    void setColor(const QColor& c) {
        if (c == colour_) return;
        colour_ = c;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour_);
        p.drawEllipse(QRectF(rect()));
    }

private:
    QColor colour_;
};

class SystemPressureStrip::UsageBar final : public QWidget {
public:
    explicit UsageBar(QWidget* parent) : QWidget(parent) { setFixedSize(90, 5); }
    void set(double fraction, const QColor& c) {
        if (fraction == fraction_ && c == colour_) return;
        fraction_ = fraction;
        colour_ = c;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QColor secondary = palette::secondaryText(this);
        p.setBrush(palette::withAlpha(QColor(secondary.red(), secondary.green(), secondary.blue()), 0.2));
        p.drawRoundedRect(QRectF(rect()), 2.5, 2.5);
        if (fraction_ <= 0) return;
        p.setBrush(colour_);
        p.drawRoundedRect(QRectF(0, 0, width() * fraction_, height()), 2.5, 2.5);
    }

private:
    double fraction_ = 0;
    QColor colour_;
};

namespace {
QLabel* label(QWidget* parent, const QFont& font, const QColor& colour, Qt::Alignment align = Qt::AlignLeft) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setAlignment(align | Qt::AlignVCenter);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    return l;
}
QString q(const std::string& s) { return QString::fromStdString(s); }
void setText(QLabel* l, const std::string& s) {
    const QString text = q(s);
    if (l->text() != text) l->setText(text);
}
}  // namespace

SystemPressureStrip::SystemPressureStrip(QWidget* parent) : QWidget(parent) {
    setObjectName("pressureStrip");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(16);
    dot_ = new Dot(this);
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    auto* words = new QVBoxLayout;
    words->setSpacing(2);
    headline_ = label(this, roleFont(TextRole::subheadline, QFont::DemiBold), palette::primaryText(this));
    headline_->setObjectName("stripHeadline");
    explanation_ = label(this, roleFont(TextRole::caption), palette::secondaryText(this));
    explanation_->setObjectName("stripExplanation");
    // A narrow column wraps the words onto more lines; the figures beside them keep their width.
    headline_->setWordWrap(true);
    explanation_->setWordWrap(true);
    // Centred as a pair, 2 px apart, however tall the figures make the row.
    words->addStretch(1);
    words->addWidget(headline_);
    words->addWidget(explanation_);
    words->addStretch(1);
    row->addLayout(words, 1);

    figures_ = new QWidget(this);
    figures_->setObjectName("stripFigures");
    auto* stack = new QVBoxLayout(figures_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(3);
    used_ = label(figures_, numberFont(roleFont(TextRole::caption, QFont::DemiBold)), palette::primaryText(this),
                  Qt::AlignRight);
    free_ = label(figures_, numberFont(roleFont(TextRole::caption2)), palette::secondaryText(this), Qt::AlignRight);
    bar_ = new UsageBar(figures_);
    disk_ = label(figures_, numberFont(roleFont(TextRole::caption2)), palette::orange(), Qt::AlignRight);
    disk_->setObjectName("stripDisk");
    stack->addWidget(used_, 0, Qt::AlignRight);
    stack->addWidget(free_, 0, Qt::AlignRight);
    stack->addWidget(bar_, 0, Qt::AlignRight);
    stack->addWidget(disk_, 0, Qt::AlignRight);
    row->addWidget(figures_, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setSnapshot(std::nullopt);
}

QColor SystemPressureStrip::statusColor() const {
    return text_.level ? palette::forPressure(*text_.level) : palette::secondaryText(this);
}

void SystemPressureStrip::setSnapshot(const std::optional<SystemMemorySnapshot>& snapshot) {
    PressureStripText next = pressureStripText(snapshot);
    if (drawn_ && next == text_) return;
    drawn_ = true;
    text_ = std::move(next);
    dot_->setColor(statusColor());
    setText(headline_, text_.headline);
    setText(explanation_, text_.explanation);
    setAccessibleName(q(text_.summary));
    figures_->setVisible(text_.figures.has_value());
    if (!text_.figures) return;
    const auto& f = *text_.figures;
    setText(used_, f.usedText);
    setText(free_, f.freeText);
    bar_->set(f.fillFraction, statusColor());
    disk_->setVisible(f.diskText.has_value());
    if (f.diskText) setText(disk_, *f.diskText);
    figures_->setAccessibleName(q(f.spoken));
}

void SystemPressureStrip::paintEvent(QPaintEvent*) {
    // Qt has no translucent material on X11: a flat panel a shade off the window.
    QPainter p(this);
    p.fillRect(rect(), palette::withAlpha(palette().color(QPalette::Base), 0.7));
}

}  // namespace velmora
