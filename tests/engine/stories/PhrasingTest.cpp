#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/stories/Phrasing.h"
#include "measure/MeasureReport.h"

using namespace velmora;

namespace {

using K = ActivityEventKind;
const std::string kMinus = "\u2212";
constexpr auto kMin = std::numeric_limits<std::int64_t>::min();

ProcessIdentity appNamed(std::string name) { return ProcessIdentity{"name:" + name, std::nullopt, name, {7}, false}; }

ActivityEvent event(K kind, std::optional<std::string> title = std::nullopt, std::optional<std::string> detail = std::nullopt,
                    std::optional<ProcessIdentity> app = appNamed("Maps")) {
    return ActivityEvent{Uuid{}, Date{}, kind, std::move(app), std::move(title), std::nullopt, std::move(detail), std::nullopt};
}

std::string repeated(std::string_view piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

}  // namespace

TEST(PhrasingTest, FriendlyAppNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"Safari Web Content", "Safari"},     {"com.apple.WebKit.WebContent", "Safari"},
        {"Google Chrome Helper (GPU)", "Google Chrome"}, {"Slack Helper (Renderer)", "Slack (background)"},
        {"Code Helper (Plugin)", "Code (Plugin) (background)"}, {"Slack helper (gpu) Helper", "Slack (background)"},
        // Lower-casing changes these letters' byte lengths; the cut must land in the original.
        {"\u0130zmir Helper (GPU)", "\u0130zmir (background)"}, {"\xff" "App Helper", "\xff" "App (background)"},
        // Firefox's child processes on Linux, whole name only.
        {"Web Content", "Firefox"},  {"WEB CONTENT", "Firefox"},  {"Isolated Web Co", "Firefox"},
        {"RDD Process", "Firefox"},  {"Forkserver", "Firefox"},   {"My Web Content", "Safari"},
        {"GPU Process Helper", "GPU Process (background)"},        {"Finder", "Finder"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(friendlyAppName(name), expected) << name;
}

TEST(PhrasingTest, ByteCounts) {
    const std::pair<std::int64_t, std::string> cases[] = {
        {0, "0 bytes"},          {1, "+1 byte"},              {-1, kMinus + "1 byte"},      {1023, "+1,023 bytes"},
        {1024, "+1 KB"},         {1536, "+2 KB"},             {-2560, kMinus + "2 KB"},     {1'024'000, "+1,000 KB"},
        {1'048'576, "+1 MB"},    {1'310'720, "+1.2 MB"},      {1'835'008, "+1.8 MB"},       {-314'572'800, kMinus + "300 MB"},
        {1'073'741'824, "+1 GB"}, {1'127'428'915, "+1.05 GB"}, {1'207'959'552, "+1.12 GB"}, {1'476'395'008, "+1.38 GB"},
        {1'288'490'189, "+1.2 GB"}, {std::numeric_limits<std::int64_t>::max(), "+8,388,608 TB"}, {kMin, kMinus + "8,388,608 TB"},
    };
    // Halves round to even: 1.5 KB, 2.5 KB, 1.25 MB, 1.75 MB, 1.125 GB, 1.375 GB.
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(formatSignedBytes(bytes), expected) << bytes;
    EXPECT_EQ(formatBytes(std::numeric_limits<std::uint64_t>::max()), "16,777,216 TB");
}

TEST(PhrasingTest, ActivityPhrases) {
    const std::string longDetail = repeated("abcdefghij", 10);
    const std::string sixty = repeated("e\u0301", 60);  // 60 characters, 180 bytes
    const std::pair<ActivityEvent, std::string> cases[] = {
        {event(K::appLaunched, {}, {}, std::nullopt), "Opened an app"}, {event(K::windowOpened, "Route"), "New window in Maps"},
        {event(K::dialogAppeared), "A dialog opened in Maps"},  {event(K::userResumed), "You're back"},
        {event(K::titleChanged, "  Route to work\n"), "In Maps: Route to work"},
        {event(K::titleChanged, "   "), "In Maps: "},           {event(K::titleChanged, ""), "Used Maps"},
        {event(K::titleChanged, sixty), "In Maps: " + sixty},
        {event(K::titleChanged, sixty + "e"), "In Maps: " + repeated("e\u0301", 57) + "\u2026"},
        {event(K::pageNavigated, "Title", " example.com "), "Opened  example.com  in Maps"},
        {event(K::pageNavigated, "\u00A0Title\t"), "Opened a page in Maps: Title"},
        {event(K::pageNavigated), "Opened a page in Maps"},     {event(K::mediaLikelyPlaying), "Watched video in Maps"},
        {event(K::mediaLikelyPlaying, {}, " Trailer "), "Watched video in Maps: Trailer"},
        {event(K::documentOpened, {}, repeated("x", 80)), "Opened " + repeated("x", 80) + " in Maps"},
        {event(K::documentOpened), "Opened a file in Maps"},    {event(K::siteActivity, {}, "docs"), "On docs in Maps"},
        {event(K::siteActivity), "Browsing in Maps"},           {event(K::visualContext), "Something on screen changed"},
        {event(K::visualContext, {}, longDetail), longDetail.substr(0, 57) + "\u2026"},
    };
    for (const auto& [e, expected] : cases) EXPECT_EQ(activityPhrase(e), expected) << rawValue(e.kind);
}

TEST(PhrasingTest, UserActionSentences) {
    const std::string longTitle = repeated("0123456789", 7);
    const std::pair<ActivityEvent, std::string> cases[] = {
        {event(K::appLaunched, {}, {}, std::nullopt), "You opened the app"}, {event(K::becameFrontmost), "You switched to Maps"},
        {event(K::windowOpened, " Route "), "You were in \u201CRoute\u201D"}, {event(K::titleChanged, ""), "You were in \u201C\u201D"},
        {event(K::titleChanged, longTitle), "You were in \u201C" + longTitle.substr(0, 57) + "\u2026\u201D"},
        {event(K::windowOpened), "You used a window"}, {event(K::mediaLikelyPlaying, {}, "Trailer"), "You watched \u201CTrailer\u201D"},
        {event(K::mediaLikelyPlaying), "You watched a video"},       {event(K::pageNavigated), "You opened a page"},
        {event(K::pageNavigated, "Title", "example.com"), "You opened example.com"},
        {event(K::siteActivity, "Title", ""), "You opened "}, {event(K::siteActivity, "Inbox"), "You opened \u201CInbox\u201D"},
        {event(K::tabActivity, {}, {}, std::nullopt), "Changed tabs in an app"}, {event(K::userIdle), "You stepped away"},
    };
    for (const auto& [e, expected] : cases) EXPECT_EQ(userActionSentence(e), expected) << rawValue(e.kind);
}

TEST(PhrasingTest, PressureFreedOrUsedAndMeasureSentences) {
    EXPECT_EQ(pressureChangeSentence(MemoryPressureLevel::critical, MemoryPressureLevel::warning),
              "Your Mac\u2019s memory status changed from Critical to Tight.");

    const std::tuple<std::string, std::int64_t, std::string> phrases[] = {
        {"Safari", -314'572'800, "Safari freed 300 MB"}, {"Safari Web Content", 1'288'490'189, "Safari used +1.2 GB more"},
        {"Slack Helper (Renderer)", 0, "Slack (background) used 0 bytes more"}, {"Editor", kMin, "Editor freed 8,388,608 TB"},
    };
    for (const auto& [name, delta, expected] : phrases) EXPECT_EQ(freedOrUsedPhrase(appNamed(name), delta), expected);

    const auto report = [](std::optional<std::string> app, std::optional<std::int64_t> lasting) {
        MeasureReport r;
        if (app) r.targetApp = appNamed(*app);
        r.lastingImpactBytes = lasting;
        return r;
    };
    const std::pair<MeasureReport, std::string> sentences[] = {
        {report(std::nullopt, -50'000'000), "After that action, the app used about 47.7 MB less than before."},
        {report("Slack Helper (Renderer)", 157'286'400),
         "After that action, Slack (background) still used about +150 MB more than before."},
        {report("Editor", std::nullopt), "After that action, Editor still used about 0 bytes more than before."},
        {report("Editor", kMin), "After that action, Editor used about 8,388,608 TB less than before."},
    };
    for (const auto& [r, expected] : sentences) EXPECT_EQ(measureResultSentence(r), expected);
}
