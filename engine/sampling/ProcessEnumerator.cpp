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
    const std::vector<ProcessReading>& readings = processes.readProcesses();

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
        // Once a process has an identity it keeps it for life: an app whose window is unlisted
        // (hidden to the tray) stays itself, merely not active, and one launched from its
        // desktop entry keeps the entry's identity from before its first window maps.
        const auto listed = applications.find(reading.pid);
        std::optional<RunningApplication> app;
        if (const auto was = known ? known->find(reading.pid) : KnownApplications::iterator();
            known && was != known->end() && was->second.startTime == reading.startTime) {
            app = was->second.application;
            app->isActive = listed != applications.end() && listed->second.isActive;
            if (listed != applications.end()) app->activationProhibited = listed->second.activationProhibited;
        } else if (listed != applications.end()) {
            app = listed->second;
        } else if (reading.launchedDesktopFile && !reading.launchedDesktopFile->empty()) {
            app = RunningApplication{reading.pid, *reading.launchedDesktopFile,
                                     desktop.applicationName(*reading.launchedDesktopFile), false, false};
        }
        if (app && known) stillKnown.insert_or_assign(reading.pid, KnownApplication{reading.startTime, *app});
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
