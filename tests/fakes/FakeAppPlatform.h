#pragma once
// Fakes of what AppState reaches through platform/ and of the sensors it builds.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/SensorPorts.h"
#include "platform/AppTerminator.h"
#include "platform/DigestNotifier.h"
#include "platform/FirstRunFlags.h"
#include "platform/FloatingWidget.h"
#include "platform/LoginItem.h"
#include "platform/MonotonicClock.h"
#include "platform/PermissionProbe.h"
#include "platform/SaveDialog.h"
#include "platform/StableInstaller.h"
#include "platform/UrlOpener.h"

namespace velmora {

class FakeMonotonicClock final : public MonotonicClock {
public:
    double seconds() const override { return now; }
    double now = 1000.0;
};

class FakeFloatingWidget final : public FloatingWidget {
public:
    bool hasPanel() const override { return visible; }
    void show() override { setVisible(true); }
    void hide() override { setVisible(false); }
    void moveToCorner(int corner) override {
        if (!visible) show();
        corners.push_back(corner);
    }
    bool wasVisibleAtLastRun() const override { return wasVisible; }
    void setVisible(bool v) {
        visible = v;
        if (onVisibilityChange) onVisibilityChange(v);
    }
    bool visible = false;
    bool wasVisible = false;
    std::vector<int> corners;
};

class FakeFirstRunFlags final : public FirstRunFlags {
public:
    bool shouldShow() const override { return due; }
    void markCompleted() override { ++completions; }
    void dismissStableHint() override { ++dismissals; }
    bool isTemporaryBuild() const override { return temporary; }
    bool due = false;
    bool temporary = false;
    int completions = 0;
    int dismissals = 0;
};

class FakeDigestNotifier final : public DigestNotifier {
public:
    struct Posted {
        std::string title, body;
        bool operator==(const Posted&) const = default;
    };
    void postWeeklyDigest(const std::string& title, const std::string& body) override { posted.push_back({title, body}); }
    void requestAuthorization(std::function<void(bool)> completion) override { pending.push_back(std::move(completion)); }
    std::vector<Posted> posted;
    std::vector<std::function<void(bool)>> pending;
};

class FakeSaveDialog final : public SaveDialog {
public:
    void chooseJsonFile(const std::string& name, std::function<void(std::optional<std::string>)> done) override {
        suggestedNames.push_back(name);
        completion = std::move(done);
    }
    std::vector<std::string> suggestedNames;
    std::function<void(std::optional<std::string>)> completion;
};

class FakeLoginItem final : public LoginItem {
public:
    LaunchAtLoginStatus status() const override { return current; }
    bool setEnabled(bool enabled) override {
        requests.push_back(enabled);
        if (refuse) return false;
        current = enabled ? LaunchAtLoginStatus::enabled : LaunchAtLoginStatus::disabled;
        return true;
    }
    LaunchAtLoginStatus current = LaunchAtLoginStatus::disabled;
    bool refuse = false;
    std::vector<bool> requests;
};

class FakeStableInstaller final : public StableInstaller {
public:
    std::optional<std::string> installAndRelaunch() override {
        ++installs;
        return error;
    }
    std::optional<std::string> error;
    int installs = 0;
};

class FakeAppTerminator final : public AppTerminator {
public:
    std::vector<std::int32_t> applicationsWithBundleID(const std::string& id) override {
        auto it = byBundleID.find(id);
        return it == byBundleID.end() ? std::vector<std::int32_t>{} : it->second;
    }
    bool hasWindow(std::int32_t pid) override { return running.contains(pid); }
    bool closeWindows(std::int32_t pid) override {
        asked.push_back(pid);
        return !refusing.contains(pid);
    }
    std::map<std::string, std::vector<std::int32_t>> byBundleID;
    std::set<std::int32_t> running, refusing;  // running: the pids with a window
    std::vector<std::int32_t> asked;
};

class FakePermissionProbe final : public PermissionProbe {
public:
    bool isGranted() const override { return granted; }
    void request() override {
        ++requests;
        if (grantOnRequest) granted = true;
    }
    bool granted = false;
    bool grantOnRequest = false;
    int requests = 0;
};

class FakeUrlOpener final : public UrlOpener {
public:
    bool open(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<std::string> opened;
};

// Sensors that only count what they are told and report what a test sets.
struct FakeRunnableSensor : RunnableSensor {
    void start() override { ++starts, running = true; }
    void stop() override { ++stops, running = false; }
    int starts = 0, stops = 0;
    bool running = false;
};
struct FakeIdleSensor final : IdleSensor {
    void start() override {}
    void stop() override {}
    bool isIdle() const override { return idle; }
    bool idle = false;
};
struct FakeTitleSensor final : TitleSensor {
    void start() override {}
    void stop() override {}
    TitleReading lastReading() const override { return reading; }
    void pollNow() override {
        ++polls;
        if (onPoll) onPoll(*this);
    }
    TitleReading reading;
    int polls = 0;
    std::function<void(FakeTitleSensor&)> onPoll;  // what one read finds
};
struct FakeAccessibilitySensor final : AccessibilitySensor {
    void start() override { running = true; }
    void stop() override { running = false; }
    void setTrusted(bool t) override { trusted = t; }
    bool running = false, trusted = false;
};
struct FakeScreenshotSensor final : ScreenshotSensor {
    void start(bool) override { capturing = true; }
    void stop() override { capturing = false; }
    bool isCapturing() const override { return capturing; }
    void setScreenRecordingTrusted(bool t) override { trusted = t; }
    bool capturing = false, trusted = false;
};
// Answers each look later, when the test calls finish().
struct FakeVisualAnalyzer final : VisualAnalyzerPort {
    bool shouldAnalyze(const SignificantChange&, const std::vector<StructuredSignal>& s) override {
        signals = s;
        return wanted;
    }
    void analyze(const SignificantChange& change, bool force,
                 std::function<void(std::optional<std::string>)> done) override {
        looks.push_back({change, force});
        pending.push_back(std::move(done));
    }
    void finish(std::optional<std::string> summary) {
        auto all = std::exchange(pending, {});
        for (auto& done : all) done(summary);
    }
    bool wanted = false;
    std::vector<StructuredSignal> signals;  // as last asked
    std::vector<std::pair<SignificantChange, bool>> looks;
    std::vector<std::function<void(std::optional<std::string>)>> pending;
};

// Hands out fakes and keeps a pointer to each, so tests can steer them after AppState owns them.
class FakeSensorFactory final : public SensorFactory {
public:
    std::unique_ptr<RunnableSensor> makeWorkspaceMonitor(ActivityEventBus&) override {
        return keep(workspace, std::make_unique<FakeRunnableSensor>());
    }
    std::unique_ptr<AccessibilitySensor> makeAccessibilityMonitor(ActivityEventBus&) override {
        return keep(accessibility, std::make_unique<FakeAccessibilitySensor>());
    }
    std::unique_ptr<TitleSensor> makeWindowTitleProbe(ActivityEventBus&) override {
        return keep(windowTitles, std::make_unique<FakeTitleSensor>());
    }
    std::unique_ptr<TitleSensor> makeBrowserScriptingProbe(ActivityEventBus&) override {
        return keep(scripting, std::make_unique<FakeTitleSensor>());
    }
    std::unique_ptr<IdleSensor> makeIdleDetector(ActivityEventBus&) override {
        return keep(idle, std::make_unique<FakeIdleSensor>());
    }
    std::unique_ptr<ScreenshotSensor> makeScreenshotBuffer() override {
        return keep(screenshots, std::make_unique<FakeScreenshotSensor>());
    }
    std::unique_ptr<VisualAnalyzerPort> makeVisualAnalyzer(ScreenshotSensor&, const SettingsStore&) override {
        return keep(visual, std::make_unique<FakeVisualAnalyzer>());
    }
    void startBrowserBridge(TabEventHandler handler) override { onTabEvent = std::move(handler); }
    BridgeStatus browserBridgeStatus() const override { return bridge; }

    FakeRunnableSensor* workspace = nullptr;
    FakeAccessibilitySensor* accessibility = nullptr;
    FakeTitleSensor* windowTitles = nullptr;
    FakeTitleSensor* scripting = nullptr;
    FakeIdleSensor* idle = nullptr;
    FakeScreenshotSensor* screenshots = nullptr;
    FakeVisualAnalyzer* visual = nullptr;
    TabEventHandler onTabEvent;
    BridgeStatus bridge;

private:
    template <class T>
    static std::unique_ptr<T> keep(T*& slot, std::unique_ptr<T> made) {
        slot = made.get();
        return made;
    }
};

}  // namespace velmora
