#include "engine/sampling/ProcessEnumerator.h"

#include <string_view>
#include <unordered_map>

#include "engine/support/Utf8.h"
#include "platform/DesktopSession.h"
#include "platform/ProcessSource.h"

namespace velmora {

namespace {

// The last component of a path; empty when the path ends in a separator.
std::string_view lastComponent(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Most names are plain ASCII and need no decoding.
std::string sanitized(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return utf8::sanitize(text);
    return std::string(text);
}

std::string processName(const ProcessReading& reading) {
    if (reading.launchName && !reading.launchName->empty()) return sanitized(*reading.launchName);
    if (reading.executablePath) {
        const auto last = lastComponent(*reading.executablePath);
        if (!last.empty()) return sanitized(last);
    }
    // The kernel cuts the short name at 15 bytes, which can split a character; invalid bytes
    // would make every later JSON write of the name fail, so they are replaced too.
    if (reading.shortName && !reading.shortName->empty()) return sanitized(*reading.shortName);
    return "pid " + std::to_string(reading.pid);
}

}  // namespace

std::vector<RawProcess> ProcessEnumerator::enumerate(ProcessSource& processes, DesktopSession& desktop,
                                                     KnownApplications* known) {
    const std::vector<ProcessReading> readings = processes.readProcesses();

    std::unordered_map<std::int32_t, RunningApplication> applications;
    for (auto& app : desktop.runningApplications()) applications.insert_or_assign(app.pid, std::move(app));

    KnownApplications stillKnown;
    std::vector<RawProcess> result;
    result.reserve(readings.size());
    for (const auto& reading : readings) {
        if (reading.pid < 1) continue;
        RawProcess raw;
        raw.pid = reading.pid;
        raw.name = processName(reading);
        raw.parentPID = reading.parentPid.value_or(0);
        raw.footprintBytes = reading.footprintBytes.value_or(0);
        const RunningApplication* app = nullptr;
        if (const auto it = applications.find(reading.pid); it != applications.end()) {
            app = &it->second;
            if (known) stillKnown.insert_or_assign(reading.pid, KnownApplication{reading.startTime, *app});
        } else if (known) {
            const auto was = known->find(reading.pid);
            if (was != known->end() && was->second.startTime == reading.startTime) {
                KnownApplication kept = was->second;
                kept.application.isActive = false;
                app = &stillKnown.insert_or_assign(reading.pid, std::move(kept)).first->second.application;
            }
        }
        if (app) {
            raw.bundleID = app->bundleIdentifier;
            raw.isActive = app->isActive;
            if (app->localizedName) raw.name = *app->localizedName;
            raw.isApp = !app->activationProhibited || raw.bundleID.has_value();
        }
        result.push_back(std::move(raw));
    }
    // An empty list is a failed read, not every process gone.
    if (known && !readings.empty()) *known = std::move(stillKnown);
    return result;
}

}  // namespace velmora
