#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "engine/activity/StructuredSignal.h"
#include "engine/detection/SignificantChange.h"
#include "engine/sampling/AppMemorySnapshot.h"
#include "engine/support/Date.h"

namespace velmora {

class ActivityEventBus;
class SettingsStore;

// What the application core needs of each activity sensor. The sensors themselves live in
// sensors/; SensorFactory wraps them, so the core and its tests do not depend on how each is built.

// A sensor that runs on its own timer or observers once started.
class RunnableSensor {
public:
    virtual ~RunnableSensor() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

class IdleSensor : public RunnableSensor {
public:
    virtual bool isIdle() const = 0;
};

// The latest title one of the two title probes saw, and the scripting probe's latest error.
struct TitleReading {
    std::optional<std::string> title;
    std::optional<std::string> appName;
    std::optional<Date> at;
    std::optional<std::string> error;
    bool operator==(const TitleReading&) const = default;
};

class TitleSensor : public RunnableSensor {
public:
    virtual TitleReading lastReading() const = 0;
    // Reads the front window once, right away (the Developer page's test button). A sensor that
    // only listens has nothing to read on demand.
    virtual void pollNow() {}
};

class AccessibilitySensor : public RunnableSensor {
public:
    virtual void setTrusted(bool trusted) = 0;
};

class ScreenshotSensor {
public:
    virtual ~ScreenshotSensor() = default;
    virtual void start(bool requestPermission) = 0;
    virtual void stop() = 0;
    virtual bool isCapturing() const = 0;
    virtual void setScreenRecordingTrusted(bool trusted) = 0;
};

class VisualAnalyzerPort {
public:
    virtual ~VisualAnalyzerPort() = default;
    virtual bool shouldAnalyze(const SignificantChange& change, const std::vector<StructuredSignal>& found) = 0;
    // Looks at the screenshots around the change; `done` runs later on the main thread with the
    // description's summary, or none.
    virtual void analyze(const SignificantChange& change, bool force,
                         std::function<void(std::optional<std::string> summary)> done) = 0;
};

using TabEventHandler = std::function<void(const std::string& browser, const std::optional<std::string>& title,
                                           const std::optional<std::string>& url,
                                           const std::optional<std::string>& host)>;

// The browser-extension bridge as the Developer page shows it.
struct BridgeStatus {
    bool isRunning = false;
    std::uint16_t port = 0;
    std::optional<std::string> lastError;
};

// Builds the sensors, each publishing to the given bus.
class SensorFactory {
public:
    virtual ~SensorFactory() = default;
    virtual std::unique_ptr<RunnableSensor> makeWorkspaceMonitor(ActivityEventBus& bus) = 0;
    virtual std::unique_ptr<AccessibilitySensor> makeAccessibilityMonitor(ActivityEventBus& bus) = 0;
    virtual std::unique_ptr<TitleSensor> makeWindowTitleProbe(ActivityEventBus& bus) = 0;
    virtual std::unique_ptr<TitleSensor> makeBrowserScriptingProbe(ActivityEventBus& bus) = 0;
    virtual std::unique_ptr<IdleSensor> makeIdleDetector(ActivityEventBus& bus) = 0;
    virtual std::unique_ptr<ScreenshotSensor> makeScreenshotBuffer() = 0;
    virtual std::unique_ptr<VisualAnalyzerPort> makeVisualAnalyzer(ScreenshotSensor& buffer,
                                                                   const SettingsStore& settings) = 0;
    // Starts the one browser-extension bridge (once) and routes its tab events to the handler.
    virtual void startBrowserBridge(TabEventHandler onTabEvent) = 0;
    // Not running and no error before the bridge was started.
    virtual BridgeStatus browserBridgeStatus() const { return {}; }
};

}  // namespace velmora
