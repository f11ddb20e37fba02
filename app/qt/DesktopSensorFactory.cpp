#include "app/qt/DesktopSensorFactory.h"

#include "sensors/AccessibilityMonitor.h"
#include "sensors/BrowserScriptingProbe.h"
#include "sensors/IdleDetector.h"
#include "sensors/WindowTitleProbe.h"
#include "sensors/WorkspaceActivityMonitor.h"
#include "sensors/bridge/BrowserLocalServer.h"
#include "sensors/visual/ScreenshotRingBuffer.h"
#include "sensors/visual/VisualContextAnalyzer.h"

namespace velmora {

namespace {

// The permission refresh starts its sensors every two seconds; a running one keeps its timer.
template <class Sensor, class Port>
struct Wrapped : Port {
    explicit Wrapped(std::unique_ptr<Sensor> s) : sensor(std::move(s)) {}
    void start() override {
        if (!running()) sensor->start();
    }
    void stop() override { sensor->stop(); }
    bool running() const {
        if constexpr (requires { sensor->isObserving(); }) return sensor->isObserving();
        else return sensor->isRunning();
    }
    std::unique_ptr<Sensor> sensor;
};

struct WorkspaceSensor final : Wrapped<WorkspaceActivityMonitor, RunnableSensor> {
    using Wrapped::Wrapped;
};

struct Accessibility final : Wrapped<AccessibilityMonitor, AccessibilitySensor> {
    using Wrapped::Wrapped;
    void setTrusted(bool trusted) override { sensor->setTrusted(trusted); }
};

struct Titles final : Wrapped<WindowTitleProbe, TitleSensor> {
    using Wrapped::Wrapped;
    TitleReading lastReading() const override {
        return {sensor->lastObservedTitle(), sensor->lastObservedApp(), sensor->lastObservedAt(), std::nullopt};
    }
};

struct Scripting final : Wrapped<BrowserScriptingProbe, TitleSensor> {
    using Wrapped::Wrapped;
    TitleReading lastReading() const override {
        return {sensor->lastTitle(), sensor->lastAppName(), sensor->lastAt(), sensor->lastError()};
    }
    void pollNow() override { sensor->poll(); }
};

struct Idle final : Wrapped<IdleDetector, IdleSensor> {
    using Wrapped::Wrapped;
    bool isIdle() const override { return sensor->isIdle(); }
};

struct Screenshots final : ScreenshotSensor {
    explicit Screenshots(std::unique_ptr<ScreenshotRingBuffer> b) : buffer(std::move(b)) {}
    void start(bool requestPermission) override { buffer->start(requestPermission); }
    void stop() override { buffer->stop(); }
    bool isCapturing() const override { return buffer->isCapturing(); }
    void setScreenRecordingTrusted(bool trusted) override { buffer->setScreenRecordingTrusted(trusted); }
    std::unique_ptr<ScreenshotRingBuffer> buffer;
};

struct Visual final : VisualAnalyzerPort {
    explicit Visual(std::unique_ptr<VisualContextAnalyzer> a) : analyzer(std::move(a)) {}
    bool shouldAnalyze(const SignificantChange& change, const std::vector<StructuredSignal>& found) override {
        return analyzer->shouldAnalyze(change, found);
    }
    void analyze(const SignificantChange& change, bool force,
                 std::function<void(std::optional<std::string>)> done) override {
        analyzer->analyze(change, force, [done = std::move(done)](std::optional<VisualChangeDescription> d) {
            done(d ? std::optional<std::string>(d->summary) : std::nullopt);
        });
    }
    std::unique_ptr<VisualContextAnalyzer> analyzer;
};

}  // namespace

DesktopSensorFactory::DesktopSensorFactory(DesktopSensorPlatform platform) : p_(platform) {}
DesktopSensorFactory::~DesktopSensorFactory() = default;

std::unique_ptr<RunnableSensor> DesktopSensorFactory::makeWorkspaceMonitor(ActivityEventBus& bus) {
    return std::make_unique<WorkspaceSensor>(std::make_unique<WorkspaceActivityMonitor>(bus, p_.workspace, p_.clock, p_.self));
}

std::unique_ptr<AccessibilitySensor> DesktopSensorFactory::makeAccessibilityMonitor(ActivityEventBus& bus) {
    return std::make_unique<Accessibility>(
        std::make_unique<AccessibilityMonitor>(bus, p_.scheduler, p_.clock, p_.accessibilityTree, p_.self.pid));
}

std::unique_ptr<TitleSensor> DesktopSensorFactory::makeWindowTitleProbe(ActivityEventBus& bus) {
    return std::make_unique<Titles>(
        std::make_unique<WindowTitleProbe>(bus, p_.workspace, p_.windows, p_.scheduler, p_.clock, p_.self));
}

std::unique_ptr<TitleSensor> DesktopSensorFactory::makeBrowserScriptingProbe(ActivityEventBus& bus) {
    return std::make_unique<Scripting>(
        std::make_unique<BrowserScriptingProbe>(bus, p_.workspace, p_.scripts, p_.scheduler, p_.clock, p_.self));
}

std::unique_ptr<IdleSensor> DesktopSensorFactory::makeIdleDetector(ActivityEventBus& bus) {
    return std::make_unique<Idle>(std::make_unique<IdleDetector>(bus, p_.idleTime, p_.scheduler, p_.clock));
}

std::unique_ptr<ScreenshotSensor> DesktopSensorFactory::makeScreenshotBuffer() {
    return std::make_unique<Screenshots>(std::make_unique<ScreenshotRingBuffer>(
        p_.screenRecording, p_.desktop, p_.windows, p_.capture, p_.scheduler, p_.clock, p_.self.pid));
}

std::unique_ptr<VisualAnalyzerPort> DesktopSensorFactory::makeVisualAnalyzer(ScreenshotSensor& buffer,
                                                                             const SettingsStore& settings) {
    // The buffer is always one this factory made.
    auto& ring = *static_cast<Screenshots&>(buffer).buffer;
    return std::make_unique<Visual>(
        std::make_unique<VisualContextAnalyzer>(ring, settings, p_.recognizer, p_.http, p_.clock));
}

void DesktopSensorFactory::startBrowserBridge(TabEventHandler onTabEvent) {
    if (bridge_) return;
    bridge_ = std::make_unique<BrowserLocalServer>(p_.listener, p_.scheduler);
    bridge_->onTabEvent = std::move(onTabEvent);
    bridge_->start();
}

BridgeStatus DesktopSensorFactory::browserBridgeStatus() const {
    if (!bridge_) return {};
    return {bridge_->isRunning(), BrowserLocalServer::boundPort, bridge_->lastError()};
}

}  // namespace velmora
