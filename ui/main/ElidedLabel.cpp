#include "ui/main/ElidedLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include "ui/style/TextReport.h"

#include <algorithm>

namespace velmora {

std::vector<WrappedLine> wrapWords(const QString& text, const QFont& font, int width, int maxLines) {
    std::vector<WrappedLine> out;
    if (text.isEmpty() || width <= 0 || maxLines <= 0) return out;
    const QFontMetrics metrics(font);
    QTextLayout layout(text, font);
    QTextOption option;
    // Breaks between words only: a break inside a word that fits a line of its own reads as two.
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        const int start = line.textStart();
        if (static_cast<int>(out.size()) + 1 == maxLines) {
            out.push_back({metrics.elidedText(text.mid(start).simplified(), Qt::ElideRight, width), start});
            break;
        }
        // A word wider than the line has the line to itself and ends there in "…".
        const QString shown = text.mid(start, line.textLength()).trimmed();
        out.push_back({line.naturalTextWidth() > width ? metrics.elidedText(shown, Qt::ElideRight, width) : shown, start});
    }
    layout.endLayout();
    return out;
}

ElidedLabel::ElidedLabel(int maxLines, QWidget* parent) : QWidget(parent), maxLines_(std::max(maxLines, 1)) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text);
    updateToolTip();
    updateGeometry();
    update();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip() {
    const QStringList shown = lines(width());
    const bool cut = !shown.isEmpty() && shown.back().endsWith(QChar(0x2026)) && !text_.endsWith(QChar(0x2026));
    setToolTip(cut ? text_ : QString());
}

void ElidedLabel::setColor(const QColor& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    update();
}

QStringList ElidedLabel::lines(int width) const {
    std::vector<int> starts;
    return lines(width, starts);
}

QStringList ElidedLabel::lines(int width, std::vector<int>& starts) const {
    QStringList out;
    starts.clear();
    if (text_.isEmpty() || width <= 0) return out;
    // One line of plain text: line breaks in a window title would only push the rest out.
    QString flat = text_;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QTextLayout layout(flat, font());
    QTextOption option;
    // Between words; a token wider than the line (a long address) goes on over the next.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        starts.push_back(line.textStart());
        if (out.size() + 1 == maxLines_) {
            out << fontMetrics().elidedText(flat.mid(line.textStart()), Qt::ElideRight, width);
            break;
        }
        out << flat.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return out;
}

QSize ElidedLabel::sizeHint() const { return {80, heightForWidth(std::max(width(), 80))}; }

QSize ElidedLabel::minimumSizeHint() const { return {0, fontMetrics().height()}; }

int ElidedLabel::heightForWidth(int width) const {
    return static_cast<int>(std::max<qsizetype>(lines(width).size(), 1)) * fontMetrics().lineSpacing();
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(colour_.isValid() ? colour_ : palette().color(QPalette::WindowText));
    int y = fontMetrics().ascent();
    std::vector<int> starts;
    const QStringList shown = lines(width(), starts);
    QString flat = text_;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QString& line = shown[i];
        painter.drawText(0, y, line);
        const QRectF box(0, y - fontMetrics().ascent(), width(), fontMetrics().height());
        if (maxLines_ == 1) notePaintedText(painter, box, line);
        else notePaintedLine(painter, box, line, flat, starts[static_cast<std::size_t>(i)]);
        y += fontMetrics().lineSpacing();
    }
}

}  // namespace velmora
