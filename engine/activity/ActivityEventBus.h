#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/activity/ActivityEvent.h"

namespace velmora {

// The one place every sensor reports to. Keeps the most recent events for attribution and drops
// anything about password managers, banking or health apps and private browser windows before
// anyone sees it. Main thread only; nothing is saved.
class ActivityEventBus {
public:
    static constexpr std::size_t maxEvents = 2000;

    // The privacy test, also used by the sensors before they read a window. This application's
    // own windows are never sensitive.
    static bool isSensitive(const ProcessIdentity& app, std::optional<std::string_view> windowTitle);
    // For an event that may name no app: only its window title is tested then.
    static bool isSensitive(const std::optional<ProcessIdentity>& app, std::optional<std::string_view> windowTitle);

    // A title that marks a private browser window, in any of the browsers' common languages.
    static bool isPrivateWindowTitle(std::string_view title);

    // A Chromium-family browser: on X11 its incognito windows are titled and classed like any
    // other, so no title, address or picture read from its windows can be told to be ordinary.
    // Sensors that read windows leave such an app's windows out; the extension reports its tabs.
    static bool hidesPrivateWindows(const ProcessIdentity& app);

    // Gate, append, trim, announce the change, then hand the stored event to onEvent.
    void publish(const ActivityEvent& event);
    // The same without onEvent, for events derived from one that onEvent is handling.
    void publishSilently(const ActivityEvent& event);

    // Oldest first.
    const std::deque<ActivityEvent>& events() const { return events_; }
    // timestamp >= date, oldest first.
    std::vector<ActivityEvent> eventsSince(Date date) const;
    // start <= timestamp <= end, oldest first.
    std::vector<ActivityEvent> eventsBetween(Date start, Date end) const;

    // Called with each accepted event from publish, after the list has changed. The handler may
    // publish again on this bus.
    std::function<void(const ActivityEvent&)> onEvent;
    // Called whenever the list of events changes.
    std::function<void()> onChange;

private:
    bool store(const ActivityEvent& event);

    std::deque<ActivityEvent> events_;
};

}  // namespace velmora
