#include <gtest/gtest.h>

#include <limits>

#include "engine/stories/StoryText.h"

using namespace velmora;

namespace {

const ProcessIdentity kSafari{"com.apple.Safari", "com.apple.Safari", "Safari", {10}, false};

SystemMemorySnapshot snapshot(MemoryPressureLevel pressure, std::uint64_t available) {
    return SystemMemorySnapshot{pressure, 0, 0, available, 16'000'000'000, Date{1000}};
}

TimelineEvent story(std::string explanation, std::optional<ImpactWindow> immediate,
                    TimelineEventKind kind = TimelineEventKind::largeDelta) {
    TimelineEvent e;
    e.id = Uuid::random();
    e.timestamp = Date{1000};
    e.kind = kind;
    e.title = "Safari used +1.2 GB more";
    e.explanation = std::move(explanation);
    e.confidence = ConfidenceLevel::high;
    e.relatedApp = kSafari;
    e.immediate = immediate;
    e.systemContext = snapshot(MemoryPressureLevel::normal, 8'000'000'000);
    e.isPendingWindows = true;
    e.primarySource = SensorSource::significantChange;
    return e;
}

ImpactWindow window(std::int64_t delta) { return ImpactWindow{delta, 8.0, std::nullopt, std::nullopt}; }

const std::string kAttributed =
    "Safari grew by about 1.2 GB.\n"
    "What you were doing around then:\n"
    "\xE2\x80\xA2 You opened Maps\n"
    "These lined up in time \xE2\x80\x94 a good guess, not proof.\n"
    "Your Mac\xE2\x80\x99s overall memory still looked fine.";

const std::string kSmallHit = "Small hit: Mac still has plenty free.";

}  // namespace

TEST(ImpactVerdictTest, RowsAndBoundaries) {
    using P = MemoryPressureLevel;
    struct Case {
        std::int64_t delta;
        std::optional<SystemMemorySnapshot> system;
        std::uint8_t level;
        const char* label;
        const char* reason;
    };
    const Case cases[] = {
        {-1, snapshot(P::critical, 0), 0, "Helps", "Memory came free."},
        {std::numeric_limits<std::int64_t>::min(), std::nullopt, 0, "Helps", "Memory came free."},
        {10, snapshot(P::critical, 1), 5, "Hurts now", "Mac is low on memory \xE2\x80\x94 this can make it feel slow."},
        {600'000'000, snapshot(P::warning, 8'000'000'000), 4, "Adds stress", "Memory was already tight."},
        {1'600'000'000, snapshot(P::normal, 10'000'000'000), 3, "Worth watching", "Big bite of free memory."},
        {1'500'000'000, snapshot(P::normal, 10'000'000'000), 3, "Worth watching", "Half a gig or more."},
        {200'000'000, snapshot(P::normal, 1'000'000'000), 3, "Worth watching", "Big bite of free memory."},
        {524'288'000, std::nullopt, 3, "Worth watching", "Half a gig or more."},
        {524'287'999, std::nullopt, 2, "Small hit", "Mac still has plenty free."},
        {157'286'400, std::nullopt, 2, "Small hit", "Mac still has plenty free."},
        {157'286'399, std::nullopt, 1, "Tiny", "You probably won\xE2\x80\x99t feel this."},
        {0, std::nullopt, 1, "Tiny", "You probably won\xE2\x80\x99t feel this."},
        {100, snapshot(P::normal, 0), 1, "Tiny", "You probably won\xE2\x80\x99t feel this."},
    };
    for (const auto& c : cases) {
        const auto v = impactVerdict(c.delta, c.system);
        EXPECT_EQ(v, (ImpactVerdict{c.level, c.label, c.reason})) << c.delta;
    }
}

TEST(StoryTextTest, WorkedExampleWithOnlyBoilerplate) {
    const auto in = story(
        "Safari grew by about 1.2 GB.\n"
        "We saw you use Safari, but not exactly which click or page caused this.\n"
        "Your Mac\xE2\x80\x99s overall memory still looked fine.",
        window(400'000'000));
    const auto out = rewriteStoryText(in);
    EXPECT_EQ(out.title, "Safari used more memory");
    EXPECT_EQ(out.explanation, "Grew while this app was running.\n" + kSmallHit);
    EXPECT_EQ(out.id, in.id);
    EXPECT_EQ(out.isPendingWindows, true);
    EXPECT_EQ(out.immediate, in.immediate);
}

TEST(StoryTextTest, AttributionFramingLinesAreBoilerplate) {
    const auto grown = rewriteStoryText(story(kAttributed, window(400'000'000)));
    EXPECT_EQ(grown.title, "Safari \xC2\xB7 Maps");
    EXPECT_EQ(grown.explanation, "Maps\n" + kSmallHit);

    const auto framingOnly = rewriteStoryText(story(
        "What you were doing around then:\nThese lined up in time \xE2\x80\x94 a good guess, not proof.",
        window(400'000'000)));
    EXPECT_EQ(framingOnly.title, "Safari used more memory");

    const auto freed = rewriteStoryText(story(
        "Safari shrank by about 300 MB.\n"
        "Memory came free \xE2\x80\x94 often after closing tabs, windows, or quitting.\n"
        "Your Mac was under heavy memory pressure.",
        window(-314'572'800)));
    EXPECT_EQ(freed.title, "Safari freed memory");
    EXPECT_EQ(freed.explanation, "Memory came free from this app.\nHelps: Memory came free.");
}

TEST(StoryTextTest, RewriteIsIdempotent) {
    TimelineEvent fromTitle = story("Safari grew by about 1.2 GB.", window(300'000'000));
    fromTitle.title = "Safari \xC2\xB7 Weather";
    TimelineEvent noApp = story(kAttributed, window(-5));
    noApp.relatedApp.reset();
    TimelineEvent pressure = story("x", window(1), TimelineEventKind::pressureChanged);
    const TimelineEvent cases[] = {
        story(kAttributed, window(400'000'000)),
        story(kAttributed, window(-200'000'000)),
        story("\xE2\x80\xA2 You opened " + std::string(60, 'p'), window(900'000'000)),
        story("Watching **things**   ", window(5)),
        story("You opened  Maps", window(5)),
        story("You oYou opened pened Maps", window(5)),
        story("Safari grew by about 1.2 GB.", window(0)),
        story("Safari grew by about 1.2 GB.", std::nullopt),
        fromTitle,
        noApp,
        pressure,
    };
    for (const auto& c : cases) {
        const auto once = rewriteStoryText(c);
        const auto twice = rewriteStoryText(once);
        EXPECT_EQ(twice.title, once.title) << c.explanation;
        EXPECT_EQ(twice.explanation, once.explanation) << c.explanation;
        EXPECT_EQ(twice, once) << c.explanation;
    }
    EXPECT_EQ(rewriteStoryText(fromTitle).title, "Safari \xC2\xB7 Weather");
    EXPECT_EQ(rewriteStoryText(noApp).title, "An app freed memory");
}

TEST(StoryTextTest, WindowChoiceAndZeroDelta) {
    const auto untouched = story(kAttributed, std::nullopt);
    EXPECT_EQ(rewriteStoryText(untouched), untouched);

    TimelineEvent settledZero = story(kAttributed, window(300 * 1'048'576));
    settledZero.settled = window(0);
    const auto out = rewriteStoryText(settledZero);
    EXPECT_EQ(out.title, "Safari");
    EXPECT_EQ(out.explanation, "No lasting change measured.");

    settledZero.relatedApp.reset();
    EXPECT_EQ(rewriteStoryText(settledZero).title, "Memory change");

    TimelineEvent lateOnly = story(kAttributed, std::nullopt);
    lateOnly.longerTerm = window(-1);
    EXPECT_EQ(rewriteStoryText(lateOnly).explanation, "Maps\nHelps: Memory came free.");
}

TEST(StoryTextTest, PhraseLengthAndReleaseTitles) {
    const std::string sixty(60, 'q');
    const auto grown = rewriteStoryText(story("\xE2\x80\xA2 " + sixty, window(400'000'000)));
    EXPECT_EQ(grown.title, "Safari \xC2\xB7 " + std::string(49, 'q') + "\xE2\x80\xA6");

    const auto freed = rewriteStoryText(story(kAttributed, window(-200 * 1'048'576)));
    EXPECT_EQ(freed.title, "Safari freed memory");
    EXPECT_EQ(freed.explanation, "Maps\nHelps: Memory came free.");

    EXPECT_EQ(storyShortTitle("Safari Web Content", 1, std::string("Maps")), "Safari \xC2\xB7 Maps");
    EXPECT_EQ(storyShortTitle("Slack Helper (Renderer)", 0, std::string("Maps")), "Slack (background) used more memory");
    EXPECT_EQ(storyShortTitle("Notes", 10, std::nullopt), "Notes used more memory");
}

TEST(StoryTextTest, WholeMachineStoriesGetFixedWording) {
    TimelineEvent p = story(kAttributed, window(5), TimelineEventKind::pressureChanged);
    p.settled = window(6);
    p.longerTerm = window(7);
    p.systemContext = snapshot(MemoryPressureLevel::warning, 1);
    const auto out = rewriteStoryText(p);
    EXPECT_EQ(out.title, "Mac memory is tight");
    EXPECT_EQ(out.explanation, "Overall memory pressure changed.\nThis is about the whole Mac, not one app.");
    EXPECT_FALSE(out.relatedApp || out.immediate || out.settled);
    EXPECT_EQ(out.longerTerm, p.longerTerm);
    EXPECT_FALSE(out.isPendingWindows);

    p.systemContext.reset();
    EXPECT_EQ(rewriteStoryText(p).title, "Mac memory is changed");

    TimelineEvent s = story(kAttributed, window(5), TimelineEventKind::swapSpike);
    const auto swap = rewriteStoryText(s);
    EXPECT_EQ(swap.title, "Mac started using disk for memory");
    EXPECT_EQ(swap.explanation, "When free RAM is tight, the Mac uses disk. That often feels slow.");
    EXPECT_FALSE(swap.relatedApp.has_value());

    for (auto kind : {TimelineEventKind::sustainedGrowth, TimelineEventKind::measureSession}) {
        const TimelineEvent kept = story(kAttributed, window(400'000'000), kind);
        EXPECT_EQ(rewriteStoryText(kept), kept);
    }
}

TEST(StoryTextTest, PhraseFilter) {
    struct Case {
        std::string line;
        std::optional<std::string> phrase;
    };
    const Case cases[] = {
        {"Tiny: You probably won\xE2\x80\x99t feel this.", std::nullopt},
        {"Your Mac was starting to feel memory pressure.", std::nullopt},
        {"Downloaded 300 MB", std::nullopt},
        {"We don't know why", std::nullopt},
        {"x", std::nullopt},
        {"  You opened Maps\n", "Maps"},
        {"You watched \xE2\x80\x9CSong\xE2\x80\x9D", "\xE2\x80\x9CSong\xE2\x80\x9D"},
        {"**Maps** route", "Maps route"},
        {std::string(52, 'k'), std::string(52, 'k')},
        {std::string(53, 'k'), std::string(49, 'k') + "\xE2\x80\xA6"},
        {"mb and gb in lower case", "mb and gb in lower case"},
    };
    for (const auto& c : cases) EXPECT_EQ(storyPhraseFilter(c.line), c.phrase) << c.line;
}

TEST(StoryTextTest, HeadlineFromEventsBeforeText) {
    auto event = [](ActivityEventKind kind) {
        return ActivityEvent{Uuid::random(), Date{1}, kind, kSafari, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    };
    EXPECT_EQ(storyDisplayHeadline(kAttributed, {event(ActivityEventKind::becameFrontmost),
                                                 event(ActivityEventKind::tabActivity)}),
              "Changed tabs in Safari");
    EXPECT_EQ(storyDisplayHeadline(kAttributed, {event(ActivityEventKind::userIdle)}), "Maps");
    EXPECT_EQ(storyDisplayHeadline("\n\n  \t\xE2\x80\xA2  Weather \n", {}), "Weather");
    EXPECT_EQ(storyDisplayHeadline("", {}), std::nullopt);
}
