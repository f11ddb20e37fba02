#include <gtest/gtest.h>

#include <csignal>

#include "engine/settings/SettingsStore.h"
#include "platform/linux/JsonFileDefaults.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    // A fresh defaults object over the same file, as the next start sees it.
    std::unique_ptr<JsonFileDefaults> defaults() { return std::make_unique<JsonFileDefaults>(fs, path); }
    Json stored(const char* key) { return parseJson(fs.read(path).contents).value_or(Json::object()).value(key, Json()); }
    static auto all(const SettingsStore& s) {
        return std::make_tuple(s.permissions(), s.developerModeEnabled(), s.weeklyDigestEnabled(), s.lastDigestSentDate());
    }

    TempDir dir;
    const std::string path = dir.file("defaults.json");
    PosixFileSystem fs;
};

TEST_F(SettingsStoreTest, StoredValuesKeepWhatIsThereAndTheWrongTypesReadAsAbsent) {
    const std::tuple<Json, PermissionState, Json> cases[] = {
        {{{"memoryMonitoringEnabled", false}, {"accessibilityEnabled", true}, {"screenshotsEnabled", true}}, {false, true, true, false}, "2026-01-01"},
        {{{"memoryMonitoringEnabled", 0}, {"accessibilityEnabled", "yes"}, {"cloudAIEnabled", true}}, {true, false, false, true}, true},
        {"{\"memoryMonitoringEnabled\":false}", {true, false, false, false}, Json::array({1})},
    };
    for (const auto& [permissions, expected, notADate] : cases) {
        fs.writeAtomically(path, Json{{"Velmora.PermissionState", permissions}, {"Velmora.LastDigestSentDate", notADate},
                                      {"Velmora.DeveloperMode", "true"}, {"Velmora.WeeklyDigestEnabled", 1}}.dump());
        auto d = defaults();
        SettingsStore settings(*d);
        EXPECT_EQ(settings.permissions(), expected) << permissions;
        EXPECT_FALSE(settings.developerModeEnabled() || settings.weeklyDigestEnabled() || settings.lastDigestSentDate());
        // Reading rewrites nothing but a digest date that is not a date, which it removes.
        EXPECT_EQ(std::make_pair(stored("Velmora.PermissionState"), stored("Velmora.LastDigestSentDate")), std::make_pair(permissions, Json()));
    }
}

TEST_F(SettingsStoreTest, ChangesAreWrittenAtOnceAndAnnouncedExceptTheDigestDateAndSurviveAKill) {
    auto first = defaults();
    SettingsStore settings(*first);
    EXPECT_EQ(all(settings), std::make_tuple(PermissionState{true, false, false, false}, false, false, std::nullopt));
    EXPECT_FALSE(fs.exists(path)) << "a first start writes nothing";
    int changes = 0;
    settings.onChange = [&] { ++changes; };
    settings.setPermission(&PermissionState::accessibilityEnabled, true);
    EXPECT_EQ(stored("Velmora.PermissionState"), (Json{{"memoryMonitoringEnabled", true}, {"accessibilityEnabled", true},
                                                       {"screenshotsEnabled", false}, {"cloudAIEnabled", false}}));
    settings.setDeveloperModeEnabled(true);
    settings.setWeeklyDigestEnabled(true);
    EXPECT_EQ(changes, 3);
    settings.setLastDigestSentDate(Date{812345678.25});

    auto next = defaults();
    SettingsStore again(*next);
    EXPECT_EQ(all(again), std::make_tuple(PermissionState{true, true, false, false}, true, true, std::optional(Date{812345678.25})));
    again.onChange = [&] { ++changes; };
    again.setLastDigestSentDate(std::nullopt);
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(stored("Velmora.LastDigestSentDate").is_null());

    const int status = statusOfChild([&] {
        auto d = defaults();
        SettingsStore settings(*d);
        settings.setPermission(&PermissionState::screenshotsEnabled, true);
        settings.setWeeklyDigestEnabled(false);
        ::kill(::getpid(), SIGKILL);
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    auto d = defaults();
    EXPECT_EQ(std::make_pair(SettingsStore(*d).permissions(), SettingsStore(*d).weeklyDigestEnabled()),
              std::make_pair(PermissionState{true, true, true, false}, false));
}

}  // namespace
