#pragma once
#include <unordered_map>

#include <QObject>

#include "platform/Scheduler.h"

class QSocketNotifier;
class QTimer;

namespace velmora {

// Timers on QTimer and posting onto the Qt event loop of the thread that built the scheduler.
class QtScheduler final : public QObject, public Scheduler {
    Q_OBJECT
public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    TimerId scheduleRepeating(double intervalSeconds, std::function<void()> action) override;
    TimerId scheduleOnce(double delaySeconds, std::function<void()> action) override;
    std::optional<TimerId> watchReadable(int fd, std::function<void()> action) override;
    void cancel(TimerId id) override;
    // Safe from any thread; an action posted after the scheduler is gone is dropped.
    void post(std::function<void()> action) override;

private:
    TimerId start(double seconds, bool repeating, std::function<void()> action);
    std::unordered_map<TimerId, QTimer*> timers_;
    std::unordered_map<TimerId, QSocketNotifier*> watches_;
    TimerId nextId_ = 1;
};

}  // namespace velmora
