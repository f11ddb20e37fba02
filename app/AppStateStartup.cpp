// Start-up, and keeping the sensors in line with the user's switches and the desktop's grants.
#include "app/AppState.h"
#include "platform/DefaultsStore.h"
#include "platform/FloatingWidget.h"
#include "platform/LoginItem.h"
#include "platform/PermissionProbe.h"
#include "platform/Scheduler.h"
#include "platform/UrlOpener.h"

namespace velmora {

namespace {
constexpr double permissionRefreshSeconds = 2.0;
}  // namespace

void AppState::start() {
    if (didStart) return;
    didStart = true;
    // The choice made in the copy that installed this one; the login item now starts this copy.
    const std::string pendingKey(launchAtLoginAfterInstallKey);
    if (const auto pending = deps_.defaults.value(pendingKey)) {
        if (pending->is_boolean()) deps_.loginItem.setEnabled(pending->get<bool>());
        deps_.defaults.remove(pendingKey);
    }
    workspaceMonitor().start();
    idleDetector().start();
    browserScriptingProbe().start();
    windowTitleProbe().start();

    std::weak_ptr<AppState*> weak = alive_;
    deps_.sensors.startBrowserBridge([weak](const std::string& browser, const std::optional<std::string>& title,
                                            const std::optional<std::string>& url,
                                            const std::optional<std::string>& host) {
        if (auto self = weak.lock()) (*self)->handleTabEvent(browser, title, url, host);
    });

    if (settings->permissions().memoryMonitoringEnabled) sampler->start();
    applyPermissionSettings();

    // One timer for the life of the process; the desktop grants outside our view, so we look again.
    if (tccRetryTimer) deps_.scheduler.cancel(*tccRetryTimer);
    Scheduler& scheduler = deps_.scheduler;
    tccRetryTimer = scheduler.scheduleRepeating(permissionRefreshSeconds, [weak, &scheduler] {
        scheduler.post([weak] {
            if (auto self = weak.lock()) (*self)->refreshSystemPermissions();
        });
    });

    refreshSystemPermissions();
    if (floatingWidget.wasVisibleAtLastRun()) floatingWidget.show();
}

void AppState::applyPermissionSettings() {
    systemPermissions = PermissionStatus{deps_.accessibilityPermission.isGranted(),
                                         deps_.screenRecordingPermission.isGranted()};
    const PermissionState& switches = settings->permissions();
    if (!switches.memoryMonitoringEnabled) sampler->stop();
    else if (!sampler->isRunning()) sampler->start();
    if (switches.accessibilityEnabled && systemPermissions.accessibilityGranted) accessibilityMonitor().start();
    else accessibilityMonitor().stop();
    if (switches.screenshotsEnabled) screenshotBuffer->start(false);
    else screenshotBuffer->stop();
    refreshSystemPermissions();
}

void AppState::refreshSystemPermissions() {
    systemPermissions = PermissionStatus{deps_.accessibilityPermission.isGranted(),
                                         deps_.screenRecordingPermission.isGranted()};
    launchAtLoginStatus = deps_.loginItem.status();
    screenshotBuffer->setScreenRecordingTrusted(systemPermissions.screenRecordingGranted);
    accessibilityMonitor().setTrusted(systemPermissions.accessibilityGranted);
    const PermissionState& switches = settings->permissions();
    if (switches.accessibilityEnabled && systemPermissions.accessibilityGranted) accessibilityMonitor().start();
    else accessibilityMonitor().stop();
    // A buffer already capturing is left alone, also when the grant has gone.
    if (switches.screenshotsEnabled && systemPermissions.screenRecordingGranted && !screenshotBuffer->isCapturing())
        screenshotBuffer->start(false);
    refreshSensorStatus();
    announceChange();
}

void AppState::requestAccessibility() {
    settings->setPermission(&PermissionState::accessibilityEnabled, true);
    deps_.accessibilityPermission.request();
    deps_.urlOpener.open(std::string(SettingsStore::accessibilitySettingsURL));
    refreshSystemPermissions();
    if (systemPermissions.accessibilityGranted) accessibilityMonitor().start();
    announceChange();
}

void AppState::requestScreenRecording() {
    settings->setPermission(&PermissionState::screenshotsEnabled, true);
    deps_.screenRecordingPermission.request();
    deps_.urlOpener.open(std::string(SettingsStore::screenRecordingSettingsURL));
    refreshSystemPermissions();
    if (systemPermissions.screenRecordingGranted) screenshotBuffer->start(false);
    announceChange();
}

}  // namespace velmora
