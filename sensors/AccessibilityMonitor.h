#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/activity/ActivityEvent.h"
#include "platform/AccessibilityTree.h"
#include "platform/Scheduler.h"

namespace velmora {

class ActivityEventBus;
class Clock;

// Looks inside the frontmost app twice a second through the accessibility tree and tells the bus
// when a document opens, the focused window's address or title changes, or a dialog takes the
// focus. Runs only while trusted; main thread only.
class AccessibilityMonitor {
public:
    static constexpr double pollInterval = 0.5;

    // `selfPid` is this process: its own windows are never looked at.
    AccessibilityMonitor(ActivityEventBus& bus, Scheduler& scheduler, const Clock& clock, AccessibilityTree& tree,
                         std::int32_t selfPid);
    ~AccessibilityMonitor();
    AccessibilityMonitor(const AccessibilityMonitor&) = delete;
    AccessibilityMonitor& operator=(const AccessibilityMonitor&) = delete;

    // Replaces any timer; when trusted, polls at once and then every pollInterval.
    void start();
    void stop();
    void poll();
    bool isRunning() const { return timer_.has_value(); }

    // The application state writes its own reading of the grant here as well.
    bool isTrusted() const { return isTrusted_; }
    void setTrusted(bool trusted) { isTrusted_ = trusted; }

    const std::optional<std::string>& lastFrontmostKey() const { return lastFrontmostKey_; }
    const std::optional<std::string>& lastWindowTitle() const { return lastWindowTitle_; }
    const std::optional<std::string>& lastURL() const { return lastURL_; }
    const std::optional<std::string>& lastDocument() const { return lastDocument_; }
    const std::optional<std::string>& lastDialogKey() const { return lastDialogKey_; }
    std::int32_t lastPID() const { return lastPID_; }

    // The reading steps of a poll.
    std::optional<std::string> focusedURL(const AccessibleRef& app);
    std::optional<std::string> visibleTabSummary(const AccessibleRef& app);
    std::optional<std::string> focusedRole(const AccessibleRef& app);
    // Depth-first, pre-order; `depth` counts the element itself, and only the first 20 children
    // of any element are visited.
    AccessibleRef findDescendant(const AccessibleRef& element, std::string_view role, int depth);
    std::optional<std::string> copyStringAttribute(const AccessibleRef& element, std::string_view attribute);
    std::optional<std::string> urlFromAttributes(const AccessibleRef& element);

private:
    std::optional<std::string> urlInWindow(const AccessibleRef& window);
    std::optional<std::string> tabSummaryInWindow(const AccessibleRef& window);
    void publish(ActivityEventKind kind, const ProcessIdentity& app, std::optional<std::string> windowTitle,
                 std::optional<std::string> urlString, std::optional<std::string> detail,
                 std::optional<std::string> semanticLabel);

    ActivityEventBus& bus_;
    Scheduler& scheduler_;
    const Clock& clock_;
    AccessibilityTree& tree_;
    std::int32_t selfPid_;

    std::optional<Scheduler::TimerId> timer_;
    std::optional<std::string> lastFrontmostKey_;
    std::optional<std::string> lastWindowTitle_;
    std::optional<std::string> lastURL_;
    std::optional<std::string> lastDocument_;
    std::optional<std::string> lastDialogKey_;
    std::int32_t lastPID_ = 0;
    bool isTrusted_ = false;
};

}  // namespace velmora
