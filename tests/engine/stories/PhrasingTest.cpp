#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/stories/Phrasing.h"
#include "engine/support/Utf8.h"
#include "measure/MeasureReport.h"

using namespace velmora;

namespace {

const std::string kMinus = "\u2212";

ProcessIdentity appNamed(std::string name) { return ProcessIdentity{"name:" + name, std::nullopt, name, {7}, false}; }

ActivityEvent event(ActivityEventKind kind, std::optional<std::string> title = std::nullopt,
                    std::optional<std::string> detail = std::nullopt,
                    std::optional<ProcessIdentity> app = appNamed("Maps")) {
    ActivityEvent e;
    e.kind = kind;
    e.app = std::move(app);
    e.windowTitle = std::move(title);
    e.detail = std::move(detail);
    return e;
}

std::string repeated(std::string_view piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

}  // namespace

TEST(PhrasingTest, FriendlyAppNames) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Safari Web Content", "Safari"},
        {"com.apple.WebKit.WebContent", "Safari"},
        {"Safari Graphics and Media", "Safari"},
        {"Google Chrome Helper (GPU)", "Google Chrome"},
        {"chrome-helper", "Google Chrome"},
        {"Slack Helper (Renderer)", "Slack (background)"},
        {"Code Helper (Plugin)", "Code (Plugin) (background)"},
        {"SLACK HELPER (RENDERER)", "SLACK (background)"},
        {"Slack helper (gpu) Helper", "Slack (background)"},
        {"HelperTool", "HelperTool (background)"},
        // Lower-casing changes these letters' byte lengths; the cut must land in the original.
        {"\u0130zmir Helper (GPU)", "\u0130zmir (background)"},
        {"\u023App Helper (Renderer)", "\u023App (background)"},
        {"\xff" "App Helper", "\xff" "App (background)"},
        {"Finder", "Finder"},
        {"", ""},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(friendlyAppName(name), expected) << name;
}

TEST(PhrasingTest, ByteCounts) {
    const std::vector<std::pair<std::uint64_t, std::string>> cases{
        {0, "0 bytes"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {1023, "1,023 bytes"},
        {1024, "1 KB"},
        {1536, "2 KB"},  // 1.5 rounds to even
        {2560, "2 KB"},  // 2.5 rounds to even
        {3584, "4 KB"},
        {1'024'000, "1,000 KB"},
        {1'048'575, "1,024 KB"},  // rounding up to 1024 stays in the smaller unit
        {1'048'576, "1 MB"},
        {1'310'720, "1.2 MB"},  // 1.25
        {1'835'008, "1.8 MB"},  // 1.75
        {10'485'760, "10 MB"},
        {52'428'800, "50 MB"},
        {157'286'400, "150 MB"},
        {314'572'800, "300 MB"},
        {524'288'000, "500 MB"},
        {1'073'741'823, "1,024 MB"},
        {1'073'741'824, "1 GB"},
        {1'127'428'915, "1.05 GB"},
        {1'207'959'552, "1.12 GB"},  // 1.125
        {1'476'395'008, "1.38 GB"},  // 1.375
        {1'288'490'189, "1.2 GB"},
        {1'610'612'736, "1.5 GB"},
        {1'099'511'627'776, "1 TB"},
        {1'649'267'441'664, "1.5 TB"},
        {std::uint64_t{1} << 51, "2,048 TB"},
        {std::numeric_limits<std::uint64_t>::max(), "16,777,216 TB"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(formatBytes(bytes), expected) << bytes;
}

TEST(PhrasingTest, SignedByteCounts) {
    const std::vector<std::pair<std::int64_t, std::string>> cases{
        {0, "0 bytes"},
        {1, "+1 byte"},
        {-1, kMinus + "1 byte"},
        {1536, "+2 KB"},
        {-314'572'800, kMinus + "300 MB"},
        {1'288'490'189, "+1.2 GB"},
        {std::numeric_limits<std::int64_t>::max(), "+8,388,608 TB"},
        {std::numeric_limits<std::int64_t>::min(), kMinus + "8,388,608 TB"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(formatSignedBytes(bytes), expected) << bytes;
    EXPECT_EQ(formatSignedBytes(-5).find('-'), std::string::npos);
}

TEST(PhrasingTest, ActivityPhrases) {
    using K = ActivityEventKind;
    const std::string longDetail = repeated("abcdefghij", 10);
    struct Case {
        ActivityEvent e;
        std::string expected;
    };
    const std::vector<Case> cases{
        {event(K::appLaunched), "Opened Maps"},
        {event(K::appLaunched, {}, {}, std::nullopt), "Opened an app"},
        {event(K::appTerminated), "Closed Maps"},
        {event(K::becameFrontmost), "Switched to Maps"},
        {event(K::windowOpened, "Route"), "New window in Maps"},
        {event(K::windowClosed), "Closed a window in Maps"},
        {event(K::titleChanged, "  Route to work\n"), "In Maps: Route to work"},
        {event(K::titleChanged, "   "), "In Maps: "},
        {event(K::titleChanged, ""), "Used Maps"},
        {event(K::titleChanged), "Used Maps"},
        {event(K::menuCommand), "Used a menu in Maps"},
        {event(K::dialogAppeared), "A dialog opened in Maps"},
        {event(K::userIdle, {}, {}, std::nullopt), "You stepped away"},
        {event(K::userResumed), "You're back"},
        {event(K::pageNavigated, "Title", " example.com "), "Opened  example.com  in Maps"},
        {event(K::pageNavigated, "\u00A0Title\t"), "Opened a page in Maps: Title"},
        {event(K::pageNavigated, ""), "Opened a page in Maps: "},
        {event(K::pageNavigated), "Opened a page in Maps"},
        {event(K::mediaLikelyPlaying, {}, " Trailer "), "Watched video in Maps: Trailer"},
        {event(K::mediaLikelyPlaying), "Watched video in Maps"},
        {event(K::tabActivity), "Changed tabs in Maps"},
        {event(K::documentOpened, {}, "plan.pdf"), "Opened plan.pdf in Maps"},
        {event(K::documentOpened), "Opened a file in Maps"},
        {event(K::siteActivity, {}, "docs"), "On docs in Maps"},
        {event(K::siteActivity), "Browsing in Maps"},
        {event(K::visualContext, {}, longDetail), longDetail.substr(0, 57) + "\u2026"},
        {event(K::visualContext), "Something on screen changed"},
    };
    for (const auto& c : cases) EXPECT_EQ(activityPhrase(c.e), c.expected) << rawValue(c.e.kind);
}

TEST(PhrasingTest, ShorteningCountsCharactersNotBytes) {
    using K = ActivityEventKind;
    const std::string sixty = repeated("e\u0301", 60);  // 60 characters, 180 bytes
    EXPECT_EQ(activityPhrase(event(K::titleChanged, sixty)), "In Maps: " + sixty);
    const std::string sixtyOne = repeated("e\u0301", 61);
    EXPECT_EQ(activityPhrase(event(K::titleChanged, sixtyOne)), "In Maps: " + repeated("e\u0301", 57) + "\u2026");
    // Invalid bytes are outside input too: shortening must not crash or split them oddly.
    const std::string broken = repeated("\xff", 70);
    const std::string phrase = activityPhrase(event(K::visualContext, {}, broken));
    EXPECT_EQ(utf8::characterCount(phrase), 58u);
    EXPECT_TRUE(phrase.ends_with("\u2026"));
    // Details used whole are never cut.
    EXPECT_EQ(activityPhrase(event(K::documentOpened, {}, repeated("x", 80))), "Opened " + repeated("x", 80) + " in Maps");
}

TEST(PhrasingTest, UserActionSentences) {
    using K = ActivityEventKind;
    const std::string longTitle = repeated("0123456789", 7);
    struct Case {
        ActivityEvent e;
        std::string expected;
    };
    const std::vector<Case> cases{
        {event(K::appLaunched), "You opened Maps"},
        {event(K::appLaunched, {}, {}, std::nullopt), "You opened the app"},
        {event(K::becameFrontmost), "You switched to Maps"},
        {event(K::windowOpened, " Route "), "You were in \u201CRoute\u201D"},
        {event(K::titleChanged, ""), "You were in \u201C\u201D"},
        {event(K::titleChanged, longTitle), "You were in \u201C" + longTitle.substr(0, 57) + "\u2026\u201D"},
        {event(K::windowOpened), "You used a window"},
        {event(K::mediaLikelyPlaying, {}, "Trailer"), "You watched \u201CTrailer\u201D"},
        {event(K::mediaLikelyPlaying), "You watched a video"},
        {event(K::pageNavigated, "Title", "example.com"), "You opened example.com"},
        {event(K::siteActivity, "Title", ""), "You opened "},
        {event(K::siteActivity, "Inbox"), "You opened \u201CInbox\u201D"},
        {event(K::pageNavigated), "You opened a page"},
        {event(K::tabActivity), "Changed tabs in Maps"},
        {event(K::tabActivity, {}, {}, std::nullopt), "Changed tabs in an app"},
        {event(K::appTerminated), "Closed Maps"},
        {event(K::userIdle), "You stepped away"},
    };
    for (const auto& c : cases) EXPECT_EQ(userActionSentence(c.e), c.expected) << rawValue(c.e.kind);
}

TEST(PhrasingTest, PressureChangeSentences) {
    using P = MemoryPressureLevel;
    EXPECT_EQ(pressureChangeSentence(P::normal, P::warning), "Your Mac\u2019s memory status changed from OK to Tight.");
    EXPECT_EQ(pressureChangeSentence(P::critical, P::normal), "Your Mac\u2019s memory status changed from Critical to OK.");
    EXPECT_EQ(pressureChangeSentence(P::warning, P::critical), "Your Mac\u2019s memory status changed from Tight to Critical.");
}

TEST(PhrasingTest, FreedOrUsed) {
    const std::vector<std::tuple<std::string, std::int64_t, std::string>> cases{
        {"Safari", -314'572'800, "Safari freed 300 MB"},
        {"Safari Web Content", 1'288'490'189, "Safari used +1.2 GB more"},
        {"Slack Helper (Renderer)", 0, "Slack (background) used 0 bytes more"},
        {"Editor", -1, "Editor freed 1 byte"},
        {"Editor", std::numeric_limits<std::int64_t>::min(), "Editor freed 8,388,608 TB"},
    };
    for (const auto& [name, delta, expected] : cases) EXPECT_EQ(freedOrUsedPhrase(appNamed(name), delta), expected);
}

TEST(PhrasingTest, MeasureResultSentences) {
    const auto report = [](std::optional<std::string> app, std::optional<std::int64_t> lasting) {
        MeasureReport r;
        if (app) r.targetApp = appNamed(*app);
        r.lastingImpactBytes = lasting;
        r.beforeBytes = 1;  // not read by the sentence
        return r;
    };
    const std::vector<std::pair<MeasureReport, std::string>> cases{
        {report(std::nullopt, -50'000'000), "After that action, the app used about 47.7 MB less than before."},
        {report("Slack Helper (Renderer)", 157'286'400),
         "After that action, Slack (background) still used about +150 MB more than before."},
        {report("Editor", 0), "After that action, Editor still used about 0 bytes more than before."},
        {report("Editor", std::nullopt), "After that action, Editor still used about 0 bytes more than before."},
        {report("Editor", std::numeric_limits<std::int64_t>::min()),
         "After that action, Editor used about 8,388,608 TB less than before."},
    };
    for (const auto& [r, expected] : cases) EXPECT_EQ(measureResultSentence(r), expected);
}
