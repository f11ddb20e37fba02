#include "ui/main/ElidedLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "ui/style/TextReport.h"

#include <algorithm>
#include <cmath>

namespace velmora {

std::vector<WrappedLine> wrapWords(const QString& whole, const QFont& font, int width, int maxLines) {
    std::vector<WrappedLine> out;
    if (whole.isEmpty() || width <= 0 || maxLines <= 0) return out;
    const QFontMetrics metrics(font);
    const QString text = joinUnits(whole);  // a figure stays on its unit's line
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
        // Drawn on its own, a line that starts inside a name given its own direction goes on in it.
        if (static_cast<int>(out.size()) + 1 == maxLines) {
            const QString rest = reopenIsolates(text, start, text.size()) + text.mid(start).simplified();
            out.push_back({closeIsolates(elideEnd(metrics, rest, width)), start});
            break;
        }
        // A word wider than the line has the line to itself and ends there in "…".
        const QString shown =
            reopenIsolates(text, start, start + line.textLength()) + text.mid(start, line.textLength()).trimmed();
        out.push_back({closeIsolates(line.naturalTextWidth() > width ? elideEnd(metrics, shown, width) : shown), start});
    }
    layout.endLayout();
    return out;
}

namespace {

// `text` laid out on lines of `width` in `layout`, between words where a word fits a line.
QString layOut(QTextLayout& layout, const QString& text, const QFont& font, qreal width, Qt::Alignment alignment) {
    // A text cut short before it came here ends in "…" at its cut end too.
    QString flat = joinUnits(markEllipsis(text));
    flat.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(flat);
    layout.setFont(font);
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (qreal y = 0;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return flat;
}

}  // namespace

WrappingLabel::WrappingLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize WrappingLabel::sizeHint() const {
    // As wide as the text, up to a comfortable reading width, and as tall as it then wraps.
    const QMargins m = contentsMargins();
    const int natural = fontMetrics().horizontalAdvance(text()) + 1;
    const int width = std::min(natural, 40 * fontMetrics().averageCharWidth()) + m.left() + m.right();
    return {width, heightForWidth(width)};
}

QSize WrappingLabel::minimumSizeHint() const {
    // No word sets a minimum: one wider than the room is broken instead.
    const QMargins m = contentsMargins();
    return {std::min(sizeHint().width(), fontMetrics().horizontalAdvance(QLatin1Char('M')) * 4),
            fontMetrics().height() + m.top() + m.bottom()};
}

int WrappingLabel::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    const int room = width - m.left() - m.right();
    if (text().isEmpty() || room <= 0) return fontMetrics().height() + m.top() + m.bottom();
    QTextLayout layout;
    layOut(layout, text(), font(), room, alignment());
    return static_cast<int>(std::ceil(layout.boundingRect().height())) + m.top() + m.bottom();
}

void WrappingLabel::paintEvent(QPaintEvent*) {
    const QRect room = contentsRect();
    if (text().isEmpty() || room.width() <= 0) return;
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    QTextLayout layout;
    // Qt's own labels take a text's direction from the text: a right-to-left one aligns right.
    const QString flat = layOut(layout, text(), font(), room.width(), alignment());
    const qreal height = layout.boundingRect().height();
    qreal top = room.top();
    if (alignment() & Qt::AlignVCenter) top += (room.height() - height) / 2;
    else if (alignment() & Qt::AlignBottom) top += room.height() - height;
    layout.draw(&painter, QPointF(room.left(), top));
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        const QRectF box(room.left(), top + line.y(), room.width(), line.height());
        notePaintedLine(painter, box, flat.mid(line.textStart(), line.textLength()).trimmed(), flat, line.textStart());
    }
}

ElidedLabel::ElidedLabel(int maxLines, QWidget* parent) : QWidget(parent), maxLines_(std::max(maxLines, 1)) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(withoutMarks(text));  // heard as plain words
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
    const bool cut = !shown.isEmpty() && isElided(shown.back()) && !isElided(text_);
    setToolTip(cut ? withoutMarks(text_) : QString());  // read aloud too: the plain words
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
    QString flat = joinUnits(markEllipsis(text_));  // a text cut short before it came here, "…" at its cut end
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
        // Each line is drawn on its own: one that starts inside a name given its own direction
        // reopens it, or its words would take the label's direction (an emoji after Arabic words
        // on their right).
        const bool last = out.size() + 1 == maxLines_;
        const qsizetype end = last ? flat.size() : line.textStart() + line.textLength();
        const QString open = reopenIsolates(flat, line.textStart(), end);
        if (last) {
            out << closeIsolates(elideEnd(fontMetrics(), open + flat.mid(line.textStart()), width));
            break;
        }
        out << closeIsolates(open + flat.mid(line.textStart(), line.textLength()).trimmed());
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
    QString flat = joinUnits(markEllipsis(text_));
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
