#include "engine/sampling/ProcessEnumerator.h"

#include <algorithm>
#include <iterator>
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

// Writes `text` over `out`, reusing its storage; invalid bytes become U+FFFD. Most names are plain
// ASCII and need no decoding.
void assignSanitized(std::string& out, std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            out = utf8::sanitize(text);
            return;
        }
    out.assign(text);
}

void assignProcessName(std::string& out, const ProcessReading& reading) {
    if (reading.launchName && !reading.launchName->empty()) return assignSanitized(out, *reading.launchName);
    if (reading.executablePath) {
        const auto last = lastComponent(*reading.executablePath);
        if (!last.empty()) return assignSanitized(out, last);
    }
    // The kernel cuts the short name at 15 bytes, which can split a character; invalid bytes
    // would make every later JSON write of the name fail, so they are replaced too.
    if (reading.shortName && !reading.shortName->empty()) return assignSanitized(out, *reading.shortName);
    out = "pid " + std::to_string(reading.pid);
}

// The desktop's application of a pid: the last one listed for it wins. `apps` is sorted by pid.
const RunningApplication* listedApplication(const std::vector<RunningApplication>& apps, std::int32_t pid) {
    const auto byPid = [](const RunningApplication& a, std::int32_t p) { return a.pid < p; };
    auto it = std::lower_bound(apps.begin(), apps.end(), pid, byPid);
    if (it == apps.end() || it->pid != pid) return nullptr;
    while (std::next(it) != apps.end() && std::next(it)->pid == pid) ++it;
    return &*it;
}

}  // namespace

std::vector<RawProcess> ProcessEnumerator::enumerate(ProcessSource& processes, DesktopSession& desktop,
                                                     KnownApplications* known) {
    std::vector<RawProcess> result;
    enumerate(processes, desktop, known, result);
    return result;
}

void ProcessEnumerator::enumerate(ProcessSource& processes, DesktopSession& desktop, KnownApplications* known,
                                  std::vector<RawProcess>& out) {
    const std::vector<ProcessReading>& readings = processes.readProcesses();

    std::vector<RunningApplication> applications = desktop.runningApplications();
    std::stable_sort(applications.begin(), applications.end(),
                     [](const RunningApplication& a, const RunningApplication& b) { return a.pid < b.pid; });

    // An empty list is a failed read, not every process gone: what is known stays.
    if (readings.empty()) known = nullptr;
    std::size_t count = 0;
    for (const auto& reading : readings) {
        if (reading.pid < 1) continue;
        if (count == out.size()) out.emplace_back();
        RawProcess& raw = out[count++];
        raw.pid = reading.pid;
        raw.parentPID = reading.parentPid.value_or(0);
        raw.footprintBytes = reading.footprintBytes.value_or(0);
        raw.compressedBytes.reset();
        if (!reading.executablePath) raw.executablePath.reset();
        else if (raw.executablePath) raw.executablePath->assign(*reading.executablePath);
        else raw.executablePath.emplace(*reading.executablePath);
        // Once a process has an identity it keeps it for life: an app whose window is unlisted
        // (hidden to the tray) stays itself, merely not active, and one launched from its
        // desktop entry keeps the entry's identity from before its first window maps.
        const RunningApplication* listed = listedApplication(applications, reading.pid);
        const RunningApplication* app = nullptr;
        std::optional<RunningApplication> launched;
        const auto was = known ? known->find(reading.pid) : KnownApplications::iterator();
        if (known && was != known->end() && was->second.startTime == reading.startTime) {
            RunningApplication& kept = was->second.application;
            kept.isActive = listed && listed->isActive;
            if (listed) kept.activationProhibited = listed->activationProhibited;
            was->second.seen = true;
            app = &kept;
        } else {
            if (listed) {
                app = listed;
            } else if (reading.launchedDesktopFile && !reading.launchedDesktopFile->empty()) {
                launched = RunningApplication{reading.pid, *reading.launchedDesktopFile,
                                              desktop.applicationName(*reading.launchedDesktopFile), false, false};
                app = &*launched;
            }
            if (app && known) {
                KnownApplication& slot = (*known)[reading.pid];
                slot = KnownApplication{reading.startTime, *app, true};
                app = &slot.application;
            }
        }
        if (app && app->localizedName) raw.name = *app->localizedName;
        else assignProcessName(raw.name, reading);
        if (app) {
            raw.bundleID = app->bundleIdentifier;
            raw.isActive = app->isActive;
            raw.isApp = !app->activationProhibited || raw.bundleID.has_value();
        } else {
            raw.bundleID.reset();
            raw.isActive = false;
            raw.isApp = false;
        }
    }
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(count), out.end());
    if (!known) return;
    // Processes gone, or no longer an app (a new process on the pid), are forgotten.
    for (auto it = known->begin(); it != known->end();) {
        if (!it->second.seen) {
            it = known->erase(it);
        } else {
            it->second.seen = false;
            ++it;
        }
    }
}

}  // namespace velmora
