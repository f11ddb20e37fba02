#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/activity/ActivityEventBus.h"
#include "engine/sampling/ProcessGrouper.h"
#include "platform/Clock.h"
#include "platform/ScriptRunner.h"
#include "platform/Workspace.h"
#include "sensors/SensorTimer.h"

namespace velmora {

// Asks the frontmost known browser, once a second, for its current tab's title and address and
// its tab count, and publishes page and tab-count events when what it sees changes. Where the
// desktop offers no browser scripting it stays idle and reports nothing.
class BrowserScriptingProbe {
public:
    static constexpr double interval = 1.0;

    struct Target {
        std::set<std::string> processNames;  // lower-case application names
        std::vector<std::string> bundleIDSubstrings;
        std::string appleScriptAppName;
        std::string titleScript;
        std::optional<std::string> urlScript;
        std::optional<std::string> tabCountScript;
        bool operator==(const Target&) const = default;
    };

    BrowserScriptingProbe(ActivityEventBus& bus, Workspace& workspace, ScriptRunner& runner, Scheduler& scheduler,
                          const Clock& clock, SelfProcess self);

    // Replaces any running timer and polls once at once; does nothing without a script runner.
    void start();
    void stop();
    void poll();

    // The first target the application matches, in table order.
    const Target* targetFor(const RunningApplication& app) const;
    const std::vector<Target>& targets() const { return targets_; }

    bool isRunning() const { return timer_.isActive(); }
    // The last page seen and the last failure, for the sensor status.
    const std::optional<std::string>& lastTitle() const { return lastTitle_; }
    const std::optional<std::string>& lastURL() const { return lastURL_; }
    const std::optional<std::string>& lastAppName() const { return lastAppName_; }
    const std::optional<int>& lastTabCount() const { return lastTabCount_; }
    const std::optional<Date>& lastAt() const { return lastAt_; }
    const std::optional<std::string>& lastError() const { return lastError_; }

private:
    void publish(ActivityEventKind kind, const ProcessIdentity& app, const std::string& label,
                 const std::optional<std::string>& url, std::string detail, std::string semanticLabel);

    ActivityEventBus& bus_;
    Workspace& workspace_;
    ScriptRunner& runner_;
    const Clock& clock_;
    SelfProcess self_;
    SensorTimer timer_;
    std::optional<std::string> lastFingerprint_;
    std::optional<std::string> lastTitle_;
    std::optional<std::string> lastURL_;
    std::optional<std::string> lastAppName_;
    std::optional<int> lastTabCount_;
    std::optional<Date> lastAt_;
    std::optional<std::string> lastError_;
    std::vector<Target> targets_;
    std::map<std::string, int> lastTabCountByApp_;
};

}  // namespace velmora
