// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/trends/TrendsPage.h"
#include "ui/main/trends/TrendsRules.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/Calendar.h"
#include "platform/Clock.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/overview/PageParts.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {

// The summary's card: the accent colour at 8 %.
class AccentCard final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette::withAlpha(palette::accent(this), 0.08));
        p.drawRoundedRect(QRectF(rect()), 12, 12);
    }
};

QWidget* section(QWidget* parent, QVBoxLayout*& layout, const QString& heading) {
    auto* box = new QWidget(parent);
    layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(textLabel(heading, roleFont(TextRole::headline, QFont::DemiBold), palette::primaryText(parent), box));
    return box;
}

TrendsPage::BarChart barChart(QWidget* parent, QVBoxLayout* into, const QColor& colour, int height) {
    TrendsPage::BarChart c;
    c.chart = new QChart;
    c.chart->setAnimationOptions(QChart::NoAnimation);
    c.chart->legend()->hide();
    c.chart->setBackgroundVisible(false);
    c.chart->setMargins(QMargins(0, 0, 0, 0));
    c.series = new QBarSeries(c.chart);
    c.series->setBarWidth(0.7);
    c.set = new QBarSet("");
    c.set->setColor(colour);
    c.set->setBorderColor(colour);
    c.series->append(c.set);
    c.chart->addSeries(c.series);
    c.days = new QCategoryAxis(c.chart);
    c.days->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    c.values = new QValueAxis(c.chart);
    c.values->setLabelFormat("%d");
    const QColor text = palette::secondaryText(parent);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(c.days), static_cast<QAbstractAxis*>(c.values)}) {
        axis->setLabelsBrush(text);
        axis->setLabelsFont(roleFont(TextRole::caption2));
        axis->setGridLineColor(palette::withAlpha(palette::primaryText(parent), 0.1));
        axis->setLinePenColor(palette::withAlpha(palette::primaryText(parent), 0.2));
    }
    c.days->setGridLineVisible(false);
    c.chart->addAxis(c.days, Qt::AlignBottom);
    c.chart->addAxis(c.values, Qt::AlignLeft);
    c.series->attachAxis(c.days);
    c.series->attachAxis(c.values);
    auto* view = new QChartView(c.chart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setStyleSheet("background: transparent");
    view->setFixedHeight(height);
    into->addWidget(view);
    return c;
}

// Bars go in place each tick; the day axis is laid out again only when the range or the last
// day changes (after midnight the bars move on a day, and so must their labels).
void fill(TrendsPage::BarChart& c, const std::vector<TrendsDay>& days, bool minutes) {
    const int n = static_cast<int>(days.size());
    const std::string lastDay = days.empty() ? std::string() : days.back().dateKey;
    if (c.bars != n || c.lastDay != lastDay) {
        if (c.bars != n) {
            c.set->remove(0, c.set->count());
            for (int i = 0; i < n; ++i) c.set->append(0);
        }
        for (const auto& label : c.days->categoriesLabels()) c.days->remove(label);
        const int every = n <= 7 ? 1 : n <= 30 ? 7 : 15;
        // Counted back from today, appended in order (the axis wants rising end values).
        std::vector<int> marks;
        for (int i = n - 1; i >= 0; i -= every) marks.insert(marks.begin(), i);
        // The last label is centred on today's bar at the edge: half of it needs room beyond.
        const QFontMetrics metrics(c.days->labelsFont());
        int half = 0;
        for (int i : marks) {
            const QString label = QString::fromStdString(days[static_cast<std::size_t>(i)].label);
            c.days->append(label, i);
            half = std::max(half, (metrics.horizontalAdvance(label) + 1) / 2);
        }
        c.chart->setMargins(QMargins(0, 0, half, 0));
        c.days->setRange(-0.5, n - 0.5);
        c.bars = n;
        c.lastDay = lastDay;
    }
    double top = 1;
    for (int i = 0; i < n; ++i) {
        const auto& d = days[static_cast<std::size_t>(i)];
        const double v = static_cast<double>(minutes ? d.pressureMinutes : d.stories);
        top = std::max(top, v);
        if (c.set->at(i) != v) c.set->replace(i, v);
    }
    // Whole-number ticks at an integer step, as many intervals as the chart's height has room for.
    const double intervals = c.intervals;
    const double step = std::ceil(top / intervals);
    const double axisTop = top <= intervals ? top : step * intervals;
    c.values->setRange(0, axisTop);
    c.values->setTickCount(static_cast<int>(axisTop / (top <= intervals ? 1.0 : step)) + 1);
}

// `sentence` shown with its names isolated and its figures on their units' lines, spoken plain.
void showSentence(QLabel* label, const QString& sentence, const QStringList& names) {
    const QString shown = shownSentence(sentence, names);
    if (label->text() != shown) label->setText(shown);
    if (label->accessibleName() != sentence) label->setAccessibleName(sentence);
}

}  // namespace

TrendsPage::TrendsPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* column = scrollingColumn(this, 640, 28, 24);
    auto* host = column->parentWidget();

    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    header->addWidget(textLabel("Trends", roleFont(TextRole::largeTitle, QFont::Bold), palette::primaryText(host), host));
    header->addWidget(textLabel("Is this a one-off, or is it happening over time?", roleFont(TextRole::body),
                                palette::secondaryText(host), host));
    column->addLayout(header);

    picker_ = new SegmentedPicker({{"7 days", 7}, {"30 days", 30}, {"90 days", 90}}, rangeDays_, 320, host);
    picker_->onChosen = [this](int days) {
        rangeDays_ = days;
        refresh();
    };
    column->addWidget(picker_);

    auto* card = new AccentCard(host);
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(16, 16, 16, 16);
    cardLayout->setSpacing(6);
    summary_ = wrappingLabel("", roleFont(TextRole::title3, QFont::DemiBold), palette::primaryText(host), card);
    cardLayout->addWidget(summary_);
    tight_ = wrappingLabel("", roleFont(TextRole::callout), palette::secondaryText(host), card);
    cardLayout->addWidget(tight_);
    column->addWidget(card);

    empty_ = emptyState(host, "\u2197", 32, "Nothing tracked yet",
                        "Leave Velmora open for a few days \u2014 this fills in as Stories happen.");
    column->addWidget(empty_);

    QVBoxLayout* layout = nullptr;
    storiesSection_ = section(host, layout, "Stories per day");
    stories_ = barChart(storiesSection_, layout, palette::orange(), 140);
    column->addWidget(storiesSection_);

    minutesSection_ = section(host, layout, "Minutes under memory pressure");
    auto* minutesCaption =
        textLabel("Time the whole computer (not just one app) was in \u201Cgetting tight\u201D or worse.",
                  roleFont(TextRole::caption), palette::secondaryText(host), minutesSection_);
    minutesCaption->setWordWrap(true);
    layout->addWidget(minutesCaption);
    minutes_ = barChart(minutesSection_, layout, palette::red(), 110);
    minutes_.intervals = 2;
    column->addWidget(minutesSection_);

    offendersSection_ = section(host, layout, "Repeat offenders");
    offendersCaption_ = textLabel("", roleFont(TextRole::caption), palette::secondaryText(host), offendersSection_);
    layout->addWidget(offendersCaption_);
    noOffenders_ = textLabel("Nothing significant yet.", roleFont(TextRole::callout), palette::secondaryText(host),
                             offendersSection_);
    noOffenders_->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(noOffenders_);
    auto* list = new QVBoxLayout;
    list->setSpacing(0);
    for (auto& r : rows_) {
        r.row = new QWidget(offendersSection_);
        auto* line = new QHBoxLayout(r.row);
        line->setContentsMargins(0, 8, 0, 8);
        line->setSpacing(10);
        r.name = new ElidedLabel(1, r.row);
        r.name->setFont(roleFont(TextRole::body, QFont::Medium));
        r.name->setColor(palette::primaryText(host));
        line->addWidget(r.name, 1);
        r.stories = textLabel("", roleFont(TextRole::caption), palette::secondaryText(host), r.row);
        line->addWidget(r.stories);
        r.growth = textLabel("", numberFont(roleFont(TextRole::callout, QFont::DemiBold)), palette::orange(), r.row,
                             Qt::AlignRight | Qt::AlignVCenter);
        // The widest growth the offenders list shows, a total over up to 90 days, whole.
        r.growth->setFixedWidth(std::max(90, QFontMetrics(r.growth->font()).horizontalAdvance("+1,023.99 GB") + 1));
        line->addWidget(r.growth);
        list->addWidget(r.row);
        r.divider = divider(offendersSection_);
        list->addWidget(r.divider);
    }
    layout->addLayout(list);
    column->addWidget(offendersSection_);
    column->addStretch(1);
}

void TrendsPage::startOver() {
    rangeDays_ = 30;
    picker_->setChosen(rangeDays_);
}

void TrendsPage::refresh() {
    const auto& deps = state_.dependencies();
    const auto today = deps.calendar.localDay(deps.clock.now());
    const std::string todayKey = today ? dayKey(*today) : std::string("9999-12-31");
    const auto view = trendsView(state_.dailyStats->recentDays(rangeDays_), todayKey, rangeDays_);

    // The summary names the top offender; a right-to-left name is isolated so that it cannot
    // turn the sentence round or pull its figures.
    QStringList names;
    for (const auto& o : view.offenders) names << QString::fromStdString(o.name);
    showSentence(summary_, QString::fromStdString(view.summary), names);
    tight_->setVisible(view.tightSentence.has_value());
    showSentence(tight_, QString::fromStdString(view.tightSentence.value_or("")), {});

    empty_->setVisible(!view.showSections());
    storiesSection_->setVisible(view.showSections());
    minutesSection_->setVisible(view.showSections() && view.showMinutes());
    offendersSection_->setVisible(view.showSections());
    if (!view.showSections()) return;

    fill(stories_, view.days, false);
    if (view.showMinutes()) fill(minutes_, view.days, true);
    offendersCaption_->setText(
        QString("Apps with the biggest total growth over the last %1 days.").arg(rangeDays_));
    noOffenders_->setVisible(view.offenders.empty());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        auto& r = rows_[i];
        const bool shown = i < view.offenders.size();
        r.row->setVisible(shown);
        r.divider->setVisible(shown && i + 1 < view.offenders.size());
        if (!shown) continue;
        const auto& o = view.offenders[i];
        // The name stands alone in its column: in its own direction, still from the left; its tooltip
        // and accessible name are its plain words.
        r.name->setText(nameAlone(QString::fromStdString(o.name)));
        r.stories->setText(QString::fromStdString(o.storiesText));
        r.growth->setText(QString::fromStdString(o.growthText));
    }
}

}  // namespace velmora
