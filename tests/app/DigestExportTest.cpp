#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "app/ExportManager.h"
#include "app/WeeklyDigest.h"
#include "tests/app/AppHarness.h"

using namespace velmora;

namespace {

struct Files : ::testing::Test {
    AppHarness h;
    AppState& s = h.make();
};

TEST_F(Files, WeeklyDigestBoundaries) {
    s.checkWeeklyDigest(h.clock.now());  // switched off: nothing at all
    EXPECT_FALSE(s.settings->lastDigestSentDate());

    s.settings->setWeeklyDigestEnabled(true);
    const Date first = h.clock.now();
    s.checkWeeklyDigest(first);
    EXPECT_EQ(s.settings->lastDigestSentDate(), first);
    h.clock.advance(604799);
    s.dailyStats->recordStory(std::string("org.gnome.TextEditor"), std::string("Text Editor"), 300 * MiB, h.clock.now());
    s.checkWeeklyDigest(h.clock.now());
    EXPECT_TRUE(h.notifier.posted.empty());
    h.clock.advance(1);
    s.checkWeeklyDigest(h.clock.now());
    EXPECT_EQ(h.notifier.posted,
              (std::vector<FakeDigestNotifier::Posted>{
                  {"Your week in memory", "Text Editor was the biggest factor over the last 7 days \u2014 1 story, "
                                          "300 MB total growth."}}));

    h.clock.advance(8 * 86400.0);  // a week without stories moves the date on and posts nothing
    s.checkWeeklyDigest(h.clock.now());
    EXPECT_EQ(s.settings->lastDigestSentDate(), h.clock.now());
    EXPECT_EQ(h.notifier.posted.size(), 1u);

    // The clock set back a month: the week starts again now, not in a month.
    const Date setBack = h.clock.now() - 30 * 86400.0;
    s.checkWeeklyDigest(setBack);
    EXPECT_EQ(s.settings->lastDigestSentDate(), setBack);
}

TEST_F(Files, WeeklyDigestSentences) {
    EXPECT_EQ(WeeklyDigest::topFactorSentence({{"a", "Text Editor", 2, 1, 0}}, 2, 7),
              "Text Editor was the biggest factor over the last 7 days \u2014 2 stories, 1 byte total growth.");
    EXPECT_EQ(WeeklyDigest::topFactorSentence({}, 0, 7), "Not enough history yet \u2014 check back after a few days of use.");
    EXPECT_FALSE(WeeklyDigest::tightDaysSentence(0, 7));

    s.dailyStats->recordStory(std::string("a"), std::string("Text Editor"), -100 * std::int64_t(MiB), h.clock.now());
    EXPECT_EQ(WeeklyDigest::compose(*s.dailyStats)->body, "No single app stood out over the last 7 days.");
    s.dailyStats->recordPressureTick(MemoryPressureLevel::critical, h.clock.now());
    EXPECT_EQ(WeeklyDigest::compose(*s.dailyStats)->body,
              "No single app stood out over the last 7 days. Computer memory felt tight on 1 of the last 7 days "
              "\u2014 not constant, but not nothing either.");

    s.setWeeklyDigestEnabled(true);  // switching on asks for notifications
    ASSERT_EQ(h.notifier.pending.size(), 1u);
    h.notifier.pending[0](false);
    EXPECT_TRUE(s.weeklyDigestPermissionDenied);
}

TEST_F(Files, ExportKeysSortedDatesReadableNotesForLinux) {
    s.timeline->add({.id = Uuid::random(), .timestamp = h.clock.now(), .kind = TimelineEventKind::measureSession,
                     .title = "Check one action \u2014 App"});
    const std::string text = *ExportManager::exportData(s);
    const Json j = Json::parse(text);
    EXPECT_EQ(j.size(), 4u);
    EXPECT_EQ(j["meta"].size(), 3u);
    std::size_t previous = 0;  // a parsed object always lists its keys sorted: read the order from the text
    for (const char* key : {"currentSnapshot", "dailyStats", "meta", "appVersion", "exportedAt", "notes", "stories"}) {
        const std::size_t at = text.find('"' + std::string(key) + "\":");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, previous) << key;
        previous = at;
    }
    EXPECT_EQ(j["meta"]["appVersion"], "unknown");
    EXPECT_EQ(j["meta"]["exportedAt"], "2026-05-09T06:13:20Z");
    EXPECT_EQ(j["stories"][0]["timestamp"], "2026-05-09T06:13:20Z");
    EXPECT_EQ(j["currentSnapshot"], Json({{"apps", Json::array()}}));
    EXPECT_EQ(j["meta"]["notes"].get<std::string>().substr(0, 71),
              "Velmora export \u2014 a local-first Linux memory-usage timeline. \"stories\"");
    EXPECT_EQ(text.find("mac"), std::string::npos);
    EXPECT_NE(text.find("\n  \"currentSnapshot\": {"), std::string::npos);  // pretty-printed

    ExportManager::Export odd;  // a number JSON cannot hold never reaches the file as null
    odd.stories.push_back({.immediate = ImpactWindow{1, std::nan(""), std::nullopt, std::nullopt}});
    EXPECT_EQ(ExportManager::encode(odd).value_or("").find("null"), std::string::npos);
    const auto written = ExportManager::encode(odd);  // written as the stories file writes it: zero
    ASSERT_TRUE(written);
    EXPECT_EQ(Json::parse(*written)["stories"][0]["immediate"]["duration"], 0.0);

    Date morning;
    ASSERT_TRUE(parseIso8601("2025-03-01T09:30:59Z", morning));
    EXPECT_EQ(ExportManager::suggestedFileName(morning, h.calendar), "Velmora-Export-2025-03-01-0930.json");
}

TEST_F(Files, ExportCarriesTheVersionItWasGiven) {
    AppHarness versioned;
    AppDependencies deps = versioned.dependencies();
    deps.appVersion = "2.7.1";
    versioned.state = std::make_unique<AppState>(deps);
    EXPECT_EQ(Json::parse(*ExportManager::exportData(*versioned.state))["meta"]["appVersion"], "2.7.1");
}

// The file name shows the clock on the wall, also on the days it jumps.
TEST_F(Files, ExportFileNameInLocalTimeOnDaysTheClocksChange) {
    struct RestoreZone {  // ctest runs every program under TZ=UTC; the zones here are the test's own
        const char* before = std::getenv("TZ");
        std::string saved = before ? before : "";
        ~RestoreZone() {
            if (before) ::setenv("TZ", saved.c_str(), 1);
            else ::unsetenv("TZ");
            ::tzset();
        }
    } restore;
    const struct { const char* zone; const char* at; const char* name; } cases[] = {
        {"Europe/Berlin", "2025-03-30T07:30:00Z", "Velmora-Export-2025-03-30-0930.json"},  // an hour skipped at 02:00
        {"Europe/Berlin", "2025-03-30T00:59:59Z", "Velmora-Export-2025-03-30-0159.json"},  // just before it
        {"Europe/Berlin", "2025-10-26T09:30:00Z", "Velmora-Export-2025-10-26-1030.json"},  // an hour repeated
        {"America/St_Johns", "2025-03-09T13:45:00Z", "Velmora-Export-2025-03-09-1115.json"},  // half-hour zone
        {"Australia/Lord_Howe", "2025-04-05T16:00:00Z", "Velmora-Export-2025-04-06-0230.json"},  // half an hour back
        {"UTC", "2025-03-30T07:30:00Z", "Velmora-Export-2025-03-30-0730.json"},
    };
    for (const auto& c : cases) {
        ::setenv("TZ", c.zone, 1);
        ::tzset();
        Date at;
        ASSERT_TRUE(parseIso8601(c.at, at)) << c.at;
        EXPECT_EQ(ExportManager::suggestedFileName(at, h.calendar), c.name) << c.zone << " " << c.at;
    }
}

TEST_F(Files, ExportSaveDialogOutcomes) {
    s.lastExportMessage = "earlier";
    s.exportToFile();
    ASSERT_EQ(h.saveDialog.suggestedNames.size(), 1u);
    h.saveDialog.completion(std::nullopt);  // cancelled
    EXPECT_EQ(s.lastExportMessage, "earlier");

    s.exportToFile();
    h.saveDialog.completion(h.dir.file("out.json"));
    EXPECT_EQ(s.lastExportMessage, "Exported to out.json");
    std::ifstream in(h.dir.file("out.json"));
    EXPECT_TRUE(Json::parse(in).contains("meta"));

    std::ofstream(h.dir.file("blocker")) << "x";  // a file where the folder should be
    s.exportToFile();
    h.saveDialog.completion(h.dir.file("blocker") + "/out.json");
    EXPECT_EQ(s.lastExportMessage, "Export failed: could not write out.json.");
}

}  // namespace
