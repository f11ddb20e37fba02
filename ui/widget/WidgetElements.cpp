#include "ui/widget/WidgetElements.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/style/TextReport.h"

namespace velmora {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

void chip(QPainter& p, const QRectF& r, const QColor& c, bool filled) {
    QRectF body = r.adjusted(r.width() * 0.22, r.height() * 0.22, -r.width() * 0.22, -r.height() * 0.22);
    p.setPen(QPen(c, std::max(1.0, r.width() / 12)));
    p.setBrush(filled ? QBrush(c) : Qt::NoBrush);
    p.drawRoundedRect(body, body.width() * 0.15, body.width() * 0.15);
    // Pins on all four sides.
    for (int i = 0; i < 3; ++i) {
        const double t = body.left() + body.width() * (0.25 + 0.25 * i);
        const double u = body.top() + body.height() * (0.25 + 0.25 * i);
        p.drawLine(QPointF(t, body.top()), QPointF(t, r.top() + r.height() * 0.08));
        p.drawLine(QPointF(t, body.bottom()), QPointF(t, r.bottom() - r.height() * 0.08));
        p.drawLine(QPointF(body.left(), u), QPointF(r.left() + r.width() * 0.08, u));
        p.drawLine(QPointF(body.right(), u), QPointF(r.right() - r.width() * 0.08, u));
    }
}

}  // namespace

QColor widgetPrimary() { return QColor(255, 255, 255); }
QColor widgetSecondary() { return QColor(255, 255, 255, 140); }
QColor widgetTertiary() { return QColor(255, 255, 255, 77); }

void paintWidgetSymbol(QPainter& p, const QRectF& r, WidgetSymbol symbol, const QColor& c) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double w = r.width();
    const QPointF m = r.center();
    QPen pen(c, std::max(1.2, w / 9), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (symbol) {
        case WidgetSymbol::gear: {
            QPainterPath teeth;
            for (int i = 0; i < 8; ++i) {
                const double a = i * M_PI / 4;
                teeth.moveTo(m + QPointF(std::cos(a), std::sin(a)) * w * 0.30);
                teeth.lineTo(m + QPointF(std::cos(a), std::sin(a)) * w * 0.47);
            }
            pen.setWidthF(std::max(1.6, w / 6));
            p.setPen(pen);
            p.drawPath(teeth);
            pen.setWidthF(std::max(1.2, w / 9));
            p.setPen(pen);
            p.drawEllipse(m, w * 0.3, w * 0.3);
            p.drawEllipse(m, w * 0.1, w * 0.1);
            break;
        }
        case WidgetSymbol::xmark: {
            const double d = w * 0.32;
            p.drawLine(m + QPointF(-d, -d), m + QPointF(d, d));
            p.drawLine(m + QPointF(-d, d), m + QPointF(d, -d));
            break;
        }
        case WidgetSymbol::memorychip:
        case WidgetSymbol::memorychipFill: chip(p, r, c, symbol == WidgetSymbol::memorychipFill); break;
        case WidgetSymbol::warning: {
            QPainterPath tri;
            tri.moveTo(m.x(), r.top() + w * 0.06);
            tri.lineTo(r.right() - w * 0.02, r.bottom() - w * 0.08);
            tri.lineTo(r.left() + w * 0.02, r.bottom() - w * 0.08);
            tri.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawPath(tri);
            // The mark is cut out of the fill.
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            p.setPen(QPen(Qt::black, std::max(1.0, w / 9), Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(m.x(), r.top() + w * 0.38), QPointF(m.x(), r.top() + w * 0.62));
            p.drawPoint(QPointF(m.x(), r.top() + w * 0.76));
            break;
        }
        case WidgetSymbol::eyeSlash: {
            QPainterPath eye;
            eye.moveTo(r.left() + w * 0.05, m.y());
            eye.quadTo(m.x(), r.top() + w * 0.05, r.right() - w * 0.05, m.y());
            eye.quadTo(m.x(), r.bottom() - w * 0.05, r.left() + w * 0.05, m.y());
            pen.setWidthF(std::max(1.0, w / 16));
            p.setPen(pen);
            p.drawPath(eye);
            p.drawEllipse(m, w * 0.13, w * 0.13);
            p.drawLine(QPointF(r.left() + w * 0.15, r.top() + w * 0.12), QPointF(r.right() - w * 0.15, r.bottom() - w * 0.12));
            break;
        }
        case WidgetSymbol::arrowUp:
            p.drawLine(QPointF(m.x(), r.bottom() - w * 0.1), QPointF(m.x(), r.top() + w * 0.12));
            p.drawLine(QPointF(m.x(), r.top() + w * 0.12), QPointF(m.x() - w * 0.3, r.top() + w * 0.42));
            p.drawLine(QPointF(m.x(), r.top() + w * 0.12), QPointF(m.x() + w * 0.3, r.top() + w * 0.42));
            break;
        case WidgetSymbol::arrowDownRight: {
            const QPointF tip(r.right() - w * 0.15, r.bottom() - w * 0.15);
            p.drawLine(QPointF(r.left() + w * 0.15, r.top() + w * 0.15), tip);
            p.drawLine(tip, tip - QPointF(w * 0.42, 0));
            p.drawLine(tip, tip - QPointF(0, w * 0.42));
            break;
        }
    }
    p.restore();
}

QColor widgetToneColour(WidgetTone tone, const QWidget*) {
    switch (tone) {
        case WidgetTone::orange: return palette::orange();
        case WidgetTone::green: return palette::green();
        case WidgetTone::red: return palette::red();
        case WidgetTone::dimmed: return palette::withAlpha(widgetSecondary(), 0.3);
    }
    return palette::orange();
}

QLabel* widgetLabel(QWidget* parent, const QFont& font, const QColor& colour) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    setWidgetLabelColour(l, colour);
    return l;
}

void setWidgetLabel(QLabel* label, const std::string& text) {
    const QString t = q(text);
    if (label->text() != t) label->setText(t);
}

void setWidgetLabelColour(QLabel* label, const QColor& colour) {
    if (label->palette().color(QPalette::WindowText) == colour) return;
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

RollingNumber::RollingNumber(QWidget* parent) : QLabel(parent), roll_(new QVariantAnimation(this)) {
    setTextFormat(Qt::PlainText);
    roll_->setStartValue(0.0);
    roll_->setEndValue(1.0);
    roll_->setDuration(200);
    roll_->setEasingCurve(QEasingCurve::OutCubic);
    connect(roll_, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(roll_, &QVariantAnimation::finished, this, [this] { update(); });
}

void RollingNumber::setNumber(const QString& text) {
    if (text == QLabel::text()) return;
    // The first figure, or one while hidden, just appears.
    from_ = QLabel::text();
    setText(text);
    roll_->stop();
    if (!from_.isEmpty() && isVisible()) roll_->start();
}

bool RollingNumber::rolling() const { return roll_->state() != QAbstractAnimation::Stopped; }

void RollingNumber::paintEvent(QPaintEvent* event) {
    if (!rolling()) {
        QLabel::paintEvent(event);
        return;
    }
    const double t = roll_->currentValue().toDouble();
    QPainter p(this);
    p.setFont(font());
    p.setClipRect(contentsRect());
    const QFontMetricsF fm(font());
    const QRectF box = contentsRect();
    const double baseline = box.top() + (box.height() - fm.height()) / 2 + fm.ascent();
    const double travel = fm.height() * 0.6;
    const QColor colour = palette().color(QPalette::WindowText);
    const QString to = text();
    // Characters are compared place by place only when both texts are as long; digits of one width
    // keep those places aligned.
    const bool placewise = to.size() == from_.size();
    const auto draw = [&](const QString& s, int i, double dy, double alpha) {
        QColor c = colour;
        c.setAlphaF(c.alphaF() * alpha);
        p.setPen(c);
        p.drawText(QPointF(box.left() + fm.horizontalAdvance(s.left(i)), baseline + dy), s.mid(i, 1));
    };
    for (int i = 0; i < to.size(); ++i) {
        if (placewise && to[i] == from_[i]) draw(to, i, 0, 1);
        else draw(to, i, (1 - t) * travel, t);
    }
    for (int i = 0; i < from_.size(); ++i)
        if (!placewise || to[i] != from_[i]) draw(from_, i, -t * travel, 1 - t);
}

SymbolView::SymbolView(WidgetSymbol symbol, int size, QWidget* parent)
    : QWidget(parent), symbol_(symbol), colour_(widgetSecondary()) {
    setFixedSize(size, size);
}

void SymbolView::set(WidgetSymbol symbol, const QColor& colour) {
    if (symbol == symbol_ && colour == colour_) return;
    symbol_ = symbol;
    colour_ = colour;
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintWidgetSymbol(p, QRectF(rect()), symbol_, colour_);
}

AppIconTile::AppIconTile(int tile, int image, int radius, int symbol, QWidget* parent)
    : QWidget(parent), image_(image), radius_(radius), symbol_(symbol) {
    setFixedSize(tile, tile);
}

void AppIconTile::setApp(const std::optional<AppMemorySnapshot>& app) {
    const std::string key = app && !app->identity.pids.empty() ? app->identity.groupingKey : std::string();
    if (key == key_) return;
    key_ = key;
    icon_ = QIcon();
    // Looked up once per app: the theme search reads folders.
    if (app && !app->identity.pids.empty()) {
        if (app->identity.bundleID) icon_ = QIcon::fromTheme(q(*app->identity.bundleID));
        if (icon_.isNull()) icon_ = QIcon::fromTheme(q(app->identity.displayName).toLower());
    }
    update();
}

void AppIconTile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::withAlpha(widgetPrimary(), 0.08));
    p.drawRoundedRect(QRectF(rect()), radius_, radius_);
    const QPointF c = QRectF(rect()).center();
    if (!icon_.isNull()) {
        icon_.paint(&p, QRect(int(c.x() - image_ / 2.0), int(c.y() - image_ / 2.0), image_, image_));
        return;
    }
    paintWidgetSymbol(p, QRectF(c.x() - symbol_ / 2.0, c.y() - symbol_ / 2.0, symbol_, symbol_), WidgetSymbol::memorychip,
                      widgetSecondary());
}

UsageBar::UsageBar(QWidget* parent) : QWidget(parent) { setFixedHeight(4); }

void UsageBar::set(double fraction, const QColor& colour) {
    if (fraction == fraction_ && colour == colour_) return;
    fraction_ = fraction;
    colour_ = colour;
    update();
}

void UsageBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double r = height() / 2.0;
    p.setBrush(palette::withAlpha(widgetPrimary(), 0.08));
    p.drawRoundedRect(QRectF(rect()), r, r);
    if (fraction_ <= 0) return;
    p.setBrush(colour_);
    p.drawRoundedRect(QRectF(0, 0, std::max(width() * fraction_, double(height())), height()), r, r);
}

SpikeChip::SpikeChip(bool withDot, QWidget* parent)
    : QWidget(parent), withDot_(withDot), font_(numberFont(roleFont(TextRole::caption2, QFont::DemiBold))) {
    setFont(font_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SpikeChip::set(const WidgetSpike& spike, const std::string& ago) {
    const QString amount = q(spike.amount), when = q(ago);
    if (spike == spike_ && amount == amount_ && when == ago_) return;
    const bool resized = amount.size() != amount_.size() || when.size() != ago_.size();
    spike_ = spike;
    amount_ = amount;
    ago_ = when;
    if (resized) updateGeometry();
    setAccessibleName(amount + ", " + when);
    update();
}

QSize SpikeChip::sizeHint() const {
    const QFontMetrics fm(font_);
    int w = 8 + fm.height() - 4 + 5 + fm.horizontalAdvance(amount_) + 5 + fm.horizontalAdvance(ago_) + 8;
    if (withDot_) w += fm.horizontalAdvance(QString::fromUtf8("\u00B7")) + 5;
    return {w, fm.height() + 8};
}

void SpikeChip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = widgetToneColour(spike_.tone, this);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(palette::withAlpha(colour, 0.45), 1));
    p.setBrush(QColor(0, 0, 0, 82));
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    const QFontMetrics fm(font_);
    p.setFont(font_);
    double x = 8;
    const double arrow = fm.height() - 4;
    paintWidgetSymbol(p, QRectF(x, (height() - arrow) / 2, arrow, arrow),
                      spike_.falling ? WidgetSymbol::arrowDownRight : WidgetSymbol::arrowUp, colour);
    x += arrow + 5;
    const double baseline = (height() + fm.ascent() - fm.descent()) / 2.0;
    p.setPen(colour);
    p.drawText(QPointF(x, baseline), amount_);
    notePaintedText(p, QRectF(x, 0, fm.horizontalAdvance(amount_), height()), amount_);
    x += fm.horizontalAdvance(amount_) + 5;
    if (withDot_) {
        const QString dot = QString::fromUtf8("\u00B7");
        p.setPen(widgetTertiary());
        p.drawText(QPointF(x, baseline), dot);
        x += fm.horizontalAdvance(dot) + 5;
    }
    p.setPen(widgetSecondary());
    p.drawText(QPointF(x, baseline), ago_);
    notePaintedText(p, QRectF(x, 0, width() - 8 - x, height()), ago_);
}

IconButton::IconButton(WidgetSymbol symbol, int symbolSize, const QString& name, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), symbolSize_(symbolSize) {
    setFixedSize(24, 24);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(name);
    setAccessibleName(name);
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::withAlpha(widgetPrimary(), isDown() ? 0.2 : underMouse() ? 0.14 : 0.08));
    p.drawEllipse(QRectF(rect()));
    const QPointF c = QRectF(rect()).center();
    paintWidgetSymbol(p, QRectF(c.x() - symbolSize_ / 2.0, c.y() - symbolSize_ / 2.0, symbolSize_, symbolSize_), symbol_,
                      widgetSecondary());
}

}  // namespace velmora
