#pragma once
#include <memory>

#include "app/SensorPorts.h"
#include "engine/sampling/ProcessGrouper.h"

namespace velmora {

class AccessibilityTree;
class BrowserLocalServer;
class Clock;
class DesktopSession;
class HttpsClient;
class IdleTimeSource;
class LoopbackListener;
class PermissionProbe;
class Scheduler;
class ScreenCapture;
class ScriptRunner;
class TextRecognizer;
class WindowList;
class Workspace;

// What the desktop's sensors are built on.
struct DesktopSensorPlatform {
    const Clock& clock;
    Scheduler& scheduler;
    SelfProcess self;
    DesktopSession& desktop;
    Workspace& workspace;
    WindowList& windows;
    IdleTimeSource& idleTime;
    ScriptRunner& scripts;
    AccessibilityTree& accessibilityTree;
    PermissionProbe& screenRecording;
    ScreenCapture& capture;
    TextRecognizer& recognizer;
    HttpsClient& http;
    LoopbackListener& listener;
};

// The real sensors of sensors/, behind the ports the application state drives.
class DesktopSensorFactory final : public SensorFactory {
public:
    explicit DesktopSensorFactory(DesktopSensorPlatform platform);
    ~DesktopSensorFactory() override;

    std::unique_ptr<RunnableSensor> makeWorkspaceMonitor(ActivityEventBus& bus) override;
    std::unique_ptr<AccessibilitySensor> makeAccessibilityMonitor(ActivityEventBus& bus) override;
    std::unique_ptr<TitleSensor> makeWindowTitleProbe(ActivityEventBus& bus) override;
    std::unique_ptr<TitleSensor> makeBrowserScriptingProbe(ActivityEventBus& bus) override;
    std::unique_ptr<IdleSensor> makeIdleDetector(ActivityEventBus& bus) override;
    std::unique_ptr<ScreenshotSensor> makeScreenshotBuffer() override;
    std::unique_ptr<VisualAnalyzerPort> makeVisualAnalyzer(ScreenshotSensor& buffer,
                                                           const SettingsStore& settings) override;
    void startBrowserBridge(TabEventHandler onTabEvent) override;
    BridgeStatus browserBridgeStatus() const override;

private:
    DesktopSensorPlatform p_;
    std::unique_ptr<BrowserLocalServer> bridge_;
};

}  // namespace velmora
