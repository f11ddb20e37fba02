#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/settings/SettingsStore.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    // A fresh defaults object over the same file, as the next start sees it.
    std::unique_ptr<JsonFileDefaults> defaults() { return std::make_unique<JsonFileDefaults>(fs, path); }
    Json stored(const char* key) { return parseJson(fs.read(path).contents).value_or(Json::object()).value(key, Json()); }

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

TEST_F(SettingsStoreTest, ChangesAreWrittenAtOnceAndAnnouncedExceptTheDigestDate) {
    auto first = defaults();
    SettingsStore settings(*first);
    EXPECT_EQ(std::make_tuple(settings.permissions(), settings.developerModeEnabled(), settings.weeklyDigestEnabled(), settings.lastDigestSentDate()),
              std::make_tuple(PermissionState{true, false, false, false}, false, false, std::nullopt));
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
    EXPECT_EQ(std::make_tuple(again.permissions(), again.developerModeEnabled(), again.weeklyDigestEnabled(), again.lastDigestSentDate()),
              std::make_tuple(PermissionState{true, true, false, false}, true, true, std::optional(Date{812345678.25})));
    again.onChange = [&] { ++changes; };
    again.setLastDigestSentDate(std::nullopt);
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(stored("Velmora.LastDigestSentDate").is_null());
}

TEST_F(SettingsStoreTest, AChangeSurvivesAKillRightAfterIt) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto d = defaults();
        SettingsStore settings(*d);
        settings.setPermission(&PermissionState::screenshotsEnabled, true);
        settings.setWeeklyDigestEnabled(true);
        ::kill(::getpid(), SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    auto d = defaults();
    SettingsStore after(*d);
    EXPECT_EQ(std::make_pair(after.permissions(), after.weeklyDigestEnabled()), std::make_pair(PermissionState{true, false, true, false}, true));
}

}  // namespace
