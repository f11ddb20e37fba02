// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/livechart/LiveChartPage.h"
#include "ui/main/livechart/LiveChartRules.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QCategoryAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QSignalBlocker>
#include <QLocale>
#include <QPainter>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/stories/Phrasing.h"
#include "platform/Clock.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/overview/PageParts.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"

namespace velmora {

namespace {

QColor categoryColour(AppCategory category, const QWidget* widget) {
    if (const auto c = color(category)) return QColor::fromRgbF(float(c->red), float(c->green), float(c->blue));
    return palette::secondaryText(widget);
}

class Dot final : public QWidget {
public:
    explicit Dot(QWidget* parent) : QWidget(parent) { setFixedSize(9, 9); }
    QColor colour;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QRectF(rect()));
    }
};

// A rounded card at 4 % of the text colour behind the chart.
class Card final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette::withAlpha(palette::primaryText(this), 0.04));
        p.drawRoundedRect(QRectF(rect()), 12, 12);
    }
};

}  // namespace

LiveChartPage::LiveChartPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* column = scrollingColumn(this, 760, 28, 20);
    auto* host = column->parentWidget();

    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    header->addWidget(textLabel("Live Chart", roleFont(TextRole::largeTitle, QFont::Bold), palette::primaryText(host), host));
    auto* lead = textLabel("How the heaviest apps' memory has actually moved \u2014 as a line, not a sentence.",
                           roleFont(TextRole::body), palette::secondaryText(host), host);
    lead->setWordWrap(true);
    header->addWidget(lead);
    column->addLayout(header);

    picker_ = new SegmentedPicker({{"30 min", 30}, {"1 hour", 60}, {"2 hours", 120}}, rangeMinutes_, 320, host);
    picker_->onChosen = [this](int minutes) {
        rangeMinutes_ = minutes;
        refresh();
    };
    column->addWidget(picker_);

    empty_ = emptyState(host, "\u223F", 30, "Not enough history yet",
                        "Leave Velmora open a few minutes \u2014 this fills in as measurements come in.");
    column->addWidget(empty_);

    chartCard_ = new Card(host);
    auto* cardLayout = new QVBoxLayout(chartCard_);
    cardLayout->setContentsMargins(16, 16, 16, 16);
    chart_ = new QChart;
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->legend()->hide();
    chart_->setBackgroundVisible(false);
    // Time as plain seconds with labelled marks: a date-time axis drew nothing on Qt 6.4 here.
    timeAxis_ = new QCategoryAxis(chart_);
    timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    memoryAxis_ = new QValueAxis(chart_);
    memoryAxis_->setTitleText("GB");
    memoryAxis_->setLabelFormat("%.1f");
    const QColor axisText = palette::secondaryText(this);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(timeAxis_), static_cast<QAbstractAxis*>(memoryAxis_)}) {
        axis->setLabelsBrush(axisText);
        axis->setTitleBrush(axisText);
        axis->setLabelsFont(roleFont(TextRole::caption));
        axis->setGridLineColor(palette::withAlpha(palette::primaryText(this), 0.1));
        axis->setLinePenColor(palette::withAlpha(palette::primaryText(this), 0.2));
    }
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(memoryAxis_, Qt::AlignLeft);
    chartView_ = new QChartView(chart_, chartCard_);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setStyleSheet("background: transparent");
    chartView_->setFixedHeight(280);
    cardLayout->addWidget(chartView_);
    column->addWidget(chartCard_);

    legend_ = new QWidget(host);
    auto* legendColumn = new QVBoxLayout(legend_);
    legendColumn->setContentsMargins(0, 0, 0, 0);
    legendColumn->setSpacing(0);
    for (auto& r : rows_) {
        r.row = new QWidget(legend_);
        auto* line = new QHBoxLayout(r.row);
        line->setContentsMargins(0, 7, 0, 7);
        line->setSpacing(10);
        r.dot = new Dot(r.row);
        line->addWidget(r.dot);
        r.name = new ElidedLabel(1, r.row);
        r.name->setFont(roleFont(TextRole::body, QFont::Medium));
        r.name->setColor(palette::primaryText(host));
        line->addWidget(r.name, 1);
        r.current = textLabel("", numberFont(roleFont(TextRole::callout, QFont::DemiBold)), palette::primaryText(host),
                              r.row, Qt::AlignRight | Qt::AlignVCenter);
        line->addWidget(r.current);
        r.delta = textLabel("", numberFont(roleFont(TextRole::caption)), palette::orange(), r.row,
                            Qt::AlignRight | Qt::AlignVCenter);
        r.delta->setFixedWidth(84);
        line->addWidget(r.delta);
        legendColumn->addWidget(r.row);
        r.divider = divider(legend_);
        legendColumn->addWidget(r.divider);
    }
    column->addWidget(legend_);
    column->addStretch(1);
}

QLineSeries* LiveChartPage::seriesFor(const std::string& key) const {
    auto it = series_.find(key);
    return it == series_.end() ? nullptr : it->second;
}

void LiveChartPage::startOver() {
    rangeMinutes_ = 30;
    picker_->setChosen(rangeMinutes_);
}

void LiveChartPage::refresh() {
    const Date now = state_.dependencies().clock.now();
    const Date start = now - rangeMinutes_ * 60.0;
    const auto series =
        makeSeries(state_.visibleApps(), state_.sampler->footprintHistory(), start, maxSeries, maxPointsPerSeries);

    const bool empty = series.empty();
    empty_->setVisible(empty);
    chartCard_->setVisible(!empty);
    legend_->setVisible(!empty);

    // Lines come and go only with their keys; the rest are refilled in place.
    for (auto it = series_.begin(); it != series_.end();) {
        const bool kept = std::any_of(series.begin(), series.end(), [&](const ChartSeries& s) { return s.key == it->first; });
        if (kept) {
            ++it;
            continue;
        }
        chart_->removeSeries(it->second);
        delete it->second;
        it = series_.erase(it);
    }
    bool linesChanged = series.size() != series_.size();
    double top = 0;
    std::vector<QList<QPointF>> buffers(series.size());
    for (std::size_t i = 0; i < series.size(); ++i) {
        const auto& s = series[i];
        QLineSeries*& line = series_[s.key];
        if (!line) {
            line = new QLineSeries;
            chart_->addSeries(line);
            line->attachAxis(timeAxis_);
            line->attachAxis(memoryAxis_);
            linesChanged = true;
        }
        const QColor colour = categoryColour(s.category, this);
        if (line->pen().color() != colour || line->pen().widthF() != 2.0) {
            QPen pen(colour, 2.0, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
            line->setPen(pen);
        }
        line->setName(QString::fromStdString(s.name));
        buffers[i].reserve(maxPointsPerSeries + 2);
        for (const auto& p : s.points) {
            const double gb = static_cast<double>(p.bytes) / 1073741824.0;
            top = std::max(top, gb);
            buffers[i].append(QPointF(p.date.unixSeconds(), gb));
        }
    }
    const MemoryAxis axis = memoryAxis(top);
    const double ceiling = axis.ceiling;

    // Laying the lines out and painting the chart is the page's whole cost. A second moves the
    // time axis by a fraction of a pixel at these ranges, so the lines are redrawn when that adds
    // up to a pixel, when a line's newest value moves by a pixel's height, or when the lines,
    // the range or the scale change. Moving the axis lays out its labels, grid and every line
    // again, so a line's new value alone leaves it where it stands, under a pixel behind.
    const QRectF plot = chart_->plotArea();
    const double span = now - start;
    const bool axisDue = linesChanged || plot.width() < 1 || plot.height() < 1 || ceiling != memoryAxis_->max() ||
                         span != timeAxis_->max() - timeAxis_->min() ||
                         (now.unixSeconds() - timeAxis_->max()) * plot.width() / span >= 1;
    bool redraw = axisDue;
    for (std::size_t i = 0; i < series.size() && !redraw; ++i) {
        const auto drawn = series_[series[i].key]->points();
        redraw = drawn.isEmpty() || buffers[i].isEmpty() ||
                 std::abs(drawn.back().y() - buffers[i].back().y()) * plot.height() / ceiling >= 1;
    }
    if (redraw) {
        std::vector<QLineSeries*> replaced;
        for (std::size_t i = 0; i < series.size(); ++i) {
            QLineSeries* line = series_[series[i].key];
            if (line->points() == buffers[i]) continue;
            // Each line lays itself out again (a stroke of its whole path) when its points change
            // and again when an axis moves; the time axis moves every second, so the points are
            // handed over quietly and the lines laid out once, when it does.
            const QSignalBlocker quiet(line);
            line->replace(buffers[i]);
            replaced.push_back(line);
        }
        const bool moved =
            axisDue && (timeAxis_->min() != start.unixSeconds() || timeAxis_->max() != now.unixSeconds());
        if (moved) timeAxis_->setRange(start.unixSeconds(), now.unixSeconds());
        if (!moved)
            for (auto* line : replaced) emit line->pointsReplaced();
    }
    // Counted back from the time the axis shows (it lags now by under a pixel), relabelled only
    // when the marks move.
    const auto marks = timeMarks(timeAxis_->max(), rangeMinutes_);
    if (marks != marks_) {
        marks_ = marks;
        for (const auto& label : timeAxis_->categoriesLabels()) timeAxis_->remove(label);
        // Hour and minute in the locale's order (a 12-hour locale keeps its AM/PM), never seconds.
        QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
        format.remove(QStringLiteral(":ss")).remove(QStringLiteral(".ss"));
        for (const double at : marks)
            timeAxis_->append(QDateTime::fromSecsSinceEpoch(static_cast<qint64>(at)).toString(format), at);
    }
    memoryAxis_->setRange(0, axis.ceiling);
    memoryAxis_->setTickCount(axis.ticks);
    const QString labelFormat = QStringLiteral("%.%1f").arg(axis.decimals);
    if (memoryAxis_->labelFormat() != labelFormat) memoryAxis_->setLabelFormat(labelFormat);

    for (std::size_t i = 0; i < rows_.size(); ++i) {
        auto& r = rows_[i];
        const bool shown = i < series.size();
        r.row->setVisible(shown);
        r.divider->setVisible(shown && i + 1 < series.size());
        if (!shown) continue;
        const auto& s = series[i];
        auto* dot = static_cast<Dot*>(r.dot);
        const QColor colour = categoryColour(s.category, this);
        if (dot->colour != colour) {
            dot->colour = colour;
            dot->update();
        }
        // The name stands alone beside its line's colour: in its own direction, still from the left.
        r.name->setText(nameAlone(QString::fromStdString(s.name)));
        r.current->setText(QString::fromStdString(formatBytes(s.currentBytes)));
        r.delta->setText(QString::fromStdString(formatSignedBytes(s.deltaBytes)));
        setLabelColour(r.delta, palette::forChange(s.deltaBytes));
    }
}

}  // namespace velmora
