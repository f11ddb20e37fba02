#include <gtest/gtest.h>

#include <memory>

#include "engine/settings/SettingsStore.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    // A fresh defaults object over the same file, as the next start of the application sees it.
    std::unique_ptr<JsonFileDefaults> reopenDefaults() { return std::make_unique<JsonFileDefaults>(fs, dir.file("defaults.json")); }
    Json fileContents() {
        auto r = fs.read(dir.file("defaults.json"));
        if (r.status != FileSystem::ReadStatus::ok) return Json();
        return *parseJson(r.contents);
    }

    TempDir dir;
    PosixFileSystem fs;
};

TEST_F(SettingsStoreTest, FirstLaunchHasDefaultsAndWritesNothing) {
    auto defaults = reopenDefaults();
    SettingsStore settings(*defaults);
    EXPECT_EQ(settings.permissions(), (PermissionState{true, false, false, false}));
    EXPECT_FALSE(settings.developerModeEnabled());
    EXPECT_FALSE(settings.weeklyDigestEnabled());
    EXPECT_FALSE(settings.lastDigestSentDate().has_value());
    EXPECT_FALSE(fs.exists(dir.file("defaults.json")));
}

TEST_F(SettingsStoreTest, StoredSwitchesKeepWhatIsThereAndDefaultOnlyTheRest) {
    struct Case {
        const char* name;
        Json stored;
        PermissionState expected;
    };
    const Case cases[] = {
        {"all four", {{"memoryMonitoringEnabled", false}, {"accessibilityEnabled", true}, {"screenshotsEnabled", true}, {"cloudAIEnabled", true}},
         {false, true, true, true}},
        {"cloud switch missing", {{"memoryMonitoringEnabled", false}, {"accessibilityEnabled", true}, {"screenshotsEnabled", true}},
         {false, true, true, false}},
        {"only one switch", {{"screenshotsEnabled", true}}, {true, false, true, false}},
        {"mistyped member", {{"memoryMonitoringEnabled", 0}, {"accessibilityEnabled", "yes"}, {"cloudAIEnabled", true}},
         {true, false, false, true}},
        {"not an object", Json::array({false, true}), {true, false, false, false}},
        {"a string", "{\"memoryMonitoringEnabled\":false}", {true, false, false, false}},
    };
    for (const auto& c : cases) {
        {
            auto defaults = reopenDefaults();
            defaults->setValue("Velmora.PermissionState", c.stored);
        }
        auto defaults = reopenDefaults();
        SettingsStore settings(*defaults);
        EXPECT_EQ(settings.permissions(), c.expected) << c.name;
        // Reading never rewrites the stored value.
        EXPECT_EQ(fileContents()["Velmora.PermissionState"], c.stored) << c.name;
    }
}

TEST_F(SettingsStoreTest, OneSwitchWritesAllFourAndAnnouncesOnce) {
    {
        auto defaults = reopenDefaults();
        SettingsStore settings(*defaults);
        int changes = 0;
        settings.onChange = [&] { ++changes; };
        settings.setPermission(&PermissionState::accessibilityEnabled, true);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(fileContents()["Velmora.PermissionState"],
                  (Json{{"memoryMonitoringEnabled", true}, {"accessibilityEnabled", true}, {"screenshotsEnabled", false}, {"cloudAIEnabled", false}}));
        settings.setPermissions(PermissionState{false, true, true, false});
        EXPECT_EQ(changes, 2);
    }
    auto defaults = reopenDefaults();
    SettingsStore again(*defaults);
    EXPECT_EQ(again.permissions(), (PermissionState{false, true, true, false}));
}

TEST_F(SettingsStoreTest, BooleanSwitchesPersistAndAnnounce) {
    {
        auto defaults = reopenDefaults();
        SettingsStore settings(*defaults);
        int changes = 0;
        settings.onChange = [&] { ++changes; };
        settings.setDeveloperModeEnabled(true);
        settings.setWeeklyDigestEnabled(true);
        EXPECT_EQ(changes, 2);
        EXPECT_EQ(fileContents()["Velmora.DeveloperMode"], Json(true));
        EXPECT_EQ(fileContents()["Velmora.WeeklyDigestEnabled"], Json(true));
    }
    auto defaults = reopenDefaults();
    SettingsStore again(*defaults);
    EXPECT_TRUE(again.developerModeEnabled());
    EXPECT_TRUE(again.weeklyDigestEnabled());
    again.setWeeklyDigestEnabled(false);
    auto third = reopenDefaults();
    EXPECT_FALSE(SettingsStore(*third).weeklyDigestEnabled());
    EXPECT_TRUE(SettingsStore(*third).developerModeEnabled());
}

TEST_F(SettingsStoreTest, LastDigestDateIsWrittenAndRemovedWithoutAnnouncing) {
    {
        auto defaults = reopenDefaults();
        SettingsStore settings(*defaults);
        int changes = 0;
        settings.onChange = [&] { ++changes; };
        settings.setLastDigestSentDate(Date{812345678.25});
        EXPECT_EQ(changes, 0);
    }
    {
        auto defaults = reopenDefaults();
        SettingsStore settings(*defaults);
        ASSERT_TRUE(settings.lastDigestSentDate().has_value());
        EXPECT_EQ(*settings.lastDigestSentDate(), Date{812345678.25});
        int changes = 0;
        settings.onChange = [&] { ++changes; };
        settings.setLastDigestSentDate(std::nullopt);
        EXPECT_EQ(changes, 0);
        EXPECT_FALSE(fileContents().contains("Velmora.LastDigestSentDate"));
    }
}

TEST_F(SettingsStoreTest, ValueThatIsNotADateIsDroppedAtStart) {
    for (const Json& bad : {Json("2026-01-01"), Json(true), Json::object(), Json::array({1})}) {
        {
            auto defaults = reopenDefaults();
            defaults->setValue("Velmora.LastDigestSentDate", bad);
            defaults->setValue("Velmora.DeveloperMode", true);
        }
        auto defaults = reopenDefaults();
        SettingsStore settings(*defaults);
        EXPECT_FALSE(settings.lastDigestSentDate().has_value()) << bad.dump();
        EXPECT_FALSE(fileContents().contains("Velmora.LastDigestSentDate")) << bad.dump();
        EXPECT_TRUE(settings.developerModeEnabled());
    }
}

TEST_F(SettingsStoreTest, NonBooleanSwitchesReadAsOff) {
    {
        auto defaults = reopenDefaults();
        defaults->setValue("Velmora.DeveloperMode", "true");
        defaults->setValue("Velmora.WeeklyDigestEnabled", 1);
    }
    auto defaults = reopenDefaults();
    SettingsStore settings(*defaults);
    EXPECT_FALSE(settings.developerModeEnabled());
    EXPECT_FALSE(settings.weeklyDigestEnabled());
}

}  // namespace
