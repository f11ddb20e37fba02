#pragma once
#include <map>
#include <string>

#include <QStackedWidget>

#include "ui/main/Page.h"
#include "ui/main/stories/StoriesLogic.h"
#include "ui/main/stories/StoryListModel.h"

class QLabel;
class QListView;
class QPushButton;
class QSplitter;
class QVBoxLayout;
class QWidgetAction;

namespace velmora {

class AppState;
class LiveGlanceCharts;
class NudgeBanner;
class StoriesFilterBar;
class StoryDetailPane;
class StoryRowDelegate;
class SystemPressureStrip;

// The stories: the pressure strip and glance cards, the extension banner, the filters and the
// list of stories on the left; the selected story in full on the right.
class StoriesPage final : public Page {
public:
    explicit StoriesPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    void startOver() override;
    // The stories changed since the last refresh; the list catches up when it is next shown.
    void markStoriesStale() { storiesStale_ = true; }
    QVBoxLayout* header() const { return header_; }
    const stories::Filters& filters() const { return filters_; }
    // "Check one action", in the window's toolbar while this page is the one shown.
    QWidgetAction* toolbarAction() const { return checkAction_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Cached {
        TimelineEvent story;
        bool visible = false;
        std::string haystack;
        StoryRow row;
    };
    void rebuildList(bool filtersChanged);
    void followSelection();
    void clearFilters();
    void startCheckOneAction();

    AppState& state_;
    QVBoxLayout* header_ = nullptr;
    SystemPressureStrip* strip_ = nullptr;
    LiveGlanceCharts* glance_ = nullptr;
    NudgeBanner* banner_ = nullptr;
    StoriesFilterBar* filterBar_ = nullptr;
    QStackedWidget* listStack_ = nullptr;
    QListView* list_ = nullptr;
    StoryRowDelegate* rows_ = nullptr;
    StoryListModel* stories_ = nullptr;
    QLabel* emptyTitle_ = nullptr;
    QLabel* emptyText_ = nullptr;
    QPushButton* emptyButton_ = nullptr;
    StoryDetailPane* detail_ = nullptr;
    QWidgetAction* checkAction_ = nullptr;
    stories::Filters filters_;
    std::optional<stories::AppOption> chosenApp_;  // the chosen app's last known name
    std::map<Uuid, Cached> cache_;
    bool storiesStale_ = true;
    bool filtersStale_ = true;
    bool applying_ = false;  // the page is moving the list's selection, not the user
    bool noneVisible_ = true;
    bool prominentPlaceholder_ = false;
};

}  // namespace velmora
