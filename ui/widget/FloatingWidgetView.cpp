// The application state first: its names would meet Qt's keyword macros.
#include "app/AppState.h"
#include "platform/Clock.h"
#include "ui/widget/FloatingWidgetView.h"

#include <QCursor>
#include <QHBoxLayout>
#include <QPainter>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "app/qt/AppStateAdapter.h"
#include "engine/stories/Phrasing.h"
#include "ui/main/ElidedLabel.h"
#include "ui/style/Fonts.h"
#include "ui/style/MarkedSparkline.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/widget/FloatingWidgetController.h"
#include "ui/widget/WidgetElements.h"
#include "ui/widget/WidgetSettingsPopover.h"

namespace velmora {

namespace {

// The widget's own dark fill: the panel is dark whatever the desktop's look.
const QColor fill(30, 30, 33);
// A faint white outline, enough on a dark desktop; the fill itself stands out on a light one.
const QColor border = QColor::fromRgbF(1, 1, 1, 0.1);

struct Redraw {
    const FloatingWidgetPreferences& prefs;
    const std::optional<AppMemorySnapshot>& app;
    const WidgetFigures& figures;
    Date now;
};

std::string footprintText(const AppMemorySnapshot& app) {
    return formatBytes(std::min<std::uint64_t>(app.footprintBytes, std::numeric_limits<std::int64_t>::max()));
}

QFont footprintFont(int pixels) {
    QFont f = roleFont(TextRole::body, QFont::Bold);
    f.setPixelSize(pixels);
    return numberFont(f);
}

QFont smallCaps(int pixels, double tracking) {
    QFont f = roleFont(TextRole::caption2, QFont::DemiBold);
    f.setPixelSize(pixels);
    f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return f;
}

void paintPanel(QWidget* w, double radius) {
    QPainter p(w);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(w->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    radius = std::min(radius, r.height() / 2);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
}

SparklineInput sparklineInput(const Redraw& r) {
    SparklineInput in;
    in.values = r.figures.trendPoints;
    in.dates = r.figures.trendDates;
    in.marks = r.figures.trendMarks;
    in.windowStart = r.figures.windowStart;
    in.windowEnd = r.now;
    return in;
}

// One line of the app's name, elided with the whole name as its tooltip.
ElidedLabel* appName(QWidget* parent) {
    auto* name = new ElidedLabel(1, parent);
    name->setObjectName("widgetAppName");
    name->setFont(roleFont(TextRole::callout, QFont::DemiBold));
    name->setColor(widgetPrimary());
    return name;
}

// The name stands alone, so it is isolated to take its own direction (the label's painter lays
// every line out left to right, whatever the label's direction): a right-to-left one keeps an
// emoji at its end on its left, and its "…" at its cut end, while it starts beside the icon.
void setAppName(ElidedLabel* label, const std::optional<AppMemorySnapshot>& app) {
    label->setText(nameAlone(QString::fromStdString(widgetAppName(app))));
}

QFrame* divider(QWidget* parent) {
    auto* d = new QFrame(parent);
    d->setFixedSize(1, 36);
    d->setStyleSheet("background: rgba(255, 255, 255, 30);");
    return d;
}

// A rounded box behind a group of the card (trend, system memory).
class Box final : public QWidget {
public:
    Box(double radius, QWidget* parent) : QWidget(parent), radius_(radius) {}
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
        p.drawRoundedRect(QRectF(rect()), radius_, radius_);
    }

private:
    double radius_;
    QColor colour_ = palette::withAlpha(widgetPrimary(), 0.05);
};

}  // namespace

// The floating card: header, then the footprint, trend, latest spike and system memory.
class WidgetCard final : public QWidget {
public:
    WidgetCard(FloatingWidgetView* view, FloatingWidgetController& controller) : QWidget(view) {
        setObjectName("widgetCard");
        auto* column = new QVBoxLayout(this);
        column->setSpacing(0);
        column->setContentsMargins(0, 0, 0, 0);

        header_ = new QHBoxLayout;
        header_->setSpacing(8);
        icon_ = new AppIconTile(22, 16, 7, 11, this);
        name_ = appName(this);
        auto* gear = new IconButton(WidgetSymbol::gear, 12, "Widget settings", this);
        gear->setObjectName("widgetSettingsButton");
        auto* close = new IconButton(WidgetSymbol::xmark, 11, "Hide widget", this);
        close->setObjectName("widgetHideButton");
        connect(gear, &QAbstractButton::clicked, view, &FloatingWidgetView::openSettings);
        connect(close, &QAbstractButton::clicked, this, [&controller] { controller.hide(); });
        header_->addWidget(icon_);
        header_->addWidget(name_, 1);
        header_->addSpacing(4);
        header_->addWidget(gear);
        header_->addWidget(close);
        column->addLayout(header_);

        body_ = new QWidget(this);
        bodyLayout_ = new QVBoxLayout(body_);
        auto* foot = new QVBoxLayout;
        foot->setSpacing(4);
        footprint_ = new RollingNumber(body_);
        footprint_->setFont(footprintFont(38));
        setWidgetLabelColour(footprint_, widgetPrimary());
        footprint_->setObjectName("widgetFootprint");
        usage_ = new UsageBar(body_);
        foot->addWidget(footprint_);
        foot->addWidget(usage_);
        bodyLayout_->addLayout(foot);

        trendBox_ = new Box(10, body_);
        auto* trend = new QVBoxLayout(trendBox_);
        trend->setContentsMargins(10, 10, 10, 10);
        trend->setSpacing(6);
        trendTitle_ = widgetLabel(trendBox_, smallCaps(9, 0.5), widgetTertiary());
        trendTitle_->setObjectName("widgetTrendTitle");
        sparkline_ = new MarkedSparkline(trendBox_);
        sparkline_->setFixedHeight(44);
        trend->addWidget(trendTitle_);
        trend->addWidget(sparkline_);
        bodyLayout_->addWidget(trendBox_);

        chip_ = new SpikeChip(true, body_);
        chip_->setObjectName("widgetSpike");
        noSpike_ = widgetLabel(body_, roleFont(TextRole::caption2), widgetTertiary());
        noSpike_->setObjectName("widgetNoSpike");
        bodyLayout_->addWidget(chip_, 0, Qt::AlignLeft);
        bodyLayout_->addWidget(noSpike_);

        system_ = new Box(8, body_);
        system_->setObjectName("widgetSystem");
        auto* sys = new QVBoxLayout(system_);
        sys->setContentsMargins(10, 7, 10, 7);
        sys->setSpacing(4);
        auto* sysRow = new QHBoxLayout;
        sysRow->setSpacing(6);
        sysSymbol_ = new SymbolView(WidgetSymbol::memorychipFill, 10, system_);
        sysLine_ = widgetLabel(system_, roleFont(TextRole::caption2, QFont::Medium), widgetSecondary());
        sysLine_->setObjectName("widgetSystemLine");
        sysPercent_ = widgetLabel(system_, numberFont(roleFont(TextRole::caption2, QFont::Bold)), widgetSecondary());
        sysPercent_->setObjectName("widgetSystemPercent");
        sysRow->addWidget(sysSymbol_);
        sysRow->addWidget(sysLine_);
        sysRow->addStretch(1);
        sysRow->addSpacing(4);
        sysRow->addWidget(sysPercent_);
        sys->addLayout(sysRow);
        warning_ = widgetLabel(system_, roleFont(TextRole::caption2), palette::red());
        warning_->setObjectName("widgetLowMemory");
        warning_->setWordWrap(true);
        warning_->setText(lowMemoryWarning);
        sys->addWidget(warning_);
        bodyLayout_->addWidget(system_);
        bodyLayout_->addStretch(1);
        column->addWidget(body_, 1);

        note_ = new QWidget(this);
        auto* note = new QVBoxLayout(note_);
        note->setSpacing(8);
        note->addStretch(1);
        auto* eye = new SymbolView(WidgetSymbol::eyeSlash, 22, note_);
        eye->set(WidgetSymbol::eyeSlash, widgetTertiary());
        noteText_ = widgetLabel(note_, roleFont(TextRole::callout), widgetSecondary());
        noteText_->setObjectName("widgetMissingApp");
        noteText_->setAlignment(Qt::AlignCenter);
        note->addWidget(eye, 0, Qt::AlignHCenter);
        note->addWidget(noteText_);
        note->addStretch(1);
        column->addWidget(note_, 1);
    }

    void redraw(const Redraw& r) {
        const bool compact = r.prefs.isCompact;
        header_->setContentsMargins(compact ? 12 : 14, compact ? 10 : 12, compact ? 12 : 14, 4);
        bodyLayout_->setContentsMargins(compact ? 12 : 14, 0, compact ? 12 : 14, compact ? 10 : 14);
        bodyLayout_->setSpacing(compact ? 6 : 10);
        setAccent(widgetToneColour(r.figures.accent, this));
        icon_->setApp(r.app);
        setAppName(name_, r.app);
        body_->setVisible(r.app.has_value());
        note_->setVisible(!r.app);
        if (!r.app) {
            setWidgetLabel(noteText_, missingAppNote(r.prefs));
            return;
        }
        const QColor trend = widgetToneColour(r.figures.trend, this);
        if (footprint_->font().pixelSize() != (compact ? 30 : 38)) footprint_->setFont(footprintFont(compact ? 30 : 38));
        footprint_->setNumber(QString::fromStdString(footprintText(*r.app)));
        usage_->set(r.figures.usageFraction, trend);

        trendBox_->setVisible(!compact);
        chip_->setVisible(!compact && r.figures.latestSpike);
        noSpike_->setVisible(!compact && !r.figures.latestSpike);
        const bool system = !compact && r.prefs.showSystemMemory && r.figures.system;
        system_->setVisible(system);
        if (!compact) {
            setWidgetLabel(trendTitle_, cardTrendTitle(r.prefs.trendRangeMinutes));
            SparklineInput in = sparklineInput(r);
            sparkline_->setData(std::move(in), trend);
            if (r.figures.latestSpike) chip_->set(*r.figures.latestSpike, timeAgoText(r.figures.latestSpike->mark.date, r.now));
            else setWidgetLabel(noSpike_, noSpikeText(r.prefs.trendRangeMinutes, false));
        }
        if (system) {
            const bool critical = r.figures.isCriticalMemory;
            const QColor tone = critical ? palette::red() : widgetSecondary();
            system_->setColour(critical ? palette::withAlpha(palette::red(), 0.16) : palette::withAlpha(widgetPrimary(), 0.05));
            sysSymbol_->set(critical ? WidgetSymbol::warning : WidgetSymbol::memorychipFill, tone);
            setWidgetLabel(sysLine_, cardSystemLine(*r.figures.system));
            setWidgetLabel(sysPercent_, cardSystemPercent(*r.figures.system));
            setWidgetLabelColour(sysLine_, tone);
            setWidgetLabelColour(sysPercent_, tone);
            warning_->setVisible(critical);
        }
    }

protected:
    // Only the accent bar is painted here; the rest redraws itself when it changes.
    void setAccent(const QColor& c) {
        if (c == accent_) return;
        accent_ = c;
        update(QRect(width() / 2 - 20, 6, 40, 7));
    }
    void paintEvent(QPaintEvent*) override {
        paintPanel(this, 16);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(accent_);
        p.drawRoundedRect(QRectF(width() / 2.0 - 18, 8, 36, 3), 1.5, 1.5);
    }

private:
    QHBoxLayout* header_;
    AppIconTile* icon_;
    ElidedLabel* name_;
    QWidget* body_;
    QVBoxLayout* bodyLayout_;
    RollingNumber* footprint_;
    UsageBar* usage_;
    Box* trendBox_;
    QLabel* trendTitle_;
    MarkedSparkline* sparkline_;
    SpikeChip* chip_;
    QLabel* noSpike_;
    Box* system_;
    SymbolView* sysSymbol_;
    QLabel* sysLine_;
    QLabel* sysPercent_;
    QLabel* warning_;
    QWidget* note_;
    QLabel* noteText_;
    QColor accent_;
};

// The 800 × 84 bar along a screen edge: app, footprint, trend, system memory, buttons.
class DockedBar final : public QWidget {
public:
    DockedBar(FloatingWidgetView* view, FloatingWidgetController& controller) : QWidget(view) {
        setObjectName("widgetBar");
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(20, 0, 20, 0);
        row->setSpacing(12);

        auto* app = new QWidget(this);
        app->setFixedWidth(148);
        auto* appRow = new QHBoxLayout(app);
        appRow->setContentsMargins(0, 0, 0, 0);
        appRow->setSpacing(10);
        icon_ = new AppIconTile(30, 20, 8, 14, app);
        auto* names = new QVBoxLayout;
        names->setSpacing(1);
        name_ = appName(app);
        caption_ = widgetLabel(app, roleFont(TextRole::caption2), widgetTertiary());
        caption_->setObjectName("widgetCaption");
        names->addStretch(1);
        names->addWidget(name_);
        names->addWidget(caption_);
        names->addStretch(1);
        appRow->addWidget(icon_);
        appRow->addLayout(names, 1);
        row->addWidget(app);

        appColumns_ = {divider(this)};
        auto* foot = new QWidget(this);
        // The design's 92 cuts "301.4 MB" at this size: as wide as the widest footprint instead.
        foot->setFixedWidth(std::max(92, amountColumnWidth(footprintFont(20), false)));
        auto* footCol = new QVBoxLayout(foot);
        footCol->setContentsMargins(0, 0, 0, 0);
        footCol->setSpacing(5);
        footprint_ = new RollingNumber(foot);
        footprint_->setFont(footprintFont(20));
        setWidgetLabelColour(footprint_, widgetPrimary());
        footprint_->setObjectName("widgetFootprint");
        usage_ = new UsageBar(foot);
        usage_->setFixedWidth(82);
        footCol->addStretch(1);
        footCol->addWidget(footprint_);
        footCol->addWidget(usage_);
        footCol->addStretch(1);
        appColumns_.push_back(foot);
        appColumns_.push_back(divider(this));

        auto* trend = new QWidget(this);
        trend->setMinimumWidth(108);
        auto* trendCol = new QVBoxLayout(trend);
        trendCol->setContentsMargins(0, 0, 0, 0);
        trendCol->setSpacing(4);
        trendTitle_ = widgetLabel(trend, smallCaps(8, 0.4), widgetTertiary());
        trendTitle_->setObjectName("widgetTrendTitle");
        sparkline_ = new MarkedSparkline(trend);
        sparkline_->setFixedSize(108, 28);
        chip_ = new SpikeChip(false, trend);
        chip_->setObjectName("widgetSpike");
        noSpike_ = widgetLabel(trend, roleFont(TextRole::caption2), widgetTertiary());
        noSpike_->setObjectName("widgetNoSpike");
        trendCol->addStretch(1);
        trendCol->addWidget(trendTitle_);
        trendCol->addWidget(sparkline_);
        trendCol->addWidget(chip_, 0, Qt::AlignLeft);
        trendCol->addWidget(noSpike_);
        trendCol->addStretch(1);
        appColumns_.push_back(trend);
        for (auto* w : appColumns_) row->addWidget(w);

        systemDivider_ = divider(this);
        system_ = new QWidget(this);
        system_->setObjectName("widgetSystem");
        system_->setFixedWidth(112);
        auto* sys = new QVBoxLayout(system_);
        sys->setContentsMargins(0, 0, 0, 0);
        sys->setSpacing(2);
        auto* label = new QHBoxLayout;
        label->setSpacing(3);
        sysSymbol_ = new SymbolView(WidgetSymbol::warning, 8, system_);
        sysLabel_ = widgetLabel(system_, smallCaps(8, 0.4), widgetSecondary());
        sysLabel_->setObjectName("widgetSystemLabel");
        label->addWidget(sysSymbol_);
        label->addWidget(sysLabel_);
        label->addStretch(1);
        sysFree_ = widgetLabel(system_, numberFont(roleFont(TextRole::caption, QFont::Bold)), widgetPrimary());
        sysFree_->setObjectName("widgetSystemLine");
        sysTotal_ = widgetLabel(system_, roleFont(TextRole::caption2), widgetSecondary());
        sysTotal_->setObjectName("widgetSystemPercent");
        sys->addStretch(1);
        sys->addLayout(label);
        sys->addWidget(sysFree_);
        sys->addWidget(sysTotal_);
        sys->addStretch(1);
        row->addWidget(systemDivider_);
        row->addWidget(system_);

        row->addStretch(1);
        row->addSpacing(4);
        auto* gear = new IconButton(WidgetSymbol::gear, 12, "Widget settings", this);
        gear->setObjectName("widgetSettingsButton");
        auto* close = new IconButton(WidgetSymbol::xmark, 11, "Hide widget", this);
        close->setObjectName("widgetHideButton");
        connect(gear, &QAbstractButton::clicked, view, &FloatingWidgetView::openSettings);
        connect(close, &QAbstractButton::clicked, this, [&controller] { controller.hide(); });
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        buttons->setContentsMargins(0, 0, 2, 0);
        buttons->addWidget(gear);
        buttons->addWidget(close);
        row->addLayout(buttons);
    }

    void redraw(const Redraw& r) {
        const QColor stripe = r.app ? widgetToneColour(r.figures.trend, this) : palette::withAlpha(widgetSecondary(), 0.3);
        if (stripe != stripe_) {
            stripe_ = stripe;
            update(QRect(4, height() / 2 - 22, 8, 44));
        }
        icon_->setApp(r.app);
        setAppName(name_, r.app);
        setWidgetLabel(caption_, widgetDockCaption(r.app));
        for (auto* w : appColumns_) w->setVisible(r.app.has_value());
        if (r.app) {
            const QColor trend = widgetToneColour(r.figures.trend, this);
            footprint_->setNumber(QString::fromStdString(footprintText(*r.app)));
            usage_->set(r.figures.usageFraction, trend);
            setWidgetLabel(trendTitle_, dockTrendTitle(r.prefs.trendRangeMinutes));
            sparkline_->setData(sparklineInput(r), trend);
            chip_->setVisible(r.figures.latestSpike.has_value());
            noSpike_->setVisible(!r.figures.latestSpike);
            if (r.figures.latestSpike) chip_->set(*r.figures.latestSpike, timeAgoText(r.figures.latestSpike->mark.date, r.now));
            else setWidgetLabel(noSpike_, noSpikeText(r.prefs.trendRangeMinutes, true));
        }
        const bool critical = r.figures.isCriticalMemory;
        const bool system = (r.prefs.showSystemMemory || critical) && r.figures.system;
        systemDivider_->setVisible(system);
        system_->setVisible(system);
        if (system) {
            const QColor red = palette::red();
            sysSymbol_->setVisible(critical);
            sysSymbol_->set(WidgetSymbol::warning, red);
            setWidgetLabel(sysLabel_, critical ? "LOW MEMORY" : "SYSTEM");
            setWidgetLabelColour(sysLabel_, critical ? red : widgetSecondary());
            setWidgetLabel(sysFree_, dockSystemFree(*r.figures.system));
            setWidgetLabelColour(sysFree_, critical ? red : widgetPrimary());
            setWidgetLabel(sysTotal_, dockSystemTotal(*r.figures.system));
            setWidgetLabelColour(sysTotal_, critical ? red : widgetSecondary());
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        paintPanel(this, 12);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(stripe_);
        p.drawRoundedRect(QRectF(6, height() / 2.0 - 20, 3, 40), 1.5, 1.5);
    }

private:
    AppIconTile* icon_;
    ElidedLabel* name_;
    QLabel* caption_;
    std::vector<QWidget*> appColumns_;
    RollingNumber* footprint_;
    UsageBar* usage_;
    QLabel* trendTitle_;
    MarkedSparkline* sparkline_;
    SpikeChip* chip_;
    QLabel* noSpike_;
    QWidget* systemDivider_;
    QWidget* system_;
    SymbolView* sysSymbol_;
    QLabel* sysLabel_;
    QLabel* sysFree_;
    QLabel* sysTotal_;
    QColor stripe_;
};

// The docked bar shrunk to a thin strip with a capsule in the middle.
class CollapsedStrip final : public QWidget {
public:
    explicit CollapsedStrip(QWidget* parent) : QWidget(parent) { setObjectName("widgetStrip"); }
    void redraw(const WidgetFigures& f) {
        const QColor c = widgetToneColour(f.accent, this);
        if (c == colour_ && f.isCriticalMemory == critical_) return;
        colour_ = c;
        critical_ = f.isCriticalMemory;
        update();
    }
    QSizeF capsule() const { return critical_ ? QSizeF(140, 6) : QSizeF(90, 4); }

protected:
    void paintEvent(QPaintEvent*) override {
        paintPanel(this, 6);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour_);
        const QSizeF s = capsule();
        p.drawRoundedRect(QRectF((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height()),
                          s.height() / 2, s.height() / 2);
    }

private:
    QColor colour_;
    bool critical_ = false;
};

FloatingWidgetView::FloatingWidgetView(AppStateAdapter& adapter, FloatingWidgetController& controller, QWidget* parent)
    : QWidget(parent),
      adapter_(adapter),
      controller_(controller),
      scheduler_(adapter.state().dependencies().scheduler),
      settings_(adapter.state().dependencies().defaults, controller, scheduler_),
      prefs_(FloatingWidgetPreferences::load(adapter.state().dependencies().defaults)),
      now_(adapter.state().dependencies().clock.now()) {
    setObjectName("floatingWidgetView");
    setAttribute(Qt::WA_TranslucentBackground);
    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    card_ = new WidgetCard(this, controller);
    bar_ = new DockedBar(this, controller);
    strip_ = new CollapsedStrip(this);
    // The panel's size comes from the size table, never from the hidden layouts' contents.
    for (QWidget* page : std::initializer_list<QWidget*>{card_, bar_, strip_}) {
        page->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        stack_->addWidget(page);
    }
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // The state changes with every sample: the clock redraws only when nothing else did.
    connect(&adapter, &AppStateAdapter::changed, this, [this] {
        now_ = adapter_.state().dependencies().clock.now();
        refresh();
    });
    tick_ = scheduler_.scheduleRepeating(1.0, [this] {
        const bool idle = !refreshedSinceTick_;
        refreshedSinceTick_ = false;
        if (!idle) return;
        now_ = adapter_.state().dependencies().clock.now();
        refresh();
        refreshedSinceTick_ = false;
    });
    refresh();
}

FloatingWidgetView::~FloatingWidgetView() {
    scheduler_.cancel(tick_);
    if (popover_) {
        popover_->disconnect(this);
        delete popover_;
    }
}

void FloatingWidgetView::chooseLayout() {
    const bool docked = prefs_.placement != WidgetPlacement::floating;
    const Layout want = !docked ? Layout::card : controller_.isDockCollapsed() ? Layout::strip : Layout::bar;
    if (want == layout_ && stack_->currentIndex() == int(want)) return;
    layout_ = want;
    stack_->setCurrentIndex(int(want));
}

void FloatingWidgetView::refresh() {
    refreshedSinceTick_ = true;
    const AppState& state = adapter_.state();
    shown_ = widgetShownApp(state, prefs_);
    WidgetInput input = widgetInput(state, prefs_, now_);
    figures_ = widgetFigures(input);
    chooseLayout();
    const Redraw r{prefs_, shown_, figures_, now_};
    switch (layout_) {
        case Layout::card: card_->redraw(r); break;
        case Layout::bar: bar_->redraw(r); break;
        case Layout::strip: strip_->redraw(figures_); break;
    }
    // Told on a change only; the first value goes out once the view is on screen.
    if (toldCritical_ && *toldCritical_ != figures_.isCriticalMemory) {
        toldCritical_ = figures_.isCriticalMemory;
        controller_.setCriticalMemoryOverride(figures_.isCriticalMemory);
    }
}

void FloatingWidgetView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (toldCritical_) return;
    // In a later turn: the controller is still building the panel that shows this view.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (toldCritical_) return;
            toldCritical_ = figures_.isCriticalMemory;
            controller_.setCriticalMemoryOverride(figures_.isCriticalMemory);
        },
        Qt::QueuedConnection);
}

void FloatingWidgetView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The controller collapses and expands a docked bar by resizing its panel.
    const Layout before = layout_;
    chooseLayout();
    if (layout_ != before) refresh();
}

int FloatingWidgetView::cornerRadius() const {
    switch (layout_) {
        case Layout::card: return 16;
        case Layout::bar: return 12;
        case Layout::strip: return std::min(6, height() / 2);
    }
    return 12;
}

void FloatingWidgetView::adopt(const FloatingWidgetPreferences& prefs) {
    prefs_ = prefs;
    refresh();
}

void FloatingWidgetView::openSettings() {
    if (!popover_) {
        popover_ = new WidgetSettingsPopover(*this, adapter_.state(), window());
        connect(popover_, &WidgetSettingsPopover::closed, this, &FloatingWidgetView::settingsClosed);
    }
    controller_.setSettingsOpen(true);
    popover_->open(prefs_);
}

WidgetSettingsPopover* FloatingWidgetView::settingsPopover() const { return popover_; }

void FloatingWidgetView::settingsClosed() {
    controller_.setSettingsOpen(false);
    // The pop-up held the pointer, so the panel may not hear it come back: say where it is.
    WidgetPanel* panel = controller_.panel();
    if (panel && panel->onHoverChange && window()->isVisible() && window()->frameGeometry().contains(QCursor::pos()))
        panel->onHoverChange(true);
}

}  // namespace velmora
