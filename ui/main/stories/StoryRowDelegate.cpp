#include "ui/main/stories/StoryRowDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include "ui/main/stories/StoryListModel.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/TextReport.h"

namespace velmora {

QColor toneColour(stories::Tone tone, const QWidget* widget) {
    using stories::Tone;
    switch (tone) {
        case Tone::primary: return palette::primaryText(widget);
        case Tone::secondary: return palette::secondaryText(widget);
        case Tone::green: return palette::green();
        case Tone::orange: return palette::orange();
        case Tone::yellow: return palette::yellow();
        case Tone::red: return palette::red();
    }
    return palette::primaryText(widget);
}

namespace {

const StoryRow* rowOf(const QModelIndex& index) {
    const auto* model = qobject_cast<const StoryListModel*>(index.model());
    return model ? model->rowAt(index.row()) : nullptr;
}

QFont titleFont() { return roleFont(TextRole::body, QFont::DemiBold); }
QFont subtitleFont() { return roleFont(TextRole::callout); }
QFont summaryFont() { return roleFont(TextRole::caption, QFont::DemiBold); }
QFont sourceFont() { return roleFont(TextRole::caption2); }
QFont deltaFont() { return numberFont(roleFont(TextRole::title2, QFont::Bold)); }
QFont totalFont() { return numberFont(roleFont(TextRole::caption2)); }
QFont timeFont() { return numberFont(roleFont(TextRole::caption)); }

// The title wrapped to at most two lines, the second elided; the lines' texts.
QStringList titleLines(const QString& title, const QFont& font, int width) {
    QStringList out;
    if (width <= 0) return {title};
    QTextLayout layout(title, font);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrap);
    layout.beginLayout();
    for (int n = 0; n < 2; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (n == 1) {
            out << QFontMetrics(font).elidedText(title.mid(line.textStart()).simplified(), Qt::ElideRight, width);
            break;
        }
        out << title.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    if (out.isEmpty()) out << QString();
    return out;
}

// The right column fits the wider of the change and the total, and always "+999.9 MB".
int rightWidth(const StoryRow* row) {
    const QFontMetrics delta(deltaFont());
    int w = delta.horizontalAdvance(QStringLiteral("+999.9 MB"));
    if (row) {
        w = std::max(w, delta.horizontalAdvance(row->delta));
        w = std::max(w, QFontMetrics(totalFont()).horizontalAdvance(row->total));
    }
    return w;
}

void paintSymbol(QPainter& p, const QRectF& r, stories::RowSymbol symbol, const QColor& colour) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF c = r.center();
    const qreal s = 3.5;
    QPainterPath path;
    switch (symbol) {
        case stories::RowSymbol::up:
            path.moveTo(c.x() - s, c.y() + s);
            path.lineTo(c.x() + s, c.y() - s);
            path.moveTo(c.x() - s * 0.2, c.y() - s);
            path.lineTo(c.x() + s, c.y() - s);
            path.lineTo(c.x() + s, c.y() + s * 0.2);
            break;
        case stories::RowSymbol::down:
            path.moveTo(c.x() - s, c.y() - s);
            path.lineTo(c.x() + s, c.y() + s);
            path.moveTo(c.x() + s, c.y() - s * 0.2);
            path.lineTo(c.x() + s, c.y() + s);
            path.lineTo(c.x() - s * 0.2, c.y() + s);
            break;
        case stories::RowSymbol::gauge:
            path.arcMoveTo(QRectF(c.x() - s, c.y() - s, 2 * s, 2 * s), 200);
            path.arcTo(QRectF(c.x() - s, c.y() - s, 2 * s, 2 * s), 200, -220);
            path.moveTo(c);
            path.lineTo(c.x() + s * 0.6, c.y() - s * 0.6);
            break;
    }
    p.drawPath(path);
    p.restore();
}

}  // namespace

int StoryRowDelegate::textWidth(int rowWidth, const QModelIndex& index) const {
    return rowWidth - 2 * insetX - 2 * padX - timeWidth - ring - 2 * gap - 8 - gap - rightWidth(rowOf(index));
}

QSize StoryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* row = rowOf(index);
    int width = option.rect.width();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) width = view->viewport()->width();
    const QFontMetrics title(titleFont());
    const int lines = row ? static_cast<int>(titleLines(row->title, titleFont(), textWidth(width, index)).size()) : 1;
    const int text = lines * title.lineSpacing() + 3 + QFontMetrics(subtitleFont()).height() + 3 +
                     std::max(QFontMetrics(summaryFont()).height(), QFontMetrics(sourceFont()).height());
    const int right = QFontMetrics(deltaFont()).height() + 2 + QFontMetrics(totalFont()).height();
    return {std::max(width, 200), std::max({text, right, ring}) + 2 * padY + 2 * insetY};
}

void StoryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* row = rowOf(index);
    if (!row) return;
    const QWidget* widget = option.widget;
    // A tinted card for the selected row: the row's coloured words stay readable on it, where a
    // full highlight would put yellow and grey on blue.
    if (option.state & (QStyle::State_Selected | QStyle::State_MouseOver)) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette::withAlpha(option.palette.highlight().color(),
                                             option.state & QStyle::State_Selected ? 0.30 : 0.10));
        painter->drawRoundedRect(QRectF(option.rect).adjusted(insetX / 2.0, insetY / 2.0, -insetX / 2.0, -insetY / 2.0),
                                 8, 8);
        painter->restore();
    }

    painter->save();
    const QRect r = option.rect.adjusted(insetX + padX, insetY + padY, -insetX - padX, -insetY - padY);
    const QColor secondary = palette::secondaryText(widget);
    const QColor tertiary = palette::tertiaryText(widget);
    const int cy = r.center().y();

    // Time.
    painter->setFont(timeFont());
    painter->setPen(secondary);
    painter->drawText(QRect(r.left(), r.top(), timeWidth, r.height()), Qt::AlignLeft | Qt::AlignVCenter, row->time);

    // Ring with the direction inside.
    const QColor accent = toneColour(row->accent, widget);
    const QRectF ringRect(r.left() + timeWidth + gap, cy - ring / 2.0, ring, ring);
    paintRing(*painter, ringRect, row->share, accent, palette::withAlpha(secondary, 0.15 / 0.55));
    paintSymbol(*painter, ringRect, row->symbol, accent);

    // Right column.
    const int rw = rightWidth(row);
    const QFontMetrics deltaMetrics(deltaFont());
    const QFontMetrics totalMetrics(totalFont());
    const int rightHeight = deltaMetrics.height() + 2 + totalMetrics.height();
    const QRect right(r.right() - rw, cy - rightHeight / 2, rw + 1, rightHeight);
    painter->setFont(deltaFont());
    painter->setPen(toneColour(row->deltaTone, widget));
    painter->drawText(QRect(right.left(), right.top(), right.width(), deltaMetrics.height()),
                      Qt::AlignRight | Qt::AlignVCenter, row->delta);
    notePaintedText(*painter, QRect(right.left(), right.top(), right.width(), deltaMetrics.height()), row->delta);
    painter->setFont(totalFont());
    painter->setPen(tertiary);
    painter->drawText(QRect(right.left(), right.bottom() - totalMetrics.height() + 1, right.width(), totalMetrics.height()),
                      Qt::AlignRight | Qt::AlignVCenter, row->total);
    notePaintedText(*painter, QRect(right.left(), right.top(), right.width(), rightHeight), row->total);

    // Text column.
    const int tx = static_cast<int>(ringRect.right()) + gap;
    const int tw = textWidth(option.rect.width(), index);
    const auto lines = titleLines(row->title, titleFont(), tw);
    const QFontMetrics titleMetrics(titleFont());
    const QFontMetrics subMetrics(subtitleFont());
    const int lineHeight = std::max(QFontMetrics(summaryFont()).height(), QFontMetrics(sourceFont()).height());
    const int textHeight =
        static_cast<int>(lines.size()) * titleMetrics.lineSpacing() + 3 + subMetrics.height() + 3 + lineHeight;
    int y = cy - textHeight / 2;
    painter->setFont(titleFont());
    painter->setPen(palette::primaryText(widget));
    for (const auto& line : lines) {
        painter->drawText(QRect(tx, y, tw, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter, line);
        notePaintedText(*painter, QRect(tx, y, tw, titleMetrics.height()), line);
        y += titleMetrics.lineSpacing();
    }
    y += 3;
    painter->setFont(subtitleFont());
    painter->setPen(secondary);
    painter->drawText(QRect(tx, y, tw, subMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      subMetrics.elidedText(row->subtitle, Qt::ElideRight, tw));
    y += subMetrics.height() + 3;
    painter->setFont(summaryFont());
    painter->setPen(toneColour(row->summaryTone, widget));
    const int summaryWidth = QFontMetrics(summaryFont()).horizontalAdvance(row->summary);
    painter->drawText(QRect(tx, y, summaryWidth + 1, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, row->summary);
    notePaintedText(*painter, QRect(tx, y, tw, lineHeight), row->summary);
    painter->setFont(sourceFont());
    painter->setPen(tertiary);
    const int sx = tx + summaryWidth + 6;
    const QString source = QStringLiteral("\u00B7 ") + row->source;
    const QString shown = QFontMetrics(sourceFont()).elidedText(source, Qt::ElideRight, std::max(0, tx + tw - sx));
    // A dot and an ellipsis alone say nothing: the source then gives way entirely.
    if (shown == source || shown.size() >= 6)
        painter->drawText(QRect(sx, y, std::max(0, tx + tw - sx), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, shown);
    painter->restore();
}

}  // namespace velmora
