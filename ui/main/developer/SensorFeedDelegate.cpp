#include "ui/main/developer/SensorFeedDelegate.h"

#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>

#include "engine/stories/Phrasing.h"
#include "engine/stories/SensorSource.h"
#include "ui/main/developer/SensorFeedModel.h"
#include "ui/main/overview/PageParts.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Elision.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/SourceBadge.h"
#include "ui/style/TextReport.h"

namespace velmora {

namespace {

constexpr int sideMargin = 8;

struct Fonts {
    QFont time, summary, small;
    explicit Fonts(const QFont& base)
        : time(numberFont(roleFont(TextRole::caption, base, QFont::Normal))),
          summary(roleFont(TextRole::callout, base, QFont::Normal)),
          small(roleFont(TextRole::caption2, base, QFont::Normal)) {}
};

int textWidth(const QStyleOptionViewItem& option) {
    const QWidget* view = option.widget;
    const int width = option.rect.width() > 0 ? option.rect.width() : (view ? view->width() : 400);
    return std::max(40, width - 2 * sideMargin);
}

// The names an entry's texts may hold: its app's, as the sensor gave it and as stories name it,
// and the window's or tab's title that follows "titleChanged: " or "Tab → ".
QStringList namesOf(const QModelIndex& index) {
    QStringList names;
    if (const QVariant app = index.data(SensorFeedModel::AppRole); app.isValid())
        names << app.toString() << QString::fromStdString(friendlyAppName(app.toString().toStdString()));
    static const QRegularExpression titled(QStringLiteral("^(?:[a-z][A-Za-z]*: |Tab \u2192 )(.+)$"));
    if (const auto match = titled.match(index.data(Qt::DisplayRole).toString()); match.hasMatch())
        names << match.captured(1);
    return names;
}

}  // namespace

QStringList SensorFeedDelegate::detailLines(const QString& text, const QFont& font, int width) {
    QStringList out;
    const QString detail = joinUnits(text);  // a figure stays on its unit's line
    QTextLayout layout(detail, font);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrap);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (out.size() == 1) {
            // The second line takes the rest of the text, elided.
            const QString rest = detail.mid(line.textStart()).simplified();
            out << elideEnd(QFontMetrics(font), rest, width);
            break;
        }
        out << detail.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return out;
}

QSize SensorFeedDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const Fonts f(option.font);
    const QFontMetrics time(f.time), summary(f.summary), small(f.small);
    const int badge = SourceBadge::sizeFor(SensorSource::unknown, option.font).height();
    int height = padding + std::max(time.height(), badge) + spacing + summary.height();
    if (index.data(SensorFeedModel::AppRole).isValid()) height += spacing + small.height();
    const QVariant detail = index.data(SensorFeedModel::DetailRole);
    if (detail.isValid())
        height += spacing + small.height() *
                                int(detailLines(shownSentence(detail.toString(), namesOf(index)), f.small, textWidth(option)).size());
    return {textWidth(option) + 2 * sideMargin, height + padding};
}

void SensorFeedDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const Fonts f(option.font);
    const QWidget* view = option.widget;
    const QColor primary = palette::primaryText(view), secondary = palette::secondaryText(view),
                 tertiary = palette::tertiaryText(view);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // A faint rule between entries.
    if (index.row() > 0) {
        painter->setPen(palette::withAlpha(secondary, 0.25));
        painter->drawLine(option.rect.left() + sideMargin, option.rect.top(), option.rect.right() - sideMargin,
                          option.rect.top());
    }
    const int width = textWidth(option);
    const int left = option.rect.left() + sideMargin;
    int y = option.rect.top() + padding;

    const auto source = static_cast<SensorSource>(index.data(SensorFeedModel::SourceRole).toInt());
    const QFontMetrics time(f.time);
    const QSize badge = SourceBadge::sizeFor(source, option.font);
    const int lineHeight = std::max(time.height(), badge.height());
    const QString stamp = index.data(SensorFeedModel::TimeRole).toString();
    painter->setFont(f.time);
    painter->setPen(secondary);
    painter->drawText(QRect(left, y, time.horizontalAdvance(stamp), lineHeight), Qt::AlignVCenter, stamp);
    SourceBadge::paint(*painter, QPointF(left + time.horizontalAdvance(stamp) + 8, y + (lineHeight - badge.height()) / 2.0),
                       source, option.font, secondary);
    y += lineHeight + spacing;

    const QStringList names = namesOf(index);
    const QVariant app = index.data(SensorFeedModel::AppRole);
    // A sentence is laid out left to right with its names isolated; a name is cut before a figure is.
    // The app's name stands alone on its line, in its own direction.
    enum class Kind { sentence, name, detail };
    const auto line = [&](const QString& text, const QFont& font, const QColor& colour, Kind kind) {
        const QFontMetrics m(font);
        painter->setFont(font);
        painter->setPen(colour);
        const QRect box(left, y, width, m.height());
        if (kind == Kind::name) {
            paintName(*painter, box, text, Qt::AlignLeft | Qt::AlignVCenter);
        } else {
            const QString shown = kind == Kind::sentence ? fitSentence(text, names, font, width) : elideEnd(m, text, width);
            painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, shown);
            notePaintedText(*painter, box, shown);
        }
        y += m.height();
    };
    line(index.data(Qt::DisplayRole).toString(), f.summary, primary, Kind::sentence);
    if (app.isValid()) {
        y += spacing;
        line(app.toString(), f.small, secondary, Kind::name);
    }
    if (const QVariant detail = index.data(SensorFeedModel::DetailRole); detail.isValid()) {
        y += spacing;
        for (const QString& text : detailLines(shownSentence(detail.toString(), names), f.small, width))
            line(text, f.small, tertiary, Kind::detail);
    }
    painter->restore();
}

}  // namespace velmora
