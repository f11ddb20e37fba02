#pragma once
#include <QStackedWidget>

#include "ui/main/Page.h"

class QListView;
class QVBoxLayout;

namespace velmora {

class AppState;
class LiveGlanceCharts;
class SystemPressureStrip;
class StoryListModel;

// The stories: the pressure strip and glance cards above the list of stories.
class StoriesPage final : public Page {
public:
    explicit StoriesPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    // The stories changed since the last refresh; the list catches up when it is next shown.
    void markStoriesStale() { storiesStale_ = true; }
    QVBoxLayout* header() const { return header_; }

private:
    AppState& state_;
    QVBoxLayout* header_ = nullptr;
    SystemPressureStrip* strip_ = nullptr;
    LiveGlanceCharts* glance_ = nullptr;
    QListView* list_ = nullptr;
    StoryListModel* stories_ = nullptr;
    bool storiesStale_ = true;
};

}  // namespace velmora
