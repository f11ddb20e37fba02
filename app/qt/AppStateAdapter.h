#pragma once
#include <functional>

#include <QObject>

namespace velmora {

class AppState;
class Scheduler;

// The one QObject over the application state: its change announcements (several in one sample)
// become at most one changed() per event-loop turn. It also turns the application becoming active
// into a permission refresh once the state has started.
class AppStateAdapter final : public QObject {
    Q_OBJECT
public:
    AppStateAdapter(AppState& state, Scheduler& scheduler, QObject* parent = nullptr);
    ~AppStateAdapter() override;
    AppState& state() const { return state_; }

signals:
    void changed();
    // The stories changed since the last turn (sent just before changed()).
    void storiesChanged();

private:
    void scheduleFlush();
    AppState& state_;
    std::function<void()> previousStoriesHook_;  // given back when the adapter goes
    bool flushPending_ = false;
    bool storiesDirty_ = true;
};

}  // namespace velmora
