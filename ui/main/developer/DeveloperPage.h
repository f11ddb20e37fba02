#pragma once
#include <string>
#include <vector>

#include "ui/main/Page.h"

class QGridLayout;
class QLabel;
class QListView;
class QPushButton;
class QVBoxLayout;

namespace velmora {

class AppState;
class ElidedLabel;
class SensorFeedModel;

// What each sensor and the pipeline are doing, for developers: status rows, a one-off browser
// read, the evidence sources, the live sensor feed and the newest stories with their sources.
class DeveloperPage final : public Page {
    Q_OBJECT
public:
    explicit DeveloperPage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    SensorFeedModel* feedModel() const { return feed_; }

private:
    void testBrowserRead();
    void clearFeed();
    void refreshStories();

    AppState& state_;
    std::vector<ElidedLabel*> statusValues_;
    QLabel* bridgeError_ = nullptr;
    QLabel* probeError_ = nullptr;
    SensorFeedModel* feed_ = nullptr;
    QListView* feedView_ = nullptr;
    QLabel* feedEmpty_ = nullptr;
    QWidget* storiesCard_ = nullptr;
    QVBoxLayout* storyRows_ = nullptr;
    std::vector<std::string> shownStories_;  // id and title of each listed story
};

}  // namespace velmora
