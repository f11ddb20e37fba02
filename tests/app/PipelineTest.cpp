#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

TEST(Construction, BuildsEagerlyWiresAndDecidesTheFirstRunSheet) {
    AppHarness h;
    h.firstRun.due = true;
    h.loginItem.current = LaunchAtLoginStatus::requiresApproval;
    h.screenRecording.granted = true;
    AppState& s = h.make();
    int changes = 0;
    s.onChange = [&] { ++changes; };

    EXPECT_TRUE(s.showFirstRun);
    EXPECT_EQ(s.launchAtLoginStatus, LaunchAtLoginStatus::requiresApproval);
    EXPECT_EQ(s.systemPermissions, (PermissionStatus{false, true}));
    EXPECT_FALSE(s.sensorsBuilt());

    h.widget.show();
    EXPECT_TRUE(s.isFloatingWidgetVisible);
    s.settings->setDeveloperModeEnabled(true);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(enumFromRaw<SidebarItem>("Overview"), std::nullopt);
}

TEST(Pipeline, EverySampleFeedsTheStoresAndOnlyDetectsWhenMonitoring) {
    for (bool monitoring : {false, true}) {
        AppHarness h;
        AppState& s = h.make();
        int changes = 0;
        s.onChange = [&] { ++changes; };
        s.settings->setPermission(&PermissionState::memoryMonitoringEnabled, monitoring);
        s.settings->setWeeklyDigestEnabled(true);
        h.sensors.windowTitles = nullptr;
        const SystemMemorySnapshot warning{.pressure = MemoryPressureLevel::warning, .availableBytes = 1,
                                           .timestamp = h.clock.now()};
        const std::vector<AppMemorySnapshot> apps{
            {.identity = appIdentity("org.gnome.TextEditor", "Text Editor"), .footprintBytes = 300 * MiB,
             .isForeground = true}};
        s.measureController->start();
        changes = 0;
        s.handleTick(apps, warning);
        s.handleTick({}, warning);

        EXPECT_EQ(s.timeline->systemHistory().size(), 2u);
        EXPECT_EQ(s.dailyStats->days().at(0).pressureWarningSeconds, 2);
        EXPECT_EQ(s.settings->lastDigestSentDate(), h.clock.now());
        EXPECT_EQ(s.measureController->baselineSamples().size(), 1u);  // the empty sample has no target
        ASSERT_NE(h.sensors.windowTitles, nullptr);                     // the sensor status read the probes
        EXPECT_GE(changes, 2);
        // Monitoring off: the change detector never saw the apps, so nothing is pending.
        EXPECT_EQ(s.changeDetector().pending().size(), monitoring ? 1u : 0u);
        EXPECT_EQ(s.changeDetector().lastSystem().has_value(), monitoring);
    }
}

}  // namespace
