// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/overview/OverviewPage.h"
#include "ui/main/overview/OverviewRules.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "engine/stories/Phrasing.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/strip/SystemPressureStrip.h"
#include "platform/qt/BidiText.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"

#include <algorithm>

namespace velmora {

namespace {

// A label of one line that is never squeezed below its font's full line (descenders included),
// whatever text it holds or held when the rows were first laid out.
QLabel* lineLabel(const QFont& font, const QColor& colour, QWidget* parent,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    QLabel* label = textLabel("", font, colour, parent, alignment);
    label->setMinimumHeight(QFontMetrics(font).height());
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return label;
}

QColor categoryColour(AppCategory category, const QWidget* widget) {
    if (const auto c = color(category)) return QColor::fromRgbF(float(c->red), float(c->green), float(c->blue));
    return palette::secondaryText(widget);
}

// A category's mark: a small rounded square in its colour.
class CategoryMark final : public QWidget {
public:
    explicit CategoryMark(QWidget* parent) : QWidget(parent) { setFixedSize(20, 18); }
    void setColour(const QColor& c) {
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
        p.drawRoundedRect(QRectF(3, 3, 12, 12), 3, 3);
    }

private:
    QColor colour_;
};

// Clips the strip to rounded corners.
class RoundedHolder final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent*) override {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 12, 12);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
};

}  // namespace

// Segments from the widths rule: gaps and floors come out of the width first, so the bar never
// spills past the column.
class OverviewPage::StackedBar final : public QWidget {
public:
    explicit StackedBar(QWidget* parent) : QWidget(parent) { setFixedHeight(14); }
    void set(std::vector<std::uint64_t> totals, std::vector<QColor> colours) {
        totals_ = std::move(totals);
        colours_ = std::move(colours);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setClipRect(rect());
        const auto widths = stackedBarWidths(totals_, width());
        double x = 0;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            p.setBrush(colours_[i]);
            p.drawRoundedRect(QRectF(x, 0, widths[i], height()), std::min(3.0, widths[i] / 2), 3);
            x += widths[i] + 1.5;
        }
    }

private:
    std::vector<std::uint64_t> totals_;
    std::vector<QColor> colours_;
};

OverviewPage::OverviewPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* column = scrollingColumn(this, 720, 28, 24);
    auto* host = column->parentWidget();

    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    header->addWidget(textLabel("Overview", roleFont(TextRole::largeTitle, QFont::Bold), palette::primaryText(host), host));
    auto* lead = textLabel("What's using memory right now, grouped \u2014 not a play-by-play.", roleFont(TextRole::body),
                           palette::secondaryText(host), host);
    lead->setWordWrap(true);
    header->addWidget(lead);
    column->addLayout(header);

    auto* stripHolder = new RoundedHolder(host);
    auto* stripLayout = new QVBoxLayout(stripHolder);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    strip_ = new SystemPressureStrip(stripHolder);
    stripLayout->addWidget(strip_);
    column->addWidget(stripHolder);

    auto* categories = new QVBoxLayout;
    categories->setSpacing(12);
    categories->addWidget(textLabel("By category", roleFont(TextRole::headline, QFont::DemiBold), palette::primaryText(host), host));
    waiting_ = textLabel(QString::fromUtf8("Waiting for the first measurement\u2026"), roleFont(TextRole::callout),
                         palette::secondaryText(host), host);
    categories->addWidget(waiting_);
    bar_ = new StackedBar(host);
    categories->addWidget(bar_);
    auto* rows = new QVBoxLayout;
    rows->setSpacing(0);
    for (auto& r : categoryRows_) {
        r.row = new QWidget(host);
        auto* line = new QHBoxLayout(r.row);
        line->setContentsMargins(0, 8, 0, 8);
        line->setSpacing(10);
        r.icon = new CategoryMark(r.row);
        line->addWidget(r.icon, 0, Qt::AlignTop);
        auto* names = new QVBoxLayout;
        names->setSpacing(2);
        r.title = lineLabel(roleFont(TextRole::body, QFont::Medium), palette::primaryText(host), r.row);
        names->addWidget(r.title);
        r.members = new ElidedLabel(1, r.row);
        r.members->setFont(roleFont(TextRole::caption));
        r.members->setColor(palette::secondaryText(host));
        names->addWidget(r.members);
        line->addLayout(names, 1);
        auto* figures = new QVBoxLayout;
        figures->setSpacing(2);
        r.bytes = lineLabel(numberFont(roleFont(TextRole::body, QFont::DemiBold)), palette::primaryText(host), r.row,
                            Qt::AlignRight | Qt::AlignVCenter);
        r.bytes->setMinimumWidth(amountColumnWidth(r.bytes->font(), false));
        figures->addWidget(r.bytes);
        r.share = lineLabel(numberFont(roleFont(TextRole::caption)), palette::secondaryText(host), r.row,
                            Qt::AlignRight | Qt::AlignVCenter);
        r.share->setMinimumWidth(QFontMetrics(r.share->font()).horizontalAdvance("100%"));
        figures->addWidget(r.share);
        line->addLayout(figures);
        rows->addWidget(r.row);
        r.divider = divider(host);
        rows->addWidget(r.divider);
    }
    categories->addLayout(rows);
    column->addLayout(categories);

    auto* movers = new QVBoxLayout;
    movers->setSpacing(10);
    auto* moversHead = new QHBoxLayout;
    moversHead->addWidget(textLabel("Recent movers", roleFont(TextRole::headline, QFont::DemiBold), palette::primaryText(host), host));
    moversHead->addStretch(1);
    picker_ = new SegmentedPicker({{"15 min", 15}, {"30 min", 30}, {"60 min", 60}}, moversMinutes_, 260, host);
    picker_->onChosen = [this](int minutes) {
        moversMinutes_ = minutes;
        refresh();
    };
    moversHead->addWidget(picker_, 1);
    movers->addLayout(moversHead);
    moversSentence_ = wrappingLabel("", roleFont(TextRole::caption), palette::secondaryText(host), host);
    movers->addWidget(moversSentence_);
    nothingMoved_ = textLabel("", roleFont(TextRole::callout), palette::secondaryText(host), host);
    nothingMoved_->setContentsMargins(0, 4, 0, 0);
    movers->addWidget(nothingMoved_);
    auto* moverList = new QVBoxLayout;
    moverList->setSpacing(0);
    for (auto& r : moverRows_) {
        r.row = new QWidget(host);
        auto* line = new QHBoxLayout(r.row);
        line->setContentsMargins(0, 8, 0, 8);
        line->setSpacing(10);
        r.arrow = lineLabel(roleFont(TextRole::caption, QFont::Bold), palette::orange(), r.row, Qt::AlignCenter);
        r.arrow->setFixedWidth(16);
        line->addWidget(r.arrow);
        auto* names = new QVBoxLayout;
        names->setSpacing(0);
        // An app's name can be any length: one line, cut with an ellipsis, whole in its tooltip.
        r.name = new ElidedLabel(1, r.row);
        r.name->setFont(roleFont(TextRole::body, QFont::Medium));
        r.name->setColor(palette::primaryText(host));
        names->addWidget(r.name);
        r.now = lineLabel(numberFont(roleFont(TextRole::caption)), palette::secondaryText(host), r.row);
        names->addWidget(r.now);
        line->addLayout(names, 1);
        r.delta = lineLabel(numberFont(roleFont(TextRole::body, QFont::DemiBold)), palette::orange(), r.row,
                            Qt::AlignRight | Qt::AlignVCenter);
        r.delta->setFixedWidth(std::max(90, amountColumnWidth(r.delta->font(), true)));
        line->addWidget(r.delta);
        moverList->addWidget(r.row);
        r.divider = divider(host);
        moverList->addWidget(r.divider);
    }
    movers->addLayout(moverList);
    column->addLayout(movers);
    column->addStretch(1);
}

void OverviewPage::startOver() {
    moversMinutes_ = 30;
    picker_->setChosen(moversMinutes_);
}

void OverviewPage::refresh() {
    strip_->setSnapshot(state_.sampler->systemSnapshot());

    const auto totals = CategoryTotal::totals(state_.visibleApps());
    const auto rows = categoryRows(totals);
    const bool waiting = grandTotal(totals) == 0;
    waiting_->setVisible(waiting);
    bar_->setVisible(!waiting);
    std::vector<std::uint64_t> bytes;
    std::vector<QColor> colours;
    for (const auto& t : totals) {
        bytes.push_back(t.totalBytes);
        colours.push_back(categoryColour(t.category, this));
    }
    bar_->set(std::move(bytes), std::move(colours));
    for (std::size_t i = 0; i < categoryRows_.size(); ++i) {
        auto& w = categoryRows_[i];
        const bool shown = !waiting && i < rows.size();
        w.row->setVisible(shown);
        w.divider->setVisible(shown && i + 1 < rows.size());
        if (!shown) continue;
        const auto& r = rows[i];
        static_cast<CategoryMark*>(w.icon)->setColour(categoryColour(r.category, this));
        w.title->setText(QString::fromStdString(r.title));
        // Each name isolated: commas between two right-to-left names would otherwise join them
        // into one run and swap them.
        QStringList members;
        for (const auto& name : r.memberNames) members << isolate(name);
        w.members->setText(members.join(QStringLiteral(", ")));  // spoken without the marks
        w.members->setVisible(!r.members.empty());
        w.bytes->setText(QString::fromStdString(r.bytes));
        w.share->setText(QString::fromStdString(r.share));
    }

    const auto movers = state_.recentMovers(8, moversMinutes_ * 60.0);
    moversSentence_->setText(QString::fromUtf8("Apps whose memory changed the most over the last %1 minutes \u2014 "
                                               "computed straight from measurements, not from Stories.")
                                 .arg(moversMinutes_));
    nothingMoved_->setVisible(movers.empty());
    nothingMoved_->setText(QString("Nothing moved significantly in the last %1 minutes.").arg(moversMinutes_));
    for (std::size_t i = 0; i < moverRows_.size(); ++i) {
        auto& w = moverRows_[i];
        const bool shown = i < movers.size();
        w.row->setVisible(shown);
        w.divider->setVisible(shown && i + 1 < movers.size());
        if (!shown) continue;
        const auto& m = movers[i];
        const QColor colour = palette::forChange(m.deltaBytes);
        w.arrow->setText(m.deltaBytes < 0 ? QString::fromUtf8("\u2198") : QString::fromUtf8("\u2197"));
        setLabelColour(w.arrow, colour);
        // The name stands alone in its row: in its own direction, still from the left.
        w.name->setText(nameAlone(QString::fromStdString(m.displayName)));
        w.now->setText(QString::fromStdString("now " + formatBytes(m.currentBytes)));
        w.delta->setText(QString::fromStdString(formatSignedBytes(m.deltaBytes)));
        setLabelColour(w.delta, colour);
    }
}

}  // namespace velmora
