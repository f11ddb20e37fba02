#include <gtest/gtest.h>

#include "engine/stories/SensorSource.h"

using namespace velmora;

TEST(SensorSourceTest, RawValuesRoundTripAndNearMissesAreRejected) {
    const auto cases = allCases<SensorSource>();
    ASSERT_EQ(cases.size(), 14u);
    EXPECT_EQ(cases.front(), SensorSource::memorySampler);
    EXPECT_EQ(cases.back(), SensorSource::unknown);
    for (auto source : cases) {
        const std::string raw(rawValue(source));
        EXPECT_EQ(enumFromRaw<SensorSource>(raw), source);
        std::string capital = raw;
        capital[0] = static_cast<char>(capital[0] - 'a' + 'A');
        EXPECT_FALSE(enumFromRaw<SensorSource>(capital).has_value()) << capital;
    }
    EXPECT_FALSE(enumFromRaw<SensorSource>("").has_value());
    EXPECT_THROW(decode<SensorSource>(Json("MemorySampler")), DecodeError);
}

TEST(SensorSourceTest, TextsWithTypographicCharacters) {
    EXPECT_EQ(label(SensorSource::significantChange), "\xCE\x94 Memory");
    EXPECT_EQ(explanation(SensorSource::significantChange), "Noise filter saw a big jump in one app\xE2\x80\x99s footprint.");
    EXPECT_EQ(explanation(SensorSource::chromiumExtension), "Velmora Helper extension \xE2\x86\x92 localhost bridge.");
    EXPECT_EQ(label(SensorSource::appleScript), "Automation");
    EXPECT_EQ(explanation(SensorSource::unknown), "Source not recorded.");
    // Every case has its own label.
    const auto cases = allCases<SensorSource>();
    for (std::size_t i = 0; i < cases.size(); ++i)
        for (std::size_t j = i + 1; j < cases.size(); ++j) EXPECT_NE(label(cases[i]), label(cases[j]));
}

TEST(SensorLogEntryTest, OptionalFieldsAndEquality) {
    SensorLogEntry entry{Uuid::random(), Date{1234.5}, SensorSource::windowList, "titleChanged: Inbox", std::nullopt,
                         std::nullopt};
    const Json j = entry.toJson();
    EXPECT_EQ(j.size(), 4u);
    EXPECT_EQ(j["source"], "windowList");
    EXPECT_EQ(SensorLogEntry::fromJson(j), entry);

    SensorLogEntry withEmpty = entry;
    withEmpty.detail = "";
    EXPECT_NE(withEmpty, entry);
    EXPECT_EQ(SensorLogEntry::fromJson(withEmpty.toJson()), withEmpty);

    Json bad = j;
    bad["source"] = "camera";
    EXPECT_THROW(SensorLogEntry::fromJson(bad), DecodeError);
    bad = j;
    bad.erase("summary");
    EXPECT_THROW(SensorLogEntry::fromJson(bad), DecodeError);
}
