#include "ui/main/stories/StoryRowDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>
#include <QTextOption>

#include <map>
#include <optional>
#include <vector>

#include "ui/main/ElidedLabel.h"
#include "ui/main/stories/StoryListModel.h"
#include "ui/style/Elision.h"
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

// The title on at most two lines, broken between words, the second elided; the lines' texts, and
// where each starts in the title.
QStringList titleLines(const QString& title, const QFont& font, int width, std::vector<int>& starts) {
    QStringList out;
    starts.clear();
    if (width <= 0) {
        starts.push_back(0);
        return {title};
    }
    for (const WrappedLine& line : wrapWords(title, font, width, 2)) {
        out << line.text;
        starts.push_back(line.start);
    }
    if (out.isEmpty()) {
        out << QString();
        starts.push_back(0);
    }
    return out;
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

struct StoryRowDelegate::Layout {
    // What it was laid out from.
    QString time, title, subtitle, summary, source, delta, total;
    int width = -1;
    // What is drawn.
    QStringList lines;
    std::vector<int> lineStarts;  // where each line starts in the title
    int right = 0;      // the right column's width
    int text = 0;       // the text column's width
    int textHeight = 0;
    int height = 0;     // the row's, insets included
    QString subtitleShown;
    int summaryWidth = 0;
    QString sourceShown;  // empty: the source gives way
    // The texts shaped for drawing, on the row's first paint (sizes are asked of every row).
    struct Shaped {
        QStaticText time, subtitle, summary, source, delta, total;
        std::vector<QStaticText> lines;
    };
    std::optional<Shaped> shaped;

    bool madeFrom(const StoryRow& row, int rowWidth) const {
        return width == rowWidth && time == row.time && title == row.title && subtitle == row.subtitle &&
               summary == row.summary && source == row.source && delta == row.delta && total == row.total;
    }
};

namespace {

// Outside text, shaped once in `font`, never read as markup. Each is an English sentence or a
// figure, laid out left to right as the detail lays it out, whatever letter it starts with: the
// names in it are isolated.
QStaticText shapedText(const QString& text, const QFont& font) {
    QStaticText shaped(text);
    shaped.setTextFormat(Qt::PlainText);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    shaped.setTextOption(option);
    shaped.setPerformanceHint(QStaticText::AggressiveCaching);
    shaped.prepare(QTransform(), font);
    return shaped;
}

}  // namespace

// The row's fonts and their metrics, built on the application font of the day.
struct StoryRowDelegate::Cache {
    struct Fonts {
        QFont base = QApplication::font();
        QFont title = roleFont(TextRole::body, QFont::DemiBold);
        QFont subtitle = roleFont(TextRole::callout);
        QFont summary = roleFont(TextRole::caption, QFont::DemiBold);
        QFont source = roleFont(TextRole::caption2);
        QFont delta = numberFont(roleFont(TextRole::title2, QFont::Bold));
        QFont total = numberFont(roleFont(TextRole::caption2));
        QFont time = numberFont(roleFont(TextRole::caption));
        QFontMetrics titleMetrics{title}, subtitleMetrics{subtitle}, summaryMetrics{summary}, sourceMetrics{source},
            deltaMetrics{delta}, totalMetrics{total}, timeMetrics{time};
        // The right column fits the wider of the change and the total, and always "+999.9 MB".
        int rightFloor = deltaMetrics.horizontalAdvance(QStringLiteral("+999.9 MB"));
        int lineHeight = std::max(summaryMetrics.height(), sourceMetrics.height());
        int rightHeight = deltaMetrics.height() + 2 + totalMetrics.height();
    };
    std::optional<Fonts> fonts;
    std::map<Uuid, Layout> layouts;

    const Fonts& current() {
        if (!fonts || fonts->base != QApplication::font()) {
            fonts.emplace();
            layouts.clear();
        }
        return *fonts;
    }
};

StoryRowDelegate::StoryRowDelegate(QObject* parent) : QStyledItemDelegate(parent), cache_(std::make_unique<Cache>()) {}
StoryRowDelegate::~StoryRowDelegate() = default;

StoryRowDelegate::Layout& StoryRowDelegate::layout(const StoryRow& row, int rowWidth) const {
    const auto& f = cache_->current();
    Layout& l = cache_->layouts[row.id];
    if (l.madeFrom(row, rowWidth)) return l;
    l = Layout{};
    l.time = row.time, l.title = row.title, l.subtitle = row.subtitle, l.summary = row.summary, l.source = row.source;
    l.delta = row.delta, l.total = row.total, l.width = rowWidth;
    l.right = std::max({f.rightFloor, f.deltaMetrics.horizontalAdvance(row.delta),
                        f.totalMetrics.horizontalAdvance(row.total)});
    l.text = rowWidth - 2 * insetX - 2 * padX - timeWidth - ring - 2 * gap - 8 - gap - l.right;
    l.lines = titleLines(row.title, f.title, l.text, l.lineStarts);
    l.textHeight = static_cast<int>(l.lines.size()) * f.titleMetrics.lineSpacing() + 3 + f.subtitleMetrics.height() + 3 +
                   f.lineHeight;
    l.height = rowHeight(static_cast<int>(l.lines.size()));
    l.subtitleShown = elideEnd(f.subtitleMetrics, row.subtitle, l.text);
    l.summaryWidth = f.summaryMetrics.horizontalAdvance(row.summary);
    const QString source = QStringLiteral("\u00B7 ") + row.source;
    const int sourceWidth = std::max(0, l.text - l.summaryWidth - 6);
    const QString shown = elideEnd(f.sourceMetrics, source, sourceWidth);
    // A dot and an ellipsis alone say nothing: the source then gives way entirely.
    if (shown == source || shown.size() >= 6) l.sourceShown = shown;
    return l;
}

QSize StoryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* row = rowOf(index);
    int width = option.rect.width();
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) width = view->viewport()->width();
    const int height = row ? layout(*row, width).height : rowHeight(1);
    return {std::max(width, 200), height};
}

int StoryRowDelegate::rowHeight(int titleLines) const {
    const auto& f = cache_->current();
    const int text = titleLines * f.titleMetrics.lineSpacing() + 3 + f.subtitleMetrics.height() + 3 + f.lineHeight;
    return std::max({text, f.rightHeight, static_cast<int>(ring)}) + 2 * padY + 2 * insetY;
}

int StoryRowDelegate::tallestRowHeight() const { return rowHeight(2); }

void StoryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* row = rowOf(index);
    if (!row) return;
    // Stories the list no longer holds leave their layouts behind; they go now and then.
    if (cache_->layouts.size() > 2 * static_cast<std::size_t>(index.model()->rowCount()) + 64) cache_->layouts.clear();
    const auto& f = cache_->current();
    Layout& l = layout(*row, option.rect.width());
    if (!l.shaped) {
        auto& s = l.shaped.emplace();
        s.time = shapedText(row->time, f.time);
        s.delta = shapedText(row->delta, f.delta);
        s.total = shapedText(row->total, f.total);
        for (const auto& line : l.lines) s.lines.push_back(shapedText(line, f.title));
        s.subtitle = shapedText(l.subtitleShown, f.subtitle);
        s.summary = shapedText(row->summary, f.summary);
        s.source = shapedText(l.sourceShown, f.source);
    }
    const auto& shaped = *l.shaped;
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
    painter->setFont(f.time);
    painter->setPen(secondary);
    painter->drawStaticText(QPointF(r.left(), r.top() + (r.height() - f.timeMetrics.height()) / 2.0), shaped.time);

    // Ring with the direction inside.
    const QColor accent = toneColour(row->accent, widget);
    const QRectF ringRect(r.left() + timeWidth + gap, cy - ring / 2.0, ring, ring);
    paintRing(*painter, ringRect, row->share, accent, palette::withAlpha(secondary, 0.15 / 0.55));
    paintSymbol(*painter, ringRect, row->symbol, accent);

    // Right column.
    const qreal rightEdge = r.right() + 1, rightTop = cy - f.rightHeight / 2;
    painter->setFont(f.delta);
    painter->setPen(toneColour(row->deltaTone, widget));
    painter->drawStaticText(QPointF(rightEdge - shaped.delta.size().width(), rightTop), shaped.delta);
    notePaintedText(*painter, QRectF(rightEdge - l.right, rightTop, l.right, f.deltaMetrics.height()), row->delta);
    painter->setFont(f.total);
    painter->setPen(tertiary);
    painter->drawStaticText(
        QPointF(rightEdge - shaped.total.size().width(), rightTop + f.rightHeight - f.totalMetrics.height()), shaped.total);
    notePaintedText(*painter, QRectF(rightEdge - l.right, rightTop, l.right, f.rightHeight), row->total);

    // Text column.
    const int tx = static_cast<int>(ringRect.right()) + gap;
    int y = cy - l.textHeight / 2;
    painter->setFont(f.title);
    painter->setPen(palette::primaryText(widget));
    for (std::size_t i = 0; i < shaped.lines.size(); ++i) {
        const auto& line = shaped.lines[i];
        painter->drawStaticText(QPointF(tx, y), line);
        notePaintedLine(*painter, QRectF(tx, y, l.text, f.titleMetrics.height()), line.text(), l.title, l.lineStarts[i]);
        y += f.titleMetrics.lineSpacing();
    }
    y += 3;
    painter->setFont(f.subtitle);
    painter->setPen(secondary);
    painter->drawStaticText(QPointF(tx, y), shaped.subtitle);
    if (!l.subtitleShown.isEmpty())
        notePaintedText(*painter, QRectF(tx, y, l.text, f.subtitleMetrics.height()), l.subtitleShown);
    y += f.subtitleMetrics.height() + 3;
    painter->setFont(f.summary);
    painter->setPen(toneColour(row->summaryTone, widget));
    painter->drawStaticText(QPointF(tx, y + (f.lineHeight - f.summaryMetrics.height()) / 2.0), shaped.summary);
    notePaintedText(*painter, QRectF(tx, y, l.text, f.lineHeight), row->summary);
    if (!l.sourceShown.isEmpty()) {
        painter->setFont(f.source);
        painter->setPen(tertiary);
        painter->drawStaticText(QPointF(tx + l.summaryWidth + 6, y + (f.lineHeight - f.sourceMetrics.height()) / 2.0),
                                shaped.source);
    }
    painter->restore();
}

}  // namespace velmora
