#include "app/AppState.h"

#include "engine/stories/Phrasing.h"
#include "platform/Clock.h"
#include "platform/FirstRunFlags.h"
#include "platform/FloatingWidget.h"
#include "platform/PermissionProbe.h"
#include "platform/SystemMemorySource.h"

namespace velmora {

namespace {
// The machine's installed memory, 0 when it cannot be read.
std::uint64_t installedMemory(SystemMemorySource& memory) { return memory.read().totalPhysicalBytes.value_or(0); }
}  // namespace

AppState::AppState(AppDependencies deps)
    : floatingWidget(deps.floatingWidget), deps_(std::move(deps)), alive_(std::make_shared<AppState*>(this)) {
    sampler = std::make_unique<MemorySampler>(deps_.processes, deps_.desktop, deps_.memory, deps_.scheduler,
                                              deps_.clock, deps_.self, &deps_.files);
    timeline = std::make_unique<TimelineStore>(deps_.files, TimelineStore::defaultStoragePath(deps_.paths), deps_.clock);
    dailyStats = std::make_unique<DailyStatsStore>(deps_.files, DailyStatsStore::defaultStoragePath(deps_.paths),
                                                   deps_.clock, deps_.calendar);
    settings = std::make_unique<SettingsStore>(deps_.defaults);
    activityBus = std::make_unique<ActivityEventBus>();
    noiseStore = std::make_unique<AppNoiseProfileStore>(deps_.defaults);
    noiseStore->load();
    measureController = std::make_unique<MeasureThisActionController>(deps_.clock, deps_.steadyClock);
    adapterRegistry = std::make_unique<AppAdapterRegistry>();
    screenshotBuffer = deps_.sensors.makeScreenshotBuffer();
    attribution = std::make_unique<AttributionEngine>();
    growthDetector = std::make_unique<SustainedGrowthDetector>(installedMemory(deps_.memory), 600.0);
    browserSessionTracker = std::make_unique<BrowserSessionTracker>();

    systemPermissions = PermissionStatus{deps_.accessibilityPermission.isGranted(),
                                         deps_.screenRecordingPermission.isGranted()};
    launchAtLoginStatus = deps_.loginItem.status();

    visualAnalyzer = deps_.sensors.makeVisualAnalyzer(*screenshotBuffer, *settings);
    measureController->sampler = sampler.get();
    browserAdapter_ = std::make_shared<const BrowserActivityAdapter>();
    adapterRegistry->adapters.push_back(browserAdapter_);

    // Every callback goes through `alive_`, so one that outlives the state does nothing.
    std::weak_ptr<AppState*> weak = alive_;
    settings->onChange = [weak] {
        if (auto self = weak.lock()) (*self)->announceChange();
    };
    floatingWidget.onVisibilityChange = [weak](bool visible) {
        if (auto self = weak.lock()) {
            (*self)->isFloatingWidgetVisible = visible;
            (*self)->announceChange();
        }
    };
    timeline->onNewStory = [weak](const TimelineEvent& story) {
        if (auto self = weak.lock()) (*self)->recordStoryInDailyStats(story);
    };
    wireCallbacks();

    showFirstRun = deps_.firstRun.shouldShow();
}

AppState::~AppState() {
    alive_.reset();
    floatingWidget.onVisibilityChange = nullptr;
}

void AppState::wireCallbacks() {
    std::weak_ptr<AppState*> weak = alive_;
    sampler->onTick = [weak](const std::vector<AppMemorySnapshot>& apps, const SystemMemorySnapshot& system) {
        if (auto self = weak.lock()) (*self)->handleTick(apps, system);
    };
    activityBus->onEvent = [weak](const ActivityEvent& event) {
        if (auto self = weak.lock()) (*self)->handleActivityEvent(event);
    };
    changeDetector().onSignificantChange = [weak](const SignificantChange& change) {
        if (auto self = weak.lock()) (*self)->handleSignificantChange(change);
    };
    growthDetector->onSustainedGrowth = [weak](const SustainedGrowthResult& result) {
        if (auto self = weak.lock()) (*self)->handleSustainedGrowth(result);
    };
    browserSessionTracker->onSessionStory = [weak](const BrowserSessionStory& session) {
        if (auto self = weak.lock()) (*self)->handleBrowserSessionStory(session);
    };
}

void AppState::announceChange() {
    if (onChange) onChange();
}

SignificantChangeDetector& AppState::changeDetector() {
    if (!changeDetector_)
        changeDetector_ = std::make_unique<SignificantChangeDetector>(installedMemory(deps_.memory), *noiseStore, 20.0);
    return *changeDetector_;
}

RunnableSensor& AppState::workspaceMonitor() {
    if (!workspaceMonitor_) workspaceMonitor_ = deps_.sensors.makeWorkspaceMonitor(*activityBus);
    return *workspaceMonitor_;
}

AccessibilitySensor& AppState::accessibilityMonitor() {
    if (!accessibilityMonitor_) accessibilityMonitor_ = deps_.sensors.makeAccessibilityMonitor(*activityBus);
    return *accessibilityMonitor_;
}

TitleSensor& AppState::windowTitleProbe() {
    if (!windowTitleProbe_) windowTitleProbe_ = deps_.sensors.makeWindowTitleProbe(*activityBus);
    return *windowTitleProbe_;
}

TitleSensor& AppState::browserScriptingProbe() {
    if (!browserScriptingProbe_) browserScriptingProbe_ = deps_.sensors.makeBrowserScriptingProbe(*activityBus);
    return *browserScriptingProbe_;
}

IdleSensor& AppState::idleDetector() {
    if (!idleDetector_) idleDetector_ = deps_.sensors.makeIdleDetector(*activityBus);
    return *idleDetector_;
}

bool AppState::sensorsBuilt() const {
    return workspaceMonitor_ || accessibilityMonitor_ || windowTitleProbe_ || browserScriptingProbe_ || idleDetector_;
}

void AppState::recordSensorLog(SensorLogEntry entry) {
    sensorLog.insert(sensorLog.begin(), std::move(entry));
    if (sensorLog.size() > maxSensorLog) sensorLog.resize(maxSensorLog);
}

void AppState::recordStoryInDailyStats(const TimelineEvent& story) {
    std::int64_t delta = 0;
    if (story.kind != TimelineEventKind::pressureChanged && story.kind != TimelineEventKind::swapSpike) {
        if (story.settled) delta = story.settled->deltaBytes;
        else if (story.immediate) delta = story.immediate->deltaBytes;
        else if (story.longerTerm) delta = story.longerTerm->deltaBytes;
    }
    std::optional<std::string> key, name;
    if (story.relatedApp) {
        key = story.relatedApp->groupingKey;
        name = friendlyAppName(story.relatedApp->displayName);
    }
    dailyStats->recordStory(key, name, delta, deps_.clock.now());
}

}  // namespace velmora
