// Where every accepted activity event ends up: the session tracker, the sensor status, the
// developer log, and the semantic events put back on the bus.
#include <algorithm>

#include "app/AppState.h"
#include "engine/detection/NoiseFilter.h"
#include "engine/sampling/BrowserFamily.h"
#include "engine/support/Utf8.h"
#include "platform/Clock.h"
#include "sensors/PageLabel.h"

namespace velmora {

namespace {

constexpr double semanticRepeatSeconds = 8.0;

struct SourceTag {
    const char* statusName;
    SensorSource logSource;
};

SourceTag sourceTag(const ActivityEvent& event) {
    const std::string tag = event.semanticLabel.value_or("");
    if (tag == "applescript_browser" || tag == "tab_count") return {"Automation", SensorSource::appleScript};
    if (tag == "cg_window_title") return {"Window list", SensorSource::windowList};
    if (tag == "chromium_extension") return {"Extension", SensorSource::chromiumExtension};
    if (event.kind == ActivityEventKind::becameFrontmost) return {"System", SensorSource::workspace};
    return {"System", SensorSource::accessibility};
}

std::optional<std::string_view> view(const std::optional<std::string>& s) {
    return s ? std::optional<std::string_view>(*s) : std::nullopt;
}

}  // namespace

void AppState::handleActivityEvent(const ActivityEvent& event) {
    if (!event.app || NoiseFilter::isNoise(*event.app)) return;
    browserSessionTracker->notePage(event);

    if (event.windowTitle) {
        const SourceTag tag = sourceTag(event);
        sensorLastTitle = event.windowTitle;
        sensorLastApp = event.app->displayName;
        sensorLastSource = tag.statusName;
        sensorLastAt = event.timestamp;
        sensorLastError.reset();
        recordSensorLog(SensorLogEntry{Uuid::random(), deps_.clock.now(), tag.logSource,
                                       std::string(rawValue(event.kind)) + ": " + *event.windowTitle,
                                       event.app->displayName, event.urlString ? event.urlString : event.detail});
        announceChange();
    }

    const SamplingContext context{event.app->bundleID, event.timestamp};
    for (const auto& semantic : adapterRegistry->semanticEvents(event, context)) {
        const std::string fingerprint = std::string(rawValue(semantic.kind)) + "|" + semantic.detail.value_or("") +
                                        "|" + semantic.windowTitle.value_or("");
        const Date now = deps_.clock.now();
        if (lastSemanticFingerprint_ == fingerprint && now - lastSemanticAt_ < semanticRepeatSeconds) continue;
        lastSemanticFingerprint_ = fingerprint;
        lastSemanticAt_ = now;
        activityBus->publishSilently(semantic);
    }
}

void AppState::handleTabEvent(const std::string& browser, const std::optional<std::string>& title,
                              const std::optional<std::string>& url, const std::optional<std::string>& host) {
    extensionEverConnected = true;
    // The extension names the browser by its family word, so its pages join the session of the
    // processes grouped under that family; a word it does not know stays Google Chrome's.
    const BrowserFamily* known = browserFamilyNamed(utf8::lower(browser));
    const BrowserFamily& family = known ? *known : *browserFamilyNamed("chrome");
    const std::string displayName(family.displayName);
    const ProcessIdentity identity{"family:" + std::string(family.word), std::nullopt, displayName, {}, false};

    const auto label = pageLabel(view(title), view(url), view(host));
    if (!label || ActivityEventBus::isSensitive(identity, view(title))) {
        announceChange();
        return;
    }

    const Date now = deps_.clock.now();
    ActivityEvent event;
    event.id = Uuid::random();
    event.timestamp = now;
    event.kind = ActivityEventKind::pageNavigated;
    event.app = identity;
    event.windowTitle = label;
    event.urlString = url;
    event.detail = label;
    event.semanticLabel = "chromium_extension";
    activityBus->publish(event);

    // The status and the log hold only what the bus's privacy gate let through.
    const auto& stored = activityBus->events();
    if (std::find_if(stored.rbegin(), stored.rend(), [&](const ActivityEvent& e) { return e.id == event.id; }) ==
        stored.rend()) {
        announceChange();
        return;
    }
    sensorLastApp = displayName;
    sensorLastTitle = label;
    sensorLastSource = "Extension";
    sensorLastAt = now;
    sensorLastError.reset();
    recordSensorLog(SensorLogEntry{Uuid::random(), now, SensorSource::chromiumExtension, "Tab \u2192 " + *label,
                                   displayName, url});
    announceChange();
}

void AppState::refreshSensorStatus() {
    const TitleReading scripted = browserScriptingProbe().lastReading();
    const TitleReading listed = scripted.title ? TitleReading{} : windowTitleProbe().lastReading();
    const TitleReading& seen = scripted.title ? scripted : listed;
    if (!seen.title) {
        sensorLastError = scripted.error;
        return;
    }
    sensorLastTitle = seen.title;
    sensorLastApp = seen.appName;
    sensorLastSource = scripted.title ? "Browser Automation" : "Window list";
    sensorLastAt = seen.at;
    sensorLastError.reset();
}

}  // namespace velmora
