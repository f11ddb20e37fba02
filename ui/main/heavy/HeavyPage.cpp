// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/heavy/HeavyPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <map>

#include "engine/stories/Phrasing.h"
#include "platform/Clock.h"
#include "ui/main/heavy/HeavyAppsModel.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/strip/SystemPressureStrip.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/TextReport.h"

namespace velmora {

namespace {

constexpr int padX = 14;
constexpr int sparkHeight = 32;

QFont badgeFont() { return numberFont(roleFont(TextRole::caption2, QFont::DemiBold)); }
// At least the 56 of the design, and wide enough for the sign and every digit of any change.
int badgeWidth() {
    static const int width = std::max(56, amountColumnWidth(badgeFont(), true));
    return width;
}

// Paints each app row from the model's roles; only rows in view are painted.
class HeavyRowDelegate final : public QStyledItemDelegate {
public:
    explicit HeavyRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}
    bool showCharts = true;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QFontMetrics name(roleFont(TextRole::body, QFont::Medium));
        const QFontMetrics caption(roleFont(TextRole::caption));
        int h = 4 + name.height() + (index.data(HeavyAppsModel::foregroundRole).toBool() ? 2 + caption.height() : 0);
        if (showCharts) h += 8 + sparkHeight;
        return QSize(option.rect.width(), h + 4 + 12);
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const QWidget* w = option.widget;
        const QRect r = option.rect.adjusted(padX, 10, -padX, -6);
        const QFont nameFont = roleFont(TextRole::body, QFont::Medium);
        const QFont bytesFont = numberFont(roleFont(TextRole::body, QFont::DemiBold));
        const QFont captionFont = roleFont(TextRole::caption);
        const QFontMetrics nameMetrics(nameFont);
        const QString bytes = index.data(HeavyAppsModel::bytesTextRole).toString();
        const int bytesWidth = QFontMetrics(bytesFont).horizontalAdvance(bytes);
        p->setPen(palette::primaryText(w));
        p->setFont(bytesFont);
        p->drawText(QRect(r.left(), r.top(), r.width(), nameMetrics.height()), Qt::AlignRight | Qt::AlignVCenter, bytes);
        notePaintedText(*p, QRect(r.left(), r.top(), r.width(), nameMetrics.height()), bytes);
        p->setFont(nameFont);
        // The name stands alone, left of its size, in its own direction.
        paintName(*p, QRect(r.left(), r.top(), std::max(0, r.width() - bytesWidth - 12), nameMetrics.height()),
                  index.data(Qt::DisplayRole).toString(), Qt::AlignLeft | Qt::AlignVCenter);
        int y = r.top() + nameMetrics.height();
        if (index.data(HeavyAppsModel::foregroundRole).toBool()) {
            p->setFont(captionFont);
            p->setPen(palette::secondaryText(w));
            const int h = QFontMetrics(captionFont).height();
            p->drawText(QRect(r.left(), y + 2, r.width(), h), Qt::AlignLeft | Qt::AlignVCenter,
                        QString::fromUtf8("You\u2019re using this now"));
            y += 2 + h;
        }
        if (showCharts) {
            y += 8;
            const QVariant badgeText = index.data(HeavyAppsModel::badgeTextRole);
            const int lineWidth = r.width() - (badgeText.isValid() ? badgeWidth() + 8 : 0);
            const QRectF area(r.left(), y, std::max(0, lineWidth), sparkHeight);
            const QPolygonF& line = lineOf(index, area.size());
            if (line.isEmpty()) {
                p->setPen(Qt::NoPen);
                p->setBrush(palette::withAlpha(palette::secondaryText(w), 0.12));
                p->drawRoundedRect(area, 2, 2);
            } else {
                p->translate(area.topLeft());
                paintLine(*p, line, area.width(), QPen(palette::accent(w), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                p->translate(-area.topLeft());
            }
            if (badgeText.isValid()) {
                p->setFont(badgeFont());
                p->setPen(index.data(HeavyAppsModel::badgeReleaseRole).toBool() ? palette::green() : palette::orange());
                p->drawText(QRectF(r.right() - badgeWidth(), y, badgeWidth(), sparkHeight), Qt::AlignRight | Qt::AlignVCenter,
                            badgeText.toString());
                notePaintedText(*p, QRectF(r.right() - badgeWidth(), y, badgeWidth(), sparkHeight), badgeText.toString());
            }
        }
        p->setPen(palette::withAlpha(palette::primaryText(w), 0.12));
        p->drawLine(QPointF(option.rect.left() + padX, option.rect.bottom() + 0.5),
                    QPointF(option.rect.right() - padX, option.rect.bottom() + 0.5));
        p->restore();
    }

private:
    // An hour of values is reduced to its line once per change of the values or of the line's
    // size; rows repaint for other reasons (a new size text, scrolling, the pointer) far more often.
    struct Line {
        qulonglong version = 0;
        QSizeF size;
        QPolygonF points;
    };
    mutable std::map<QString, Line> lines_;

    const QPolygonF& lineOf(const QModelIndex& index, const QSizeF& size) const {
        if (lines_.size() > 2 * static_cast<std::size_t>(index.model()->rowCount()) + 8) lines_.clear();
        Line& line = lines_[index.data(HeavyAppsModel::keyRole).toString()];
        const qulonglong version = index.data(HeavyAppsModel::valuesVersionRole).toULongLong();
        if (line.version == version && line.size == size) return line.points;
        line.version = version;
        line.size = size;
        line.points.clear();
        const auto* values = static_cast<const std::vector<std::uint64_t>*>(
            index.data(HeavyAppsModel::valuesRole).value<const void*>());
        if (!values) return line.points;
        const auto points = sparklineLine(*values, size.width(), size.height());
        line.points.reserve(static_cast<qsizetype>(points.size()));
        for (const auto& pt : points) line.points.append(QPointF(pt.x, pt.y));
        return line.points;
    }
};

}  // namespace

HeavyPage::HeavyPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    strip_ = new SystemPressureStrip(this);
    layout->addWidget(strip_);
    layout->addWidget(divider(this));

    auto* bar = new QWidget(this);
    auto* controls = new QHBoxLayout(bar);
    controls->setContentsMargins(padX, 8, padX, 8);
    charts_ = new QCheckBox("Show charts", bar);
    charts_->setChecked(true);
    controls->addWidget(charts_);
    controls->addStretch(1);
    picker_ = new SegmentedPicker({{"1 min", 0}, {"5 min", 1}, {"1 hour", 2}}, 1, 280, bar);
    controls->addWidget(picker_, 1);
    layout->addWidget(bar);
    layout->addWidget(divider(this));

    auto* caption = textLabel(QString::fromUtf8("Live sizes. Charts show how each app\u2019s memory moved over the "
                                                "selected time."),
                              roleFont(TextRole::caption), palette::secondaryText(this), this);
    caption->setWordWrap(true);
    caption->setContentsMargins(padX, 10, padX, 4);
    layout->addWidget(caption);
    auto* header = textLabel("Biggest apps right now", roleFont(TextRole::subheadline, QFont::DemiBold),
                             palette::secondaryText(this), this);
    header->setContentsMargins(padX, 8, padX, 2);
    layout->addWidget(header);

    model_ = new HeavyAppsModel(this);
    list_ = new QListView(this);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setModel(model_);
    auto* delegate = new HeavyRowDelegate(list_);
    list_->setItemDelegate(delegate);
    list_->setUniformItemSizes(false);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette pal = list_->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    list_->setPalette(pal);
    layout->addWidget(list_, 1);

    connect(charts_, &QCheckBox::clicked, this, [this, delegate](bool on) {
        delegate->showCharts = on;
        refresh();
        list_->doItemsLayout();
    });
    picker_->onChosen = [this](int tag) {
        range_ = static_cast<HeavyRange>(tag);
        refresh();
    };
}

void HeavyPage::startOver() {
    range_ = HeavyRange::fiveMinutes;
    picker_->setChosen(static_cast<int>(range_));
    if (charts_->isChecked()) return;
    charts_->setChecked(true);
    static_cast<HeavyRowDelegate*>(list_->itemDelegate())->showCharts = true;
    list_->doItemsLayout();
}

void HeavyPage::refresh() {
    strip_->setSnapshot(state_.sampler->systemSnapshot());
    const bool charts = charts_->isChecked();
    const Date start = state_.dependencies().clock.now() - heavyRangeSeconds(range_);
    std::vector<HeavyAppsModel::Row> rows;
    for (const auto& app : heavyApps(state_.sampler->appSnapshots())) {
        HeavyAppsModel::Row row;
        row.key = app.identity.groupingKey;
        row.name = friendlyAppName(app.identity.displayName);
        row.foreground = app.isForeground;
        row.bytes = formatBytes(app.footprintBytes);
        if (charts) {
            row.values = sparklineValues(state_.sampler->footprintHistory(), row.key, start);
            row.badge = deltaBadge(row.values);
        }
        rows.push_back(std::move(row));
    }
    model_->setRows(std::move(rows));
}

}  // namespace velmora
