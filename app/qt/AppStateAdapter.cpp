// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "app/qt/AppStateAdapter.h"

#include <QGuiApplication>

#include <utility>

#include "platform/Scheduler.h"

namespace velmora {

AppStateAdapter::AppStateAdapter(AppState& state, Scheduler& scheduler, QObject* parent)
    : QObject(parent), state_(state) {
    state_.onChange = [this] { scheduleFlush(); };
    // Stories also change between samples (follow-ups, a screenshot look finishing).
    previousStoriesHook_ = std::move(state_.timeline->onChange);
    state_.timeline->onChange = [this] {
        if (previousStoriesHook_) previousStoriesHook_();
        storiesDirty_ = true;
        scheduleFlush();
    };
    std::weak_ptr<AppState*> weak = state_.weakSelf();
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [weak, &scheduler](Qt::ApplicationState s) {
        if (s != Qt::ApplicationActive) return;
        scheduler.post([weak] {
            if (auto self = weak.lock(); self && (*self)->didStart) (*self)->refreshSystemPermissions();
        });
    });
}

AppStateAdapter::~AppStateAdapter() {
    state_.onChange = nullptr;
    state_.timeline->onChange = std::move(previousStoriesHook_);
}

void AppStateAdapter::scheduleFlush() {
    if (flushPending_) return;
    flushPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            flushPending_ = false;
            if (std::exchange(storiesDirty_, false)) emit storiesChanged();
            emit changed();
        },
        Qt::QueuedConnection);
}

}  // namespace velmora
