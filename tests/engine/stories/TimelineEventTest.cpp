#include <gtest/gtest.h>

#include "engine/stories/TimelineEvent.h"

using namespace velmora;

namespace {

TimelineEvent bareStory() {
    TimelineEvent e;
    e.id = Uuid::random();
    e.timestamp = Date{800000000.25};
    e.kind = TimelineEventKind::largeDelta;
    e.title = "Safari used +1.2 GB more";
    e.explanation = "Safari grew by about 1.2 GB.";
    e.primarySource = SensorSource::significantChange;
    return e;
}

}  // namespace

TEST(TimelineEventTest, BareStoryHasExactlyNineKeysAndRoundTrips) {
    const TimelineEvent story = bareStory();
    const Json j = story.toJson();
    EXPECT_EQ(j.size(), 9u);
    for (const char* key : {"id", "timestamp", "kind", "title", "explanation", "linkedActivityIDs", "isPendingWindows",
                            "primarySource", "supportingSources"})
        EXPECT_TRUE(j.contains(key)) << key;
    EXPECT_EQ(j["kind"], "largeDelta");
    EXPECT_EQ(TimelineEvent::fromJson(j), story);
    // Nulls read as absent.
    Json withNulls = j;
    withNulls["confidence"] = nullptr;
    withNulls["settled"] = nullptr;
    EXPECT_EQ(TimelineEvent::fromJson(withNulls), story);
}

TEST(TimelineEventTest, FullStoryRoundTrips) {
    TimelineEvent story = bareStory();
    story.confidence = ConfidenceLevel::medium;
    story.relatedApp = ProcessIdentity{"com.apple.Safari", "com.apple.Safari", "Safari", {10, 11}, false};
    story.baselineFootprintBytes = 18'000'000'000'000'000'000ULL;  // beyond the signed range
    story.immediate = ImpactWindow{-5, 8.0, std::nullopt, 42};
    story.settled = ImpactWindow{1'288'490'189, 45.0, 2'000'000'000, std::nullopt};
    story.longerTerm = ImpactWindow{0, 180.0, std::nullopt, std::nullopt};
    story.systemContext = SystemMemorySnapshot{MemoryPressureLevel::warning, 1, 2, 3, 4, Date{77}};
    story.linkedActivityIDs = {Uuid::random(), Uuid::random()};
    story.isPendingWindows = true;
    story.supportingSources = {SensorSource::appleScript, SensorSource::workspace};
    const Json j = story.toJson();
    EXPECT_EQ(j.size(), 16u);
    EXPECT_EQ(TimelineEvent::fromJson(j), story);
    EXPECT_EQ(TimelineEvent::fromJson(Json::parse(j.dump())), story);
}

TEST(TimelineEventTest, BadRecordsFailToDecode) {
    const Json good = bareStory().toJson();
    auto broken = [&](auto edit) {
        Json j = good;
        edit(j);
        return j;
    };
    const Json cases[] = {
        broken([](Json& j) { j["kind"] = "largeGrowth"; }),
        broken([](Json& j) { j["confidence"] = "certain"; }),
        broken([](Json& j) { j["primarySource"] = "nowhere"; }),
        broken([](Json& j) { j["supportingSources"] = {"workspace", "bogus"}; }),
        broken([](Json& j) { j.erase("isPendingWindows"); }),
        broken([](Json& j) { j.erase("linkedActivityIDs"); }),
        broken([](Json& j) { j["isPendingWindows"] = 1; }),
        broken([](Json& j) { j["linkedActivityIDs"] = {"not-a-uuid"}; }),
        broken([](Json& j) { j["immediate"] = {{"duration", 1.0}}; }),
        broken([](Json& j) { j["baselineFootprintBytes"] = -1; }),
    };
    for (const auto& j : cases) EXPECT_THROW(TimelineEvent::fromJson(j), DecodeError) << j.dump();
    // One bad record fails the whole array.
    const Json array = Json::array({good, cases[0]});
    EXPECT_THROW(decode<std::vector<TimelineEvent>>(array), DecodeError);
}

TEST(TimelineEventTest, AbsentConfidenceDiffersFromLow) {
    TimelineEvent a = bareStory();
    TimelineEvent b = a;
    b.confidence = ConfidenceLevel::low;
    EXPECT_NE(a, b);
}

TEST(ImpactWindowTest, SignedZeroDurationsAreEqualAndHashAlike) {
    const ImpactWindow plus{100, 0.0, 5, 6};
    const ImpactWindow minus{100, -0.0, 5, 6};
    EXPECT_EQ(plus, minus);
    EXPECT_EQ(std::hash<ImpactWindow>{}(plus), std::hash<ImpactWindow>{}(minus));
    const Json j = ImpactWindow{-7, 2.5, std::nullopt, std::nullopt}.toJson();
    EXPECT_EQ(j.size(), 2u);
}

TEST(ConfidenceLevelTest, StrengthOrderAndTexts) {
    using C = ConfidenceLevel;
    using O = std::optional<C>;
    struct Case {
        O a, b, stronger;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, std::nullopt},
        {std::nullopt, C::low, C::low},
        {C::low, std::nullopt, C::low},
        {C::high, C::medium, C::high},
        {C::medium, C::high, C::high},
        {C::low, C::medium, C::medium},
    };
    for (const auto& c : cases) EXPECT_EQ(strongerConfidence(c.a, c.b), c.stronger);

    EXPECT_EQ(allCases<C>(), (std::vector<C>{C::high, C::medium, C::low}));
    EXPECT_EQ(howSureText(C::low), "How sure: Unsure. We saw a memory change, but we\xE2\x80\x99re not sure why.");
    EXPECT_EQ(howSureText(C::high), "How sure: Strong. We\xE2\x80\x99re fairly sure this matches what you were doing.");
    EXPECT_EQ(howSureText(C::medium),
              "How sure: Best guess. Best guess from the numbers \xE2\x80\x94 not proven for a specific tab or click.");
}
