#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ui/main/developer/DeveloperRules.h"

namespace velmora::developer {
namespace {

std::string valueOf(const std::vector<StatusRow>& rows, const std::string& label) {
    for (const auto& r : rows)
        if (r.label == label) return r.value;
    ADD_FAILURE() << "no row " << label;
    return {};
}

TEST(DeveloperRules, PipelineRowsFollowTheState) {
    const auto idle = pipelineRows({});
    ASSERT_EQ(idle.size(), 8u);
    const std::vector<StatusRow> expected{{"Memory sampling", "Off"},
                                          {"Automation (browser scripting)", "Idle"},
                                          {"Window list", "Running"},
                                          {"Extension bridge", "Off"},
                                          {"Accessibility", "Not granted"},
                                          {"Screen capture", "Not granted"},
                                          {"Last page sensor", "\u2014"},
                                          {"Last page", "\u2014"}};
    EXPECT_EQ(idle, expected);

    // Accessibility granted, screen recording not: the two rows must not be swapped.
    const auto busy = pipelineRows({true, "Automation", "Inbox", true, 18765, true, false});
    EXPECT_EQ(valueOf(busy, "Memory sampling"), "On 1 Hz");
    EXPECT_EQ(valueOf(busy, "Automation (browser scripting)"), "Active");
    EXPECT_EQ(valueOf(busy, "Extension bridge"), "On :18765");
    EXPECT_EQ(valueOf(busy, "Accessibility"), "Granted");
    EXPECT_EQ(valueOf(busy, "Screen capture"), "Not granted");
    EXPECT_EQ(valueOf(busy, "Last page"), "Inbox");

    // Only the exact source name counts as the automation sensor being active.
    for (const char* other : {"Browser Automation", "Extension", "automation"}) {
        const auto rows = pipelineRows({false, std::string(other), std::nullopt, false, 18765, false, true});
        EXPECT_EQ(valueOf(rows, "Automation (browser scripting)"), "Idle") << other;
        EXPECT_EQ(valueOf(rows, "Last page sensor"), other);
        EXPECT_EQ(valueOf(rows, "Screen capture"), "Granted");
        EXPECT_EQ(valueOf(rows, "Extension bridge"), "Off") << "a stopped bridge shows no port";
    }
}

TEST(DeveloperRules, ErrorLines) {
    EXPECT_FALSE(bridgeErrorLine(std::nullopt));
    EXPECT_EQ(bridgeErrorLine("Address already in use"), "Bridge error: Address already in use");
    EXPECT_EQ(probeErrorLine("No scripting on Linux", std::nullopt), "No scripting on Linux");
    EXPECT_FALSE(probeErrorLine("No scripting on Linux", "Inbox")) << "a known title hides the error";
    EXPECT_FALSE(probeErrorLine("No scripting on Linux", "")) << "an empty title is still a title";
    EXPECT_FALSE(probeErrorLine(std::nullopt, std::nullopt));
}

TEST(DeveloperRules, SourcesListedWithoutUnknown) {
    const auto sources = explainedSources();
    ASSERT_EQ(sources.size(), 13u);
    EXPECT_EQ(sources.front(), SensorSource::memorySampler);
    EXPECT_EQ(sources.back(), SensorSource::systemPressure);
    for (const auto s : sources) EXPECT_NE(s, SensorSource::unknown);
}

TEST(DeveloperRules, FeedTimeIsLocalTwentyFourHourClock) {
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    // 2026-12-07 21:05:09 UTC, a fraction past the second.
    const Date evening = Date::fromUnix(1796677509.75);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(feedTime(evening), "21:05:09");
    ::setenv("TZ", "Asia/Kolkata", 1);  // +5:30, past midnight
    ::tzset();
    EXPECT_EQ(feedTime(evening), "02:35:09");
    EXPECT_EQ(feedTime(Date{std::nan("")}), "--:--:--");
    if (saved) ::setenv("TZ", before.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}

TEST(DeveloperRules, StoryBadgesAndChange) {
    TimelineEvent story;
    story.primarySource = SensorSource::significantChange;
    story.supportingSources = {SensorSource::chromiumExtension, SensorSource::windowList, SensorSource::workspace,
                               SensorSource::accessibility, SensorSource::screenshotOCR};
    EXPECT_EQ(storyBadges(story), (std::vector<SensorSource>{SensorSource::significantChange,
                                                             SensorSource::chromiumExtension,
                                                             SensorSource::windowList, SensorSource::workspace}));
    story.supportingSources.clear();
    EXPECT_EQ(storyBadges(story), std::vector<SensorSource>{SensorSource::significantChange});

    EXPECT_FALSE(storyChangeLine(story)) << "no window at all";
    story.longerTerm = ImpactWindow{-3 * 1048576};
    EXPECT_EQ(storyChangeLine(story), "\u22123 MB");
    story.immediate = ImpactWindow{2 * 1048576};
    EXPECT_EQ(storyChangeLine(story), "+2 MB") << "immediate before longer term";
    story.settled = ImpactWindow{5 * 1048576};
    EXPECT_EQ(storyChangeLine(story), "+5 MB") << "settled first";
    for (const auto kind : {TimelineEventKind::pressureChanged, TimelineEventKind::swapSpike}) {
        story.kind = kind;
        EXPECT_FALSE(storyChangeLine(story));
    }
}

TEST(DeveloperRules, PathStatus) {
    EXPECT_EQ(pathStatus(true), "\u26A0\uFE0F build folder (unstable for permissions)");
    EXPECT_EQ(pathStatus(false), "Stable location");
}

}  // namespace
}  // namespace velmora::developer
