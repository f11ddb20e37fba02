#include <gtest/gtest.h>

#include <cmath>

#include "engine/stories/TimelineEvent.h"

using namespace velmora;

TEST(TimelineEventTest, BareStoryHasExactlyNineKeysAndFullStoriesRoundTrip) {
    const TimelineEvent bare{Uuid::random(), Date{800000000.25}, TimelineEventKind::largeDelta, "Safari used +1.2 GB more",
                             "Safari grew by about 1.2 GB.", {}, {}, {}, {}, {}, {}, {}, {}, false, SensorSource::significantChange, {}};
    EXPECT_EQ(bare.toJson(), (Json{{"id", bare.id.toString()}, {"timestamp", 800000000.25}, {"kind", "largeDelta"}, {"title", bare.title},
                                   {"explanation", bare.explanation}, {"linkedActivityIDs", Json::array()}, {"isPendingWindows", false},
                                   {"primarySource", "significantChange"}, {"supportingSources", Json::array()}}));
    EXPECT_EQ(TimelineEvent::fromJson(bare.toJson()), bare);

    const TimelineEvent story{Uuid::random(), Date{1.5}, TimelineEventKind::memoryReleased, "t", "e", ConfidenceLevel::medium,
                              ProcessIdentity{"com.apple.Safari", "com.apple.Safari", "Safari", {10, 11}, false},
                              18'000'000'000'000'000'000ULL,  // beyond the signed range
                              ImpactWindow{-5, 8.0, std::nullopt, 42}, ImpactWindow{1'288'490'189, 45.0, 2'000'000'000, {}},
                              ImpactWindow{0, 180.0, {}, {}}, SystemMemorySnapshot{MemoryPressureLevel::warning, 1, 2, 3, 4, Date{77}},
                              {Uuid::random(), Uuid::random()}, true, SensorSource::appleScript, {SensorSource::workspace}};
    const Json good = story.toJson();
    EXPECT_EQ(good.size(), 16u);
    EXPECT_EQ(TimelineEvent::fromJson(Json::parse(good.dump())), story);

    const std::pair<const char*, Json> edits[] = {
        {"kind", "largeGrowth"}, {"confidence", "certain"}, {"supportingSources", {"bogus"}}, {"isPendingWindows", nullptr},
        {"immediate", {{"duration", 1.0}}}, {"baselineFootprintBytes", -1}, {"linkedActivityIDs", {"not-a-uuid"}}};
    for (const auto& [key, value] : edits) {
        Json j = good;
        j[key] = value;
        EXPECT_THROW(TimelineEvent::fromJson(j), DecodeError) << key;
        EXPECT_THROW(decode<std::vector<TimelineEvent>>(Json::array({good, j})), DecodeError) << key;
    }
}

TEST(TimelineEventTest, ImpactWindowsConfidenceAndSensorSources) {
    EXPECT_EQ(std::hash<ImpactWindow>{}(ImpactWindow{100, 0.0, 5, 6}), std::hash<ImpactWindow>{}(ImpactWindow{100, -0.0, 5, 6}));
    EXPECT_EQ(ImpactWindow::fromJson(ImpactWindow{1, std::nan(""), {}, {}}.toJson()).duration, 0.0);

    using C = ConfidenceLevel;
    using O = std::optional<C>;
    const std::tuple<O, O, O> cases[] = {
        {std::nullopt, std::nullopt, std::nullopt}, {std::nullopt, C::low, C::low}, {C::low, std::nullopt, C::low},
        {C::high, C::medium, C::high},              {C::medium, C::high, C::high},  {C::low, C::medium, C::medium},
    };
    for (const auto& [a, b, stronger] : cases) EXPECT_EQ(strongerConfidence(a, b), stronger);
    EXPECT_EQ(howSureText(C::low), "How sure: Unsure. We saw a memory change, but we\u2019re not sure why.");
    EXPECT_EQ(howSureText(C::medium), "How sure: Best guess. Best guess from the numbers \u2014 not proven for a specific tab or click.");

    ASSERT_EQ(allCases<SensorSource>().size(), 14u);
    for (auto source : allCases<SensorSource>()) EXPECT_EQ(enumFromRaw<SensorSource>(rawValue(source)), source);
    EXPECT_EQ(label(SensorSource::significantChange), "\u0394 Memory");
    EXPECT_EQ(explanation(SensorSource::significantChange), "Noise filter saw a big jump in one app\u2019s footprint.");
    EXPECT_EQ(explanation(SensorSource::chromiumExtension), "Velmora Helper extension \u2192 localhost bridge.");
    const SensorLogEntry entry{Uuid::random(), Date{1234.5}, SensorSource::windowList, "titleChanged: Inbox", {}, ""};
    EXPECT_EQ(entry.toJson().size(), 5u);  // no appName; an empty detail is still a detail
    EXPECT_EQ(SensorLogEntry::fromJson(entry.toJson()), entry);
    Json bad = entry.toJson();
    bad["source"] = "camera";
    EXPECT_THROW(SensorLogEntry::fromJson(bad), DecodeError);
}
