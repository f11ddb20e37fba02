#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/AppDependencies.h"
#include "app/ChartStoryMark.h"
#include "app/SensorPorts.h"
#include "app/SidebarItem.h"
#include "engine/activity/ActivityEventBus.h"
#include "engine/activity/AppAdapterRegistry.h"
#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/detection/AppNoiseProfileStore.h"
#include "engine/detection/SignificantChangeDetector.h"
#include "engine/detection/SustainedGrowthDetector.h"
#include "engine/sampling/MemorySampler.h"
#include "engine/sampling/RecentMover.h"
#include "engine/settings/PermissionState.h"
#include "engine/settings/SettingsStore.h"
#include "engine/stories/AttributionEngine.h"
#include "engine/stories/DailyStatsStore.h"
#include "engine/stories/SensorSource.h"
#include "engine/stories/TimelineStore.h"
#include "measure/MeasureThisActionController.h"
#include "platform/LoginItem.h"
#include "platform/Scheduler.h"
#include "sensors/BrowserSessionTracker.h"

namespace velmora {

// The composition root: builds every component, wires their callbacks, runs the per-sample
// pipeline, turns detections into stories and holds what the views show. Main thread only.
//
// Published fields are plain members; whoever writes one calls announceChange() afterwards.
class AppState {
public:
    static constexpr std::size_t maxSensorLog = 300;
    static constexpr double chartWindowSeconds = 900.0;

    explicit AppState(AppDependencies deps);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Components, built in the constructor in a fixed order.
    std::unique_ptr<MemorySampler> sampler;
    std::unique_ptr<TimelineStore> timeline;
    std::unique_ptr<DailyStatsStore> dailyStats;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<ActivityEventBus> activityBus;
    std::unique_ptr<AppNoiseProfileStore> noiseStore;
    std::unique_ptr<MeasureThisActionController> measureController;
    std::unique_ptr<AppAdapterRegistry> adapterRegistry;
    std::unique_ptr<ScreenshotSensor> screenshotBuffer;
    FloatingWidget& floatingWidget;
    std::unique_ptr<VisualAnalyzerPort> visualAnalyzer;
    std::unique_ptr<AttributionEngine> attribution;
    std::unique_ptr<SustainedGrowthDetector> growthDetector;
    std::unique_ptr<BrowserSessionTracker> browserSessionTracker;

    // Built on first use.
    SignificantChangeDetector& changeDetector();
    RunnableSensor& workspaceMonitor();
    AccessibilitySensor& accessibilityMonitor();
    TitleSensor& windowTitleProbe();
    TitleSensor& browserScriptingProbe();
    IdleSensor& idleDetector();
    // Without building: whether each of the five sensors above exists yet.
    bool sensorsBuilt() const;

    // Published.
    SidebarItem selectedSidebar = SidebarItem::timeline;
    std::optional<Uuid> selectedEventID;
    PermissionStatus systemPermissions;
    std::optional<std::string> sensorLastApp;
    std::optional<std::string> sensorLastTitle;
    std::optional<std::string> sensorLastSource;
    std::optional<Date> sensorLastAt;
    std::optional<std::string> sensorLastError;
    bool extensionEverConnected = false;
    int lowConfidenceBrowserStoryCount = 0;
    bool extensionNudgeDismissed = false;
    bool isFloatingWidgetVisible = false;
    std::optional<std::string> lastInstallMessage;
    std::optional<std::string> lastExportMessage;
    std::optional<std::string> lastQuitMessage;
    bool weeklyDigestPermissionDenied = false;
    LaunchAtLoginStatus launchAtLoginStatus = LaunchAtLoginStatus::disabled;
    bool showFirstRun = false;
    bool showHelp = false;
    bool showWhatsNew = false;
    std::vector<SensorLogEntry> sensorLog;  // newest first

    // Called after the state changed, so that every view redraws.
    std::function<void()> onChange;
    void announceChange();

    // Start-up and permissions (defined with the start-up code).
    void start();
    void applyPermissionSettings();
    void refreshSystemPermissions();
    void requestAccessibility();
    void requestScreenRecording();
    bool didStart = false;
    std::optional<Scheduler::TimerId> tccRetryTimer;

    // The per-sample pipeline, the sampler's tick.
    void handleTick(const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system);

    // Story handlers.
    void handleSignificantChange(const SignificantChange& change);
    void handleSustainedGrowth(const SustainedGrowthResult& result);
    void handleBrowserSessionStory(const BrowserSessionStory& session);
    void recordMeasurementStory();
    // The sensors whose events a story rests on, each once, in SensorSource case order.
    static std::vector<SensorSource> evidenceSources(const std::vector<ActivityEvent>& events);
    // Same key, same bundle identifier, or same browser family.
    static bool eventBelongsToApp(const ActivityEvent& event, const ProcessIdentity& app);

    // Activity intake and the sensor status.
    void handleActivityEvent(const ActivityEvent& event);
    void handleTabEvent(const std::string& browser, const std::optional<std::string>& title,
                        const std::optional<std::string>& url, const std::optional<std::string>& host);
    void refreshSensorStatus();

    // Weekly digest: the per-tick due test, and the Setup page's switch.
    void checkWeeklyDigest(Date now);
    void setWeeklyDigestEnabled(bool enabled);

    // The JSON export through the save dialog.
    void exportToFile();

    // View queries.
    std::optional<AppMemorySnapshot> topApp() const;
    std::optional<AppMemorySnapshot> foregroundApp() const;
    std::vector<AppMemorySnapshot> visibleApps() const;
    std::vector<AppMemorySnapshot> widgetApps() const;
    std::optional<AppMemorySnapshot> appSnapshot(const std::string& groupingKey) const;
    std::vector<RecentMover> recentMovers(std::size_t limit, double windowSeconds) const;
    std::pair<ProcessIdentity, std::vector<FootprintHistory::Point>> footprintSeries(const ProcessIdentity& identity,
                                                                                     Date cutoff) const;
    std::vector<FootprintHistory::Point> topAppSeries() const;
    std::vector<std::pair<Date, std::uint64_t>> recentSystemSnapshots() const;
    std::vector<ChartStoryMark> recentStoryMarks() const;
    std::vector<ChartStoryMark> storyMarks(const std::string& groupingKey, Date cutoff) const;
    std::optional<TimelineEvent> selectedEvent() const;
    std::optional<std::string> chromiumExtensionFolderURL() const;
    std::optional<std::string> firefoxExtensionFolderURL() const;

    // Whether Quit can reach the app: one of its processes has a window on this desktop.
    bool hasWindow(const std::string& groupingKey, const std::optional<std::string>& bundleID);

    // User actions. Quit only asks the app's windows to close; an app without one is left alone.
    bool quitApp(const std::string& groupingKey, const std::optional<std::string>& bundleID,
                 const std::string& displayName);
    // With `launchAtLogin`, the installed copy registers itself (or not) at its first start, so a
    // choice made here is not lost with this copy.
    void installToApplications(std::optional<bool> launchAtLogin = std::nullopt);
    static constexpr std::string_view launchAtLoginAfterInstallKey = "Velmora.LaunchAtLoginAfterInstall";
    void setLaunchAtLogin(bool enabled);
    void openChromeExtensionsPage();
    void weeklyDigestAuthorizationAnswered(bool granted);

    // Inserts at the front and keeps the newest 300.
    void recordSensorLog(SensorLogEntry entry);

    const AppDependencies& dependencies() const { return deps_; }

private:
    void wireCallbacks();
    void recordStoryInDailyStats(const TimelineEvent& story);
    void startVisualLook(const SignificantChange& change, bool force, const Uuid& storyID);

    AppDependencies deps_;
    // Guards deferred work (visual looks, dialogs) against a state that has gone.
    std::shared_ptr<AppState*> alive_;
    std::unique_ptr<SignificantChangeDetector> changeDetector_;
    std::unique_ptr<RunnableSensor> workspaceMonitor_;
    std::unique_ptr<AccessibilitySensor> accessibilityMonitor_;
    std::unique_ptr<TitleSensor> windowTitleProbe_;
    std::unique_ptr<TitleSensor> browserScriptingProbe_;
    std::unique_ptr<IdleSensor> idleDetector_;
    std::shared_ptr<const BrowserActivityAdapter> browserAdapter_;
    std::optional<std::string> lastSemanticFingerprint_;
    // The last report filed as a story, and that story.
    std::optional<std::pair<Uuid, Uuid>> filedMeasurement_;
    Date lastSemanticAt_{-1e300};  // the distant past

public:
    std::weak_ptr<AppState*> weakSelf() const { return alive_; }
};

}  // namespace velmora
