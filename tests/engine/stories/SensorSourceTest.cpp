#include <gtest/gtest.h>

#include "engine/stories/SensorSource.h"

using namespace velmora;

TEST(SensorSourceTest, RawValuesTextsAndLogEntries) {
    ASSERT_EQ(allCases<SensorSource>().size(), 14u);
    for (auto source : allCases<SensorSource>()) {
        std::string raw(rawValue(source));
        EXPECT_EQ(enumFromRaw<SensorSource>(raw), source);
        raw[0] = static_cast<char>(raw[0] - 'a' + 'A');
        EXPECT_FALSE(enumFromRaw<SensorSource>(raw).has_value()) << raw;
    }
    EXPECT_EQ(label(SensorSource::significantChange), "\u0394 Memory");
    EXPECT_EQ(explanation(SensorSource::significantChange), "Noise filter saw a big jump in one app\u2019s footprint.");
    EXPECT_EQ(explanation(SensorSource::chromiumExtension), "Velmora Helper extension \u2192 localhost bridge.");

    const SensorLogEntry entry{Uuid::random(), Date{1234.5}, SensorSource::windowList, "titleChanged: Inbox", {}, {}};
    EXPECT_EQ(entry.toJson().size(), 4u);
    SensorLogEntry withEmpty = entry;
    withEmpty.detail = "";
    EXPECT_NE(withEmpty, entry);
    EXPECT_EQ(SensorLogEntry::fromJson(withEmpty.toJson()), withEmpty);
    Json bad = entry.toJson();
    bad["source"] = "camera";
    EXPECT_THROW(SensorLogEntry::fromJson(bad), DecodeError);
}
