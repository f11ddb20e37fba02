#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

using Kind = ActivityEventKind;
const ProcessIdentity editor = appIdentity("org.gnome.TextEditor", "Text Editor", "org.gnome.TextEditor");
const ProcessIdentity firefox = appIdentity("org.mozilla.firefox", "Firefox", "org.mozilla.firefox");

struct Intake : ::testing::Test {
    AppHarness h;
    AppState& s = h.make();
    void publish(Kind kind, const ProcessIdentity& app, std::optional<std::string> title,
                 std::optional<std::string> tag = {}, std::optional<std::string> url = {}) {
        s.activityBus->publish({.id = Uuid::random(), .timestamp = h.clock.now(), .kind = kind, .app = app,
                                .windowTitle = title, .urlString = url, .detail = "d", .semanticLabel = tag});
    }
};

TEST_F(Intake, StatusAndLogNameTheSensorByItsTag) {
    const std::tuple<Kind, std::optional<std::string>, const char*, SensorSource> cases[] = {
        {Kind::titleChanged, "tab_count", "Automation", SensorSource::appleScript},
        {Kind::titleChanged, "applescript_browser", "Automation", SensorSource::appleScript},
        {Kind::titleChanged, "cg_window_title", "Window list", SensorSource::windowList},
        {Kind::pageNavigated, "chromium_extension", "Extension", SensorSource::chromiumExtension},
        {Kind::titleChanged, std::nullopt, "System", SensorSource::accessibility},
        {Kind::becameFrontmost, "document", "System", SensorSource::workspace},
    };
    for (const auto& [kind, tag, status, source] : cases) {
        s.sensorLastError = "stale";
        publish(kind, editor, "Report.txt", tag);
        EXPECT_EQ(s.sensorLastSource, status);
        EXPECT_EQ(s.sensorLog.front().source, source);
        EXPECT_FALSE(s.sensorLastError);
    }
    EXPECT_EQ(s.sensorLog.front().summary, "becameFrontmost: Report.txt");
    EXPECT_EQ(s.sensorLog.front().detail, "d");
    EXPECT_EQ(s.sensorLastApp, "Text Editor");

    publish(Kind::titleChanged, editor, std::nullopt);  // no title: no status, no log entry
    publish(Kind::titleChanged, appIdentity("name:Xorg", "Xorg"), "Desktop");  // an ignored daemon
    EXPECT_EQ(s.sensorLog.size(), 6u);
    for (int i = 0; i < 300; ++i) publish(Kind::titleChanged, editor, "T" + std::to_string(i));
    ASSERT_EQ(s.sensorLog.size(), 300u);
    EXPECT_EQ(s.sensorLog.front().summary, "titleChanged: T299");
    EXPECT_EQ(s.sensorLog.back().summary, "titleChanged: T0");
}

TEST_F(Intake, SemanticEventsRepeatOnlyAfterEightSeconds) {
    const auto count = [&] { return s.activityBus->events().size(); };
    // An address without a title derives one site event.
    publish(Kind::tabActivity, firefox, std::nullopt, std::nullopt, "https://docs.example/a");
    ASSERT_EQ(count(), 2u);
    EXPECT_EQ(s.activityBus->events().back().semanticLabel, "site");
    h.clock.advance(7.9);
    publish(Kind::tabActivity, firefox, std::nullopt, std::nullopt, "https://docs.example/b");
    EXPECT_EQ(count(), 3u);
    h.clock.advance(0.1);
    publish(Kind::tabActivity, firefox, std::nullopt, std::nullopt, "https://docs.example/c");
    EXPECT_EQ(count(), 5u);
    EXPECT_TRUE(s.sensorLog.empty());
}

TEST_F(Intake, TabEventsFromTheExtension) {
    const std::tuple<const char*, std::optional<std::string>, std::optional<std::string>> cases[] = {
        {"ARC", "family:arc", "Arc"}, {"Chrom", "family:chrome", "Google Chrome"}, {"firefox", "family:firefox", "Firefox"}};
    for (const auto& [browser, key, name] : cases) {
        s.handleTabEvent(browser, "Quarterly Budget", "https://sheets.example/q3", "sheets.example");
        EXPECT_EQ(s.activityBus->events().back().app->groupingKey, *key);
        EXPECT_EQ(s.sensorLastApp, name);
        EXPECT_EQ(s.sensorLastSource, "Extension");
    }
    EXPECT_EQ(s.sensorLog[0].summary.substr(0, 7), "Tab \u2192");
    EXPECT_EQ(s.sensorLog[1].source, SensorSource::chromiumExtension);

    // Private windows and pages the bus refuses leave no trace beyond "connected".
    AppHarness fresh;
    AppState& quiet = fresh.make();
    quiet.handleTabEvent("chrome", "Secret (InCognito)", "https://a.example/", "a.example");
    quiet.handleTabEvent("chrome", "Notes", "https://private.example/", "private.example");
    quiet.handleTabEvent("chrome", std::nullopt, std::nullopt, std::nullopt);
    EXPECT_TRUE(quiet.extensionEverConnected);
    EXPECT_TRUE(quiet.sensorLog.empty());
    EXPECT_FALSE(quiet.sensorLastTitle);
}

TEST_F(Intake, StatusFromTheProbesEachSample) {
    s.refreshSensorStatus();
    h.sensors.scripting->reading.error = "Scripting is not available";
    h.sensors.windowTitles->reading = {"Terminal", "xterm", h.clock.now(), std::nullopt};
    s.refreshSensorStatus();
    EXPECT_EQ(s.sensorLastSource, "Window list");
    EXPECT_EQ(s.sensorLastTitle, "Terminal");
    EXPECT_FALSE(s.sensorLastError);
    h.sensors.scripting->reading.title = "Inbox";
    s.refreshSensorStatus();
    EXPECT_EQ(s.sensorLastSource, "Browser Automation");
    h.sensors.scripting->reading.title.reset();
    h.sensors.windowTitles->reading.title.reset();
    s.refreshSensorStatus();
    EXPECT_EQ(s.sensorLastError, "Scripting is not available");
    EXPECT_EQ(s.sensorLastTitle, "Inbox");  // only the error changes
}

}  // namespace
