// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/stories/StoriesPage.h"

#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

#include "ui/main/glance/LiveGlanceCharts.h"
#include "ui/main/stories/StoryListModel.h"
#include "ui/main/strip/SystemPressureStrip.h"
#include "ui/style/Fonts.h"

namespace velmora {

StoriesPage::StoriesPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    header_ = new QVBoxLayout;
    header_->setContentsMargins(0, 0, 0, 0);
    header_->setSpacing(0);
    layout->addLayout(header_);
    strip_ = new SystemPressureStrip(this);
    header_->addWidget(strip_);
    glance_ = new LiveGlanceCharts(this);
    header_->addWidget(glance_);
    stories_ = new StoryListModel(this);
    list_ = new QListView(this);
    list_->setObjectName("storyList");
    list_->setModel(stories_);
    list_->setWordWrap(true);
    list_->setUniformItemSizes(false);
    list_->setSpacing(4);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* listMargins = new QVBoxLayout;
    listMargins->setContentsMargins(16, 8, 16, 0);
    listMargins->addWidget(list_);
    layout->addLayout(listMargins, 1);
}

void StoriesPage::refresh() {
    strip_->setSnapshot(state_.sampler->systemSnapshot());
    glance_->setCharts(glanceCharts(state_));
    if (std::exchange(storiesStale_, false)) stories_->update(state_.timeline->events());
}

}  // namespace velmora
