// What the views ask the application state, and the few actions a user can take.
#include <algorithm>
#include <cstdio>

#include "app/AppState.h"
#include "engine/detection/NoiseFilter.h"
#include "platform/AppTerminator.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/FirstRunFlags.h"
#include "platform/LoginItem.h"
#include "platform/StableInstaller.h"
#include "platform/UrlOpener.h"

namespace velmora {

namespace {

constexpr std::uint64_t minimumMoverChange = 20ull * 1024 * 1024;
constexpr std::size_t widgetAppLimit = 15;

// The application itself first: the noise filter counts it as noise so detection ignores it.
bool isVisible(const AppMemorySnapshot& snapshot) {
    return snapshot.identity.isSelf || !NoiseFilter::isNoise(snapshot.identity);
}

std::int64_t storyChange(const TimelineEvent& story) {
    for (const auto* window : {&story.settled, &story.immediate, &story.longerTerm})
        if (*window) return (*window)->deltaBytes;
    return 0;
}

bool isChartedKind(TimelineEventKind kind) {
    return kind == TimelineEventKind::largeDelta || kind == TimelineEventKind::sustainedGrowth ||
           kind == TimelineEventKind::memoryReleased || kind == TimelineEventKind::measureSession;
}

std::vector<FootprintHistory::Point> pointsSince(const FootprintHistoryMap& history, const std::string& key,
                                                 Date cutoff) {
    std::vector<FootprintHistory::Point> out;
    auto it = history.find(key);
    if (it == history.end()) return out;
    // Filtered point by point: after the clock was set back the history need not be in order.
    for (const auto point : it->second)
        if (point.date >= cutoff) out.push_back(point);
    return out;
}

// A file URL of a folder, with everything outside the unreserved path characters percent-encoded.
std::string folderURL(const std::string& path) {
    std::string out = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    if (out.back() != '/') out += '/';
    return out;
}

}  // namespace

std::optional<AppMemorySnapshot> AppState::topApp() const {
    for (const auto& s : sampler->appSnapshots())
        if (isVisible(s)) return s;
    return std::nullopt;
}

std::optional<AppMemorySnapshot> AppState::foregroundApp() const {
    for (const auto& s : sampler->appSnapshots())
        if (s.isForeground && isVisible(s)) return s;
    return std::nullopt;
}

std::vector<AppMemorySnapshot> AppState::visibleApps() const {
    std::vector<AppMemorySnapshot> out;
    std::copy_if(sampler->appSnapshots().begin(), sampler->appSnapshots().end(), std::back_inserter(out), isVisible);
    return out;
}

std::vector<AppMemorySnapshot> AppState::widgetApps() const {
    std::vector<AppMemorySnapshot> out;
    for (const auto& s : sampler->appSnapshots()) {
        if (out.size() == widgetAppLimit) break;
        if (isVisible(s)) out.push_back(s);
    }
    return out;
}

std::optional<AppMemorySnapshot> AppState::appSnapshot(const std::string& groupingKey) const {
    for (const auto& s : sampler->appSnapshots())
        if (s.identity.groupingKey == groupingKey) return s;
    return std::nullopt;
}

std::vector<RecentMover> AppState::recentMovers(std::size_t limit, double windowSeconds) const {
    std::unordered_map<std::string, ProcessIdentity> identities;
    for (const auto& s : sampler->appSnapshots())
        if (isVisible(s)) identities.emplace(s.identity.groupingKey, s.identity);
    return RecentMover::compute(sampler->footprintHistory(), identities, windowSeconds, deps_.clock.now(),
                                minimumMoverChange, limit);
}

std::pair<ProcessIdentity, std::vector<FootprintHistory::Point>> AppState::footprintSeries(
    const ProcessIdentity& identity, Date cutoff) const {
    return {identity, pointsSince(sampler->footprintHistory(), identity.groupingKey, cutoff)};
}

std::vector<FootprintHistory::Point> AppState::topAppSeries() const {
    const auto top = topApp();
    if (!top) return {};
    return pointsSince(sampler->footprintHistory(), top->identity.groupingKey, deps_.clock.now() - chartWindowSeconds);
}

std::vector<std::pair<Date, std::uint64_t>> AppState::recentSystemSnapshots() const {
    const Date cutoff = deps_.clock.now() - chartWindowSeconds;
    std::vector<std::pair<Date, std::uint64_t>> out;
    // A failed read holds zeros, not a sudden drop to no free memory.
    for (const auto& s : timeline->systemHistory())
        if (s.timestamp >= cutoff && !s.readFailed) out.emplace_back(s.timestamp, s.availableBytes);
    return out;
}

std::vector<ChartStoryMark> AppState::recentStoryMarks() const {
    std::vector<ChartStoryMark> out;
    const Date cutoff = deps_.clock.now() - chartWindowSeconds;
    for (const auto& story : timeline->events())
        if (story.timestamp >= cutoff && isChartedKind(story.kind))
            out.push_back({story.id, story.timestamp, storyChange(story)});
    return out;
}

std::vector<ChartStoryMark> AppState::storyMarks(const std::string& groupingKey, Date cutoff) const {
    std::vector<ChartStoryMark> out;
    for (const auto& story : timeline->events())
        if (story.timestamp >= cutoff && isChartedKind(story.kind) && story.relatedApp &&
            story.relatedApp->groupingKey == groupingKey)
            out.push_back({story.id, story.timestamp, storyChange(story)});
    return out;
}

std::optional<TimelineEvent> AppState::selectedEvent() const {
    if (!selectedEventID) return std::nullopt;
    for (const auto& story : timeline->events())
        if (story.id == *selectedEventID) return story;
    return std::nullopt;
}

std::optional<std::string> AppState::chromiumExtensionFolderURL() const {
    if (!deps_.resourceDirectory) return std::nullopt;
    return folderURL(*deps_.resourceDirectory + "/chromium");
}

std::optional<std::string> AppState::firefoxExtensionFolderURL() const {
    if (!deps_.resourceDirectory) return std::nullopt;
    return folderURL(*deps_.resourceDirectory + "/firefox");
}

bool AppState::hasWindow(const std::string& groupingKey, const std::optional<std::string>& bundleID) {
    if (bundleID && !deps_.terminator.applicationsWithBundleID(*bundleID).empty()) return true;
    const auto snapshot = appSnapshot(groupingKey);
    return snapshot && std::any_of(snapshot->identity.pids.begin(), snapshot->identity.pids.end(),
                                   [&](std::int32_t pid) { return deps_.terminator.hasWindow(pid); });
}

bool AppState::quitApp(const std::string& groupingKey, const std::optional<std::string>& bundleID,
                       const std::string& displayName) {
    const auto snapshot = appSnapshot(groupingKey);
    const ProcessIdentity identity =
        snapshot ? snapshot->identity : ProcessIdentity{groupingKey, bundleID, displayName, {}, false};
    const auto refuse = [&] {
        lastQuitMessage = displayName + " didn't quit — it may be busy or ask to save first.";
        announceChange();
        return false;
    };
    // Velmora itself, the whole system and the desktop's own daemons are never asked to quit.
    const auto isSelfPid = [&](std::int32_t pid) { return pid == deps_.self.pid; };
    if (groupingKey == "system" || identity.isSelf || NoiseFilter::isNoise(identity) ||
        (bundleID && bundleID == deps_.self.bundleID) || std::any_of(identity.pids.begin(), identity.pids.end(), isSelfPid))
        return refuse();

    std::vector<std::int32_t> targets;
    if (bundleID) targets = deps_.terminator.applicationsWithBundleID(*bundleID);
    if (targets.empty() && snapshot)
        for (const auto pid : snapshot->identity.pids)
            if (deps_.terminator.hasWindow(pid)) targets.push_back(pid);
    if (targets.empty()) {
        lastQuitMessage = displayName + " isn't running anymore.";
        announceChange();
        return false;
    }
    for (const auto pid : targets)
        if (isSelfPid(pid) || !deps_.terminator.closeWindows(pid)) return refuse();
    lastQuitMessage = "Asked " + displayName + " to quit.";
    announceChange();
    return true;
}

void AppState::installToApplications(std::optional<bool> launchAtLogin) {
    // Stored first: the copy may read it as soon as it starts.
    if (launchAtLogin) deps_.defaults.setValue(std::string(launchAtLoginAfterInstallKey), *launchAtLogin);
    if (const auto error = deps_.installer.installAndRelaunch()) {
        if (launchAtLogin) deps_.defaults.remove(std::string(launchAtLoginAfterInstallKey));
        lastInstallMessage = "Install failed: " + *error;
    } else {
        lastInstallMessage = "Launching stable copy from ~/.local…";
        deps_.firstRun.markCompleted();
    }
    announceChange();
}

void AppState::setLaunchAtLogin(bool enabled) {
    deps_.loginItem.setEnabled(enabled);
    launchAtLoginStatus = deps_.loginItem.status();
    announceChange();
}

void AppState::openChromeExtensionsPage() { deps_.urlOpener.open("chrome://extensions"); }

void AppState::weeklyDigestAuthorizationAnswered(bool granted) {
    weeklyDigestPermissionDenied = !granted;
    announceChange();
}

}  // namespace velmora
