#include "platform/qt/QtScheduler.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

namespace velmora {

QtScheduler::QtScheduler(QObject* parent) : QObject(parent) {}

QtScheduler::~QtScheduler() = default;  // the timers are children and go with us

Scheduler::TimerId QtScheduler::scheduleRepeating(double intervalSeconds, std::function<void()> action) {
    return start(intervalSeconds, true, std::move(action));
}

Scheduler::TimerId QtScheduler::scheduleOnce(double delaySeconds, std::function<void()> action) {
    return start(delaySeconds, false, std::move(action));
}

Scheduler::TimerId QtScheduler::start(double seconds, bool repeating, std::function<void()> action) {
    const TimerId id = nextId_++;
    auto* timer = new QTimer(this);
    // Whole milliseconds within what QTimer takes; NaN and negative delays fire at once.
    const double ms = std::isfinite(seconds) ? std::clamp(seconds * 1000.0, 0.0, double(std::numeric_limits<int>::max()))
                                             : (seconds > 0 ? double(std::numeric_limits<int>::max()) : 0.0);
    timer->setInterval(static_cast<int>(std::lround(ms)));
    timer->setSingleShot(!repeating);
    connect(timer, &QTimer::timeout, this, [this, id, repeating, action = std::move(action)] {
        if (!repeating) cancel(id);  // gone before the action runs, so it may schedule again freely
        action();
    });
    timers_[id] = timer;
    timer->start();
    return id;
}

std::optional<Scheduler::TimerId> QtScheduler::watchReadable(int fd, std::function<void()> action) {
    const TimerId id = nextId_++;
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [action = std::move(action)] { action(); });
    watches_[id] = notifier;
    return id;
}

void QtScheduler::cancel(TimerId id) {
    if (const auto watch = watches_.find(id); watch != watches_.end()) {
        watch->second->setEnabled(false);
        watch->second->deleteLater();  // the action may be running from this very notifier
        watches_.erase(watch);
        return;
    }
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();  // the action may be running from this very timer
    timers_.erase(it);
}

void QtScheduler::post(std::function<void()> action) {
    QMetaObject::invokeMethod(this, [action = std::move(action)] { action(); }, Qt::QueuedConnection);
}

}  // namespace velmora
