#include <gtest/gtest.h>

#include "engine/settings/SettingsStore.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    // A fresh defaults object over the same file, as the next start sees it.
    std::unique_ptr<JsonFileDefaults> defaults() { return std::make_unique<JsonFileDefaults>(fs, dir.file("defaults.json")); }
    Json stored(const char* key) {
        auto all = parseJson(fs.read(dir.file("defaults.json")).contents).value_or(Json::object());
        return all.contains(key) ? all[key] : Json();
    }

    TempDir dir;
    PosixFileSystem fs;
};

TEST_F(SettingsStoreTest, StoredValuesKeepWhatIsThereAndTheWrongTypesReadAsAbsent) {
    const std::tuple<Json, PermissionState, Json> cases[] = {
        {{{"memoryMonitoringEnabled", false}, {"accessibilityEnabled", true}, {"screenshotsEnabled", true}, {"cloudAIEnabled", true}},
         {false, true, true, true}, "2026-01-01"},
        {{{"memoryMonitoringEnabled", false}, {"accessibilityEnabled", true}}, {false, true, false, false}, true},
        {{{"memoryMonitoringEnabled", 0}, {"accessibilityEnabled", "yes"}, {"cloudAIEnabled", true}}, {true, false, false, true}, Json::object()},
        {"{\"memoryMonitoringEnabled\":false}", {true, false, false, false}, Json::array({1})},
    };
    for (const auto& [permissions, expected, notADate] : cases) {
        {
            auto d = defaults();
            d->setValue("Velmora.PermissionState", permissions);
            d->setValue("Velmora.LastDigestSentDate", notADate);
            d->setValue("Velmora.DeveloperMode", "true");
            d->setValue("Velmora.WeeklyDigestEnabled", 1);
        }
        auto d = defaults();
        SettingsStore settings(*d);
        EXPECT_EQ(settings.permissions(), expected) << permissions;
        EXPECT_EQ(stored("Velmora.PermissionState"), permissions) << "reading rewrote it";
        EXPECT_FALSE(settings.developerModeEnabled() || settings.weeklyDigestEnabled() || settings.lastDigestSentDate());
        EXPECT_TRUE(stored("Velmora.LastDigestSentDate").is_null()) << "a value that is not a date is removed at start";
    }
}

TEST_F(SettingsStoreTest, ChangesAreWrittenAtOnceAndAnnouncedExceptTheDigestDate) {
    int changes = 0;
    {
        auto d = defaults();
        SettingsStore settings(*d);
        EXPECT_EQ(settings.permissions(), (PermissionState{true, false, false, false}));
        EXPECT_FALSE(settings.developerModeEnabled() || settings.weeklyDigestEnabled() || settings.lastDigestSentDate());
        EXPECT_FALSE(fs.exists(dir.file("defaults.json"))) << "a first start writes nothing";
        settings.onChange = [&] { ++changes; };
        settings.setPermission(&PermissionState::accessibilityEnabled, true);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(stored("Velmora.PermissionState"), (Json{{"memoryMonitoringEnabled", true}, {"accessibilityEnabled", true},
                                                           {"screenshotsEnabled", false}, {"cloudAIEnabled", false}}));
        settings.setDeveloperModeEnabled(true);
        settings.setWeeklyDigestEnabled(true);
        EXPECT_EQ(changes, 3);
        settings.setLastDigestSentDate(Date{812345678.25});
        EXPECT_EQ(changes, 3);
    }
    auto d = defaults();
    SettingsStore again(*d);
    EXPECT_EQ(again.permissions(), (PermissionState{true, true, false, false}));
    EXPECT_TRUE(again.developerModeEnabled() && again.weeklyDigestEnabled());
    EXPECT_EQ(again.lastDigestSentDate(), Date{812345678.25});
    again.onChange = [&] { ++changes; };
    again.setLastDigestSentDate(std::nullopt);
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(stored("Velmora.LastDigestSentDate").is_null());
}

}  // namespace
