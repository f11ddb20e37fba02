#include <gtest/gtest.h>

#include "engine/stories/SensorSource.h"

using namespace velmora;

TEST(SensorSourceTest, RawValuesTextsAndLogEntries) {
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
