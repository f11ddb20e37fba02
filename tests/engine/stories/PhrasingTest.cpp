#include <gtest/gtest.h>

#include <limits>
#include <tuple>

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
    return ActivityEvent{Uuid{}, Date{}, kind, std::move(app), std::move(title), std::nullopt, std::move(detail), {}};
}

std::string repeated(std::string_view piece, int n) { std::string out; while (n-- > 0) out += piece; return out; }

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
        // Every Chromium-based browser ships a crash handler under Chromium's name for Chrome.
        {"chrome_crashpad_handler", "chrome_crashpad_handler"},   {"chrome", "Google Chrome"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(friendlyAppName(name), expected) << name;
}

TEST(PhrasingTest, ByteCounts) {
    // Halves round to even: 2.5 KB, 1.25 MB, 1.125 GB, 1.375 GB.
    const std::pair<std::int64_t, std::string> cases[] = {
        {0, "0 bytes"},          {1, "+1 byte"},              {-1, kMinus + "1 byte"},      {1023, "+1,023 bytes"},
        {1024, "+1 KB"},         {-2560, kMinus + "2 KB"},    {1'024'000, "+1,000 KB"},    {1'048'575, "+1,024 KB"},
        {1'048'576, "+1 MB"},    {1'310'720, "+1.2 MB"},      {-314'572'800, kMinus + "300 MB"},
        {1'073'741'824, "+1 GB"}, {1'127'428'915, "+1.05 GB"}, {1'207'959'552, "+1.12 GB"}, {1'476'395'008, "+1.38 GB"},
        {1'288'490'189, "+1.2 GB"}, {std::numeric_limits<std::int64_t>::max(), "+8,388,608 TB"}, {kMin, kMinus + "8,388,608 TB"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(formatSignedBytes(bytes), expected) << bytes;
    EXPECT_EQ(formatBytes(std::numeric_limits<std::uint64_t>::max()), "16,777,216 TB");
}

TEST(PhrasingTest, ActivityPhrasesAndUserActionSentences) {
    const std::string sixty = repeated("e\u0301", 60);  // 60 characters, 180 bytes
    const std::string cut = repeated("e\u0301", 57) + "\u2026", longDetail = repeated("abcdefghij", 10);
    const auto quoted = [](const std::string& text) { return "\u201C" + text + "\u201D"; };
    // The event, its phrase, and its sentence where that is not the phrase.
    const std::tuple<ActivityEvent, std::string, std::optional<std::string>> cases[] = {
        {event(K::appLaunched, {}, {}, std::nullopt), "Opened an app", "You opened the app"},
        {event(K::becameFrontmost), "Switched to Maps", "You switched to Maps"},
        {event(K::windowOpened, " Route "), "New window in Maps", "You were in " + quoted("Route")},
        {event(K::windowOpened), "New window in Maps", "You used a window"},
        {event(K::dialogAppeared), "A dialog opened in Maps", {}}, {event(K::userResumed), "You're back", {}},
        {event(K::titleChanged, "  Route to work\n"), "In Maps: Route to work", "You were in " + quoted("Route to work")},
        {event(K::titleChanged, "   "), "In Maps: ", "You were in " + quoted("")},
        {event(K::titleChanged, ""), "Used Maps", "You were in " + quoted("")},
        {event(K::titleChanged, sixty), "In Maps: " + sixty, "You were in " + quoted(sixty)},
        {event(K::titleChanged, sixty + "e"), "In Maps: " + cut, "You were in " + quoted(cut)},
        {event(K::pageNavigated, "Title", " example.com "), "Opened  example.com  in Maps", "You opened  example.com "},
        {event(K::pageNavigated, "\u00A0Title\t"), "Opened a page in Maps: Title", "You opened " + quoted("Title")},
        {event(K::pageNavigated), "Opened a page in Maps", "You opened a page"},
        {event(K::mediaLikelyPlaying), "Watched video in Maps", "You watched a video"},
        {event(K::mediaLikelyPlaying, {}, " Trailer "), "Watched video in Maps: Trailer", "You watched " + quoted("Trailer")},
        {event(K::documentOpened, {}, repeated("x", 80)), "Opened " + repeated("x", 80) + " in Maps", {}},
        {event(K::documentOpened), "Opened a file in Maps", {}}, {event(K::siteActivity, "Title", ""), "On  in Maps", "You opened "},
        {event(K::siteActivity, {}, "docs"), "On docs in Maps", "You opened docs"},
        {event(K::siteActivity, "Inbox"), "Browsing in Maps", "You opened " + quoted("Inbox")},
        {event(K::tabActivity, {}, {}, std::nullopt), "Changed tabs in an app", {}}, {event(K::userIdle), "You stepped away", {}},
        {event(K::visualContext), "Something on screen changed", {}},
        {event(K::visualContext, {}, longDetail), longDetail.substr(0, 57) + "\u2026", {}},
    };
    for (const auto& [e, phrase, sentence] : cases) {
        EXPECT_EQ(activityPhrase(e), phrase) << rawValue(e.kind);
        EXPECT_EQ(userActionSentence(e), sentence.value_or(phrase)) << rawValue(e.kind);
    }
}

TEST(PhrasingTest, PressureFreedOrUsedAndMeasureSentences) {
    EXPECT_EQ(pressureChangeSentence(MemoryPressureLevel::critical, MemoryPressureLevel::warning),
              "Your computer\u2019s memory status changed from Critical to Tight.");

    const std::tuple<std::string, std::int64_t, std::string> phrases[] = {
        {"Safari", -314'572'800, "Safari freed 300 MB"}, {"Safari Web Content", 1'288'490'189, "Safari used +1.2 GB more"},
        {"Slack Helper (Renderer)", 0, "Slack (background) used 0 bytes more"}, {"Editor", kMin, "Editor freed 8,388,608 TB"},
    };
    for (const auto& [name, delta, expected] : phrases) EXPECT_EQ(freedOrUsedPhrase(appNamed(name), delta), expected);

    const std::tuple<std::optional<ProcessIdentity>, std::optional<std::int64_t>, std::string> sentences[] = {
        {{}, -50'000'000, "After that action, the app used about 47.7 MB less than before."},
        {appNamed("Slack Helper (Renderer)"), 157'286'400,
         "After that action, Slack (background) still used about +150 MB more than before."},
        {appNamed("Editor"), {}, "After that action, Editor still used about 0 bytes more than before."},
        {appNamed("Editor"), kMin, "After that action, Editor used about 8,388,608 TB less than before."},
        {{}, {}, "No app was measured — none was in front or grew during that action."},
    };
    for (const auto& [app, lasting, expected] : sentences)
        EXPECT_EQ(measureResultSentence({{}, {}, app, {}, {}, {}, {}, lasting, {}, {}, {}, {}, {}}), expected);
}
