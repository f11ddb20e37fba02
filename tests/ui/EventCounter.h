#pragma once
#include <QEvent>
#include <QObject>

namespace velmora {

// Counts the events of one type a watched object receives.
struct EventCounter : QObject {
    explicit EventCounter(QEvent::Type type) : type(type) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type) ++count;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

}  // namespace velmora
