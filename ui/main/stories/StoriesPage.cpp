// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/stories/StoriesPage.h"

#include <QFrame>
#include <QHideEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWidgetAction>

#include "ui/main/glance/LiveGlanceCharts.h"
#include "ui/main/stories/NudgeBanner.h"
#include "ui/main/stories/StoriesFilterBar.h"
#include "ui/main/stories/StoryDetailPane.h"
#include "ui/main/stories/StoryRowDelegate.h"
#include "ui/main/strip/SystemPressureStrip.h"
#include "ui/style/Buttons.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/style/Symbols.h"

namespace velmora {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette p = line->palette();
    p.setColor(QPalette::WindowText, palette::withAlpha(palette::primaryText(parent), 0.12));
    line->setPalette(p);
    return line;
}

// What stands above the filters and the list, at its own height while the column has room for it
// and for a whole story row; in a shorter window it scrolls, rather than squeezing its cards and
// charts.
class ColumnTop final : public QScrollArea {
public:
    explicit ColumnTop(QWidget* parent) : QScrollArea(parent) {
        setObjectName("storiesTop");
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
        viewport()->setAutoFillBackground(false);
    }
    void hold(QWidget* content) {
        content->setAutoFillBackground(false);
        setWidget(content);
        content->installEventFilter(this);
    }
    QSize sizeHint() const override {
        const QWidget* content = widget();
        if (!content) return QScrollArea::sizeHint();
        const int w = width() > 0 ? width() : content->sizeHint().width();
        const int h = content->hasHeightForWidth() ? content->heightForWidth(w) : content->sizeHint().height();
        return {content->sizeHint().width(), std::max(h, content->minimumSizeHint().height()) + 2 * frameWidth()};
    }

    // Never narrower than the content beside a scroll bar: the content scrolls down, never across.
    QSize minimumSizeHint() const override {
        const QSize least = QScrollArea::minimumSizeHint();
        if (!widget()) return least;
        return {widget()->minimumSizeHint().width() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
                least.height()};
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The banner came or went, or a card's title moved: the column lays out again.
        if (watched == widget() && event->type() == QEvent::LayoutRequest) updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
    void resizeEvent(QResizeEvent* event) override {
        QScrollArea::resizeEvent(event);
        updateGeometry();  // the content's height follows the width
    }
};

}  // namespace

StoriesPage::StoriesPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName("storiesSplit");
    split->setChildrenCollapsible(false);
    outer->addWidget(split);

    auto* left = new QWidget(split);
    left->setMinimumWidth(340);
    auto* layout = new QVBoxLayout(left);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* top = new ColumnTop(left);
    auto* above = new QWidget(top);
    auto* aboveLayout = new QVBoxLayout(above);
    aboveLayout->setContentsMargins(0, 0, 0, 0);
    aboveLayout->setSpacing(0);
    header_ = new QVBoxLayout;
    header_->setContentsMargins(0, 0, 0, 0);
    header_->setSpacing(0);
    aboveLayout->addLayout(header_);
    strip_ = new SystemPressureStrip(above);
    header_->addWidget(strip_);
    header_->addWidget(divider(above));
    glance_ = new LiveGlanceCharts(above);
    header_->addWidget(glance_);
    header_->addWidget(divider(above));

    banner_ = new NudgeBanner(above);
    banner_->setVisible(false);
    aboveLayout->addWidget(banner_);
    connect(banner_, &NudgeBanner::showMe, this, [this] {
        state_.selectedSidebar = SidebarItem::settings;
        state_.announceChange();
    });
    connect(banner_, &NudgeBanner::dismissed, this, [this] {
        state_.extensionNudgeDismissed = true;
        state_.announceChange();
    });

    top->hold(above);
    layout->addWidget(top);

    // The filters stay with the list they narrow.
    filterBar_ = new StoriesFilterBar(left);
    layout->addWidget(filterBar_);
    connect(filterBar_, &StoriesFilterBar::edited, this, [this] {
        filters_ = filterBar_->filters();
        if (filters_.appKey && !(chosenApp_ && chosenApp_->key == *filters_.appKey)) chosenApp_.reset();
        if (!filters_.appKey) chosenApp_.reset();
        filtersStale_ = true;
        refresh();
    });
    layout->addWidget(divider(left));

    // In a short window the strip, the cards and the banner keep their sizes and scroll; the
    // filters stay and the list keeps room for one whole row.
    for (QWidget* fixed : {static_cast<QWidget*>(strip_), static_cast<QWidget*>(glance_),
                           static_cast<QWidget*>(banner_), static_cast<QWidget*>(filterBar_)})
        fixed->setSizePolicy(fixed->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);

    listStack_ = new QStackedWidget(left);
    stories_ = new StoryListModel(this);
    list_ = new QListView(listStack_);
    list_->setObjectName("storyList");
    list_->setModel(stories_);
    rows_ = new StoryRowDelegate(list_);
    list_->setItemDelegate(rows_);
    list_->setMinimumHeight(rows_->tallestRowHeight());
    list_->setUniformItemSizes(false);
    list_->setResizeMode(QListView::Adjust);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    listStack_->addWidget(list_);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        // Only the user's choice is written back; rows the model removes move the current row too.
        if (applying_ || !current.isValid()) return;
        const auto* row = stories_->rowAt(current.row());
        if (!row || state_.selectedEventID == row->id) return;
        state_.selectedEventID = row->id;
        state_.announceChange();
    });

    auto* empty = new QWidget(listStack_);
    empty->setObjectName("storiesPlaceholder");
    // The placeholder must not make the column taller than a small window: the page would scroll.
    empty->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->setContentsMargins(24, 24, 24, 24);
    emptyLayout->setSpacing(14);
    emptyLayout->addStretch(1);
    emptyTitle_ = new QLabel(empty);
    emptyTitle_->setObjectName("storiesPlaceholderTitle");
    emptyTitle_->setFont(roleFont(TextRole::title2, QFont::DemiBold));
    emptyTitle_->setAlignment(Qt::AlignCenter);
    emptyText_ = new QLabel(empty);
    emptyText_->setObjectName("storiesPlaceholderText");
    emptyText_->setAlignment(Qt::AlignCenter);
    emptyText_->setWordWrap(true);
    QPalette secondary = emptyText_->palette();
    secondary.setColor(QPalette::WindowText, palette::secondaryText(this));
    emptyText_->setPalette(secondary);
    emptyButton_ = new QPushButton(empty);
    emptyButton_->setObjectName("placeholderButton");
    connect(emptyButton_, &QPushButton::clicked, this, [this] {
        if (noneVisible_) startCheckOneAction();
        else clearFilters();
    });
    emptyLayout->addWidget(emptyTitle_);
    emptyLayout->addWidget(emptyText_);
    emptyLayout->addWidget(emptyButton_, 0, Qt::AlignCenter);
    emptyLayout->addStretch(1);
    listStack_->addWidget(empty);
    layout->addWidget(listStack_, 1);

    detail_ = new StoryDetailPane(
        [this](const std::string& key, const std::optional<std::string>& bundleID, const std::string& name) {
            state_.quitApp(key, bundleID, name);
        },
        split);
    split->addWidget(left);
    split->addWidget(detail_);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({440, 560});

    // The page's main action sits in the window's toolbar, first, while the page is shown.
    auto* check = new QPushButton(QStringLiteral("Check one action"));
    check->setObjectName("toolbarCheckOneAction");
    makeProminent(check, false);
    check->setIcon(symbolIcon(SidebarItem::measure, check->palette().color(QPalette::HighlightedText)));
    check->setFocusPolicy(Qt::TabFocus);
    checkAction_ = new QWidgetAction(this);
    checkAction_->setObjectName("checkOneActionToolbar");
    checkAction_->setText(check->text());
    checkAction_->setDefaultWidget(check);
    connect(check, &QPushButton::clicked, checkAction_, &QAction::trigger);
    connect(checkAction_, &QAction::triggered, this, [this] { startCheckOneAction(); });
}

void StoriesPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    auto* bar = window()->findChild<QToolBar*>("toolbar");
    if (!bar || bar->actions().contains(checkAction_)) return;
    const auto actions = bar->actions();
    bar->insertAction(actions.isEmpty() ? nullptr : actions.front(), checkAction_);
}

void StoriesPage::hideEvent(QHideEvent* event) {
    Page::hideEvent(event);
    // A minimised window hides its pages too; only leaving the page takes the action away.
    if (event->spontaneous()) return;
    if (auto* bar = window()->findChild<QToolBar*>("toolbar")) bar->removeAction(checkAction_);
}

void StoriesPage::startOver() {
    if (filters_ == stories::Filters{}) return;
    filters_ = {};
    chosenApp_.reset();
    filtersStale_ = true;
}

void StoriesPage::clearFilters() {
    filters_ = {};
    chosenApp_.reset();
    filtersStale_ = true;
    refresh();
}

void StoriesPage::startCheckOneAction() {
    state_.selectedSidebar = SidebarItem::measure;
    // A running measurement is never restarted from here.
    const MeasurePhase phase = state_.measureController->session().phase;
    if (phase == MeasurePhase::idle || phase == MeasurePhase::report) state_.measureController->start();
    state_.announceChange();
}

void StoriesPage::rebuildList(bool filtersChanged) {
    const auto& events = state_.timeline->events();
    std::map<Uuid, Cached> next;
    std::vector<const TimelineEvent*> visible;
    visible.reserve(events.size());
    for (const auto& story : events) {
        auto old = cache_.find(story.id);
        Cached entry;
        if (old != cache_.end() && old->second.story == story) {
            entry = std::move(old->second);
        } else {
            entry.story = story;
            entry.visible = stories::isVisible(story);
            entry.haystack = stories::searchHaystack(story);
            entry.row = StoryRow::from(story);
        }
        next.insert_or_assign(story.id, std::move(entry));
    }
    cache_ = std::move(next);

    std::vector<StoryRow> rows;
    for (const auto& story : events) {
        const auto& entry = cache_.at(story.id);
        if (!entry.visible) continue;
        visible.push_back(&entry.story);
        if (stories::matchesFilters(entry.story, entry.haystack, filters_)) rows.push_back(entry.row);
    }
    noneVisible_ = visible.empty();
    auto options = stories::appOptions(visible);
    if (filters_.appKey) {
        for (const auto& o : options)
            if (o.key == *filters_.appKey) chosenApp_ = o;
        if (!chosenApp_) chosenApp_ = stories::AppOption{*filters_.appKey, *filters_.appKey};
    }
    filterBar_->show(filters_, stories::pickerOptions(std::move(options), chosenApp_));

    // Rows that arrive above the reader must not push what they are reading down the list.
    QScrollBar* scroll = list_->verticalScrollBar();
    const QModelIndex top = list_->indexAt(QPoint(1, 1));
    const int topRow = top.row(), topY = list_->visualRect(top).top();
    const StoryRow* first = !filtersChanged && scroll->value() > 0 ? stories_->rowAt(topRow) : nullptr;
    const std::optional<Uuid> anchor = first ? std::optional<Uuid>(first->id) : std::nullopt;
    applying_ = true;
    stories_->update(std::move(rows));
    applying_ = false;
    if (filtersChanged) {
        list_->scrollToTop();  // new results are read from their start
    } else if (const int row = anchor ? stories_->rowOf(*anchor) : -1; row >= 0 && row != topRow) {
        list_->doItemsLayout();  // the new rows' heights, now rather than at the next paint
        scroll->setValue(scroll->value() + list_->visualRect(stories_->index(row)).top() - topY);
    }

    const bool empty = stories_->rowCount() == 0;
    if (empty) {
        emptyTitle_->setText(noneVisible_ ? QStringLiteral("Nothing big yet") : QStringLiteral("No stories match this filter"));
        emptyText_->setText(noneVisible_ ? QStringLiteral("Stories = big jumps.\nWho\u2019s heavy = size right now.")
                                         : QStringLiteral("Clear the filter or pick another app."));
        emptyButton_->setText(noneVisible_ ? QStringLiteral("Check one action") : QStringLiteral("Clear filters"));
        // "Check one action" is the page's main action; "Clear filters" a plain button.
        if (noneVisible_ != prominentPlaceholder_) {
            prominentPlaceholder_ = noneVisible_;
            if (noneVisible_) makeProminent(emptyButton_, false);
            else emptyButton_->setStyleSheet({}), emptyButton_->setMinimumHeight(0);
        }
    }
    listStack_->setCurrentIndex(empty ? 1 : 0);
}

void StoriesPage::followSelection() {
    const int row = state_.selectedEventID ? stories_->rowOf(*state_.selectedEventID) : -1;
    const QModelIndex current = list_->currentIndex();
    if ((row < 0 && !current.isValid()) || (row >= 0 && current.row() == row && list_->selectionModel()->isSelected(current)))
        return;
    applying_ = true;
    if (row < 0) {
        list_->selectionModel()->clear();
    } else {
        list_->selectionModel()->setCurrentIndex(stories_->index(row), QItemSelectionModel::ClearAndSelect);
    }
    applying_ = false;
}

void StoriesPage::refresh() {
    list_->setMinimumHeight(rows_->tallestRowHeight());  // the application font may have changed
    strip_->setSnapshot(state_.sampler->systemSnapshot());
    glance_->setCharts(glanceCharts(state_));
    banner_->setVisible(stories::showsExtensionNudge(state_.extensionEverConnected, state_.extensionNudgeDismissed,
                                                     state_.lowConfidenceBrowserStoryCount));
    const bool stale = std::exchange(storiesStale_, false);
    const bool filtersChanged = std::exchange(filtersStale_, false);
    if (filtersChanged || stale) rebuildList(filtersChanged);
    followSelection();
    // The detail follows the list: a story the list does not show (no lasting change, filtered
    // out) leaves it, though its id stays chosen for when the list shows it again.
    auto selected = state_.selectedEvent();
    if (selected && stories_->rowOf(selected->id) < 0) selected.reset();
    const bool hasWindow =
        selected && selected->relatedApp &&
        state_.hasWindow(selected->relatedApp->groupingKey, selected->relatedApp->bundleID);
    detail_->show(selected, state_.lastQuitMessage, hasWindow);
}

}  // namespace velmora
