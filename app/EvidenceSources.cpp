// Which sensors a story rests on, traced from the tags its activity events carry.
#include "app/EvidenceSources.h"

#include <array>

#include "app/AppState.h"
#include "engine/stories/AttributionEngine.h"

namespace velmora {

namespace {

SensorSource sourceOf(const ActivityEvent& event) {
    if (event.semanticLabel) {
        const std::string& tag = *event.semanticLabel;
        if (tag == "chromium_extension") return SensorSource::chromiumExtension;
        if (tag == "applescript_browser" || tag == "tab_count") return SensorSource::appleScript;
        if (tag == "cg_window_title") return SensorSource::windowList;
    }
    switch (event.kind) {
        case ActivityEventKind::becameFrontmost:
        case ActivityEventKind::appLaunched:
        case ActivityEventKind::appTerminated: return SensorSource::workspace;
        default: return SensorSource::accessibility;
    }
}

}  // namespace

std::vector<SensorSource> AppState::evidenceSources(const std::vector<ActivityEvent>& events) {
    std::array<bool, EnumNames<SensorSource>::names.size()> seen{};
    for (const auto& event : events) seen[static_cast<std::size_t>(sourceOf(event))] = true;
    std::vector<SensorSource> out;
    for (std::size_t i = 0; i < seen.size(); ++i)
        if (seen[i]) out.push_back(static_cast<SensorSource>(i));
    return out;
}

bool AppState::eventBelongsToApp(const ActivityEvent& event, const ProcessIdentity& app) {
    return event.app && AttributionEngine::isSameApp(*event.app, app);
}

std::string joinSourceLabels(const std::vector<SensorSource>& sources, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (i) out += separator;
        out += label(sources[i]);
    }
    return out;
}

}  // namespace velmora
