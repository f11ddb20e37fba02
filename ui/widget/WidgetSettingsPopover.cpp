// The application state first: its names would meet Qt's keyword macros.
#include "app/AppState.h"
#include "platform/Clock.h"
#include "ui/widget/WidgetSettingsPopover.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>

#include "ui/style/Elision.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/widget/FloatingWidgetView.h"
#include "ui/widget/WidgetElements.h"

#include <cmath>

namespace velmora {

namespace {

constexpr int popoverWidth = 280;
const WidgetPlacement placements[] = {WidgetPlacement::floating, WidgetPlacement::dockedTop, WidgetPlacement::dockedBottom};
const int ranges[] = {5, 10, 15};

QButtonGroup* segmented(QWidget* parent, QVBoxLayout* into, const QString& caption, const QStringList& labels,
                        const QString& name) {
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    column->addWidget(widgetLabel(parent, roleFont(TextRole::caption), widgetSecondary()));
    static_cast<QLabel*>(column->itemAt(0)->widget())->setText(caption);
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    auto* group = new QButtonGroup(parent);
    group->setExclusive(true);
    // The chosen segment's font; the others are the same size, only lighter.
    const QFont chosenFont = roleFont(TextRole::callout, QFont::DemiBold);
    constexpr int segmentPadding = 4;
    for (int i = 0; i < labels.size(); ++i) {
        auto* b = new QPushButton(labels[i], parent);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setObjectName(name + QString::number(i));
        b->setAccessibleName(caption + ": " + labels[i]);
        const char* corners = i == 0 ? "border-top-left-radius: 6px; border-bottom-left-radius: 6px;"
                              : i == labels.size() - 1 ? "border-top-right-radius: 6px; border-bottom-right-radius: 6px;"
                                                       : "";
        b->setStyleSheet(QString("QPushButton { background: rgba(255,255,255,20); color: white; border: 1px solid "
                                 "rgba(255,255,255,36); padding: 4px %1px; font-size: %2px; %3 }"
                                 "QPushButton:checked { background: rgba(255,255,255,64); font-weight: 600; }")
                             .arg(segmentPadding)
                             .arg(chosenFont.pixelSize())
                             .arg(corners));
        // Never narrower than its label in the bold of a chosen segment: choosing one must not cut it.
        // One pixel more for the rounding of the lighter label's own size.
        b->setMinimumWidth(static_cast<int>(std::ceil(QFontMetricsF(chosenFont).horizontalAdvance(labels[i]))) +
                           2 * (segmentPadding + 1) + 1);
        group->addButton(b, i);
        row->addWidget(b, 1);
    }
    column->addLayout(row);
    into->addLayout(column);
    return group;
}

void check(QAbstractButton* b, bool on) {
    if (b->isChecked() != on) b->setChecked(on);
}

}  // namespace

WidgetSettingsPopover::WidgetSettingsPopover(FloatingWidgetView& view, const AppState& state, QWidget* panel)
    : QFrame(panel, Qt::Popup | Qt::FramelessWindowHint), view_(view), state_(state), panel_(panel) {
    setObjectName("widgetSettings");
    setAttribute(Qt::WA_QuitOnClose, false);
    panel_->installEventFilter(this);
    setFixedWidth(popoverWidth);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(38, 38, 42));
    pal.setColor(QPalette::WindowText, widgetPrimary());
    setPalette(pal);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);
    // As wide as the design says whatever the app names; only the height follows the rows shown.

    auto* title = widgetLabel(this, roleFont(TextRole::headline, QFont::DemiBold), widgetPrimary());
    title->setText("Widget settings");
    column->addWidget(title);

    auto* showRow = new QHBoxLayout;
    showRow->setSpacing(8);
    auto* showLabel = showLabel_ = widgetLabel(this, roleFont(TextRole::body), widgetPrimary());
    showLabel->setText("Show");
    show_ = new QComboBox(this);
    show_->setObjectName("widgetShow");
    show_->setAccessibleName("Show");
    show_->setFocusPolicy(Qt::NoFocus);
    showLabel->setBuddy(show_);
    showRow->addWidget(showLabel);
    showRow->addWidget(show_, 1);
    column->addLayout(showRow);
    // On the user's choice only: filling the list also moves the current index.
    connect(show_, &QComboBox::activated, this, [this](int i) {
        if (i < 0 || i >= int(options_.size())) return;
        view_.adopt(view_.settings().setPinnedApp(options_[i].key));
    });

    placement_ = segmented(this, column, "Placement", {"Floating", "Dock top", "Dock bottom"}, "widgetPlacement");
    connect(placement_, &QButtonGroup::idClicked, this, [this](int id) {
        if (placements[id] == view_.prefs().placement) return;
        // The panel is rebuilt in a later turn, and this pop-up with it.
        view_.adopt(view_.settings().setPlacement(placements[id]));
        hide();
    });

    autoCollapse_ = new QCheckBox("Auto-collapse (hover to expand)", this);
    autoCollapse_->setObjectName("widgetAutoCollapse");
    connect(autoCollapse_, &QCheckBox::clicked, this, [this](bool on) {
        view_.adopt(view_.settings().setAutoCollapseDock(on));
        hide();
    });
    column->addWidget(autoCollapse_);
    compact_ = new QCheckBox("Compact", this);
    compact_->setObjectName("widgetCompact");
    connect(compact_, &QCheckBox::clicked, this, [this](bool on) {
        view_.adopt(view_.settings().setCompact(on));
        place();
    });
    column->addWidget(compact_);
    hint_ = widgetLabel(this, roleFont(TextRole::caption2), widgetTertiary());
    hint_->setText("Drag it anywhere, or press Ctrl+Shift+1\u20134 to snap to a corner.");
    hint_->setWordWrap(true);
    column->addWidget(hint_);

    range_ = segmented(this, column, "Trend range", {"5 min", "10 min", "15 min"}, "widgetRange");
    connect(range_, &QButtonGroup::idClicked, this,
            [this](int id) { view_.adopt(view_.settings().setTrendRangeMinutes(ranges[id])); });

    system_ = new QCheckBox("Show total system memory", this);
    system_->setObjectName("widgetSystemMemory");
    connect(system_, &QCheckBox::clicked, this, [this](bool on) {
        view_.adopt(view_.settings().setShowSystemMemory(on));
        place();
    });
    column->addWidget(system_);
}

void WidgetSettingsPopover::fill(const FloatingWidgetPreferences& prefs) {
    options_ = widgetShowOptions(state_.widgetApps(), state_.sampler->appSnapshots(), prefs.pinnedAppKey);
    show_->clear();
    // Long names are elided to the picker's field, so neither the picker nor its list outgrows the
    // pop-up; the whole name is the item's tooltip and what is read aloud. Each stands alone in the
    // list, so it takes its own direction.
    QStyleOptionComboBox option;
    option.initFrom(show_);
    const int chrome = show_->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(0, 0), show_).width();
    const QMargins margins = layout()->contentsMargins();
    const int room = popoverWidth - margins.left() - margins.right() - showLabel_->sizeHint().width() - 8 - chrome;
    int current = 0;
    for (std::size_t i = 0; i < options_.size(); ++i) {
        const QString whole = QString::fromStdString(options_[i].label);
        show_->addItem(shownName(show_->fontMetrics(), whole, room));
        show_->setItemData(int(i), whole, Qt::ToolTipRole);
        show_->setItemData(int(i), whole, Qt::AccessibleTextRole);
        if (options_[i].key == prefs.pinnedAppKey) current = int(i);
    }
    show_->setCurrentIndex(current);
    for (int i = 0; i < 3; ++i) check(placement_->button(i), placements[i] == prefs.placement);
    const bool docked = prefs.placement != WidgetPlacement::floating;
    autoCollapse_->setVisible(docked);
    check(autoCollapse_, prefs.autoCollapseDock);
    compact_->setVisible(!docked);
    hint_->setVisible(!docked);
    check(compact_, prefs.isCompact);
    // A range stored by hand that none of the segments offers leaves them all unchecked.
    range_->setExclusive(false);
    for (int i = 0; i < 3; ++i) check(range_->button(i), ranges[i] == prefs.trendRangeMinutes);
    range_->setExclusive(true);
    check(system_, prefs.showSystemMemory);
}

void WidgetSettingsPopover::open(const FloatingWidgetPreferences& prefs) {
    fill(prefs);
    place();
    show();
}

bool WidgetSettingsPopover::eventFilter(QObject* watched, QEvent* event) {
    // Compact and system memory resize the panel over 150 ms: placed again at every step, the
    // pop-up ends by the settled frame rather than over the card.
    if (watched == panel_ && isVisible() && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        place();
    return QFrame::eventFilter(watched, event);
}

void WidgetSettingsPopover::place() {
    // The rows shown decide the height at the fixed width.
    layout()->activate();
    resize(popoverWidth, layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(popoverWidth) : sizeHint().height());
    const QRect p = panel_->frameGeometry();
    const QScreen* screen = panel_->screen() ? panel_->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(p.x(), p.y(), 1 << 16, 1 << 16);
    int x = p.x() + (p.width() - width()) / 2;
    int y = p.bottom() + 1 + 6;
    if (y + height() > area.bottom() + 1) y = p.top() - 6 - height();  // no room below: above
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - height()));
    move(x, y);
}

void WidgetSettingsPopover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    emit closed();
}

void WidgetSettingsPopover::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 46), 1));
    p.setBrush(QColor(38, 38, 42));
    p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace velmora
