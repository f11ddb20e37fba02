#include <gtest/gtest.h>

#include "engine/stories/StoryText.h"

using namespace velmora;

namespace {

using P = MemoryPressureLevel;
const ProcessIdentity kSafari{"com.apple.Safari", "com.apple.Safari", "Safari", {10}, false};

SystemMemorySnapshot snapshot(P pressure, std::uint64_t available) {
    return {pressure, 0, 0, available, 16'000'000'000, Date{1000}};
}

ImpactWindow window(std::int64_t delta) { return ImpactWindow{delta, 8.0, std::nullopt, std::nullopt}; }

TimelineEvent story(std::string explanation, std::optional<std::int64_t> immediate,
                    TimelineEventKind kind = TimelineEventKind::largeDelta) {
    return TimelineEvent{Uuid::random(), Date{}, kind, "Safari used +1.2 GB more", std::move(explanation), {}, kSafari,
                         {}, immediate ? std::optional(window(*immediate)) : std::nullopt, {}, {},
                         snapshot(P::normal, 8'000'000'000), {}, true, SensorSource::significantChange, {}};
}

const std::string kAttributed =
    "Safari grew by about 1.2 GB.\n"
    "What you were doing around then:\n"
    "\xE2\x80\xA2 You opened Maps\n"
    "These lined up in time \xE2\x80\x94 a good guess, not proof.\n"
    "Your computer\xE2\x80\x99s overall memory still looked fine.";

const std::string kSmallHit = "Small hit: Computer still has plenty free.", kHelps = "Helps: Memory came free.",
                  kTiny = "Tiny: You probably won\xE2\x80\x99t feel this.";

}  // namespace

TEST(ImpactVerdictTest, RowsAndBoundaries) {
    const ImpactVerdict helps{0, "Helps", "Memory came free."}, half{3, "Worth watching", "Half a gig or more."},
        small{2, "Small hit", "Computer still has plenty free."}, tiny{1, "Tiny", "You probably won\xE2\x80\x99t feel this."};
    const std::tuple<std::int64_t, std::optional<SystemMemorySnapshot>, ImpactVerdict> cases[] = {
        {-1, snapshot(P::critical, 0), helps}, {524'288'000, {}, half}, {524'287'999, {}, small}, {157'286'400, {}, small},
        {157'286'399, {}, tiny}, {100, snapshot(P::normal, 0), tiny},
        {10, snapshot(P::critical, 1), {5, "Hurts now", "Computer is low on memory \xE2\x80\x94 this can make it feel slow."}},
        {600'000'000, snapshot(P::warning, 8'000'000'000), {4, "Adds stress", "Memory was already tight."}},
        {1'600'000'000, snapshot(P::normal, 10'000'000'000), {3, "Worth watching", "Big bite of free memory."}},
        {1'500'000'000, snapshot(P::normal, 10'000'000'000), half},
    };
    for (const auto& [delta, system, verdict] : cases) EXPECT_EQ(impactVerdict(delta, system), verdict) << delta;
}

TEST(StoryTextTest, RewordedAppStoriesAndRewordingAgainChangesNothing) {
    TimelineEvent settledZero = story(kAttributed, 300 * 1'048'576), lateOnly = story(kAttributed, std::nullopt),
                  noApp = story(kAttributed, -5), fromTitle = story("Safari grew by about 1.2 GB.", 300'000'000);
    settledZero.settled = window(0);
    lateOnly.longerTerm = window(-1);
    noApp.relatedApp.reset();
    fromTitle.title = "Safari \xC2\xB7 Weather";
    const std::string grew = "Grew while this app was running.\n", cut = std::string(49, 'q') + "\xE2\x80\xA6";
    const std::tuple<TimelineEvent, std::string, std::string> cases[] = {
        {story("Safari grew by about 1.2 GB.\n"
               "We saw you use Safari, but not exactly which click or page caused this.\n"
               "Your computer\xE2\x80\x99s overall memory still looked fine.",
               400'000'000),
         "Safari used more memory", grew + kSmallHit},
        {story(kAttributed, 400'000'000), "Safari \xC2\xB7 Maps", "Maps\n" + kSmallHit},
        {story("What you were doing around then:\nThese lined up in time \xE2\x80\x94 a good guess, not proof.", 400'000'000),
         "Safari used more memory", grew + kSmallHit},
        {story("Safari shrank by about 300 MB.\nMemory came free \xE2\x80\x94 often after closing tabs, windows, or quitting.",
               -314'572'800),
         "Safari freed memory", "Memory came free from this app.\n" + kHelps},
        // A release never gets a phrase title, but keeps the phrase as its first line.
        {story(kAttributed, -200 * 1'048'576), "Safari freed memory", "Maps\n" + kHelps},
        {story("\xE2\x80\xA2 You opened " + std::string(60, 'q'), 900'000'000), "Safari \xC2\xB7 " + cut,
         cut + "\nWorth watching: Half a gig or more."},
        {story("You oYou opened pened Maps", 5), "Safari \xC2\xB7 Maps", "Maps\n" + kTiny},
        // What is left of "You opened tinyurl.com" reads as a verdict line: the next factor is used.
        {story("\xE2\x80\xA2 You opened tinyurl.com\n\xE2\x80\xA2 You opened Maps", 5), "Safari \xC2\xB7 Maps", "Maps\n" + kTiny},
        {fromTitle, "Safari \xC2\xB7 Weather", "Weather\n" + kSmallHit},
        {settledZero, "Safari", "No lasting change measured."},  // the settled window wins over the immediate one
        {lateOnly, "Safari freed memory", "Maps\n" + kHelps},
        {noApp, "An app freed memory", "Maps\n" + kHelps},
    };
    for (const auto& [in, title, explanation] : cases) {
        const auto out = rewriteStoryText(in);
        EXPECT_EQ(std::make_tuple(out.title, out.explanation, out.isPendingWindows), std::make_tuple(title, explanation, true)) << in.explanation;
        EXPECT_EQ(rewriteStoryText(out), out) << in.explanation;
    }
    settledZero.relatedApp.reset();
    EXPECT_EQ(rewriteStoryText(settledZero).title, "Memory change");
    const auto untouched = story(kAttributed, std::nullopt);
    EXPECT_EQ(rewriteStoryText(untouched), untouched);
}

TEST(StoryTextTest, WholeMachineStoriesGetFixedWording) {
    using Kind = TimelineEventKind;
    const std::string pressure = "Overall memory pressure changed.\nThis is about the whole computer, not one app.";
    const std::tuple<Kind, std::optional<SystemMemorySnapshot>, std::string, std::string> cases[] = {
        {Kind::pressureChanged, snapshot(P::warning, 1), "Computer memory is tight", pressure},
        {Kind::pressureChanged, std::nullopt, "Computer memory is changed", pressure},
        {Kind::swapSpike, snapshot(P::critical, 1), "Computer started using disk for memory",
         "When free RAM is tight, the computer uses disk. That often feels slow."},
    };
    for (const auto& [kind, context, title, explanation] : cases) {
        TimelineEvent in = story(kAttributed, 5, kind);
        in.settled = window(6);
        in.longerTerm = window(7);
        in.systemContext = context;
        const auto out = rewriteStoryText(in);
        EXPECT_EQ(std::tie(out.title, out.explanation), std::tie(title, explanation));
        EXPECT_FALSE(out.relatedApp || out.immediate || out.settled || out.isPendingWindows) << title;
        EXPECT_EQ(out.longerTerm, in.longerTerm);
        EXPECT_EQ(rewriteStoryText(out), out);
    }
    for (auto kind : {Kind::sustainedGrowth, Kind::measureSession})
        EXPECT_EQ(rewriteStoryText(story(kAttributed, 400'000'000, kind)).explanation, kAttributed);
}

TEST(StoryTextTest, PhraseFilterShortTitleAndHeadline) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {kTiny, std::nullopt}, {"Downloaded 300 MB", std::nullopt}, {"Your computer was starting to feel memory pressure.", std::nullopt},
        {"We don't know why", std::nullopt}, {"x", std::nullopt}, {"  You opened Maps\n", "Maps"}, {"**Maps** route", "Maps route"},
        {std::string(52, 'k'), std::string(52, 'k')}, {std::string(53, 'k'), std::string(49, 'k') + "\xE2\x80\xA6"},
        {"mb and gb in lower case", "mb and gb in lower case"}, {"** Tiny desk", std::nullopt}, {"You opened Helps", std::nullopt},
    };
    for (const auto& [line, phrase] : cases) EXPECT_EQ(storyPhraseFilter(line), phrase) << line;
    // The rewording's own line for a change undone is no phrase, nor is a title made from it.
    EXPECT_EQ(storyDisplayHeadline("No lasting change measured.", {}), std::nullopt);
    auto healed = story("No lasting change measured.", 400'000'000);
    healed.title = "Safari \xC2\xB7 No lasting change measured.";
    const auto out = rewriteStoryText(healed);
    EXPECT_EQ(std::make_pair(out.title, out.explanation),
              std::make_pair(std::string("Safari used more memory"), "Grew while this app was running.\n" + kSmallHit));

    EXPECT_EQ(storyShortTitle("Safari Web Content", 1, std::string("Maps")), "Safari \xC2\xB7 Maps");
    EXPECT_EQ(storyShortTitle("Slack Helper (Renderer)", 0, std::string("Maps")), "Slack (background) used more memory");

    const auto event = [](ActivityEventKind kind) { return ActivityEvent{Uuid{}, Date{}, kind, kSafari, {}, {}, {}, {}}; };
    EXPECT_EQ(storyDisplayHeadline(kAttributed, {event(ActivityEventKind::becameFrontmost), event(ActivityEventKind::tabActivity)}),
              "Changed tabs in Safari");
    EXPECT_EQ(storyDisplayHeadline(kAttributed, {event(ActivityEventKind::userIdle)}), "Maps");
    EXPECT_EQ(storyDisplayHeadline("\n\n  \t\xE2\x80\xA2  Weather \n", {}), "Weather");
}
